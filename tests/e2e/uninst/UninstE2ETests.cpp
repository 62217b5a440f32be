// kxUnInst.exe under Wine on installations laid out as the setup records them:
// what it removes, what it leaves, the files in use, the list of entries, the
// refusals, message 36, and screenshots of its window in each language.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <memory>
#include <set>

#include "../setup/SetupDriver.h"
#include "UninstWorld.h"
#include "sys/Handles.h"
#include "uninst/UnInstControlIds.h"
#include "win32/ReadOnlyKey.h"

#include <tlhelp32.h>

using namespace kx;
using namespace kxe2e;

namespace {

bool Contains(const std::vector<std::string>& lines, const std::string& line) {
    return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool ContainsNoCase(std::string text, std::string part) {
    for (std::string* s : {&text, &part})
        for (char& c : *s)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return text.find(part) != std::string::npos;
}

// The bytes of a literal, NULs included.
template <std::size_t N>
std::string Bytes(const char (&s)[N]) {
    return std::string(s, N - 1);
}

std::string Join(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

class Uninstall : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(gUninst.empty()) << "run with --uninst=PATH";
        // Every Windows has this key; a setup that counts a shared file adds to it.
        RegSetDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, "kx-marker", 1);
    }

    std::unique_ptr<TFakeInstall> Install(TFakeOptions options = {}) {
        return std::make_unique<TFakeInstall>(options, WinPath(gUninst), WinPath(gTestSvc), WinPath(gAcmeUi));
    }

    // Starts the uninstaller at path; its first phase hands over to the window of
    // the second, which is returned.
    std::unique_ptr<TSetupProcess> Start(const std::string& path, const std::string& arguments = std::string()) {
        TSetupProcess first(path, {}, arguments);
        DWORD code = 1234;
        EXPECT_TRUE(first.WaitForExit(20000, &code));
        EXPECT_EQ(code, 0u) << "first phase";
        std::unique_ptr<TSetupProcess> p = TSetupProcess::Attach(kUnInstFormClass);
        EXPECT_NE(p, nullptr) << "no uninstaller window";
        return p;
    }

    // Presses UnInstall and answers the final message 35; the progress lines.
    std::vector<std::string> RunToTheEnd(TSetupProcess& p) {
        p.ClickAsync(idUnBtnUnInstall);
        return Finish(p);
    }

    std::vector<std::string> Finish(TSetupProcess& p) {
        HWND box = p.WaitForBox(60000);
        EXPECT_NE(box, nullptr) << "no final message";
        if (!box) return {};
        const std::vector<std::string> lines = p.ListItems(idUnLbxProgress);
        EXPECT_EQ(TSetupProcess::BoxText(box), Msg(35));
        // The program ends with this box: no waiting for its window to answer.
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        EXPECT_TRUE(p.WaitForExit(10000));
        return lines;
    }

    // Starts the uninstaller, which is expected to find nothing it may remove.
    void ExpectMessage36(const std::string& path) { ExpectOnlyBox(path, Msg(36)); }

    // Starts the uninstaller, which is expected to show text in a box, show no
    // window and end.
    void ExpectOnlyBox(const std::string& path, const std::string& text, const std::string& arguments = std::string()) {
        TSetupProcess p(path, {}, arguments);
        HWND box = p.WaitForBox(20000);
        ASSERT_NE(box, nullptr) << "no message box";
        EXPECT_EQ(TSetupProcess::BoxText(box), text);
        EXPECT_FALSE(p.WaitForForm(100, kUnInstFormClass));
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
        EXPECT_TRUE(p.WaitForExit(10000));
    }
};

