// The records' bytes, the block check, the zlib codec, the stream expander and the
// message sets.
#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "archive/ArchiveFormat.h"
#include "archive/ArchiveMessages.h"
#include "archive/BlockDeflater.h"
#include "archive/JodCustExtractor.h"
#include "archive/ZlibCodec.h"
#include "base/Stream.h"

using namespace kx;
using namespace kxtest;

namespace {

Bytes Hex(std::initializer_list<int> v) {
    Bytes b;
    for (int x : v) b.push_back(static_cast<char>(x));
    return b;
}

Bytes StreamBytes(TMemoryStream& s) { return s.AsString(); }

TMemoryStream StreamOf(const Bytes& b) {
    TMemoryStream s;
    s.WriteBuffer(b.data(), static_cast<std::int32_t>(b.size()));
    s.SetPosition(0);
    return s;
}

TArchiveHeader SampleHeader() {
    TArchiveHeader h;
    h.Signature = 4664;
    h.Version = 1;
    h.RandomID = 0x00ABCDEF;
    h.BlockSize = 65536;
    h.EndOffset = 700;
    h.Segment = 3;
    h.ArchiveFlag = afCompressed | afFinalSegment;
    h.ArchiveInfo = {28, 1.0, 2.0};
    h.SegmentInfo = {5, 0.5, 1.5};
    h.UserData.Data[0] = 0xAA;
    h.UserData.Data[131] = 0xBB;
    h.Reserved[0] = 0xCC;
    h.Reserved[423] = 0xDD;
    h.Comment = "hi";
    return h;
}

} // namespace

TEST(ArchiveHeaderLayout, FieldsSitAtTheirOffsets) {
    TMemoryStream s;
    WriteArchiveHeader(s, SampleHeader());
    Bytes b = StreamBytes(s);
    ASSERT_EQ(b.size(), 635u);
    EXPECT_EQ(b.substr(0, 4), Hex({0x38, 0x12, 0x00, 0x00}));
    EXPECT_EQ(b.substr(4, 4), Hex({0x01, 0x00, 0x00, 0x00}));
    EXPECT_EQ(b.substr(8, 4), Hex({0xEF, 0xCD, 0xAB, 0x00}));
    EXPECT_EQ(b.substr(12, 4), Hex({0x00, 0x00, 0x01, 0x00}));
    EXPECT_EQ(b.substr(16, 4), Hex({0xBC, 0x02, 0x00, 0x00}));
    EXPECT_EQ(b.substr(20, 4), Hex({0x03, 0x00, 0x00, 0x00}));
    EXPECT_EQ(b.substr(24, 1), Hex({0x09}));
    // ArchiveInfo: FileCount 28, Size 1.0, CompressedSize 2.0
    EXPECT_EQ(b.substr(25, 24), Hex({0x1C, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F,
                                     0, 0, 0, 0, 0, 0, 0, 0x80, 0x00, 0x40}));
    // SegmentInfo: 5, 0.5, 1.5
    EXPECT_EQ(b.substr(49, 24), Hex({0x05, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFE, 0x3F,
                                     0, 0, 0, 0, 0, 0, 0, 0xC0, 0xFF, 0x3F}));
    EXPECT_EQ(static_cast<unsigned char>(b[73]), 0xAA);
    EXPECT_EQ(static_cast<unsigned char>(b[204]), 0xBB);
    EXPECT_EQ(static_cast<unsigned char>(b[205]), 0xCC);
    EXPECT_EQ(static_cast<unsigned char>(b[628]), 0xDD);
    EXPECT_EQ(b.substr(629, 4), Hex({0x02, 0, 0, 0}));
    EXPECT_EQ(b.substr(633), "hi");
}

