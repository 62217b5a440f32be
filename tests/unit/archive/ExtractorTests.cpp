// The extractor, as TQdxArch2 (the setup's component), over archives laid out byte
// by byte: blocks, names, restore rules, damaged blocks, segments, solid archives
// and progress.
#include <gtest/gtest.h>

#include <cmath>

#include "TestSupport.h"
#include "archive/JodCustExtractor.h"
#include "base/DateTime.h"
#include "sys/Files.h"
#include "sys/Paths.h"

using namespace kx;
using namespace kxtest;

namespace {

constexpr double EntryDate = 44000.5; // 2020-06-18 12:00:00

HeaderFields SmallBlocks(std::uint8_t flags = afCompressed | afFinalSegment) {
    HeaderFields h;
    h.BlockSize = 1024;
    h.Flags = flags;
    return h;
}

class ExtractorTest : public ::testing::Test {
protected:
    TempDir dir;
    TQdxArch2 x;

    void OpenBytes(const Bytes& archive, const std::string& name = "data.arc") {
        WriteBytes(dir / name, archive);
        x.SetFileName(dir / name);
        x.SetReadOnly(true);
        x.Open();
    }
};

} // namespace

TEST_F(ExtractorTest, RawAndZlibBlocksExpand) {
    Bytes text = TextData(3000, 7), noise = NoiseData(2500, 7);
    SegmentBuilder s(SmallBlocks());
    s.AddFile("text.txt", text, true);
    s.AddFile("noise.bin", noise, true); // does not shrink: raw blocks
    s.AddFile("plain.txt", text, false);
    OpenBytes(s.Finish());
    x.ExtractFile("text.txt", dir / "out/text.txt");
    x.ExtractFile("noise.bin", dir / "out/noise.bin");
    x.ExtractFile("plain.txt", dir / "out/plain.txt");
    EXPECT_EQ(ReadBytes(dir / "out/text.txt"), text);
    EXPECT_EQ(ReadBytes(dir / "out/noise.bin"), noise);
    EXPECT_EQ(ReadBytes(dir / "out/plain.txt"), text);
}

TEST_F(ExtractorTest, FileOfExactlyBlockSizeAndOneByteMore) {
    Bytes exact = TextData(1024, 3), more = TextData(1025, 4);
    SegmentBuilder s(SmallBlocks());
    s.AddFile("exact", exact, true);
    std::int32_t second = s.AddFile("more", more, true);
    Bytes archive = s.Finish();
    // The second file's last block holds one source byte and is stored raw: length -1.
    std::size_t lastBlock = archive.size() - 9;
    EXPECT_EQ(GetLE32(archive, lastBlock), 0xFFFFFFFFu);
    EXPECT_GT(second, 633);
    OpenBytes(archive);
    x.ExtractFile("exact", dir / "exact");
    x.ExtractFile("more", dir / "more");
    EXPECT_EQ(ReadBytes(dir / "exact"), exact);
    EXPECT_EQ(ReadBytes(dir / "more"), more);
}

TEST_F(ExtractorTest, ZeroLengthFileIsCreatedEmptyWithItsDate) {
    SegmentBuilder s(SmallBlocks());
    s.AddFile("empty.txt", "", true, EntryDate);
    OpenBytes(s.Finish());
    x.ExtractFile("empty.txt", dir / "empty.txt");
    ASSERT_TRUE(Exists(dir / "empty.txt"));
    EXPECT_EQ(ReadBytes(dir / "empty.txt"), "");
    EXPECT_NEAR(FileAge(dir / "empty.txt"), EntryDate, 2.0 / 86400);
}

TEST_F(ExtractorTest, ExtractedFileGetsTheEntryDate) {
    SegmentBuilder s(SmallBlocks());
    s.AddFile("a.txt", TextData(2000), true, EntryDate);
    OpenBytes(s.Finish());
    x.ExtractFile("a.txt", dir / "a.txt");
    EXPECT_NEAR(FileAge(dir / "a.txt"), EntryDate, 2.0 / 86400);
}

TEST_F(ExtractorTest, NamesMatchRegardlessOfCase) {
    Bytes data = TextData(100);
    SegmentBuilder s(SmallBlocks());
    s.AddFile("Readme.TXT", data, true);
    OpenBytes(s.Finish());
    x.ExtractFile("README.txt", dir / "r.txt");
    EXPECT_EQ(ReadBytes(dir / "r.txt"), data);
}

