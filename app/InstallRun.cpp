// The run's beginning and StopServices.
#include "app/InstallRun.h"

#include "app/CopyStep.h"
#include "app/Registration.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"

namespace kx {

void BeginRun(TRunContext& c) {
    c.Journal.Begin(c.F.FCreatedDirs);
    std::vector<std::string> made;
    if (!c.Journal.MakeDirs(c.F.FInstallDir, made)) throw Exception("Unable to create directory");
    AddCreatedDirs(c.F.FCreatedDirs, made);
}

void StopServices(TRunContext& c) {
    for (const std::string& name : c.F.FServices) {
        if (name.empty()) continue;
        c.AddLine(Format(GetSetupMsg(msgStoppingService), name));
        // Time for the stopped program to let go of its files.
        if (c.Journal.StopService(name, 15)) c.System.Sleep(1500);
    }
}

namespace {

void AddSuccessLine(TRunContext& c) { c.AddLine(GetSetupMsg(msgInstallSuccess)); }

const TRunStep kSteps[] = {StopServices,       ExtractFiles,   WriteUninstaller, CreateProgramGroup,
                           RegisterUninstall,  AddSuccessLine, InstallService};

} // namespace

std::span<const TRunStep> RunSteps() { return kSteps; }

} // namespace kx
