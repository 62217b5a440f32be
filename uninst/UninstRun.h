// TUninstRun: carries out an installation's plan, step by step, with a progress
// line for each and the questions the user must answer.
#pragma once
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "uninst/UninstSystem.h"

namespace kx {

// How the run talks to the window that shows it.
struct TUninstUi {
    std::function<void(const std::string& line)> AddLine;
    std::function<void(int percent)> SetProgress;
    // A standard message box; returns the button pressed.
    std::function<int(const std::string& text, unsigned flags)> Ask;
};

class TUninstRun {
public:
    // runningPath is this program's own file, which cannot be deleted while it runs.
    TUninstRun(const TUninstPlan& plan, const TUninstUi& ui, std::string runningPath);

    // The steps of the run, in order.
    void StopServices();
    void DeleteFiles();
    void DeleteShortcuts();
    void ClearRegistry();
    void DeleteOwnFiles();
    void RemoveDirectories();
    void DeleteWindowsCopy();
    // Services that were running when StopServices stopped them and are still
    // registered (not the package's own) run again.
    void RestartServices();

    void Run();
    // True when a file of the package waits for the next start to be deleted.
    bool NeedReboot() const { return FNeedReboot; }

private:
    struct TBusyFile {
        std::string Path;
        bool Package; // a file of the package (its deferral asks for a restart)
    };
    bool TryDelete(const std::string& path);
    // False, with a progress line for each link, when removing path would go
    // through a junction, symbolic link or mount point.
    bool Reachable(const std::string& path);
    bool HeldByApplication(const std::string& path) const;
    void Delete(const std::string& path, bool package);
    void SettleBusyFiles();
    void Schedule(const std::string& path, bool package);
    bool EmptyButScheduled(const std::string& dir) const;
    void Step();

    const TUninstPlan& FPlan;
    TUninstUi FUi;
    std::string FRunningPath;
    unsigned FCodePage;
    std::vector<TBusyFile> FBusy;
    std::vector<std::string> FScheduled;
    std::vector<std::string> FWasRunning;
    std::set<std::string> FLinksReported;
    bool FNeedReboot = false;
    int FDone = 0, FTotal = 1;
};

} // namespace kx
