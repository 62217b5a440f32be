// The demo package installed by its real setup program and removed by
// kxUnInst.exe: from the program group's shortcut and from the system's list of
// installed programs, beside a second package that counts on the same files of
// the system folder, and while the demo's program runs. Afterwards the prefix
// is as it was before the first installation.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "../setup/SetupDriver.h"
#include "UninstWorld.h"
#include "app/SetupControlIds.h"
#include "sys/Handles.h"
#include "uninst/UnInstControlIds.h"

#include <shlobj.h>

using namespace kx;
using namespace kxe2e;

namespace {

const char kDemoKey[] = "AcmeTool";
const char kSecondKey[] = "AcmeTool2";
// Where the setup suggests them: below Program Files as the system gives it to
// a 32-bit program ("Program Files (x86)" on 64-bit Windows).
const std::string kProgramFiles =
    RegText(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", "ProgramFilesDir") + "\\";
const std::string kDemoDir = kProgramFiles + "Velmora\\AcmeTool\\";
const std::string kSecondDir = kProgramFiles + "Velmora\\AcmeTool2\\";

std::string Join(const std::vector<std::string>& lines) {
    std::string s;
    for (const std::string& l : lines) s += l + "\n";
    return s;
}

std::string EntryKey(const char* name) { return std::string(kUninstallKey) + "\\" + name; }

std::string SystemFile(const char* name) {
    char buf[MAX_PATH];
    const UINT n = GetSystemDirectoryA(buf, MAX_PATH);
    return std::string(buf, n) + "\\" + name;
}

std::string WindowsDir() {
    char buf[MAX_PATH];
    const UINT n = GetWindowsDirectoryA(buf, MAX_PATH);
    return std::string(buf, n) + "\\";
}

HWND WaitForWindow(const char* cls, int ms) {
    for (int t = 0; t <= ms; t += 100, Sleep(100))
        if (HWND w = FindWindowA(cls, nullptr)) return w;
    return nullptr;
}

void CloseWindowAndWait(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    PostMessageA(w, WM_CLOSE, 0, 0);
    if (process) {
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
}

// Installs with the setup into its suggested folder, answering every box (No to
// a restart). The group folder's shell window is closed, and the AutoRun
// program too unless it is to keep running.
void InstallWith(const std::string& setup, bool keepProgram = false) {
    TSetupProcess p(setup);
    ASSERT_TRUE(p.WaitForForm()) << "the wizard did not appear";
    p.Click(idBtnCancel);
    p.Click(idBtnNext);
    p.Click(idBtnNext);
    ASSERT_EQ(p.Page(), 3);
    p.ClickAsync(idBtnNext);
    const std::vector<std::string> boxes = p.AnswerBoxesUntilEnd();
    ASSERT_TRUE(p.WaitForExit(30000)) << "the setup did not end: " << Join(boxes);
    ASSERT_EQ(boxes.size(), 1u) << Join(boxes);
    while (HWND w = FindWindowA("ExplorerWClass", nullptr)) {
        CloseWindowAndWait(w);
        if (IsWindow(w)) break;
    }
    HWND program = WaitForWindow("TAcmeMainWindow", 10000);
    ASSERT_NE(program, nullptr) << "AutoRun did not start acmeui.exe";
    if (!keepProgram) CloseWindowAndWait(program);
}

// What the uninstaller's shortcut in the program group points at, and with
// which arguments.
std::string UninstallerShortcutTarget(const char* entryName, std::string* arguments = nullptr) {
    const std::string key = EntryKey(entryName);
    const std::string link = RegText(HKEY_LOCAL_MACHINE, key, "kxGroupDir") +
                             Msg(29, RegText(HKEY_LOCAL_MACHINE, key, "GrpName")) + ".Lnk";
    TComPtr<IShellLinkA> shellLink;
    TComPtr<IPersistFile> file;
    if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                shellLink.PutVoid())) ||
        FAILED(shellLink->QueryInterface(IID_IPersistFile, file.PutVoid())))
        return "<no shell link object>";
    wchar_t wide[MAX_PATH] = {};
    MultiByteToWideChar(CP_ACP, 0, link.c_str(), -1, wide, MAX_PATH);
    if (FAILED(file->Load(wide, STGM_READ))) return "<cannot read " + link + ">";
    char target[MAX_PATH] = {};
    if (FAILED(shellLink->GetPath(target, MAX_PATH, nullptr, 0))) return "<no target in " + link + ">";
    char args[MAX_PATH] = {};
    if (arguments && SUCCEEDED(shellLink->GetArguments(args, MAX_PATH))) *arguments = args;
    return target;
}

