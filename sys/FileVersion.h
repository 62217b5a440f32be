// The version resource of a program file on disk.
#pragma once
#include <string>

namespace kx {

// The bytes of the file's RT_VERSION resource, read with the file loaded as data
// (nothing of it runs, and version.dll is not needed); empty when it has none.
std::string ReadVersionResource(const std::string& path);

} // namespace kx
