// Paths between the system's code page and the UTF-16 of std::filesystem.
#include "sys/NativePath.h"

#include "base/Exception.h"
#include "sys/Win32.h"

namespace kx {

std::filesystem::path NativeToPath(const std::string& native) {
    if (native.empty()) return {};
    const int n = MultiByteToWideChar(CP_ACP, 0, native.data(), static_cast<int>(native.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, native.data(), static_cast<int>(native.size()), wide.data(), n);
    return std::filesystem::path(wide);
}

std::string PathToNative(const std::filesystem::path& path) {
    const std::wstring& wide = path.native();
    if (wide.empty()) return {};
    BOOL lossy = FALSE;
    const int n = WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), nullptr, 0, nullptr,
                                      &lossy);
    std::string native(static_cast<std::size_t>(n), '\0');
    WideCharToMultiByte(CP_ACP, 0, wide.data(), static_cast<int>(wide.size()), native.data(), n, nullptr, &lossy);
    if (lossy)
        throw Exception("the name " + native + " cannot be written in the system's code page (" +
                        std::to_string(GetACP()) + "); rename it");
    return native;
}

} // namespace kx
