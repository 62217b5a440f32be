// The modification time as Windows keeps it: 100-nanosecond units since 1601 in UTC.
#include "sys/FileTimes.h"

#include "sys/Win32.h"

namespace kx {

bool ModifiedTimeUtc(const std::string& path, std::int64_t& seconds, int& milliseconds) {
    WIN32_FILE_ATTRIBUTE_DATA d;
    if (!GetFileAttributesExA(path.c_str(), GetFileExInfoStandard, &d)) return false;
    const std::int64_t units = static_cast<std::int64_t>(
        (static_cast<std::uint64_t>(d.ftLastWriteTime.dwHighDateTime) << 32) | d.ftLastWriteTime.dwLowDateTime);
    constexpr std::int64_t kUnitsFrom1601To1970 = 116444736000000000;
    std::int64_t ms = (units - kUnitsFrom1601To1970) / 10000;
    if ((units - kUnitsFrom1601To1970) % 10000 < 0) --ms; // whole milliseconds, rounded down
    seconds = ms >= 0 ? ms / 1000 : (ms - 999) / 1000;
    milliseconds = static_cast<int>(ms - seconds * 1000);
    return true;
}

} // namespace kx
