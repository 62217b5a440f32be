// The installation run on Windows: one session per press of Install holds the
// package's lock and the run's journal, and ends in a commit or a rollback.
#include <algorithm>
#include <memory>

#include "app/CopyStep.h"
#include "app/InstallRun.h"
#include "app/InstallSteps.h"
#include "app/PackageId.h"
#include "app/PayloadArchive.h"
#include "app/SetupCommandLine.h"
#include "app/WinSetupSystem.h"
#include "app/untSetupFM.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"
#include "sys/DesktopShell.h"
#include "sys/Handles.h"
#include "sys/Paths.h"
#include "sys/Resources.h"
#include "sys/SysLog.h"
#include "sys/untSetupUtils.h"

namespace kx {

namespace {

std::string JournalPath(const TSetupFields& f) { return GetWindowsPath() + JournalFileName(f.FRegKey); }

// The package's named mutex, held while it is owned; an owner that was killed
// leaves it abandoned, which counts as free.
class TPackageLock {
public:
    bool TryTake(const std::string& regKey) {
        FMutex.Reset(CreateMutexA(nullptr, FALSE, PackageMutexName(regKey, IsNTFamily()).c_str()));
        if (!FMutex) return true; // no lock to be had: go on as a lone setup
        const DWORD r = WaitForSingleObject(FMutex.Get(), 0);
        if (r == WAIT_OBJECT_0 || r == WAIT_ABANDONED) {
            FOwned = true;
            return true;
        }
        FMutex.Reset();
        return false;
    }
    void Release() {
        if (FOwned) ReleaseMutex(FMutex.Get());
        FOwned = false;
        FMutex.Reset();
    }
    ~TPackageLock() { Release(); }

private:
    TKernelHandle FMutex;
    bool FOwned = false;
};

std::string Lines(const std::vector<std::string>& items) {
    std::string text;
    for (const std::string& item : items) text += "\r\n" + item;
    return text;
}

// What a rollback could not do at once, for the end of a message.
std::string UndoText(const TUndoOutcome& outcome) {
    std::string text;
    if (!outcome.AtRestart.empty()) text += "\r\n\r\n" + GetSetupMsg(msgRestoredAtRestart) + Lines(outcome.AtRestart);
    if (!outcome.Failed.empty()) text += "\r\n\r\n" + GetSetupMsg(msgNotUndone) + Lines(outcome.Failed);
    return text;
}

class TRunSession {
public:
    // A silent run opens no folder in the shell.
    explicit TRunSession(TSetupFM& form) : FForm(form), FSystem(form.Silent() ? nullptr : form.Handle(), form.Silent()) {}

    TRunContext& Context() { return *FContext; }

    void Begin() {
        if (!FLock.TryTake(FForm.FRegKey))
            throw Exception(Format(GetSetupMsg(msgSetupRunning), FForm.FGrpName));
        // A run killed since this setup started: put back first.
        TUndoOutcome recovered;
        if (TJournal::Recover(FSystem, JournalPath(FForm), FForm.FRegKey, recovered) ==
            TJournal::TRecovery::RolledBack)
            FForm.ShowMessage(Format(GetSetupMsg(msgRunRecovered), FForm.FGrpName) + UndoText(recovered),
                    MB_OK | MB_ICONINFORMATION);
        FSaved = FForm;
        FJournal = std::make_unique<TJournal>(FSystem, JournalPath(FForm), FForm.FRegKey);
        std::vector<bool> checked(static_cast<std::size_t>(FForm.CompCount()));
        for (std::size_t i = 0; i < checked.size(); ++i) checked[i] = FForm.CompChecked(static_cast<int>(i));
        TRunUi ui;
        ui.AddLine = [this](const std::string& line) { FForm.AddProgressLine(line); };
        // Reported for every block written: the bar moves when the figure
        // changes, and pending messages are handled at most every 20 ms.
        ui.SetProgress = [this, shown = -1, pumped = GetTickCount()](int percent) mutable {
            if (percent != shown) FForm.SetProgress(shown = percent);
            const DWORD now = GetTickCount();
            if (now - pumped >= 20) {
                FForm.ProcessMessages();
                pumped = now;
            }
        };
        ui.ShowError = [this](const std::exception& e) { FForm.HandleException(e); };
        FContext = std::make_unique<TRunContext>(TRunContext{FForm, FSystem, *FJournal, ResourceView("SETUPX", "KXFILE"),
                                                             ResourceView("UNINST", "KXFILE"), checked, ui});
        BeginRun(*FContext);
    }

    void Commit() {
        if (FJournal) FJournal->Commit();
        FJournal.reset();
    }

