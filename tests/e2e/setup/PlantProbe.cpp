// Loads version.dll by its bare name, as a program without DLL safety would:
// the control that shows a DLL planted in its folder is loaded under Wine.
#include "sys/Win32.h"

int main() { return LoadLibraryA("version.dll") ? 0 : 1; }
