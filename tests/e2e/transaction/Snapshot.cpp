// Snapshots of the machine under Wine.
#include "Snapshot.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>

#include "sys/Win32.h"

namespace kxe2e {

namespace {

// Files up to this size are compared byte by byte (by a hash); Wine's own
// libraries above it by size and time, which any write changes.
constexpr std::uint64_t kHashedBytes = 512u << 10;

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return s;
}

std::string Hex(std::uint64_t v) {
    char buf[24];
    std::snprintf(buf, sizeof buf, "%016llx", static_cast<unsigned long long>(v));
    return buf;
}

std::string HashOf(const std::string& path) {
    HANDLE h = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                           nullptr, OPEN_EXISTING, 0, nullptr);
    if (h == INVALID_HANDLE_VALUE) return "unreadable";
    std::uint64_t hash = 14695981039346656037ull;
    char buf[65536];
    DWORD n = 0;
    while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0)
        for (DWORD i = 0; i < n; ++i) hash = (hash ^ static_cast<unsigned char>(buf[i])) * 1099511628211ull;
    CloseHandle(h);
    return Hex(hash);
}

void WalkFiles(const std::string& dir, const std::vector<std::string>& skip, TSnapshot& out) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        const bool isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
        const std::string path = dir + name + (isDir ? "\\" : "");
        if (std::find(skip.begin(), skip.end(), Lower(path)) != skip.end()) continue;
        if (isDir) {
            out["D " + Lower(path)] = path;
            if (!(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) WalkFiles(path, skip, out);
            continue;
        }
        const std::uint64_t size = (static_cast<std::uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
        const std::uint64_t time =
            (static_cast<std::uint64_t>(fd.ftLastWriteTime.dwHighDateTime) << 32) | fd.ftLastWriteTime.dwLowDateTime;
        char head[96];
        std::snprintf(head, sizeof head, "%llu bytes, time %llu, attributes %lx, ", static_cast<unsigned long long>(size),
                      static_cast<unsigned long long>(time), static_cast<unsigned long>(fd.dwFileAttributes));
        out["F " + Lower(path)] = path + ": " + head + (size <= kHashedBytes ? HashOf(path) : std::string("not hashed"));
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

std::vector<std::string> SubKeys(HKEY k) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD len = sizeof name;
        if (RegEnumKeyExA(k, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, len);
    }
    return names;
}

void WalkKeys(const std::string& key, bool deep, const std::vector<std::string>& skip, TSnapshot& out) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return;
    out["K " + Lower(key)] = key;
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameLen = sizeof name, type = 0, dataLen = 0;
        // Some keys (the performance counters') refuse every enumeration.
        if (RegEnumValueA(k, i, name, &nameLen, nullptr, &type, nullptr, &dataLen) != ERROR_SUCCESS) break;
        std::string data(dataLen, '\0');
        nameLen = sizeof name;
        RegEnumValueA(k, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &dataLen);
        std::string text = std::to_string(type) + ":";
        for (std::size_t b = 0; b < dataLen; ++b) {
            const unsigned char c = static_cast<unsigned char>(data[b]);
            text += c >= 0x20 && c < 0x7F && c != '%' ? std::string(1, static_cast<char>(c)) : "%" + Hex(c).substr(14);
        }
        out["V " + Lower(key) + "\\\\" + Lower(std::string(name, nameLen))] = text;
    }
    const std::vector<std::string> subs = deep ? SubKeys(k) : std::vector<std::string>();
    RegCloseKey(k);
    for (const std::string& s : subs)
        if (std::find(skip.begin(), skip.end(), Lower(key + "\\" + s)) == skip.end()) WalkKeys(key + "\\" + s, true, skip, out);
}

} // namespace

TSnapshot TakeSnapshot() {
    TSnapshot s;
    std::vector<std::string> skip;
    // Wine links these folders of the profile to the Unix user's home.
    char profile[MAX_PATH] = {};
    if (GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH))
        for (const char* linked : {"Desktop", "Documents", "Downloads", "Music", "Pictures", "Videos", "Templates"})
            skip.push_back(Lower(std::string(profile) + "\\" + linked + "\\"));
    WalkFiles("C:\\", skip, s);
    WalkKeys("Software", true, {"software\\classes"}, s);
    WalkKeys("System\\CurrentControlSet\\Services", true, {}, s);
    // Its values: PendingFileRenameOperations among them.
    WalkKeys("System\\CurrentControlSet\\Control\\Session Manager", false, {}, s);
    return s;
}

std::vector<std::string> SnapshotDiff(const TSnapshot& before, const TSnapshot& after) {
    std::vector<std::string> diff;
    for (const auto& [k, v] : after) {
        auto it = before.find(k);
        if (it == before.end())
            diff.push_back("+" + k + " = " + v);
        else if (it->second != v)
            diff.push_back("~" + k + ": " + it->second + " -> " + v);
    }
    for (const auto& [k, v] : before)
        if (!after.count(k)) diff.push_back("-" + k + " = " + v);
    return diff;
}

} // namespace kxe2e
