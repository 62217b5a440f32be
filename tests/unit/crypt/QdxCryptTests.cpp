// TQdxCrypt: key words, the block transform against hand-made and reference
// vectors, hexadecimal and stream input, the helpers and the generator state.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <random>
#include <regex>
#include <string>
#include <vector>

#include "base/Exception.h"
#include "base/Random.h"
#include "base/Stream.h"
#include "crypt/QdxCrypt.h"
#include "sys/Files.h"
#include "sys/Paths.h"
#include "sys/SysLog.h"

using namespace kx;

namespace {

const char* const kNotHex = "The String Must in HEX Format for Decrypt.";
const char* const kTooLong = "The Maxlen for the password is 12 characters";

// The documented generator, written out independently of base/Random.
struct TRefGenerator {
    std::uint32_t state;
    std::uint32_t Draw(std::uint32_t n) {
        state = state * 0x08088405u + 1u;
        return static_cast<std::uint32_t>((std::uint64_t(state) * n) >> 32);
    }
    void Skip(std::uint64_t draws) {
        for (std::uint64_t i = 0; i < draws; ++i) Draw(1);
    }
};

std::string Hex(const std::string& bytes) {
    static const char d[] = "0123456789ABCDEF";
    std::string s;
    for (unsigned char c : bytes) {
        s += d[c >> 4];
        s += d[c & 15];
    }
    return s;
}

std::string RandomBytes(std::mt19937& rng, std::size_t n) {
    std::string s(n, '\0');
    for (auto& c : s) c = static_cast<char>(rng() & 0xFF);
    return s;
}

std::string Pattern(std::size_t n) {
    std::string s(n, '\0');
    for (std::size_t i = 0; i < n; ++i) s[i] = static_cast<char>((i * 131 + 7) & 0xFF);
    return s;
}

TMemoryStream StreamOf(const std::string& bytes) {
    TMemoryStream m;
    m.Bytes().assign(bytes.begin(), bytes.end());
    return m;
}

// Reads at most a few bytes per call, as a pipe might.
class TDribbleStream : public TMemoryStream {
public:
    std::int32_t Read(void* buffer, std::int32_t count) override {
        return TMemoryStream::Read(buffer, std::min<std::int32_t>(count, 1000));
    }
};

// Accepts writes until its quota of bytes is used up, then writes short.
class TShortWriteStream : public TMemoryStream {
public:
    explicit TShortWriteStream(std::int32_t quota) : FQuota(quota) {}
    std::int32_t Write(const void* buffer, std::int32_t count) override {
        std::int32_t n = std::min(count, FQuota);
        FQuota -= n;
        return TMemoryStream::Write(buffer, n);
    }

private:
    std::int32_t FQuota;
};

} // namespace

// ---- properties and key words ----

TEST(QdxCryptProperties, DefaultsOfANewComponent) {
    TQdxCrypt c;
    EXPECT_EQ(c.Password(), "51846093");
    EXPECT_EQ(c.AddKey(), 5471);
    EXPECT_EQ(c.MultKey(), 2719);
    EXPECT_EQ(c.Infile(), "");
    EXPECT_EQ(c.Outfile(), "");
    EXPECT_FALSE(c.OnBadPassword);
    c.SetInfile("a.dat");
    c.SetOutfile("b.dat");
    EXPECT_EQ(c.Infile(), "a.dat");
    EXPECT_EQ(c.Outfile(), "b.dat");
}

struct TKeyCase {
    const char* password;
    std::uint32_t a, b, c;
};

class QdxCryptKeyWords : public ::testing::TestWithParam<TKeyCase> {};

TEST_P(QdxCryptKeyWords, LittleEndianWordsWithMissingBytesZero) {
    const TKeyCase& k = GetParam();
    TQdxCrypt c;
    c.SetPassword(k.password);
    c.InitKey();
    EXPECT_EQ(c.KeyA(), k.a);
    EXPECT_EQ(c.KeyB(), k.b);
    EXPECT_EQ(c.KeyC(), k.c);
    EXPECT_EQ(RandSeed(), k.a);
}

