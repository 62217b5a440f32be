// Starting another program.
#pragma once
#include <string>

namespace kx {

// Starts commandLine hidden in workDir and waits at most 10 seconds; true when it
// ended in that time. A program still running afterwards goes on unattended.
bool RunAndWait(const std::string& workDir, const std::string& commandLine);

} // namespace kx
