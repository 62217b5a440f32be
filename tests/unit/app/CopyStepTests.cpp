// The copy step on a real payload archive (laid out by the independent test
// writer) in a scratch folder: destinations, the installed-file list, progress
// lines, replacements at restart and the failures that end the run at one file.
#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

#include "app/CopyStep.h"
#include "base/Exception.h"
#include "lang/kxSetupLan.h"
#include "sys/Files.h"
#include "sys/Paths.h"
#include "unit/archive/TestArchiveWriter.h"

using namespace kx;
namespace fs = std::filesystem;

namespace {

std::string Read(const std::string& path) {
    std::ifstream f(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
}

void Write(const std::string& path, const std::string& data) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

// Records what the step asks of the system and can play the recorded moves back
// in order, as the restart would.
class TFakeSystem : public TCopySystem {
public:
    bool NT = true;
    bool Refuse = false;
    std::vector<std::string> Calls;

    bool NTFamily() override { return NT; }
    std::string ShortPath(const std::string& path) override { return path; }
    bool MoveAtRestart(const std::string& from, const std::string& to) override {
        Calls.push_back("move " + from + " -> " + to);
        FMoves.push_back({from, to});
        return !Refuse;
    }
    bool WriteRenameEntry(const std::string& key, const std::string& value) override {
        Calls.push_back("rename " + key + "=" + value);
        // A profile key holds one value: a later entry for the same key replaces it.
        for (auto& m : FRenames)
            if (m.first == key) {
                m.second = value;
                return !Refuse;
            }
        FRenames.push_back({key, value});
        return !Refuse;
    }
    void FlushRenameFile() override { ++Flushes; }
    int Flushes = 0;

    // NT: the delayed moves in order, a failing one skipped; 9x: rename value to key.
    void Restart() {
        for (const auto& [from, to] : FMoves) {
            if (to.empty())
                DeleteFile(from);
            else if (FileExists(from) && !FileExists(to))
                RenameFile(from, to);
        }
        for (const auto& [key, value] : FRenames)
            if (FileExists(value)) {
                DeleteFile(key);
                RenameFile(value, key);
            }
        FMoves.clear();
        FRenames.clear();
    }

private:
    std::vector<std::pair<std::string, std::string>> FMoves, FRenames;
};

const std::string kUi = "MZ acme ui program bytes\r\n";
const std::string kSvc = "MZ acme service bytes";
const std::string kHook = std::string("MZ hook \0\x01\x02 bytes", 17);
const std::string kReadme = "Read me first.\r\n";
const std::string kDisk = "disk driver data";

class CopyStep : public testing::Test {
protected:
    void SetUp() override {
        Dir = (fs::temp_directory_path() / ("kxcopy-" + std::to_string(::getpid()) + "-" +
                                            testing::UnitTest::GetInstance()->current_test_info()->name()))
                  .string() +
              "/";
        fs::remove_all(Dir);
        for (const char* d : {"target", "sys", "shared", "reboot"}) fs::create_directories(Dir + d);
        Folders.System = Dir + "sys/";
        Folders.Shared = Dir + "shared/";
        Folders.Reboot = Dir + "reboot/";
        F.FInstallDir = Dir + "target/";
        F.FCompFiles = {"Acme Tool=acmeui.exe;acmesvc.exe;acmehook.dll[S;readme.txt", "Disk Driver=acmedisk.sys[S"};
        F.FDestDirs = {"drivers=acmedisk.sys"};
        F.FReNameList = {"acmehook.dll", "acmeui.exe"};
        Payload({{"acmeui.exe", kUi},
                 {"acmesvc.exe", kSvc},
                 {"acmehook.dll", kHook},
                 {"readme.txt", kReadme},
                 {"acmedisk.sys", kDisk}});
    }
    void TearDown() override {
        InitLanguage(0x0409);
        if (!HasFailure()) fs::remove_all(Dir);
    }

    // The payload archive; the entry named `damaged` gets one flipped byte in its block.
    void Payload(const std::vector<std::pair<std::string, std::string>>& files, const std::string& damaged = "") {
        kxtest::SegmentBuilder b{kxtest::HeaderFields{}};
        for (const auto& [name, data] : files) b.AddFile(name, data, false);
        std::string bytes = b.Finish();
        for (const auto& [name, data] : files)
            if (name == damaged) bytes[bytes.find(data) + 1] ^= 0x20;
        Write(Archive(), bytes);
    }
    std::string Archive() const { return Dir + "payload.arc"; }

    void Run(std::vector<bool> checked = {true, true}, bool appRunning = false) {
        TCopyStep step(F, System);
        step.OnProgressLine = [this](const std::string& s) { Lines.push_back(s); };
        step.OnProgress = [this](int p) { Percents.push_back(p); };
        step.Run(Archive(), Folders, appRunning, checked);
    }
    // The error text of a run that must fail.
    std::string FailingRun(std::vector<bool> checked = {true, true}, bool appRunning = false) {
        try {
            Run(checked, appRunning);
        } catch (const Exception& e) {
            return e.Message();
        }
        ADD_FAILURE() << "the run succeeded";
        return {};
    }
    std::string List() const { return Read(F.FInstallDir + "INSTFILE.LST"); }
    // The expected list: each path below the scratch folder on a line of its own.
    std::string ListOf(std::initializer_list<const char*> paths) const {
        std::string text;
        for (const char* p : paths) text += Dir + p + "\r\n";
        return text;
    }

    std::string Dir;
    TSetupFields F;
    TFakeSystem System;
    TCopyFolders Folders;
    std::vector<std::string> Lines;
    std::vector<int> Percents;
};

} // namespace

TEST_F(CopyStep, CompleteRunPutsEveryFileInItsFolderAndListsItInOrder) {
    Write(Dir + "target/acmeui.exe", "an older copy, read-only");
    FileSetAttr(Dir + "target/acmeui.exe", faReadOnly);
    Run();

    EXPECT_EQ(Read(Dir + "target/acmeui.exe"), kUi);
    EXPECT_EQ(Read(Dir + "target/acmesvc.exe"), kSvc);
    EXPECT_EQ(Read(Dir + "sys/acmehook.dll"), kHook);
    EXPECT_EQ(Read(Dir + "target/readme.txt"), kReadme);
    EXPECT_EQ(Read(Dir + "sys/drivers/acmedisk.sys"), kDisk);
    EXPECT_EQ(List(), ListOf({"target/acmeui.exe", "target/acmesvc.exe", "sys/acmehook.dll", "target/readme.txt",
                              "sys/drivers/acmedisk.sys", "target/UnInst.Ini", "target/INSTFILE.LST"}));
    EXPECT_EQ(Lines, (std::vector<std::string>{"Extracting File :acmeui.exe ...", "Extracting File :acmesvc.exe ...",
                                               "Extracting File :acmehook.dll ...", "Extracting File :readme.txt ...",
                                               "Extracting File :acmedisk.sys ..."}));
    EXPECT_EQ(F.FSelFiles, (std::vector<std::string>{"acmeui.exe", "acmesvc.exe", "acmehook.dll[S", "readme.txt",
                                                     "acmedisk.sys[S"}));
    ASSERT_EQ(F.FPlacedFiles.size(), 5u);
    EXPECT_EQ(F.FPlacedFiles[2].Path, Dir + "sys/acmehook.dll");
    EXPECT_EQ(F.FPlacedFiles[2].Letter, 'S');
    EXPECT_EQ(F.FPlacedFiles[2].Size, kHook.size());
    EXPECT_EQ(F.FPlacedFiles[3].Letter, 'P');
    EXPECT_FALSE(F.FPlacedFiles[4].AtRestart);
    EXPECT_TRUE(F.FPlacedFiles[0].Existed) << "an older copy was there";
    EXPECT_FALSE(F.FPlacedFiles[2].Existed);
    EXPECT_EQ(F.FCreatedDirs, (std::vector<std::string>{Dir + "sys/drivers/"}));
    EXPECT_FALSE(F.FNeedReboot);
    EXPECT_TRUE(System.Calls.empty());
    EXPECT_EQ(System.Flushes, 1);
    ASSERT_FALSE(Percents.empty());
    EXPECT_EQ(Percents.back(), 100);
}

TEST_F(CopyStep, LettersSubDirectoriesAndOverlappingComponents) {
    F.FCompFiles = {"One=a.txt;b.txt[c;;", "Two=b.txt[C;c.txt[x;d.txt[", "One=ignored.txt"};
    F.FDestDirs = {"first=nothing;C.TXT", "second=c.txt;d.txt"};
    Payload({{"a.txt", "A"}, {"b.txt", "B"}, {"c.txt", "C"}, {"d.txt", "D"}});
    Run({true, true, true});
    // "b.txt[c" and "b.txt[C" both go to the shared folder: written twice, listed twice.
    // The third item is named like the first, so it brings the first line's files again.
    EXPECT_EQ(List(),
              ListOf({"target/a.txt", "shared/b.txt", "shared/b.txt", "target/first/c.txt", "target/second/d.txt",
                      "target/a.txt", "shared/b.txt", "target/UnInst.Ini", "target/INSTFILE.LST"}));
    EXPECT_EQ(Read(Dir + "shared/b.txt"), "B");
    EXPECT_EQ(Read(Dir + "target/first/c.txt"), "C");
    EXPECT_EQ(Read(Dir + "target/second/d.txt"), "D");
    EXPECT_EQ(F.FCreatedDirs, (std::vector<std::string>{Dir + "target/first/", Dir + "target/second/"}));
    EXPECT_EQ(F.FPlacedFiles.size(), 7u);
}

TEST_F(CopyStep, UncheckedComponentIsLeftOutAndNothingCheckedListsOnlyTheClosingLines) {
    Run({true, false});
    EXPECT_FALSE(FileExists(Dir + "sys/drivers/acmedisk.sys"));
    EXPECT_EQ(List(), ListOf({"target/acmeui.exe", "target/acmesvc.exe", "sys/acmehook.dll", "target/readme.txt",
                              "target/UnInst.Ini", "target/INSTFILE.LST"}));
    Run({false, false});
    EXPECT_TRUE(F.FSelFiles.empty());
    EXPECT_TRUE(F.FPlacedFiles.empty()) << "rebuilt by every run";
    EXPECT_EQ(List(), ListOf({"target/UnInst.Ini", "target/INSTFILE.LST"}));
}

TEST_F(CopyStep, RunningApplicationGetsItsFilesReplacedAtTheRestartOnNT) {
    Write(Dir + "target/acmeui.exe", "old ui");
    Write(Dir + "sys/acmehook.dll", "old hook");
    Run({true, false}, true);

    EXPECT_EQ(Read(Dir + "target/acmeui.exe"), "old ui");
    EXPECT_EQ(Read(Dir + "sys/acmehook.dll"), "old hook");
    EXPECT_EQ(Read(Dir + "reboot/acmeui.exe"), kUi);
    EXPECT_EQ(Read(Dir + "target/acmesvc.exe"), kSvc) << "not in ReNameList: copied now";
    EXPECT_EQ(System.Calls,
              (std::vector<std::string>{"move " + Dir + "target/acmeui.exe -> ",
                                        "move " + Dir + "reboot/acmeui.exe -> " + Dir + "target/acmeui.exe",
                                        "move " + Dir + "sys/acmehook.dll -> ",
                                        "move " + Dir + "reboot/acmehook.dll -> " + Dir + "sys/acmehook.dll"}));
    EXPECT_TRUE(F.FNeedReboot);
    EXPECT_TRUE(F.FPlacedFiles[0].AtRestart);
    EXPECT_TRUE(F.FPlacedFiles[0].Existed);
    EXPECT_EQ(F.FPlacedFiles[0].Path, Dir + "target/acmeui.exe");
    EXPECT_FALSE(F.FPlacedFiles[1].AtRestart);
    EXPECT_FALSE(F.FPlacedFiles[1].Existed);
    EXPECT_EQ(List(), ListOf({"target/acmeui.exe", "target/acmesvc.exe", "sys/acmehook.dll", "target/readme.txt",
                              "target/UnInst.Ini", "target/INSTFILE.LST"}))
        << "a replaced file is listed where it will be";

    System.Restart();
    EXPECT_EQ(Read(Dir + "target/acmeui.exe"), kUi);
    EXPECT_EQ(Read(Dir + "sys/acmehook.dll"), kHook);
}

TEST_F(CopyStep, RunningApplicationOn9xWritesRenameEntries) {
    System.NT = false;
    Write(Dir + "target/acmeui.exe", "old ui");
    Run({true, false}, true);
    EXPECT_EQ(System.Calls,
              (std::vector<std::string>{"rename " + Dir + "target/acmeui.exe=" + Dir + "reboot/acmeui.exe"}));
    EXPECT_EQ(Read(Dir + "sys/acmehook.dll"), kHook) << "nothing there yet: copied now";
    EXPECT_TRUE(F.FNeedReboot);
    System.Restart();
    EXPECT_EQ(Read(Dir + "target/acmeui.exe"), kUi);
}

TEST_F(CopyStep, ListedFileIsCopiedNowWhenTheApplicationDoesNotRun) {
    Write(Dir + "target/acmeui.exe", "old ui");
    Run({true, false}, false);
    EXPECT_EQ(Read(Dir + "target/acmeui.exe"), kUi);
    EXPECT_TRUE(System.Calls.empty());
    EXPECT_FALSE(F.FNeedReboot);
}

// Each replacement waits in a file of its own: one name for two destinations, or
// a second run before the restart, must not leave a destination deleted or stale.
TEST_F(CopyStep, EveryReplacementWaitsInAFileOfItsOwn) {
    F.FCompFiles = {"Both=acmehook.dll;acmehook.dll[S"};
    for (bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "NT" : "9x");
        System.NT = nt;
        Write(Dir + "target/acmehook.dll", "old target hook");
        Write(Dir + "sys/acmehook.dll", "old system hook");
        Write(Dir + "reboot/acmehook.dll", "waits for an earlier run");
        Run({true}, true);
        Run({true}, true);
        EXPECT_EQ(Read(Dir + "reboot/acmehook.dll"), "waits for an earlier run");
        EXPECT_EQ(Read(Dir + "reboot/acmehook~1.dll"), kHook);
        EXPECT_EQ(Read(Dir + "reboot/acmehook~4.dll"), kHook);
        System.Restart();
        EXPECT_EQ(Read(Dir + "target/acmehook.dll"), kHook);
        EXPECT_EQ(Read(Dir + "sys/acmehook.dll"), kHook);
        fs::remove_all(Dir + "reboot");
        fs::create_directories(Dir + "reboot");
    }
}

