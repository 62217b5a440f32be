// Registration and finish under Wine: test builds of the setup whose files are
// placed by a test step run the product's registration steps; this driver clicks
// through each installation, answers its boxes and checks what it left in the
// prefix: UnInst.Ini, the uninstaller in both places, the uninstall entry with
// its records, AutoReg values, SharedDLLs counts, shortcuts, the service, the
// final message, the AutoRun program and the restart. The installations of one
// run share the prefix, in the order of the tests.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "e2e/setup/SetupDriver.h"
#include "app/SetupControlIds.h"
#include "sys/Win32.h"

#include <tlhelp32.h>
#include <exdisp.h>
#include <shlguid.h>

#include <sddl.h>

using namespace kx;
using namespace kxe2e;

namespace {

// The demo setup of the run's family, the test builds (the demo with a double-byte
// shortcut folder, the Lite package), the service program, a program that fails,
// and stand-in uninstallers of versions 1, 2 (the one the test builds carry) and 99.
std::string gDemoSetup, gSetup, gSetupLite, gServiceProgram, gFailingProgram, gUninstV1, gUninstV2, gUninstV99;

const char kInstallDir[] = "C:\\Program Files\\Velmora\\AcmeTool\\";
const char kLiteDir[] = "C:\\Program Files\\Velmora\\AcmeLite\\";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool";
const char kLiteKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeLite";
const char kSharedDllsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kRestartMarker[] = "C:\\windows\\temp\\kx-restart.txt";

enum TLang { gb = 0, big5 = 1, english = 2 };

TLang ActiveLang() {
    switch (GetACP()) {
    case 936: return gb;
    case 950: return big5;
    default: return english;
    }
}

// The locale's bytes of a text: GBK, Big5, ASCII.
std::string L(const char* gbText, const char* big5Text, const char* enText) {
    const char* texts[] = {gbText, big5Text, enText};
    return texts[ActiveLang()];
}

std::string GroupName() {
    return L("\xB0\xAC\xBF\xCB\xC3\xC0\xB9\xA4\xBE\xDF", "\xA6\xE3\xA7J\xAC\xFC\xA4u\xA8\xE3", "Acme Tool");
}
std::string LiteGroupName() {
    return L("\xB0\xAC\xBF\xCB\xC3\xC0\xBE\xAB\xBC\xF2\xB0\xE6", "\xA6\xE3\xA7J\xAC\xFC\xBA\xEB\xC2\xB2\xAA\xA9",
             "Acme Lite");
}
std::string Msg15() {
    return L("\xD5\xFD\xD4\xDA\xB4\xB4\xBD\xA8\xB3\xCC\xD0\xF2\xD7\xE9",
             "\xA5\xBF\xA6" "b\xAB\xD8\xA5\xDF\xB5{\xA6\xA1\xB8s\xB2\xD5", "Create Program Group...");
}
std::string Msg28() {
    return L("\xB0\xB2\xD7\xB0\xCD\xEA\xB3\xC9\xA3\xA1", "\xB8\xCB\xB3]\xA7\xB9\xA6\xA8", "Install successfuly!");
}
// Message 46, which ends the error of a run that was undone.
std::string MsgRunUndone() {
    return L("\xB0\xB2\xD7\xB0\xCB\xF9\xD7\xF6\xB5\xC4\xB8\xFC\xB8\xC4\xD2\xD1\xC8\xAB\xB2\xBF\xB3\xB7\xCF\xFA\xA1\xA3",
             "\xA6w\xB8\xCB\xA9\xD2\xB0\xB5\xAA\xBA\xC5\xDC\xA7\xF3\xA4w\xA5\xFE\xB3\xA1\xB4_\xAD\xEC\xA1" "C",
             "The changes made by the installation have been undone.");
}
// Message 29 with the group name.
std::string UninstTitle(const std::string& group) {
    return group + L(" \xD0\xB6\xD4\xD8", " \xA8\xF8\xB8\xFC", " UnInst");
}
std::string Msg38() {
    return L("\xB3\xCC\xD0\xF2\xB0\xB2\xD7\xB0\xCD\xEA\xB1\xCF\xA3\xAC\xC4\xE3\xD0\xE8\xD2\xAA\xD6\xD8\xD0\xC2\xC6\xF4"
             "\xB6\xAF\xC0\xB4\xB8\xFC\xD0\xC2\xC4\xB3\xD0\xA9\xCE\xC4\xBC\xFE\xA3\xAC\xB0\xB4\xC8\xB7\xB6\xA8\xD6\xD8\xD0"
             "\xC2\xC6\xF4\xB6\xAF\xBB\xFA\xC6\xF7\xA3\xA1",
             "\xB5{\xA7\xC7\xA6w\xB8\xCB\xA7\xB9\xB2\xA6\xA1" "A\xA7" "A\xBB\xDD\xADn\xAD\xAB\xB7s\xB1\xD2\xB0\xCA\xA8\xD3"
             "\xA7\xF3\xB7s\xACY\xA8\xC7\xA4\xE5\xA5\xF3\xA1" "A\xAB\xF6\xBDT\xA9w\xAD\xAB\xB7s\xB1\xD2\xB0\xCA\xBE\xF7\xBE"
             "\xB9",
             "Setup Complete. You need to reboot the machine to update the file\xA3\xACPress Ok to Restart");
}

// ---- the prefix ----

std::string FileBytes(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0,
                           nullptr);
    if (h == INVALID_HANDLE_VALUE) return "<missing>";
    std::string data;
    char buf[65536];
    DWORD n = 0;
    while (::ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) data.append(buf, n);
    CloseHandle(h);
    return data;
}

