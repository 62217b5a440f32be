// std::filesystem paths from and to the 8-bit paths of the active code page
// that the rest of the system passes around (for the command-line tools).
// The standard library's own conversion of 8-bit text on Windows takes bytes
// as Latin-1 one way and gives UTF-8 the other, so a path of a folder named in
// the system's code page would not survive a round trip through it.
#pragma once
#include <filesystem>
#include <string>

namespace kx {

std::filesystem::path NativeToPath(const std::string& native);
// Raises Exception when a name on disk cannot be written in the code page
// (Windows: a name outside the system's code page).
std::string PathToNative(const std::filesystem::path& path);

} // namespace kx
