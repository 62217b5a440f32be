// The modification time from stat, which has nanoseconds.
#include "sys/FileTimes.h"

#include <sys/stat.h>

namespace kx {

bool ModifiedTimeUtc(const std::string& path, std::int64_t& seconds, int& milliseconds) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) return false;
    seconds = static_cast<std::int64_t>(st.st_mtim.tv_sec);
    milliseconds = static_cast<int>(st.st_mtim.tv_nsec / 1000000);
    return true;
}

} // namespace kx
