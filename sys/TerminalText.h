// Text of a Chinese code page as the terminal shows it (for the command-line
// tools, whose messages quote names from the GBK and Big5 parts of a script).
#pragma once
#include <string>

namespace kx {

// text in codePage (936 GBK, 950 Big5) in the terminal's encoding: the
// locale's character set (POSIX) or the console's code page (Windows). The
// bytes come back unchanged where that cannot be done: codePage 0, text that
// is not valid in it, or a terminal that cannot show it.
std::string ToTerminalText(const std::string& text, unsigned codePage);

} // namespace kx
