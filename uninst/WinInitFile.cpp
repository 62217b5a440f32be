// Adding a line to the [rename] section of "WinInit.ini".
#include "uninst/WinInitFile.h"

#include "base/Text.h"

namespace kx {

std::string AddWinInitRename(std::string_view text, std::string_view key, std::string_view value) {
    const std::string line = std::string(key) + "=" + std::string(value) + "\r\n";
    std::size_t insertAt = std::string_view::npos;
    bool inRename = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t end = text.find('\n', pos);
        end = end == std::string_view::npos ? text.size() : end + 1;
        const std::string trimmed = Trim(text.substr(pos, end - pos));
        if (!trimmed.empty() && trimmed.front() == '[') {
            if (inRename) break;
            const std::size_t close = trimmed.find(']');
            inRename = close != std::string::npos && SameText(Trim(trimmed.substr(1, close - 1)), "rename");
            if (inRename) insertAt = end;
        } else if (inRename && !trimmed.empty()) {
            insertAt = end;
        }
        pos = end;
    }
    std::string result(text);
    if (insertAt == std::string_view::npos) {
        if (!result.empty() && result.back() != '\n') result += "\r\n";
        return result + "[rename]\r\n" + line;
    }
    // The section's last line may be the file's last, without a line break.
    std::string prefix = result.substr(0, insertAt);
    if (!prefix.empty() && prefix.back() != '\n') prefix += "\r\n";
    return prefix + line + result.substr(insertAt);
}

} // namespace kx
