// Text helpers over 8-bit strings: ASCII case rules, trimming, splitting.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kx {

// Case-insensitive comparison of ASCII letters only; other bytes compare as they are,
// so double-byte text is never folded.
int CompareText(std::string_view a, std::string_view b);
bool SameText(std::string_view a, std::string_view b);
std::string UpperCase(std::string_view s);
std::string LowerCase(std::string_view s);

// Removes leading and trailing blanks and control characters (bytes up to 0x20).
std::string Trim(std::string_view s);

// Splits at every occurrence of sep; n separators give n + 1 parts.
std::vector<std::string> SplitText(std::string_view s, char sep);

// Splits into lines at CR LF, a lone CR or a lone LF; a final line break adds no line.
std::vector<std::string> SplitLines(std::string_view s);

} // namespace kx