// The Subsystem field of a program's PE optional header, or 0.
WORD ImageSubsystem(const std::string& path) {
    const std::string pe = FileBytes(path);
    if (pe.size() < 0x40) return 0;
    const DWORD at = *reinterpret_cast<const DWORD*>(pe.data() + 0x3C);
    if (pe.size() < at + 24 + 70) return 0;
    return *reinterpret_cast<const WORD*>(pe.data() + at + 24 + 68);
}

void WriteBytes(const std::string& path, const std::string& data) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << path;
    DWORD n = 0;
    WriteFile(h, data.data(), static_cast<DWORD>(data.size()), &n, nullptr);
    CloseHandle(h);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

std::string WindowsDir() {
    char buf[MAX_PATH] = {};
    GetWindowsDirectoryA(buf, MAX_PATH);
    std::string s = buf;
    return s.back() == '\\' ? s : s + "\\";
}

std::string SystemDir() {
    char buf[MAX_PATH] = {};
    GetSystemDirectoryA(buf, MAX_PATH);
    std::string s = buf;
    return s.back() == '\\' ? s : s + "\\";
}

std::string ProgramsDir() {
    HKEY key = nullptr;
    char buf[MAX_PATH] = {};
    DWORD size = sizeof buf;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders", 0,
                      KEY_READ, &key) == ERROR_SUCCESS) {
        RegQueryValueExA(key, "Common Programs", nullptr, nullptr, reinterpret_cast<BYTE*>(buf), &size);
        RegCloseKey(key);
    }
    std::string s = buf;
    return s.empty() || s.back() == '\\' ? s : s + "\\";
}

// A value under HKLM as text: strings as they are, DWORDs as "dword:N", missing as "<missing>".
std::string RegValue(const std::string& key, const std::string& name) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return "<missing>";
    char buf[4096] = {};
    DWORD type = 0, size = sizeof buf - 1;
    LONG rc = RegQueryValueExA(k, name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(buf), &size);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS) return "<missing>";
    if (type == REG_DWORD) return "dword:" + std::to_string(*reinterpret_cast<DWORD*>(buf));
    if (type == REG_SZ) return std::string(buf);
    return "<type " + std::to_string(type) + ">";
}

// The numbered records "<prefix>0", "<prefix>1", ... up to the first missing one.
std::vector<std::string> Records(const std::string& key, const std::string& prefix) {
    std::vector<std::string> r;
    for (int i = 0;; ++i) {
        std::string v = RegValue(key, prefix + std::to_string(i));
        if (v == "<missing>") return r;
        r.push_back(v);
    }
}

bool KeyExists(const std::string& key) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

struct TServiceInfo {
    bool Registered = false;
    std::string ImagePath;
    DWORD StartType = 0;
    DWORD State = 0;
};

TServiceInfo QueryService(const std::string& name) {
    TServiceInfo info;
    SC_HANDLE man = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE svc = man ? OpenServiceA(man, name.c_str(), SERVICE_QUERY_CONFIG | SERVICE_QUERY_STATUS) : nullptr;
    if (svc) {
        info.Registered = true;
        char buf[8192];
        DWORD needed = 0;
        auto* config = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buf);
        if (QueryServiceConfigA(svc, config, sizeof buf, &needed)) {
            info.ImagePath = config->lpBinaryPathName ? config->lpBinaryPathName : "";
            info.StartType = config->dwStartType;
        }
        SERVICE_STATUS st{};
        if (QueryServiceStatus(svc, &st)) info.State = st.dwCurrentState;
        CloseServiceHandle(svc);
    }
    if (man) CloseServiceHandle(man);
    return info;
}

// Waits until the service reports state (the manager starts services a moment after the request).
DWORD WaitForServiceState(const std::string& name, DWORD state, int ms = 10000) {
    DWORD now = 0;
    for (int t = 0; t <= ms; t += 100) {
        now = QueryService(name).State;
        if (now == state) break;
        Sleep(100);
    }
    return now;
}

int CountLines(const std::string& text, const std::string& what) {
    int n = 0;
    for (std::size_t p = text.find(what); p != std::string::npos; p = text.find(what, p + 1)) ++n;
    return n;
}

// A top-level window of the class (and title, when given), when one appears within ms.
HWND WaitForWindow(const char* cls, const char* title, int ms) {
    for (int t = 0; t <= ms; t += 100) {
        if (HWND w = FindWindowA(cls, title)) return w;
        Sleep(100);
    }
    return nullptr;
}

HWND WaitForWindowOfClass(const char* cls, int ms) { return WaitForWindow(cls, nullptr, ms); }

// Each installation opens its group folder; the windows would pile up.
void CloseShellWindows() {
    while (HWND w = FindWindowA("ExplorerWClass", nullptr)) {
        SendMessageTimeoutA(w, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, nullptr);
        if (IsWindow(w)) break;
    }
}

// ---- one installation ----

struct TInstallOptions {
    std::string Setup;
    std::string Dir = kInstallDir;
    std::vector<int> Uncheck;      // component indexes to untick (Custom Install)
    int RestartAnswer = IDNO;
};

struct TBox {
    std::string Text;
    bool YesNo = false;
};

struct TInstallResult {
    std::vector<TBox> Boxes;
    std::vector<std::string> Lines; // lbxProgress when the last box appeared
    bool Exited = false;
    bool InstallEnabled = false;    // Install and Cancel enabled after the run
};

