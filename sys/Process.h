// Starting another program.
#pragma once
#include <string>

namespace kx {

// How a program started by RunAndWaitFor went.
struct TRunOutcome {
    bool Started = false;      // false: Error holds why CreateProcess failed
    bool Ended = false;        // ended within the 10 seconds
    unsigned long ExitCode = 0; // when Ended
    unsigned long Error = 0;
};

// Starts commandLine hidden in workDir and waits at most 10 seconds; true when it
// ended in that time. A program still running afterwards goes on unattended.
bool RunAndWait(const std::string& workDir, const std::string& commandLine);
TRunOutcome RunAndWaitFor(const std::string& workDir, const std::string& commandLine);

// Opens file through the shell (verb "open", no parameters, SW_SHOWNORMAL) with
// workDir as working directory when not empty and owner as the owner window;
// the outcome is not reported.
void ShellOpen(const std::string& file, const std::string& workDir, void* owner);

} // namespace kx
