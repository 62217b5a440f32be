// The places of Windows: its directory, the system and the shared Common Files folder.
#include "sys/Paths.h"

#include "sys/Handles.h"
#include "sys/Win32.h"

namespace kx {

namespace {
// Read once, at start-up: the platform does not change under a running program.
const DWORD gPlatformId = [] {
    OSVERSIONINFOA vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    GetVersionExA(&vi);
    return vi.dwPlatformId;
}();

const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";

// A text value of kCurrentVersionKey; empty when missing.
std::string ReadCurrentVersionText(const char* name) {
    TRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kCurrentVersionKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS) return {};
    char buf[1024];
    DWORD type = 0, size = sizeof buf - 1;
    if (RegQueryValueExA(key.Get(), name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS ||
        (type != REG_SZ && type != REG_EXPAND_SZ))
        return {};
    buf[size] = 0;
    return buf;
}
} // namespace

bool IsNTFamily() { return gPlatformId == VER_PLATFORM_WIN32_NT; }

std::string GetWindowsPath() {
    char buf[MAX_PATH];
    UINT n = GetWindowsDirectoryA(buf, MAX_PATH);
    return AddTrailingBackslash(std::string(buf, n < MAX_PATH ? n : 0));
}

std::string GetSystemPath() {
    static std::string cached;
    if (cached.empty()) {
        char buf[MAX_PATH];
        UINT n = GetSystemDirectoryA(buf, MAX_PATH);
        cached = AddTrailingBackslash(std::string(buf, n < MAX_PATH ? n : 0));
    }
    return cached;
}

std::string GetProgramFilesPath() {
    std::string dir = ReadCurrentVersionText("ProgramFilesDir");
    if (dir.empty()) dir = GetWindowsPath().substr(0, 3) + "Program Files";
    return AddTrailingBackslash(dir);
}

std::string GetCommonFilesPath(const std::string& folder) {
    std::vector<std::string> created;
    return GetCommonFilesPath(folder, created);
}

std::string GetCommonFilesPath(const std::string& folder, std::vector<std::string>& created) {
    const std::string dir = GetCommonFilesRoot() + folder;
    MakeDirPath(dir, created);
    return AddTrailingBackslash(dir);
}

std::string GetCommonFilesRoot() {
    std::string dir = ReadCurrentVersionText("CommonFilesDir");
    if (dir.empty()) dir = GetSystemPath().substr(0, 3) + "Program Files\\Common Files";
    return AddTrailingBackslash(dir);
}

} // namespace kx
