// Installation steps of the test build of the setup program, read from the
// environment: KX_SETUP_TEST_STEPS="line:TEXT;fail:TEXT;installdir;close;alive:FILE"
// adds a progress line, raises TEXT, shows FInstallDir as a progress line, asks
// the form to close, or writes "1" to FILE when the form's window still exists
// ("0" otherwise); one step per entry, in order.
#include <cstdlib>
#include <string>

#include "app/InstallSteps.h"
#include "app/untSetupFM.h"
#include "base/Exception.h"
#include "base/Text.h"
#include "sys/Files.h"
#include "sys/Win32.h"

namespace kx {

void AddInstallSteps(TSetupFM& form) {
    const char* steps = std::getenv("KX_SETUP_TEST_STEPS");
    if (!steps) return;
    for (const std::string& entry : SplitText(steps, ';')) {
        if (entry.rfind("line:", 0) == 0) {
            std::string text = entry.substr(5);
            form.InstallSteps.push_back([&form, text] { form.AddProgressLine(text); });
        } else if (entry == "close") {
            form.InstallSteps.push_back([&form] { PostMessageA(form.Handle(), WM_CLOSE, 0, 0); });
        } else if (entry.rfind("alive:", 0) == 0) {
            std::string path = entry.substr(6);
            form.InstallSteps.push_back([&form, path] {
                SaveStringToFile(path, form.Handle() && IsWindow(form.Handle()) ? "1" : "0");
            });
        } else if (entry == "installdir") {
            form.InstallSteps.push_back([&form] { form.AddProgressLine(form.FInstallDir); });
        } else if (entry.rfind("fail:", 0) == 0) {
            std::string text = entry.substr(5);
            form.InstallSteps.push_back([text] { throw Exception(text); });
        }
    }
}

} // namespace kx
