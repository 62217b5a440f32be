// The text Windows gives for an error code.
#pragma once
#include <string>

namespace kx {

// "System Error.  Code: <code>." followed by a line break and Windows' own text
// for the code in the system's language, when it has one.
std::string SysErrorMessage(unsigned long code);

} // namespace kx