TEST_F(ExtractorTest, SeveralMatchingEntriesAllGoToTheDestinationInOrder) {
    Bytes first = TextData(3000, 1), second = TextData(1500, 2);
    SegmentBuilder s(SmallBlocks());
    std::vector<std::string> extracted;
    s.AddFile("dup.txt", first, true);
    s.AddFile("other.txt", TextData(10), true);
    s.AddFile("DUP.txt", second, true);
    OpenBytes(s.Finish());
    x.OnFileExtracted = [&](TArchiverRoot*, const TFileEntry& e, const std::string&) { extracted.push_back(e.Name); };
    x.ExtractFile("dup.txt", dir / "d.txt");
    EXPECT_EQ(extracted, (std::vector<std::string>{"dup.txt", "DUP.txt"}));
    EXPECT_EQ(ReadBytes(dir / "d.txt"), second);
}

TEST_F(ExtractorTest, AbsentNameWritesNothingAndReportsUpTo100) {
    SegmentBuilder s(SmallBlocks());
    s.AddFile("a.txt", TextData(3000), true);
    s.AddFile("b.txt", TextData(3000, 9), true);
    OpenBytes(s.Finish());
    std::vector<int> progress;
    x.OnFileProgress = [&](TArchiverRoot*, int p) { progress.push_back(p); };
    EXPECT_NO_THROW(x.ExtractFile("c.txt", dir / "c.txt"));
    EXPECT_FALSE(Exists(dir / "c.txt"));
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);
}

TEST_F(ExtractorTest, ProgressRisesFrom0To100) {
    SegmentBuilder s(SmallBlocks());
    s.AddFile("a.txt", TextData(5000, 1), true);
    s.AddFile("b.txt", NoiseData(5000, 2), true);
    s.AddFile("c.txt", TextData(5000, 3), true);
    OpenBytes(s.Finish());
    std::vector<int> progress;
    x.OnFileProgress = [&](TArchiverRoot*, int p) { progress.push_back(p); };
    x.ExtractFile("b.txt", dir / "b.txt");
    ASSERT_GE(progress.size(), 7u); // start, skip a, five blocks of b, skip c
    EXPECT_EQ(progress.front(), 0);
    EXPECT_EQ(progress.back(), 100);
    EXPECT_TRUE(std::is_sorted(progress.begin(), progress.end()));
}

TEST_F(ExtractorTest, DestinationWithoutDirectoryIsSkippedSilently) {
    SegmentBuilder s(SmallBlocks());
    s.AddFile("a.txt", TextData(100), true);
    OpenBytes(s.Finish());
    EXPECT_NO_THROW(x.ExtractFile("a.txt", "a-file-without-directory.txt"));
    EXPECT_FALSE(Exists("a-file-without-directory.txt"));
}

TEST_F(ExtractorTest, DefaultHookCopiesAndEventReplacesIt) {
    // A block with a positive length whose stored bytes are the data itself: the
    // extractor's own hook copies them.
    Bytes data = TextData(700);
    SegmentBuilder s(SmallBlocks());
    Bytes block;
    PutLE32(block, static_cast<std::uint32_t>(data.size()));
    PutLE32(block, TestBlockCRC(data));
    block += data;
    EntryFields e;
    e.Name = "copy.txt";
    e.FileSize = e.PartSize = 700;
    e.FileCompressed = static_cast<std::int32_t>(block.size());
    s.Add(e, {block});
    s.AddFile("zlib.txt", data, true);
    WriteBytes(dir / "data.arc", s.Finish());
    TCustomExtractor plain;
    plain.SetFileName(dir / "data.arc");
    plain.ExtractFile("copy.txt", dir / "copy.txt");
    EXPECT_EQ(ReadBytes(dir / "copy.txt"), data);
    int calls = 0;
    plain.OnUncompressBlock = [&](TArchiverRoot*, std::uint8_t* d, std::int32_t& ds, const std::uint8_t* src,
                                  std::int32_t ss) {
        ++calls;
        EXPECT_EQ(ds, 1024); // the header's BlockSize
        return ZlibUncompressBlock(d, ds, src, ss);
    };
    plain.ExtractFile("zlib.txt", dir / "zlib.txt");
    EXPECT_EQ(calls, 1);
    EXPECT_EQ(ReadBytes(dir / "zlib.txt"), data);
}

