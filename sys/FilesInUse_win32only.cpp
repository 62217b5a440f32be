// Files in use on Windows: FindWindow, GetShortPathName, delayed MoveFileEx and
// the profile functions.
#include "sys/FilesInUse.h"

#include <vector>

#include "base/Text.h"
#include "sys/Handles.h"
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
    return moveFileEx(from.c_str(), to.empty() ? nullptr : to.c_str(),
                      MOVEFILE_DELAY_UNTIL_REBOOT | (to.empty() ? 0 : MOVEFILE_REPLACE_EXISTING)) != 0;
}

void CancelMoveFileAtRestart(const std::string& from) {
    if (!IsNTFamily()) return;
    // The list is REG_MULTI_SZ in UTF-16: read and written with the wide
    // functions so that other programs' names keep every character.
    HMODULE advapi = GetModuleHandleA("advapi32.dll");
    auto queryW = GetProc<LONG(WINAPI*)(HKEY, LPCWSTR, LPDWORD, LPDWORD, LPBYTE, LPDWORD)>(advapi, "RegQueryValueExW");
    auto setW = GetProc<LONG(WINAPI*)(HKEY, LPCWSTR, DWORD, DWORD, const BYTE*, DWORD)>(advapi, "RegSetValueExW");
    auto deleteW = GetProc<LONG(WINAPI*)(HKEY, LPCWSTR)>(advapi, "RegDeleteValueW");
    if (!queryW || !setW || !deleteW) return;
    static const wchar_t kValue[] = L"PendingFileRenameOperations";
    TRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0,
                      KEY_QUERY_VALUE | KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS)
        return;
    DWORD type = 0, size = 0;
    if (queryW(key.Get(), kValue, nullptr, &type, nullptr, &size) != ERROR_SUCCESS || type != REG_MULTI_SZ) return;
    std::wstring data(size / sizeof(wchar_t) + 1, L'\0');
    if (queryW(key.Get(), kValue, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &size) != ERROR_SUCCESS) return;
    data.resize(size / sizeof(wchar_t));
    std::vector<std::wstring> names;
    for (std::size_t at = 0; at < data.size();) {
        const std::size_t end = data.find(L'\0', at);
        names.push_back(data.substr(at, end == std::wstring::npos ? std::wstring::npos : end - at));
        if (end == std::wstring::npos) break;
        at = end + 1;
    }
    // Pairs of source and target; the list ends with an empty string.
    while (!names.empty() && names.back().empty() && names.size() % 2 != 0) names.pop_back();
    auto sameSource = [&](const std::wstring& name) {
        std::wstring n = name;
        if (n.compare(0, 4, L"\\??\\") == 0) n.erase(0, 4);
        char ansi[MAX_PATH * 2];
        const int len = WideCharToMultiByte(CP_ACP, 0, n.c_str(), static_cast<int>(n.size()), ansi, sizeof ansi,
                                            nullptr, nullptr);
        return len > 0 && SameText(std::string(ansi, static_cast<std::size_t>(len)), from);
    };
    std::wstring kept;
    bool removed = false;
    for (std::size_t i = 0; i + 1 < names.size(); i += 2) {
        if (sameSource(names[i])) {
            removed = true;
            continue;
        }
        kept += names[i] + L'\0' + names[i + 1] + L'\0';
    }
    if (!removed) return;
    if (kept.empty()) {
        deleteW(key.Get(), kValue);
        return;
    }
    kept += L'\0';
    setW(key.Get(), kValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
         static_cast<DWORD>(kept.size() * sizeof(wchar_t)));
}

bool WriteRenameEntry(const std::string& profile, const std::string& key, const std::string& value) {
    return WritePrivateProfileStringA("rename", key.c_str(), value.c_str(), profile.c_str()) != 0;
}

void FlushProfile(const std::string& profile) { WritePrivateProfileStringA(nullptr, nullptr, nullptr, profile.c_str()); }

} // namespace kx
