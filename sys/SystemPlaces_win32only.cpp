// The system's folders, from Windows and its registry.
#include "sys/SystemPlaces.h"

#include "sys/Files.h"
#include "sys/Handles.h"
#include "sys/Paths.h"
#include "sys/SystemLibrary.h"
#include "sys/Win32.h"
#include "sys/untSetupUtils.h"

namespace kx {

namespace {

const char kCurrentVersionKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion";
const char kShellFoldersKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

std::string ReadText(HKEY root, const char* key, const char* value) {
    TRegKey k;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, k.Put()) != ERROR_SUCCESS) return std::string();
    return ReadRegText(k.Get(), value);
}

std::string Dir(const std::string& path) { return path.empty() ? path : AddTrailingBackslash(path); }

// A 32-bit program on 64-bit Windows, whose registry view names the 32-bit
// Program Files only (IsWow64Process arrived with Windows XP).
bool UnderWow64() {
    using TIsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 = GetProc<TIsWow64Process>(GetModuleHandleA("kernel32.dll"), "IsWow64Process");
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

// A value of the 64-bit registry view.
std::string ReadText64(const char* key, const char* value) {
    constexpr REGSAM kWow64View64 = 0x0100; // KEY_WOW64_64KEY
    TRegKey k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ | kWow64View64, k.Put()) != ERROR_SUCCESS)
        return std::string();
    return ReadRegText(k.Get(), value);
}

} // namespace

TSystemPlaces GetSystemPlaces() {
    TSystemPlaces p;
    p.CodePage = ActiveCodePage();
    p.WindowsDir = GetWindowsPath();
    p.SystemDir = GetSystemPath();
    const std::string drive = p.SystemDir.substr(0, 3);
    // Read, not made: GetCommonFilesPath would create the maker's folder.
    std::string programFiles = Dir(ReadText(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "ProgramFilesDir"));
    if (programFiles.empty()) programFiles = drive + "Program Files\\";
    p.CommonFilesDir = Dir(ReadText(HKEY_LOCAL_MACHINE, kCurrentVersionKey, "CommonFilesDir"));
    if (p.CommonFilesDir.empty()) p.CommonFilesDir = programFiles + "Common Files\\";
    p.ProgramFilesDirs.push_back(programFiles);
    for (const char* v : {"ProgramFilesDir (x86)", "CommonFilesDir (x86)", "ProgramW6432Dir", "CommonW6432Dir"}) {
        std::string d = Dir(ReadText(HKEY_LOCAL_MACHINE, kCurrentVersionKey, v));
        if (!d.empty()) p.ProgramFilesDirs.push_back(d);
    }
    if (UnderWow64())
        for (const char* v : {"ProgramFilesDir", "CommonFilesDir"}) {
            std::string d = Dir(ReadText64(kCurrentVersionKey, v));
            if (!d.empty()) p.ProgramFilesDirs.push_back(d);
        }
    p.ProtectedDirs = p.ProgramFilesDirs;
    for (auto [root, value] : {std::pair{HKEY_LOCAL_MACHINE, "Common Programs"}, std::pair{HKEY_CURRENT_USER, "Programs"}}) {
        std::string d = Dir(ReadText(root, kShellFoldersKey, value));
        if (!d.empty()) p.ProgramsDirs.push_back(d);
    }
    // The folder the setup falls back to when the shell names none.
    p.ProgramsDirs.push_back(drive + "WINDOWS\\Start Menu\\Programs\\");
    p.ProtectedDirs.push_back(GetTempDir());
    return p;
}

} // namespace kx
