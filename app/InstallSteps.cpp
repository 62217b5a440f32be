// The installation steps of the setup program.
#include "app/InstallSteps.h"

#include "app/untSetupFM.h"

namespace kx {

// The run itself (services, file copy, registration) is added here step by step;
// until then Install runs an empty list and returns the form to its Ready state.
void AddInstallSteps(TSetupFM&) {}

} // namespace kx
