// ExtractFile called once per file on an open archive: each entry header is read
// about once over the whole run, the reports and results are those of a full
// walk, and what was learnt is forgotten when the archive changes.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestSupport.h"
#include "base/DateTime.h"
#include "sys/Files.h"

using namespace kx;
using namespace kxtest;

namespace {

constexpr double EntryDate = 44000.5;

HeaderFields SmallBlocks(std::uint8_t flags = afCompressed | afFinalSegment) {
    HeaderFields h;
    h.BlockSize = 1024;
    h.Flags = flags;
    return h;
}

std::string Name(int i) { return "file" + std::to_string(i) + ".txt"; }
Bytes Content(int i) { return TextData(200 + 97 * (i % 13), static_cast<unsigned>(i + 1)); }

// n small files, file0.txt ... file<n-1>.txt.
Bytes ManyFiles(int n) {
    SegmentBuilder s(SmallBlocks());
    for (int i = 0; i < n; ++i) s.AddFile(Name(i), Content(i), true, EntryDate);
    return s.Finish();
}

// Everything an ExtractFile call tells its caller.
struct Reports {
    std::vector<int> progress;
    std::vector<std::string> extracted, shown, errors;
    std::string lastEntry;
    bool operator==(const Reports&) const = default;
};

std::ostream& operator<<(std::ostream& os, const Reports& r) {
    os << "progress";
    for (int p : r.progress) os << ' ' << p;
    os << "; extracted";
    for (const auto& e : r.extracted) os << ' ' << e;
    os << "; errors " << r.errors.size() << "; last " << r.lastEntry;
    return os;
}

// The reports with runs of one value collapsed to one.
std::vector<int> Collapsed(std::vector<int> progress) {
    progress.erase(std::unique(progress.begin(), progress.end()), progress.end());
    return progress;
}

class EntryIndexTest : public ::testing::Test {
protected:
    TempDir dir;
    TQdxArch2 x;
    Reports now;

    void OpenBytes(const Bytes& archive, bool readOnly = true) {
        WriteBytes(dir / "data.arc", archive);
        x.SetFileName(dir / "data.arc");
        x.SetReadOnly(readOnly);
        x.Open();
    }
    void Listen() {
        x.OnFileProgress = [&](TArchiverRoot*, int p) { now.progress.push_back(p); };
        x.OnFileExtracted = [&](TArchiverRoot*, const TFileEntry& e, const std::string&) {
            now.extracted.push_back(e.Name);
        };
        x.OnDisplayMessage = [&](TArchiverRoot*, const std::string& m) { now.shown.push_back(m); };
        x.OnError = [&](TArchiverRoot*, const Exception& e, const TFileEntry& fe, TErrorAction&) {
            now.errors.push_back(fe.Name + ": " + e.Message());
        };
    }
    Reports Extract(const std::string& name, const std::string& dest) {
        now = Reports();
        x.ExtractFile(name, dest);
        now.lastEntry = x.CurrentEntry().Name;
        return now;
    }
};

} // namespace

TEST_F(EntryIndexTest, OneCallPerFileReadsEachHeaderOnce) {
    const int n = 60;
    OpenBytes(ManyFiles(n));
    ASSERT_EQ(x.EntryHeadersRead(), 0);
    for (int i = n - 1; i >= 0; --i) x.ExtractFile(Name(i), dir / ("out/" + Name(i)));
    EXPECT_EQ(x.EntryHeadersRead(), n);
    for (int i = 0; i < n; ++i) EXPECT_EQ(ReadBytes(dir / ("out/" + Name(i))), Content(i)) << Name(i);
}

TEST_F(EntryIndexTest, EnumerationAtOpenServesTheExtractionsToo) {
    WriteBytes(dir / "data.arc", ManyFiles(20));
    x.SetOptions(TOptions(x.Options()).Include(oMaintainFileDirectory));
    x.SetFileName(dir / "data.arc");
    x.SetReadOnly(true);
    x.Open();
    EXPECT_EQ(x.FileList().size(), 20u);
    for (int i = 0; i < 20; ++i) x.ExtractFile(Name(i), dir / Name(i));
    EXPECT_EQ(x.EntryHeadersRead(), 20);
    EXPECT_EQ(ReadBytes(dir / Name(7)), Content(7));
}

