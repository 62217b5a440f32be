// Windows paths as the setup and the uninstaller judge them: the same rules on every platform
// (the checks are unit-tested natively), for 8-bit text in a code page that may
// be double-byte, where a 0x5C trail byte is not a backslash.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kx {

// Why a recorded path is not one the uninstaller acts on.
enum class TPathFault {
    None,
    Empty,
    NotAbsolute,  // relative, "\x", "C:x" or a network path: only "X:\..." is accepted
    BadCharacter, // a control character, / * ? " < > |, or ":" after the drive
    DotComponent, // a component of dots and blanks only ("." and ".." among them)
    EmptyComponent,
};
TPathFault CheckAbsolutePath(std::string_view path, unsigned codePage);

bool EndsWithWinDelim(std::string_view path, unsigned codePage);
std::string WithTrailingDelim(std::string_view path, unsigned codePage);
std::string WithoutTrailingDelim(std::string_view path, unsigned codePage);
// The components between single-byte backslashes ("C:" first).
std::vector<std::string> SplitWinPath(std::string_view path, unsigned codePage);
// The folder of a path (its trailing backslash ignored), with a trailing backslash.
std::string WinParentDir(std::string_view path, unsigned codePage);
std::string WinFileName(std::string_view path, unsigned codePage);

// Equal without regard to ASCII case and to a trailing backslash.
bool SameWinPath(std::string_view a, std::string_view b, unsigned codePage);
// True when path lies below dir (not dir itself), compared like SameWinPath.
bool IsInsideWinDir(std::string_view path, std::string_view dir, unsigned codePage);
// "X:\" and "X:" alone.
bool IsDriveRoot(std::string_view path, unsigned codePage);

// The full path of a DLL of the system folder, for loading it by that path; empty
// when the folder is not an absolute "X:\..." path (Windows could not name it)
// or the name is not a plain file name, so that nothing is ever loaded by a bare
// name, which Windows would look for in the program's folder first.
std::string SystemLibraryPath(std::string_view systemDir, std::string_view name, unsigned codePage);

} // namespace kx
