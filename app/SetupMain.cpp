// The setup program's entry: language, environment, COM, common controls, the form, the loop.
#include <memory>

#include "app/InstallSteps.h"
#include "app/untSetupFM.h"
#include "base/Exception.h"
#include "base/Random.h"
#include "lang/kxSetupLan.h"
#include "sys/Environment.h"
#include "sys/Handles.h"
#include "sys/SystemLibrary.h"
#include "sys/Win32.h"

#include <commctrl.h>

namespace {
// The exit codes deployment tools read (those of Windows Installer).
constexpr int kExitFailed = 1603;
} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
    kx::InitDllSafety();
    kx::InitLanguage(GetThreadLocale());
    kx::Randomize();
    try {
        kx::TEnvironmentScope environment;
        kx::TScopedComInit com;
        kx::InitCommonControlClasses(ICC_WIN95_CLASSES | ICC_PROGRESS_CLASS | ICC_STANDARD_CLASSES);
        kx::RegisterSetupClasses(instance);

        auto form = std::make_unique<kx::TSetupFM>(instance);
        if (!form->Terminated()) {
            if (!kx::CheckSetupPayload(*form)) return kExitFailed;
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
        return form->Terminated() ? 1 : 0;
    } catch (const kx::EAbort&) {
        return 1;
    } catch (const std::exception& e) {
        MessageBoxA(nullptr, e.what(), "Setup", MB_OK | MB_ICONERROR);
        return 1;
    }
}