namespace {

// Entries of every kind: duplicates in another case, an empty file, a folder
// entry, raw and compressed blocks.
Bytes MixedArchive() {
    SegmentBuilder s(SmallBlocks());
    s.AddFile("a.txt", TextData(3000, 1), true, EntryDate);
    s.AddFile("dup.bin", NoiseData(1500, 2), true, EntryDate);
    s.AddFile("empty.txt", "", true, EntryDate);
    EntryFields folder;
    folder.Name = "sub\\.";
    folder.Flags = 6;
    s.Add(folder, {});
    s.AddFile("DUP.BIN", TextData(2500, 3), true, EntryDate);
    s.AddFile("z.txt", TextData(700, 4), false, EntryDate);
    return s.Finish();
}

struct WalkCase {
    const char* name;
    bool singleSegment; // oOpenSingleSegment: progress counts files
};

std::ostream& operator<<(std::ostream& os, const WalkCase& c) { return os << c.name << (c.singleSegment ? " single" : ""); }

class KnownEntriesReportLikeTheWalk : public EntryIndexTest, public ::testing::WithParamInterface<WalkCase> {};

} // namespace

TEST_P(KnownEntriesReportLikeTheWalk, SameEventsAndResult) {
    const WalkCase c = GetParam();
    if (c.singleSegment) x.SetOptions(TOptions(x.Options()).Include(oOpenSingleSegment));
    OpenBytes(MixedArchive());
    Listen();
    const std::string dest = dir / "out/dest";
    const Reports walked = Extract(c.name, dest);
    const bool written = Exists(dest);
    const Bytes first = written ? ReadBytes(dest) : "";
    const auto readsAfterWalk = x.EntryHeadersRead();
    std::filesystem::remove(dest);
    Reports known = Extract(c.name, dest);
    // Known entries send each value the walk sends, in its order; a repeat of an
    // unchanged value for a skipped entry may be left out.
    EXPECT_EQ(Collapsed(known.progress), Collapsed(walked.progress));
    EXPECT_LE(known.progress.size(), walked.progress.size());
    known.progress = walked.progress;
    EXPECT_EQ(known, walked);
    EXPECT_EQ(Exists(dest), written);
    if (written) {
        EXPECT_EQ(ReadBytes(dest), first);
    }
    EXPECT_EQ(x.EntryHeadersRead(), readsAfterWalk) << "the second call reads no entry header";
    ASSERT_FALSE(walked.progress.empty());
    EXPECT_EQ(walked.progress.front(), 0);
    // Counting files, the report after the last entry comes before it is counted.
    EXPECT_EQ(walked.progress.back(), c.singleSegment ? 83 : 100);
}

INSTANTIATE_TEST_SUITE_P(Names, KnownEntriesReportLikeTheWalk,
                         ::testing::Values(WalkCase{"a.txt", false}, WalkCase{"dup.bin", false},
                                           WalkCase{"Dup.Bin", true}, WalkCase{"empty.txt", false},
                                           WalkCase{"sub\\.", false}, WalkCase{"z.txt", true},
                                           WalkCase{"absent.txt", false}, WalkCase{"absent.txt", true}));

// A run of one call per file stays linear: a known call sends each percent value
// once (plus the last entry of a skipped run), not one report per entry.
TEST_F(EntryIndexTest, KnownCallsReportEachValueNotEachEntry) {
    const int n = 3000;
    OpenBytes(ManyFiles(n));
    Listen();
    const Reports walked = Extract(Name(n / 2), dir / "walked.txt");
    const Reports known = Extract(Name(n / 2), dir / "known.txt");
    EXPECT_GT(walked.progress.size(), static_cast<std::size_t>(n));
    EXPECT_LE(known.progress.size(), 101u + 4u + 2u * 3u);
    EXPECT_EQ(Collapsed(known.progress), Collapsed(walked.progress));
    EXPECT_EQ(known.progress.front(), 0);
    EXPECT_EQ(known.progress.back(), 100);
    EXPECT_EQ(ReadBytes(dir / "known.txt"), Content(n / 2));
}

