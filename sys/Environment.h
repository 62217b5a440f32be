// Start-up and exit work of the environment module.
#pragma once

namespace kx {

// Windows: creates the signalled manual-reset event "VELMORAEVENT", starts the
// sockets layer 1.1 (LogErrorAndAbort on failure) and reads the log switch.
// Elsewhere only the log switch. The switch is on exactly when the file
// "EnableGLLog" exists in the current directory now.
void InitEnvironment();
// Frees the event and shuts the sockets layer down; safe without InitEnvironment.
void DoneEnvironment();

class TEnvironmentScope {
public:
    TEnvironmentScope() { InitEnvironment(); }
    ~TEnvironmentScope() { DoneEnvironment(); }
    TEnvironmentScope(const TEnvironmentScope&) = delete;
    TEnvironmentScope& operator=(const TEnvironmentScope&) = delete;
};

} // namespace kx
