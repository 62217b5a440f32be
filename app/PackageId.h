// The names that every setup and the uninstaller of one package share, made from
// the package's uninstall key: the lock that lets one of them run at a time and
// the file of the run's journal.
#pragma once
#include <string>

namespace kx {

// The key's last part in letters and digits (at most 32), "-", and eight hex
// digits of a hash of the whole key without regard to ASCII case:
// "SOFTWARE\...\Uninstall\AcmeTool" gives "AcmeTool-" and the hash.
std::string PackageId(const std::string& regKey);

// The named mutex a setup holds from Install to its end and the uninstaller
// holds while it works: "Global\kxSetup-<id>" on the NT family (one for all
// sessions), "kxSetup-<id>" on the 9x family, which has no name spaces.
std::string PackageMutexName(const std::string& regKey, bool ntFamily);

// The file name of the run's journal: "kxSetup-<id>.jnl".
std::string JournalFileName(const std::string& regKey);

} // namespace kx
