// Installation steps of the registration test builds: the product's run, except
// that the restart is recorded in C:\windows\temp\kx-restart.txt instead of
// performed, so that a test can answer Yes inside its own Wine session.
#include "app/InstallRun.h"
#include "app/InstallSteps.h"
#include "app/Registration.h"
#include "app/untSetupFM.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"
#include "sys/Files.h"

namespace kx {

void AddInstallSteps(TSetupFM& form) {
    form.InstallSteps.push_back([&form] { StopServices(form); });
    form.InstallSteps.push_back([&form] { ExtractFiles(form); });
    form.InstallSteps.push_back([&form] { WriteUninstaller(form); });
    form.InstallSteps.push_back([&form] { CreateProgramGroup(form); });
    form.InstallSteps.push_back([&form] { RegisterUninstall(form); });
    form.InstallSteps.push_back([&form] { form.AddProgressLine(GetSetupMsg(msgInstallSuccess)); });
    form.InstallSteps.push_back([&form] { InstallService(form); });
    form.InstallSteps.push_back([&form] {
        FinishSetupWith(form, [] { SaveStringToFile("C:\\windows\\temp\\kx-restart.txt", "restart"); });
    });
}

} // namespace kx