TEST_F(Uninstall, FromTheTargetFolderRemovesWhatTheSetupRecordedAndNothingElse) {
    // A service the package stops but does not own: its program lies elsewhere.
    MakeDirs("C:\\KxOther");
    ASSERT_TRUE(CopyFileA(WinPath(gTestSvc).c_str(), "C:\\KxOther\\othersvc.exe", FALSE));
    RunWait("\"C:\\KxOther\\othersvc.exe\" /install /silent /name=KxOtherSvc");
    const TSnapshot before = TakeSnapshot();

    TFakeOptions options;
    options.Service = true;
    auto inst = Install(options);
    inst->WriteIni("[Reg]\r\nRegKey=" + inst->RegKey + "\r\n\r\n[Service]\r\nKxTestSvc=True\r\nKxOtherSvc=True\r\n");
    ASSERT_NE(RegText(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KxTestSvc", "ImagePath"), "");

    auto p = Start(inst->TargetUninstaller());
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(TSetupProcess::Text(p->Form()), Msg(29, inst->GroupName));
    EXPECT_EQ(p->Text(idUnLblTitle), Msg(29, inst->GroupName));
    EXPECT_EQ(p->Text(idUnBtnUnInstall), Msg(30));
    EXPECT_EQ(p->Text(idUnBtnCancel), Msg(4));
    EXPECT_EQ(p->Text(idUnLblCompany), "Acme Ltd.");
    EXPECT_TRUE(GetWindowLongA(p->Control(idUnBtnUnInstall), GWL_STYLE) & BS_DEFPUSHBUTTON);
    EXPECT_EQ(p->ListItems(idUnLbxProgress), (std::vector<std::string>{inst->Dir}));
    Shot(*p, "ready");
    // Nothing is removed before UnInstall is pressed.
    EXPECT_TRUE(Exists(inst->Dir + "readme.txt"));
    EXPECT_TRUE(Exists(inst->TargetUninstaller()));

    // Enter presses the default button.
    PostMessageA(p->Control(idUnBtnUnInstall), WM_KEYDOWN, VK_RETURN, 0);
    PostMessageA(p->Control(idUnBtnUnInstall), WM_KEYUP, VK_RETURN, 0);
    const std::vector<std::string> lines = Finish(*p);
    EXPECT_TRUE(Contains(lines, Msg(31, "KxTestSvc"))) << Join(lines);
    EXPECT_TRUE(Contains(lines, Msg(31, "KxOtherSvc"))) << Join(lines);
    for (const std::string& f : inst->Files) EXPECT_TRUE(Contains(lines, Msg(32, f))) << f << "\n" << Join(lines);
    EXPECT_TRUE(Contains(lines, Msg(32, inst->TargetUninstaller()))) << Join(lines);
    EXPECT_TRUE(Contains(lines, Msg(33))) << Join(lines);
    EXPECT_TRUE(Contains(lines, Msg(34))) << Join(lines);
    EXPECT_EQ(lines.back(), Msg(35));

    // The package's own service unregistered itself; the other one is still registered.
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KxTestSvc"));
    EXPECT_NE(RegText(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KxOtherSvc", "ImagePath"), "");
    const std::vector<std::string> diff = SnapshotDiff(before, TakeSnapshot());
    EXPECT_TRUE(diff.empty()) << Join(diff);
    // Only the temporary copy that ran the uninstall waits for the next start.
    EXPECT_TRUE(ContainsNoCase(PendingDeletes(), "kxUn")) << PendingDeletes();
    EXPECT_FALSE(ContainsNoCase(PendingDeletes(), "Velmora")) << PendingDeletes();

    RunWait("\"C:\\KxOther\\othersvc.exe\" /uninstall /silent /name=KxOtherSvc");
    RemoveTree("C:\\KxOther");
}

TEST_F(Uninstall, FileTheUserAddedSurvivesWithItsFolder) {
    auto inst = Install();
    WriteText(inst->Dir + "my notes.txt", "mine");
    auto p = Start(inst->TargetUninstaller());
    ASSERT_NE(p, nullptr);
    RunToTheEnd(*p);
    EXPECT_EQ(ReadText(inst->Dir + "my notes.txt"), "mine");
    EXPECT_FALSE(Exists(inst->Dir + "readme.txt"));
    EXPECT_FALSE(Exists(inst->Dir + "data\\"));
    EXPECT_FALSE(Exists(inst->TargetUninstaller()));
    EXPECT_FALSE(Exists(inst->Dir + "UnInst.Ini"));
    EXPECT_FALSE(Exists(inst->GroupDir));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, inst->RegKey));
    EXPECT_TRUE(Exists("C:\\Program Files\\Velmora\\")) << "the target's parent is not empty";
    inst->Remove();
}

// A system where only this package counted shared files (a fresh Wine prefix)
// had no SharedDLLs key before the setup made one; the last count takes the key
// with it, while a key that holds other counts stays.
TEST_F(Uninstall, SharedDllsKeyThatOnlyThisPackageUsedGoesWithItsLastCount) {
    RegDeleteTree(HKEY_LOCAL_MACHINE, kSharedDllsKey);
    auto inst = Install();
    ASSERT_EQ(RegDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, inst->SharedDll), 1u);
    auto p = Start(inst->TargetUninstaller());
    ASSERT_NE(p, nullptr);
    RunToTheEnd(*p);
    EXPECT_FALSE(Exists(inst->SharedDll));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kSharedDllsKey));

    RegSetDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, "kx-marker", 1);
    auto again = Install();
    p = Start(again->TargetUninstaller());
    ASSERT_NE(p, nullptr);
    RunToTheEnd(*p);
    EXPECT_FALSE(RegDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, again->SharedDll).has_value());
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, "kx-marker"), 1u);
}