TEST_F(ExtractorTest, BlockExpandingBeyondBlockSizeIsRefused) {
    // A zlib stream of 1025 bytes in a 1024-byte block.
    Bytes data = TextData(1025);
    Bytes block = ZlibBlock(data);
    EntryFields e;
    e.Name = "big";
    e.FileSize = e.PartSize = 1025;
    e.FileCompressed = static_cast<std::int32_t>(block.size());
    SegmentBuilder s(SmallBlocks());
    s.Add(e, {block});
    OpenBytes(s.Finish());
    std::vector<std::string> errors;
    x.OnError = [&](TArchiverRoot*, const Exception& ex, const TFileEntry& fe, TErrorAction& a) {
        EXPECT_EQ(a, eaContinue);
        EXPECT_EQ(fe.Name, "big");
        errors.push_back(dynamic_cast<const EArchiverUncompress*>(&ex) ? "uncompress" : "other");
    };
    x.ExtractFile("big", dir / "big");
    EXPECT_EQ(errors, std::vector<std::string>{"uncompress"});
}

// ---- restore rules ---------------------------------------------------------------

namespace {

enum Existing { None, Older, Same, Newer };

struct RestoreCase {
    TRestoreAction action;
    Existing existing;
    bool extracted;
};

std::ostream& operator<<(std::ostream& os, const RestoreCase& c) {
    return os << "action " << int(c.action) << " existing " << int(c.existing);
}

class RestoreActionTest : public ::testing::TestWithParam<RestoreCase> {};

} // namespace

TEST_P(RestoreActionTest, DecidesByTheTable) {
    const RestoreCase c = GetParam();
    TempDir dir;
    Bytes data = TextData(2000);
    SegmentBuilder s(SmallBlocks());
    s.AddFile("f.txt", data, true, EntryDate);
    s.AddFile("g.txt", TextData(2000, 5), true, EntryDate);
    WriteBytes(dir / "data.arc", s.Finish());
    const std::string dest = dir / "f.txt";
    if (c.existing != None) {
        WriteBytes(dest, "old");
        double d = c.existing == Older ? EntryDate - 1 : c.existing == Same ? EntryDate : EntryDate + 1;
        ASSERT_TRUE(FileSetDate(dest, d));
    }
    TQdxArch2 x;
    x.SetFileName(dir / "data.arc");
    x.SetRestoreAction(c.action);
    std::vector<int> progress;
    x.OnFileProgress = [&](TArchiverRoot*, int p) { progress.push_back(p); };
    x.ExtractFile("f.txt", dest);
    if (c.extracted) {
        EXPECT_EQ(ReadBytes(dest), data);
    } else if (c.existing == None) {
        EXPECT_FALSE(Exists(dest));
    } else {
        EXPECT_EQ(ReadBytes(dest), "old");
    }
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 100);
}

INSTANTIATE_TEST_SUITE_P(
    Table, RestoreActionTest,
    ::testing::Values(RestoreCase{raOverwrite, None, true}, RestoreCase{raOverwrite, Older, true},
                      RestoreCase{raOverwrite, Newer, true}, RestoreCase{raSkip, None, true},
                      RestoreCase{raSkip, Older, false}, RestoreCase{raSkip, Newer, false},
                      RestoreCase{raUpdate, None, true}, RestoreCase{raUpdate, Older, true},
                      RestoreCase{raUpdate, Same, false}, RestoreCase{raUpdate, Newer, false},
                      RestoreCase{raAsk, None, true}, RestoreCase{raAsk, Newer, true},
                      RestoreCase{raExistingOnly, None, false}, RestoreCase{raExistingOnly, Older, true},
                      RestoreCase{raExistingOnly, Newer, true}, RestoreCase{raUpdateExisting, None, false},
                      RestoreCase{raUpdateExisting, Older, true}, RestoreCase{raUpdateExisting, Same, false},
                      RestoreCase{raUpdateExisting, Newer, false}));

// ---- damaged blocks ---------------------------------------------------------------

