// TArchiverRoot: names of segments, properties, open and close, operation nesting.
#include <gtest/gtest.h>

#include "TestSupport.h"
#include "archive/JodArchiverRoot.h"
#include "sys/Paths.h"

using namespace kx;
using namespace kxtest;

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
