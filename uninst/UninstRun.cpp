// The uninstaller's run: services, files, shortcuts, registry, its own files,
// folders and the Windows folder's copy, in that order.
#include "uninst/UninstRun.h"

#include <algorithm>

#include "app/InstallSafety.h"
#include "app/RegistrationRules.h"
#include "base/Format.h"
#include "base/Text.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"
#include "sys/Files.h"
#include "sys/FilesInUse.h"
#include "sys/Handles.h"
#include "sys/Paths.h"
#include "sys/Process.h"
#include "sys/ServiceControl.h"
#include "sys/ServiceState.h"
#include "sys/Win32.h"

#include <shlwapi.h>

namespace kx {

namespace {

constexpr int kServiceStopSeconds = 15;
// A program that has just ended (a stopped service, the first phase of this
// program) may hold its file a moment longer.
constexpr int kDeleteAttempts = 5;
constexpr DWORD kDeleteRetryMs = 200;

bool KeyIsEmpty(HKEY root, const std::string& key) {
    TRegKey k;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, k.Put()) != ERROR_SUCCESS) return false;
    DWORD subKeys = 0, values = 0;
    return RegQueryInfoKeyA(k.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr,
                            nullptr, nullptr, nullptr) == ERROR_SUCCESS &&
           subKeys == 0 && values == 0;
}

void DeleteValue(const std::string& key, const std::string& name) {
    TRegKey k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, k.Put()) == ERROR_SUCCESS)
        RegDeleteValueA(k.Get(), name.c_str());
}

// The entries of a folder, "." and ".." left out.
std::vector<WIN32_FIND_DATAA> Entries(const std::string& dir) {
    std::vector<WIN32_FIND_DATAA> found;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return found;
    do {
        if (std::string(fd.cFileName) != "." && std::string(fd.cFileName) != "..") found.push_back(fd);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return found;
}

// The folder and the folders below it that are empty once their own empty
// folders are gone; nothing else. Links to other places are not followed.
void RemoveEmptyTree(const std::string& dir) {
    for (const WIN32_FIND_DATAA& fd : Entries(dir))
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT))
            RemoveEmptyTree(dir + fd.cFileName + "\\");
    RemoveDirectoryA(dir.c_str());
}

} // namespace

TUninstRun::TUninstRun(const TUninstPlan& plan, const TUninstUi& ui, std::string runningPath)
    : FPlan(plan), FUi(ui), FRunningPath(std::move(runningPath)), FCodePage(ActiveCodePage()) {}

void TUninstRun::Step() {
    ++FDone;
    FUi.SetProgress(FDone >= FTotal ? 100 : FDone * 100 / FTotal);
}

void TUninstRun::StopServices() {
    for (const std::string& name : FPlan.Services) {
        FUi.AddLine(Format(GetSetupMsg(msgStoppingService), name));
        if (!GetServiceImagePath(name).empty()) {
            if (ServiceNotRunningReason(name) == 0) FWasRunning.push_back(name);
            StopService(name, kServiceStopSeconds);
        }
        Step();
    }
    // The package's own service (its program in the target folder) unregisters
    // itself; what it leaves of its registration goes too. Others stay registered.
    for (const std::string& name : FPlan.Services) {
        const std::string image = GetServiceImagePath(name);
        if (image.empty()) continue;
        const std::string program = ServiceProgramOf(image, FileExists);
        if (!IsInsideWinDir(program, FPlan.TargetDir, FCodePage)) continue;
        if (FileExists(program)) RunAndWait(ExtractFilePath(program), "\"" + program + "\" /uninstall /silent");
        if (!GetServiceImagePath(name).empty()) RemoveServiceRegistration(name);
    }
}

