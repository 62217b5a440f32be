// Command-line helpers; see CommandLine.h.
#include "tools/kxarc/CommandLine.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/kxarc/ArchiveIo.h"

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

bool TArgReader::NextOption(std::string& option) {
    while (FNext < FArgs.size()) {
        const std::string& a = FArgs[FNext++];
        if (FOperandsOnly || a.empty() || a[0] != '-' || a == "-") {
            FOperands.push_back(a);
        } else if (a == "--") {
            FOperandsOnly = true;
        } else {
            option = a;
            return true;
        }
    }
    return false;
}

bool TArgReader::Value(std::string& out) {
    if (FNext >= FArgs.size())
        return false;
    out = FArgs[FNext++];
    return true;
}

TOptionRead ReadWriteOption(const std::string& option, TArgReader& args, TWriteOptions& o) {
    auto refuse = [](const char* text) {
        UsageError(text);
        return TOptionRead::Refused;
    };
    std::string v;
    unsigned long long n = 0;
    if (option == "-l" || option == "--level") {
        if (!args.Value(v) || !ParseLevel(v, o.Level))
            return refuse("--level wants max, normal, fast, superfast or none");
    } else if (option == "-j" || option == "--jobs") {
        if (!args.Value(v) || !ParseNumber(v, 256, n) || n == 0)
            return refuse("--jobs wants a number from 1 to 256");
        o.Jobs = static_cast<unsigned>(n);
    } else if (option == "--seed") {
        if (!args.Value(v) || !ParseNumber(v, 0xFFFFFFFFu, n))
            return refuse("--seed wants a number from 0 to 4294967295");
        o.HaveSeed = true;
        o.Seed = static_cast<std::uint32_t>(n);
    } else {
        return TOptionRead::NotMine;
    }
    return TOptionRead::Taken;
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
