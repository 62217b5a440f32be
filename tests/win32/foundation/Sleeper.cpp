// A program that keeps running: "win_sleeper MS [EVENT]" signals the named event
// EVENT when it starts (so a test can see it is alive), then sleeps MS.
#include <cstdlib>

#include "sys/Win32.h"

int main(int argc, char** argv) {
    if (argc > 2) {
        HANDLE e = CreateEventA(nullptr, TRUE, FALSE, argv[2]);
        SetEvent(e);
    }
    Sleep(argc > 1 ? static_cast<DWORD>(std::atoi(argv[1])) : 0);
    return 0;
}