INSTANTIATE_TEST_SUITE_P(Passwords, QdxCryptKeyWords,
                         ::testing::Values(TKeyCase{"", 0, 0, 0}, TKeyCase{"ABCD", 0x44434241u, 0, 0},
                                           TKeyCase{"ABCDE", 0x44434241u, 0x45u, 0},
                                           TKeyCase{"51846093", 0x34383135u, 0x33393036u, 0},
                                           TKeyCase{"0123456789ab", 0x33323130u, 0x37363534u, 0x62613938u},
                                           TKeyCase{"\xFF\x80", 0x80FFu, 0, 0}));

TEST(QdxCryptProperties, ThirteenCharactersRaiseAndEmptyThePassword) {
    TQdxCrypt c;
    int calls = 0;
    c.OnBadPassword = [&](TQdxCrypt&) { ++calls; };
    try {
        c.SetPassword("0123456789abc");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), kTooLong);
    }
    EXPECT_EQ(c.Password(), "");
    EXPECT_EQ(c.KeyA(), 0u);
    EXPECT_EQ(c.KeyB(), 0u);
    EXPECT_EQ(c.KeyC(), 0u);
    EXPECT_EQ(calls, 0); // the event is stored only

    // It then works as the empty password does.
    TQdxCrypt empty;
    empty.SetPassword("");
    EXPECT_EQ(c.DecryptHex("00112233"), empty.DecryptHex("00112233"));
}

// ---- the block transform ----

TEST(QdxCryptBlock, OneByteIsOnlyMaskedComputedByHand) {
    // Default key: KeyA = "5184", KeyB = "6093", KeyC = 0.
    const std::uint32_t keyA = 0x34383135u;
    const std::uint8_t keyBMask = 0x36 ^ 0x30 ^ 0x39 ^ 0x33;
    // The single permutation draw is a draw below 0, which still moves the state.
    std::uint32_t s1 = keyA * 0x08088405u + 1u;
    std::uint32_t s2 = s1 * 0x08088405u + 1u;
    std::uint8_t r = static_cast<std::uint8_t>((std::uint64_t(s2) * 255u) >> 32);
    std::uint8_t expected = static_cast<std::uint8_t>(0x41 ^ keyBMask ^ r);
    ASSERT_EQ(expected, 0x7B); // the same worked out on paper

    TQdxCrypt c;
    EXPECT_EQ(c.DecryptHex("41"), std::string(1, char(expected)));
    EXPECT_EQ(RandSeed(), s2);

    c.InitKey();
    std::uint8_t b = 0x41;
    c.DecryptBlock(&b, 1);
    EXPECT_EQ(b, expected);
    EXPECT_EQ(RandSeed(), s2);
    // KeyB after the byte: (b + KeyB + KeyC) * MultKey + AddKey, from the cipher byte.
    EXPECT_EQ(c.KeyB(), (0x41u + 0x33393036u) * 2719u + 5471u);

    c.InitKey();
    c.EncryptBlock(&b, 1);
    EXPECT_EQ(b, 0x41);
    EXPECT_EQ(c.KeyB(), (0x41u + 0x33393036u) * 2719u + 5471u);
}

TEST(QdxCryptBlock, ZeroBytesDrawNothingAndOversizeBlocksAreRefused) {
    TQdxCrypt c;
    SetRandSeed(12345);
    std::uint8_t b = 0;
    c.DecryptBlock(&b, 0);
    c.EncryptBlock(&b, 0);
    EXPECT_EQ(RandSeed(), 12345u);
    std::vector<std::uint8_t> big(32769);
    EXPECT_THROW(c.DecryptBlock(big.data(), 32769), Exception);
    EXPECT_THROW(c.EncryptBlock(big.data(), -1), Exception);
    EXPECT_EQ(RandSeed(), 12345u);
}

struct TVector {
    const char* password;
    std::int32_t addKey, multKey;
    std::string plain;
    const char* cipherHex;
};

class QdxCryptVectors : public ::testing::TestWithParam<TVector> {};

