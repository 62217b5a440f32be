// Loading DLLs that Windows does not take from the system directory by rule.
//
// A setup program runs from a download folder with administrator rights, so a
// DLL it loads by bare name could be one planted beside it. The shipped programs
// therefore import statically only DLLs that Windows always takes from the
// system directory (the import test checks it), and load every other DLL here.
#pragma once
#include "sys/Win32.h"

namespace kx {

// First thing every program entry does. Where Windows has SetDefaultDllDirectories,
// every later load by name searches the system directory only; elsewhere the
// current directory leaves the search path (SetDllDirectory, XP SP1 and later)
// and the DLLs that Windows itself loads by name into a process (uxtheme,
// version, ...) are loaded from the system directory before anything asks for them.
void InitDllSafety();

// The DLL of that file name from the system directory, loaded by its full path;
// null when it is missing, or when Windows names no system directory (never a
// load by the bare name). The module stays loaded for the life of the process.
HMODULE LoadSystemLibrary(const char* name);

// comctl32: on Windows XP and later by name, so that the manifest's side-by-side
// version 6 is the one loaded, when the name is redirected or the search is
// confined to the system directory; otherwise by full path. Then registers the
// control classes with InitCommonControlsEx, or InitCommonControls where
// comctl32 is older than 4.70. False when comctl32 cannot be loaded.
bool InitCommonControlClasses(DWORD classes);

// A function of a loaded module by name, as the type the caller gives; null
// when the module or the function is missing (older Windows).
template <class F>
F GetProc(HMODULE module, const char* name) {
    if (!module) return nullptr;
    // Through void* because GetProcAddress returns a generic function pointer.
    return reinterpret_cast<F>(reinterpret_cast<void*>(::GetProcAddress(module, name)));
}

// What InitDllSafety did, for the tests.
enum class TDllSearch {
    SystemDirectoryOnly, // SetDefaultDllDirectories(LOAD_LIBRARY_SEARCH_SYSTEM32)
    Preloaded,           // SetDllDirectory("") where present, the known DLLs preloaded
};
TDllSearch DllSearchMode();

} // namespace kx
