// The copy step on a machine in memory, with payloads laid out by the
// independent test writer: destinations, the installed-file list, progress
// lines, replacements at the restart and the failures that end the run at one
// file (and leave the machine as it was).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "app/CopyStep.h"
#include "base/Exception.h"
#include "base/Text.h"
#include "lang/kxSetupLan.h"
#include "sys/Files.h"
#include "sys/Paths.h"
#include "unit/app/RunWorld.h"

using namespace kx;
using namespace kxtest;
namespace fs = std::filesystem;

namespace {

void Write(const std::string& path, const std::string& data) {
    fs::create_directories(fs::path(path).parent_path());
    std::ofstream(path, std::ios::binary | std::ios::trunc) << data;
}

class CopyStep : public testing::Test {
protected:
    void TearDown() override { InitLanguage(0x0409); }

    std::string Dir() const { return W.InstallDir(); }
    std::string Sys() { return W.SystemDir(); }
    std::string Shared() { return W.M.CommonFilesDir() + "Tarnwick/"; }
    std::string List() { return W.M.FileBytes(Dir() + "INSTFILE.LST"); }
    static std::string ListOf(std::initializer_list<std::string> paths) {
        std::string text;
        for (const std::string& p : paths) text += p + "\r\n";
        return text;
    }
    bool NoStagedFiles() const {
        for (const auto& [k, f] : W.M.State.Files)
            if (f.Path.find("~kx") != std::string::npos) return false;
        return true;
    }

    TRunWorld W;
};

} // namespace

TEST_F(CopyStep, LettersSubDirectoriesAndOverlappingComponents) {
    W.F.FCompFiles = {"One=a.txt;b.txt[c;;", "Two=b.txt[C;c.txt[x;d.txt[", "One=ignored.txt"};
    W.F.FDestDirs = {"first=nothing;C.TXT", "second=c.txt;d.txt"};
    W.Checked = {true, true, true};
    W.SetPayload({{"a.txt", "A"}, {"b.txt", "B"}, {"c.txt", "C"}, {"d.txt", "D"}});
    W.Copy();
    // "b.txt[c" and "b.txt[C" both go to the shared folder: written twice, listed twice.
    // The third item is named like the first, so it brings the first line's files again.
    EXPECT_EQ(List(), ListOf({Dir() + "a.txt", Shared() + "b.txt", Shared() + "b.txt", Dir() + "first/c.txt",
                              Dir() + "second/d.txt", Dir() + "a.txt", Shared() + "b.txt", Dir() + "UnInst.Ini",
                              Dir() + "INSTFILE.LST"}));
    EXPECT_EQ(W.M.FileBytes(Shared() + "b.txt"), "B");
    EXPECT_EQ(W.M.FileBytes(Dir() + "first/c.txt"), "C");
    EXPECT_EQ(W.M.FileBytes(Dir() + "second/d.txt"), "D");
    // The folders of the directory page, then the shared folder, made when a file first goes there.
    EXPECT_EQ(W.F.FCreatedDirs, (std::vector<std::string>{TFakeMachine::Root() + "C/Program Files/Velmora/", Dir(),
                                                          Shared(), Dir() + "first/", Dir() + "second/"}));
    EXPECT_EQ(W.F.FPlacedFiles.size(), 7u);
    EXPECT_TRUE(W.F.FPlacedFiles[2].Existed) << "written a second time";
    EXPECT_TRUE(NoStagedFiles());
}

TEST_F(CopyStep, SharedFolderIsMadeOnlyWhenAFileGoesThere) {
    W.Copy();
    EXPECT_FALSE(W.M.State.Dirs.count(UpperCase(RemoveTrailingBackslash(Shared()))));
}

TEST_F(CopyStep, UncheckedComponentIsLeftOutAndNothingCheckedListsOnlyTheClosingLines) {
    W.Checked = {true, false};
    W.Copy();
    EXPECT_FALSE(W.M.HasFile(Sys() + "drivers/acmedisk.sys"));
    EXPECT_EQ(List(), ListOf({Dir() + "acmeui.exe", Dir() + "acmesvc.exe", Sys() + "acmehook.dll", Dir() + "readme.txt",
                              Dir() + "UnInst.Ini", Dir() + "INSTFILE.LST"}));
    TRunWorld clean;
    clean.Checked = {false, false};
    clean.Copy();
    EXPECT_TRUE(clean.F.FSelFiles.empty());
    EXPECT_TRUE(clean.F.FPlacedFiles.empty());
    EXPECT_EQ(clean.M.FileBytes(Dir() + "INSTFILE.LST"), ListOf({Dir() + "UnInst.Ini", Dir() + "INSTFILE.LST"}));
}

