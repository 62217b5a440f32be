// A DLL planted beside a program under the names of system DLLs: when loaded, it
// appends its own path to loaded.txt in its folder.
#include "sys/Win32.h"

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
    if (reason != DLL_PROCESS_ATTACH) return TRUE;
    char path[MAX_PATH];
    DWORD n = GetModuleFileNameA(self, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) return TRUE;
    char marker[MAX_PATH + 16];
    lstrcpynA(marker, path, MAX_PATH);
    char* slash = marker;
    for (char* p = marker; *p; ++p)
        if (*p == '\\') slash = p + 1;
    lstrcpynA(slash, "loaded.txt", 16);
    HANDLE h = CreateFileA(marker, FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS, 0,
                           nullptr);
    if (h != INVALID_HANDLE_VALUE) {
        DWORD written = 0;
        WriteFile(h, path, n, &written, nullptr);
        WriteFile(h, "\r\n", 2, &written, nullptr);
        CloseHandle(h);
    }
    return TRUE;
}
