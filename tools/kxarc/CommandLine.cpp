// Command-line helpers; see CommandLine.h.
#include "tools/kxarc/CommandLine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace kx::kxarc {

namespace {
const char* Tool = "kxarc";
} // namespace

void SetToolName(const char* name) { Tool = name; }

const char* ToolName() { return Tool; }

void ReportError(const std::string& text) { std::fprintf(stderr, "%s: %s\n", Tool, text.c_str()); }

int UsageError(const std::string& message) {
    std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", Tool, message.c_str(), Tool);
    return ExitUsage;
}

std::vector<std::string> SplitOptionValues(int argc, char** argv, const char* shortWithValue) {
    std::vector<std::string> args;
    bool rawOperands = false;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (rawOperands || a.size() < 3 || a[0] != '-') {
            args.push_back(a);
        } else if (a == "--") {
            rawOperands = true;
            args.push_back(a);
        } else if (a[1] == '-' && a.find('=') != std::string::npos) {
            args.push_back(a.substr(0, a.find('=')));
            args.push_back(a.substr(a.find('=') + 1));
        } else if (a[1] != '-' && std::strchr(shortWithValue, a[1])) {
            args.push_back(a.substr(0, 2));
            args.push_back(a.substr(2));
        } else {
            args.push_back(a);
        }
    }
    return args;
}

bool ParseLevel(const std::string& s, TCompressionLevel& level) {
    static const struct {
        const char* Name;
        TCompressionLevel Level;
    } table[] = {{"max", clMaximum}, {"maximum", clMaximum}, {"normal", clNormal}, {"fast", clFast},
                 {"superfast", clSuperFast}, {"none", clNone}};
    for (const auto& t : table)
        if (s == t.Name) {
            level = t.Level;
            return true;
        }
    return false;
}

bool ParseNumber(const std::string& s, unsigned long long max, unsigned long long& out) {
    if (s.empty() || s.size() > 19)
        return false;
    for (char c : s)
        if (c < '0' || c > '9')
            return false;
    out = std::strtoull(s.c_str(), nullptr, 10);
    return out <= max;
}

} // namespace kx::kxarc
