// The demo's whole run on a machine in memory: what a complete run leaves, and
// that a failure at any change, or the process stopped at any change and the
// next start's recovery, leaves the machine as it was (or, past the commit,
// installed): on a clean machine and over an installed older version, on both
// Windows families, with the application running or not.
#include <gtest/gtest.h>

#include "app/RegistrationRules.h"
#include "base/Exception.h"
#include "base/Text.h"
#include "lang/kxSetupLan.h"
#include "unit/app/RunWorld.h"

using namespace kx;
using namespace kxtest;

namespace {

const std::string kEntry = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool";
const std::string kShared = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

std::string Text(const std::optional<TRegValue>& v) { return RegText(v); }

// How a world is set up before the run under test.
struct TScenario {
    const char* Name;
    bool NT = true;
    bool Older = false;      // version 1 installed first, version 2 runs
    bool AppRunning = false; // the demo's window is open during the run under test
};

void Prepare(TRunWorld& w, const TScenario& s) {
    w.M.NT = s.NT;
    if (s.Older) {
        w.Install();
        w.NewSetup(2);
    }
    if (s.AppRunning) w.M.WindowClasses.insert("TAcmeMainWindow");
}

// The changes a complete run makes in the scenario, and the state it leaves.
int ChangesOfACompleteRun(const TScenario& s, TMachineState* after = nullptr) {
    TRunWorld w;
    Prepare(w, s);
    const int before = w.M.Changes();
    w.Install();
    if (after) *after = w.M.State;
    return w.M.Changes() - before;
}

// Until the journal holds its header and the folders of the directory page
// (its creation and that one write), a run has changed nothing, and the target
// folder stays as the page made it.
constexpr int kJournalStart = 2;

class Transaction : public testing::TestWithParam<TScenario> {};

} // namespace

TEST(CompleteRun, DemoPackageInstallsFilesEntryServiceAndShortcuts) {
    TRunWorld w;
    w.Install();
    const TDemoFiles v1 = TDemoFiles::Version(1);
    const std::string dir = w.InstallDir(), sys = w.SystemDir();
    EXPECT_EQ(w.M.FileBytes(dir + "acmeui.exe"), v1.Files[0].second);
    EXPECT_EQ(w.M.FileBytes(dir + "acmesvc.exe"), v1.Files[1].second);
    EXPECT_EQ(w.M.FileBytes(sys + "acmehook.dll"), v1.Files[2].second);
    EXPECT_EQ(w.M.FileBytes(dir + "readme.txt"), v1.Files[3].second);
    EXPECT_EQ(w.M.FileBytes(sys + "drivers/acmedisk.sys"), v1.Files[4].second);
    EXPECT_EQ(w.M.FileBytes(dir + "kxUnInst.Exe"), v1.Uninstaller);
    EXPECT_EQ(w.M.FileBytes(w.M.WindowsDir() + "kxUnInst.exe"), v1.Uninstaller);
    EXPECT_EQ(w.M.FileBytes(dir + "INSTFILE.LST"),
              dir + "acmeui.exe\r\n" + dir + "acmesvc.exe\r\n" + sys + "acmehook.dll\r\n" + dir + "readme.txt\r\n" +
                  sys + "drivers/acmedisk.sys\r\n" + dir + "UnInst.Ini\r\n" + dir + "INSTFILE.LST\r\n");
    EXPECT_EQ(Text(w.M.Value(kEntry, "DisplayName")), "Acme Tool");
    EXPECT_EQ(Text(w.M.Value(kEntry, "UnInstallPath")), dir);
    EXPECT_EQ(Text(w.M.Value("SOFTWARE\\Acme\\Tool", "InstallPath")), dir + "acmeui.exe");
    EXPECT_EQ(RegNumber(w.M.Value(kShared, sys + "acmehook.dll")), 1u);
    EXPECT_EQ(RegNumber(w.M.Value(kShared, sys + "drivers/acmedisk.sys")), 1u);
    // Every folder the run made is on record for the uninstaller, the driver's too.
    EXPECT_EQ(Text(w.M.Value(kEntry, "kxCreatedDir2")), sys + "drivers/");
    ASSERT_TRUE(w.M.ServiceConfig("AcmeSvc"));
    EXPECT_TRUE(w.M.ServiceRunning("AcmeSvc"));
    EXPECT_EQ(w.M.ServiceConfig("AcmeSvc")->StartType, kServiceAutoStart);
    const std::string group = w.M.ProgramGroupDir("Acme Tool");
    EXPECT_EQ(w.M.FileBytes(group + "Acme Tool.Lnk"), "LNK " + dir + "acmeui.exe|Acme Tool");
    EXPECT_EQ(w.M.FileBytes(group + "Docs\\Read Me.Lnk"), "LNK " + dir + "readme.txt|Read Me");
    EXPECT_FALSE(w.M.HasFile(w.JournalPath())) << "the commit removes the journal";
    EXPECT_TRUE(w.M.State.PendingMoves.empty());
    EXPECT_EQ(w.Percents.back(), 100);
}