TEST_F(CopyStep, RefusedReplacementEndsTheRunNamingTheFile) {
    Write(Dir + "target/acmeui.exe", "old ui");
    System.Refuse = true;
    EXPECT_EQ(FailingRun({true, false}, true), "The file " + Dir +
                                                   "target/acmeui.exe is in use and cannot be set to be replaced at "
                                                   "the next restart.");
    EXPECT_FALSE(FileExists(Dir + "reboot/acmeui.exe"));
    EXPECT_FALSE(F.FNeedReboot);

    System.Refuse = false;
    Folders.Reboot.clear();
    EXPECT_EQ(FailingRun({true, false}, true), "The file " + Dir +
                                                   "target/acmeui.exe is in use and cannot be set to be replaced at "
                                                   "the next restart.");
}

TEST_F(CopyStep, DamagedEntryEndsTheRunAtThatFileAndKeepsTheLinesSoFar) {
    Payload({{"acmeui.exe", kUi}, {"acmesvc.exe", kSvc}, {"acmehook.dll", kHook}, {"readme.txt", kReadme}},
            "acmesvc.exe");
    EXPECT_EQ(FailingRun(),
              "The file " + Dir + "target/acmesvc.exe cannot be extracted: the setup package is damaged.");
    EXPECT_EQ(List(), ListOf({"target/acmeui.exe", "target/acmesvc.exe"}));
    EXPECT_FALSE(FileExists(Dir + "sys/acmehook.dll")) << "the run ended at the damaged file";
    EXPECT_EQ(Lines.size(), 2u);
    ASSERT_EQ(F.FPlacedFiles.size(), 1u);
    EXPECT_EQ(System.Flushes, 1);
}

