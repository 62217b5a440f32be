// Started by a test through the shell: writes "<parent's process id>\r\n<working
// directory>\r\n" to probe.txt beside itself, and ends.
#include "sys/Win32.h"

#include <tlhelp32.h>

#include <cstdio>

int main() {
    DWORD parent = 0;
    HANDLE snap = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
    if (snap != INVALID_HANDLE_VALUE) {
        PROCESSENTRY32 pe{};
        pe.dwSize = sizeof pe;
        for (BOOL ok = Process32First(snap, &pe); ok; ok = Process32Next(snap, &pe))
            if (pe.th32ProcessID == GetCurrentProcessId()) parent = pe.th32ParentProcessID;
        CloseHandle(snap);
    }
    char self[MAX_PATH], cwd[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
    while (n > 0 && self[n - 1] != '\\') --n;
    lstrcpyA(self + n, "probe.txt");
    GetCurrentDirectoryA(MAX_PATH, cwd);
    FILE* f = std::fopen(self, "wb");
    if (!f) return 1;
    std::fprintf(f, "%lu\r\n%s\r\n", static_cast<unsigned long>(parent), cwd);
    std::fclose(f);
    return 0;
}