// Cipher texts from a separate reference implementation of the documented algorithm.
TEST_P(QdxCryptVectors, DecryptAndEncryptAgreeWithTheReference) {
    const TVector& v = GetParam();
    TQdxCrypt c;
    c.SetPassword(v.password);
    c.SetAddKey(v.addKey);
    c.SetMultKey(v.multKey);
    EXPECT_EQ(c.DecryptHex(v.cipherHex), v.plain);
    EXPECT_EQ(c.EncryptHex(v.plain), v.cipherHex);
    std::string lower = v.cipherHex;
    std::transform(lower.begin(), lower.end(), lower.begin(), [](char ch) { return char(std::tolower(ch)); });
    EXPECT_EQ(c.DecryptHex(lower), v.plain);
}

INSTANTIATE_TEST_SUITE_P(
    Reference, QdxCryptVectors,
    ::testing::Values(
        TVector{"51846093", 5471, 2719, "hello world", "D8F3D3CD0E6726F047589B"},
        TVector{"51846093", 5471, 2719, "The quick brown fox jumps over the lazy dog",
                "9067A2EEF94563EF199CB12C9423EE791281A48031AAAB88D2F5E5455C9361DDFC2F434E48810FD319D4FD"},
        TVector{"abc", 1, 3, "kxsetup", "AC4AE9E450F64B"},
        TVector{"", 0, 0, std::string("\x00\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0A\x0B\x0C\x0D\x0E\x0F", 16),
                "74C7495029215D357CB5E9DE4AD25CB1"},
        TVector{"Pass-Word-12", -5, -7, "twelve chars", "935FF533051ECCC4D4166483"}));

// ---- hexadecimal text ----

TEST(QdxCryptHex, OddLengthIgnoresTheLastCharacter) {
    TQdxCrypt c;
    EXPECT_EQ(c.DecryptHex("D8F3D3CD0E6726F047589B7"), "hello world");
    EXPECT_EQ(c.DecryptHex("D8F3D3CD0E6726F047589BZ"), "hello world");
    EXPECT_EQ(c.DecryptHex("4"), "");
    EXPECT_EQ(c.DecryptHex(""), "");
}

class QdxCryptBadHex : public ::testing::TestWithParam<std::string> {};

TEST_P(QdxCryptBadHex, RaisesTheMessage) {
    TQdxCrypt c;
    try {
        c.DecryptHex(GetParam());
        FAIL() << "accepted " << GetParam().substr(0, 20);
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), kNotHex);
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, QdxCryptBadHex,
                         ::testing::Values("0G", "G0", "41420G43", "4142430G", " 41", "+1", "-1", "0x",
                                           "4 ", std::string("4\0", 2), "\xC4\xE3",
                                           // valid first chunk, bad pair in the second
                                           std::string(65536, 'A') + "0G"));

TEST(QdxCryptHex, SixtyFiveThousandFiveHundredThirtySixCharactersAreOneBlockAndAnEmptyChunk) {
    const std::string plainPattern = Pattern(32768);
    const std::string text = Hex(plainPattern);
    ASSERT_EQ(text.size(), 65536u);
    SetRandSeed(999); // no influence: the operation reseeds
    TQdxCrypt c;
    std::string out = c.DecryptHex(text);
    ASSERT_EQ(out.size(), 32768u);
    // From the reference implementation.
    EXPECT_EQ(Hex(out.substr(0, 8)), "1C817F0E44836BDB");
    EXPECT_EQ(Hex(out.substr(32760)), "C27D60E337466F44");
    // One block: 32768 permutation draws and 32768 mask draws, nothing for the empty chunk.
    TRefGenerator g{0x34383135u};
    g.Skip(65536);
    EXPECT_EQ(RandSeed(), g.state);
    EXPECT_EQ(RandSeed(), 0xA3833135u);
}

TEST(QdxCryptHex, SecondChunkContinuesTheKeyState) {
    TQdxCrypt c;
    std::string out = c.DecryptHex(Hex(Pattern(32769)));
    ASSERT_EQ(out.size(), 32769u);
    EXPECT_EQ(Hex(out.substr(0, 8)), "1C817F0E44836BDB");
    EXPECT_EQ(Hex(out.substr(32760, 8)), "C27D60E337466F44");
    EXPECT_EQ(Hex(out.substr(32768)), "23");
    EXPECT_EQ(RandSeed(), 0xCD719A33u);
}