std::string InstalledList() { return RunCapture("uninstaller.exe --list"); }

bool Listed(const char* entryName) {
    return InstalledList().find(std::string(entryName) + "|||") != std::string::npos;
}

struct TUninstallOptions {
    std::string Choose;          // the entry to pick when the window offers several
    bool FilesInUse = false;     // the demo's program runs
    const char* Shot = nullptr;  // a screenshot of the window before UnInstall
};

// The uninstaller's window from the program the user starts; UnInstall pressed;
// every box answered: Cancel to files in use, No to a restart, OK at the end.
std::vector<std::string> UninstallThrough(const std::string& commandLine, const TUninstallOptions& o = {}) {
    const long started = RunWait(commandLine, 30000);
    EXPECT_EQ(started, 0) << commandLine;
    std::unique_ptr<TSetupProcess> p = TSetupProcess::Attach(kUnInstFormClass);
    EXPECT_NE(p, nullptr) << "no uninstaller window after " << commandLine;
    if (!p) return {};
    if (!o.Choose.empty()) {
        EXPECT_EQ(TSetupProcess::Text(p->Form()), Msg(30));
        const std::vector<std::string> offered = p->ListItems(idUnLbxProgress);
        const auto it = std::find(offered.begin(), offered.end(), o.Choose);
        EXPECT_NE(it, offered.end()) << o.Choose << " not offered among\n" << Join(offered);
        if (it == offered.end()) return {};
        SendMessageA(p->Control(idUnLbxProgress), LB_SETCURSEL, static_cast<WPARAM>(it - offered.begin()), 0);
    }
    if (o.Shot) Shot(*p, o.Shot);
    p->ClickAsync(idUnBtnUnInstall);
    std::vector<std::string> boxes;
    while (p->Running()) {
        HWND box = p->WaitForBox(60000);
        if (!box) break;
        boxes.push_back(TSetupProcess::BoxText(box));
        const int answer = GetDlgItem(box, IDRETRY) ? IDCANCEL : GetDlgItem(box, IDYES) ? IDNO : IDOK;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
        for (int t = 0; t < 10000 && IsWindow(box); t += 50) Sleep(50);
    }
    EXPECT_TRUE(p->WaitForExit(10000));
    if (boxes.empty()) {
        ADD_FAILURE() << "no final message";
        return boxes;
    }
    EXPECT_EQ(boxes.back(), Msg(35)) << Join(boxes);
    if (o.FilesInUse) {
        // Files in use (Retry/Cancel, answered Cancel), the restart question, the end.
        EXPECT_GE(boxes.size(), 3u) << Join(boxes);
        EXPECT_EQ(boxes[boxes.size() >= 2 ? boxes.size() - 2 : 0], Msg(38)) << Join(boxes);
    } else {
        EXPECT_EQ(boxes.size(), 1u) << Join(boxes);
    }
    return boxes;
}

bool ServiceRegistered(const char* name) {
    return RegKeyExists(HKEY_LOCAL_MACHINE, std::string("SYSTEM\\CurrentControlSet\\Services\\") + name);
}

bool NTFamily() {
    OSVERSIONINFOA vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    GetVersionExA(&vi);
    return vi.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

class Demo : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(gDemoSetup.empty()) << "run with --demo-setup=PATH";
        // Every Windows has this key; the setup counts its system files in it.
        RegSetDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, "kx-marker", 1);
        SetEnvironmentVariableA("WINEDLLOVERRIDES", "mscoree,mshtml=;winemenubuilder.exe=d");
    }
};