TEST_F(CopyStep, NameThePayloadLacksEndsTheRun) {
    Payload({{"acmeui.exe", kUi}, {"acmesvc.exe", kSvc}});
    EXPECT_EQ(FailingRun(), "The file " + Dir +
                                "sys/acmehook.dll cannot be extracted: the setup package does not "
                                "contain it.");
    EXPECT_EQ(List(), ListOf({"target/acmeui.exe", "target/acmesvc.exe", "sys/acmehook.dll"}));
}

TEST_F(CopyStep, DestinationThatCannotBeWrittenEndsTheRunAndASecondRunCompletes) {
    fs::create_directories(Dir + "target/acmesvc.exe/in the way");
    EXPECT_EQ(FailingRun(), "Cannot write the file " + Dir +
                                "target/acmesvc.exe.\nIt may be in use by another program, or the disk may be "
                                "read-only. Close the program that uses it and press Install again.");
    EXPECT_EQ(List(), ListOf({"target/acmeui.exe", "target/acmesvc.exe"}));

    fs::remove_all(Dir + "target/acmesvc.exe");
    Run();
    EXPECT_EQ(Read(Dir + "target/acmesvc.exe"), kSvc);
    EXPECT_EQ(F.FPlacedFiles.size(), 5u);
    EXPECT_EQ(List(), ListOf({"target/acmeui.exe", "target/acmesvc.exe", "sys/acmehook.dll", "target/readme.txt",
                              "sys/drivers/acmedisk.sys", "target/UnInst.Ini", "target/INSTFILE.LST"}));
}