namespace {

// "f.txt" in three compressed blocks with a flipped byte in the second, then a good
// "F.TXT" and "g.txt".
Bytes ArchiveWithFlippedByte(Bytes& firstBlockData, Bytes& good) {
    Bytes bad = TextData(3000, 11);
    good = TextData(2500, 12);
    firstBlockData = bad.substr(0, 1024);
    SegmentBuilder s(SmallBlocks());
    s.AddFile("f.txt", bad, true, 0, 0, 1);
    s.AddFile("F.TXT", good, true);
    s.AddFile("g.txt", TextData(100), true);
    return s.Finish();
}

} // namespace

TEST_F(ExtractorTest, FlippedByteLeavesPartialFileAndGoesOn) {
    Bytes firstBlock, good;
    OpenBytes(ArchiveWithFlippedByte(firstBlock, good));
    x.ExtractFile("f.txt", dir / "f.txt"); // both entries go to the same destination
    EXPECT_EQ(ReadBytes(dir / "f.txt"), good);
    x.SetRestoreAction(raOverwrite);
    std::vector<int> progress;
    x.OnFileProgress = [&](TArchiverRoot*, int p) { progress.push_back(p); };
    x.ExtractFile("g.txt", dir / "g.txt");
    EXPECT_EQ(ReadBytes(dir / "g.txt"), TextData(100));
    EXPECT_EQ(progress.back(), 100);
}

TEST_F(ExtractorTest, FlippedByteRaisesOnErrorAndKeepsTheBlocksBefore) {
    Bytes firstBlock, good;
    OpenBytes(ArchiveWithFlippedByte(firstBlock, good));
    std::vector<std::string> seen;
    x.OnError = [&](TArchiverRoot*, const Exception& e, const TFileEntry& fe, TErrorAction& a) {
        EXPECT_EQ(a, eaContinue);
        seen.push_back(fe.Name + (dynamic_cast<const EArchiverBadCRC*>(&e) ? ":crc" : ":other"));
    };
    x.ExtractFile("f.txt", dir / "first.txt");
    EXPECT_EQ(seen, std::vector<std::string>{"f.txt:crc"});
}

TEST_F(ExtractorTest, PartialFileHoldsTheBlocksBeforeTheBadOne) {
    Bytes firstBlock, good;
    Bytes archive = ArchiveWithFlippedByte(firstBlock, good);
    // Rename the good duplicate so that only the damaged entry matches.
    std::size_t at = archive.find("F.TXT");
    ASSERT_NE(at, Bytes::npos);
    archive.replace(at, 5, "H.TXT");
    OpenBytes(archive);
    x.ExtractFile("f.txt", dir / "f.txt");
    EXPECT_EQ(ReadBytes(dir / "f.txt"), firstBlock);
    x.ExtractFile("h.txt", dir / "h.txt");
    EXPECT_EQ(ReadBytes(dir / "h.txt"), good);
}

TEST_F(ExtractorTest, OnErrorCanStopTheRun) {
    Bytes firstBlock, good;
    OpenBytes(ArchiveWithFlippedByte(firstBlock, good));
    x.OnError = [](TArchiverRoot*, const Exception&, const TFileEntry&, TErrorAction& a) { a = eaAbort; };
    EXPECT_THROW(x.ExtractFile("f.txt", dir / "f.txt"), EArchiverBadCRC);
    EXPECT_TRUE(x.IsOpen());
    // The component stays usable.
    x.OnError = nullptr;
    x.ExtractFile("g.txt", dir / "g.txt");
    EXPECT_EQ(ReadBytes(dir / "g.txt"), TextData(100));
}

// ---- enumeration ---------------------------------------------------------------------

TEST_F(ExtractorTest, EnumerationListsFilesAndFoldersByOption) {
    SegmentBuilder s(SmallBlocks());
    s.AddFile("a.txt", TextData(1500), true);
    EntryFields folder;
    folder.Name = "sub\\.";
    folder.Flags = 6;
    s.Add(folder, {});
    s.AddFile("b.txt", "", true);
    OpenBytes(s.Finish());
    std::vector<std::string> names;
    x.OnEnumeration = [&](TArchiverRoot*, const TFileEntry& e) { names.push_back(e.Name); };
    x.EnumerateFiles();
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt"}));
    EXPECT_TRUE(x.FileList().empty());
    names.clear();
    x.SetOptions(TOptions(x.Options()).Include(oShowEmptyFolders).Include(oMaintainFileDirectory));
    x.EnumerateFiles();
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "sub\\.", "b.txt"}));
    ASSERT_EQ(x.FileList().size(), 3u);
    EXPECT_EQ(x.FileList()[1]->FileEntry.EntryFlags, 6);
}

