// On POSIX systems paths are bytes, and std::filesystem keeps them as they are.
#include "sys/NativePath.h"

namespace kx {

std::filesystem::path NativeToPath(const std::string& native) { return std::filesystem::path(native); }

std::string PathToNative(const std::filesystem::path& path) { return path.string(); }

} // namespace kx