TEST_F(EntryIndexTest, RestoreRulesStillDecideForKnownEntries) {
    OpenBytes(MixedArchive());
    x.ExtractFile("a.txt", dir / "first.txt"); // learns the entries
    WriteBytes(dir / "a.txt", "mine");
    x.SetRestoreAction(raSkip);
    Listen();
    x.ExtractFile("a.txt", dir / "a.txt");
    EXPECT_EQ(ReadBytes(dir / "a.txt"), "mine");
    EXPECT_EQ(now.extracted, std::vector<std::string>{});
    ASSERT_FALSE(now.progress.empty());
    EXPECT_EQ(now.progress.back(), 100);
    x.SetRestoreAction(raExistingOnly);
    x.ExtractFile("z.txt", dir / "z.txt");
    EXPECT_FALSE(Exists(dir / "z.txt"));
    x.SetRestoreAction(raOverwrite);
    x.ExtractFile("a.txt", dir / "a.txt");
    EXPECT_EQ(ReadBytes(dir / "a.txt"), TextData(3000, 1));
}

TEST_F(EntryIndexTest, DamagedBlockIsReportedOnEveryCall) {
    const Bytes bad = TextData(3000, 11);
    SegmentBuilder s(SmallBlocks());
    s.AddFile("f.txt", bad, true, 0, 0, 1);
    s.AddFile("g.txt", TextData(100), true);
    OpenBytes(s.Finish());
    Listen();
    for (int call = 0; call < 3; ++call) {
        SCOPED_TRACE(call);
        x.ExtractFile("f.txt", dir / "f.txt");
        EXPECT_EQ(now.errors.size(), 1u);
        EXPECT_EQ(ReadBytes(dir / "f.txt"), bad.substr(0, 1024));
        x.ExtractFile("g.txt", dir / "g.txt");
        EXPECT_EQ(ReadBytes(dir / "g.txt"), TextData(100));
        now = Reports();
    }
}

// ---- what changes the archive -----------------------------------------------------------

TEST_F(EntryIndexTest, AddingAFileIsSeenByTheNextCall) {
    OpenBytes(ManyFiles(5), false);
    x.ExtractFile(Name(0), dir / "0.txt");
    WriteBytes(dir / "new.txt", TextData(4000, 99));
    ASSERT_TRUE(x.AddFile(dir / "new.txt"));
    x.ExtractFile("new.txt", dir / "out/new.txt");
    EXPECT_EQ(ReadBytes(dir / "out/new.txt"), TextData(4000, 99));
    EXPECT_EQ(x.EntryHeadersRead(), 5 + 6) << "the archive is walked again after the write";
}

// A handler that adds to the archive during an extraction: the call goes on over
// the archive as it now is, as a walk would.
TEST_F(EntryIndexTest, FileAddedByAnEventHandlerIsFollowed) {
    const Bytes archive = ManyFiles(4);
    const std::string late = dir / "late/" + Name(1); // stored under the same name
    std::filesystem::create_directories(dir / "late");
    WriteBytes(late, TextData(333, 42));
    auto run = [&](bool learnFirst) {
        OpenBytes(archive, false);
        if (learnFirst) x.ExtractFile(Name(0), dir / "0.txt");
        bool added = false;
        std::vector<std::string> extracted;
        x.OnFileExtracted = [&](TArchiverRoot*, const TFileEntry& e, const std::string&) {
            extracted.push_back(e.Name);
            if (!added) added = x.AddFile(late);
        };
        x.ExtractFile(Name(1), dir / "out.txt");
        x.OnFileExtracted = nullptr;
        x.Close();
        return extracted;
    };
    const auto walked = run(false);
    ASSERT_GE(walked.size(), 2u);
    EXPECT_EQ(ReadBytes(dir / "out.txt"), TextData(333, 42)) << "the added entry comes last";
    std::filesystem::remove(dir / "out.txt");
    EXPECT_EQ(run(true), walked);
    EXPECT_EQ(ReadBytes(dir / "out.txt"), TextData(333, 42));
}

