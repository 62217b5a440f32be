// Starting a program as the user who is logged on, from a setup that runs with
// administrator rights: on Windows Vista and later the desktop's shell starts
// it with its own rights, as other installers do.
#pragma once
#include <string>

namespace kx {

// Opens file (verb "open", no parameters, SW_SHOWNORMAL, workDir as the working
// directory when not empty). On Windows Vista and later, from an elevated
// process, only through the desktop's shell: when that cannot be reached the
// program is not started rather than started with our rights. Elsewhere (older
// Windows, a process without elevation) directly, as ShellOpen does. True when
// the request was handed on; the outcome of the start is not known.
bool OpenAsDesktopUser(const std::string& file, const std::string& workDir);

// The way through the desktop's shell alone: Explorer's ShellWindows gives the
// desktop's view, whose Shell.Application object runs ShellExecute in
// Explorer's process. Needs COM on the calling thread; false when any part of
// the way is missing.
bool OpenThroughDesktopShell(const std::string& file, const std::string& workDir);

// Whether this process runs elevated on Windows Vista or later (false on older
// Windows, which have no elevation).
bool IsElevatedProcess();

} // namespace kx
