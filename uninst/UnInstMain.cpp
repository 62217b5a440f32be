// The uninstaller's entry. Started by the user (the program group's shortcut,
// which starts the Windows folder's copy with the target folder; or the system's
// list through the Windows folder's copy), it finds what to remove, copies itself
// into a new private folder under the temporary folder and starts that copy,
// which does the work once this process has ended: then the target folder's and
// the Windows folder's copies can be deleted at once on every Windows, and only
// the temporary copy waits for the next start.
#include <string>
#include <vector>

#include "app/PackageId.h"
#include "base/Format.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"
#include "sys/FileSecurity.h"
#include "sys/Files.h"
#include "sys/Handles.h"
#include "sys/NamedLock.h"
#include "sys/Paths.h"
#include "sys/SystemLibrary.h"
#include "sys/Win32.h"
#include "uninst/UninstSystem.h"
#include "uninst/untUnInstFM.h"

namespace {

using namespace kx;

// "<program> /KXSECONDPHASE <handle of the first phase's process> "<program the user started>" ["<target folder>"]"
const char kSecondPhase[] = "/KXSECONDPHASE";

struct TStart {
    std::string OwnPath;         // the program the user started
    std::string TargetDir;       // the folder named on the command line, if any
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
    if ((args.size() == 3 || args.size() == 4) && args[0] == kSecondPhase) {
        UINT_PTR handle = 0;
        for (char c : args[1]) handle = c >= '0' && c <= '9' ? handle * 10 + static_cast<UINT_PTR>(c - '0') : 0;
        start.FirstPhase = reinterpret_cast<HANDLE>(handle);
        start.OwnPath = args[2];
        if (args.size() == 4) start.TargetDir = args[3];
    } else if (args.size() == 1) {
        start.TargetDir = args[0];
    }
    return start;
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// Starts the second phase from a copy in a new folder of its own under the
// temporary folder, where nobody can have put a DLL beside it; false when it
// could not, and this process is to do the work itself.
bool StartSecondPhase(const TStart& start) {
    const std::string dir = CreatePrivateFolder(GetTempDir(), "kxUn");
    if (dir.empty()) return false;
    const std::string copy = dir + "kxUnInst.exe";
    auto giveUp = [&] {
        DeleteFileA(copy.c_str());
        RemoveDirectoryA(dir.c_str());
        return false;
    };
    if (!CopyFileA(GetProgramFileName().c_str(), copy.c_str(), TRUE)) return giveUp();
    HANDLE self = nullptr;
    if (!DuplicateHandle(GetCurrentProcess(), GetCurrentProcess(), GetCurrentProcess(), &self, SYNCHRONIZE, TRUE, 0))
        return giveUp();
    TKernelHandle selfOwner(self);
    std::string cmd = Format("%s %s %u %s", Quoted(copy), kSecondPhase,
                             static_cast<unsigned>(reinterpret_cast<UINT_PTR>(self)), Quoted(start.OwnPath));
    // A folder's trailing backslash would escape the closing quote.
    if (!start.TargetDir.empty()) cmd += " " + Quoted(RemoveTrailingBackslash(start.TargetDir));
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    // Its own folder is its working folder: no process may keep the target folder in use.
    if (!CreateProcessA(copy.c_str(), cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, dir.c_str(), &si, &pi))
        return giveUp();
    CloseHandle(pi.hThread);
    CloseHandle(pi.hProcess);
    return true;
}

void ShowBox(unsigned message, const std::string& arg = std::string()) {
    const std::string text = arg.empty() ? GetSetupMsg(message) : Format(GetSetupMsg(message), arg);
    MessageBoxA(nullptr, text.c_str(), GetSetupMsg(msgUninstall).c_str(), MB_OK | MB_ICONERROR);
}

int RunForm(HINSTANCE instance, std::vector<TLoadedInstallation> installations, TNamedLock& lock) {
    RegisterUnInstClasses(instance);
    TUnInstFM form(instance, std::move(installations), GetProgramFileName(), lock);
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
        bool changed = false;
        for (const TInstallation& where : FindInstallations(start.OwnPath, start.TargetDir, places)) {
            TLoadedInstallation inst;
            std::string changedFile;
            switch (LoadInstallation(where, places, inst, changedFile)) {
            case TLoadOutcome::Loaded:
                loaded.push_back(std::move(inst));
                break;
            case TLoadOutcome::RecordsChanged:
                ShowBox(msgRecordsChanged, changedFile);
                changed = true;
                break;
            case TLoadOutcome::Unknown:
                break;
            }
        }
        // One setup or uninstall of a package at a time: with one installation
        // its lock is taken at once (and only looked at by the first phase);
        // with several, when the user has chosen.
        TNamedLock lock;
        const std::string lockName =
            loaded.size() == 1 ? PackageMutexName(loaded.front().Where.RegKey, IsNTFamily()) : std::string();
        if (loaded.empty()) {
            if (!changed) ShowBox(msgUninstallFailed);
        } else if (!lockName.empty() && (start.FirstPhase ? !lock.TryAcquire(lockName) : NamedLockIsTaken(lockName))) {
            ShowBox(msgSetupRunning, GroupNameOf(loaded.front()));
        } else if (!start.FirstPhase && StartSecondPhase(start)) {
            rc = 0;
        } else if (!lockName.empty() && !lock.Held() && !lock.TryAcquire(lockName)) {
            ShowBox(msgSetupRunning, GroupNameOf(loaded.front()));
        } else {
            rc = RunForm(instance, std::move(loaded), lock);
        }
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, e.what(), GetSetupMsg(msgUninstall).c_str(), MB_OK | MB_ICONERROR);
    }
    // The temporary copy cannot delete itself while it runs; its folder goes after it.
    if (start.FirstPhase) {
        const std::string own = GetProgramFileName();
        ScheduleDeleteAtRestart(own);
        ScheduleDeleteAtRestart(ExtractFileDir(own));
    }
    return rc;
}
