// The installation steps of the setup program, in the order of the run.
#include "app/InstallSteps.h"


namespace kx {

void AddInstallSteps(TSetupFM& form) { AddRunSteps(form, FinishSetup); }

} // namespace kx