// ---- streams ----

TEST(QdxCryptStream, ThirtyTwoThousandSevenHundredSixtyNineBytesAreTwoBlocks) {
    TMemoryStream m = StreamOf(Pattern(32769));
    m.SetPosition(100);
    TQdxCrypt c;
    c.DecryptStream(m);
    EXPECT_EQ(m.Position(), 0);
    ASSERT_EQ(m.Size(), 32769);
    std::string out = m.AsString();
    EXPECT_EQ(Hex(out.substr(0, 8)), "1C817F0E44836BDB");
    EXPECT_EQ(Hex(out.substr(32760, 8)), "C27D60E337466F44");
    EXPECT_EQ(Hex(out.substr(32768)), "23");
    TRefGenerator g{0x34383135u};
    g.Skip(2 * 32769);
    EXPECT_EQ(RandSeed(), g.state);
}

TEST(QdxCryptStream, HexAndStreamOfTheSameBytesAgree) {
    std::mt19937 rng(7);
    for (std::size_t n : {0u, 1u, 2u, 32767u, 32768u, 32769u, 65536u, 70001u}) {
        std::string bytes = RandomBytes(rng, n);
        TQdxCrypt c;
        c.SetPassword("k3y");
        c.SetAddKey(-123456);
        c.SetMultKey(77);
        std::string fromHex = c.DecryptHex(Hex(bytes));
        std::uint32_t seedAfterHex = RandSeed();
        TMemoryStream m = StreamOf(bytes);
        c.DecryptStream(m);
        EXPECT_EQ(m.AsString(), fromHex) << n;
        EXPECT_EQ(RandSeed(), seedAfterHex) << n;
    }
}

TEST(QdxCryptStream, ShortReadsDoNotMoveTheBlockBoundaries) {
    std::string bytes = Pattern(70000);
    TDribbleStream d;
    d.Bytes().assign(bytes.begin(), bytes.end());
    TMemoryStream m = StreamOf(bytes);
    TQdxCrypt c;
    c.DecryptStream(d);
    c.DecryptStream(m);
    EXPECT_EQ(d.Bytes(), m.Bytes());
}

TEST(QdxCryptStream, ShortWriteRaisesInsteadOfReportingSuccess) {
    TShortWriteStream s(40000);
    std::string bytes = Pattern(70000);
    s.Bytes().assign(bytes.begin(), bytes.end());
    TQdxCrypt c;
    EXPECT_THROW(c.DecryptStream(s), EWriteError);
}

TEST(QdxCryptStream, DecryptMemStreamUsesTheDefaultKeyAndRewinds) {
    TMemoryStream m = StreamOf("\xD8\xF3\xD3\xCD\x0E\x67\x26\xF0\x47\x58\x9B");
    m.SetPosition(0);
    DecryptMemStream(m);
    EXPECT_EQ(m.Position(), 0);
    EXPECT_EQ(m.AsString(), "hello world");

    TMemoryStream empty;
    DecryptMemStream(empty);
    EXPECT_EQ(empty.Size(), 0);
}

// ---- round trips ----

TEST(QdxCryptRoundTrip, RandomDataAcrossBlockBoundaries) {
    std::mt19937 rng(20261208);
    const std::vector<std::size_t> lengths{0,     1,     2,     3,     17,    255,   256,    4096,   32767,
                                           32768, 32769, 65535, 65536, 65537, 98304, 100001, 131073};
    const char* passwords[] = {"", "a", "51846093", "0123456789ab", "\x80\xFF\x01"};
    int k = 0;
    for (std::size_t n : lengths) {
        std::string plain = RandomBytes(rng, n);
        TQdxCrypt c;
        c.SetPassword(passwords[k % 5]);
        c.SetAddKey(static_cast<std::int32_t>(rng()));
        c.SetMultKey(static_cast<std::int32_t>(rng()));
        ++k;

        std::string hex = c.EncryptHex(plain);
        ASSERT_EQ(hex.size(), 2 * n);
        EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos);
        EXPECT_EQ(c.DecryptHex(hex), plain) << n;

        TMemoryStream m = StreamOf(plain);
        c.EncryptStream(m);
        EXPECT_EQ(m.Position(), 0);
        EXPECT_EQ(Hex(m.AsString()), hex) << n;
        c.DecryptStream(m);
        EXPECT_EQ(m.AsString(), plain) << n;
    }
}

