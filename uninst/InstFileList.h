// The lines of "INSTFILE.LST", the setup's list of the files it installed.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kx {

// One entry per line (CR LF, CR or LF), blanks and control characters around it
// dropped, empty lines skipped. Each entry is still to be checked as a path.
std::vector<std::string> ReadInstFileList(std::string_view text);

} // namespace kx