TEST(ArchiveHeaderLayout, ReadsBackWhatTheTableSays) {
    Bytes b = Hex({0x38, 0x12, 0, 0}) + Hex({1, 0, 0, 0}) + Hex({0x40, 0x42, 0x0F, 0}) + Hex({0, 4, 0, 0}) +
              Hex({0x7B, 0x02, 0, 0}) + Hex({0x02, 0x00, 0x01, 0x00}) /* segment 65538 */ + Hex({0x0B});
    b += Hex({3, 0, 0, 0}) + Ext80(300.0) + Ext80(150.0);
    b += Hex({1, 0, 0, 0}) + Ext80(100.0) + Ext80(50.0);
    b += Bytes(132, '\x11') + Bytes(424, '\x22');
    b += Hex({3, 0, 0, 0}) + "abc";
    TMemoryStream s = StreamOf(b);
    TArchiveHeader h;
    ASSERT_EQ(s.ReadInt32(), 4664);
    ReadArchiveHeaderBody(s, h);
    EXPECT_EQ(h.Version, 1);
    EXPECT_EQ(h.RandomID, 999999 + 1);
    EXPECT_EQ(h.BlockSize, 1024);
    EXPECT_EQ(h.EndOffset, 635);
    EXPECT_EQ(h.Segment, 2); // 65538 read modulo 65536
    EXPECT_EQ(h.ArchiveFlag, afCompressed | afSolid | afFinalSegment);
    EXPECT_EQ(h.ArchiveInfo.FileCount, 3);
    EXPECT_EQ(h.ArchiveInfo.Size, 300.0);
    EXPECT_EQ(h.ArchiveInfo.CompressedSize, 150.0);
    EXPECT_EQ(h.SegmentInfo.FileCount, 1);
    EXPECT_EQ(h.SegmentInfo.Size, 100.0);
    EXPECT_EQ(h.SegmentInfo.CompressedSize, 50.0);
    EXPECT_EQ(h.UserData.Data[0], 0x11);
    EXPECT_EQ(h.UserData.Data[131], 0x11);
    EXPECT_EQ(h.Reserved[0], 0x22);
    EXPECT_EQ(h.Reserved[423], 0x22);
    EXPECT_EQ(h.Comment, "abc");
    EXPECT_EQ(s.Position(), 636);
}

TEST(ArchiveHeaderLayout, EmptyArchiveIs633Bytes) {
    TArchiveHeader h;
    h.Signature = 4664;
    h.Version = 1;
    h.BlockSize = 65536;
    h.EndOffset = 633;
    h.Segment = 1;
    h.ArchiveFlag = afCompressed | afFinalSegment;
    TMemoryStream s;
    WriteArchiveHeader(s, h);
    Bytes b = StreamBytes(s);
    ASSERT_EQ(b.size(), 633u);
    EXPECT_EQ(b.substr(16, 4), Hex({0x79, 0x02, 0, 0}));
    EXPECT_EQ(b.substr(25, 48), Bytes(48, '\0'));
    EXPECT_EQ(b.substr(629, 4), Bytes(4, '\0'));
    // The independent layout agrees byte for byte.
    HeaderFields f;
    f.RandomID = 0;
    EXPECT_EQ(b, HeaderBytes(f));
}

TEST(FileEntryLayout, FieldsSitAtTheirOffsets) {
    TFileEntry e;
    e.Name = "ab";
    e.Date = 1.0;
    e.Attr = 0x20;
    e.Segment = 2;
    e.Offset = 633;
    e.SourceOffset = 7;
    e.EntryFlags = efFile | efLastPart;
    e.FileInfo = {10, 11};
    e.PartInfo = {12, 13};
    TMemoryStream s;
    WriteFileEntryFields(s, e);
    Bytes b = StreamBytes(s);
    const std::size_t n = 2;
    ASSERT_EQ(b.size(), 45 + n);
    EXPECT_EQ(b.substr(0, 4), Hex({2, 0, 0, 0}));
    EXPECT_EQ(b.substr(4, n), "ab");
    EXPECT_EQ(b.substr(4 + n, 10), Hex({0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0x3F}));
    EXPECT_EQ(b.substr(14 + n, 4), Hex({0x20, 0, 0, 0}));
    EXPECT_EQ(b.substr(18 + n, 2), Hex({2, 0}));
    EXPECT_EQ(b.substr(20 + n, 4), Hex({0x79, 0x02, 0, 0}));
    EXPECT_EQ(b.substr(24 + n, 4), Hex({7, 0, 0, 0}));
    EXPECT_EQ(b.substr(28 + n, 1), Hex({5}));
    EXPECT_EQ(b.substr(29 + n, 4), Hex({10, 0, 0, 0}));
    EXPECT_EQ(b.substr(33 + n, 4), Hex({11, 0, 0, 0}));
    EXPECT_EQ(b.substr(37 + n, 4), Hex({12, 0, 0, 0}));
    EXPECT_EQ(b.substr(41 + n, 4), Hex({13, 0, 0, 0}));
}

