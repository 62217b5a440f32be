// The uninstaller's plan: what it removes of an installation's records, and the
// records it refuses, as a table.
#include <gtest/gtest.h>

#include <algorithm>

#include "uninst/UninstPlan.h"

using namespace kx;

namespace {

using TLines = std::vector<std::string>;

const char kTarget[] = "C:\\Program Files\\Velmora\\AcmeTool\\";
const char kGroup[] = "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\Acme Tool\\";
const char kEntryKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool";

TUninstPlaces Places() {
    TUninstPlaces p;
    p.CodePage = 1252;
    p.WindowsDir = "C:\\WINDOWS\\";
    p.SystemDir = "C:\\WINDOWS\\system32\\";
    p.CommonFilesDir = "C:\\Program Files\\Common Files\\";
    p.ProgramsDirs = {"C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\",
                      "C:\\Documents and Settings\\me\\Start Menu\\Programs\\"};
    p.ProtectedDirs = {"C:\\Program Files\\"};
    return p;
}

TUnInstIni DemoIni() {
    TUnInstIni ini;
    ini.RegKey = kEntryKey;
    ini.Services = {"AcmeSvc"};
    ini.FindClass = "TAcmeMainWindow";
    ini.ReNameList = {"acmehook.dll", "acmeui.exe"};
    return ini;
}

// What the setup records for the demo package installed into kTarget.
TUninstEntry DemoEntry() {
    TUninstEntry e;
    e.DisplayName = e.GrpName = "Acme Tool";
    e.UnInstallPath = kTarget;
    e.UnInstallString = "C:\\WINDOWS\\kxUnInst.exe";
    e.GroupDir = kGroup;
    e.CreatedDirs = {"C:\\Program Files\\Velmora\\", kTarget, "C:\\WINDOWS\\system32\\drivers\\", kGroup,
                     std::string(kGroup) + "Docs\\"};
    e.Shortcuts = {std::string(kGroup) + "Acme Tool.Lnk", std::string(kGroup) + "Docs\\Read Me.Lnk",
                   std::string(kGroup) + "Acme Tool UnInst.Lnk"};
    e.RegValues = {"SOFTWARE\\Acme\\Tool;InstallPath"};
    e.RegKeys = {"SOFTWARE\\Acme", "SOFTWARE\\Acme\\Tool"};
    e.SharedFiles = {"C:\\WINDOWS\\system32\\acmehook.dll", "C:\\WINDOWS\\system32\\drivers\\acmedisk.sys"};
    return e;
}

TLines DemoList() {
    const std::string t = kTarget;
    return {t + "acmeui.exe", t + "acmesvc.exe", "C:\\WINDOWS\\system32\\acmehook.dll", t + "readme.txt",
            "C:\\WINDOWS\\system32\\drivers\\acmedisk.sys", t + "UnInst.Ini", t + "INSTFILE.LST"};
}

TEST(UninstPlan, DemoInstallationIsRemovedInTheSafeOrder) {
    TUninstPlan plan;
    ASSERT_TRUE(MakeUninstPlan(DemoIni(), DemoList(), DemoEntry(), Places(), plan));
    EXPECT_EQ(plan.TargetDir, kTarget);
    EXPECT_EQ(plan.Services, (TLines{"AcmeSvc"}));
    ASSERT_EQ(plan.Files.size(), 5u);
    const std::string t = kTarget;
    const struct {
        std::string Path;
        bool Shared;
        int Record;
    } files[] = {{t + "acmeui.exe", false, -1},
                 {t + "acmesvc.exe", false, -1},
                 {"C:\\WINDOWS\\system32\\acmehook.dll", true, 0},
                 {t + "readme.txt", false, -1},
                 {"C:\\WINDOWS\\system32\\drivers\\acmedisk.sys", true, 1}};
    for (std::size_t i = 0; i < 5; ++i) {
        EXPECT_EQ(plan.Files[i].Path, files[i].Path);
        EXPECT_EQ(plan.Files[i].Shared, files[i].Shared) << files[i].Path;
        EXPECT_EQ(plan.Files[i].Record, files[i].Record) << files[i].Path;
    }
    EXPECT_EQ(plan.GroupDir, kGroup);
    EXPECT_EQ(plan.Shortcuts, DemoEntry().Shortcuts);
    ASSERT_EQ(plan.RegValues.size(), 1u);
    EXPECT_EQ(plan.RegValues[0].Key, "SOFTWARE\\Acme\\Tool");
    EXPECT_EQ(plan.RegValues[0].Name, "InstallPath");
    EXPECT_EQ(plan.RegKeys, (TLines{"SOFTWARE\\Acme\\Tool", "SOFTWARE\\Acme"}));
    EXPECT_EQ(plan.EntryKey, kEntryKey);
    EXPECT_TRUE(plan.DeleteEntryTree);
    EXPECT_TRUE(plan.EntryValues.empty());
    EXPECT_EQ(plan.Uninstaller, t + "kxUnInst.Exe");
    EXPECT_EQ(plan.RecordFiles, (TLines{t + "UnInst.Ini", t + "INSTFILE.LST"}));
    EXPECT_EQ(plan.Dirs, (TLines{std::string(kGroup) + "Docs\\", kGroup, "C:\\WINDOWS\\system32\\drivers\\", kTarget,
                                 "C:\\Program Files\\Velmora\\"}));
    EXPECT_EQ(plan.WindowsCopy, "C:\\WINDOWS\\kxUnInst.exe");
    EXPECT_TRUE(plan.Refused.empty());
}

TEST(UninstPlan, SameFileListedTwiceIsRemovedOnceAndSharedRecordsNotListedStillCount) {
    TUninstEntry e = DemoEntry();
    e.SharedFiles.push_back("C:\\Program Files\\Common Files\\Tarnwick\\old.dll");
    const std::string t = kTarget;
    TUninstPlan plan;
    ASSERT_TRUE(MakeUninstPlan(DemoIni(), {t + "a.txt", t + "A.TXT", t + "a.txt\\"}, e, Places(), plan));
    ASSERT_EQ(plan.Files.size(), 4u);
    EXPECT_EQ(plan.Files[0].Path, t + "a.txt");
    EXPECT_EQ(plan.Files[1].Path, "C:\\WINDOWS\\system32\\acmehook.dll");
    EXPECT_EQ(plan.Files[3].Path, "C:\\Program Files\\Common Files\\Tarnwick\\old.dll");
    EXPECT_TRUE(plan.Files[3].Shared);
    EXPECT_EQ(plan.Files[3].Record, 2);
}

TEST(UninstPlan, ASharedFileRecordedTwiceKeepsItsFirstRecord) {
    TUninstEntry e = DemoEntry();
    e.SharedFiles = {"C:\\WINDOWS\\system32\\x.dll", "C:\\WINDOWS\\system32\\y.dll", "c:\\windows\\SYSTEM32\\X.DLL"};
    TUninstPlan plan;
    ASSERT_TRUE(MakeUninstPlan(DemoIni(), {}, e, Places(), plan));
    ASSERT_EQ(plan.Files.size(), 2u);
    EXPECT_EQ(plan.Files[0].Record, 0);
    EXPECT_EQ(plan.Files[1].Path, "C:\\WINDOWS\\system32\\y.dll");
    EXPECT_EQ(plan.Files[1].Record, 1);
}

// The digests the setup stored of the record files it wrote (SHA-256, here of
// the demo's "UnInst.Ini" and of a one-line list).
const char kIni[] = "[Reg]\r\nRegKey=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool\r\n\r\n"
                    "[Service]\r\nAcmeSvc=True\r\n";
const char kIniDigest[] = "26954d395ed4280db14eabf9eb8bc541458232a09a4e832bc47060eb217e1790";
const char kList[] = "abc";
const char kListDigest[] = "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad";

TEST(RecordFiles, UnchangedOnlyWhileBothMatchTheirDigests) {
    TUninstEntry e;
    e.IniDigest = kIniDigest;
    e.ListDigest = kListDigest;
    EXPECT_EQ(CheckRecordFiles(kIni, kList, e), TRecordCheck::Unchanged);
    // Digests written in capitals are the same digests.
    e.ListDigest = "BA7816BF8F01CFEA414140DE5DAE2223B00361A396177A9CB410FF61F20015AD";
    EXPECT_EQ(CheckRecordFiles(kIni, kList, e), TRecordCheck::Unchanged);
    // A record a user added to the list, a service taken out of the settings.
    EXPECT_EQ(CheckRecordFiles(kIni, std::string(kList) + "C:\\Acme\\x\\foo.sys\r\n", e), TRecordCheck::ListChanged);
    EXPECT_EQ(CheckRecordFiles("[Reg]\r\nRegKey=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool\r\n",
                               kList, e),
              TRecordCheck::IniChanged);
    // An entry without digests gives nothing to trust the files by.
    TUninstEntry none;
    EXPECT_EQ(CheckRecordFiles(kIni, kList, none), TRecordCheck::IniChanged);
    none.IniDigest = kIniDigest;
    EXPECT_EQ(CheckRecordFiles(kIni, kList, none), TRecordCheck::ListChanged);
}

TEST(RecordFiles, DigestsAreReadFromTheEntryAndGoWithIt) {
    const TUninstEntry e = ReadUninstEntry([](const std::string& name) -> std::optional<std::string> {
        if (name == "kxIniSha256") return std::string(kIniDigest);
        if (name == "kxListSha256") return std::string(kListDigest);
        return std::nullopt;
    });
    EXPECT_EQ(e.IniDigest, kIniDigest);
    EXPECT_EQ(e.ListDigest, kListDigest);
    const TLines names = UninstEntryValueNames(e);
    EXPECT_NE(std::find(names.begin(), names.end(), "kxIniSha256"), names.end());
    EXPECT_NE(std::find(names.begin(), names.end(), "kxListSha256"), names.end());
}

TEST(UninstPlan, UninstallKeyElsewhereLosesOnlyItsKnownValues) {
    TUnInstIni ini = DemoIni();
    ini.RegKey = "SOFTWARE\\Acme\\Setup";
    TUninstPlan plan;
    ASSERT_TRUE(MakeUninstPlan(ini, DemoList(), DemoEntry(), Places(), plan));
    EXPECT_FALSE(plan.DeleteEntryTree);
    EXPECT_EQ(plan.EntryValues.front(), "DisplayName");
    EXPECT_EQ(plan.EntryValues.back(), "kxSharedFile1");
    // A key below an entry of the list is no entry of its own either.
    ini.RegKey = std::string(kEntryKey) + "\\Sub";
    ASSERT_TRUE(MakeUninstPlan(ini, DemoList(), DemoEntry(), Places(), plan));
    EXPECT_FALSE(plan.DeleteEntryTree);
}

struct TTargetCase {
    const char* UnInstallPath;
};

class UnusableTarget : public testing::TestWithParam<TTargetCase> {};

TEST_P(UnusableTarget, GivesNoPlan) {
    TUninstEntry e = DemoEntry();
    e.UnInstallPath = GetParam().UnInstallPath;
    TUninstPlan plan;
    EXPECT_FALSE(MakeUninstPlan(DemoIni(), DemoList(), e, Places(), plan)) << GetParam().UnInstallPath;
}

INSTANTIATE_TEST_SUITE_P(Table, UnusableTarget,
                         testing::Values(TTargetCase{""}, TTargetCase{"AcmeTool\\"}, TTargetCase{"C:\\"},
                                         TTargetCase{"C:\\WINDOWS\\"}, TTargetCase{"c:\\windows\\SYSTEM32"},
                                         TTargetCase{"C:\\Program Files\\"}, TTargetCase{"C:\\Program Files\\Common Files\\"},
                                         TTargetCase{"C:\\Documents and Settings\\"},
                                         TTargetCase{"C:\\Program Files\\Velmora\\..\\..\\WINDOWS\\"}));

// One record added to the demo installation, and what becomes of it.
enum class TKind { Listed, Shared, Shortcut, GroupDir, CreatedDir, RegValue, RegKey, UnInstallString };
enum class TOutcome { Removed, Refused, Ignored };

struct TRecordCase {
    const char* What;
    TKind Kind;
    std::string Record;
    TOutcome Outcome;
    TRefusal Why;
};

void PrintTo(const TRecordCase& c, std::ostream* os) { *os << c.What; }

class Record : public testing::TestWithParam<TRecordCase> {};

TEST_P(Record, IsRemovedOrRefusedAsTheRulesSay) {
    const TRecordCase& c = GetParam();
    TUnInstIni ini = DemoIni();
    TUninstEntry e = DemoEntry();
    TLines list = DemoList();
    switch (c.Kind) {
    case TKind::Listed: list.insert(list.begin(), c.Record); break;
    case TKind::Shared: e.SharedFiles.push_back(c.Record); break;
    case TKind::Shortcut: e.Shortcuts.push_back(c.Record); break;
    case TKind::GroupDir:
        e.GroupDir = c.Record;
        e.Shortcuts.clear();
        break;
    case TKind::CreatedDir: e.CreatedDirs.push_back(c.Record); break;
    case TKind::RegValue: e.RegValues.push_back(c.Record); break;
    case TKind::RegKey: e.RegKeys.push_back(c.Record); break;
    case TKind::UnInstallString: e.UnInstallString = c.Record; break;
    }
    TUninstPlan plan;
    ASSERT_TRUE(MakeUninstPlan(ini, list, e, Places(), plan));

    bool planned = false;
    switch (c.Kind) {
    case TKind::Listed:
    case TKind::Shared:
        for (const TPlannedFile& f : plan.Files) planned = planned || f.Path == c.Record;
        break;
    case TKind::Shortcut:
        for (const std::string& s : plan.Shortcuts) planned = planned || s == c.Record;
        break;
    case TKind::GroupDir: planned = !plan.GroupDir.empty(); break;
    case TKind::CreatedDir:
        for (const std::string& d : plan.Dirs) planned = planned || d == c.Record;
        break;
    case TKind::RegValue: planned = plan.RegValues.size() == 2; break;
    case TKind::RegKey: planned = plan.RegKeys.size() == 3; break;
    case TKind::UnInstallString: planned = !plan.WindowsCopy.empty(); break;
    }
    const bool refused = plan.Refused.size() == 1 && plan.Refused[0].Record == c.Record;
    switch (c.Outcome) {
    case TOutcome::Removed:
        EXPECT_TRUE(planned);
        EXPECT_TRUE(plan.Refused.empty());
        break;
    case TOutcome::Refused:
        EXPECT_FALSE(planned);
        ASSERT_TRUE(refused) << plan.Refused.size() << " refusals";
        EXPECT_EQ(plan.Refused[0].Why, c.Why);
        break;
    case TOutcome::Ignored:
        EXPECT_FALSE(planned);
        EXPECT_TRUE(plan.Refused.empty());
        break;
    }
}

const std::string T = kTarget;
const std::string G = kGroup;

INSTANTIATE_TEST_SUITE_P(
    Table, Record,
    testing::Values(
        // The files of "INSTFILE.LST".
        TRecordCase{"listed file in the target", TKind::Listed, T + "extra.dat", TOutcome::Removed, {}},
        TRecordCase{"listed file in a sub-folder", TKind::Listed, T + "data\\x.dat", TOutcome::Removed, {}},
        TRecordCase{"the Windows folder", TKind::Listed, "C:\\WINDOWS\\", TOutcome::Refused, TRefusal::Directory},
        TRecordCase{"the Windows folder without backslash", TKind::Listed, "C:\\WINDOWS", TOutcome::Refused,
                    TRefusal::ProtectedFolder},
        TRecordCase{"the Program Files folder", TKind::Listed, "C:\\Program Files", TOutcome::Refused,
                    TRefusal::ProtectedFolder},
        TRecordCase{"a drive root", TKind::Listed, "C:\\", TOutcome::Refused, TRefusal::Directory},
        TRecordCase{"the target folder itself", TKind::Listed, T, TOutcome::Refused, TRefusal::Directory},
        TRecordCase{"parent steps", TKind::Listed, "..\\..\\x", TOutcome::Refused, TRefusal::BadPath},
        TRecordCase{"parent steps inside an absolute path", TKind::Listed, T + "..\\..\\x.txt", TOutcome::Refused,
                    TRefusal::BadPath},
        TRecordCase{"a relative name", TKind::Listed, "readme.txt", TOutcome::Refused, TRefusal::BadPath},
        TRecordCase{"a rooted path without drive", TKind::Listed, "\\WINDOWS\\win.ini", TOutcome::Refused,
                    TRefusal::BadPath},
        TRecordCase{"forward slashes", TKind::Listed, "C:/WINDOWS/win.ini", TOutcome::Refused, TRefusal::BadPath},
        TRecordCase{"a wildcard", TKind::Listed, T + "*.*", TOutcome::Refused, TRefusal::BadPath},
        TRecordCase{"a system file nobody counted", TKind::Listed, "C:\\WINDOWS\\system32\\kernel32.dll",
                    TOutcome::Refused, TRefusal::NotRecorded},
        TRecordCase{"a file in the Windows folder", TKind::Listed, "C:\\WINDOWS\\win.ini", TOutcome::Refused,
                    TRefusal::NotRecorded},
        TRecordCase{"a sibling folder with the target's name as prefix", TKind::Listed,
                    "C:\\Program Files\\Velmora\\AcmeTool2\\x.exe", TOutcome::Refused, TRefusal::NotRecorded},
        TRecordCase{"another product's file", TKind::Listed, "C:\\Program Files\\Other\\x.exe", TOutcome::Refused,
                    TRefusal::NotRecorded},
        // SharedDLLs records.
        TRecordCase{"shared file in Common Files", TKind::Shared, "C:\\Program Files\\Common Files\\Tarnwick\\c.dll",
                    TOutcome::Removed, {}},
        TRecordCase{"shared record outside the shared folders", TKind::Shared, "C:\\WINDOWS\\win.ini",
                    TOutcome::Refused, TRefusal::OutsideSharedFolders},
        TRecordCase{"shared record naming the system folder", TKind::Shared, "C:\\WINDOWS\\system32\\",
                    TOutcome::Refused, TRefusal::Directory},
        TRecordCase{"shared record with parent steps", TKind::Shared, "C:\\WINDOWS\\system32\\..\\win.ini",
                    TOutcome::Refused, TRefusal::BadPath},
        // Shortcuts and the program group.
        TRecordCase{"shortcut in a group sub-folder", TKind::Shortcut, G + "More\\x.lnk", TOutcome::Removed, {}},
        TRecordCase{"shortcut record that is no link", TKind::Shortcut, G + "acmeui.exe", TOutcome::Refused,
                    TRefusal::NotAShortcut},
        TRecordCase{"shortcut outside the group", TKind::Shortcut,
                    "C:\\Documents and Settings\\me\\Desktop\\Acme.lnk", TOutcome::Refused, TRefusal::OutsideGroup},
        TRecordCase{"group that is the programs folder itself", TKind::GroupDir,
                    "C:\\Documents and Settings\\All Users\\Start Menu\\Programs\\", TOutcome::Refused,
                    TRefusal::OutsideGroup},
        TRecordCase{"group outside the Start menu", TKind::GroupDir, "C:\\Program Files\\Velmora\\", TOutcome::Refused,
                    TRefusal::OutsideGroup},
        TRecordCase{"group in the user's programs folder", TKind::GroupDir,
                    "C:\\Documents and Settings\\me\\Start Menu\\Programs\\Acme\\", TOutcome::Removed, {}},
        // Folders the setup made.
        TRecordCase{"created folder", TKind::CreatedDir, T + "data\\", TOutcome::Removed, {}},
        TRecordCase{"created folder that is the system folder", TKind::CreatedDir, "C:\\WINDOWS\\SYSTEM32\\",
                    TOutcome::Refused, TRefusal::ProtectedFolder},
        TRecordCase{"created folder above the programs folder", TKind::CreatedDir,
                    "C:\\Documents and Settings\\me\\", TOutcome::Refused, TRefusal::ProtectedFolder},
        TRecordCase{"created folder that is a drive root", TKind::CreatedDir, "D:\\", TOutcome::Refused,
                    TRefusal::ProtectedFolder},
        TRecordCase{"created folder given relatively", TKind::CreatedDir, "Velmora\\", TOutcome::Refused,
                    TRefusal::BadPath},
        // Registry records.
        TRecordCase{"value record", TKind::RegValue, "SOFTWARE\\Acme\\Tool;Other", TOutcome::Removed, {}},
        TRecordCase{"value record of the default value", TKind::RegValue, "SOFTWARE\\Acme\\Tool;", TOutcome::Removed,
                    {}},
        TRecordCase{"value record without a name", TKind::RegValue, "SOFTWARE\\Acme\\Tool", TOutcome::Refused,
                    TRefusal::BadRegistryKey},
        TRecordCase{"value record from the root", TKind::RegValue, "\\SOFTWARE;x", TOutcome::Refused,
                    TRefusal::BadRegistryKey},
        TRecordCase{"key record", TKind::RegKey, "SOFTWARE\\Acme\\Tool\\Sub", TOutcome::Removed, {}},
        TRecordCase{"top-level key record", TKind::RegKey, "SOFTWARE", TOutcome::Refused, TRefusal::BadRegistryKey},
        // The Windows folder's copy of the uninstaller.
        TRecordCase{"quoted uninstall string", TKind::UnInstallString, "\"C:\\WINDOWS\\KXUNINST.EXE\"",
                    TOutcome::Removed, {}},
        TRecordCase{"uninstall string naming another program", TKind::UnInstallString, "C:\\WINDOWS\\explorer.exe",
                    TOutcome::Refused, TRefusal::NotOurUninstaller},
        TRecordCase{"uninstall string outside the Windows folder", TKind::UnInstallString,
                    "C:\\WINDOWS\\system32\\kxUnInst.exe", TOutcome::Refused, TRefusal::NotOurUninstaller},
        // The uninstaller's own files are no ordinary files of the list.
        TRecordCase{"the target's uninstaller listed", TKind::Listed, T + "KXUNINST.EXE", TOutcome::Ignored, {}}));

} // namespace