// A full disk as this process sees it: writes past the file-size limit fail.
TEST_F(CopyStep, WriteCutShortEndsTheRunNamingTheFile) {
    Payload({{"acmeui.exe", kUi}, {"acmesvc.exe", std::string(200000, 'x')}});
    rlimit old{};
    getrlimit(RLIMIT_FSIZE, &old);
    rlimit small = old;
    small.rlim_cur = 100000;
    auto oldSignal = std::signal(SIGXFSZ, SIG_IGN);
    setrlimit(RLIMIT_FSIZE, &small);
    const std::string error = FailingRun({true, false});
    setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldSignal);
    EXPECT_EQ(error, "The file " + Dir +
                         "target/acmesvc.exe could not be written completely.\nThe disk may be full. Free some space "
                         "and press Install again.");
    EXPECT_EQ(List(), ListOf({"target/acmeui.exe", "target/acmesvc.exe"}));
}

TEST_F(CopyStep, UnreadablePayloadEndsTheRunBeforeAnyFile) {
    Write(Archive(), "not an archive at all, just bytes");
    EXPECT_EQ(FailingRun(), "The setup package is damaged and cannot be read.");
    EXPECT_TRUE(FileExists(F.FInstallDir + "INSTFILE.LST"));
    EXPECT_EQ(List(), "");
    EXPECT_TRUE(Lines.empty());
}