TEST_F(ExtractorTest, EnumerateAfterOpenReportsTheUpperHalf) {
    SegmentBuilder s(SmallBlocks());
    s.AddFile("a.txt", TextData(1500), true);
    s.AddFile("b.txt", TextData(1500, 2), true);
    WriteBytes(dir / "data.arc", s.Finish());
    std::vector<int> progress;
    x.OnFileProgress = [&](TArchiverRoot*, int p) { progress.push_back(p); };
    x.SetOptions(TOptions(x.Options()).Include(oMaintainFileDirectory));
    x.SetFileName(dir / "data.arc");
    x.Open();
    EXPECT_EQ(x.FileList().size(), 2u);
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.front(), 50);
    EXPECT_EQ(progress.back(), 100);
}

// ---- segments ---------------------------------------------------------------------------

namespace {

struct SegmentedArchive {
    Bytes seg1, seg2;
    Bytes a, b;
};

// "a.txt" (5 blocks) starts in segment 1 with 2 blocks and continues in segment 2;
// "b.txt" follows in segment 2. Segment 1 carries the archive totals.
SegmentedArchive MakeSegmented(const Bytes& continuationName = "a.txt", bool totalsInFirst = true) {
    SegmentedArchive r;
    r.a = TextData(5000, 21);
    r.b = TextData(1500, 22);
    std::vector<Bytes> blocks;
    for (const Bytes& c : Chunks(r.a, 1024)) blocks.push_back(ZlibBlock(c));
    std::int32_t first = static_cast<std::int32_t>(blocks[0].size() + blocks[1].size());
    std::int32_t rest = static_cast<std::int32_t>(blocks[2].size() + blocks[3].size() + blocks[4].size());
    std::vector<Bytes> bBlocks;
    for (const Bytes& c : Chunks(r.b, 1024)) bBlocks.push_back(ZlibBlock(c));
    std::int32_t bStored = 0;
    for (const Bytes& x : bBlocks) bStored += static_cast<std::int32_t>(x.size());

    HeaderFields h1 = SmallBlocks(afCompressed);
    h1.RandomID = 777;
    SegmentBuilder s1(h1);
    EntryFields e;
    e.Name = "a.txt";
    e.Date = EntryDate;
    e.Flags = efFile;
    e.FileSize = 5000;
    e.FileCompressed = first + rest;
    e.PartSize = 2048;
    s1.Add(e, {blocks[0], blocks[1]});
    if (totalsInFirst) {
        s1.Header().ArchiveCount = 2;
        s1.Header().ArchiveSize = 6500;
        s1.Header().ArchiveCompressed = first + rest + bStored;
    }
    r.seg1 = s1.Finish(!totalsInFirst);

    HeaderFields h2 = SmallBlocks(afCompressed | afFinalSegment);
    h2.RandomID = 777;
    h2.Segment = 2;
    h2.ArchiveCount = 2;
    h2.ArchiveSize = 6500;
    h2.ArchiveCompressed = first + rest + bStored;
    SegmentBuilder s2(h2);
    EntryFields c = e;
    c.Name = continuationName;
    c.Segment = 2;
    c.SourceOffset = 2048;
    c.Flags = efFile | efLastPart;
    c.PartSize = 5000 - 2048;
    s2.Add(c, {blocks[2], blocks[3], blocks[4]});
    EntryFields eb;
    eb.Name = "b.txt";
    eb.Segment = 2;
    eb.FileSize = eb.PartSize = 1500;
    eb.FileCompressed = bStored;
    s2.Add(eb, bBlocks);
    r.seg2 = s2.Finish(false);
    return r;
}

} // namespace

