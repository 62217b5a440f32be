// The terminal's encoding is the console's output code page.
#include "sys/TerminalText.h"

#include "sys/Win32.h"

namespace kx {

std::string ToTerminalText(const std::string& text, unsigned codePage) {
    if ((codePage != 936 && codePage != 950) || text.empty()) return text;
    UINT console = GetConsoleOutputCP();
    if (console == 0) console = GetACP();
    if (console == codePage) return text;
    const int n = MultiByteToWideChar(codePage, MB_ERR_INVALID_CHARS, text.data(), static_cast<int>(text.size()),
                                      nullptr, 0);
    if (n <= 0) return text;
    std::wstring wide(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(codePage, 0, text.data(), static_cast<int>(text.size()), wide.data(), n);
    BOOL lossy = FALSE;
    BOOL* lossyArg = console == CP_UTF8 ? nullptr : &lossy; // UTF-8 takes no such flag
    const int m = WideCharToMultiByte(console, 0, wide.data(), n, nullptr, 0, nullptr, lossyArg);
    if (m <= 0) return text;
    std::string out(static_cast<std::size_t>(m), '\0');
    WideCharToMultiByte(console, 0, wide.data(), n, out.data(), m, nullptr, lossyArg);
    return lossy ? text : out;
}

} // namespace kx