TEST_F(CopyStep, ListedLinesOfAnEarlierInstallationStayAndComeOnce) {
    EXPECT_EQ(MergeInstalledList("C:\\A\\x.exe\r\nC:\\A\\UnInst.Ini\r\n\r\n",
                                 {"C:\\a\\X.EXE", "C:\\A\\y.dll", "C:\\A\\y.dll", "C:\\A\\UnInst.Ini"}),
              "C:\\A\\x.exe\r\nC:\\A\\UnInst.Ini\r\nC:\\A\\y.dll\r\nC:\\A\\y.dll\r\n");
    EXPECT_EQ(MergeInstalledList("", {"a", "a"}), "a\r\na\r\n") << "a clean install lists a file twice";
}

TEST_F(CopyStep, RunningApplicationGetsOneDelayedMovePerFileInItsOwnFolder) {
    W.M.PutDir(Dir());
    W.M.PutFile(Dir() + "acmeui.exe", "old ui");
    W.M.PutFile(Sys() + "acmehook.dll", "old hook");
    W.M.WindowClasses.insert("TAcmeMainWindow");
    W.Checked = {true, false};
    W.Copy();

    EXPECT_EQ(W.M.FileBytes(Dir() + "acmeui.exe"), "old ui");
    EXPECT_EQ(W.M.FileBytes(Sys() + "acmehook.dll"), "old hook");
    EXPECT_EQ(W.M.FileBytes(Dir() + "acmesvc.exe"), TDemoFiles::Version(1).Files[1].second) << "not in ReNameList";
    ASSERT_EQ(W.M.State.PendingMoves.size(), 2u);
    for (const auto& [from, to] : W.M.State.PendingMoves)
        EXPECT_EQ(ExtractFilePath(from), ExtractFilePath(to)) << "on the volume of its destination";
    EXPECT_EQ(W.M.State.PendingMoves[0].second, Dir() + "acmeui.exe");
    EXPECT_EQ(W.M.State.PendingMoves[1].second, Sys() + "acmehook.dll");
    EXPECT_TRUE(W.F.FNeedReboot);
    EXPECT_TRUE(W.F.FPlacedFiles[0].AtRestart);
    EXPECT_TRUE(W.F.FPlacedFiles[0].Existed);
    EXPECT_FALSE(W.F.FPlacedFiles[1].AtRestart);
    EXPECT_FALSE(W.F.FPlacedFiles[1].Existed);
    EXPECT_EQ(List(), ListOf({Dir() + "acmeui.exe", Dir() + "acmesvc.exe", Sys() + "acmehook.dll", Dir() + "readme.txt",
                              Dir() + "UnInst.Ini", Dir() + "INSTFILE.LST"}))
        << "a replaced file is listed where it will be";
    W.M.Restart();
    EXPECT_EQ(W.M.FileBytes(Dir() + "acmeui.exe"), TDemoFiles::Version(1).Files[0].second);
    EXPECT_EQ(W.M.FileBytes(Sys() + "acmehook.dll"), TDemoFiles::Version(1).Files[2].second);
    EXPECT_TRUE(NoStagedFiles());
}

TEST_F(CopyStep, RunningApplicationOn9xWritesRenameLinesKeepingTheOthers) {
    W.M.NT = false;
    W.M.PutFile(W.M.WindowsDir() + "WinInit.ini", "[rename]\r\nNUL=C:\\OTHER\\X.TMP\r\nNUL=C:\\OTHER\\Y.TMP\r\n");
    W.M.PutDir(Dir());
    W.M.PutFile(Dir() + "acmeui.exe", "old ui");
    W.M.WindowClasses.insert("TAcmeMainWindow");
    W.Checked = {true, false};
    W.Copy();
    const std::string ini = W.M.FileBytes(W.M.WindowsDir() + "WinInit.ini");
    EXPECT_EQ(ini.find("[rename]\r\nNUL=C:\\OTHER\\X.TMP\r\nNUL=C:\\OTHER\\Y.TMP\r\n" + Dir() + "acmeui.exe=" + Dir() + "~kx"),
              0u)
        << ini;
    EXPECT_EQ(W.M.FileBytes(Sys() + "acmehook.dll"), TDemoFiles::Version(1).Files[2].second) << "not there: now";
    W.M.Restart();
    EXPECT_EQ(W.M.FileBytes(Dir() + "acmeui.exe"), TDemoFiles::Version(1).Files[0].second);
}

TEST_F(CopyStep, ListedFileIsCopiedNowWhenTheApplicationDoesNotRun) {
    W.M.PutDir(Dir());
    W.M.PutFile(Dir() + "acmeui.exe", "old ui", faReadOnly);
    W.Copy();
    EXPECT_EQ(W.M.FileBytes(Dir() + "acmeui.exe"), TDemoFiles::Version(1).Files[0].second) << "read-only: replaced";
    EXPECT_TRUE(W.M.State.PendingMoves.empty());
    EXPECT_FALSE(W.F.FNeedReboot);
}

