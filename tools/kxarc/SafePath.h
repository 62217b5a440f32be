// Turning a stored entry name into a relative destination path that cannot leave
// the extraction directory.
#pragma once
#include <string>
#include <vector>

namespace kx::kxarc {

// The name split at "\" and "/" with empty and "." components dropped, or the reason
// why the name may not be extracted: an absolute name, a drive letter or a ".."
// component. A folder entry's trailing "." is fine; it simply vanishes.
struct TSafeName {
    bool Ok = false;
    std::vector<std::string> Components;
    std::string Reason;
};
TSafeName CheckStoredName(const std::string& name);

// Components joined with the platform's delimiter.
std::string JoinComponents(const std::vector<std::string>& components);

} // namespace kx::kxarc
