// The PE reader and resource writer on images built byte by byte, and on the
// real setup stub when a Windows tree has built one.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <iterator>

#include "tests/unit/kxpack/PeBuilder.h"
#include "tests/unit/kxpack/CaseName.h"
#include "tools/kxpack/PeImage.h"
#include "tools/kxpack/PeResources.h"

namespace kx::kxpack {
namespace {

using namespace test;

TResource Res(TResourceId type, TResourceId name, std::uint16_t lang, const std::string& data) {
    return {type, name, lang, 0, Bytes(data.begin(), data.end())};
}

std::string Text(const std::vector<std::uint8_t>& b) { return std::string(b.begin(), b.end()); }

TEST(PeImage, ReadsTheHeadersSectionsAndDirectories) {
    TPeImage img(StandardImage().Build());
    EXPECT_FALSE(img.Is64());
    EXPECT_EQ(img.ImageBase(), 0x400000u);
    ASSERT_EQ(img.Sections().size(), 3u);
    EXPECT_EQ(img.Sections()[1].Name, ".rsrc");
    EXPECT_EQ(img.Sections()[1].PointerToRawData, 0x400u);
    EXPECT_EQ(img.Directory(2).Rva, 0x2000u);
    EXPECT_EQ(img.Directory(5).Size, 12u);
    EXPECT_EQ(img.SectionOf(0x21FF), 1);
    EXPECT_EQ(img.SectionOf(0x2200), -1);
}

TEST(PeImage, ReadsTheResourceTree) {
    auto res = ReadResources(TPeImage(StandardImage().Build()));
    ASSERT_EQ(res.size(), 1u);
    EXPECT_EQ(res[0].Type, TResourceId::Of(24));
    EXPECT_EQ(res[0].Name, TResourceId::Of(1));
    EXPECT_EQ(res[0].Language, 0x409);
    EXPECT_EQ(Text(res[0].Data), "<m/>");
}

// Adding KXFILE/INIFILE "abc" to the standard image: the new tree, written out
// in full, replaces the old one; the rest of the file keeps its bytes except the
// fields that describe the resources and the checksum.
TEST(PeImage, AddingAResourceRewritesOnlyTheResourceSectionAndItsHeaders) {
    TTestImage source = StandardImage();
    Bytes before = source.Build();
    TPeImage img(before);
    auto res = ReadResources(img);
    res.push_back(Res(TResourceId::Of("kxfile"), TResourceId::Of("IniFile"), 0x409, "abc"));
    Bytes after = WithResources(img, res);

    const Bytes tree = {
        // root: one named type (KXFILE, string at 0xA0) and one ID type (24)
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0,
        0xA0, 0, 0, 0x80, 0x20, 0, 0, 0x80, 24, 0, 0, 0, 0x38, 0, 0, 0x80,
        // KXFILE: INIFILE (string at 0xAE) -> 0x50
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0, 0, 0xAE, 0, 0, 0x80, 0x50, 0, 0, 0x80,
        // 24: 1 -> 0x68
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 0, 0, 0x68, 0, 0, 0x80,
        // INIFILE: 0x409 -> data entry 0x80; 1: 0x409 -> data entry 0x90
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0x09, 0x04, 0, 0, 0x80, 0, 0, 0,
        0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0x09, 0x04, 0, 0, 0x90, 0, 0, 0,
        // data entries: "abc" at RVA 0x20C0, "<m/>" at RVA 0x20C8
        0xC0, 0x20, 0, 0, 3, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        0xC8, 0x20, 0, 0, 4, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
        // "KXFILE", "INIFILE" as counted UTF-16
        6, 0, 'K', 0, 'X', 0, 'F', 0, 'I', 0, 'L', 0, 'E', 0,
        7, 0, 'I', 0, 'N', 0, 'I', 0, 'F', 0, 'I', 0, 'L', 0, 'E', 0,
        0, 0, 'a', 'b', 'c', 0, 0, 0, 0, 0, '<', 'm', '/', '>', 0, 0, 0, 0};
    ASSERT_EQ(tree.size(), 208u);

    TTestImage expected = source;
    expected.Sections[1].Raw = tree;
    expected.Sections[1].VirtualSize = 208;
    expected.Dirs[2][1] = 208;
    Bytes want = expected.Build();
    ASSERT_EQ(after.size(), want.size());
    // The checksum is checked on its own below.
    Set32(want, expected.ChecksumOffset(), Get32(after, expected.ChecksumOffset()));
    EXPECT_EQ(after, want);
    EXPECT_EQ(Get32(after, expected.ChecksumOffset()), PeChecksum(after, expected.ChecksumOffset()));
}

TEST(PeImage, ResourcesLargerThanTheirSectionMoveTheRelocationsBehindThem) {
    Bytes before = StandardImage().Build();
    TPeImage img(before);
    auto res = ReadResources(img);
    res.push_back(Res(TResourceId::Of("KXFILE"), TResourceId::Of("SETUPX"), 0x409, std::string(0x1800, 'x')));
    TPeImage out(WithResources(img, res));

    ASSERT_EQ(out.Sections().size(), 3u);
    const TPeSection& rsrc = out.Sections()[1];
    const TPeSection& reloc = out.Sections()[2];
    EXPECT_EQ(rsrc.VirtualAddress, 0x2000u);
    EXPECT_GT(rsrc.VirtualSize, 0x1800u);
    EXPECT_EQ(rsrc.SizeOfRawData, 0x1A00u);
    EXPECT_EQ(reloc.Name, ".reloc");
    EXPECT_EQ(reloc.VirtualAddress, 0x4000u);
    EXPECT_EQ(reloc.PointerToRawData, 0x400u + 0x1A00u);
    EXPECT_EQ(out.Directory(5).Rva, 0x4000u);
    EXPECT_EQ(out.Directory(5).Size, 12u);
    EXPECT_EQ(Get32(out.Bytes(), OptionalHeader + 56), 0x5000u); // SizeOfImage
    EXPECT_EQ(Get32(out.Bytes(), OptionalHeader + 8), 0x1A00u + 0x200u); // SizeOfInitializedData
    // .text and the relocation block keep their bytes.
    EXPECT_TRUE(std::equal(before.begin() + 0x200, before.begin() + 0x400, out.Bytes().begin() + 0x200));
    EXPECT_TRUE(std::equal(before.begin() + 0x600, before.begin() + 0x800, out.Bytes().begin() + 0x1E00));
    auto back = ReadResources(out);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(Text(back[0].Data), std::string(0x1800, 'x'));
    EXPECT_EQ(Text(back[1].Data), "<m/>");
}

// A setup's payload: the section starts on a page of the file, what stood
// before it keeps its bytes, the gap is zeros and the relocations follow.
TEST(PeImage, LargeResourcesStartOnAPageOfTheFile) {
    Bytes before = StandardImage().Build();
    TPeImage img(before);
    auto res = ReadResources(img);
    res.push_back(Res(TResourceId::Of("KXFILE"), TResourceId::Of("SETUPX"), 0x409, std::string(0x10000, 'p')));
    TPeImage out(WithResources(img, res));

    const TPeSection& rsrc = out.Sections()[1];
    const TPeSection& reloc = out.Sections()[2];
    EXPECT_EQ(rsrc.PointerToRawData, 0x1000u);
    EXPECT_EQ(rsrc.VirtualAddress, 0x2000u);
    EXPECT_EQ(reloc.PointerToRawData, rsrc.PointerToRawData + rsrc.SizeOfRawData);
    EXPECT_TRUE(std::equal(before.begin() + 0x200, before.begin() + 0x400, out.Bytes().begin() + 0x200));
    EXPECT_TRUE(std::all_of(out.Bytes().begin() + 0x400, out.Bytes().begin() + 0x1000, [](auto b) { return b == 0; }));
    EXPECT_TRUE(std::equal(before.begin() + 0x600, before.begin() + 0x800,
                           out.Bytes().begin() + reloc.PointerToRawData));
    auto back = ReadResources(out);
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(Text(back[0].Data), std::string(0x10000, 'p'));
    EXPECT_EQ(Text(back[1].Data), "<m/>");
}

TEST(PeImage, AProgramWithoutResourcesGetsANewSectionBeforeItsRelocations) {
    TTestImage source = StandardImage();
    source.Sections.erase(source.Sections.begin() + 1);
    source.Dirs[2][0] = source.Dirs[2][1] = 0;
    TPeImage img(source.Build());
    TPeImage out(WithResources(img, {Res(TResourceId::Of(16), TResourceId::Of(1), 0x409, "version")}));
    ASSERT_EQ(out.Sections().size(), 3u);
    EXPECT_EQ(out.Sections()[1].Name, ".rsrc");
    EXPECT_EQ(out.Sections()[1].VirtualAddress, 0x2000u);
    EXPECT_EQ(out.Sections()[1].Characteristics, 0x40000040u);
    EXPECT_EQ(out.Sections()[2].Name, ".reloc");
    EXPECT_EQ(out.Sections()[2].VirtualAddress, 0x3000u);
    EXPECT_EQ(out.Directory(2).Rva, 0x2000u);
    EXPECT_EQ(out.Directory(5).Rva, 0x3000u);
    EXPECT_EQ(Text(ReadResources(out).at(0).Data), "version");
}

TEST(PeImage, DiscardableDebugSectionsAndTheSymbolTableMoveAlong) {
    TTestImage source = StandardImage();
    source.Sections.push_back({".debug", 0x4000, 0x10, Bytes(0x10, 0xDB), 0x42000040});
    source.Overlay = {'S', 'Y', 'M', 'S'};
    source.SymbolTableInOverlay = true;
    TPeImage img(source.Build());
    auto res = ReadResources(img);
    res.push_back(Res(TResourceId::Of("KXFILE"), TResourceId::Of("SETUPX"), 0x409, std::string(0x1800, 'x')));
    Bytes out = WithResources(img, res);
    TPeImage again(out);
    ASSERT_EQ(again.Sections().size(), 4u);
    EXPECT_EQ(again.Sections()[3].VirtualAddress, 0x5000u);
    EXPECT_EQ(out[again.Sections()[3].PointerToRawData], 0xDB);
    std::uint32_t symbols = Get32(out, FileHeader + 8);
    ASSERT_EQ(symbols, out.size() - 4);
    EXPECT_EQ(std::string(out.end() - 4, out.end()), "SYMS");
}

TEST(PeImage, A64BitImageIsReadAndRewrittenAlike) {
    TPeImage img(StandardImage(true).Build());
    EXPECT_TRUE(img.Is64());
    EXPECT_EQ(img.ImageBase(), 0x140000000u);
    auto res = ReadResources(img);
    res.push_back(Res(TResourceId::Of("KXFILE"), TResourceId::Of("SETUPX"), 0x409, std::string(0x1800, 'x')));
    TPeImage out(WithResources(img, res));
    EXPECT_EQ(out.Directory(5).Rva, 0x4000u);
    EXPECT_EQ(ReadResources(out).size(), 2u);
}

TEST(PeImage, ResourcesComeBackAsTheyWentIn) {
    TPeImage img(StandardImage().Build());
    std::vector<TResource> res = {
        Res(TResourceId::Of(3), TResourceId::Of(1), 0x409, "icon"),
        Res(TResourceId::Of(3), TResourceId::Of(1), 0x804, "icon gb"),
        Res(TResourceId::Of("KXFILE"), TResourceId::Of("UNINST"), 0x409, ""),
        Res(TResourceId::Of("KXFILE"), TResourceId::Of("LICEN"), 0x409, "licence"),
        Res(TResourceId::Of("KX"), TResourceId::Of(7), 0, "prefix of KXFILE"),
        Res(TResourceId::Of(14), TResourceId::Of("MAINICON"), 0x409, "group")};
    auto back = ReadResources(TPeImage(WithResources(img, res)));
    // Directory order: named types by code unit ("KX" before "KXFILE"), then IDs.
    std::vector<std::string> order;
    for (const TResource& r : back)
        order.push_back(r.Type.Text() + "/" + r.Name.Text() + "/" + std::to_string(r.Language) + "=" + Text(r.Data));
    EXPECT_EQ(order, (std::vector<std::string>{"KX/#7/0=prefix of KXFILE", "KXFILE/LICEN/1033=licence",
                                                "KXFILE/UNINST/1033=", "#3/#1/1033=icon", "#3/#1/2052=icon gb",
                                                "#14/MAINICON/1033=group"}));
}

TEST(PeImage, TheSameResourceTwiceIsRefused) {
    TPeImage img(StandardImage().Build());
    auto res = ReadResources(img);
    res.push_back(res[0]);
    EXPECT_THROW(WithResources(img, res), EPeImage);
}

TEST(PeChecksum, FoldsCarriesSkipsItsOwnFieldAndAddsTheLength) {
    EXPECT_EQ(PeChecksum({1, 2, 3, 4, 5}, 100), 0x0201u + 0x0403u + 0x0005u + 5u);
    EXPECT_EQ(PeChecksum({0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 2, 0}, 0), 3u + 8u);
    EXPECT_EQ(PeChecksum({0xFF, 0xFF, 2, 0}, 100), 0x0002u + 4u);
}

// Fed in pieces that split words (an odd first piece, an empty one), the sum is
// the same as over the whole: 0x0201 + 0x0403 + 0x0005, plus 5 bytes.
TEST(PeChecksum, ComesOutTheSameWhateverPiecesTheBytesArriveIn) {
    const std::uint8_t bytes[] = {1, 2, 3, 4, 5};
    TPeChecksum sum;
    sum.Add(bytes, 1);
    sum.Add(bytes + 1, 0);
    sum.Add(bytes + 1, 3);
    sum.Add(bytes + 4, 1);
    EXPECT_EQ(sum.Value(), 0x0201u + 0x0403u + 0x0005u + 5u);
    TPeChecksum carries;
    const std::uint8_t high[] = {0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 2, 0};
    for (std::uint8_t b : high)
        carries.Add(&b, 1);
    EXPECT_EQ(carries.Value(), 3u + 8u);
}

// A large resource stays a file until the image is written: the written image
// holds the file's bytes where an in-memory resource of the same bytes would be.
TEST(PeImage, AResourceFromAFileIsWrittenLikeOneInMemory) {
    TPeImage img(StandardImage().Build());
    const std::string data = std::string(0x1801, 'p') + "end";
    const std::string path = testing::TempDir() + "kxpack-resource-file.bin";
    {
        std::ofstream f(path, std::ios::binary);
        f << data;
    }
    auto inMemory = ReadResources(img);
    inMemory.push_back(Res(TResourceId::Of("KXFILE"), TResourceId::Of("SETUPX"), 0x409, data));
    auto fromFile = ReadResources(img);
    fromFile.push_back({TResourceId::Of("KXFILE"), TResourceId::Of("SETUPX"), 0x409, 0, {}, path, data.size()});

    TPeOutput laidOut = LayOutWithResources(img, fromFile);
    EXPECT_EQ(laidOut.Pieces.Size(), 0x400u + 0x1A00u + 0x200u); // headers and .text, resources, relocations
    Bytes written = WithResources(img, fromFile);
    EXPECT_EQ(written, WithResources(img, inMemory));
    EXPECT_EQ(Text(ReadResources(TPeImage(written)).at(0).Data), data);

    // The file changed after it was measured: the writer notices instead of
    // writing an image whose directory does not match its data.
    fromFile.back().DataFileSize = data.size() + 1;
    EXPECT_THROW(WithResources(img, fromFile), EPieceRead);
    fromFile.back().DataFileSize = data.size() - 1;
    EXPECT_THROW(WithResources(img, fromFile), EPieceRead);
    std::remove(path.c_str());
    EXPECT_THROW(WithResources(img, fromFile), EPieceRead);
}

// --- images that are refused, and why ------------------------------------------

struct TBadImage {
    const char* What;
    void (*Damage)(TTestImage& image, Bytes& bytes);
    bool AtRead; // refused by the reader, else only when rewritten
    const char* Message;
};
void PrintTo(const TBadImage& c, std::ostream* os) { *os << c.What; }


class PeImageRefusal : public ::testing::TestWithParam<TBadImage> {};

TEST_P(PeImageRefusal, NamesTheProblem) {
    const TBadImage& c = GetParam();
    TTestImage source = StandardImage();
    Bytes bytes;
    c.Damage(source, bytes);
    if (bytes.empty())
        bytes = source.Build();
    try {
        TPeImage img(bytes);
        ASSERT_FALSE(c.AtRead) << c.What << ": read without complaint";
        auto res = ReadResources(img);
        res.push_back(Res(TResourceId::Of("KXFILE"), TResourceId::Of("INIFILE"), 0x409, "abc"));
        WithResources(img, res);
        FAIL() << c.What << ": rewritten without complaint";
    } catch (const EPeImage& e) {
        EXPECT_NE(e.Message().find(c.Message), std::string::npos) << c.What << ": " << e.Message();
    }
}

Bytes Built(const TTestImage& i) { return i.Build(); }

INSTANTIATE_TEST_SUITE_P(
    Table, PeImageRefusal,
    ::testing::Values(
        TBadImage{"empty file", [](TTestImage&, Bytes& b) { b = {0}; }, true, "no MZ header"},
        TBadImage{"a text file", [](TTestImage&, Bytes& b) { b = Bytes(100, 'a'); }, true, "no MZ header"},
        TBadImage{"cut inside the DOS header", [](TTestImage& i, Bytes& b) { b = Built(i); b.resize(40); }, true,
                  "ends inside the DOS header"},
        TBadImage{"cut inside the section table", [](TTestImage& i, Bytes& b) { b = Built(i); b.resize(0x150); },
                  true, "ends inside the section table"},
        TBadImage{"cut inside the resources", [](TTestImage& i, Bytes& b) { b = Built(i); b.resize(0x500); }, true,
                  "ends inside the data of section .rsrc"},
        TBadImage{"a DOS program", [](TTestImage& i, Bytes& b) { b = Built(i); b[PeOffset] = 'N'; }, true,
                  "no PE signature"},
        TBadImage{"PE offset past the end", [](TTestImage& i, Bytes& b) { b = Built(i); Set32(b, 0x3C, 0x10000); },
                  true, "ends inside the PE header"},
        TBadImage{"a DLL", [](TTestImage& i, Bytes&) { i.Characteristics |= 0x2000; }, true, "a DLL"},
        TBadImage{"an object file", [](TTestImage& i, Bytes&) { i.Characteristics = 0x0100; }, true,
                  "not an executable image"},
        TBadImage{"an ARM program", [](TTestImage& i, Bytes& b) { b = Built(i); Set16(b, FileHeader, 0x01C4); },
                  true, "not for x86"},
        TBadImage{"an unknown optional header", [](TTestImage& i, Bytes& b) { b = Built(i); Set16(b, OptionalHeader, 0x107); },
                  true, "magic 0x0107"},
        TBadImage{"overlapping sections", [](TTestImage& i, Bytes&) { i.Sections[1].Rva = 0x1000; }, true,
                  "overlaps"},
        TBadImage{"too few data directories",
                  [](TTestImage& i, Bytes& b) { b = Built(i); Set32(b, OptionalHeader + 92, 2); }, false,
                  "no resource directory entry"},
        TBadImage{"a signed program", [](TTestImage& i, Bytes&) { i.Dirs[4][0] = 0x800; i.Dirs[4][1] = 8; }, false,
                  "signed"},
        TBadImage{"data after the resources",
                  [](TTestImage& i, Bytes&) { i.Sections.push_back({".data", 0x4000, 4, {1, 2, 3, 4}, 0xC0000040}); },
                  false, "section .data follows the resources"},
        TBadImage{"resources inside another section",
                  [](TTestImage& i, Bytes&) {
                      i.Dirs[2][0] = 0x2010;
                  },
                  false, "share section .rsrc"},
        TBadImage{"imports inside the resource section",
                  [](TTestImage& i, Bytes&) { i.Dirs[1][0] = 0x2050; i.Dirs[1][1] = 8; }, false,
                  "holds the import directory"},
        TBadImage{"a relocation inside the resources",
                  [](TTestImage& i, Bytes&) { i.Sections[2].Raw[0] = 0x00; i.Sections[2].Raw[1] = 0x20; }, false,
                  "relocations patch"},
        TBadImage{"a pointer into the resources",
                  [](TTestImage& i, Bytes&) { i.Sections[0].Raw[0x11] = 0x20; i.Sections[0].Raw[0x10] = 0x58; }, false,
                  "points into its resources"},
        TBadImage{"an unknown relocation type",
                  [](TTestImage& i, Bytes&) { i.Sections[2].Raw[9] = 0x40; }, false, "relocation type 4"},
        TBadImage{"a resource directory that contains itself",
                  [](TTestImage& i, Bytes&) { i.Sections[1].Raw[20] = 0; }, false, "twice"},
        TBadImage{"a resource tree two levels deep",
                  [](TTestImage& i, Bytes&) { i.Sections[1].Raw[20] = 0x48; i.Sections[1].Raw[23] = 0; }, false,
                  "not three levels deep"},
        TBadImage{"resource data outside the file",
                  [](TTestImage& i, Bytes&) { i.Sections[1].Raw[73] = 0x70; }, false, "resource data lies outside"},
        TBadImage{"no room for a new section header",
                  [](TTestImage& i, Bytes&) {
                      i.Sections.erase(i.Sections.begin() + 1);
                      i.Dirs[2][0] = i.Dirs[2][1] = 0;
                      i.SizeOfHeaders = 0x188; // the two section headers end here
                  },
                  false, "no room in the headers"}),
    test::TCaseName());

// --- the real stub -------------------------------------------------------------

#ifdef KX_TEST_STUB
TEST(PeImageRealStub, KeepsTheStubsResourcesAndSectionsAndAddsThePackage) {
    std::ifstream f(KX_TEST_STUB, std::ios::binary);
    if (!f)
        GTEST_SKIP() << "no stub at " << KX_TEST_STUB << " (build the win32 tree)";
    Bytes stubBytes((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
    TPeImage stub(stubBytes);
    EXPECT_FALSE(stub.Is64());
    auto own = ReadResources(stub);
    ASSERT_FALSE(own.empty());
    auto all = own;
    const char* names[] = {"INIFILE", "SETUPX", "UNINST", "LICCN", "LICB5", "LICEN"};
    for (const char* n : names)
        all.push_back(Res(TResourceId::Of("KXFILE"), TResourceId::Of(n), 0x409, std::string("data of ") + n));
    TPeImage out(WithResources(stub, all));

    auto back = ReadResources(out);
    ASSERT_EQ(back.size(), own.size() + 6);
    for (const TResource& r : own) {
        auto it = std::find_if(back.begin(), back.end(), [&](const TResource& b) {
            return b.Type == r.Type && b.Name == r.Name && b.Language == r.Language;
        });
        ASSERT_NE(it, back.end()) << r.Type.Text() << "/" << r.Name.Text();
        EXPECT_EQ(it->Data, r.Data) << r.Type.Text() << "/" << r.Name.Text();
    }
    // Every section before the resources keeps its place and bytes.
    int rsrc = stub.SectionOf(stub.Directory(2).Rva);
    ASSERT_GT(rsrc, 0);
    for (int i = 0; i < rsrc; ++i) {
        const TPeSection& a = stub.Sections()[i];
        const TPeSection& b = out.Sections()[i];
        EXPECT_EQ(a.VirtualAddress, b.VirtualAddress) << a.Name;
        EXPECT_TRUE(std::equal(stubBytes.begin() + a.PointerToRawData,
                               stubBytes.begin() + a.PointerToRawData + a.SizeOfRawData,
                               out.Bytes().begin() + b.PointerToRawData))
            << a.Name;
    }
}
#endif

} // namespace
} // namespace kx::kxpack
