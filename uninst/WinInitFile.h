// "WinInit.ini", through which Windows 9x deletes and replaces files at its next start.
#pragma once
#include <string>
#include <string_view>

namespace kx {

// The file's text with "key=value" added as the last line of its [rename]
// section (made at the end when missing). Lines already there stay, duplicates
// included: Windows 9x carries out every "NUL=" line, which the profile
// functions, keeping one value per key, cannot write.
std::string AddWinInitRename(std::string_view text, std::string_view key, std::string_view value);

} // namespace kx