TEST_F(Demo, InstalledAndRemovedTwiceLeavesThePrefixAsItWas) {
    ASSERT_FALSE(gSecondSetup.empty()) << "run with --second-setup=PATH";
    const TSnapshot before = TakeSnapshot(true);

    // The demo first: it makes the folders and keys the two share, and the
    // second package goes first, so the demo's records take them away last.
    InstallWith(WinPath(gDemoSetup));
    InstallWith(WinPath(gSecondSetup));
    ASSERT_TRUE(Listed(kDemoKey)) << InstalledList();
    ASSERT_TRUE(Listed(kSecondKey)) << InstalledList();
    ASSERT_TRUE(ServiceRegistered("AcmeSvc"));
    const std::string hook = SystemFile("acmehook.dll");
    ASSERT_EQ(RegDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, hook), 2u);

    // From the system's list of installed programs, through the Windows folder's
    // copy, which both entries name: it offers both by their display names.
    TUninstallOptions second;
    second.Choose = RegText(HKEY_LOCAL_MACHINE, EntryKey(kSecondKey), "DisplayName");
    second.Shot = "choose";
    UninstallThrough(std::string("uninstaller.exe --remove ") + kSecondKey, second);
    EXPECT_FALSE(Listed(kSecondKey)) << InstalledList();
    EXPECT_FALSE(Exists(kSecondDir));
    EXPECT_TRUE(Exists(hook)) << "the demo still counts on it";
    EXPECT_EQ(RegDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, hook), 1u);
    EXPECT_TRUE(Exists(std::string(kDemoDir) + "acmeui.exe"));
    EXPECT_TRUE(ServiceRegistered("AcmeSvc"));

    // From the program group's shortcut, as the user starts it: the Windows
    // folder's copy, which only administrators can replace, told of the demo's folder.
    std::string arguments;
    const std::string target = UninstallerShortcutTarget(kDemoKey, &arguments);
    EXPECT_EQ(lstrcmpiA(target.c_str(), (WindowsDir() + "kxUnInst.exe").c_str()), 0) << target;
    const std::string demoDir = kDemoDir;
    EXPECT_EQ(arguments, "\"" + demoDir.substr(0, demoDir.size() - 1) + "\"");
    TUninstallOptions demo;
    demo.Shot = "demo";
    UninstallThrough("\"" + target + "\" " + arguments, demo);
    EXPECT_FALSE(Listed(kDemoKey)) << InstalledList();
    EXPECT_FALSE(ServiceRegistered("AcmeSvc"));
    EXPECT_FALSE(Exists(hook));
    const std::vector<std::string> diff = SnapshotDiff(before, TakeSnapshot(true));
    EXPECT_TRUE(diff.empty()) << Join(diff);
}

TEST_F(Demo, ProgramRunningDuringTheUninstallLosesItsFilesAtTheNextStart) {
    const TSnapshot before = TakeSnapshot();
    InstallWith(WinPath(gDemoSetup), true);
    // The one entry that names the Windows folder's copy is taken at once.
    TUninstallOptions o;
    o.FilesInUse = true;
    UninstallThrough(std::string("uninstaller.exe --remove ") + kDemoKey, o);
    EXPECT_TRUE(Exists(std::string(kDemoDir) + "acmeui.exe"));
    EXPECT_FALSE(Listed(kDemoKey)) << InstalledList();
    EXPECT_FALSE(ServiceRegistered("AcmeSvc"));

    CloseWindowAndWait(WaitForWindow("TAcmeMainWindow", 1000));
    Restart();
    EXPECT_FALSE(Exists(std::string(kDemoDir) + "acmeui.exe"));
    EXPECT_FALSE(Exists(SystemFile("acmehook.dll")));
    std::vector<std::string> diff = SnapshotDiff(before, TakeSnapshot());
    // Windows 9x deletes files at its start, not folders: the empty ones stay.
    if (!NTFamily()) {
        EXPECT_EQ(diff, (std::vector<std::string>{"+D " + kProgramFiles + "Velmora\\",
                                                  std::string("+D ") + kDemoDir}));
        RemoveDirectoryA(kDemoDir.c_str());
        RemoveDirectoryA((kProgramFiles + "Velmora\\").c_str());
        diff.clear();
    }
    EXPECT_TRUE(diff.empty()) << Join(diff);
}

} // namespace
