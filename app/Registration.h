// Registration and finish: the steps of the installation run after the files
// are in place (the uninstaller, the program group, the uninstall entry, the
// package's service, the restart or the program's start).
#pragma once
#include <functional>

namespace kx {

class TSetupFM;

// "kxUnInst.Exe" and "UnInst.Ini" into the target directory, and the uninstaller
// into the Windows directory unless a newer one is there.
void WriteUninstaller(TSetupFM& form);
// The group folder, a shortcut per Link line of a selected file, the
// uninstaller's shortcut, and the folder opened in the shell.
void CreateProgramGroup(TSetupFM& form);
// The uninstall entry with its records for the uninstaller, the AutoReg values
// and the SharedDLLs counts. Raises "Failed to set data for '%s'".
void RegisterUninstall(TSetupFM& form);
// Starts, replaces or registers the package's service.
void InstallService(TSetupFM& form);
// The restart question, or the AutoRun program; the final message; the end.
void FinishSetup(TSetupFM& form);
// FinishSetup with the restart passed in, for builds that must not restart.
void FinishSetupWith(TSetupFM& form, const std::function<void()>& restartSystem);

} // namespace kx
