// The Windows side of the Wine install benchmark: drives a setup program to its
// last page, presses Install and prints the seconds until the final message
// (a restart question is answered No). "--noop" returns at once, so that the
// benchmark can time starting and ending a program under Wine.
//   bench_install_timer SETUP TARGET_DIR
#include <cstdio>
#include <string>

#include "app/SetupControlIds.h"
#include "tests/e2e/setup/SetupDriver.h"

using namespace kx;
using namespace kxe2e;

int main(int argc, char** argv) {
    if (argc == 2 && std::string(argv[1]) == "--noop") return 0;
    if (argc != 3) {
        std::fprintf(stderr, "usage: bench_install_timer SETUP TARGET_DIR\n");
        return 2;
    }
    TSetupProcess p(argv[1]);
    if (!p.WaitForForm(60000)) {
        std::fprintf(stderr, "no wizard\n");
        return 1;
    }
    p.Click(idBtnCancel);
    p.Click(idBtnNext);
    p.Type(idEdtInstallPath, argv[2]);
    p.Click(idBtnNext);
    LARGE_INTEGER freq, t0, t1;
    QueryPerformanceFrequency(&freq);
    QueryPerformanceCounter(&t0);
    p.ClickAsync(idBtnNext);
    std::string final;
    for (HWND box; (box = p.WaitForBox(3600 * 1000)) != nullptr;) {
        if (GetDlgItem(box, IDNO)) {
            p.Answer(box, IDNO);
            continue;
        }
        QueryPerformanceCounter(&t1);
        final = TSetupProcess::BoxText(box);
        p.Answer(box, IDOK);
        break;
    }
    if (final.empty()) {
        std::fprintf(stderr, "no final message\n");
        return 1;
    }
    std::printf("install seconds: %.3f\nfinal message: %s\n",
                static_cast<double>(t1.QuadPart - t0.QuadPart) / static_cast<double>(freq.QuadPart), final.c_str());
    p.WaitForExit(30000);
    // What the run opened (the group folder, the program it started) is closed again.
    for (HWND w; (w = FindWindowA("ExplorerWClass", nullptr)) != nullptr;)
        if (!SendMessageTimeoutA(w, WM_CLOSE, 0, 0, SMTO_NORMAL, 5000, nullptr) || IsWindow(w)) break;
    return 0;
}