// The form still there with Install enabled: no run in progress. The form may go
// away at any moment once the run has ended.
bool FormIdle(TSetupProcess& p) {
    try {
        return p.Running() && IsWindow(p.Form()) && p.Enabled(idBtnNext);
    } catch (const std::exception&) {
        return false;
    }
}

std::unique_ptr<TSetupProcess> StartSetup(const TInstallOptions& o) {
    return std::make_unique<TSetupProcess>(o.Setup);
}

// Agree, choose the components and the directory: the wizard on its Ready page.
bool ToReady(TSetupProcess& p, const TInstallOptions& o) {
    if (!p.WaitForForm()) {
        ADD_FAILURE() << "the wizard did not appear";
        return false;
    }
    p.Click(idBtnCancel);
    if (!o.Uncheck.empty()) {
        p.SelectCombo(idCmbSetupType, 1);
        for (int i : o.Uncheck) p.ToggleCheck(idLbxCompList, i);
    }
    p.Click(idBtnNext);
    p.Type(idEdtInstallPath, o.Dir);
    p.Click(idBtnNext);
    if (p.Page() != 3) ADD_FAILURE() << "the directory page did not accept " << o.Dir;
    return p.Page() == 3;
}

// Presses Install and answers every box until the run is over.
TInstallResult PressInstall(TSetupProcess& p, const TInstallOptions& o) {
    TInstallResult r;
    p.ClickAsync(idBtnNext);
    // Boxes come one after another; the run is over when the process ends or
    // when Install is enabled again with no box left.
    int quiet = 0;
    for (int t = 0; t < 120000 && quiet < 10; t += 50) {
        if (!p.Running()) break;
        HWND box = p.WaitForBox(50);
        if (box) {
            quiet = 0;
            r.Lines = p.ListItems(idLbxProgress);
            TBox b{TSetupProcess::BoxText(box), GetDlgItem(box, IDYES) != nullptr};
            r.Boxes.push_back(b);
            p.Answer(box, b.YesNo ? o.RestartAnswer : IDOK);
            continue;
        }
        quiet = FormIdle(p) ? quiet + 1 : 0;
    }
    // After the final message the form closes and the program ends within
    // moments; after a restart answered Yes, or an error, the form stays.
    const bool mayClose = !r.Boxes.empty() && !r.Boxes.back().YesNo;
    r.Exited = p.WaitForExit(mayClose ? 3000 : 300);
    if (!r.Exited && FormIdle(p)) {
        r.InstallEnabled = p.Enabled(idBtnCancel);
        if (r.Lines.empty()) r.Lines = p.ListItems(idLbxProgress);
    } else if (!r.Exited) {
        r.Exited = p.WaitForExit(10000);
    }
    return r;
}

TInstallResult Install(const TInstallOptions& o) {
    std::unique_ptr<TSetupProcess> p = StartSetup(o);
    if (!ToReady(*p, o)) return TInstallResult{};
    return PressInstall(*p, o);
}

std::vector<std::string> BoxTexts(const TInstallResult& r) {
    std::vector<std::string> t;
    for (const TBox& b : r.Boxes) t.push_back(b.Text);
    return t;
}

bool HasLine(const TInstallResult& r, const std::string& line) {
    for (const std::string& l : r.Lines)
        if (l == line) return true;
    return false;
}

void CopyOver(const std::string& from, const std::string& to) {
    SetFileAttributesA(to.c_str(), FILE_ATTRIBUTE_NORMAL);
    ASSERT_TRUE(CopyFileA(WinPath(from).c_str(), to.c_str(), FALSE)) << from << " -> " << to;
}

void CloseAutoRunWindow() {
    CloseShellWindows();
    if (HWND w = FindWindowA("TAcmeMainWindow", nullptr)) {
        DWORD pid = 0;
        GetWindowThreadProcessId(w, &pid);
        PostMessageA(w, WM_CLOSE, 0, 0);
        HANDLE h = OpenProcess(SYNCHRONIZE, FALSE, pid);
        if (h) {
            WaitForSingleObject(h, 5000);
            CloseHandle(h);
        }
    }
}


// A window of the FindClass in this process for as long as it lives: to the
// setup, the package's program is running. It has a thread of its own that
// answers messages, as a running program does (the shell broadcasts to every
// top-level window and waits for the answers).
class TRunningApp {
public:
    TRunningApp() {
        FReady = CreateEventA(nullptr, TRUE, FALSE, nullptr);
        FThread = CreateThread(nullptr, 0, &Run, this, 0, &FThreadId);
        WaitForSingleObject(FReady, 10000);
    }
    ~TRunningApp() {
        PostThreadMessageA(FThreadId, WM_QUIT, 0, 0);
        WaitForSingleObject(FThread, 10000);
        CloseHandle(FThread);
        CloseHandle(FReady);
    }
    TRunningApp(const TRunningApp&) = delete;
    TRunningApp& operator=(const TRunningApp&) = delete;

private:
    static DWORD WINAPI Run(void* self) {
        auto* app = static_cast<TRunningApp*>(self);
        WNDCLASSA wc{};
        wc.lpfnWndProc = DefWindowProcA;
        wc.hInstance = GetModuleHandleA(nullptr);
        wc.lpszClassName = "TAcmeMainWindow";
        RegisterClassA(&wc);
        HWND window = CreateWindowExA(0, wc.lpszClassName, "Acme Tool", WS_OVERLAPPED, 0, 0, 10, 10, nullptr,
                                      nullptr, wc.hInstance, nullptr);
        MSG msg;
        PeekMessageA(&msg, nullptr, 0, 0, PM_NOREMOVE); // the thread's queue, for PostThreadMessage
        SetEvent(app->FReady);
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) DispatchMessageA(&msg);
        DestroyWindow(window);
        return 0;
    }

    HANDLE FReady = nullptr, FThread = nullptr;
    DWORD FThreadId = 0;
};