TEST_F(ExtractorTest, FileContinuesInTheNextSegment) {
    SegmentedArchive m = MakeSegmented();
    WriteBytes(dir / "data-002.mmm", m.seg2);
    OpenBytes(m.seg1);
    int changes = 0;
    x.OnSegmentChanged = [&](TArchiverRoot*) { ++changes; };
    std::vector<int> progress;
    x.OnFileProgress = [&](TArchiverRoot*, int p) { progress.push_back(p); };
    x.ExtractFile("a.txt", dir / "a.txt");
    EXPECT_EQ(ReadBytes(dir / "a.txt"), m.a);
    EXPECT_EQ(changes, 1);
    EXPECT_EQ(progress.back(), 100);
    x.ExtractFile("b.txt", dir / "b.txt"); // goes back to segment 1 first
    EXPECT_EQ(ReadBytes(dir / "b.txt"), m.b);
    EXPECT_EQ(x.FileName(), dir / "data-002.mmm");
    std::vector<std::string> names;
    x.OnEnumeration = [&](TArchiverRoot*, const TFileEntry& e) { names.push_back(e.Name); };
    x.EnumerateFiles();
    EXPECT_EQ(names, (std::vector<std::string>{"a.txt", "b.txt"}));
}

TEST_F(ExtractorTest, TotalsComeFromTheFinalSegmentWhenTheFirstLacksThem) {
    SegmentedArchive m = MakeSegmented("a.txt", false);
    WriteBytes(dir / "data-002.mmm", m.seg2);
    OpenBytes(m.seg1);
    EXPECT_EQ(x.Header().Segment, 2); // the final segment was located at open
    x.ExtractFile("a.txt", dir / "a.txt");
    EXPECT_EQ(ReadBytes(dir / "a.txt"), m.a);
}

TEST_F(ExtractorTest, MismatchedContinuationIsWrongNextSegment) {
    SegmentedArchive m = MakeSegmented("other.txt");
    WriteBytes(dir / "data-002.mmm", m.seg2);
    OpenBytes(m.seg1);
    std::vector<std::string> errors;
    x.OnError = [&](TArchiverRoot*, const Exception& e, const TFileEntry&, TErrorAction&) {
        errors.push_back(dynamic_cast<const EArchiver*>(&e) ? "archiver" : "other");
    };
    x.ExtractFile("a.txt", dir / "a.txt");
    EXPECT_EQ(errors, std::vector<std::string>{"archiver"});
    EXPECT_EQ(ReadBytes(dir / "a.txt"), m.a.substr(0, 2048)); // the first part only
    // Met while passing over the entry, the mismatch propagates.
    EXPECT_THROW(x.ExtractFile("b.txt", dir / "b.txt"), EArchiver);
    EXPECT_THROW(x.EnumerateFiles(), EArchiver);
}

TEST_F(ExtractorTest, MissingSegmentWithoutHandlerAborts) {
    SegmentedArchive m = MakeSegmented();
    OpenBytes(m.seg1);
    EXPECT_THROW(x.ExtractFile("b.txt", dir / "b.txt"), EAbort);
    EXPECT_FALSE(Exists(dir / "b.txt"));
    // The archive stays open; once the segment is there the next call reopens and goes on.
    EXPECT_TRUE(x.IsOpen());
    WriteBytes(dir / "data-002.mmm", m.seg2);
    x.ExtractFile("b.txt", dir / "b.txt");
    EXPECT_EQ(ReadBytes(dir / "b.txt"), m.b);
}

TEST_F(ExtractorTest, OnLocateSegmentNamesTheFile) {
    SegmentedArchive m = MakeSegmented();
    WriteBytes(dir / "elsewhere.bin", m.seg2);
    OpenBytes(m.seg1);
    std::vector<int> asked;
    x.OnLocateSegment = [&](TArchiverRoot*, int segment, std::string& name) {
        asked.push_back(segment);
        EXPECT_EQ(name, dir / "data-002.mmm");
        name = dir / "elsewhere.bin";
    };
    x.ExtractFile("a.txt", dir / "a.txt");
    EXPECT_EQ(ReadBytes(dir / "a.txt"), m.a);
    EXPECT_EQ(asked, std::vector<int>{2});
}

TEST_F(ExtractorTest, OnLocateSegmentWithTheWrongFileFails) {
    SegmentedArchive m = MakeSegmented();
    OpenBytes(m.seg1);
    x.OnLocateSegment = [&](TArchiverRoot*, int, std::string& name) { name = dir / "data.arc"; };
    EXPECT_THROW(x.ExtractFile("b.txt", dir / "b.txt"), Exception);
}