// The installation's application runs while UnInstall is pressed: the first
// question about a file it holds is on the screen.
class UninstallWhileRunning : public Uninstall {
protected:
    void SetUp() override {
        Uninstall::SetUp();
        TFakeOptions options;
        options.Application = true;
        Inst = Install(options);
        App = std::make_unique<TSetupProcess>(Inst->Dir + "app.exe");
        for (int i = 0; i < 200 && !AppWindow; ++i, Sleep(50)) AppWindow = FindWindowA("TAcmeMainWindow", nullptr);
        ASSERT_NE(AppWindow, nullptr);
        P = Start(Inst->TargetUninstaller());
        ASSERT_NE(P, nullptr);
        P->ClickAsync(idUnBtnUnInstall);
        Box = P->WaitForBox(60000);
        ASSERT_NE(Box, nullptr);
    }
    void CloseApplication() {
        PostMessageA(AppWindow, WM_CLOSE, 0, 0);
        EXPECT_TRUE(App->WaitForExit(10000));
    }
    std::unique_ptr<TFakeInstall> Inst;
    std::unique_ptr<TSetupProcess> App, P;
    HWND AppWindow = nullptr, Box = nullptr;
};

TEST_F(UninstallWhileRunning, RetryAsksAgainUntilTheProgramIsClosedThenEverythingGoes) {
    // Each file the application holds is asked about: Retry while it runs asks again.
    const std::string asked = TSetupProcess::BoxText(Box);
    EXPECT_TRUE(asked == Msg(32, Inst->Dir + "readme.txt") || asked == Msg(32, Inst->Dir + "app.exe")) << asked;
    EXPECT_NE(GetDlgItem(Box, IDRETRY), nullptr);
    EXPECT_NE(GetDlgItem(Box, IDCANCEL), nullptr);
    Shot(*P, "in-use");
    P->Answer(Box, IDRETRY);
    HWND box = P->WaitForBox(20000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TSetupProcess::BoxText(box), asked);
    EXPECT_TRUE(Exists(Inst->Dir + "app.exe"));

    // Closed, the program's files go at once: no restart question, nothing waits for one.
    CloseApplication();
    P->Answer(box, IDRETRY);
    Finish(*P);
    EXPECT_FALSE(Exists(Inst->Dir));
    EXPECT_FALSE(ContainsNoCase(PendingDeletes(), "Velmora")) << PendingDeletes();
}

