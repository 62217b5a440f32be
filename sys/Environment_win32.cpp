// Start-up and exit work on Windows: the named event, the sockets layer, the log switch.
#include "sys/Environment.h"

#include <winsock2.h>

#include "sys/Files.h"
#include "sys/Handles.h"
#include "sys/SysLog.h"
#include "sys/SystemLibrary.h"
#include "sys/Win32.h"

namespace kx {

namespace {
using TWSAStartup = int(WINAPI*)(WORD, LPWSADATA);
using TWSACleanup = int(WINAPI*)();

TKernelHandle gEvent;
// ws2_32 is not among the DLLs Windows always takes from the system directory,
// so it is loaded from there at run time rather than imported.
TWSACleanup gWSACleanup = nullptr;
} // namespace

void InitEnvironment() {
    gEvent.Reset(CreateEventA(nullptr, TRUE, TRUE, "VELMORAEVENT"));
    if (gEvent) SetEvent(gEvent.Get());
    HMODULE sockets = LoadSystemLibrary("ws2_32.dll");
    auto startup = GetProc<TWSAStartup>(sockets, "WSAStartup");
    auto cleanup = GetProc<TWSACleanup>(sockets, "WSACleanup");
    WSADATA data;
    if (!startup || !cleanup || startup(MAKEWORD(1, 1), &data) != 0)
        LogErrorAndAbort("I couldn't find a usable WinSock DLL");
    gWSACleanup = cleanup;
    SetLogEnabled(FileExists("EnableGLLog"));
}

void DoneEnvironment() {
    gEvent.Reset();
    if (gWSACleanup) gWSACleanup();
    gWSACleanup = nullptr;
}

} // namespace kx