TEST_F(ExtractorTest, OpenSingleSegmentStopsAtItsEnd) {
    SegmentedArchive m = MakeSegmented();
    WriteBytes(dir / "data-002.mmm", m.seg2);
    x.SetOptions(TOptions(x.Options()).Include(oOpenSingleSegment));
    OpenBytes(m.seg1);
    int changes = 0;
    x.OnSegmentChanged = [&](TArchiverRoot*) { ++changes; };
    x.ExtractFile("a.txt", dir / "a.txt");
    EXPECT_EQ(ReadBytes(dir / "a.txt"), m.a.substr(0, 2048));
    x.ExtractFile("b.txt", dir / "b.txt");
    EXPECT_FALSE(Exists(dir / "b.txt"));
    EXPECT_EQ(changes, 0);
}

// Leaving a segment opened for reading writes nothing to it, whatever the options say.
TEST_F(ExtractorTest, CreateReadOnlyOptionLeavesSegmentsOpenedForReadingAlone) {
    SegmentedArchive m = MakeSegmented();
    WriteBytes(dir / "data-002.mmm", m.seg2);
    x.SetOptions(TOptions(x.Options()).Include(oCreateReadOnly));
    std::vector<std::string> errors;
    x.OnError = [&](TArchiverRoot*, const Exception& e, const TFileEntry&, TErrorAction&) {
        errors.push_back(e.Message());
    };
    OpenBytes(m.seg1);
    x.ExtractFile("a.txt", dir / "a.txt");
    x.ExtractFile("b.txt", dir / "b.txt");
    EXPECT_NO_THROW(x.Close());
    EXPECT_EQ(errors, std::vector<std::string>{});
    EXPECT_EQ(ReadBytes(dir / "a.txt"), m.a);
    EXPECT_EQ(ReadBytes(dir / "b.txt"), m.b);
    EXPECT_EQ(ReadBytes(dir / "data.arc"), m.seg1);
    EXPECT_EQ(ReadBytes(dir / "data-002.mmm"), m.seg2);
}

// ---- solid archives --------------------------------------------------------------------

TEST_F(ExtractorTest, SolidArchiveIsExpandedAndReleased) {
    Bytes one = TextData(3000, 31), two = NoiseData(1200, 32);
    SegmentBuilder inner(SmallBlocks());
    inner.AddFile("one.txt", one, true);
    inner.AddFile("two.bin", two, true);
    Bytes innerBytes = inner.Finish();
    SegmentBuilder outer(SmallBlocks(afCompressed | afSolid | afFinalSegment));
    outer.AddFile("solid", innerBytes, true);
    WriteBytes(dir / "solid.arc", outer.Finish());

    std::vector<int> progress;
    x.OnFileProgress = [&](TArchiverRoot*, int p) { progress.push_back(p); };
    x.SetFileName(dir / "solid.arc");
    x.Open();
    EXPECT_TRUE(x.Solid());
    ASSERT_FALSE(progress.empty());
    EXPECT_EQ(progress.back(), 50); // the expansion reports 0..50
    const std::string temp = x.FileName();
    EXPECT_NE(temp, dir / "solid.arc");
    EXPECT_TRUE(Exists(temp));
    EXPECT_EQ(ReadBytes(temp), innerBytes);
    x.ExtractFile("two.bin", dir / "two.bin");
    x.ExtractFile("one.txt", dir / "one.txt");
    EXPECT_EQ(ReadBytes(dir / "two.bin"), two);
    EXPECT_EQ(ReadBytes(dir / "one.txt"), one);
    x.Close();
    EXPECT_FALSE(Exists(temp));
    EXPECT_EQ(x.FileName(), dir / "solid.arc");
    EXPECT_FALSE(x.Solid());
}

TEST_F(ExtractorTest, SolidArchiveIgnoresTheRestoreRuleForItsInnerArchive) {
    SegmentBuilder inner(SmallBlocks());
    inner.AddFile("one.txt", TextData(100), true);
    SegmentBuilder outer(SmallBlocks(afCompressed | afSolid | afFinalSegment));
    outer.AddFile("solid", inner.Finish(), true);
    WriteBytes(dir / "solid.arc", outer.Finish());
    x.SetRestoreAction(raExistingOnly);
    x.SetFileName(dir / "solid.arc");
    ASSERT_NO_THROW(x.Open());
    WriteBytes(dir / "one.txt", "old");
    x.ExtractFile("one.txt", dir / "one.txt");
    EXPECT_EQ(ReadBytes(dir / "one.txt"), TextData(100));
}