TEST(FileEntryLayout, ReadsTheIndependentLayout) {
    EntryFields f;
    f.Name = "dir\\Readme.TXT";
    f.Date = 44000.25;
    f.Attr = 1;
    f.Segment = -2;
    f.Offset = 0x01020304;
    f.SourceOffset = 65536;
    f.Flags = 6;
    f.FileSize = 1;
    f.FileCompressed = 2;
    f.PartSize = 3;
    f.PartCompressed = 4;
    TMemoryStream s = StreamOf(EntryBytes(f));
    TFileEntry e;
    ReadFileEntryFields(s, e, 1000);
    EXPECT_EQ(e.Name, f.Name);
    EXPECT_EQ(e.Date, 44000.25);
    EXPECT_EQ(e.Attr, 1);
    EXPECT_EQ(e.Segment, -2);
    EXPECT_EQ(e.Offset, 0x01020304);
    EXPECT_EQ(e.SourceOffset, 65536);
    EXPECT_EQ(e.EntryFlags, efFolder | efLastPart);
    EXPECT_EQ(e.FileInfo.Size, 1);
    EXPECT_EQ(e.FileInfo.CompressedSize, 2);
    EXPECT_EQ(e.PartInfo.Size, 3);
    EXPECT_EQ(e.PartInfo.CompressedSize, 4);
    EXPECT_EQ(s.Position(), static_cast<std::int64_t>(45 + f.Name.size()));
}

TEST(FileEntryLayout, NameLengthBeyondTheLimitIsRefused) {
    EntryFields f;
    f.Name = "abcdef";
    TMemoryStream s = StreamOf(EntryBytes(f));
    TFileEntry e;
    EXPECT_THROW(ReadFileEntryFields(s, e, 5), EArchiver);
    TMemoryStream neg = StreamOf(Hex({0xFF, 0xFF, 0xFF, 0xFF}) + Bytes(60, '\0'));
    EXPECT_THROW(ReadFileEntryFields(neg, e, 1000), EArchiver);
}

TEST(FlagsAndOptions, ValuesOfTheTables) {
    EXPECT_EQ(afCompressed, 1);
    EXPECT_EQ(afSolid, 2);
    EXPECT_EQ(afReadOnly, 4);
    EXPECT_EQ(afFinalSegment, 8);
    EXPECT_EQ(efFile, 1);
    EXPECT_EQ(efFolder, 2);
    EXPECT_EQ(efLastPart, 4);
    EXPECT_EQ(DefaultOptions.Bits(), 0x14D1u);
    EXPECT_EQ((TOptions{oStoreEmptyFolders, oCompress, oEraseNewDisk, oConfirmFileDeletion, oRecurseFolders,
                        oRestorePath}),
              DefaultOptions);
    EXPECT_EQ(TOptions{oNoSpanning}.Bits(), 0x10000u);
    EXPECT_EQ(static_cast<int>(raUpdateExisting), 5);
    EXPECT_EQ(static_cast<int>(clNone), 4);
}

