// StopServices and ExtractFiles: the copy step on the setup's own payload, with
// the Windows services it needs.
#include "app/InstallRun.h"

#include "app/CopyStep.h"
#include "app/untSetupFM.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"
#include "sys/FilesInUse.h"
#include "sys/Paths.h"
#include "sys/Resources.h"
#include "sys/ServiceControl.h"
#include "sys/TempFile.h"
#include "sys/untSetupUtils.h"

namespace kx {

void StopServices(TSetupFM& form) {
    for (const std::string& name : form.FServices) {
        if (name.empty()) continue;
        form.AddProgressLine(Format(GetSetupMsg(msgStoppingService), name));
        try {
            StopService(name, 15);
            Sleep(1500);
        } catch (const Exception&) {
        }
    }
}

namespace {

class TWinCopySystem : public TCopySystem {
public:
    explicit TWinCopySystem(std::string renameFile) : FRenameFile(std::move(renameFile)) {}
    bool NTFamily() override { return IsNTFamily(); }
    std::string ShortPath(const std::string& path) override { return GetShortPath(PathAtRestart(path)); }
    bool MoveAtRestart(const std::string& from, const std::string& to) override { return MoveFileAtRestart(from, to); }
    bool WriteRenameEntry(const std::string& key, const std::string& value) override {
        return kx::WriteRenameEntry(FRenameFile, key, value);
    }
    void FlushRenameFile() override { FlushProfile(FRenameFile); }

private:
    std::string FRenameFile;
};

} // namespace

void ExtractFiles(TSetupFM& form) {
    const std::string archiveCopy = MakeSetupTempName();
    TCopyFolders folders;
    folders.Reboot = GetWinTempPath();
    TTempFileGuard archiveGuard(archiveCopy);
    ExtractResourceToFile("SETUPX", "KXFILE", archiveCopy);

    folders.System = GetSystemPath();
    std::vector<std::string> made;
    folders.Shared = GetCommonFilesPath(form.FSharedDir, made);
    AddCreatedDirs(form.FCreatedDirs, made);
    TWinCopySystem system(GetWindowsPath() + "WinInit.ini");
    const bool appRunning = TopLevelWindowExists(form.FFindClass);

    std::vector<bool> checked(static_cast<std::size_t>(form.CompCount()));
    for (std::size_t i = 0; i < checked.size(); ++i) checked[i] = form.CompChecked(static_cast<int>(i));

    TCopyStep step(form, system);
    step.OnProgressLine = [&form](const std::string& line) { form.AddProgressLine(line); };
    // The archive reports after every block and every entry it passes, many
    // thousand times a second: the bar moves when the figure changes, and pending
    // messages are handled at most every 20 ms, enough to keep the window alive.
    step.OnProgress = [&form, shown = -1, pumped = GetTickCount()](int percent) mutable {
        if (percent != shown) form.SetProgress(shown = percent);
        const DWORD now = GetTickCount();
        if (now - pumped >= 20) {
            form.ProcessMessages();
            pumped = now;
        }
    };
    step.Run(archiveCopy, folders, appRunning, checked);
}

} // namespace kx