bool TUninstRun::Reachable(const std::string& path) {
    // Below the target folder or the program group every component is looked
    // at; elsewhere (the system's folders, which ordinary users cannot change)
    // the path itself.
    std::string base = path;
    if (IsInsideWinDir(path, FPlan.TargetDir, FCodePage))
        base = FPlan.TargetDir;
    else if (!FPlan.GroupDir.empty() &&
             (SameWinPath(path, FPlan.GroupDir, FCodePage) || IsInsideWinDir(path, FPlan.GroupDir, FCodePage)))
        base = WinParentDir(FPlan.GroupDir, FCodePage);
    const std::string link = FirstReparsePoint(
        path, base,
        [](const std::string& p) -> std::optional<std::uint32_t> {
            const std::int32_t attr = FileGetAttr(p);
            if (attr == -1) return std::nullopt;
            return static_cast<std::uint32_t>(attr);
        },
        FCodePage);
    if (link.empty()) return true;
    if (FLinksReported.insert(UpperCase(link)).second) FUi.AddLine(Format(GetSetupMsg(msgLinkRefused), link));
    return false;
}

bool TUninstRun::TryDelete(const std::string& path) {
    SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    for (int attempt = 0; attempt < kDeleteAttempts; ++attempt) {
        if (DeleteFileA(path.c_str()) || FileGetAttr(path) == -1) return true;
        Sleep(kDeleteRetryMs);
    }
    return false;
}

bool TUninstRun::HeldByApplication(const std::string& path) const {
    if (!TopLevelWindowExists(FPlan.FindClass)) return false;
    const std::string name = WinFileName(path, FCodePage);
    return std::any_of(FPlan.ReNameList.begin(), FPlan.ReNameList.end(),
                       [&](const std::string& n) { return SameText(n, name); });
}

void TUninstRun::Delete(const std::string& path, bool package) {
    if (FileGetAttr(path) == -1 || !Reachable(path)) return;
    if (HeldByApplication(path) || !TryDelete(path)) FBusy.push_back({path, package});
}

void TUninstRun::Schedule(const std::string& path, bool package) {
    if (!ScheduleDeleteAtRestart(path)) return;
    FScheduled.push_back(path);
    if (package) FNeedReboot = true;
}

// Files in use: the user may close the program and retry; what is still in use
// afterwards goes at the next start.
void TUninstRun::SettleBusyFiles() {
    while (!FBusy.empty()) {
        const int answer = FUi.Ask(Format(GetSetupMsg(msgDeletingFile), FBusy.front().Path),
                                   MB_RETRYCANCEL | MB_ICONWARNING);
        std::vector<TBusyFile> busy;
        busy.swap(FBusy);
        for (const TBusyFile& b : busy) {
            if (answer == IDRETRY)
                Delete(b.Path, b.Package);
            else
                Schedule(b.Path, b.Package);
        }
    }
}

void TUninstRun::DeleteFiles() {
    auto deleteFile = [this](const std::string& path) {
        if (FileGetAttr(path) != -1 && !(FileGetAttr(path) & FILE_ATTRIBUTE_DIRECTORY) && Reachable(path)) {
            FUi.AddLine(Format(GetSetupMsg(msgDeletingFile), path));
            Delete(path, true);
        }
    };
    std::vector<TSharedFileRecord> shared;
    for (const TPlannedFile& f : FPlan.Files) {
        if (f.Shared) {
            shared.push_back({f.Path, f.Record});
            continue;
        }
        deleteFile(f.Path);
        Step();
    }
    // Another installation's count keeps a shared file; a file nobody counts any
    // more is not ours to judge.
    TRegistrySharedCounts counts(FPlan.EntryKey);
    ReleaseSharedFiles(counts, shared, [&](const std::string& path, TSharedRelease outcome) {
        if (outcome == TSharedRelease::LastUser) deleteFile(path);
        Step();
    });
    SettleBusyFiles();
}