TEST(BlockCheck, CheckValueOf123456789) {
    const char* text = "123456789";
    EXPECT_EQ(BlockCheck(text, 9), 0x2DFD2D88u);
    EXPECT_EQ(CRC32Update(0, text, 9), 0xCBF43926u);
    EXPECT_EQ(~CRC32Update(0xFFFFFFFFu, text, 9), 0x2DFD2D88u);
    EXPECT_EQ(TestBlockCRC(text), 0x2DFD2D88u);
}

TEST(BlockCheck, NullBufferGivesZero) {
    EXPECT_EQ(CRC32Update(0x12345678u, nullptr, 10), 0u);
    EXPECT_EQ(CRC32Update(0xFFFFFFFFu, nullptr, 0), 0u);
}

TEST(ZlibCodec, ExpandsOneStreamWithinTheCapacity) {
    Bytes data = TextData(5000);
    Bytes block = ZlibBlock(data).substr(8);
    EXPECT_EQ(static_cast<unsigned char>(block[0]), 0x78);
    EXPECT_EQ(static_cast<unsigned char>(block[1]), 0x9C);
    std::vector<std::uint8_t> out(5050);
    std::int32_t size = 5000;
    ASSERT_TRUE(ZlibUncompressBlock(out.data(), size, reinterpret_cast<const std::uint8_t*>(block.data()),
                                    static_cast<std::int32_t>(block.size())));
    EXPECT_EQ(size, 5000);
    EXPECT_EQ(Bytes(out.begin(), out.begin() + size), data);
}

TEST(ZlibCodec, RefusesLargerTruncatedOrCorruptStreams) {
    Bytes data = TextData(5000);
    Bytes block = ZlibBlock(data).substr(8);
    std::vector<std::uint8_t> out(6000);
    auto src = reinterpret_cast<const std::uint8_t*>(block.data());
    std::int32_t size = 4999; // one byte short of the expanded size
    EXPECT_FALSE(ZlibUncompressBlock(out.data(), size, src, static_cast<std::int32_t>(block.size())));
    size = 5000;
    EXPECT_FALSE(ZlibUncompressBlock(out.data(), size, src, static_cast<std::int32_t>(block.size()) - 3));
    Bytes bad = block;
    bad[1] = 0x00; // header check fails
    size = 5000;
    EXPECT_FALSE(ZlibUncompressBlock(out.data(), size, reinterpret_cast<const std::uint8_t*>(bad.data()),
                                     static_cast<std::int32_t>(bad.size())));
}

// The archive's own expansion, after the block CRC matched: the same answers as
// uncompress() except for the Adler-32 of the output, which it leaves to the CRC.
namespace {

struct CheckedCase {
    const char* what;
    void (*change)(Bytes& stream);
    std::int32_t capacity;
    bool accepted;
};

std::ostream& operator<<(std::ostream& os, const CheckedCase& c) { return os << c.what; }

class ZlibCheckedBlock : public ::testing::TestWithParam<CheckedCase> {};

} // namespace

