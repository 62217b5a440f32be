// Windows' own texts for error codes.
#include "sys/SysError.h"

#include "base/Format.h"
#include "sys/Win32.h"

namespace kx {

std::string SysErrorMessage(unsigned long code) {
    char* buf = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, code, 0, reinterpret_cast<char*>(&buf), 0, nullptr);
    std::string text = n && buf ? std::string(buf, n) : std::string();
    if (buf) LocalFree(buf);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ')) text.pop_back();
    std::string message = Format("System Error.  Code: %u.", static_cast<std::int64_t>(code));
    return text.empty() ? message : message + "\r\n" + text;
}

} // namespace kx
