// Calls the real RestartSystem and reports whether this process outlived it:
// exit code 3 when nothing ended it within 20 seconds.
#include "sys/Win32.h"
#include "sys/untSetupUtils.h"

int main() {
    kx::RestartSystem();
    Sleep(20000);
    return 3;
}
