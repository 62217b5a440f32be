// TArchiverRoot: names of segments, properties, open and close, operation nesting.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "archive/JodArchiverRoot.h"
#include "archive/QdxArch2.h"
#include "sys/FileStream.h"
#include "sys/Paths.h"

using namespace kx;
using namespace kxtest;

static double EntryDateForRoot() { return 44123.75; }

namespace {

// Exposes the protected nesting for the tests.
class Root : public TArchiverRoot {
public:
    using TArchiverRoot::FinishOperation;
    using TArchiverRoot::StartOperation;
};

} // namespace

TEST(SegmentNames, BaseNameDropsHyphenAndDigits) {
    Root r;
    const std::string d = std::string("dir") + PathDelim;
    r.SetFileName(d + "pack-7.dat");
    EXPECT_EQ(r.FileBaseName(), "pack");
    EXPECT_EQ(r.GetSegmentName(1), d + "pack.dat");
    EXPECT_EQ(r.GetSegmentName(3), d + "pack-003.mmm");
    EXPECT_EQ(r.GetSegmentName(12), d + "pack-012.mmm");
    EXPECT_EQ(r.GetSegmentName(1000), d + "pack-1000.mmm");
    r.SetFileName(d + "pack7.dat");
    EXPECT_EQ(r.FileBaseName(), "pack7");
    r.SetFileName(d + "-7.dat");
    EXPECT_EQ(r.FileBaseName(), "");
    r.SetFileName(d + "data-002.mmm");
    EXPECT_EQ(r.FileBaseName(), "data");
    EXPECT_EQ(r.FileExtension(), ".mmm");
}

TEST(RootProperties, BlockSizeBelow1024IsIgnored) {
    Root r;
    EXPECT_EQ(r.BlockSize(), 65536);
    r.SetBlockSize(1023);
    EXPECT_EQ(r.BlockSize(), 65536);
    r.SetBlockSize(1024);
    EXPECT_EQ(r.BlockSize(), 1024);
}

// The reader refuses headers above 64 MiB; the setter takes nothing an archive
// could not be read back with.
TEST(RootProperties, BlockSizeAboveTheReadersBoundIsIgnored) {
    Root r;
    r.SetBlockSize(67108865);
    EXPECT_EQ(r.BlockSize(), 65536);
    r.SetBlockSize(2126221433); // where the buffer size would overflow
    EXPECT_EQ(r.BlockSize(), 65536);
    r.SetBlockSize(0x7FFFFFFF);
    EXPECT_EQ(r.BlockSize(), 65536);
    r.SetBlockSize(67108864);
    EXPECT_EQ(r.BlockSize(), 67108864);
}

TEST(RootProperties, Defaults) {
    Root r;
    EXPECT_EQ(r.Filter(), "*.*");
    EXPECT_EQ(r.ErrorAction(), eaAbort);
    EXPECT_EQ(r.Options().Bits(), 0x14D1u);
    EXPECT_FALSE(r.IsOpen());
    EXPECT_FALSE(r.ReadOnly());
    EXPECT_EQ(r.Operation(), TOperation::opNone);
}

TEST(RootOpen, MissingFileCannotBeCreatedByTheBase) {
    TempDir dir;
    Root r;
    r.SetFileName(dir / "none.arc");
    EXPECT_THROW(r.Open(), EArchiver);
    EXPECT_FALSE(r.IsOpen());
}

TEST(RootOpen, EmptyFileNameIsRefused) {
    Root r;
    EXPECT_THROW(r.Open(), EArchiver);
}

TEST(RootOpen, SameFileNameKeepsTheArchiveOpen) {
    TempDir dir;
    WriteBytes(dir / "a.arc", SegmentBuilder(HeaderFields()).Finish());
    WriteBytes(dir / "b.arc", SegmentBuilder(HeaderFields()).Finish());
    Root r;
    int closes = 0;
    r.OnAfterClose = [&](TArchiverRoot*) { ++closes; };
    r.SetFileName(dir / "a.arc");
    r.Open();
    ASSERT_TRUE(r.IsOpen());
    r.SetFileName(dir / "a.arc");
    EXPECT_TRUE(r.IsOpen());
    EXPECT_EQ(closes, 0);
    r.SetFileName(dir / "b.arc");
    EXPECT_FALSE(r.IsOpen());
    EXPECT_EQ(closes, 1);
}