// The bytes of a KXFILE resource of a setup program.
std::string SetupResource(const std::string& setup, const char* name) {
    HMODULE m = LoadLibraryExA(WinPath(setup).c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
    HRSRC res = m ? FindResourceA(m, name, "KXFILE") : nullptr;
    HGLOBAL mem = res ? LoadResource(m, res) : nullptr;
    const char* p = mem ? static_cast<const char*>(LockResource(mem)) : nullptr;
    std::string bytes = p ? std::string(p, SizeofResource(m, res)) : "<no resource>";
    if (m) FreeLibrary(m);
    return bytes;
}

// The uninstall entry's records, to compare before and after an installation.
std::vector<std::string> AllRecords(const std::string& key) {
    std::vector<std::string> all;
    for (const char* prefix : {"kxCreatedDir", "kxShortcut", "kxRegValue", "kxRegKey", "kxSharedFile"})
        for (const std::string& r : Records(key, prefix)) all.push_back(std::string(prefix) + "=" + r);
    all.push_back("kxGroupDir=" + RegValue(key, "kxGroupDir"));
    return all;
}

// Installs the demo into its default directory; the run ends with message 28
// alone and starts the AutoRun program.
void InstallDemoExpectingSuccess() {
    TInstallOptions o;
    o.Setup = gDemoSetup;
    TInstallResult r = Install(o);
    EXPECT_EQ(BoxTexts(r), std::vector<std::string>{Msg28()});
    EXPECT_NE(WaitForWindowOfClass("TAcmeMainWindow", 10000), nullptr) << "AutoRun did not start acmeui.exe";
    CloseAutoRunWindow();
}

// The earlier tests of this run leave the demo installed (with its service
// registered, unless a test says it may be missing); alone, a test installs it first.
void EnsureInstalled(bool withService = true) {
    if (Exists(std::string(kInstallDir) + "UnInst.Ini") && (!withService || QueryService("AcmeSvc").Registered))
        return;
    InstallDemoExpectingSuccess();
    ASSERT_TRUE(QueryService("AcmeSvc").Registered);
}

} // namespace

// ---- Registration: one installation after another in one prefix ----

