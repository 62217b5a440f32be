// The setup program's entry: language, environment, COM, common controls, the
// switches of the command line, the form (shown, or silent), the loop.
#include <memory>

#include "app/InstallSteps.h"
#include "app/RunLog.h"
#include "app/SetupCommandLine.h"
#include "app/untSetupFM.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "base/Random.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"
#include "sys/Environment.h"
#include "sys/Handles.h"
#include "sys/SystemLibrary.h"
#include "sys/Win32.h"

#include <commctrl.h>

namespace {

// The switches in a message box: /? asked for them, or a switch was not known.
int ShowSwitches(const kx::TSetupCommandLine& options) {
    std::string text = kx::GetSetupMsg(kx::msgSetupSwitches);
    if (!options.Error.empty()) text = kx::Format(kx::GetSetupMsg(kx::msgUnknownSwitch), options.Error) + "\r\n\r\n" + text;
    if (!options.Silent)
        MessageBoxA(nullptr, text.c_str(), "Setup", MB_OK | (options.Error.empty() ? MB_ICONINFORMATION : MB_ICONERROR));
    return options.Error.empty() ? kx::kExitSuccess : kx::kExitBadCommandLine;
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    kx::InitDllSafety();
    kx::InitLanguage(GetThreadLocale());
    kx::Randomize();
    const kx::TSetupCommandLine options = kx::ParseSetupCommandLine(GetCommandLineA());
    if (options.Help || !options.Error.empty()) return ShowSwitches(options);
    std::unique_ptr<kx::TRunLog> log;
    try {
        if (!options.Log.empty()) log = std::make_unique<kx::TRunLog>(options.Log);
        kx::TEnvironmentScope environment;
        kx::TScopedComInit com;
        kx::InitCommonControlClasses(ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES);
        kx::RegisterSetupClasses(instance);

        auto form = std::make_unique<kx::TSetupFM>(instance, options.Silent);
        if (log) form->OnLogLine = [&log](const std::string& line) { log->Write(line); };
        if (options.Silent) {
            kx::AddInstallSteps(*form);
            return kx::RunSilently(*form, options);
        }
        if (!form->Terminated()) {
            if (!kx::CheckSetupPayload(*form)) return kx::kExitFailed;
            kx::RecoverInterruptedRun(*form);
            kx::AddInstallSteps(*form);
            form->Show();
        }

        MSG msg;
        while (GetMessageA(&msg, nullptr, 0, 0) > 0) {
            if (form->Handle() && IsDialogMessageA(form->Handle(), &msg)) continue;
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
        return form->ExitCode();
    } catch (const kx::EAbort&) {
        return kx::kExitFailed;
    } catch (const std::exception& e) {
        if (log) log->Write(e.what());
        if (!options.Silent) MessageBoxA(nullptr, e.what(), "Setup", MB_OK | MB_ICONERROR);
        return kx::kExitFailed;
    }
}
