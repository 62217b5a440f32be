// Starts a setup program and reports whether it shows the wizard's first page:
// how the size limit of a setup image is found (bench/kxpack/load_limit.py).
//   first_page_probe SETUP.EXE
// Exit status 0 with "shown" when the licence page appears; 1 with "exited N"
// when the program ended first (the loader refused it: N is its status), 2 with
// "no window" after the time limit, 3 when the program cannot be started.
#include <cstdio>
#include <exception>

#include "SetupDriver.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: first_page_probe SETUP.EXE\n", stderr);
        return 3;
    }
    try {
        kxe2e::TSetupProcess setup(argv[1]);
        if (setup.WaitForForm(120000)) {
            const int page = setup.Page();
            std::printf("shown (page %d)\n", page);
            setup.Close();
            setup.WaitForExit(20000);
            return page == 0 ? 0 : 1;
        }
        DWORD code = 0;
        if (setup.WaitForExit(0, &code)) {
            std::printf("exited %lu (0x%08lX)\n", code, code);
            return 1;
        }
        std::printf("no window\n");
        return 2;
    } catch (const std::exception& e) {
        std::printf("cannot start: %s\n", e.what());
        return 3;
    }
}
