// Command-line helpers that the tools share.
#pragma once
#include <string>
#include <vector>

#include "archive/ArchiveFormat.h"

namespace kx::kxarc {

// The arguments after the program name, with "-j4" read as "-j 4" (for the short
// options listed in shortWithValue) and "--jobs=4" as "--jobs 4"; nothing after
// "--" is touched.
std::vector<std::string> SplitOptionValues(int argc, char** argv, const char* shortWithValue);

// max (or maximum), normal, fast, superfast, none.
bool ParseLevel(const std::string& s, TCompressionLevel& level);

// A decimal number without sign of at most max.
bool ParseNumber(const std::string& s, unsigned long long max, unsigned long long& out);

} // namespace kx::kxarc
