// Windows implementation of the portable file layer (ANSI API).
#include "sys/Files.h"

#include "sys/Handles.h"
#include "sys/Paths.h"
#include "sys/Win32.h"

namespace kx {

TDateTime FileTimeToLocalDateTime(const FILETIME& ft) {
    FILETIME local;
    SYSTEMTIME st;
    if (!FileTimeToLocalFileTime(&ft, &local) || !FileTimeToSystemTime(&local, &st)) return -1;
    DateTimeParts p{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
    return EncodeDateTime(p);
}

bool LocalDateTimeToFileTime(TDateTime t, FILETIME& ft) {
    if (!(t > -693594.0 && t < 2958466.0)) return false;
    DateTimeParts p = DecodeDateTime(t);
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(p.Year);
    st.wMonth = static_cast<WORD>(p.Month);
    st.wDay = static_cast<WORD>(p.Day);
    st.wHour = static_cast<WORD>(p.Hour);
    st.wMinute = static_cast<WORD>(p.Minute);
    st.wSecond = static_cast<WORD>(p.Second);
    st.wMilliseconds = static_cast<WORD>(p.MilliSecond);
    FILETIME local;
    return SystemTimeToFileTime(&st, &local) && LocalFileTimeToFileTime(&local, &ft);
}

bool FileExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY);
}

bool DirectoryExists(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

bool CreateDir(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }
bool RemoveDir(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }
bool DeleteFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }
bool RenameFile(const std::string& from, const std::string& to) { return MoveFileA(from.c_str(), to.c_str()) != 0; }

std::int32_t FileGetAttr(const std::string& path) {
    DWORD a = GetFileAttributesA(path.c_str());
    return a == INVALID_FILE_ATTRIBUTES ? -1 : static_cast<std::int32_t>(a);
}

bool FileSetAttr(const std::string& path, std::int32_t attr) {
    return SetFileAttributesA(path.c_str(), static_cast<DWORD>(attr)) != 0;
}

TDateTime FileAge(const std::string& path) {
    // Windows 9x refuses FILE_SHARE_DELETE as an invalid parameter.
    const DWORD share = FILE_SHARE_READ | FILE_SHARE_WRITE | (IsNTFamily() ? FILE_SHARE_DELETE : 0);
    TFileHandle h(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS,
                              nullptr));
    FILETIME ft;
    if (!h || !GetFileTime(h.Get(), nullptr, nullptr, &ft)) return -1;
    return FileTimeToLocalDateTime(ft);
}

bool FileSetDate(const std::string& path, TDateTime localTime) {
    TFileHandle h(CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr));
    FILETIME ft;
    return h && LocalDateTimeToFileTime(localTime, ft) && SetFileTime(h.Get(), nullptr, nullptr, &ft);
}

std::int64_t FileSize(const std::string& path) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) return -1;
    return (static_cast<std::int64_t>(d.nFileSizeHigh) << 32) | d.nFileSizeLow;
}

TDateTime Now() {
    SYSTEMTIME st;
    GetLocalTime(&st);
    DateTimeParts p{st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond, st.wMilliseconds};
    return EncodeDateTime(p);
}

char TimeSeparator() {
    char buf[8] = {0};
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_STIME, buf, sizeof buf) > 1 && buf[0]) return buf[0];
    return ':';
}

unsigned ActiveCodePage() { return GetACP(); }

std::string GetCurrentDir() {
    char buf[MAX_PATH + 1];
    DWORD n = GetCurrentDirectoryA(sizeof buf, buf);
    return (n > 0 && n < sizeof buf) ? std::string(buf, n) : std::string();
}

std::string GetTempDir() {
    char buf[MAX_PATH + 1];
    DWORD n = GetTempPathA(MAX_PATH, buf);
    std::string d = (n > 0 && n <= MAX_PATH) ? std::string(buf, n) : std::string();
    if (d.empty() || d.back() != '\\') d += '\\';
    return d;
}

std::string GetProgramFileName() {
    char buf[4096];
    DWORD n = GetModuleFileNameA(nullptr, buf, sizeof buf);
    return std::string(buf, n < sizeof buf ? n : 0);
}

} // namespace kx
