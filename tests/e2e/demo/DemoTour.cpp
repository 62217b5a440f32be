// The demo without a display: walks the demo package's setup.exe through its
// four pages, installs into the suggested folder, shows what the installation
// made, removes it with the uninstaller the program group points at, and
// compares the machine with what it was before. Screenshots of the pages go to
// the folder given with --out. Exit status 0 when every check held.
//   demo_tour.exe --setup=SETUP.EXE [--out=DIR]
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../setup/SetupDriver.h"
#include "../uninst/UninstWorld.h"
#include "app/SetupControlIds.h"
#include "uninst/UnInstControlIds.h"

using namespace kx;
using namespace kxe2e;

namespace {

const char kEntry[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool";
const char kServiceKey[] = "SYSTEM\\CurrentControlSet\\Services\\AcmeSvc";
const char kAutoRegKey[] = "SOFTWARE\\Acme\\Tool";

std::string gSetup, gOut;
int gFailures = 0;

void Say(const std::string& text) {
    std::printf("%s\n", text.c_str());
    std::fflush(stdout);
}

void Check(bool ok, const std::string& what) {
    Say(std::string(ok ? "  ok    " : "  FAIL  ") + what);
    if (!ok) ++gFailures;
}

void CloseAndWait(HWND w) {
    DWORD pid = 0;
    GetWindowThreadProcessId(w, &pid);
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    PostMessageA(w, WM_CLOSE, 0, 0);
    if (process) {
        WaitForSingleObject(process, 10000);
        CloseHandle(process);
    }
}

void CloseFolderWindows() {
    while (HWND w = FindWindowA("ExplorerWClass", nullptr)) {
        CloseAndWait(w);
        if (IsWindow(w)) break;
    }
}

HWND WaitForWindow(const char* cls, int ms) {
    for (int t = 0; t <= ms; t += 100, Sleep(100))
        if (HWND w = FindWindowA(cls, nullptr)) return w;
    return nullptr;
}


// The program's window, with the message box that it shows. At the end of the
// setup the program group's folder window and the program that the run starts
// open over both: they step aside for the picture.
void Snap(TSetupProcess& p, const std::string& name, HWND box = nullptr) {
    if (gOut.empty()) return;
    CreateDirectoryA(WinPath(gOut).c_str(), nullptr);
    const std::string path = gOut + "/" + name + ".bmp";
    if (box) {
        CloseFolderWindows();
        if (HWND program = WaitForWindow("TAcmeMainWindow", p.Form() && FindWindowA("TSetupFM", nullptr) ? 5000 : 0))
            ShowWindow(program, SW_HIDE);
    }
    if (box) Sleep(500);
    if (p.SaveScreenshot(path))
        Say("  screenshot " + path);
}

// Answers every box of a program until it ends: Cancel to Retry/Cancel, No to a
// question, OK otherwise. The texts of the boxes, in order.
std::vector<std::string> AnswerUntilEnd(TSetupProcess& p, TSetupProcess* shotOf = nullptr, const char* shot = nullptr) {
    std::vector<std::string> boxes;
    while (p.Running()) {
        HWND box = p.WaitForBox(120000);
        if (!box) break;
        if (shotOf && shot && boxes.empty()) Snap(*shotOf, shot, box);
        boxes.push_back(TSetupProcess::BoxText(box));
        const int answer = GetDlgItem(box, IDRETRY) ? IDCANCEL : GetDlgItem(box, IDYES) ? IDNO : IDOK;
        PostMessageA(box, WM_COMMAND, MAKEWPARAM(answer, BN_CLICKED), reinterpret_cast<LPARAM>(GetDlgItem(box, answer)));
        for (int t = 0; t < 10000 && IsWindow(box); t += 50) Sleep(50);
    }
    p.WaitForExit(30000);
    return boxes;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find("\r\n", start);
        if (end == std::string::npos) end = text.size();
        if (end > start) lines.push_back(text.substr(start, end - start));
        start = end + 2;
    }
    return lines;
}

bool ServiceRunning(const char* name) {
    SC_HANDLE man = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!man) return false;
    SC_HANDLE service = OpenServiceA(man, name, SERVICE_QUERY_STATUS);
    SERVICE_STATUS status{};
    const bool running = service && QueryServiceStatus(service, &status) && status.dwCurrentState == SERVICE_RUNNING;
    if (service) CloseServiceHandle(service);
    CloseServiceHandle(man);
    return running;
}

bool IsNT() {
    OSVERSIONINFOA vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    GetVersionExA(&vi);
    return vi.dwPlatformId == VER_PLATFORM_WIN32_NT;
}

