// Shell integration: temporary names, the Windows TEMP folder, the program-group
// folder, shortcuts, the folder browser and the forced restart.
#pragma once
#include <functional>
#include <string>

#include "sys/Win32.h"

namespace kx {

// "%sSeup%4.4d.tmp" in the user's temporary folder, counting down from 9999 to
// the first name under which nothing exists. Raises Exception when all 10,000 are taken.
std::string MakeSetupTempName();
// Short form of <Windows>\TEMP\ with its trailing backslash, created if missing;
// empty when Windows gives no short form.
std::string GetWinTempPath();
// The Start-menu programs folder (common, else the user's, else the drive-root
// default) with a trailing backslash, followed by groupName and a backslash.
std::string GetProgramGroupPath(const std::string& groupName);
// Saves a shell link (with the command-line arguments given, if any); true when
// saved. Raises Exception when the link object cannot be created. Needs COM
// initialised on the calling thread.
bool CreateShortcut(const std::string& target, const std::string& description, const std::string& linkFile,
                    const std::string& arguments = std::string());
// Modal folder browser; true when the user chose a folder, whose path is then in
// directory (as the shell gives it, no trailing backslash except a drive root).
bool BrowseForDirectory(const std::string& caption, const std::string& root, std::string& directory);
bool EnableShutdownPrivilege();
// Enables the shutdown privilege on the NT family, then asks Windows to restart
// with EWX_REBOOT | EWX_FORCE whatever the outcome.
void RestartSystem();

// The decision inside RestartSystem with its two system calls passed in, so the
// family rule can be exercised without restarting anything.
void RestartSystemWith(bool ntFamily, const std::function<bool()>& enablePrivilege,
                       const std::function<void(UINT flags)>& exitWindows);

// A string value (REG_SZ or REG_EXPAND_SZ, unexpanded) of an open key, as stored;
// empty when the value is missing or holds something else.
std::string ReadRegText(HKEY key, const char* valueName);

} // namespace kx
