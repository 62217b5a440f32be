// The installation steps of the setup program, in the order of the run.
#include "app/InstallSteps.h"

#include "app/InstallRun.h"
#include "app/untSetupFM.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"

namespace kx {

void AddInstallSteps(TSetupFM& form) {
    form.InstallSteps.push_back([&form] { StopServices(form); });
    form.InstallSteps.push_back([&form] { ExtractFiles(form); });
    // WriteUninstaller, CreateProgramGroup and RegisterUninstall go here.
    form.InstallSteps.push_back([&form] { form.AddProgressLine(GetSetupMsg(msgInstallSuccess)); });
    // InstallService and FinishSetup go here.
}

} // namespace kx