TEST_P(ZlibCheckedBlock, AnswersAsUncompressSaveTheAdlerCheck) {
    const CheckedCase c = GetParam();
    const Bytes data = TextData(5000, 17);
    Bytes stream = ZlibBlock(data).substr(8);
    c.change(stream);
    std::vector<std::uint8_t> out(8000);
    std::int32_t size = c.capacity;
    const bool ok = ZlibUncompressCheckedBlock(out.data(), size, reinterpret_cast<const std::uint8_t*>(stream.data()),
                                               static_cast<std::int32_t>(stream.size()));
    EXPECT_EQ(ok, c.accepted);
    if (ok) {
        EXPECT_EQ(size, 5000);
        EXPECT_EQ(Bytes(out.begin(), out.begin() + size), data);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ZlibCheckedBlock,
    ::testing::Values(
        CheckedCase{"whole stream", [](Bytes&) {}, 5000, true},
        CheckedCase{"bytes after the trailer", [](Bytes& b) { b += "xyz"; }, 5000, true},
        CheckedCase{"Adler-32 differs", [](Bytes& b) { b.back() ^= 0x55; }, 5000, true},
        CheckedCase{"one byte short of the capacity", [](Bytes&) {}, 4999, false},
        CheckedCase{"trailer cut short", [](Bytes& b) { b.pop_back(); }, 5000, false},
        CheckedCase{"deflate data cut short", [](Bytes& b) { b.resize(b.size() / 2); }, 5000, false},
        CheckedCase{"header check bits wrong", [](Bytes& b) { b[1] = 0x00; }, 5000, false},
        CheckedCase{"preset dictionary", [](Bytes& b) { b[1] = static_cast<char>(0xBB); }, 5000, false},
        CheckedCase{"window above 32 KiB", [](Bytes& b) { b[0] = static_cast<char>(0x88); b[1] = 0x1C; }, 5000, false},
        CheckedCase{"not deflate", [](Bytes& b) { b[0] = 0x79; b[1] = 0x18; }, 5000, false},
        CheckedCase{"header alone", [](Bytes& b) { b.resize(2); }, 5000, false}));

TEST(ZlibCodec, AdlerMismatchIsStillRefusedByTheStandaloneExpansion) {
    Bytes stream = ZlibBlock(TextData(5000, 17)).substr(8);
    stream.back() ^= 0x55;
    std::vector<std::uint8_t> out(5000);
    std::int32_t size = 5000;
    EXPECT_FALSE(ZlibUncompressBlock(out.data(), size, reinterpret_cast<const std::uint8_t*>(stream.data()),
                                     static_cast<std::int32_t>(stream.size())));
}

TEST(ZlibCodec, CompressedBlockRoundTrips) {
    Bytes data = TextData(65536);
    std::vector<std::uint8_t> z(66191), out(66191);
    std::int32_t zSize = 66191;
    ASSERT_TRUE(ZlibCompressBlock(z.data(), zSize, reinterpret_cast<const std::uint8_t*>(data.data()), 65536, -1));
    EXPECT_LT(zSize, 65536);
    EXPECT_EQ(z[0], 0x78);
    EXPECT_EQ(z[1], 0x9C);
    std::int32_t size = 65536;
    ASSERT_TRUE(ZlibUncompressBlock(out.data(), size, z.data(), zSize));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + size), data);
    // 1024 noise bytes need 1035: a 1034-byte buffer does not hold them.
    Bytes noise = NoiseData(1024);
    zSize = 1034;
    EXPECT_FALSE(ZlibCompressBlock(z.data(), zSize, reinterpret_cast<const std::uint8_t*>(noise.data()), 1024, -1));
}

namespace {

Bytes Framed(std::int32_t magic, const std::vector<Bytes>& parts) {
    Bytes b;
    PutLE32(b, static_cast<std::uint32_t>(magic));
    for (const Bytes& p : parts) {
        Bytes z = ZlibBlock(p).substr(8);
        PutLE32(b, static_cast<std::uint32_t>(z.size()));
        b += z;
    }
    return b;
}

} // namespace

TEST(DecompressStreamTest, ExpandsEachFramedBlock) {
    Bytes a = TextData(65536, 2), c = TextData(100, 3);
    TMemoryStream src = StreamOf(Framed(0x1234, {a, c}));
    TMemoryStream dest;
    DecompressStream(src, dest, 0x1234);
    EXPECT_EQ(dest.AsString(), a + c);
    EXPECT_EQ(src.Position(), 0);
    EXPECT_EQ(dest.Position(), 0);
}

TEST(DecompressStreamTest, ForeignMagicCopiesEverything) {
    Bytes raw = Hex({1, 2, 3, 4, 5, 6});
    TMemoryStream src = StreamOf(raw);
    TMemoryStream dest;
    DecompressStream(src, dest, 0x1234);
    EXPECT_EQ(dest.AsString(), raw);
}

TEST(DecompressStreamTest, MagicAloneGivesEmptyResult) {
    TMemoryStream src = StreamOf(Hex({0x34, 0x12, 0, 0}));
    TMemoryStream dest;
    DecompressStream(src, dest, 0x1234);
    EXPECT_EQ(dest.Size(), 0);
}

