// Reading the install script embedded in the program (resource INIFILE of type KXFILE).
#pragma once
#include <string>
#include <vector>

#include "app/SetupScript.h"

namespace kx {

// Writes the script to a fresh temporary name, parses it and fills f and the
// component names for the language; the temporary copy is deleted on every way
// out. Errors of writing or reading the copy are raised.
void LoadSetupScriptResource(int setupLang, TSetupFields& f, std::vector<std::string>& compNames);

} // namespace kx