// Page by page into the suggested folder; the folder the wizard suggested.
std::string Install() {
    Say("Installing with " + WinPath(gSetup));
    TSetupProcess p(gSetup);
    if (!p.WaitForForm()) {
        Check(false, "the wizard appears");
        return {};
    }
    Snap(p, "1-licence");
    p.Click(idBtnCancel);
    Check(p.Page() == 1, "Agree leads to the setup type and components");
    Snap(p, "2-components");
    p.Click(idBtnNext);
    const std::string dir = p.Text(idEdtInstallPath);
    Check(p.Page() == 2 && !dir.empty(), "Next suggests the folder " + dir);
    Snap(p, "3-directory");
    p.Click(idBtnNext);
    Check(p.Page() == 3, "Next leads to the Install page");
    Snap(p, "4-ready");
    p.ClickAsync(idBtnNext);
    const std::vector<std::string> boxes = AnswerUntilEnd(p, &p, "5-installed");
    Check(boxes.size() == 1, "Install runs to its final message");
    Check(!p.Running(), "the final message ends the setup");
    // What the end of the run opened: the program group and the AutoRun program.
    CloseFolderWindows();
    HWND program = WaitForWindow("TAcmeMainWindow", 10000);
    Check(program != nullptr, "the setup started acmeui.exe (AutoRun)");
    if (program) CloseAndWait(program);
    return dir;
}

void ShowInstallation(const std::string& dir) {
    Say("What the installation made");
    const std::vector<std::string> files = Lines(ReadText(dir + "INSTFILE.LST"));
    Check(!files.empty(), dir + "INSTFILE.LST lists the files written");
    for (const std::string& f : files) Check(Exists(f), "file " + f);
    Check(Exists(dir + "kxUnInst.Exe"), "the uninstaller " + dir + "kxUnInst.Exe");
    Check(RegText(HKEY_LOCAL_MACHINE, kEntry, "UnInstallPath") == dir,
          std::string("uninstall entry HKLM\\") + kEntry + " (\"" + RegText(HKEY_LOCAL_MACHINE, kEntry, "DisplayName") +
              "\")");
    Check(Exists(RegText(HKEY_LOCAL_MACHINE, kEntry, "UnInstallString")),
          "the system's list starts " + RegText(HKEY_LOCAL_MACHINE, kEntry, "UnInstallString"));
    Check(RegText(HKEY_LOCAL_MACHINE, kAutoRegKey, "InstallPath") == dir + "acmeui.exe",
          std::string("HKLM\\") + kAutoRegKey + " InstallPath = " + RegText(HKEY_LOCAL_MACHINE, kAutoRegKey, "InstallPath"));
    for (int i = 0;; ++i) {
        const std::string link = RegText(HKEY_LOCAL_MACHINE, kEntry, "kxShortcut" + std::to_string(i));
        if (link.empty()) break;
        Check(Exists(link), "shortcut " + link);
    }
    if (IsNT()) {
        Check(ServiceRunning("AcmeSvc"), "service AcmeSvc registered as " +
                                             RegText(HKEY_LOCAL_MACHINE, kServiceKey, "ImagePath") + " and running");
        Check(Exists(dir + "acmesvc.log"), "the service wrote " + dir + "acmesvc.log");
    }
}

void Uninstall(const std::string& dir) {
    // What the program group's uninstall shortcut starts: the Windows folder's
    // copy, told of the target folder.
    char windows[MAX_PATH] = {};
    GetWindowsDirectoryA(windows, MAX_PATH);
    const std::string command =
        "\"" + std::string(windows) + "\\kxUnInst.exe\" \"" + dir.substr(0, dir.size() - 1) + "\"";
    Say("Removing with " + command + " (the program group's uninstall shortcut)");
    // The uninstaller goes on from a copy in a folder of its own under the
    // temporary folder, so that it can remove itself and its folder; the window
    // belongs to that copy.
    Check(RunWait(command, 30000) == 0, "the uninstaller starts");
    std::unique_ptr<TSetupProcess> p = TSetupProcess::Attach(kUnInstFormClass);
    if (!p) {
        Check(false, "the uninstaller's window appears");
        return;
    }
    Snap(*p, "6-uninstaller");
    p->ClickAsync(idUnBtnUnInstall);
    const std::vector<std::string> boxes = AnswerUntilEnd(*p, p.get(), "7-uninstalled");
    Check(boxes.size() == 1, "UnInstall runs to its final message");
}

void ShowRemoval(const std::string& dir) {
    Say("What is left");
    Check(!Exists(dir), dir + " is gone");
    Check(!RegKeyExists(HKEY_LOCAL_MACHINE, kEntry), "the uninstall entry is gone");
    Check(!RegKeyExists(HKEY_LOCAL_MACHINE, kAutoRegKey), std::string("HKLM\\") + kAutoRegKey + " is gone");
    Check(!RegKeyExists(HKEY_LOCAL_MACHINE, kServiceKey), "the service AcmeSvc is gone");
}

} // namespace

int main(int argc, char** argv) {
    TakeOptions(argc, argv, {{"--setup=", &gSetup}, {"--out=", &gOut}});
    if (gSetup.empty()) {
        Say("usage: demo_tour.exe --setup=SETUP.EXE [--out=DIR]");
        return 2;
    }
    const TSnapshot before = TakeSnapshot();
    const std::string dir = Install();
    if (!dir.empty()) {
        ShowInstallation(dir);
        Uninstall(dir);
        ShowRemoval(dir);
        const std::vector<std::string> diff = SnapshotDiff(before, TakeSnapshot());
        Check(diff.empty(), "files and registry as they were before the installation");
        for (std::size_t i = 0; i < diff.size() && i < 20; ++i) Say("        " + diff[i]);
    }
    Say(gFailures ? "The demo found " + std::to_string(gFailures) + " problem(s)." : "The demo ran as it should.");
    return gFailures ? 1 : 0;
}
