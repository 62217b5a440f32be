// What the driver's test files share: the language of the run and the programs
// and files named on its command line.
#pragma once
#include <string>

namespace kxe2e {

// The message tables' order for the run's code page: 0 GBK, 1 Big5, 2 any other.
int RunLang();
// Program Files as the system gives it to this 32-bit program ("Program Files
// (x86)" on 64-bit Windows), with a trailing backslash: where the setup suggests its folder.
std::string ProgramFilesDir();
// A text of the wizard as it shows it in this run's language (keys of SetupE2ETests.cpp).
std::string Expect(const char* key);

// The setup that installs in this run's family (the demo under the NT family,
// its variant without WIN2K under 9x), the same variant with a damaged payload
// entry, a package with overlapping components, the demo's payload files.
extern std::string gInstallSetup, gDamagedSetup, gLayoutSetup, gPayloadDir;

} // namespace kxe2e
