// The state of the machine as a run may change it: every file of C:\ (size,
// time, attributes and, below a size, a hash of its bytes), every folder, the
// values of HKEY_LOCAL_MACHINE's software and services keys, and the renames
// that wait for the restart.
#pragma once
#include <map>
#include <string>
#include <vector>

namespace kxe2e {

// What each item is now, by its name ("F C:\...", "K SOFTWARE\...", "V ...").
using TSnapshot = std::map<std::string, std::string>;

TSnapshot TakeSnapshot();
// One line per item added ("+"), gone ("-") or changed ("~").
std::vector<std::string> SnapshotDiff(const TSnapshot& before, const TSnapshot& after);

} // namespace kxe2e