TEST(CompleteRun, NothingOfTheRunStaysBesideTheFilesOverAnOlderVersion) {
    TRunWorld w;
    w.Install();
    const TMachineState v1 = w.M.State;
    w.NewSetup(2);
    w.Install();
    // Same files, registry and service; only the bytes of the files changed.
    std::size_t files = 0;
    for (const auto& [k, f] : w.M.State.Files) {
        EXPECT_EQ(f.Path.find("~kx"), std::string::npos) << f.Path;
        ++files;
    }
    EXPECT_EQ(files, v1.Files.size());
    EXPECT_EQ(w.M.FileBytes(w.InstallDir() + "readme.txt"), TDemoFiles::Version(2).Files[3].second);
    EXPECT_EQ(RegNumber(w.M.Value(kShared, w.SystemDir() + "acmehook.dll")), 1u) << "counted once per installation";
}

TEST(CompleteRun, ReinstallWithFewerComponentsKeepsTheEarlierLinesOfTheList) {
    TRunWorld w;
    w.Install();
    w.NewSetup(2);
    w.Checked = {true, false};
    w.Install();
    const std::string list = w.M.FileBytes(w.InstallDir() + "INSTFILE.LST");
    EXPECT_NE(list.find(w.SystemDir() + "drivers/acmedisk.sys\r\n"), std::string::npos);
    EXPECT_EQ(list.find(w.InstallDir() + "acmeui.exe\r\n"), list.rfind(w.InstallDir() + "acmeui.exe\r\n"))
        << "no line twice";
}

TEST(CompleteRun, RunningApplicationGetsItsListedFilesAtTheRestart) {
    for (bool nt : {true, false}) {
        SCOPED_TRACE(nt ? "NT" : "9x");
        TRunWorld w;
        w.M.NT = nt;
        w.Install();
        w.NewSetup(2);
        w.M.WindowClasses.insert("TAcmeMainWindow");
        w.Install();
        const TDemoFiles v1 = TDemoFiles::Version(1), v2 = TDemoFiles::Version(2);
        EXPECT_TRUE(w.F.FNeedReboot);
        EXPECT_EQ(w.M.FileBytes(w.InstallDir() + "acmeui.exe"), v1.Files[0].second) << "untouched until the restart";
        EXPECT_EQ(w.M.FileBytes(w.InstallDir() + "acmesvc.exe"), v2.Files[1].second) << "not listed: now";
        if (nt)
            EXPECT_EQ(w.M.State.PendingMoves.size(), 2u) << "one move per file, on the same volume";
        else
            EXPECT_NE(w.M.FileBytes(w.M.WindowsDir() + "WinInit.ini").find("[rename]\r\n"), std::string::npos);
        w.M.Restart();
        EXPECT_EQ(w.M.FileBytes(w.InstallDir() + "acmeui.exe"), v2.Files[0].second);
        EXPECT_EQ(w.M.FileBytes(w.SystemDir() + "acmehook.dll"), v2.Files[2].second);
        for (const auto& [k, f] : w.M.State.Files) EXPECT_EQ(f.Path.find("~kx"), std::string::npos) << f.Path;
    }
}

// Each change of a complete run, failed in turn: the run ends with an error
// (or, where the failure is one the run passes over, completes) and a failed
// run leaves the machine exactly as it was before Install.
TEST_P(Transaction, FailureAtEveryChangeLeavesTheMachineAsItWas) {
    const TScenario s = GetParam();
    const int n = ChangesOfACompleteRun(s);
    ASSERT_GT(n, 50);
    int failed = 0;
    for (int k = 1; k <= n; ++k) {
        TRunWorld w;
        Prepare(w, s);
        const TMachineState before = w.BeforeSetup;
        w.M.FailAt(TChange::Any, w.M.Changes() + k);
        bool completed = true;
        try {
            w.Install();
        } catch (const Exception&) {
            completed = false;
        }
        if (completed) continue;
        ++failed;
        EXPECT_EQ(Differences(k <= kJournalStart ? w.AtInstall : before, w.M.State), "")
            << "failure at change " << k << " of " << n;
        if (HasFailure()) break;
    }
    EXPECT_GT(failed, n / 2) << "most changes cannot fail without ending the run";
}

// The process stopped at each change of a complete run, then the next start's
// recovery: before the commit the machine is as it was, after it as installed.
TEST_P(Transaction, StopAtEveryChangeThenRecoveryLeavesTheMachineAsItWasOrInstalled) {
    const TScenario s = GetParam();
    TMachineState installed;
    const int n = ChangesOfACompleteRun(s, &installed);
    for (int k = 1; k <= n; ++k) {
        TRunWorld w;
        Prepare(w, s);
        const TMachineState before = w.BeforeSetup;
        w.M.StopAt(w.M.Changes() + k);
        try {
            w.Install();
            ADD_FAILURE() << "not stopped at change " << k;
        } catch (const TKilled&) {
        }
        const TJournal::TRecovery r = w.Recover();
        EXPECT_FALSE(w.M.HasFile(w.JournalPath())) << "stop at change " << k;
        // Files waiting for the restart have names of their own in every run:
        // compared as the restart leaves them.
        if (r == TJournal::TRecovery::Committed)
            EXPECT_EQ(Differences(AfterRestart(installed), AfterRestart(w.M.State)), "")
                << "stop at change " << k << " of " << n;
        else
            EXPECT_EQ(Differences(k <= kJournalStart ? w.AtInstall : before, w.M.State), "")
                << "stop at change " << k << " of " << n;
        if (HasFailure()) break;
    }
}

