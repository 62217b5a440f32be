// Folders on the NT family that ordinary users may not write into: the target
// folder protected as Program Files is, and a private folder for work done with
// administrator rights. The 9x family has no protection to set.
#pragma once
#include <functional>
#include <string>

namespace kx {

// Who a folder's protection lets in. Administrators and SYSTEM always have full
// control; UsersReadExecute also lets the Users group read and run, as Program
// Files does. Every entry is inherited by what is made inside, and the folder
// does not take the entries of the folder above it.
enum class TFolderAccess { AdminsOnly, UsersReadExecute };

// That protection as a self-relative security descriptor holding its DACL;
// empty on the 9x family.
std::string FolderSecurityDescriptor(TFolderAccess access);

// Gives dir (and what is inside it already) the protection of Program Files.
// True when set; false on the 9x family, which has none, or when Windows refused
// (GetLastError says why).
bool ProtectFolder(const std::string& dir);

// A folder that did not exist before, made under parent (with its trailing
// backslash) by CreateDirectory with AdminsOnly protection, so that nothing
// planted there beforehand or afterwards by an ordinary user can be in it. The
// names come from nextName until CreateDirectory succeeds; a name under which
// anything exists is passed over, any other failure ends the attempt. Returns
// the folder with a trailing backslash, or empty text.
std::string CreatePrivateFolder(const std::string& parent, const std::function<std::string()>& nextName);
// The same with names of prefix and eight random hexadecimal digits.
std::string CreatePrivateFolder(const std::string& parent, const std::string& prefix);

} // namespace kx
