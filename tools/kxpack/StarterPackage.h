// kxpack --init: a starting package that builds as it is, with every part
// commented, for an author to fill in (docs/setup-ini.md describes the rest).
#pragma once
#include <string>

namespace kx::kxpack {

// Writes setup.ini, the three licences and files/readme.txt into dir, which
// must be new or empty; raises EInputOutput otherwise or when writing fails.
void WriteStarterPackage(const std::string& dir);

} // namespace kx::kxpack
