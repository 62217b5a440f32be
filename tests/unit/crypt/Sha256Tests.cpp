// SHA-256 against the known answers of FIPS 180-4's examples and the lengths
// around the padding's block boundary.
#include <gtest/gtest.h>

#include "crypt/Sha256.h"

using namespace kx;

namespace {

struct TKnownAnswer {
    std::string Message;
    const char* Digest;
};

class Sha256Known : public testing::TestWithParam<TKnownAnswer> {};

TEST_P(Sha256Known, DigestAsPublished) { EXPECT_EQ(Sha256Hex(GetParam().Message), GetParam().Digest); }

INSTANTIATE_TEST_SUITE_P(
    Fips180, Sha256Known,
    testing::Values(
        TKnownAnswer{"", "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855"},
        TKnownAnswer{"abc", "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"},
        TKnownAnswer{"abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq",
                     "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1"},
        TKnownAnswer{"abcdefghbcdefghicdefghijdefghijkefghijklfghijklmghijklmnhijklmnoijklmnopjklmnopqklmnopqrlmnopqrsmn"
                     "opqrstnopqrstu",
                     "cf5b16a778af8380036ce59e7b0492370b249b11e8f07a51afac45037afee9d1"},
        TKnownAnswer{std::string(1000000, 'a'), "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0"}));

// The length field fits after the 0x80 byte up to 55 bytes in a block; from 56 on
// the padding takes a block of its own.
INSTANTIATE_TEST_SUITE_P(
    PaddingBoundaries, Sha256Known,
    testing::Values(TKnownAnswer{std::string(55, 'a'), "9f4390f8d30c2dd92ec9f095b65e2b9ae9b0a925a5258e241c9f1e910f734318"},
                    TKnownAnswer{std::string(56, 'a'), "b35439a4ac6f0948b6d6f9e3c6af0f5f590ce20f1bde7090ef7970686ec6738a"},
                    TKnownAnswer{std::string(57, 'a'), "f13b2d724659eb3bf47f2dd6af1accc87b81f09f59f2b75e5c0bed6589dfe8c6"},
                    TKnownAnswer{std::string(63, 'a'), "7d3e74a05d7db15bce4ad9ec0658ea98e3f06eeecf16b4c6fff2da457ddc2f34"},
                    TKnownAnswer{std::string(64, 'a'), "ffe054fe7ae0cb6dc65c3af9b61d5209f439851db43d0ba5997337df154668eb"},
                    TKnownAnswer{std::string(65, 'a'), "635361c48bb9eab14198e76ea8ab7f1a41685d6ad62aa9146d301d4f17eb0ae0"},
                    TKnownAnswer{std::string(119, 'a'), "31eba51c313a5c08226adf18d4a359cfdfd8d2e816b13f4af952f7ea6584dcfb"},
                    TKnownAnswer{std::string(120, 'a'), "2f3d335432c70b580af0e8e1b3674a7c020d683aa5f73aaaedfdc55af904c21c"}));

std::string AllBytes() {
    std::string s;
    for (int i = 0; i < 256; ++i) s += static_cast<char>(i);
    return s;
}

TEST(Sha256, EveryByteValueAndAnyChunkingGiveTheSameDigest) {
    const std::string data = AllBytes();
    const std::string expected = "40aff2e9d2d8922e47afd4648e6967497158785fbd1da870e7110266bf944880";
    EXPECT_EQ(Sha256Hex(data), expected);
    for (std::size_t chunk : {1u, 3u, 63u, 64u, 65u, 200u}) {
        TSha256 h;
        for (std::size_t at = 0; at < data.size(); at += chunk) h.Update(std::string_view(data).substr(at, chunk));
        const TSha256::TDigest d = h.Final();
        EXPECT_EQ(d, Sha256(data)) << chunk;
        // Final starts afresh: the same object gives the empty message's digest next.
        EXPECT_EQ(h.Final(), Sha256(""));
    }
    EXPECT_EQ(Sha256(data)[0], 0x40);
    EXPECT_EQ(Sha256(data)[31], 0x80);
}

} // namespace