TEST(QdxCryptRoundTrip, AWrongKeyIsNotDetectedAndGivesOtherBytes) {
    std::mt19937 rng(3);
    std::string plain = RandomBytes(rng, 1000);
    TQdxCrypt c;
    std::string hex = c.EncryptHex(plain);
    c.SetAddKey(c.AddKey() + 1);
    std::string other;
    EXPECT_NO_THROW(other = c.DecryptHex(hex));
    EXPECT_EQ(other.size(), plain.size());
    EXPECT_NE(other, plain);
}

// ---- the process-wide generator ----

TEST(QdxCryptGenerator, ADrawAfterDecryptionFollowsFromKeyAndData) {
    std::mt19937 rng(11);
    for (std::size_t n : {0u, 1u, 5u, 32768u, 40000u}) {
        std::string hex = Hex(RandomBytes(rng, n));
        TQdxCrypt c;
        c.SetPassword("WXYZ");
        SetRandSeed(rng());
        c.DecryptHex(hex);
        std::uint32_t after = Random(1000000);

        // Exactly two draws per byte since the reseed with KeyA, none interleaved.
        TRefGenerator g{0x5A595857u};
        g.Skip(2 * n);
        EXPECT_EQ(after, g.Draw(1000000)) << n;

        SetRandSeed(rng());
        c.DecryptHex(hex);
        EXPECT_EQ(Random(1000000), after) << n;
    }
}

TEST(QdxCryptGenerator, EncryptionDrawsLikeDecryption) {
    std::mt19937 rng(12);
    std::string plain = RandomBytes(rng, 50000);
    TQdxCrypt c;
    c.EncryptHex(plain);
    TRefGenerator g{0x34383135u};
    g.Skip(100000);
    EXPECT_EQ(RandSeed(), g.state);
}

// ---- DecryptStr ----

class QdxCryptDecryptStr : public ::testing::Test {
protected:
    void SetUp() override {
        FLogPath = GetProgramPath() + "SysLog.txt";
        DeleteFile(FLogPath);
        SetLogEnabled(false);
    }
    void TearDown() override { DeleteFile(FLogPath); }
    std::string FLogPath;
};

TEST_F(QdxCryptDecryptStr, DefaultsAndKeys) {
    EXPECT_EQ(DecryptStr("D8F3D3CD0E6726F047589B"), "hello world");
    EXPECT_EQ(DecryptStr("D8F3D3CD0E6726F047589B", "", -1, -1), "hello world");
    EXPECT_EQ(DecryptStr("AC4AE9E450F64B", "abc", 1, 3), "kxsetup");
    EXPECT_EQ(DecryptStr("935FF533051ECCC4D4166483", "Pass-Word-12", -5, -7), "twelve chars");
    EXPECT_EQ(DecryptStr(""), "");
    EXPECT_FALSE(FileExists(FLogPath));
}

TEST_F(QdxCryptDecryptStr, BadTextAnswersEmptyAndLogsAlthoughLoggingIsOff) {
    EXPECT_EQ(DecryptStr("D8F30GCD"), "");
    ASSERT_TRUE(FileExists(FLogPath));
    std::string log = LoadFileToString(FLogPath);
    EXPECT_TRUE(std::regex_match(
        log, std::regex(R"(\d\d-\d\d-\d\d \d\d.\d\d.\d\d DecryptStr: The String Must in HEX Format for Decrypt\.\r\n)")))
        << log;
}

TEST_F(QdxCryptDecryptStr, TooLongPasswordRaisesOutOfTheHelper) {
    try {
        DecryptStr("41", "0123456789abc");
        FAIL() << "no exception";
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), kTooLong);
    }
}
