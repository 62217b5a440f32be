// Installation steps of the registration test builds: the product's run, except
// that the restart is recorded in C:\windows\temp\kx-restart.txt instead of
// performed, so that a test can answer Yes inside its own Wine session.
#include "app/InstallSteps.h"
#include "app/Registration.h"
#include "sys/Files.h"

namespace kx {

void AddInstallSteps(TSetupFM& form) {
    AddRunSteps(form, [](TSetupFM& f) {
        FinishSetupWith(f, [] { SaveStringToFile("C:\\windows\\temp\\kx-restart.txt", "restart"); });
    });
}

} // namespace kx
