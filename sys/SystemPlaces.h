// The folders of the system that a setup never installs into and an uninstaller
// never removes: the data is portable (the rules over it are unit-tested
// natively), reading it from Windows is not.
#pragma once
#include <string>
#include <vector>

namespace kx {

// Each folder with a trailing backslash, in the code page its paths are written in.
struct TSystemPlaces {
    unsigned CodePage = 0;
    std::string WindowsDir, SystemDir, CommonFilesDir;
    std::vector<std::string> ProgramsDirs;     // the Start menu's programs folders (all users, current user)
    std::vector<std::string> ProgramFilesDirs; // Program Files and its variants (x86, 64-bit, Common Files)
    std::vector<std::string> ProtectedDirs;    // more folders never removed: ProgramFilesDirs and the temporary folder
};

#ifdef _WIN32
// Read, never made: nothing is created on the way.
TSystemPlaces GetSystemPlaces();
#endif

} // namespace kx
