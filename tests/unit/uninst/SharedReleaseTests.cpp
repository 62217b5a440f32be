// Shared-file counts given up by an uninstall that is cut short after any of its
// changes and run again: each count falls exactly once.
#include <gtest/gtest.h>

#include <map>
#include <set>
#include <stdexcept>

#include "uninst/SharedRelease.h"
#include "uninst/UninstPlan.h"

using namespace kx;

namespace {

const char kHook[] = "C:\\WINDOWS\\system32\\acmehook.dll";
const char kDisk[] = "C:\\WINDOWS\\system32\\drivers\\acmedisk.sys";
const char kOld[] = "C:\\Program Files\\Common Files\\Tarnwick\\old.dll";

struct TKilled : std::runtime_error {
    TKilled() : std::runtime_error("killed") {}
};

// The uninstall entry's values and the SharedDLLs counts; the change numbered
// KillAt (from 0) is never made: the process ends before it.
class TFakeCounts : public TSharedCounts {
public:
    std::map<std::string, std::string> Entry;
    std::map<std::string, std::uint32_t> Counts;
    int KillAt = -1;
    int Changes = 0;

    std::optional<std::string> ReadRecord(const std::string& name) override {
        auto it = Entry.find(name);
        if (it == Entry.end()) return std::nullopt;
        return it->second;
    }
    void DeleteRecord(const std::string& name) override {
        Change();
        Entry.erase(name);
    }
    std::optional<std::uint32_t> ReadCount(const std::string& path) override {
        auto it = Counts.find(path);
        if (it == Counts.end()) return std::nullopt;
        return it->second;
    }
    void WriteCount(const std::string& path, std::uint32_t count) override {
        Change();
        Counts[path] = count;
    }
    void DeleteCount(const std::string& path) override {
        Change();
        Counts.erase(path);
    }

private:
    void Change() {
        if (Changes++ == KillAt) throw TKilled();
    }
};

// The installation as the setup left it: three counted files, one of them
// counted by another installation too.
TFakeCounts Installed() {
    TFakeCounts f;
    f.Entry = {{"kxSharedFile0", kHook}, {"kxSharedFile1", kDisk}, {"kxSharedFile2", kOld}};
    f.Counts = {{kHook, 2}, {kDisk, 1}, {kOld, 1}, {"C:\\WINDOWS\\system32\\other.dll", 4}};
    return f;
}

// One run of the uninstaller's shared-file step: the records are read as the
// uninstaller reads its entry (up to the first missing number).
void RunStep(TFakeCounts& system, std::multiset<std::string>& deleted) {
    const TUninstEntry entry = ReadUninstEntry([&](const std::string& name) { return system.ReadRecord(name); });
    std::vector<TSharedFileRecord> files;
    for (std::size_t i = 0; i < entry.SharedFiles.size(); ++i)
        files.push_back({entry.SharedFiles[i], static_cast<int>(i)});
    ReleaseSharedFiles(system, files, [&](const std::string& path, TSharedRelease outcome) {
        if (outcome == TSharedRelease::LastUser) deleted.insert(path);
    });
}

TEST(SharedRelease, OneRunLowersEachCountOnceAndDeletesWhatNobodyCounts) {
    TFakeCounts system = Installed();
    std::multiset<std::string> deleted;
    RunStep(system, deleted);
    EXPECT_TRUE(system.Entry.empty());
    EXPECT_EQ(system.Counts, (std::map<std::string, std::uint32_t>{{kHook, 1}, {"C:\\WINDOWS\\system32\\other.dll", 4}}));
    EXPECT_EQ(deleted, (std::multiset<std::string>{kDisk, kOld}));
}

// Cut short after each possible change, then run again to the end: the result is
// that of one whole run, except that a count whose record went just before the
// cut stays one too high (and its file stays): never lowered twice.
TEST(SharedRelease, ARunCutShortAfterAnyChangeAndRunAgainNeverLowersACountTwice) {
    const int changes = 6; // three records, three counts
    for (int kill = 0; kill < changes; ++kill) {
        SCOPED_TRACE(kill);
        TFakeCounts system = Installed();
        system.KillAt = kill;
        std::multiset<std::string> deleted;
        EXPECT_THROW(RunStep(system, deleted), TKilled);
        system.KillAt = -1;
        RunStep(system, deleted);
        EXPECT_TRUE(system.Entry.empty());
        EXPECT_EQ(system.Counts.at("C:\\WINDOWS\\system32\\other.dll"), 4u);
        // Each file is counted down at most once and deleted at most once.
        const std::map<std::string, std::uint32_t> installed = Installed().Counts;
        for (const char* path : {kHook, kDisk, kOld}) {
            const std::uint32_t before = installed.at(path);
            const std::uint32_t after = system.Counts.count(path) ? system.Counts.at(path) : 0;
            EXPECT_TRUE(after == before - 1 || after == before) << path << " from " << before << " to " << after;
            EXPECT_LE(deleted.count(path), 1u) << path;
            EXPECT_EQ(deleted.count(path), after == 0 ? 1u : 0u) << path;
        }
        // Cut after a record went and before its count changed, that one file
        // keeps its count; cut before a record went, nothing is lost.
        int kept = 0;
        for (const char* path : {kHook, kDisk, kOld})
            kept += (system.Counts.count(path) ? system.Counts.at(path) : 0) == installed.at(path) ? 1 : 0;
        EXPECT_EQ(kept, kill % 2 == 1 ? 1 : 0);
    }
}

TEST(SharedRelease, HighestRecordFirstKeepsTheRestNumberedFromZero) {
    TFakeCounts system = Installed();
    system.KillAt = 4; // after the two highest records and their counts
    std::multiset<std::string> deleted;
    EXPECT_THROW(RunStep(system, deleted), TKilled);
    EXPECT_EQ(system.Entry, (std::map<std::string, std::string>{{"kxSharedFile0", kHook}}));
    EXPECT_EQ(deleted, (std::multiset<std::string>{kOld, kDisk}));
}

TEST(SharedRelease, ARecordThatNamesAnotherFileOrAFileWithoutCountIsNotOurs) {
    TFakeCounts system;
    system.Entry = {{"kxSharedFile0", kOld}};
    system.Counts = {{kHook, 1}};
    EXPECT_EQ(ReleaseSharedFile(system, kHook, "kxSharedFile0"), TSharedRelease::NotHeld);
    EXPECT_EQ(system.Counts.at(kHook), 1u);
    EXPECT_EQ(ReleaseSharedFile(system, kHook, "kxSharedFile7"), TSharedRelease::NotHeld);
    // Recorded but counted by nobody: the record goes, the file is left alone.
    EXPECT_EQ(ReleaseSharedFile(system, kOld, "kxSharedFile0"), TSharedRelease::NotHeld);
    EXPECT_TRUE(system.Entry.empty());
    // Records compare without regard to case, as Windows paths do.
    system.Entry = {{"kxSharedFile0", "c:\\windows\\SYSTEM32\\ACMEHOOK.DLL"}};
    EXPECT_EQ(ReleaseSharedFile(system, kHook, "kxSharedFile0"), TSharedRelease::LastUser);
    EXPECT_TRUE(system.Counts.empty());
}

} // namespace
