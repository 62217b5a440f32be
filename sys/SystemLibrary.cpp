// DLL search safety and loading DLLs from the system directory; see SystemLibrary.h.
#include "sys/SystemLibrary.h"

#include <string>

#include "base/WinPaths.h"
#include "sys/Files.h"
#include "sys/Paths.h"

#include <commctrl.h>

namespace kx {

namespace {

constexpr DWORD kSearchSystem32 = 0x00000800; // LOAD_LIBRARY_SEARCH_SYSTEM32

using TSetDefaultDllDirectories = BOOL(WINAPI*)(DWORD);
using TSetDllDirectoryA = BOOL(WINAPI*)(LPCSTR);
using TFindActCtxSectionStringA = BOOL(WINAPI*)(DWORD, const GUID*, ULONG, LPCSTR, PACTCTX_SECTION_KEYED_DATA);
using TInitCommonControlsEx = BOOL(WINAPI*)(const INITCOMMONCONTROLSEX*);
using TInitCommonControls = void(WINAPI*)();

// DLLs that Windows components load into a process by bare name, and that
// have been planted beside installers for it: taken from the system directory
// first, they are already loaded when something asks for them by name.
const char* const kLoadedByWindows[] = {
    "uxtheme.dll",  "version.dll", "userenv.dll", "profapi.dll", "setupapi.dll", "apphelp.dll",
    "propsys.dll",  "dwmapi.dll",  "cryptbase.dll", "oleacc.dll", "clbcatq.dll", "ntmarta.dll",
    "shfolder.dll", "secur32.dll", "winmm.dll",
};

TDllSearch gMode = TDllSearch::Preloaded;

HMODULE Kernel32() { return GetModuleHandleA("kernel32.dll"); }

// Whether the process's activation context (the manifest) maps the DLL name to
// a side-by-side assembly, which Windows then loads whatever the program's folder holds.
bool RedirectedBySideBySide(const char* name) {
    auto find = GetProc<TFindActCtxSectionStringA>(Kernel32(), "FindActCtxSectionStringA");
    if (!find) return false;
    ACTCTX_SECTION_KEYED_DATA data{};
    data.cbSize = sizeof data;
    return find(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION, name, &data) != FALSE;
}

} // namespace

void InitDllSafety() {
    HMODULE kernel = Kernel32();
    if (auto setDefault = GetProc<TSetDefaultDllDirectories>(kernel, "SetDefaultDllDirectories");
        setDefault && setDefault(kSearchSystem32)) {
        gMode = TDllSearch::SystemDirectoryOnly;
        return;
    }
    gMode = TDllSearch::Preloaded;
    if (auto setDllDirectory = GetProc<TSetDllDirectoryA>(kernel, "SetDllDirectoryA")) setDllDirectory("");
    for (const char* name : kLoadedByWindows) LoadSystemLibrary(name);
}

TDllSearch DllSearchMode() { return gMode; }

HMODULE LoadSystemLibrary(const char* name) {
    // Without a system folder to name, nothing is loaded: a bare name would be
    // looked for in the program's folder first.
    const std::string path = SystemLibraryPath(GetSystemPath(), name, ActiveCodePage());
    if (path.empty()) {
        SetLastError(ERROR_PATH_NOT_FOUND);
        return nullptr;
    }
    // No "cannot find" box on Windows 9x for a DLL this system does not have;
    // the DLL's own imports are searched for from the system directory too.
    const UINT oldMode = SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    SetErrorMode(oldMode);
    return module;
}

bool InitCommonControlClasses(DWORD classes) {
    static HMODULE comctl = [] {
        HMODULE m = nullptr;
        if (gMode == TDllSearch::SystemDirectoryOnly || RedirectedBySideBySide("comctl32.dll"))
            m = LoadLibraryA("comctl32.dll");
        return m ? m : LoadSystemLibrary("comctl32.dll");
    }();
    if (!comctl) return false;
    if (auto initEx = GetProc<TInitCommonControlsEx>(comctl, "InitCommonControlsEx")) {
        INITCOMMONCONTROLSEX icc{sizeof icc, classes};
        if (initEx(&icc)) return true;
    }
    // comctl32 before 4.70 (or one that refuses newer class bits): the Windows 95 classes.
    auto init = GetProc<TInitCommonControls>(comctl, "InitCommonControls");
    if (!init) return false;
    init();
    return true;
}

} // namespace kx
