// Start-up and exit work on Windows: the named event, the sockets layer, the log switch.
#include "sys/Environment.h"

#include <winsock2.h>

#include "sys/Files.h"
#include "sys/Handles.h"
#include "sys/SysLog.h"
#include "sys/Win32.h"

namespace kx {

namespace {
TKernelHandle gEvent;
bool gSocketsStarted = false;
} // namespace

void InitEnvironment() {
    gEvent.Reset(CreateEventA(nullptr, TRUE, TRUE, "VELMORAEVENT"));
    if (gEvent) SetEvent(gEvent.Get());
    WSADATA data;
    if (WSAStartup(MAKEWORD(1, 1), &data) != 0)
        LogErrorAndAbort("I couldn't find a usable WinSock DLL");
    gSocketsStarted = true;
    SetLogEnabled(FileExists("EnableGLLog"));
}

void DoneEnvironment() {
    gEvent.Reset();
    if (gSocketsStarted) WSACleanup();
    gSocketsStarted = false;
}

} // namespace kx
