// Reading the setup program's switches.
#include "app/SetupCommandLine.h"

#include <algorithm>

#include "base/Text.h"

namespace kx {

namespace {

bool Blank(char c) { return c == ' ' || c == '\t'; }

// Skips the program's name: up to the closing quote, or the first blank.
std::size_t AfterProgram(std::string_view line) {
    std::size_t i = 0;
    while (i < line.size() && Blank(line[i])) ++i;
    if (i < line.size() && line[i] == '"') {
        const std::size_t close = line.find('"', i + 1);
        return close == std::string_view::npos ? line.size() : close + 1;
    }
    while (i < line.size() && !Blank(line[i])) ++i;
    return i;
}

// A value as written, without the quotes around it.
std::string Unquoted(std::string_view v) {
    if (v.size() >= 2 && v.front() == '"' && v.back() == '"') v = v.substr(1, v.size() - 2);
    return std::string(v);
}

bool StartsWith(std::string_view word, std::string_view name) {
    return word.size() >= name.size() && SameText(word.substr(0, name.size()), name);
}

bool ReadComponents(std::string_view list, std::vector<int>& out) {
    for (const std::string& part : SplitText(list, ',')) {
        const std::string n = Trim(part);
        if (n.empty() || n.size() > 5 || n.find_first_not_of("0123456789") != std::string::npos) return false;
        const int number = std::stoi(n);
        if (number < 1) return false;
        if (std::find(out.begin(), out.end(), number) == out.end()) out.push_back(number);
    }
    return !out.empty();
}

} // namespace

TSetupCommandLine ParseSetupCommandLine(std::string_view line) {
    TSetupCommandLine c;
    std::size_t i = AfterProgram(line);
    while (i < line.size()) {
        while (i < line.size() && Blank(line[i])) ++i;
        if (i >= line.size()) break;
        // /D= takes the rest of the line, blanks included, as NSIS's does.
        if (StartsWith(line.substr(i), "/D=")) {
            std::string dir = Unquoted(Trim(line.substr(i + 3)));
            if (dir.empty()) c.Error = "/D=";
            c.Dir = std::move(dir);
            break;
        }
        std::size_t end = i;
        bool quoted = false;
        while (end < line.size() && (quoted || !Blank(line[end]))) {
            if (line[end] == '"') quoted = !quoted;
            ++end;
        }
        const std::string_view word = line.substr(i, end - i);
        i = end;
        if (SameText(word, "/S")) {
            c.Silent = true;
        } else if (SameText(word, "/?") || SameText(word, "/HELP")) {
            c.Help = true;
        } else if (SameText(word, "/REBOOT")) {
            c.Reboot = true;
        } else if (StartsWith(word, "/LOG=") && word.size() > 5) {
            c.Log = Unquoted(word.substr(5));
        } else if (StartsWith(word, "/COMPONENTS=")) {
            c.ComponentsGiven = true;
            if (!ReadComponents(Unquoted(word.substr(12)), c.Components) && c.Error.empty())
                c.Error = std::string(word);
        } else if (c.Error.empty()) {
            c.Error = std::string(word);
        }
    }
    return c;
}

} // namespace kx
