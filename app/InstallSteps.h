// The installation steps that the form's Install button runs, in their order.
#pragma once

namespace kx {

class TSetupFM;

// Appends the program's installation steps to form.InstallSteps. Each setup
// program links one definition: the product's (app/InstallSteps.cpp) or a test
// build's.
void AddInstallSteps(TSetupFM& form);

// Appends the run's steps in their order, with finish as the last one (the
// restart question or the program's start, then the final message).
void AddRunSteps(TSetupFM& form, void (*finish)(TSetupFM&));

} // namespace kx