TEST_F(Uninstall, RecordsOutsideTheInstallationAreRefusedLineByLine) {
    auto inst = Install();
    MakeDirs("C:\\KxVictim");
    WriteText("C:\\KxVictim\\victim.txt", "keep");
    WriteText("C:\\KxVictim\\relative.txt", "keep");
    const std::string winIni = ReadText("C:\\windows\\win.ini");
    const std::string systemIni = ReadText("C:\\windows\\system.ini");
    inst->WriteList({"C:\\WINDOWS\\", "C:\\windows\\win.ini", "..\\..\\KxVictim\\victim.txt", "relative.txt",
                     inst->Dir + "..\\..\\..\\KxVictim\\victim.txt", "C:/KxVictim/victim.txt",
                     Bytes("\x01\xFF\xFE garbage \x00 bytes"), "\\windows\\system.ini"});
    auto p = Start(inst->TargetUninstaller());
    ASSERT_NE(p, nullptr);
    const std::vector<std::string> lines = RunToTheEnd(*p);
    EXPECT_EQ(ReadText("C:\\KxVictim\\victim.txt"), "keep");
    EXPECT_EQ(ReadText("C:\\KxVictim\\relative.txt"), "keep");
    EXPECT_EQ(ReadText("C:\\windows\\win.ini"), winIni);
    EXPECT_EQ(ReadText("C:\\windows\\system.ini"), systemIni);
    // Every recorded file went, each with its line; no refused one has a line.
    std::vector<std::string> removed = inst->Files;
    for (const char* own : {"kxUnInst.Exe", "UnInst.Ini", "INSTFILE.LST"}) removed.push_back(inst->Dir + own);
    for (const std::string& f : removed) EXPECT_TRUE(Contains(lines, Msg(32, f))) << f << "\n" << Join(lines);
    for (const std::string& l : lines)
        for (const char* refused : {"KxVictim", "win.ini", "system.ini", "relative", "garbage"})
            EXPECT_FALSE(ContainsNoCase(l, refused)) << l;
    EXPECT_FALSE(Exists(inst->Dir));
    RemoveTree("C:\\KxVictim");
}

TEST_F(Uninstall, WithoutTheRightToRemoveItsEntryNothingIsRemoved) {
    auto inst = Install();
    auto readOnly = std::make_unique<kxtest::TReadOnlyKey>(HKEY_LOCAL_MACHINE, inst->RegKey.c_str());
    ASSERT_TRUE(readOnly->Enforced(HKEY_LOCAL_MACHINE, inst->RegKey.c_str()));
    const TSnapshot before = TakeSnapshot();
    auto p = Start(inst->TargetUninstaller());
    ASSERT_NE(p, nullptr);
    p->ClickAsync(idUnBtnUnInstall);
    HWND box = p->WaitForBox(60000);
    ASSERT_NE(box, nullptr);
    // The system's own text; no final message follows.
    EXPECT_NE(TSetupProcess::BoxText(box), Msg(35));
    EXPECT_NE(TSetupProcess::BoxText(box), "");
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, IDOK)));
    EXPECT_TRUE(p->WaitForExit(10000));
    const std::vector<std::string> diff = SnapshotDiff(before, TakeSnapshot());
    EXPECT_TRUE(diff.empty()) << Join(diff);
    readOnly.reset();
    inst->Remove();
}

TEST_F(Uninstall, CancelRemovesNothing) {
    auto inst = Install();
    const TSnapshot before = TakeSnapshot();
    auto p = Start(inst->TargetUninstaller());
    ASSERT_NE(p, nullptr);
    p->Click(idUnBtnCancel);
    EXPECT_TRUE(p->WaitForExit(10000));
    const std::vector<std::string> diff = SnapshotDiff(before, TakeSnapshot());
    EXPECT_TRUE(diff.empty()) << Join(diff);
    inst->Remove();
}

// What makes an installation unknown to the uninstaller, and the record it breaks.
struct TBrokenCase {
    const char* What;
    void (*Break)(TFakeInstall& inst);
};

void PrintTo(const TBrokenCase& c, std::ostream* os) { *os << c.What; }

class Broken : public Uninstall, public testing::WithParamInterface<TBrokenCase> {};

