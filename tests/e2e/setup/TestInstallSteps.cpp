// Installation steps of the test build of the setup program, read from the
// environment: KX_SETUP_TEST_STEPS="line:TEXT;fail:TEXT;installdir;..." adds a
// progress line, raises TEXT, or shows FInstallDir as a progress line, one step
// per entry, in order.
#include <cstdlib>
#include <string>

#include "app/InstallSteps.h"
#include "app/untSetupFM.h"
#include "base/Exception.h"
#include "base/Text.h"

namespace kx {

void AddInstallSteps(TSetupFM& form) {
    const char* steps = std::getenv("KX_SETUP_TEST_STEPS");
    if (!steps) return;
    for (const std::string& entry : SplitText(steps, ';')) {
        if (entry.rfind("line:", 0) == 0) {
            std::string text = entry.substr(5);
            form.InstallSteps.push_back([&form, text] { form.AddProgressLine(text); });
        } else if (entry == "installdir") {
            form.InstallSteps.push_back([&form] { form.AddProgressLine(form.FInstallDir); });
        } else if (entry.rfind("fail:", 0) == 0) {
            std::string text = entry.substr(5);
            form.InstallSteps.push_back([text] { throw Exception(text); });
        }
    }
}

} // namespace kx
