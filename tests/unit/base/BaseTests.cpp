// The shared vocabulary: formatting, text, dates, extended reals, the generator.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "base/DateTime.h"
#include "base/Exception.h"
#include "base/Ext80.h"
#include "base/Format.h"
#include "base/Mbcs.h"
#include "base/Random.h"
#include "base/Stream.h"
#include "base/Text.h"

using namespace kx;

TEST(Format, PatternsOfTheSystem) {
    EXPECT_EQ(Format("%sSeup%4.4d.tmp", "C:\\TEMP\\", 42), "C:\\TEMP\\Seup0042.tmp");
    EXPECT_EQ(Format("%sSeup%4.4d.tmp", "C:\\TEMP\\", 9999), "C:\\TEMP\\Seup9999.tmp");
    EXPECT_EQ(Format("%s~Archiv-%x.tmp", "D:\\t\\", 999999), "D:\\t\\~Archiv-F423F.tmp");
    EXPECT_EQ(Format("%s /install /silent", "C:\\a b\\svc.exe"), "C:\\a b\\svc.exe /install /silent");
    EXPECT_EQ(Format("%d%%", -7), "-7%");
    EXPECT_EQ(Format("[%5s|%-5s]", "ab", "cd"), "[   ab|cd   ]");
    EXPECT_EQ(Format("%.2s", "abcdef"), "ab");
    EXPECT_EQ(Format("%2.2d", 5), "05");
    EXPECT_EQ(Format(""), "");
}

TEST(Format, BadPatternsRaiseInsteadOfReadingPastTheArguments) {
    EXPECT_THROW(Format("%s %s", "one"), Exception);
    EXPECT_THROW(Format("%d", "text"), Exception);
    EXPECT_THROW(Format("%s", 5), Exception);
    EXPECT_THROW(Format("trailing %"), Exception);
    EXPECT_THROW(Format("%q", 1), Exception);
}

TEST(Text, CaseInsensitiveOnlyForAsciiLetters) {
    EXPECT_TRUE(SameText("Readme.TXT", "README.txt"));
    EXPECT_FALSE(SameText("a", "ab"));
    EXPECT_FALSE(SameText("\xC4\xE3", "\xE4\xE3")); // double-byte bytes are never folded
    EXPECT_LT(CompareText("abc", "ABD"), 0);
    EXPECT_EQ(UpperCase("gb.grpName"), "GB.GRPNAME");
}

TEST(Text, TrimAndSplit) {
    EXPECT_EQ(Trim(" \t\x01 key = v \r"), "key = v");
    EXPECT_EQ(Trim(""), "");
    auto parts = SplitText("a;;b;", ';');
    ASSERT_EQ(parts.size(), 4u);
    EXPECT_EQ(parts[1], "");
    EXPECT_EQ(parts[3], "");
    auto lines = SplitLines("one\r\ntwo\rthree\nfour\r\n");
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[2], "three");
    EXPECT_TRUE(SplitLines("").empty());
}

TEST(DateTime, DaysSince18991230) {
    EXPECT_EQ(EncodeDateTime({1899, 12, 30}), 0.0);
    EXPECT_EQ(EncodeDateTime({1900, 1, 1}), 2.0);
    EXPECT_EQ(EncodeDateTime({2000, 1, 1}), 36526.0);
    EXPECT_DOUBLE_EQ(EncodeDateTime({2000, 1, 1, 12, 0, 0}), 36526.5);
    EXPECT_DOUBLE_EQ(EncodeDateTime({1899, 12, 29, 6, 0, 0}), -1.25);
    auto p = DecodeDateTime(EncodeDateTime({2026, 12, 8, 23, 59, 58, 999}));
    EXPECT_EQ(p.Year, 2026);
    EXPECT_EQ(p.Month, 12);
    EXPECT_EQ(p.Day, 8);
    EXPECT_EQ(p.Hour, 23);
    EXPECT_EQ(p.Minute, 59);
    EXPECT_EQ(p.Second, 58);
    EXPECT_EQ(p.MilliSecond, 999);
    auto leap = DecodeDateTime(EncodeDateTime({2000, 2, 29}));
    EXPECT_EQ(leap.Month, 2);
    EXPECT_EQ(leap.Day, 29);
    EXPECT_THROW(EncodeDateTime({2001, 2, 29}), Exception);
}

namespace {
std::array<std::uint8_t, 10> Ext(double v) {
    std::array<std::uint8_t, 10> b;
    DoubleToExt80(v, b.data());
    return b;
}
} // namespace

