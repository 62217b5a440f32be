// Starting another program and waiting for it.
#include "sys/Process.h"

#include <vector>

#include "sys/Handles.h"
#include "sys/Win32.h"

namespace kx {

bool RunAndWait(const std::string& workDir, const std::string& commandLine) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESHOWWINDOW | STARTF_USESTDHANDLES;
    si.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION pi{};
    std::vector<char> cmd(commandLine.begin(), commandLine.end());
    cmd.push_back('\0');
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr,
                        workDir.empty() ? nullptr : workDir.c_str(), &si, &pi))
        return false;
    TKernelHandle process(pi.hProcess);
    CloseHandle(pi.hThread);
    return WaitForSingleObject(process.Get(), 10000) == WAIT_OBJECT_0;
}

} // namespace kx
