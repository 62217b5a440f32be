// What a setup program shows of its package: the version resource built from
// the script, and setup.ico as icon resources.
#include <gtest/gtest.h>

#include <algorithm>

#include "tests/unit/kxpack/CaseName.h"
#include "tools/kxpack/IconFile.h"
#include "tools/kxpack/VersionResource.h"

namespace kx::kxpack {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::uint16_t At16(const Bytes& b, std::size_t at) { return static_cast<std::uint16_t>(b.at(at) | b.at(at + 1) << 8); }
std::uint32_t At32(const Bytes& b, std::size_t at) { return At16(b, at) | std::uint32_t{At16(b, at + 2)} << 16; }
std::string Utf16At(const Bytes& b, std::size_t at) {
    std::string s;
    for (std::uint16_t c; (c = At16(b, at)) != 0; at += 2)
        s += static_cast<char>(c);
    return s;
}

struct TNumbersCase {
    const char* What;
    const char* Text;
    std::array<std::uint16_t, 4> Numbers;
};
class VersionNumbers_ : public testing::TestWithParam<TNumbersCase> {};
TEST_P(VersionNumbers_, AreTheLeadingNumbersOfTheText) {
    EXPECT_EQ(VersionNumbers(GetParam().Text), GetParam().Numbers);
}
INSTANTIATE_TEST_SUITE_P(
    Cases, VersionNumbers_,
    testing::Values(TNumbersCase{"four", "1.2.3.4", {1, 2, 3, 4}}, TNumbersCase{"two and a word", "2.1 beta", {2, 1, 0, 0}},
                    TNumbersCase{"five", "1.2.3.4.5", {1, 2, 3, 4}}, TNumbersCase{"no number", "v2.0", {0, 0, 0, 0}},
                    TNumbersCase{"empty", "", {0, 0, 0, 0}}, TNumbersCase{"the largest", "65535.0", {65535, 0, 0, 0}},
                    TNumbersCase{"too large", "3.65536.1", {3, 0, 0, 0}},
                    TNumbersCase{"a dot at the end", "7.", {7, 0, 0, 0}}),
    test::TCaseName());

// CompanyName "A" alone, sizes counted by hand: the string node 6 + 24 (key)
// + 2 (padding) + 4 = 36; its table 6 + 18 + 36 = 60; StringFileInfo 6 + 30 +
// 60 = 96; Translation 6 + 24 + 2 + 4 = 36; VarFileInfo 6 + 24 + 2 + 36 = 68;
// the root 6 + 32 + 2 + 52 (VS_FIXEDFILEINFO) + 96 + 68 = 256.
TEST(VersionResource, NodesSitOnFourByteBoundariesWithTheirLengths) {
    TVersionTexts t;
    t.CompanyName = "A";
    const Bytes b = BuildVersionResource(t);
    ASSERT_EQ(b.size(), 256u);
    EXPECT_EQ(At16(b, 0), 256);
    EXPECT_EQ(At16(b, 2), 52);
    EXPECT_EQ(At16(b, 4), 0);
    EXPECT_EQ(Utf16At(b, 6), "VS_VERSION_INFO");
    EXPECT_EQ(At32(b, 40), 0xFEEF04BDu);
    EXPECT_EQ(At32(b, 40 + 8), 0u); // FileVersionMS of an empty version
    EXPECT_EQ(At32(b, 40 + 32), 0x4u); // VOS__WINDOWS32
    EXPECT_EQ(At32(b, 40 + 36), 0x1u); // VFT_APP

    EXPECT_EQ(At16(b, 92), 96);
    EXPECT_EQ(At16(b, 96), 1);
    EXPECT_EQ(Utf16At(b, 98), "StringFileInfo");
    EXPECT_EQ(At16(b, 128), 60);
    EXPECT_EQ(Utf16At(b, 134), "040904E4");
    EXPECT_EQ(At16(b, 152), 36);
    EXPECT_EQ(At16(b, 154), 2); // "A" and its zero, in characters
    EXPECT_EQ(Utf16At(b, 158), "CompanyName");
    EXPECT_EQ(Utf16At(b, 184), "A");

    EXPECT_EQ(At16(b, 188), 68);
    EXPECT_EQ(Utf16At(b, 194), "VarFileInfo");
    EXPECT_EQ(At16(b, 220), 36);
    EXPECT_EQ(At16(b, 222), 4);
    EXPECT_EQ(At16(b, 224), 0);
    EXPECT_EQ(Utf16At(b, 226), "Translation");
    EXPECT_EQ(At32(b, 252), 0x04E40409u);
}

TEST(VersionResource, CarriesThePackagesTextsAndNumbers) {
    const std::string script = "[Common]\r\nProductVersion=2.5.1 rc\r\nCopyright=(c) 2024 Larkspur\r\n"
                               "[EN.GrpName]\r\nGrpName=Quillpad\r\nCOMPANY=Larkspur Software\r\n"
                               "[GB.GrpName]\r\nGrpName=\xB1\xCA\r\n";
    const TVersionTexts t = SetupVersionTexts(script);
    EXPECT_EQ(t.ProductName, "Quillpad");
    EXPECT_EQ(t.CompanyName, "Larkspur Software");
    EXPECT_EQ(t.FileDescription, "Quillpad Setup");
    EXPECT_EQ(t.ProductVersion, "2.5.1 rc");
    EXPECT_EQ(t.LegalCopyright, "(c) 2024 Larkspur");

    const Bytes b = BuildVersionResource(t);
    EXPECT_EQ(At32(b, 40 + 8), 0x00020005u);  // FileVersionMS
    EXPECT_EQ(At32(b, 40 + 12), 0x00010000u); // FileVersionLS
    EXPECT_EQ(At32(b, 40 + 16), 0x00020005u); // ProductVersionMS
    EXPECT_EQ(At32(b, 40 + 20), 0x00010000u);
    // Every text is there once as UTF-16; a non-ASCII byte would be '?'.
    std::string wide;
    for (std::size_t i = 0; i + 1 < b.size(); i += 2)
        wide += b[i + 1] == 0 && b[i] >= 0x20 && b[i] < 0x80 ? static_cast<char>(b[i]) : '|';
    for (const char* text : {"Larkspur Software", "Quillpad Setup", "2.5.1 rc", "(c) 2024 Larkspur",
                             "ProductName||Quillpad", "LegalCopyright"})
        EXPECT_NE(wide.find(text), std::string::npos) << text;
    TVersionTexts odd;
    odd.CompanyName = "M\xFCller";
    const Bytes o = BuildVersionResource(odd);
    const Bytes replaced = {'M', 0, '?', 0, 'l', 0};
    EXPECT_NE(std::search(o.begin(), o.end(), replaced.begin(), replaced.end()), o.end());
}

// A two-image icon file: 32 x 32 (4 bytes at 38) and 16 x 16 (2 bytes at 42).
Bytes TwoImageIcon() {
    return {0, 0, 1, 0, 2, 0,
            32, 32, 0, 0, 1, 0, 32, 0, 4, 0, 0, 0, 38, 0, 0, 0,
            16, 16, 0, 0, 1, 0, 8, 0, 2, 0, 0, 0, 42, 0, 0, 0,
            'a', 'b', 'c', 'd', 'e', 'f'};
}

TEST(IconFile, BecomesAGroupAndOneResourcePerImage) {
    const std::vector<TResource> r = IconResources(TwoImageIcon(), 1, 0x0409);
    ASSERT_EQ(r.size(), 3u);
    EXPECT_EQ(r[0].Type, TResourceId::Of(14));
    EXPECT_EQ(r[0].Name, TResourceId::Of(1));
    EXPECT_EQ(r[0].Language, 0x0409);
    EXPECT_EQ(r[0].Data, (Bytes{0, 0, 1, 0, 2, 0,
                                32, 32, 0, 0, 1, 0, 32, 0, 4, 0, 0, 0, 1, 0,
                                16, 16, 0, 0, 1, 0, 8, 0, 2, 0, 0, 0, 2, 0}));
    EXPECT_EQ(r[1].Type, TResourceId::Of(3));
    EXPECT_EQ(r[1].Name, TResourceId::Of(1));
    EXPECT_EQ(r[1].Data, (Bytes{'a', 'b', 'c', 'd'}));
    EXPECT_EQ(r[2].Name, TResourceId::Of(2));
    EXPECT_EQ(r[2].Data, (Bytes{'e', 'f'}));
}

struct TBadIcon {
    const char* What;
    void (*Damage)(Bytes& b);
    const char* Message;
};
class BadIcon : public testing::TestWithParam<TBadIcon> {};
TEST_P(BadIcon, IsRefusedWithTheReason) {
    Bytes b = TwoImageIcon();
    GetParam().Damage(b);
    try {
        IconResources(b, 1, 0);
        ADD_FAILURE() << "accepted";
    } catch (const EIconFile& e) {
        EXPECT_NE(e.Message().find(GetParam().Message), std::string::npos) << e.Message();
    }
}
INSTANTIATE_TEST_SUITE_P(
    Cases, BadIcon,
    testing::Values(
        TBadIcon{"empty file", [](Bytes& b) { b.clear(); }, "not an icon file"},
        TBadIcon{"a PNG", [](Bytes& b) { b = {0x89, 'P', 'N', 'G', 13, 10, 26, 10}; }, "not an icon file"},
        TBadIcon{"a cursor", [](Bytes& b) { b[2] = 2; }, "not an icon file"},
        TBadIcon{"no image", [](Bytes& b) { b[4] = 0; }, "holds no image"},
        TBadIcon{"entries cut off", [](Bytes& b) { b.resize(30); }, "ends inside its list of 2 images"},
        TBadIcon{"image beyond the end", [](Bytes& b) { b[34] = 60; }, "image 2 of the icon file lies outside"},
        TBadIcon{"image running past the end", [](Bytes& b) { b[30] = 9; }, "image 2"},
        TBadIcon{"empty image", [](Bytes& b) { b[14] = 0; }, "image 1"},
        TBadIcon{"offset near 4 GB", [](Bytes& b) { b[21] = 0xFF; b[20] = 0xFF; b[19] = 0xFF; }, "image 1"}),
    test::TCaseName());

} // namespace
} // namespace kx::kxpack