TEST_P(Broken, GivesMessage36AndChangesNothing) {
    auto inst = Install();
    GetParam().Break(*inst);
    const TSnapshot before = TakeSnapshot();
    ExpectMessage36(inst->TargetUninstaller());
    const std::vector<std::string> diff = SnapshotDiff(before, TakeSnapshot());
    EXPECT_TRUE(diff.empty()) << Join(diff);
    inst->Remove();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Broken,
    testing::Values(
        TBrokenCase{"no UnInst.Ini", [](TFakeInstall& i) { DeleteFileA((i.Dir + "UnInst.Ini").c_str()); }},
        TBrokenCase{"UnInst.Ini without [Reg]",
                    [](TFakeInstall& i) { WriteText(i.Dir + "UnInst.Ini", "[Service]\r\nKxTestSvc=True\r\n"); }},
        TBrokenCase{"binary UnInst.Ini",
                    [](TFakeInstall& i) { WriteText(i.Dir + "UnInst.Ini", Bytes("\x00\xFF[Reg]\x00\x01")); }},
        TBrokenCase{"no INSTFILE.LST", [](TFakeInstall& i) { DeleteFileA((i.Dir + "INSTFILE.LST").c_str()); }},
        TBrokenCase{"entry already removed", [](TFakeInstall& i) { RegDeleteTree(HKEY_LOCAL_MACHINE, i.RegKey); }},
        TBrokenCase{"entry naming another folder",
                    [](TFakeInstall& i) {
                        RegSetText(HKEY_LOCAL_MACHINE, i.RegKey, "UnInstallPath", "C:\\Program Files\\Velmora\\Other\\");
                    }}));

TEST_F(Uninstall, WindowsFolderCopyWithoutEntriesGivesMessage36) {
    auto inst = Install();
    RegDeleteTree(HKEY_LOCAL_MACHINE, inst->RegKey);
    ExpectMessage36(inst->WindowsCopy);
    EXPECT_TRUE(Exists(inst->WindowsCopy));
    inst->Remove();
}

// ---------------------------------------------------------------- records as the setup wrote them

// The folder's record files are the uninstaller's orders; anyone who may write
// there could add one. Only as the setup wrote them (their digests in the entry,
// where only administrators write) are they followed.
TEST_F(Uninstall, ARecordAUserAddedToTheListRemovesNothing) {
    auto inst = Install();
    MakeDirs(inst->Dir + "x");
    WriteText(inst->Dir + "x\\foo.sys", "someone else's");
    WriteText(inst->Dir + "INSTFILE.LST", ReadText(inst->Dir + "INSTFILE.LST") + inst->Dir + "x\\foo.sys\r\n");
    const TSnapshot before = TakeSnapshot();
    ExpectOnlyBox(inst->TargetUninstaller(), Msg(50, inst->Dir + "INSTFILE.LST"));
    const std::vector<std::string> diff = SnapshotDiff(before, TakeSnapshot());
    EXPECT_TRUE(diff.empty()) << Join(diff);
    EXPECT_EQ(ReadText(inst->Dir + "x\\foo.sys"), "someone else's");
    inst->Remove();
}

TEST_F(Uninstall, AnEditedSettingsFileRemovesNothing) {
    auto inst = Install();
    // One more service to stop, for the Windows folder's copy told of this folder.
    WriteText(inst->Dir + "UnInst.Ini", ReadText(inst->Dir + "UnInst.Ini") + "KxOtherSvc=True\r\n");
    const TSnapshot before = TakeSnapshot();
    ExpectOnlyBox(inst->WindowsCopy, Msg(50, inst->Dir + "UnInst.Ini"),
                  "\"" + inst->Dir.substr(0, inst->Dir.size() - 1) + "\"");
    const std::vector<std::string> diff = SnapshotDiff(before, TakeSnapshot());
    EXPECT_TRUE(diff.empty()) << Join(diff);
    inst->Remove();
}

// ---------------------------------------------------------------- links

