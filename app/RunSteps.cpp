// The order of the installation run.
#include "app/InstallRun.h"
#include "app/InstallSteps.h"
#include "app/Registration.h"
#include "app/untSetupFM.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"

namespace kx {

void AddRunSteps(TSetupFM& form, void (*finish)(TSetupFM&)) {
    form.InstallSteps.push_back([&form] { StopServices(form); });
    form.InstallSteps.push_back([&form] { ExtractFiles(form); });
    form.InstallSteps.push_back([&form] { WriteUninstaller(form); });
    form.InstallSteps.push_back([&form] { CreateProgramGroup(form); });
    form.InstallSteps.push_back([&form] { RegisterUninstall(form); });
    form.InstallSteps.push_back([&form] { form.AddProgressLine(GetSetupMsg(msgInstallSuccess)); });
    form.InstallSteps.push_back([&form] { InstallService(form); });
    form.InstallSteps.push_back([&form, finish] { finish(form); });
}

} // namespace kx