TEST_F(EntryIndexTest, ReopenedArchiveIsWalkedAgain) {
    OpenBytes(ManyFiles(5));
    x.ExtractFile(Name(1), dir / "1.txt");
    x.Close();
    SegmentBuilder other(SmallBlocks());
    other.AddFile(Name(1), TextData(50, 7), true);
    other.AddFile(Name(2), TextData(60, 8), true);
    WriteBytes(dir / "data.arc", other.Finish());
    x.Open();
    x.ExtractFile(Name(2), dir / "2.txt");
    EXPECT_EQ(ReadBytes(dir / "2.txt"), TextData(60, 8));
}

// Opened read-only, the archive is shared with writers; a header that changed
// under the component makes it walk again.
TEST_F(EntryIndexTest, ArchiveRewrittenBehindTheComponentIsWalkedAgain) {
    OpenBytes(ManyFiles(3));
    x.ExtractFile(Name(0), dir / "0.txt");
    SegmentBuilder other(SmallBlocks());
    other.AddFile(Name(0), TextData(50, 7), true);
    other.AddFile("late.txt", TextData(60, 8), true);
    WriteBytes(dir / "data.arc", other.Finish()); // the same file, rewritten in place
    x.ExtractFile("late.txt", dir / "late.txt");
    EXPECT_EQ(ReadBytes(dir / "late.txt"), TextData(60, 8));
}

TEST_F(EntryIndexTest, SolidArchiveUsesItsInnerArchiveAndSeesAdditions) {
    SegmentBuilder inner(SmallBlocks());
    for (int i = 0; i < 4; ++i) inner.AddFile(Name(i), Content(i), true, EntryDate);
    SegmentBuilder outer(SmallBlocks(afCompressed | afSolid | afFinalSegment));
    outer.AddFile("solid", inner.Finish(), true);
    WriteBytes(dir / "solid.arc", outer.Finish());
    x.SetFileName(dir / "solid.arc");
    x.Open();
    const auto afterOpen = x.EntryHeadersRead();
    for (int i = 0; i < 4; ++i) x.ExtractFile(Name(i), dir / Name(i));
    EXPECT_EQ(x.EntryHeadersRead(), afterOpen + 4);
    EXPECT_EQ(ReadBytes(dir / Name(3)), Content(3));
    WriteBytes(dir / "extra.txt", TextData(300, 5));
    ASSERT_TRUE(x.AddFile(dir / "extra.txt"));
    x.ExtractFile("extra.txt", dir / "out/extra.txt");
    EXPECT_EQ(ReadBytes(dir / "out/extra.txt"), TextData(300, 5));
}

// An archive in segments is walked on every call: each call may meet other segment files.
TEST_F(EntryIndexTest, SegmentFilesReplacedBetweenCallsAreRead) {
    auto segment2 = [](const Bytes& b) {
        HeaderFields h = SmallBlocks(afCompressed | afFinalSegment);
        h.RandomID = 777;
        h.Segment = 2;
        SegmentBuilder s(h);
        s.AddFile("b.txt", b, true);
        return s.Finish();
    };
    HeaderFields h1 = SmallBlocks(afCompressed);
    h1.RandomID = 777;
    SegmentBuilder s1(h1);
    s1.AddFile("a.txt", TextData(100, 1), true);
    WriteBytes(dir / "data-002.mmm", segment2(TextData(500, 2)));
    OpenBytes(s1.Finish());
    x.ExtractFile("b.txt", dir / "b1.txt");
    EXPECT_EQ(ReadBytes(dir / "b1.txt"), TextData(500, 2));
    x.ExtractFile("a.txt", dir / "a.txt");
    WriteBytes(dir / "data-002.mmm", segment2(TextData(900, 3)));
    x.ExtractFile("b.txt", dir / "b2.txt");
    EXPECT_EQ(ReadBytes(dir / "b2.txt"), TextData(900, 3));
}
