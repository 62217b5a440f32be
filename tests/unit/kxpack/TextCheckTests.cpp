// Code-page validity of package texts: GBK, Big5, ASCII, and UTF-8 named as such.
#include <gtest/gtest.h>

#include "tests/unit/kxpack/CaseName.h"
#include "tools/kxpack/TextCheck.h"

namespace kx::kxpack {
namespace {

struct TTextCase {
    const char* What;
    std::string Text;
    TTextEncoding Encoding;
    bool Valid;
    std::size_t Offset;
    const char* Message;
};
void PrintTo(const TTextCase& c, std::ostream* os) { *os << c.What; }


class TextCheckTest : public ::testing::TestWithParam<TTextCase> {};

TEST_P(TextCheckTest, AcceptsValidTextAndNamesTheFirstBadByte) {
    const TTextCase& c = GetParam();
    TTextProblem p = CheckText(c.Text, c.Encoding);
    EXPECT_EQ(p.Message.empty(), c.Valid) << c.What << ": " << p.Message;
    if (!c.Valid) {
        EXPECT_EQ(p.Offset, c.Offset) << c.What;
        EXPECT_NE(p.Message.find(c.Message), std::string::npos) << c.What << ": " << p.Message;
    }
}

const std::string Gbk = "\xD1\xDD\xCA\xBE\xB9\xA4\xBE\xDF";        // 演示工具
const std::string Big5 = "\xB3\x5C\xA5\x5C\xBB\x5C";               // 許功蓋, trail bytes 0x5C
const std::string Utf8 = "\xE6\xBC\x94\xE7\xA4\xBA";               // 演示 in UTF-8

INSTANTIATE_TEST_SUITE_P(
    Table, TextCheckTest,
    ::testing::Values(
        TTextCase{"ASCII is valid everywhere", "Acme Tool=a.exe", TTextEncoding::Ascii, true, 0, ""},
        TTextCase{"GBK text", "x=" + Gbk, TTextEncoding::Gbk, true, 0, ""},
        TTextCase{"GBK euro sign 0x80", "\x80", TTextEncoding::Gbk, true, 0, ""},
        TTextCase{"GBK trail 0x40 and 0xFE", "\x81\x40\xFE\xFE", TTextEncoding::Gbk, true, 0, ""},
        TTextCase{"Big5 text with 0x5C trails", "x=" + Big5, TTextEncoding::Big5, true, 0, ""},
        TTextCase{"UTF-8 in a GB text", "x=" + Utf8, TTextEncoding::Gbk, false, 2, "UTF-8"},
        TTextCase{"UTF-8 in a Big5 text", Utf8, TTextEncoding::Big5, false, 0, "UTF-8"},
        TTextCase{"UTF-8 in an English text", "Caf\xC3\xA9 \xE2\x80\x94", TTextEncoding::Ascii, false, 3, "UTF-8"},
        TTextCase{"UTF-8 byte order mark", "\xEF\xBB\xBFtext", TTextEncoding::Gbk, false, 0, "UTF-8"},
        TTextCase{"Latin-1 in an English text", "Caf\xE9", TTextEncoding::Ascii, false, 3, "0xE9 is not ASCII"},
        TTextCase{"GBK lead byte at the end", "ab\xD1", TTextEncoding::Gbk, false, 2, "ends inside"},
        TTextCase{"GBK trail 0x7F", "a\x81\x7F", TTextEncoding::Gbk, false, 1, "0x81 0x7F"},
        TTextCase{"GBK byte 0xFF", "a\xFF", TTextEncoding::Gbk, false, 1, "0xFF"},
        TTextCase{"Big5 trail 0x80", "\xA4\x80", TTextEncoding::Big5, false, 0, "0xA4 0x80"},
        TTextCase{"Big5 trail 0xA0", "ab\xA4\xA0", TTextEncoding::Big5, false, 2, "Big5"},
        TTextCase{"Big5 byte 0x80", "\x80", TTextEncoding::Big5, false, 0, "0x80 is not Big5"},
        TTextCase{"two-byte UTF-8 alone is not taken for UTF-8", "\xC3\xA9", TTextEncoding::Gbk, true, 0, ""}),
    test::TCaseName());

TEST(LooksLikeUtf8, WantsWellFormedSequencesOfThreeBytesOrMore) {
    EXPECT_TRUE(LooksLikeUtf8("\xE4\xB8\xAD"));
    EXPECT_TRUE(LooksLikeUtf8("a\xF0\x9F\x98\x80z"));
    EXPECT_FALSE(LooksLikeUtf8("plain"));
    EXPECT_FALSE(LooksLikeUtf8("\xC3\xA9"));           // two bytes only
    EXPECT_FALSE(LooksLikeUtf8("\xE4\xB8"));           // cut short
    EXPECT_FALSE(LooksLikeUtf8("\xE0\x80\xAF"));       // overlong
    EXPECT_FALSE(LooksLikeUtf8("\xED\xA0\x80"));       // surrogate
    EXPECT_FALSE(LooksLikeUtf8("\xD6\xD0\xCE\xC4"));   // 中文 in GBK
}

} // namespace
} // namespace kx::kxpack