// A Unix symbolic link, which Wine shows as a reparse point (as Windows shows a
// junction); the link appears when the Unix program has made it.
bool MakeUnixLink(const std::string& unixTarget, const std::string& unixLink, const std::string& winLink) {
    RunWait("/bin/ln -s \"" + unixTarget + "\" \"" + unixLink + "\"");
    for (int i = 0; i < 50; ++i, Sleep(100))
        if (GetFileAttributesA(winLink.c_str()) != INVALID_FILE_ATTRIBUTES) return true;
    return false;
}

std::string UnixPathInPrefix(const std::string& prefix, const std::string& winPath) {
    std::string p = prefix + "/drive_c/" + winPath.substr(3);
    for (char& c : p)
        if (c == '\\') c = '/';
    return p;
}

TEST_F(Uninstall, NothingIsRemovedThroughALinkInTheTargetFolder) {
    const char* prefix = std::getenv("KX_PREFIX");
    if (!prefix) GTEST_SKIP() << "needs the Unix side of the prefix (KX_PREFIX)";
    auto inst = Install();
    // A user swaps the installation's data folder for a link to a folder of his
    // choice, which holds a file of the name the records give.
    MakeDirs("C:\\KxVictim");
    WriteText("C:\\KxVictim\\info.dat", "keep");
    RemoveTree(inst->Dir + "data");
    const std::string link = inst->Dir + "data";
    ASSERT_TRUE(MakeUnixLink(UnixPathInPrefix(prefix, "C:\\KxVictim"), UnixPathInPrefix(prefix, link), link));
    ASSERT_NE(GetFileAttributesA(link.c_str()) & FILE_ATTRIBUTE_REPARSE_POINT, 0u);

    auto p = Start(inst->TargetUninstaller());
    ASSERT_NE(p, nullptr);
    const std::vector<std::string> lines = RunToTheEnd(*p);
    EXPECT_EQ(ReadText("C:\\KxVictim\\info.dat"), "keep");
    EXPECT_TRUE(Contains(lines, Msg(51, link))) << Join(lines);
    EXPECT_FALSE(Contains(lines, Msg(32, link + "\\info.dat"))) << Join(lines);
    // Everything else of the installation went.
    EXPECT_FALSE(Exists(inst->Dir + "readme.txt"));
    EXPECT_FALSE(Exists(inst->TargetUninstaller()));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, inst->RegKey));
    RunWait("/bin/rm \"" + UnixPathInPrefix(prefix, link) + "\"");
    for (int i = 0; i < 50 && Exists(link); ++i) Sleep(100);
    EXPECT_EQ(ReadText("C:\\KxVictim\\info.dat"), "keep");
    inst->Remove();
    RemoveTree("C:\\KxVictim");
}

// ---------------------------------------------------------------- one at a time

BOOL CALLBACK CountWindow(HWND wnd, LPARAM lp) {
    auto* c = reinterpret_cast<std::pair<const char*, int>*>(lp);
    char cls[64] = {};
    GetClassNameA(wnd, cls, sizeof cls);
    if (IsWindowVisible(wnd) && std::string(cls) == c->first) ++c->second;
    return TRUE;
}

int TopLevelWindowsOf(const char* cls) {
    std::pair<const char*, int> c{cls, 0};
    EnumWindows(CountWindow, reinterpret_cast<LPARAM>(&c));
    return c.second;
}

TEST_F(Uninstall, ASecondUninstallerOfThePackageSaysAnotherOneIsRunning) {
    auto inst = Install();
    auto first = Start(inst->TargetUninstaller());
    ASSERT_NE(first, nullptr);
    ExpectOnlyBox(inst->TargetUninstaller(), Msg(42, inst->GroupName));
    ExpectOnlyBox(inst->WindowsCopy, Msg(42, inst->GroupName), "\"" + inst->Dir + "\"");
    // No second window: the first one's is the only one.
    Sleep(500);
    EXPECT_EQ(TopLevelWindowsOf(kUnInstFormClass), 1);
    EXPECT_TRUE(Exists(inst->Dir + "readme.txt"));
    first->Click(idUnBtnCancel);
    EXPECT_TRUE(first->WaitForExit(10000));
    // The first one ended: the lock is free again.
    auto again = Start(inst->TargetUninstaller());
    ASSERT_NE(again, nullptr);
    RunToTheEnd(*again);
    EXPECT_FALSE(Exists(inst->Dir));
}

