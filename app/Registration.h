// Registration: the steps of the installation run after the files are in place
// (the uninstaller, the program group, the uninstall entry, the package's
// service). Portable: every change goes through the run's journal.
#pragma once
#include "app/InstallRun.h"

namespace kx {

// The key under HKEY_LOCAL_MACHINE that holds the shared-file counts.
constexpr const char* kSharedDllsKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

// "kxUnInst.Exe" and "UnInst.Ini" into the target directory, and the uninstaller
// into the Windows directory unless a newer one is there.
void WriteUninstaller(TRunContext& c);
// The group folder, a shortcut per Link line of a selected file, the
// uninstaller's shortcut, and the folder opened in the shell.
void CreateProgramGroup(TRunContext& c);
// The uninstall entry with its records for the uninstaller, the AutoReg values
// and the SharedDLLs counts. Raises "Failed to set data for '%s'".
void RegisterUninstall(TRunContext& c);
// Starts, replaces or registers the package's service; errors of its own
// registration are shown and the run goes on.
void InstallService(TRunContext& c);

} // namespace kx
