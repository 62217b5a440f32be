// The installation steps that the form's Install button runs, in their order.
#pragma once
#include <functional>

namespace kx {

class TSetupFM;
struct TSetupCommandLine;

// Appends the program's installation steps to form.InstallSteps. Each setup
// program links one definition: the product's (app/InstallSteps.cpp) or a test
// build's.
void AddInstallSteps(TSetupFM& form);

// Appends the run's steps in their order, with finish as the last one (the
// restart question or the program's start, then the final message). The run
// holds the package's lock from its first step to its end, writes its journal,
// commits just before finish and rolls back when a step fails.
void AddRunSteps(TSetupFM& form, void (*finish)(TSetupFM&));

// The restart question, or the AutoRun program; the final message; the end.
void FinishSetup(TSetupFM& form);
// FinishSetup with the restart passed in, for builds that must not restart.
void FinishSetupWith(TSetupFM& form, const std::function<void()>& restartSystem);

// Before the first page: the whole payload checked (its structure, every
// block's CRC-32, every file the script names). When it is damaged the message
// says so and the answer is false: the program ends with nothing written.
bool CheckSetupPayload(TSetupFM& form);

// The whole silent run (/S) on a form that is never shown: the payload check,
// the recovery, the components and folder of the command line, the steps; the
// process's exit code (0, 3010, 1602, 1603 or 1639).
int RunSilently(TSetupFM& form, const TSetupCommandLine& options);

// Before the first page: a journal that a run of this package left (killed, or
// the power lost) is rolled back, or its commit finished, and a rollback is
// told in one message. Nothing while another setup or uninstall of the package
// holds its lock.
void RecoverInterruptedRun(TSetupFM& form);

} // namespace kx