// ---------------------------------------------------------------- the second phase's folder

std::string TempFolder() {
    char buf[MAX_PATH];
    const DWORD n = GetTempPathA(MAX_PATH, buf);
    return std::string(buf, n);
}

std::set<std::string> FolderEntries(const std::string& dir) {
    std::set<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do
        if (std::string(fd.cFileName) != "." && std::string(fd.cFileName) != "..") names.insert(fd.cFileName);
    while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

std::string ImagePath(DWORD pid) {
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPMODULE, pid);
    if (snap == INVALID_HANDLE_VALUE) return std::string();
    MODULEENTRY32 me{};
    me.dwSize = sizeof me;
    const std::string path = Module32First(snap, &me) ? me.szExePath : "";
    CloseHandle(snap);
    return path;
}

TEST_F(Uninstall, TheSecondPhaseRunsFromANewFolderOfItsOwn) {
    auto inst = Install();
    const std::string temp = TempFolder();
    const std::set<std::string> before = FolderEntries(temp);
    auto p = Start(inst->TargetUninstaller());
    ASSERT_NE(p, nullptr);
    const std::string image = ImagePath(p->Pid());
    const std::size_t slash = image.find_last_of('\\');
    ASSERT_NE(slash, std::string::npos) << image;
    const std::string folder = image.substr(0, slash + 1);
    // Directly under the temporary folder, under a name nothing had before.
    ASSERT_GT(folder.size(), temp.size()) << image;
    EXPECT_EQ(lstrcmpiA(folder.substr(0, temp.size()).c_str(), temp.c_str()), 0) << image;
    const std::string name = folder.substr(temp.size(), folder.size() - temp.size() - 1);
    EXPECT_EQ(name.find('\\'), std::string::npos) << image;
    EXPECT_EQ(name.substr(0, 4), "kxUn") << image;
    EXPECT_EQ(before.count(name), 0u) << image;
    // Nothing beside it but the program itself.
    EXPECT_EQ(FolderEntries(folder), (std::set<std::string>{image.substr(slash + 1)}));
    RunToTheEnd(*p);
    // The copy and then its folder wait for the next start.
    EXPECT_TRUE(ContainsNoCase(PendingDeletes(), image)) << PendingDeletes();
    EXPECT_TRUE(ContainsNoCase(PendingDeletes(), folder.substr(0, folder.size() - 1) + "\n")) << PendingDeletes();
}

// ---------------------------------------------------------------- services of others

bool ServiceRunning(const char* name) {
    SC_HANDLE man = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!man) return false;
    SC_HANDLE svc = OpenServiceA(man, name, SERVICE_QUERY_STATUS);
    SERVICE_STATUS st{};
    const bool running = svc && QueryServiceStatus(svc, &st) && st.dwCurrentState == SERVICE_RUNNING;
    if (svc) CloseServiceHandle(svc);
    CloseServiceHandle(man);
    return running;
}

TEST_F(Uninstall, AServiceItStoppedButDoesNotRemoveRunsAgain) {
    MakeDirs("C:\\KxOther");
    ASSERT_TRUE(CopyFileA(WinPath(gTestSvc).c_str(), "C:\\KxOther\\othersvc.exe", FALSE));
    RunWait("\"C:\\KxOther\\othersvc.exe\" /install /silent /name=KxOtherSvc");
    RunWait("net start KxOtherSvc");
    for (int i = 0; i < 100 && !ServiceRunning("KxOtherSvc"); ++i) Sleep(50);
    ASSERT_TRUE(ServiceRunning("KxOtherSvc"));
    TFakeOptions options;
    options.Service = true;
    auto inst = Install(options);
    inst->WriteIni("[Reg]\r\nRegKey=" + inst->RegKey + "\r\n\r\n[Service]\r\nKxTestSvc=True\r\nKxOtherSvc=True\r\n");
    auto p = Start(inst->TargetUninstaller());
    ASSERT_NE(p, nullptr);
    const std::vector<std::string> lines = RunToTheEnd(*p);
    EXPECT_TRUE(Contains(lines, Msg(31, "KxOtherSvc"))) << Join(lines);
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KxTestSvc"));
    EXPECT_TRUE(ServiceRunning("KxOtherSvc"));
    RunWait("\"C:\\KxOther\\othersvc.exe\" /uninstall /silent /name=KxOtherSvc");
    RemoveTree("C:\\KxOther");
}