TEST(DecompressStreamTest, FailuresRaise) {
    TMemoryStream empty, dest;
    try {
        DecompressStream(empty, dest, 1);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "Stream is empty");
    }
    Bytes framed = Framed(7, {TextData(300)});
    framed[10] ^= 0x55;
    TMemoryStream bad = StreamOf(framed);
    try {
        DecompressStream(bad, dest, 7);
        FAIL();
    } catch (const Exception& e) {
        EXPECT_EQ(e.Message(), "DeCompress Error");
    }
    Bytes huge = Hex({7, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0x7F, 1, 2});
    TMemoryStream hugeSrc = StreamOf(huge);
    EXPECT_THROW(DecompressStream(hugeSrc, dest, 7), Exception);
    Bytes truncated = Framed(7, {TextData(300)});
    truncated.resize(truncated.size() - 5);
    TMemoryStream cut = StreamOf(truncated);
    EXPECT_THROW(DecompressStream(cut, dest, 7), EReadError);
}

// ---- message sets ----------------------------------------------------------------

namespace {

void KeyAsText(const std::string& key, std::string& text) { text = key; }

struct HookScope {
    explicit HookScope(TTextLookupProc p) { TextLookupHook = p; }
    ~HookScope() { TextLookupHook = nullptr; }
};

} // namespace

TEST(MessageSets, EmptyWithoutHook) {
    TArchMessages m;
    EXPECT_EQ(m.BadSignature(), "");
    EXPECT_EQ(m.BadCRC(), "");
    EXPECT_EQ(m.CouldNotCompressBlock(), "");
    EXPECT_EQ(m.UnknownVersion(), "");
}

TEST(MessageSets, HookGivesTheKeys) {
    HookScope hook(KeyAsText);
    TArchMessages m;
    EXPECT_EQ(m.BadSignature(), "FBadSignature");
    EXPECT_EQ(m.AFile(), "FFile");
    EXPECT_EQ(m.LoadingArchiveContnent(), "FLoadingArchiveContnent");
    EXPECT_EQ(m.WrongNextSegment(), "FWrongNextSegment");
    EXPECT_EQ(m.ReplacingFile(), "FReplacingFile");
    EXPECT_EQ(m.AskOverwrite(), "");
}