INSTANTIATE_TEST_SUITE_P(Scenarios, Transaction,
                         testing::Values(TScenario{"CleanNT"}, TScenario{"OlderNT", true, true},
                                         TScenario{"CleanWin9x", false}, TScenario{"OlderWin9x", false, true},
                                         TScenario{"RunningAppNT", true, true, true},
                                         TScenario{"RunningAppWin9x", false, true, true}),
                         [](const testing::TestParamInfo<TScenario>& i) { return std::string(i.param.Name); });

// ---------------------------------------------------------------- faults from outside

struct TDamage {
    const char* Name;
    const char* Entry;
    bool Older;
};

class DamagedEntry : public testing::TestWithParam<TDamage> {};

TEST_P(DamagedEntry, EndsTheRunNamingTheFileAndLeavesTheMachineAsItWas) {
    TRunWorld w;
    if (GetParam().Older) {
        w.Install();
        w.NewSetup(1);
    }
    const TDemoFiles v2 = TDemoFiles::Version(2);
    w.SetPayload(v2.Files, GetParam().Entry);
    const TMachineState before = w.BeforeSetup;
    const std::string error = w.FailingInstall();
    const std::string folder = std::string(GetParam().Entry) == "acmehook.dll"   ? w.SystemDir()
                               : std::string(GetParam().Entry) == "acmedisk.sys" ? w.SystemDir() + "drivers/"
                                                                                  : w.InstallDir();
    EXPECT_EQ(error, "The file " + folder + GetParam().Entry + " cannot be extracted: the setup package is damaged.");
    EXPECT_EQ(Differences(before, w.M.State), "");
    EXPECT_TRUE(w.LastUndo.AtRestart.empty());
    EXPECT_TRUE(w.LastUndo.Failed.empty());
}

INSTANTIATE_TEST_SUITE_P(
    Entries, DamagedEntry,
    testing::Values(TDamage{"FirstClean", "acmeui.exe", false}, TDamage{"MiddleClean", "acmehook.dll", false},
                    TDamage{"LastClean", "acmedisk.sys", false}, TDamage{"FirstOverOlder", "acmeui.exe", true},
                    TDamage{"MiddleOverOlder", "acmehook.dll", true}, TDamage{"LastOverOlder", "acmedisk.sys", true}),
    [](const testing::TestParamInfo<TDamage>& i) { return std::string(i.param.Name); });

TEST(DiskFull, AtTheFirstAndAtALaterFileTheRunEndsAndNothingStays) {
    for (bool older : {false, true}) {
        for (std::int64_t room : {std::int64_t(1000), std::int64_t(30000)}) {
            SCOPED_TRACE((older ? "over an older version, " : "clean, ") + std::to_string(room) + " bytes free");
            TRunWorld w;
            if (older) {
                w.Install();
                w.NewSetup(2);
            }
            const TMachineState before = w.BeforeSetup;
            w.M.DiskFree = w.M.Used() + room;
            const std::string error = w.FailingInstall();
            EXPECT_NE(error.find("could not be written completely"), std::string::npos) << error;
            EXPECT_EQ(Differences(before, w.M.State), "");
        }
    }
}

TEST(HeldFile, ADestinationHeldWithoutSharingEndsTheRunAndTheOlderVersionStays) {
    TRunWorld w;
    w.Install();
    w.NewSetup(2);
    w.M.Locked.insert(UpperCase(w.InstallDir() + "readme.txt"));
    const TMachineState before = w.BeforeSetup;
    const std::string error = w.FailingInstall();
    EXPECT_EQ(error.find("Cannot write the file " + w.InstallDir() + "readme.txt."), 0u) << error;
    EXPECT_EQ(Differences(before, w.M.State), "");
    EXPECT_TRUE(w.M.ServiceRunning("AcmeSvc")) << "the service the run stopped runs again";
}

TEST(Recovery, ANewSetupFindsNothingToDoAfterACompleteRun) {
    TRunWorld w;
    w.Install();
    EXPECT_EQ(w.Recover(), TJournal::TRecovery::None);
}

TEST(Recovery, AJournalOfAnotherPackageIsLeftAlone) {
    TRunWorld w;
    w.M.StopAt(w.M.Changes() + 40);
    EXPECT_THROW(w.Install(), TKilled);
    w.M.Revive();
    TUndoOutcome outcome;
    EXPECT_EQ(TJournal::Recover(w.M, w.JournalPath(), "SOFTWARE\\Other", outcome), TJournal::TRecovery::None);
    EXPECT_TRUE(w.M.HasFile(w.JournalPath()));
    EXPECT_EQ(w.Recover(), TJournal::TRecovery::RolledBack);
}
