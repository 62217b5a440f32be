// The four kxarc commands over the archive components.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/kxarc/ArchiveIo.h"

namespace kx::kxarc {

// Exit codes, also listed in the usage text.
constexpr int ExitOk = 0;
constexpr int ExitDamaged = 1;   // damaged entries, files left out, names refused
constexpr int ExitFailure = 3;   // the archive cannot be opened, read or created

using TCreateOptions = TWriteOptions;

int CreateCommand(const std::string& archive, const std::vector<std::string>& paths, const TCreateOptions& o,
                  bool progress);
int ListCommand(const std::string& archive);
int TestCommand(const std::string& archive, bool progress);
int ExtractCommand(const std::string& archive, const std::string& dir, const std::vector<std::string>& names,
                   bool progress);

} // namespace kx::kxarc