// Every message of the three levels, with the key the hook receives for it.
TEST(MessageSets, EveryMessageLoadsItsOwnKeyAndIsAssigned) {
    using Getter = const std::string& (TArchMessages::*)() const;
    struct Row {
        const char* Name;
        Getter Get;
        const char* Key; // empty: never loaded
    };
    const Row rows[] = {
        {"BadSignature", &TArchMessages::BadSignature, "FBadSignature"},
        {"FileNameNeeded", &TArchMessages::FileNameNeeded, "FFileNameNeeded"},
        {"SystemMessage", &TArchMessages::SystemMessage, "FSystemMessage"},
        {"AcceptArchiveFailed", &TArchMessages::AcceptArchiveFailed, "FAcceptArchiveFailed"},
        {"KeyTooShort", &TArchMessages::KeyTooShort, "FKeyTooShort"},
        {"KeyNotConfirmed", &TArchMessages::KeyNotConfirmed, "FKeyNotConfirmed"},
        {"ArchiveIsReadOnly", &TArchMessages::ArchiveIsReadOnly, "FArchiveIsReadOnly"},
        {"CanNotCreateArchive", &TArchMessages::CanNotCreateArchive, "FCanNotCreateArchive"},
        {"CannotCreateDir", &TArchMessages::CannotCreateDir, "FCannotCreateDir"},
        {"SelectADirectory", &TArchMessages::SelectADirectory, "FSelectADirectory"},
        {"CanNotBuildTempFileName", &TArchMessages::CanNotBuildTempFileName, "FCanNotBuildTempFileName"},
        {"AFile", &TArchMessages::AFile, "FFile"},
        {"CanContinue", &TArchMessages::CanContinue, "FCanContinue"},
        {"UnknownVersion", &TArchMessages::UnknownVersion, "FUnknownVersion"},
        {"CouldNotUncompressBlock", &TArchMessages::CouldNotUncompressBlock, "FCouldNotUncompressBlock"},
        {"AskOverwrite", &TArchMessages::AskOverwrite, ""},
        {"NeedExtractPath", &TArchMessages::NeedExtractPath, "FNeedExtractPath"},
        {"InsertDisk", &TArchMessages::InsertDisk, "FInsertDisk"},
        {"LocateSegment", &TArchMessages::LocateSegment, "FLocateSegment"},
        {"WrongSegment", &TArchMessages::WrongSegment, "FWrongSegment"},
        {"InsertLastSegment", &TArchMessages::InsertLastSegment, "FInsertLastSegment"},
        {"LocateLastSegment", &TArchMessages::LocateLastSegment, "FLocateLastSegment"},
        {"WrongLastSegment", &TArchMessages::WrongLastSegment, "FWrongLastSegment"},
        {"WrongNextSegment", &TArchMessages::WrongNextSegment, "FWrongNextSegment"},
        {"BadCRC", &TArchMessages::BadCRC, "FBadCRC"},
        {"BadKey", &TArchMessages::BadKey, "FBadKey"},
        {"ReplaceFile", &TArchMessages::ReplaceFile, "FReplaceFile"},
        {"WithFile", &TArchMessages::WithFile, "FWithFile"},
        {"ConfirmFileOverwrite", &TArchMessages::ConfirmFileOverwrite, "FConfirmFileOverwrite"},
        {"ExtractingFile", &TArchMessages::ExtractingFile, "FExtractingFile"},
        {"LoadingArchiveContnent", &TArchMessages::LoadingArchiveContnent, "FLoadingArchiveContnent"},
        {"UncompressingSolidArchive", &TArchMessages::UncompressingSolidArchive, "FUncompressingSolidArchive"},
        {"CheckingFile", &TArchMessages::CheckingFile, "FCheckingFile"},
        {"CouldNotCompressBlock", &TArchMessages::CouldNotCompressBlock, "FCouldNotCompressBlock"},
        {"DeleteFileEventNeeded", &TArchMessages::DeleteFileEventNeeded, "FDeleteFileEventNeeded"},
        {"CouldNotRenameArchive", &TArchMessages::CouldNotRenameArchive, "FCouldNotRenameArchive"},
        {"InsertNewDisk", &TArchMessages::InsertNewDisk, "FInsertNewDisk"},
        {"SelectNewPlace", &TArchMessages::SelectNewPlace, "FSelectNewPlace"},
        {"NotEnoughFreeSpaceOn", &TArchMessages::NotEnoughFreeSpaceOn, "FNotEnoughFreeSpaceOn"},
        {"UnableToDeleteFiles", &TArchMessages::UnableToDeleteFiles, "FUnableToDeleteFiles"},
        {"ConfirmFileDeletion", &TArchMessages::ConfirmFileDeletion, "FConfirmFileDeletion"},
        {"MaxSegmentSizeTooSmall", &TArchMessages::MaxSegmentSizeTooSmall, "FMaxSegmentSizeTooSmall"},
        {"CantPerformThisOp", &TArchMessages::CantPerformThisOp, "FCantPerformThisOp"},
        {"AddingFile", &TArchMessages::AddingFile, "FAddingFile"},
        {"DeletingFiles", &TArchMessages::DeletingFiles, "FDeletingFiles"},
        {"DeleteFile", &TArchMessages::DeleteFile, "FDeleteFile"},
        {"MakingSFXArchive", &TArchMessages::MakingSFXArchive, "FMakingSFXArchive"},
        {"CompressingSolidArchive", &TArchMessages::CompressingSolidArchive, "FCompressingSolidArchive"},
        {"CopyingArchive", &TArchMessages::CopyingArchive, "FCopyingArchive"},
        {"CouldNotCopyArchive", &TArchMessages::CouldNotCopyArchive, "FCouldNotCopyArchive"},
        {"UpdatingFile", &TArchMessages::UpdatingFile, "FUpdatingFile"},
        {"ReplacingFile", &TArchMessages::ReplacingFile, "FReplacingFile"},
    };
    ASSERT_EQ(std::size(rows), 52u);
    TArchMessages loaded;
    {
        HookScope hook(KeyAsText);
        loaded.SetDefaults();
    }
    for (const Row& r : rows) EXPECT_EQ((loaded.*r.Get)(), r.Key) << r.Name;

    TArchMessages copy;
    copy.Assign(loaded);
    for (const Row& r : rows) EXPECT_EQ((copy.*r.Get)(), r.Key) << r.Name;
}