TEST_F(ExtractorTest, SolidArchiveWithDamagedInnerArchiveLeavesNoTemporaryFile) {
    Bytes innerBytes = SegmentBuilder(SmallBlocks()).Finish();
    innerBytes[0] = 'X'; // not an archive
    SegmentBuilder outer(SmallBlocks(afCompressed | afSolid | afFinalSegment));
    outer.AddFile("solid", innerBytes, true);
    WriteBytes(dir / "solid.arc", outer.Finish());
    auto temps = [] {
        std::size_t n = 0;
        std::error_code ec;
        for (const auto& f : std::filesystem::directory_iterator(GetProgramPath() + "temp", ec)) {
            if (f.path().filename().string().rfind("~Archiv-", 0) == 0) ++n;
        }
        return n;
    };
    const std::size_t before = temps();
    x.SetFileName(dir / "solid.arc");
    EXPECT_THROW(x.Open(), EArchiver);
    EXPECT_FALSE(x.IsOpen());
    EXPECT_EQ(temps(), before);
    EXPECT_EQ(x.FileName(), dir / "solid.arc");
}

namespace {

void ShopTexts(const std::string& key, std::string& text) {
    if (key == "FExtractingFile") text = "Extracting %s (%d bytes)";
    else if (key == "FLoadingArchiveContnent") text = "Loading";
    else text = key;
}

} // namespace

TEST_F(ExtractorTest, StatusTextsComeFromTheMessageSet) {
    TextLookupHook = ShopTexts;
    TQdxArch2 y; // its messages are loaded with the hook in place
    TextLookupHook = nullptr;
    SegmentBuilder s(SmallBlocks());
    s.AddFile("a.txt", TextData(123), true);
    WriteBytes(dir / "data.arc", s.Finish());
    std::vector<std::string> shown, logged;
    y.OnDisplayMessage = [&](TArchiverRoot*, const std::string& m) { shown.push_back(m); };
    y.OnAddToLog = [&](TArchiverRoot*, const std::string& m) { logged.push_back(m); };
    y.SetFileName(dir / "data.arc");
    y.ExtractFile("a.txt", dir / "sub/a.out");
    y.EnumerateFiles();
    EXPECT_EQ(shown, (std::vector<std::string>{"Extracting a.out (123 bytes)", "Loading"}));
    EXPECT_EQ(logged, (std::vector<std::string>{"Extracting " + dir / "sub/a.out" + " (123 bytes)", "Loading"}));

    WriteBytes(dir / "foreign.arc", Bytes(700, 'x'));
    y.SetFileName(dir / "foreign.arc");
    try {
        y.Open();
        FAIL();
    } catch (const EArchiver& e) {
        EXPECT_EQ(e.Message(), "FBadSignature");
    }
}

TEST_F(ExtractorTest, FinalSegmentIsLocatedAtOpen) {
    SegmentedArchive m = MakeSegmented("a.txt", false);
    WriteBytes(dir / "data.arc", m.seg1);
    x.SetFileName(dir / "data.arc");
    EXPECT_THROW(x.Open(), EAbort); // not found, nobody asked
    EXPECT_FALSE(x.IsOpen());

    WriteBytes(dir / "last.bin", m.seg2);
    std::vector<std::string> offered;
    x.OnLocateLastSegment = [&](TArchiverRoot*, std::string& path) {
        offered.push_back(path);
        path = dir / "last.bin";
    };
    x.Open();
    EXPECT_EQ(offered, std::vector<std::string>{dir / "data-002.mmm"});
    EXPECT_TRUE(x.IsOpen());
    EXPECT_EQ(x.Header().Segment, 2);
    EXPECT_EQ(x.FileName(), dir / "last.bin");
    x.Close();

    x.SetFileName(dir / "data.arc");
    x.OnLocateLastSegment = [&](TArchiverRoot*, std::string& path) { path = dir / "data.arc"; };
    try {
        x.Open();
        FAIL() << "a segment that is not the final one was taken";
    } catch (const EAbort&) {
        FAIL() << "wrong last segment is a plain exception";
    } catch (const Exception&) {
    }
    EXPECT_FALSE(x.IsOpen());
}