TEST(Ext80, KnownEncodings) {
    using B = std::array<std::uint8_t, 10>;
    EXPECT_EQ(Ext(0.0), (B{0, 0, 0, 0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(Ext(1.0), (B{0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}));
    EXPECT_EQ(Ext(-2.0), (B{0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0xC0}));
    EXPECT_EQ(Ext(1761387.0), (B{0, 0, 0, 0, 0, 0x58, 0x03, 0xD7, 0x13, 0x40}));
    EXPECT_EQ(Ext(0.5), (B{0, 0, 0, 0, 0, 0, 0, 0x80, 0xFE, 0x3F}));
}

TEST(Ext80, EveryDoubleRoundTripsExactly) {
    const double values[] = {0.0, -0.0, 1.0, 36526.5, 1e300, -1e-300, 4.9406564584124654e-324,
                             2.2250738585072014e-308, std::numeric_limits<double>::max(),
                             std::numeric_limits<double>::infinity(), 123456.789};
    for (double v : values) {
        auto b = Ext(v);
        double back = Ext80ToDouble(b.data());
        EXPECT_EQ(std::memcmp(&back, &v, 8), 0) << v;
    }
    auto nan = Ext(std::numeric_limits<double>::quiet_NaN());
    EXPECT_TRUE(std::isnan(Ext80ToDouble(nan.data())));
}

TEST(Ext80, ExtendedOnlyValuesRoundToNearest) {
    // 1 + 2^-63: the extra bit is below double precision and rounds away.
    std::uint8_t b[10] = {1, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
    EXPECT_EQ(Ext80ToDouble(b), 1.0);
    // 1 + 2^-53 + 2^-63: more than half an ulp, rounds up.
    std::uint8_t c[10] = {1, 0x04, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F};
    EXPECT_EQ(Ext80ToDouble(c), 1.0 + std::ldexp(1.0, -52));
    // Far beyond the double range.
    std::uint8_t big[10] = {0, 0, 0, 0, 0, 0, 0, 0x80, 0xFE, 0x7F};
    EXPECT_TRUE(std::isinf(Ext80ToDouble(big)));
    std::uint8_t tiny[10] = {0, 0, 0, 0, 0, 0, 0, 0x80, 0x01, 0x00};
    EXPECT_EQ(Ext80ToDouble(tiny), 0.0);
}

TEST(Random, LinearCongruentialSequence) {
    SetRandSeed(0);
    EXPECT_EQ(Random(1000000), 0u); // state 1: (1 * 1000000) >> 32
    EXPECT_EQ(RandSeed(), 1u);
    EXPECT_EQ(Random(0x80000000u), 0x04044203u); // state 0x08088406
    EXPECT_EQ(RandSeed(), 0x08088406u);
    SetRandSeed(0xFFFFFFFFu);
    EXPECT_EQ(Random(255), 0xF6u); // state 0xF7F77BFC: (0xF7F77BFC * 255) >> 32
    EXPECT_EQ(Random(0), 0u);
}

TEST(Mbcs, TrailByteBackslashIsNotADelimiter) {
    const std::string s = "C:\\\xB1\x5C"; // a GBK character whose second byte is 0x5C
    EXPECT_EQ(ByteTypeAt(s, 4, 936), TByteType::mbTrailByte);
    EXPECT_EQ(ByteTypeAt(s, 4, 1252), TByteType::mbSingleByte);
    EXPECT_EQ(LastDelimiter("\\", s, 936), 2u);
    EXPECT_EQ(LastDelimiter("\\", s, 1252), 4u);
    EXPECT_EQ(LastDelimiter("\\", "\xA5\x5C\x5C", 950), 2u);
    EXPECT_EQ(FirstDelimiter("\\", "\xA5\x5C\x5C", 950), 2u);
    EXPECT_EQ(FirstDelimiter("\\", "\xA5\x5C\x5C", 1252), 1u);
    EXPECT_EQ(FirstDelimiter("\\", "\x9C\x5C\xC9\xAB", 936), std::string::npos);
    EXPECT_EQ(FirstDelimiter("\\:", "a:b\\c", 936), 1u);
}

TEST(Stream, MemoryStreamReadsWritesAndRefusesShortReads) {
    TMemoryStream m;
    m.WriteInt32(-2);
    m.WriteInt16(0x1234);
    m.WriteByte(0xAB);
    EXPECT_EQ(m.Size(), 7);
    EXPECT_EQ(m.AsString(), std::string("\xFE\xFF\xFF\xFF\x34\x12\xAB", 7));
    m.SetPosition(0);
    EXPECT_EQ(m.ReadInt32(), -2);
    EXPECT_EQ(m.ReadInt16(), 0x1234);
    EXPECT_EQ(m.ReadByte(), 0xAB);
    EXPECT_THROW(m.ReadByte(), EReadError);
    m.SetSize(2);
    EXPECT_EQ(m.Position(), 2);
}