TEST(MessageSets, AssignCopiesTheSharedLevels) {
    TArchMessages arch;
    {
        HookScope hook(KeyAsText);
        arch.SetDefaults();
    }
    TMessages base;
    base.Assign(arch);
    EXPECT_EQ(base.BadSignature(), "FBadSignature");
    EXPECT_EQ(base.UnknownVersion(), "FUnknownVersion");

    TArchMessages target;
    target.SetBadCRC("kept");
    target.SetAddingFile("kept too");
    TMessages plain;
    plain.SetBadSignature("new");
    target.Assign(plain);
    EXPECT_EQ(target.BadSignature(), "new");
    EXPECT_EQ(target.BadCRC(), "kept");
    EXPECT_EQ(target.AddingFile(), "kept too");
}

TEST(MessageSets, ExtractorUsesItsOwnSet) {
    TCustomExtractor x;
    TArchMessages source;
    source.SetBadCRC("crc");
    source.SetBadSignature("sig");
    x.SetMessages(source);
    EXPECT_EQ(x.Messages().BadCRC(), "crc");
    EXPECT_EQ(x.Messages().BadSignature(), "sig");
}

namespace {

// A subclass whose constructor forgot to remake its message set.
class ArchLike : public TCustomExtractor {
public:
    TArchMessages& Arch() { return MessagesAs<TArchMessages>(); }

protected:
    TMessages* CreateMessages() override { return new TArchMessages(); }
};

} // namespace

TEST(MessageSets, SetOfABaseClassIsReplacedKeepingItsTexts) {
    ArchLike a;
    a.Messages().SetBadCRC("kept");
    TArchMessages& m = a.Arch();
    EXPECT_EQ(m.BadCRC(), "kept");
    EXPECT_EQ(&a.Arch(), &m);
    EXPECT_EQ(&a.Messages(), static_cast<TExtrMessages*>(&m));
}

TEST(ZlibCodec, AFailedBlockDoesNotSpoilTheNext) {
    Bytes a = TextData(3000, 5), b = TextData(4000, 6);
    Bytes za = ZlibBlock(a).substr(8), zb = ZlibBlock(b).substr(8);
    std::vector<std::uint8_t> out(5000);
    std::int32_t size = 5000;
    Bytes cut = za.substr(0, za.size() / 2);
    EXPECT_FALSE(ZlibUncompressBlock(out.data(), size, reinterpret_cast<const std::uint8_t*>(cut.data()),
                                     static_cast<std::int32_t>(cut.size())));
    size = 5000;
    ASSERT_TRUE(ZlibUncompressBlock(out.data(), size, reinterpret_cast<const std::uint8_t*>(zb.data()),
                                    static_cast<std::int32_t>(zb.size())));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + size), b);
    size = 5000;
    ASSERT_TRUE(ZlibUncompressBlock(out.data(), size, reinterpret_cast<const std::uint8_t*>(za.data()),
                                    static_cast<std::int32_t>(za.size())));
    EXPECT_EQ(Bytes(out.begin(), out.begin() + size), a);
}
