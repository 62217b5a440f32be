// Starting another program and waiting for it; opening a file through the shell.
#include "sys/Process.h"

#include <vector>

#include "sys/Handles.h"
#include "sys/Win32.h"

#include <shellapi.h>

namespace kx {

TRunOutcome RunAndWaitFor(const std::string& workDir, const std::string& commandLine) {
    TRunOutcome outcome;
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        workDir.empty() ? nullptr : workDir.c_str(), &si, &pi)) {
        outcome.Error = GetLastError();
        return outcome;
    }
    outcome.Started = true;
    TKernelHandle process(pi.hProcess);
    CloseHandle(pi.hThread);
    outcome.Ended = WaitForSingleObject(process.Get(), 10000) == WAIT_OBJECT_0;
    DWORD code = 0;
    if (outcome.Ended && GetExitCodeProcess(process.Get(), &code)) outcome.ExitCode = code;
    return outcome;
}

bool RunAndWait(const std::string& workDir, const std::string& commandLine) {
    return RunAndWaitFor(workDir, commandLine).Ended;
}

void ShellOpen(const std::string& file, const std::string& workDir, void* owner) {
    ShellExecuteA(static_cast<HWND>(owner), "open", file.c_str(), nullptr, workDir.empty() ? nullptr : workDir.c_str(),
                  SW_SHOWNORMAL);
}

} // namespace kx