// ---------------------------------------------------------------- the Windows folder's copy told which

TEST_F(Uninstall, TheWindowsFoldersCopyTakesTheInstallationItIsToldOf) {
    auto one = Install();
    TFakeOptions second;
    second.Name = "KxTest2";
    second.GroupName = "KxTest Two";
    second.SharedDll = false;
    auto two = Install(second);
    // As the program group's shortcut starts it: no choice between the two.
    auto p = Start(one->WindowsCopy, "\"" + one->Dir.substr(0, one->Dir.size() - 1) + "\"");
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(TSetupProcess::Text(p->Form()), Msg(29, one->GroupName));
    EXPECT_EQ(p->ListItems(idUnLbxProgress), (std::vector<std::string>{one->Dir}));
    RunToTheEnd(*p);
    EXPECT_FALSE(Exists(one->Dir));
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, one->RegKey));
    EXPECT_TRUE(Exists(two->Dir + "readme.txt"));
    EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE, two->RegKey));
    EXPECT_TRUE(Exists(two->WindowsCopy)) << "the other entry still names it";
    two->Remove();
}

// ---------------------------------------------------------------- cut short and run again

// The first run is killed while it asks about a file in use, after the shared
// file's count was given up; the second run must not lower it again, or the
// file another installation counts on would go.
TEST_F(Uninstall, KilledAndRunAgainLowersTheSharedCountOnce) {
    TFakeOptions options;
    options.Application = true;
    auto inst = Install(options);
    // Another installation counts the shared file too.
    RegSetDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, inst->SharedDll, 2);
    TSetupProcess app(inst->Dir + "app.exe");
    HWND appWindow = nullptr;
    for (int i = 0; i < 200 && !appWindow; ++i, Sleep(50)) appWindow = FindWindowA("TAcmeMainWindow", nullptr);
    ASSERT_NE(appWindow, nullptr);
    auto p = Start(inst->TargetUninstaller());
    ASSERT_NE(p, nullptr);
    p->ClickAsync(idUnBtnUnInstall);
    // The first question about a file in use: the shared file's step is behind.
    ASSERT_NE(p->WaitForBox(60000), nullptr);
    TKernelHandle process(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, p->Pid()));
    ASSERT_TRUE(process);
    TerminateProcess(process.Get(), 9);
    WaitForSingleObject(process.Get(), 10000);
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, inst->SharedDll), 1u);
    PostMessageA(appWindow, WM_CLOSE, 0, 0);
    EXPECT_TRUE(app.WaitForExit(10000));

    auto again = Start(inst->TargetUninstaller());
    ASSERT_NE(again, nullptr);
    RunToTheEnd(*again);
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, inst->SharedDll), 1u);
    EXPECT_TRUE(Exists(inst->SharedDll));
    EXPECT_FALSE(Exists(inst->Dir + "app.exe"));
    inst->Remove();
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    TakeOptions(argc, argv, {
        {"--uninst=", &gUninst},
        {"--testsvc=", &gTestSvc},
        {"--acmeui=", &gAcmeUi},
        {"--artifacts=", &gArtifacts},
        {"--demo-setup=", &gDemoSetup},
        {"--second-setup=", &gSecondSetup},
    });
    TScopedComInit com;
    // The shortcuts the tests make would go to the Unix desktop's menus too.
    SetEnvironmentVariableA("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d");
    return RUN_ALL_TESTS();
}