// The demo's service program on its own, from a folder with blanks in its name.
TEST(Registration, ServiceProgramRegistersRunsStopsAndRemovesItself) {
    const std::string dir = "C:\\Program Files\\Acme Svc Test\\", exe = dir + "acmesvc.exe";
    const std::string log = dir + "acmesvc.log";
    CreateDirectoryA(dir.c_str(), nullptr);
    CopyOver(gServiceProgram, exe);
    EXPECT_EQ(ImageSubsystem(exe), IMAGE_SUBSYSTEM_WINDOWS_GUI) << "a console program would open a window";

    ASSERT_EQ(RunAndWait("\"" + exe + "\" /install /silent", 30000), 0u);
    TServiceInfo svc = QueryService("AcmeSvc");
    EXPECT_EQ(svc.ImagePath, "\"" + exe + "\"");
    EXPECT_EQ(svc.StartType, static_cast<DWORD>(SERVICE_DEMAND_START));
    EXPECT_EQ(RunAndWait("\"" + exe + "\" /install /silent", 30000), static_cast<DWORD>(ERROR_SERVICE_EXISTS));
    EXPECT_EQ(RunAndWait("\"" + exe + "\"", 30000), static_cast<DWORD>(ERROR_FAILED_SERVICE_CONTROLLER_CONNECT))
        << "started by hand it is no service";

    SC_HANDLE man = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    SC_HANDLE h = OpenServiceA(man, "AcmeSvc", SERVICE_START | SERVICE_STOP | SERVICE_QUERY_STATUS);
    EXPECT_TRUE(StartServiceA(h, 0, nullptr));
    EXPECT_EQ(WaitForServiceState("AcmeSvc", SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    SERVICE_STATUS st{};
    EXPECT_TRUE(ControlService(h, SERVICE_CONTROL_STOP, &st));
    EXPECT_EQ(WaitForServiceState("AcmeSvc", SERVICE_STOPPED), static_cast<DWORD>(SERVICE_STOPPED));
    CloseServiceHandle(h);
    CloseServiceHandle(man);
    const std::string lines = FileBytes(log);
    EXPECT_EQ(CountLines(lines, " AcmeSvc started\r\n"), 1) << lines;
    EXPECT_EQ(CountLines(lines, " AcmeSvc stopped\r\n"), 1) << lines;

    // Running again when removed: it stops the service first and takes its log along.
    ASSERT_EQ(RunAndWait("\"" + exe + "\" /uninstall /silent", 30000), 0u);
    EXPECT_FALSE(QueryService("AcmeSvc").Registered);
    EXPECT_FALSE(Exists(log));
    EXPECT_EQ(RunAndWait("\"" + exe + "\" /uninstall /silent", 30000), 0u) << "nothing left to remove is no error";
}

TEST(Registration, CompleteInstallOfTheDemoRegistersEverything) {
    DeleteFileA((WindowsDir() + "kxUnInst.exe").c_str());
    // What an unquoted "C:\Program Files\...\acmesvc.exe /install /silent" would
    // start instead: a service program that registers itself from C:\.
    CopyOver(gServiceProgram, "C:\\Program.exe");
    TInstallOptions o;
    o.Setup = gDemoSetup;
    TInstallResult r = Install(o);

    // The final message, then the end of the program and the AutoRun program.
    EXPECT_EQ(BoxTexts(r), std::vector<std::string>{Msg28()});
    EXPECT_TRUE(r.Exited);
    EXPECT_TRUE(HasLine(r, Msg15()));
    EXPECT_TRUE(HasLine(r, Msg28()));
    EXPECT_NE(WaitForWindowOfClass("TAcmeMainWindow", 10000), nullptr) << "AutoRun did not start acmeui.exe";
    // The group folder, opened in the shell (Wine's explorer names its window after the folder).
    EXPECT_NE(WaitForWindow("ExplorerWClass", GroupName().c_str(), 10000), nullptr) << "the group folder was not opened";
    CloseAutoRunWindow();

    const std::string dir = kInstallDir;
    EXPECT_EQ(FileBytes(dir + "UnInst.Ini"),
              "[Reg]\r\n"
              "RegKey=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool\r\n"
              "\r\n"
              "[Service]\r\n"
              "AcmeSvc=True\r\n"
              "[Common]\r\n"
              "FINDCLASS=TAcmeMainWindow\r\n"
              "ReNameList=acmehook.dll;acmeui.exe\r\n");
    const std::string uninst = SetupResource(gDemoSetup, "UNINST");
    EXPECT_EQ(FileBytes(dir + "kxUnInst.Exe"), uninst);
    EXPECT_EQ(FileBytes(WindowsDir() + "kxUnInst.exe"), uninst);

    // The uninstall entry: the four values first, then the rest and the records.
    const std::string key = kUninstallKey;
    EXPECT_EQ(RegValue(key, "DisplayName"), GroupName());
    EXPECT_EQ(RegValue(key, "UnInstallPath"), dir);
    EXPECT_EQ(RegValue(key, "GrpName"), GroupName());
    EXPECT_EQ(RegValue(key, "UnInstallString"), WindowsDir() + "kxUnInst.exe");
    EXPECT_EQ(RegValue(key, "Publisher"),
              L("\xB0\xAC\xBF\xCB\xC3\xC0\xD3\xD0\xCF\xDE\xB9\xAB\xCB\xBE",
                "\xA6\xE3\xA7J\xAC\xFC\xA6\xB3\xAD\xAD\xA4\xBD\xA5q", "Acme Ltd."));
    EXPECT_EQ(RegValue(key, "InstallLocation"), dir);
    EXPECT_EQ(RegValue(key, "DisplayIcon"), dir + "kxUnInst.Exe");
    EXPECT_EQ(RegValue(key, "NoModify"), "dword:1");
    EXPECT_EQ(RegValue(key, "NoRepair"), "dword:1");
    // The digests of the uninstaller's record files as written (SHA-256): the
    // settings file checked above, and the list by Windows' own provider.
    EXPECT_EQ(RegValue(key, "kxIniSha256"), "6abc31cf19792c730b52b538e41aa3bc1115abe66c206e57f8c1c9295952acef");
    EXPECT_EQ(RegValue(key, "kxListSha256"), Sha256Hex(FileBytes(dir + "INSTFILE.LST")));
    // The payload's files and the uninstaller, in KiB rounded up.
    std::uint64_t bytes = uninst.size();
    for (const std::string& f : {dir + "acmeui.exe", dir + "acmesvc.exe", SystemDir() + "acmehook.dll",
                                 dir + "readme.txt", SystemDir() + "drivers\\acmedisk.sys"})
        bytes += FileBytes(f).size();
    EXPECT_EQ(RegValue(key, "EstimatedSize"), "dword:" + std::to_string((bytes + 1023) / 1024));

    EXPECT_EQ(RegValue("SOFTWARE\\Acme\\Tool", "InstallPath"), dir + "acmeui.exe");
    EXPECT_EQ(Records(key, "kxRegValue"), std::vector<std::string>{"SOFTWARE\\Acme\\Tool;InstallPath"});
    EXPECT_EQ(Records(key, "kxRegKey"), (std::vector<std::string>{"SOFTWARE\\Acme", "SOFTWARE\\Acme\\Tool"}));

    const std::string sys = SystemDir();
    EXPECT_EQ(Records(key, "kxSharedFile"),
              (std::vector<std::string>{sys + "acmehook.dll", sys + "drivers\\acmedisk.sys"}));
    EXPECT_EQ(RegValue(kSharedDllsKey, sys + "acmehook.dll"), "dword:1");
    EXPECT_EQ(RegValue(kSharedDllsKey, sys + "drivers\\acmedisk.sys"), "dword:1");

    const std::string group = ProgramsDir() + GroupName() + "\\";
    const std::string docs = group + L("\xCE\xC4\xB5\xB5", "\xA4\xE5\xA5\xF3", "Docs") + "\\";
    EXPECT_EQ(RegValue(key, "kxGroupDir"), group);
    EXPECT_EQ(Records(key, "kxShortcut"),
              (std::vector<std::string>{group + GroupName() + ".Lnk",
                                        docs + L("\xD7\xD4\xCA\xF6", "\xC5\xAA\xA7\xDA", "Read Me") + ".Lnk",
                                        group + UninstTitle(GroupName()) + ".Lnk"}));
    for (const std::string& link : Records(key, "kxShortcut")) EXPECT_TRUE(Exists(link)) << link;
    // The target directory and its parent that the directory page made first, the
    // group folders last (between them what the copy step made, which depends on
    // the prefix: the shared folder, the system's drivers folder).
    const std::vector<std::string> created = Records(key, "kxCreatedDir");
    ASSERT_GE(created.size(), 4u);
    EXPECT_EQ(std::vector<std::string>(created.begin(), created.begin() + 2),
              (std::vector<std::string>{"C:\\Program Files\\Velmora\\", dir}));
    EXPECT_EQ(std::vector<std::string>(created.end() - 2, created.end()), (std::vector<std::string>{group, docs}));

    // The service: registered by itself with its quoted path, automatic, running.
    TServiceInfo svc = QueryService("AcmeSvc");
    EXPECT_TRUE(svc.Registered);
    EXPECT_EQ(svc.ImagePath, "\"" + dir + "acmesvc.exe\"");
    EXPECT_EQ(svc.StartType, static_cast<DWORD>(SERVICE_AUTO_START));
    EXPECT_EQ(WaitForServiceState("AcmeSvc", SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    EXPECT_EQ(CountLines(FileBytes(dir + "acmesvc.log"), " AcmeSvc started\r\n"), 1);
}

TEST(Registration, InstallAgainKeepsTheRecordsAndOnlyStartsTheService) {
    EnsureInstalled();
    const std::string dir = kInstallDir, windowsCopy = WindowsDir() + "kxUnInst.exe";
    const std::vector<std::string> before = AllRecords(kUninstallKey);
    const std::string log = FileBytes(dir + "acmesvc.log");
    // A newer uninstaller in the Windows directory, from another package, stays.
    CopyOver(gUninstV99, windowsCopy);

    // "/install" would have failed on the registered service with an error box.
    InstallDemoExpectingSuccess();

    EXPECT_EQ(AllRecords(kUninstallKey), before);
    const std::string sys = SystemDir();
    EXPECT_EQ(RegValue(kSharedDllsKey, sys + "acmehook.dll"), "dword:1") << "counted once per installation";
    EXPECT_EQ(FileBytes(windowsCopy), FileBytes(WinPath(gUninstV99)));
    EXPECT_EQ(QueryService("AcmeSvc").ImagePath, "\"" + dir + "acmesvc.exe\"");
    EXPECT_EQ(WaitForServiceState("AcmeSvc", SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    // Stopped before its file was replaced, then started again.
    const std::string after = FileBytes(dir + "acmesvc.log");
    EXPECT_EQ(CountLines(after, " AcmeSvc stopped\r\n"), CountLines(log, " AcmeSvc stopped\r\n") + 1) << after;
    EXPECT_EQ(CountLines(after, " AcmeSvc started\r\n"), CountLines(log, " AcmeSvc started\r\n") + 1) << after;
}

TEST(Registration, ServiceOfAnotherProgramIsUninstalledAndOursWaitsForTheNextRun) {
    EnsureInstalled();
    const std::string dir = kInstallDir, old = "C:\\Old Acme\\", windowsCopy = WindowsDir() + "kxUnInst.exe";
    EXPECT_EQ(RunAndWait("\"" + dir + "acmesvc.exe\" /uninstall /silent", 30000), 0u);
    CreateDirectoryA(old.c_str(), nullptr);
    CopyOver(gServiceProgram, old + "acmesvc.exe");
    ASSERT_EQ(RunAndWait("\"" + old + "acmesvc.exe\" /install /silent", 30000), 0u);
    {
        SC_HANDLE man = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
        SC_HANDLE svc = OpenServiceA(man, "AcmeSvc", SERVICE_START);
        EXPECT_TRUE(StartServiceA(svc, 0, nullptr));
        CloseServiceHandle(svc);
        CloseServiceHandle(man);
    }
    ASSERT_EQ(WaitForServiceState("AcmeSvc", SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    // An uninstaller without a version in the Windows directory is replaced.
    CopyOver(gFailingProgram, windowsCopy);
    // What an unquoted "C:\Old Acme\acmesvc.exe /uninstall /silent" would start
    // instead: a program that removes nothing.
    CopyOver(gFailingProgram, "C:\\Old.exe");

    InstallDemoExpectingSuccess();

    // The old program removed its own registration (the manager no longer knows
    // the service, which deleting the key alone would not do) and its log.
    EXPECT_FALSE(QueryService("AcmeSvc").Registered);
    EXPECT_FALSE(KeyExists("SYSTEM\\CurrentControlSet\\Services\\AcmeSvc"));
    EXPECT_FALSE(Exists(old + "acmesvc.log"));
    EXPECT_EQ(FileBytes(windowsCopy), SetupResource(gDemoSetup, "UNINST"));
}

// The test build of the demo (with a double-byte shortcut folder) while the
// package's program runs: its files in use wait for the restart.
TEST(Registration, RestartNeededAndNoShowsMessage28AndStartsNoProgram) {
    EnsureInstalled(false);
    const std::string windowsCopy = WindowsDir() + "kxUnInst.exe";
    // An older uninstaller in the Windows directory is replaced.
    CopyOver(gUninstV1, windowsCopy);
    TInstallOptions o;
    o.Setup = gSetup;
    o.RestartAnswer = IDNO;
    TInstallResult r;
    {
        TRunningApp app;
        r = Install(o);
    }
    ASSERT_EQ(r.Boxes.size(), 2u) << ::testing::PrintToString(BoxTexts(r));
    EXPECT_EQ(r.Boxes[0].Text, Msg38());
    EXPECT_TRUE(r.Boxes[0].YesNo);
    EXPECT_EQ(r.Boxes[1].Text, Msg28());
    EXPECT_FALSE(r.Boxes[1].YesNo);
    EXPECT_TRUE(r.Exited);
    EXPECT_FALSE(Exists(kRestartMarker));
    EXPECT_EQ(WaitForWindowOfClass("TAcmeMainWindow", 2000), nullptr) << "AutoRun started although a restart is due";
    CloseAutoRunWindow();

    EXPECT_EQ(FileBytes(windowsCopy), FileBytes(WinPath(gUninstV2)));
    // Split at the backslash after the double-byte character, not at its 0x5C byte.
    const std::string link = ProgramsDir() + GroupName() + "\\" + L("\x9C\x5C\xC9\xAB", "\xA5\x5C\xAF\xE0", "Tools") +
                             "\\" + L("\xCB\xB5\xC3\xF7", "\xBB\xA1\xA9\xFA", "Notes") + ".Lnk";
    EXPECT_TRUE(Exists(link)) << link;
    const std::vector<std::string> links = Records(kUninstallKey, "kxShortcut");
    EXPECT_NE(std::find(links.begin(), links.end(), link), links.end());
    // Registered by this run where the run before left no registration.
    TServiceInfo svc = QueryService("AcmeSvc");
    EXPECT_TRUE(svc.Registered);
    EXPECT_EQ(svc.StartType, static_cast<DWORD>(SERVICE_AUTO_START));
}

TEST(Registration, RestartNeededAndYesRestartsWithoutMessage28) {
    EnsureInstalled();
    DeleteFileA(kRestartMarker);
    TInstallOptions o;
    o.Setup = gSetup;
    o.RestartAnswer = IDYES;
    TRunningApp app;
    std::unique_ptr<TSetupProcess> p = StartSetup(o);
    ASSERT_TRUE(ToReady(*p, o));
    TInstallResult r = PressInstall(*p, o);
    ASSERT_EQ(r.Boxes.size(), 1u) << ::testing::PrintToString(BoxTexts(r));
    EXPECT_EQ(r.Boxes[0].Text, Msg38());
    EXPECT_EQ(FileBytes(kRestartMarker), "restart");
    EXPECT_TRUE(r.InstallEnabled) << "the form waits for Windows to restart";

    // Install pressed again while the restart is pending runs every step again;
    // the service file is the same one as before, so the service stays.
    DeleteFileA(kRestartMarker);
    r = PressInstall(*p, o);
    EXPECT_EQ(BoxTexts(r), std::vector<std::string>{Msg38()});
    EXPECT_EQ(FileBytes(kRestartMarker), "restart");
    TServiceInfo svc = QueryService("AcmeSvc");
    EXPECT_EQ(svc.ImagePath, "\"" + std::string(kInstallDir) + "acmesvc.exe\"");
    EXPECT_EQ(WaitForServiceState("AcmeSvc", SERVICE_RUNNING), static_cast<DWORD>(SERVICE_RUNNING));
    CloseAutoRunWindow();
}

TEST(Registration, LitePackageWithoutUninstallerShortcutAndAFailingServiceProgram) {
    const std::string dir = kLiteDir;
    TInstallOptions o;
    o.Setup = gSetupLite;
    o.Dir = dir;
    o.Uncheck = {1};
    TInstallResult r = Install(o);
    ASSERT_EQ(r.Boxes.size(), 2u) << ::testing::PrintToString(BoxTexts(r));
    const std::string error = "\"" + dir + "failsvc.exe\" /install /silent\r\nSystem Error.  Code: 5.\r\n";
    EXPECT_EQ(r.Boxes[0].Text.substr(0, error.size()), error);
    EXPECT_GT(r.Boxes[0].Text.size(), error.size()) << "Windows' own text for the code follows";
    EXPECT_EQ(r.Boxes[1].Text, Msg28()) << "the run goes on after the service's error";
    EXPECT_TRUE(r.Exited);

    EXPECT_EQ(FileBytes(dir + "UnInst.Ini"),
              "[Reg]\r\nRegKey=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeLite\r\n\r\n"
              "[Service]\r\nKxFailSvc=True\r\n");
    EXPECT_EQ(FileBytes(dir + "kxUnInst.Exe"), FileBytes(WinPath(gUninstV2)));
    EXPECT_EQ(RegValue(kLiteKey, "DisplayName"), LiteGroupName());
    EXPECT_EQ(RegValue(kLiteKey, "UnInstallString"), WindowsDir() + "kxUnInst.exe");
    const std::string group = ProgramsDir() + LiteGroupName() + "\\";
    EXPECT_EQ(Records(kLiteKey, "kxShortcut"), std::vector<std::string>{group + LiteGroupName() + ".Lnk"});
    EXPECT_TRUE(Exists(group + LiteGroupName() + ".Lnk"));
    EXPECT_FALSE(Exists(group + UninstTitle(LiteGroupName()) + ".Lnk"));
    EXPECT_FALSE(Exists(group + L("\xB8\xBD\xBC\xD3", "\xAA\xFE\xA5[", "Extras"))) << "a link to an unchecked file";
    EXPECT_FALSE(Exists(dir + "extras.txt"));
    EXPECT_FALSE(QueryService("KxFailSvc").Registered);
    CloseAutoRunWindow();
}

TEST(Registration, UnwritableUninstallKeyEndsTheRunAndEnablesInstallAgain) {
    EnsureInstalled();
    {
        HKEY key = nullptr;
        ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, kUninstallKey, 0, WRITE_DAC, &key), ERROR_SUCCESS);
        PSECURITY_DESCRIPTOR sd = nullptr;
        ASSERT_TRUE(ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)", SDDL_REVISION_1, &sd,
                                                                         nullptr));
        EXPECT_EQ(RegSetKeySecurity(key, DACL_SECURITY_INFORMATION, sd), ERROR_SUCCESS);
        LocalFree(sd);
        RegCloseKey(key);
    }
    TInstallOptions o;
    o.Setup = gDemoSetup;
    TInstallResult r = Install(o);
    EXPECT_EQ(BoxTexts(r), std::vector<std::string>{"Failed to set data for 'DisplayName'\r\n\r\n" + MsgRunUndone()});
    EXPECT_FALSE(r.Exited);
    EXPECT_TRUE(r.InstallEnabled);
    EXPECT_FALSE(HasLine(r, Msg28()));
    CloseAutoRunWindow();
}

// The process that started the one of pid, and the file name of that one.
std::string ParentProcessName(DWORD pid) {
    DWORD parent = 0;
    std::string name;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap == INVALID_HANDLE_VALUE) return name;
    PROCESSENTRY32 pe{};
    pe.dwSize = sizeof pe;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        if (pe.th32ProcessID == pid) parent = pe.th32ParentProcessID;
    for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
        if (parent && pe.th32ProcessID == parent) name = pe.szExeFile;
    CloseHandle(snap);
    return name;
}

// Whether the desktop's Explorer offers its ShellWindows object within ms. A
// Wine session started under heavy load now and then has an Explorer whose
// registration of it failed, and it stays without one.
bool DesktopShellWindowsReachable(int ms) {
    CoInitialize(nullptr);
    bool reachable = false;
    for (int waited = 0; !reachable && waited < ms; waited += 100) {
        IUnknown* windows = nullptr;
        reachable = SUCCEEDED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IUnknown,
                                               reinterpret_cast<void**>(&windows)));
        if (windows) windows->Release();
        if (!reachable) Sleep(100);
    }
    CoUninitialize();
    return reachable;
}

// The program started at the end runs with the rights of the user logged on: on
// Windows Vista and later (the setup elevated by its manifest) the desktop's
// Explorer starts it, and when that Explorer cannot be reached it is not
// started at all rather than with the setup's rights; on older Windows the
// setup opens it as before.
TEST(Finish, AutoRunStartsWithTheRightsOfTheUserLoggedOn) {
    OSVERSIONINFOA vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    GetVersionExA(&vi);
    const bool elevated = vi.dwMajorVersion >= 6;
    const bool shellReachable = !elevated || DesktopShellWindowsReachable(20000);
    TInstallOptions o;
    o.Setup = gDemoSetup;
    TInstallResult r = Install(o);
    EXPECT_EQ(BoxTexts(r), std::vector<std::string>{Msg28()});
    if (!shellReachable) {
        std::printf("this session's Explorer has no ShellWindows: the program must not be started\n");
        EXPECT_EQ(WaitForWindowOfClass("TAcmeMainWindow", 5000), nullptr)
            << "AutoRun started acmeui.exe with the setup's rights";
        CloseAutoRunWindow();
        return;
    }
    HWND program = WaitForWindowOfClass("TAcmeMainWindow", 10000);
    ASSERT_NE(program, nullptr) << "AutoRun did not start acmeui.exe";
    DWORD pid = 0;
    GetWindowThreadProcessId(program, &pid);
    const std::string parent = ParentProcessName(pid);
    if (elevated)
        EXPECT_EQ(lstrcmpiA(parent.c_str(), "explorer.exe"), 0) << parent;
    else
        EXPECT_NE(lstrcmpiA(parent.c_str(), "explorer.exe"), 0) << parent;
    CloseAutoRunWindow();
}

// Run alone, in a prefix of its own: the real setup's restart ends this Wine
// session, this driver with it; check-restart.py looks at the prefix afterwards.
TEST(RealRestart, YesEndsTheWineSession) {
    const std::string dir = kInstallDir;
    CreateDirectoryA("C:\\Program Files\\Velmora", nullptr);
    CreateDirectoryA(dir.c_str(), nullptr);
    WriteBytes(dir + "acmeui.exe", "an older build");
    WriteBytes(SystemDir() + "acmehook.dll", "an older hook");
    TRunningApp app;
    TInstallOptions o;
    o.Setup = gDemoSetup;
    std::unique_ptr<TSetupProcess> p = StartSetup(o);
    ASSERT_TRUE(ToReady(*p, o));
    p->ClickAsync(idBtnNext);
    HWND box = p->WaitForBox(120000);
    ASSERT_NE(box, nullptr);
    ASSERT_EQ(TSetupProcess::BoxText(box), Msg38());
    WriteBytes("C:\\kx-restart-answered.txt", "Yes");
    p->Answer(box, IDYES);
    Sleep(30000);
    FAIL() << "the session outlived the restart";
}

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    TakeOptions(argc, argv, {
        {"--demo-setup=", &gDemoSetup},
        {"--setup=", &gSetup},
        {"--setup-lite=", &gSetupLite},
        {"--service-program=", &gServiceProgram},
        {"--failing-program=", &gFailingProgram},
        {"--uninst-v1=", &gUninstV1},
        {"--uninst-v2=", &gUninstV2},
        {"--uninst-v99=", &gUninstV99},
    });
    return RUN_ALL_TESTS();
}