TEST(RootOpen, HeaderIsReadAndEventsRunInOrder) {
    TempDir dir;
    HeaderFields h;
    h.Segment = 0x00010001; // read modulo 65536
    h.RandomID = 123456;
    WriteBytes(dir / "a.arc", SegmentBuilder(h).Finish());
    Root r;
    std::string log;
    r.OnBeforeOpen = [&](TArchiverRoot*) { log += "B"; };
    r.OnAcceptArchive = [&](TArchiverRoot*, const TArchiveHeader& hd, bool& accept) {
        log += "A";
        EXPECT_EQ(hd.RandomID, 123456);
        accept = true;
    };
    r.OnAfterOpen = [&](TArchiverRoot*) { log += "O"; };
    r.OnBeforeClose = [&](TArchiverRoot*) { log += "C"; };
    r.OnAfterClose = [&](TArchiverRoot*) { log += "D"; };
    r.SetFileName(dir / "a.arc");
    r.Open();
    EXPECT_EQ(r.Header().Segment, 1);
    EXPECT_EQ(r.Header().EndOffset, 633);
    EXPECT_TRUE(r.IsEmpty());
    EXPECT_FALSE(r.SpansSegments());
    r.Close();
    EXPECT_EQ(log, "BAOCD");
}

TEST(RootOpen, RefusedByAcceptHandler) {
    TempDir dir;
    WriteBytes(dir / "a.arc", SegmentBuilder(HeaderFields()).Finish());
    Root r;
    r.OnAcceptArchive = [](TArchiverRoot*, const TArchiveHeader&, bool& accept) { accept = false; };
    r.SetFileName(dir / "a.arc");
    EXPECT_THROW(r.Open(), EArchiver);
    EXPECT_FALSE(r.IsOpen());
}

TEST(RootOpen, Version2IsRefused) {
    TempDir dir;
    HeaderFields h;
    h.Version = 2;
    WriteBytes(dir / "a.arc", SegmentBuilder(h).Finish());
    Root r;
    r.SetFileName(dir / "a.arc");
    try {
        r.Open();
        FAIL() << "version 2 opened";
    } catch (const EArchiver&) {
        FAIL() << "version is refused with the base class";
    } catch (const Exception&) {
    }
    EXPECT_FALSE(r.IsOpen());
}

TEST(RootOpen, ForeignSignatureIsRefused) {
    TempDir dir;
    HeaderFields h;
    h.Signature = 0x1239;
    WriteBytes(dir / "a.arc", SegmentBuilder(h).Finish());
    Root r;
    r.SetFileName(dir / "a.arc");
    EXPECT_THROW(r.Open(), EArchiver);
    EXPECT_FALSE(r.IsOpen());
}

TEST(RootOpen, SignatureFromTheEvent) {
    TempDir dir;
    HeaderFields h;
    h.Signature = 0x5151;
    WriteBytes(dir / "a.arc", SegmentBuilder(h).Finish());
    Root r;
    r.OnGetSignature = [](TArchiverRoot*, std::int32_t& s) { s = 0x5151; };
    r.SetFileName(dir / "a.arc");
    EXPECT_NO_THROW(r.Open());
    EXPECT_TRUE(r.IsOpen());
}

TEST(RootOperations, NestingRaisesStartAndFinishOnce) {
    Root r;
    int starts = 0, finishes = 0;
    std::vector<int> progress;
    r.OnStartOperation = [&](TArchiverRoot*) { ++starts; };
    r.OnFinishOperation = [&](TArchiverRoot*) { ++finishes; };
    r.OnFileProgress = [&](TArchiverRoot*, int p) { progress.push_back(p); };
    r.StartOperation();
    r.StartOperation();
    r.FinishOperation();
    EXPECT_EQ(finishes, 0);
    r.FinishOperation();
    r.FinishOperation(); // nothing open: no effect
    EXPECT_EQ(starts, 1);
    EXPECT_EQ(finishes, 1);
    EXPECT_EQ(progress, std::vector<int>{0});
}

