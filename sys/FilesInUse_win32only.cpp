// Files in use on Windows: FindWindow, GetShortPathName, delayed MoveFileEx and
// the profile functions.
#include "sys/FilesInUse.h"

#include "base/Text.h"
#include "sys/Paths.h"
#include "sys/SystemLibrary.h"
#include "sys/Win32.h"

namespace kx {

namespace {

// A kernel32 function that older systems lack, or null.
template <class F>
F Kernel32Function(const char* name) {
    return GetProc<F>(GetModuleHandleA("kernel32.dll"), name);
}

} // namespace

bool TopLevelWindowExists(const std::string& className) {
    return !className.empty() && FindWindowA(className.c_str(), nullptr) != nullptr;
}

std::string GetShortPath(const std::string& path) {
    char buf[MAX_PATH];
    const DWORD n = GetShortPathNameA(path.c_str(), buf, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::string(buf, n) : path;
}

std::string PathAtRestart(const std::string& path) {
    // Both functions arrived with Windows XP.
    auto isWow64 = Kernel32Function<BOOL(WINAPI*)(HANDLE, PBOOL)>("IsWow64Process");
    auto wow64Dir = Kernel32Function<UINT(WINAPI*)(LPSTR, UINT)>("GetSystemWow64DirectoryA");
    BOOL wow64 = FALSE;
    if (!isWow64 || !wow64Dir || !isWow64(GetCurrentProcess(), &wow64) || !wow64) return path;
    const std::string sys = GetSystemPath();
    char buf[MAX_PATH];
    const UINT n = wow64Dir(buf, MAX_PATH);
    if (n == 0 || n >= MAX_PATH || path.size() < sys.size() || !SameText(path.substr(0, sys.size()), sys))
        return path;
    return AddTrailingBackslash(std::string(buf, n)) + path.substr(sys.size());
}

bool MoveFileAtRestart(const std::string& from, const std::string& to) {
    // Windows 95 and 98 have no working MoveFileExA; look it up rather than import it.
    auto moveFileEx = Kernel32Function<BOOL(WINAPI*)(LPCSTR, LPCSTR, DWORD)>("MoveFileExA");
    if (!moveFileEx) return false;
    return moveFileEx(from.c_str(), to.empty() ? nullptr : to.c_str(), MOVEFILE_DELAY_UNTIL_REBOOT) != 0;
}

bool WriteRenameEntry(const std::string& profile, const std::string& key, const std::string& value) {
    return WritePrivateProfileStringA("rename", key.c_str(), value.c_str(), profile.c_str()) != 0;
}

void FlushProfile(const std::string& profile) { WritePrivateProfileStringA(nullptr, nullptr, nullptr, profile.c_str()); }

} // namespace kx
