// The setup program's switches, as deployment tools give them:
//   /S                 silent: no window, no message box
//   /D=path            the target folder (the last switch; the rest of the line, blanks and all)
//   /COMPONENTS=1,3    the components to install, numbered as the wizard lists them
//   /LOG=path          every progress line and error, with its time, into a file
//   /REBOOT            a silent run restarts Windows when a file waits for it
//   /?                 the switches in a message box
// Without switches the wizard runs as ever. Letters are compared without regard to case.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kx {

// The exit codes that deployment tools read (those of Windows Installer).
constexpr int kExitSuccess = 0;
constexpr int kExitCancelled = 1602;      // ERROR_INSTALL_USEREXIT
constexpr int kExitFailed = 1603;         // ERROR_INSTALL_FAILURE
constexpr int kExitBadCommandLine = 1639; // ERROR_INVALID_COMMAND_LINE
constexpr int kExitRestartNeeded = 3010;  // ERROR_SUCCESS_REBOOT_REQUIRED

struct TSetupCommandLine {
    bool Silent = false;
    bool Help = false;
    bool Reboot = false;
    std::string Dir;              // empty: the suggested folder
    std::string Log;              // empty: no log
    bool ComponentsGiven = false;
    std::vector<int> Components;  // from 1, in the order given, each once
    std::string Error;            // the switch that could not be read; empty when all could
};

// The arguments after the program's name (as GetCommandLine gives them, the
// program's name included: it is skipped, quoted or not).
TSetupCommandLine ParseSetupCommandLine(std::string_view commandLine);

} // namespace kx
