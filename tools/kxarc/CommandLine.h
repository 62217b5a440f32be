// Command-line helpers that the tools share.
#pragma once
#include <string>
#include <vector>

#include "archive/ArchiveFormat.h"

namespace kx::kxarc {

// Messages go to stderr as "<tool>: <text>"; the tool's name is set once by main.
void SetToolName(const char* name);
const char* ToolName();
void ReportError(const std::string& text);
// The exit status of a bad command line, the same in every tool.
constexpr int ExitUsage = 2;
// Reports a bad command line with a pointer to --help; answers ExitUsage.
int UsageError(const std::string& message);

// The arguments after the program name, with "-j4" read as "-j 4" (for the short
// options listed in shortWithValue) and "--jobs=4" as "--jobs 4"; nothing after
// "--" is touched.
std::vector<std::string> SplitOptionValues(int argc, char** argv, const char* shortWithValue);

// Walks the arguments: options are handed out one by one, operands (and
// everything after "--") are kept aside.
class TArgReader {
public:
    TArgReader(const std::vector<std::string>& args, std::size_t first) : FArgs(args), FNext(first) {}
    // The next option; false when none is left.
    bool NextOption(std::string& option);
    // The option's value: the next argument, whatever it looks like.
    bool Value(std::string& out);
    const std::vector<std::string>& Operands() const { return FOperands; }

private:
    const std::vector<std::string>& FArgs;
    std::size_t FNext;
    bool FOperandsOnly = false;
    std::vector<std::string> FOperands;
};

struct TWriteOptions;
enum class TOptionRead { NotMine, Taken, Refused };
// The options of writing an archive that the tools share: -l/--level,
// -j/--jobs, --seed. A bad value is reported (Refused: exit with ExitUsage).
TOptionRead ReadWriteOption(const std::string& option, TArgReader& args, TWriteOptions& o);

// max (or maximum), normal, fast, superfast, none.
bool ParseLevel(const std::string& s, TCompressionLevel& level);

// A decimal number without sign of at most max.
bool ParseNumber(const std::string& s, unsigned long long max, unsigned long long& out);

} // namespace kx::kxarc