    // Undoes the run; answers what the error's message says of it.
    std::string Rollback() {
        if (!FJournal || !FJournal->Active()) return std::string();
        std::string text;
        try {
            const TUndoOutcome outcome = FJournal->Rollback();
            text = "\r\n\r\n" + GetSetupMsg(msgRunUndone) + UndoText(outcome);
        } catch (const std::exception& e) {
            text = "\r\n\r\n" + GetSetupMsg(msgNotUndone) + "\r\n" + e.what();
        }
        FJournal.reset();
        static_cast<TSetupFields&>(FForm) = FSaved;
        FForm.SetProgress(0);
        return text;
    }

    void End() {
        FContext.reset();
        FJournal.reset();
        FLock.Release();
    }

private:
    TSetupFM& FForm;
    TWinSetupSystem FSystem;
    TPackageLock FLock;
    TSetupFields FSaved;
    std::unique_ptr<TJournal> FJournal;
    std::unique_ptr<TRunContext> FContext;
};

} // namespace

void AddRunSteps(TSetupFM& form, void (*finish)(TSetupFM&)) {
    auto session = std::make_shared<TRunSession>(form);
    form.InstallSteps.push_back([session] { session->Begin(); });
    for (TRunStep step : RunSteps()) form.InstallSteps.push_back([session, step] { step(session->Context()); });
    form.InstallSteps.push_back([session, &form, finish] {
        session->Commit();
        finish(form);
    });
    form.OnRunFailed = [session] { return session->Rollback(); };
    form.OnRunEnded = [session] { session->End(); };
}

void FinishSetup(TSetupFM& form) { FinishSetupWith(form, &RestartSystem); }

void FinishSetupWith(TSetupFM& form, const std::function<void()>& restartSystem) {
    if (form.Silent()) {
        // Nothing is started and nothing asked: a restart only when the command line allows it.
        if (form.FNeedReboot && form.RebootAllowed) restartSystem();
        return;
    }
    if (form.FNeedReboot) {
        if (form.ShowMessage(GetSetupMsg(msgRestartQuestion), MB_YESNO | MB_ICONQUESTION) == IDYES) {
            // The form stays open with Install and Cancel enabled while Windows restarts.
            restartSystem();
            return;
        }
    } else if (!form.FAutoRun.empty()) {
        // With the rights of the user logged on, not with the setup's.
        OpenAsDesktopUser(form.FInstallDir + form.FAutoRun, form.FInstallDir);
    }
    form.ShowMessage(GetSetupMsg(msgInstallSuccess), MB_OK | MB_ICONINFORMATION);
    PostMessageA(form.Handle(), WM_CLOSE, 0, 0);
}

bool CheckSetupPayload(TSetupFM& form) {
    TPayloadCheck check;
    try {
        check = CheckPayload(ResourceView("SETUPX", "KXFILE"), form.FCompFiles);
    } catch (const std::exception& e) {
        check.Problem = e.what();
    }
    if (check.Sound) return true;
    WriteSysLog("Setup package damaged: " + check.Problem);
    form.ShowMessage(GetSetupMsg(msgPackageDamaged), MB_OK | MB_ICONERROR);
    return false;
}

void RecoverInterruptedRun(TSetupFM& form) {
    TPackageLock lock;
    if (!lock.TryTake(form.FRegKey)) return;
    TWinSetupSystem system(form.Handle());
    TUndoOutcome outcome;
    if (TJournal::Recover(system, JournalPath(form), form.FRegKey, outcome) == TJournal::TRecovery::RolledBack)
        form.ShowMessage(Format(GetSetupMsg(msgRunRecovered), form.FGrpName) + UndoText(outcome),
                MB_OK | MB_ICONINFORMATION);
}

int RunSilently(TSetupFM& form, const TSetupCommandLine& options) {
    if (form.Terminated()) return form.ExitCode();
    if (!CheckSetupPayload(form)) return kExitFailed;
    RecoverInterruptedRun(form);
    if (options.ComponentsGiven) {
        const int count = form.CompCount();
        for (int n : options.Components)
            if (n > count) {
                if (form.OnLogLine) form.OnLogLine(Format(GetSetupMsg(msgUnknownSwitch), Format("/COMPONENTS=%d", n)));
                return kExitBadCommandLine;
            }
        for (int i = 0; i < count; ++i)
            form.SetCompChecked(i, std::find(options.Components.begin(), options.Components.end(), i + 1) !=
                                       options.Components.end());
    }
    try {
        const std::string dir = options.Dir.empty() ? form.SuggestedInstallDir() : options.Dir;
        if (!MakeInstallDir(dir, form.FCreatedDirs)) throw Exception("Unable to create directory");
        form.FInstallDir = AddTrailingBackslash(dir);
        form.RebootAllowed = options.Reboot;
        form.RunInstallation();
    } catch (const std::exception& e) {
        form.HandleException(e);
        return kExitFailed;
    }
    return form.ExitCode();
}

} // namespace kx
