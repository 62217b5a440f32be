// Acme Tool's hook library (placeholder): one exported function.
#include <windows.h>

extern "C" __declspec(dllexport) int AcmeHookVersion() { return 1; }

BOOL WINAPI DllMain(HINSTANCE, DWORD, LPVOID) { return TRUE; }