TEST_F(CopyStep, LinesAndErrorsComeInTheChosenLanguage) {
    InitLanguage(0x0804);
    Payload({{"acmeui.exe", kUi}});
    FailingRun({true, false});
    EXPECT_EQ(Lines, (std::vector<std::string>{"\xD5\xFD\xD4\xDA\xBD\xE2\xD1\xB9\xCE\xC4\xBC\xFE:acmeui.exe",
                                               "\xD5\xFD\xD4\xDA\xBD\xE2\xD1\xB9\xCE\xC4\xBC\xFE:acmesvc.exe"}));
    InitLanguage(0x0404);
    Lines.clear();
    EXPECT_EQ(FailingRun({true, false}), "\xB5L\xAAk\xB8\xD1\xC0\xA3\xC0\xC9\xAE\xD7 " + Dir +
                                             "target/acmesvc.exe\xA1G\xB8\xCB\xB3]\xAEM\xA5\xF3\xA4\xA4\xA8S\xA6\xB3"
                                             "\xB8\xD3\xC0\xC9\xAE\xD7\xA1"
                                             "C");
}

TEST(SelectedFiles, FirstLineOfAComponentNameAndNoEmptyEntries) {
    const std::vector<std::string> comp = {"A=a1;;a2;", "B=b1", "a=shadowed", "C="};
    EXPECT_EQ(BuildSelectedFiles(comp, {true, true, true, true}),
              (std::vector<std::string>{"a1", "a2", "b1", "a1", "a2"}));
    EXPECT_EQ(BuildSelectedFiles(comp, {false, true, false, true}), (std::vector<std::string>{"b1"}));
    EXPECT_TRUE(BuildSelectedFiles(comp, {false, false, false, false}).empty());
}

