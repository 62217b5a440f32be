// Format: the "%s", "%d", "%x" and "%4.4d" patterns that messages and file names use.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace kx {

using FormatArg = std::variant<std::string, std::int64_t, double>;

// Supported: %s %d %u %x %X %f %g %% with optional "-", width and ".precision".
// %x gives upper-case digits. For %d a precision is the minimum digit count
// (zero-padded); for %s it truncates. A missing or mismatched argument raises
// Exception, never reads past the argument list.
std::string FormatV(std::string_view pattern, const std::vector<FormatArg>& args);

template <class T>
FormatArg ToFormatArg(const T& v) {
    if constexpr (std::is_floating_point_v<T>)
        return FormatArg(static_cast<double>(v));
    else if constexpr (std::is_integral_v<T> || std::is_enum_v<T>)
        return FormatArg(static_cast<std::int64_t>(v));
    else
        return FormatArg(std::string(v));
}

template <class... A>
std::string Format(std::string_view pattern, const A&... args) {
    return FormatV(pattern, std::vector<FormatArg>{ToFormatArg(args)...});
}

} // namespace kx
