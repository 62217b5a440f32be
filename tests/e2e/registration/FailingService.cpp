// A service program whose self-registration fails the way a real one does when
// the service manager refuses it: "/install" ends with ERROR_ACCESS_DENIED and
// registers nothing.
#include "sys/Win32.h"

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) { return ERROR_ACCESS_DENIED; }
