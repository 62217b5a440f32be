// Resources of the program's own module.
#pragma once
#include <string>
#include <string_view>

namespace kx {

// The resource's bytes where Windows mapped them with the program: nothing is
// copied, and they stay valid while the program runs. Raises Exception
// "Resource %s not found".
std::string_view ResourceView(const std::string& name, const std::string& type);
// The resource's bytes; raises Exception "Resource %s not found".
std::string LoadResourceBytes(const std::string& name, const std::string& type);
// Writes the resource to path (created or replaced), then clears the file's
// attributes. Raises "Resource %s not found" or "Cannot create file %s".
void ExtractResourceToFile(const std::string& name, const std::string& type, const std::string& path);

} // namespace kx