// Two runs before one restart: each replacement waits in a file of its own, and
// the restart leaves the newer one.
TEST_F(CopyStep, EveryReplacementWaitsInAFileOfItsOwn) {
    for (bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "NT" : "9x");
        TRunWorld w;
        w.M.NT = nt;
        w.M.PutDir(w.InstallDir());
        w.M.PutFile(w.SystemDir() + "acmehook.dll", "old system hook");
        w.M.WindowClasses.insert("TAcmeMainWindow");
        w.Copy();
        w.NewSetup(2);
        w.Copy();
        w.M.Restart();
        EXPECT_EQ(w.M.FileBytes(w.SystemDir() + "acmehook.dll"), TDemoFiles::Version(2).Files[2].second);
    }
}

TEST_F(CopyStep, RefusedReplacementEndsTheRunNamingTheFile) {
    W.M.PutDir(Dir());
    W.M.PutFile(Dir() + "acmeui.exe", "old ui");
    W.M.WindowClasses.insert("TAcmeMainWindow");
    const TMachineState before = W.M.State;
    W.M.FailAt(TChange::AtRestart, 1);
    EXPECT_EQ(W.FailingCopy(),
              "The file " + Dir() + "acmeui.exe is in use and cannot be set to be replaced at the next restart.");
    EXPECT_EQ(Differences(before, W.M.State), "");
    EXPECT_FALSE(W.F.FNeedReboot);
}

TEST_F(CopyStep, NameThePayloadLacksEndsTheRunAndChangesNothing) {
    W.SetPayload({{"acmeui.exe", "ui"}, {"acmesvc.exe", "svc"}});
    EXPECT_EQ(W.FailingCopy(),
              "The file " + Sys() + "acmehook.dll cannot be extracted: the setup package does not contain it.");
    EXPECT_EQ(Differences(W.BeforeSetup, W.M.State), "");
    EXPECT_EQ(W.Lines.size(), 3u);
}

TEST_F(CopyStep, DestinationThatCannotBeWrittenEndsTheRunAndASecondRunCompletes) {
    W.M.PutDir(Dir() + "acmesvc.exe");
    W.M.PutFile(Dir() + "acmesvc.exe/in the way", "x");
    const TMachineState before = W.M.State;
    EXPECT_EQ(W.FailingCopy(), "Cannot write the file " + Dir() +
                                   "acmesvc.exe.\nIt may be in use by another program, or the disk may be read-only. "
                                   "Close the program that uses it and press Install again.");
    EXPECT_EQ(Differences(before, W.M.State), "");

    W.M.State.Files.erase(UpperCase(Dir() + "acmesvc.exe/in the way"));
    W.M.State.Dirs.erase(UpperCase(Dir() + "acmesvc.exe"));
    W.Copy();
    EXPECT_EQ(W.M.FileBytes(Dir() + "acmesvc.exe"), TDemoFiles::Version(1).Files[1].second);
    EXPECT_EQ(W.F.FPlacedFiles.size(), 5u);
}

TEST_F(CopyStep, UnreadablePayloadEndsTheRunBeforeAnyFile) {
    W.Payload = "not an archive at all, just bytes";
    EXPECT_EQ(W.FailingCopy(), "The setup package is damaged and cannot be read.");
    EXPECT_EQ(Differences(W.BeforeSetup, W.M.State), "");
    EXPECT_TRUE(W.Lines.empty());
}

TEST_F(CopyStep, ProgressIsTheShareOfTheRunsBytes) {
    W.SetPayload({{"acmeui.exe", std::string(300000, 'u')},
                  {"acmesvc.exe", std::string(100000, 's')},
                  {"acmehook.dll", "h"},
                  {"readme.txt", "r"},
                  {"acmedisk.sys", "d"}});
    W.Copy();
    ASSERT_FALSE(W.Percents.empty());
    EXPECT_TRUE(std::is_sorted(W.Percents.begin(), W.Percents.end()));
    EXPECT_EQ(W.Percents.back(), 100);
    // The first file is three quarters of the bytes: the bar passes 70 while it is written.
    EXPECT_NE(std::find_if(W.Percents.begin(), W.Percents.end(), [](int p) { return p >= 70 && p <= 75; }),
              W.Percents.end());
}

TEST_F(CopyStep, LinesAndErrorsComeInTheChosenLanguage) {
    InitLanguage(0x0804);
    W.SetPayload({{"acmeui.exe", "ui"}});
    W.Checked = {true, false};
    W.FailingCopy();
    EXPECT_EQ(W.Lines, (std::vector<std::string>{"\xD5\xFD\xD4\xDA\xBD\xE2\xD1\xB9\xCE\xC4\xBC\xFE:acmeui.exe",
                                                 "\xD5\xFD\xD4\xDA\xBD\xE2\xD1\xB9\xCE\xC4\xBC\xFE:acmesvc.exe"}));
    InitLanguage(0x0404);
    EXPECT_EQ(W.FailingCopy(), "\xB5L\xAAk\xB8\xD1\xC0\xA3\xC0\xC9\xAE\xD7 " + Dir() +
                                   "acmesvc.exe\xA1G\xB8\xCB\xB3]\xAEM\xA5\xF3\xA4\xA4\xA8S\xA6\xB3"
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