void TUninstRun::DeleteShortcuts() {
    FUi.AddLine(GetSetupMsg(msgDeletingGroups));
    for (const std::string& link : FPlan.Shortcuts) {
        if (FileExists(link) && Reachable(link) && !TryDelete(link)) Schedule(link, false);
        Step();
    }
    if (!FPlan.GroupDir.empty() && DirectoryExists(FPlan.GroupDir) && Reachable(FPlan.GroupDir))
        RemoveEmptyTree(FPlan.GroupDir);
}

void TUninstRun::ClearRegistry() {
    FUi.AddLine(GetSetupMsg(msgClearRegistry));
    for (const TPlannedRegValue& v : FPlan.RegValues) DeleteValue(v.Key, v.Name);
    for (const std::string& key : FPlan.RegKeys)
        if (KeyIsEmpty(HKEY_LOCAL_MACHINE, key)) RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str());
    if (FPlan.DeleteEntryTree) {
        SHDeleteKeyA(HKEY_LOCAL_MACHINE, FPlan.EntryKey.c_str());
    } else {
        for (const std::string& name : FPlan.EntryValues) DeleteValue(FPlan.EntryKey, name);
        if (KeyIsEmpty(HKEY_LOCAL_MACHINE, FPlan.EntryKey)) RegDeleteKeyA(HKEY_LOCAL_MACHINE, FPlan.EntryKey.c_str());
    }
    Step();
}

// The uninstaller and its records go after everything else, so that a run cut
// short can be run again.
void TUninstRun::DeleteOwnFiles() {
    std::vector<std::string> own{FPlan.Uninstaller};
    own.insert(own.end(), FPlan.RecordFiles.begin(), FPlan.RecordFiles.end());
    for (const std::string& path : own) {
        if (!FileExists(path) || !Reachable(path)) continue;
        FUi.AddLine(Format(GetSetupMsg(msgDeletingFile), path));
        if (SameFile(path, FRunningPath) || !TryDelete(path)) Schedule(path, false);
    }
    Step();
}

bool TUninstRun::EmptyButScheduled(const std::string& dir) const {
    for (const WIN32_FIND_DATAA& fd : Entries(dir)) {
        std::string path = dir + fd.cFileName;
        if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) path += "\\";
        const bool scheduled = std::any_of(FScheduled.begin(), FScheduled.end(),
                                           [&](const std::string& s) { return SameWinPath(s, path, FCodePage); });
        if (!scheduled) return false;
    }
    return true;
}

void TUninstRun::RemoveDirectories() {
    for (const std::string& dir : FPlan.Dirs) {
        if (!DirectoryExists(dir) || !Reachable(dir) || RemoveDirectoryA(dir.c_str())) continue;
        // Only the NT family deletes folders at the next start.
        if (IsNTFamily() && EmptyButScheduled(dir)) Schedule(dir, false);
    }
    Step();
}

void TUninstRun::DeleteWindowsCopy() {
    const std::string& copy = FPlan.WindowsCopy;
    if (copy.empty() || !FileExists(copy) || OtherEntryNames(copy, FPlan.EntryKey) || !Reachable(copy)) return;
    if (SameFile(copy, FRunningPath) || !TryDelete(copy)) Schedule(copy, false);
}

void TUninstRun::RestartServices() {
    for (const std::string& name : FWasRunning)
        if (!GetServiceImagePath(name).empty()) StartService(name, kServiceStopSeconds);
}

void TUninstRun::Run() {
    FDone = 0;
    FTotal = static_cast<int>(FPlan.Services.size() + FPlan.Files.size() + FPlan.Shortcuts.size()) + 3;
    CheckEntryCanBeRemoved(FPlan.EntryKey);
    StopServices();
    DeleteFiles();
    DeleteShortcuts();
    ClearRegistry();
    DeleteOwnFiles();
    RemoveDirectories();
    DeleteWindowsCopy();
    RestartServices();
    FUi.SetProgress(100);
    FUi.AddLine(GetSetupMsg(msgUninstallOk));
}

} // namespace kx
