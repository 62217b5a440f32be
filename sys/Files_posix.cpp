// POSIX implementation of the portable file layer.
#include "sys/Files.h"

#include <sys/stat.h>
#include <sys/time.h>
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <ctime>

#include "base/Exception.h"
#include "sys/FileStream.h"

namespace kx {

namespace {

TDateTime FromTimeT(std::time_t t, long nsec) {
    std::tm tm{};
    localtime_r(&t, &tm);
    DateTimeParts p;
    p.Year = tm.tm_year + 1900;
    p.Month = tm.tm_mon + 1;
    p.Day = tm.tm_mday;
    p.Hour = tm.tm_hour;
    p.Minute = tm.tm_min;
    p.Second = tm.tm_sec > 59 ? 59 : tm.tm_sec;
    p.MilliSecond = static_cast<int>(nsec / 1000000);
    return EncodeDateTime(p);
}

} // namespace

bool ToTimeSpec(TDateTime t, struct timespec& ts) {
    if (!std::isfinite(t)) return false;
    DateTimeParts p = DecodeDateTime(t);
    std::tm tm{};
    tm.tm_year = p.Year - 1900;
    tm.tm_mon = p.Month - 1;
    tm.tm_mday = p.Day;
    tm.tm_hour = p.Hour;
    tm.tm_min = p.Minute;
    tm.tm_sec = p.Second;
    tm.tm_isdst = -1;
    std::time_t tt = mktime(&tm);
    if (tt == static_cast<std::time_t>(-1) && p.Year != 1969) return false;
    ts.tv_sec = tt;
    ts.tv_nsec = p.MilliSecond * 1000000L;
    return true;
}

TDateTime TimeSpecToDateTime(const struct timespec& ts) { return FromTimeT(ts.tv_sec, ts.tv_nsec); }

bool FileExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode);
}

bool DirectoryExists(const std::string& path) {
    struct stat st;
    return !path.empty() && stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool CreateDir(const std::string& path) { return mkdir(path.c_str(), 0777) == 0; }
bool RemoveDir(const std::string& path) { return rmdir(path.c_str()) == 0; }
bool DeleteFile(const std::string& path) { return !DirectoryExists(path) && unlink(path.c_str()) == 0; }
bool RenameFile(const std::string& from, const std::string& to) {
    return std::rename(from.c_str(), to.c_str()) == 0;
}

std::int32_t FileGetAttr(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return -1;
    std::int32_t a = S_ISDIR(st.st_mode) ? faDirectory : faArchive;
    if (!(st.st_mode & S_IWUSR)) a |= faReadOnly;
    return a;
}

bool FileSetAttr(const std::string& path, std::int32_t attr) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    mode_t m = st.st_mode & 07777;
    m = (attr & faReadOnly) ? (m & ~0222) : (m | S_IWUSR);
    return chmod(path.c_str(), m) == 0;
}

TDateTime FileAge(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return -1;
    return TimeSpecToDateTime(st.st_mtim);
}

bool FileSetDate(const std::string& path, TDateTime localTime) {
    struct timespec ts[2];
    if (!ToTimeSpec(localTime, ts[1])) return false;
    ts[0] = ts[1];
    return utimensat(AT_FDCWD, path.c_str(), ts, 0) == 0;
}

std::int64_t FileSize(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return -1;
    return st.st_size;
}

TDateTime Now() {
    struct timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return FromTimeT(ts.tv_sec, ts.tv_nsec);
}

char TimeSeparator() { return ':'; }
unsigned ActiveCodePage() { return 0; }

std::string GetCurrentDir() {
    char buf[PATH_MAX];
    return getcwd(buf, sizeof buf) ? std::string(buf) : std::string();
}

std::string GetTempDir() {
    const char* t = getenv("TMPDIR");
    std::string d = (t && *t) ? t : "/tmp";
    if (d.back() != '/') d += '/';
    return d;
}

std::string GetProgramFileName() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    return n > 0 ? std::string(buf, static_cast<std::size_t>(n)) : std::string();
}

} // namespace kx