TEST(RootHelpers, ForceDirectoryMakesParentsAndRefusesEmpty) {
    TempDir dir;
    Root r;
    std::string deep = dir / "a/b/c";
    r.ForceDirectory(deep);
    EXPECT_TRUE(std::filesystem::is_directory(deep));
    EXPECT_THROW(r.ForceDirectory(""), Exception);
}

TEST(RootHelpers, TempFileNameIsInTheProgramsTempFolder) {
    Root r;
    std::string name = r.GetTempFileName();
    EXPECT_EQ(name.rfind(GetProgramPath() + "temp" + PathDelim + "~Archiv-", 0), 0u) << name;
    EXPECT_EQ(name.substr(name.size() - 4), ".tmp");
}

namespace {

// A root that makes a new archive file and writes headers, the way the writer does.
class CreatingRoot : public TArchiverRoot {
public:
    std::vector<std::int32_t> segmentRequests;
    void WriteWhileAdding(std::int32_t fileCount) {
        FHeader.SegmentInfo.FileCount = fileCount;
        EnterPhase(phAddingData);
        WriteHeader();
        LeavePhase(phAddingData);
    }
    void AppendEntry(TFileEntry& e) {
        Stream().SetPosition(FHeader.EndOffset);
        WriteFileEntry(e);
    }
    void ReadEntryAt(std::int32_t offset, TFileEntry& e) {
        Stream().SetPosition(offset);
        ReadFileEntry(e);
    }
    void SetEndOffset(std::int32_t v) { FHeader.EndOffset = v; }

protected:
    void CreateArchive() override {
        FHeader = TArchiveHeader();
        FHeader.Version = 1;
        FHeader.RandomID = 42;
        FHeader.BlockSize = FBlockSize;
        FHeader.EndOffset = 633;
        FHeader.Segment = 1;
        FHeader.ArchiveFlag = afCompressed | afFinalSegment;
        CreateArchiveFile();
    }
    std::uint16_t GetOpenMode() override { return fmOpenReadWrite | fmShareCompat; }
    bool NeedNewSegment(std::int32_t size) override {
        segmentRequests.push_back(size);
        return false;
    }
};

} // namespace

TEST(RootHeaderWrite, NewArchiveIs633BytesWithUserDataFromTheEvent) {
    TempDir dir;
    CreatingRoot r;
    int updates = 0;
    r.OnWriteUserData = [](TArchiverRoot*, TUserData& u) {
        EXPECT_EQ(u.Data[0], 0);
        u.Data[0] = 0x5A;
    };
    r.OnAfterHeaderUpdate = [&](TArchiverRoot*) { ++updates; };
    r.SetBlockSize(4096);
    r.SetFileName(dir / "new/made.arc");
    r.Open();
    r.Close();
    Bytes b = ReadBytes(dir / "new/made.arc");
    HeaderFields f;
    f.RandomID = 42;
    f.BlockSize = 4096;
    Bytes expected = HeaderBytes(f);
    expected[73] = 0x5A;
    EXPECT_EQ(b, expected);
    EXPECT_EQ(updates, 1);
}

TEST(RootHeaderWrite, SegmentFileCountCountsTheFileBeingAdded) {
    TempDir dir;
    CreatingRoot r;
    r.SetFileName(dir / "made.arc");
    r.Open();
    r.WriteWhileAdding(2);
    r.Close();
    Bytes b = ReadBytes(dir / "made.arc");
    EXPECT_EQ(GetLE32(b, 49), 3u);
    EXPECT_EQ(GetLE32(b, 25), 0u);
}

