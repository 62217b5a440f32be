// The uninstaller's entry. Started by the user (the program group's shortcut in
// the target folder, or the system's list through the Windows folder's copy), it
// finds what to remove, copies itself to the temporary folder and starts that
// copy, which does the work once this process has ended: then the target
// folder's and the Windows folder's copies can be deleted at once on every
// Windows, and only the temporary copy waits for the next start.
#include <string>
#include <vector>

#include "base/Format.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"
#include "sys/Files.h"
#include "sys/Handles.h"
#include "sys/Paths.h"
#include "sys/SystemLibrary.h"
#include "sys/Win32.h"
#include "uninst/UninstSystem.h"
#include "uninst/untUnInstFM.h"

namespace {

using namespace kx;

// "<program> /KXSECONDPHASE <handle of the first phase's process> "<program the user started>""
const char kSecondPhase[] = "/KXSECONDPHASE";

struct TStart {
    std::string OwnPath;       // the program the user started
    HANDLE FirstPhase = nullptr; // in the second phase: the first phase's process
};

// The arguments after the program name, with quotes removed.
std::vector<std::string> Arguments() {
    std::vector<std::string> args;
    const char* p = GetCommandLineA();
    bool first = true;
    while (*p) {
        while (*p == ' ' || *p == '\t') ++p;
        if (!*p) break;
        std::string arg;
        bool quoted = false;
        while (*p && (quoted || (*p != ' ' && *p != '\t'))) {
            if (*p == '"')
                quoted = !quoted;
            else
                arg += *p;
            ++p;
        }
        if (!first) args.push_back(arg);
        first = false;
    }
    return args;
}

TStart ReadStart() {
    TStart start;
    start.OwnPath = GetProgramFileName();
    const std::vector<std::string> args = Arguments();
    if (args.size() == 3 && args[0] == kSecondPhase) {
        UINT_PTR handle = 0;
        for (char c : args[1]) handle = c >= '0' && c <= '9' ? handle * 10 + static_cast<UINT_PTR>(c - '0') : 0;
        start.FirstPhase = reinterpret_cast<HANDLE>(handle);
        start.OwnPath = args[2];
    }
    return start;
}

// A name in the temporary folder that nothing has yet.
std::string FreeTempName() {
    const std::string dir = GetTempDir();
    for (int i = 9999; i >= 0; --i) {
        std::string name = Format("%skxUn%4.4d.exe", dir, i);
        if (GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES) return name;
    }
    return std::string();
}

// Starts the second phase from a copy in the temporary folder; false when it
// could not, and this process is to do the work itself.
bool StartSecondPhase(const std::string& ownPath) {
    const std::string copy = FreeTempName();
    if (copy.empty() || !CopyFileA(GetProgramFileName().c_str(), copy.c_str(), TRUE)) return false;
    HANDLE self = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0)) {
        DeleteFileA(copy.c_str());
        return false;
    }
    TKernelHandle selfOwner(self);
    std::string cmd = Format("\"%s\" %s %u \"%s\"", copy, kSecondPhase,
                             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(self)), ownPath);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // The temporary folder is its working folder: no process may keep the target folder in use.
    const std::string workDir = GetTempDir();
    if (!CreateProcessA(copy.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, workDir.c_str(), &si, &pi)) {
        DeleteFileA(copy.c_str());
        return false;
    }
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

void ShowFailure() {
    MessageBoxA(nullptr, GetSetupMsg(msgUninstallFailed).c_str(), GetSetupMsg(msgUninstall).c_str(),
                MB_OK | MB_ICONERROR);
}

int RunForm(HINSTANCE instance, std::vector<TLoadedInstallation> installations) {
    RegisterUnInstClasses(instance);
    TUnInstFM form(instance, std::move(installations), GetProgramFileName());
    form.Show();
    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
        if (form.Handle() && IsDialogMessageA(form.Handle(), &msg)) continue;
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return 0;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    InitDllSafety();
    InitLanguage(GetThreadLocale());
    const TStart start = ReadStart();
    if (start.FirstPhase) {
        WaitForSingleObject(start.FirstPhase, 30000);
        CloseHandle(start.FirstPhase);
    }
    int rc = 1;
    try {
        const TUninstPlaces places = GetSystemPlaces();
        std::vector<TLoadedInstallation> loaded;
        for (const TInstallation& where : FindInstallations(start.OwnPath, places)) {
            TLoadedInstallation inst;
            if (LoadInstallation(where, places, inst)) loaded.push_back(std::move(inst));
        }
        if (loaded.empty()) {
            ShowFailure();
        } else if (!start.FirstPhase && StartSecondPhase(start.OwnPath)) {
            rc = 0;
        } else {
            rc = RunForm(instance, std::move(loaded));
        }
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, e.what(), GetSetupMsg(msgUninstall).c_str(), MB_OK | MB_ICONERROR);
    }
    // The temporary copy cannot delete itself while it runs.
    if (start.FirstPhase) ScheduleDeleteAtRestart(GetProgramFileName());
    return rc;
}
