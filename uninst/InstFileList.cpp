// Reader of "INSTFILE.LST".
#include "uninst/InstFileList.h"

#include "base/Text.h"

namespace kx {

std::vector<std::string> ReadInstFileList(std::string_view text) {
    std::vector<std::string> entries;
    for (const std::string& line : SplitLines(text)) {
        std::string entry = Trim(line);
        if (!entry.empty()) entries.push_back(std::move(entry));
    }
    return entries;
}

} // namespace kx
