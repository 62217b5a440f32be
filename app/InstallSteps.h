// The installation steps that the form's Install button runs, in their order.
#pragma once

namespace kx {

class TSetupFM;

// Appends the program's installation steps to form.InstallSteps.
void AddInstallSteps(TSetupFM& form);

} // namespace kx