struct TEntryCase {
    const char* Entry;
    const char* Stored;
    char Letter;
};
class FileEntrySplit : public testing::TestWithParam<TEntryCase> {};
TEST_P(FileEntrySplit, StoredNameAndLetter) {
    const TFileTarget t = SplitFileEntry(GetParam().Entry);
    EXPECT_EQ(t.StoredName, GetParam().Stored);
    EXPECT_EQ(t.Letter, GetParam().Letter);
}
INSTANTIATE_TEST_SUITE_P(Entries, FileEntrySplit,
                         testing::Values(TEntryCase{"x.dll[S", "x.dll", 'S'}, TEntryCase{"x.dll[s", "x.dll", 'S'},
                                         TEntryCase{"x[c", "x", 'C'}, TEntryCase{"x[C", "x", 'C'},
                                         TEntryCase{"x[P", "x", 'P'}, TEntryCase{"x[X", "x", 'P'},
                                         TEntryCase{"x", "x", 'P'}, TEntryCase{"x[", "x", 'P'},
                                         TEntryCase{"x[Sy[C", "x", 'S'}, TEntryCase{"[S", "", 'S'}));

TEST(InstallDir, OnlyAnAbsolutePathIsMadeAndRecorded) {
    const std::string base = (fs::temp_directory_path() / ("kxdir-" + std::to_string(::getpid()))).string();
    fs::remove_all(base);
    std::vector<std::string> created;
    for (const char* bad : {"", "ab", "   ", "Acme/Tool"}) {
        try {
            MakeInstallDir(bad, created);
            ADD_FAILURE() << "accepted '" << bad << "'";
        } catch (const Exception& e) {
            EXPECT_EQ(e.Message(), "Unable to create directory");
        }
    }
    EXPECT_TRUE(created.empty());
    EXPECT_FALSE(fs::exists("Acme"));

    EXPECT_TRUE(MakeInstallDir(base + "/a/b/", created));
    EXPECT_EQ(created, (std::vector<std::string>{base + "/", base + "/a/", base + "/a/b/"}));
    EXPECT_TRUE(MakeInstallDir(base + "/A/b", created)) << "exists: nothing new";
    EXPECT_EQ(created.size(), 3u);
    Write(base + "/file", "x");
    EXPECT_FALSE(MakeInstallDir(base + "/file/sub", created));
    EXPECT_EQ(created.size(), 3u);
    fs::remove_all(base);
}

TEST(CreatedDirs, AddedOnceWhateverTheCase) {
    std::vector<std::string> list = {"C:\\Acme\\"};
    AddCreatedDirs(list, {"c:\\ACME\\", "C:\\Acme\\Tool\\", "C:\\Acme\\tool\\"});
    EXPECT_EQ(list, (std::vector<std::string>{"C:\\Acme\\", "C:\\Acme\\Tool\\"}));
}