TEST(RootHeaderWrite, EntryIsWrittenAtTheStreamPositionAndReadBack) {
    TempDir dir;
    CreatingRoot r;
    r.SetFileName(dir / "made.arc");
    r.Open();
    TFileEntry e;
    e.Name = "x.bin";
    e.Date = EntryDateForRoot();
    e.EntryFlags = efFile | efLastPart;
    e.Segment = 1;
    r.AppendEntry(e);
    EXPECT_EQ(e.Offset, 633);
    EXPECT_EQ(r.segmentRequests, std::vector<std::int32_t>{50});
    r.SetEndOffset(633 + 50);
    TFileEntry back;
    r.ReadEntryAt(633, back);
    EXPECT_EQ(back.Name, "x.bin");
    EXPECT_EQ(back.Offset, 633);
    EXPECT_EQ(back.Date, e.Date);
    EXPECT_EQ(r.CurrentEntry().Name, ""); // ReadFileEntry fills the record it is given
    r.Close();
    EntryFields f;
    f.Name = "x.bin";
    f.Date = e.Date;
    f.Offset = 633;
    f.Flags = 5;
    EXPECT_EQ(ReadBytes(dir / "made.arc").substr(633), EntryBytes(f));
}

// ---- destruction ----------------------------------------------------------------

namespace {

template <class T>
class DestroyingOpenComponent : public ::testing::Test {};

using ComponentClasses = ::testing::Types<Root, TCustomExtractor, TCustomArchiver, TJodArchiver, TQdxArch2>;
TYPED_TEST_SUITE(DestroyingOpenComponent, ComponentClasses);

} // namespace

TYPED_TEST(DestroyingOpenComponent, RaisesNeitherClearFileListNorAfterClose) {
    TempDir dir;
    SegmentBuilder s(HeaderFields{});
    s.AddFile("a.txt", TextData(100), true);
    WriteBytes(dir / "a.arc", s.Finish());
    std::vector<std::string> events;
    {
        TypeParam c;
        c.SetOptions(TOptions(c.Options()).Include(oMaintainFileDirectory));
        c.SetFileName(dir / "a.arc");
        c.SetReadOnly(true);
        c.Open();
        ASSERT_TRUE(c.IsOpen());
        c.OnClearFileList = [&](TArchiverRoot*) { events.push_back("clear"); };
        c.OnAfterClose = [&](TArchiverRoot*) { events.push_back("after close"); };
    }
    EXPECT_EQ(events, std::vector<std::string>{});
}

// ---- files opened for reading ------------------------------------------------------

namespace {

struct ReadOpenCase {
    const char* what;
    bool extractorOnly; // TCustomExtractor: its own mode is read-only
    bool readOnly;      // ReadOnly set before Open
};

std::ostream& operator<<(std::ostream& os, const ReadOpenCase& c) { return os << c.what; }

class CreateReadOnlyOnAFileOpenedForReading : public ::testing::TestWithParam<ReadOpenCase> {};

} // namespace

// oCreateReadOnly marks an archive when a component closes a file it wrote; a file
// opened for reading is left as it is, and closing it raises nothing.
TEST_P(CreateReadOnlyOnAFileOpenedForReading, CloseWritesNothing) {
    const ReadOpenCase c = GetParam();
    TempDir dir;
    SegmentBuilder s(HeaderFields{});
    s.AddFile("a.txt", TextData(3000), true);
    const Bytes archive = s.Finish();
    WriteBytes(dir / "a.arc", archive);
    std::unique_ptr<TCustomExtractor> x;
    if (c.extractorOnly)
        x = std::make_unique<TCustomExtractor>();
    else
        x = std::make_unique<TQdxArch2>();
    x->SetOptions(TOptions(x->Options()).Include(oCreateReadOnly));
    x->SetReadOnly(c.readOnly);
    x->SetFileName(dir / "a.arc");
    x->Open();
    x->EnumerateFiles();
    EXPECT_NO_THROW(x->Close());
    EXPECT_EQ(ReadBytes(dir / "a.arc"), archive);
}

INSTANTIATE_TEST_SUITE_P(Components, CreateReadOnlyOnAFileOpenedForReading,
                         ::testing::Values(ReadOpenCase{"extractor", true, false},
                                           ReadOpenCase{"extractor set read-only", true, true},
                                           ReadOpenCase{"setup component set read-only", false, true}));
