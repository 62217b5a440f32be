// The installation steps of the setup program, in the order of the run.
#include "app/InstallSteps.h"

#include "app/InstallRun.h"
#include "app/Registration.h"
#include "app/untSetupFM.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"

namespace kx {

void AddInstallSteps(TSetupFM& form) {
    form.InstallSteps.push_back([&form] { StopServices(form); });
    form.InstallSteps.push_back([&form] { ExtractFiles(form); });
    form.InstallSteps.push_back([&form] { WriteUninstaller(form); });
    form.InstallSteps.push_back([&form] { CreateProgramGroup(form); });
    form.InstallSteps.push_back([&form] { RegisterUninstall(form); });
    form.InstallSteps.push_back([&form] { form.AddProgressLine(GetSetupMsg(msgInstallSuccess)); });
    form.InstallSteps.push_back([&form] { InstallService(form); });
    form.InstallSteps.push_back([&form] { FinishSetup(form); });
}

} // namespace kx
