// Acme Tool's service program, a real Win32 service that registers itself:
//   acmesvc /install /silent    registers the service "AcmeSvc" with the service manager,
//                               its own full path in quotes as the command line, started on demand
//   acmesvc /uninstall /silent  stops the service and removes its registration and its log
// Started by the service manager it reports running, answers stop and shutdown
// requests, and appends a line to "acmesvc.log" beside itself at each start and
// stop. It never opens a window, with or without /silent. The exit code is 0, or
// the Windows error code of the call that failed.
#include <windows.h>

#include <cstring>

namespace {

const char kServiceName[] = "AcmeSvc";
const char kDisplayName[] = "Acme Tool Service";
const char kLogName[] = "acmesvc.log";

SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
HANDLE gStopEvent = nullptr;

// Full path of this program; false when it does not fit.
bool OwnPath(char (&path)[MAX_PATH]) {
    DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
    return n > 0 && n < MAX_PATH;
}

bool LogPath(char (&path)[MAX_PATH]) {
    if (!OwnPath(path)) return false;
    char* slash = std::strrchr(path, '\\');
    std::size_t dirLen = slash ? static_cast<std::size_t>(slash - path) + 1 : 0;
    if (dirLen + sizeof kLogName > MAX_PATH) return false;
    std::memcpy(path + dirLen, kLogName, sizeof kLogName);
    return true;
}

void WriteLog(const char* event) {
    char path[MAX_PATH];
    if (!LogPath(path)) return;
    HANDLE f = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (f == INVALID_HANDLE_VALUE) return;
    SYSTEMTIME t;
    GetLocalTime(&t);
    char line[128];
    int n = wsprintfA(line, "%04u-%02u-%02u %02u:%02u:%02u %s %s\r\n", t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute,
                      t.wSecond, kServiceName, event);
    DWORD written = 0;
    SetFilePointer(f, 0, nullptr, FILE_END);
    if (n > 0) WriteFile(f, line, static_cast<DWORD>(n), &written, nullptr);
    CloseHandle(f);
}

void Report(DWORD state) {
    SERVICE_STATUS st{};
    st.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    st.dwCurrentState = state;
    st.dwControlsAccepted = state == SERVICE_RUNNING ? SERVICE_ACCEPT_STOP | SERVICE_ACCEPT_SHUTDOWN : 0;
    st.dwWin32ExitCode = NO_ERROR;
    st.dwWaitHint = state == SERVICE_STOP_PENDING ? 3000 : 0;
    SetServiceStatus(gStatusHandle, &st);
}

void WINAPI Handler(DWORD control) {
    if (control == SERVICE_CONTROL_STOP || control == SERVICE_CONTROL_SHUTDOWN) {
        Report(SERVICE_STOP_PENDING);
        SetEvent(gStopEvent);
    }
}

void WINAPI ServiceMain(DWORD, char**) {
    gStatusHandle = RegisterServiceCtrlHandlerA(kServiceName, &Handler);
    if (!gStatusHandle) return;
    gStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
    if (!gStopEvent) {
        Report(SERVICE_STOPPED);
        return;
    }
    Report(SERVICE_RUNNING);
    WriteLog("started");
    WaitForSingleObject(gStopEvent, INFINITE);
    WriteLog("stopped");
    CloseHandle(gStopEvent);
    Report(SERVICE_STOPPED);
}

DWORD Install() {
    char path[MAX_PATH];
    if (!OwnPath(path)) return ERROR_FILENAME_EXCED_RANGE;
    // Quoted, so that Windows does not try "C:\Program.exe" for a path with blanks.
    char image[MAX_PATH + 2];
    wsprintfA(image, "\"%s\"", path);
    SC_HANDLE man = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE);
    if (!man) return GetLastError();
    SC_HANDLE svc = CreateServiceA(man, kServiceName, kDisplayName, SERVICE_QUERY_STATUS, SERVICE_WIN32_OWN_PROCESS,
                                   SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, image, nullptr, nullptr, nullptr,
                                   nullptr, nullptr);
    DWORD rc = svc ? ERROR_SUCCESS : GetLastError();
    if (svc) CloseServiceHandle(svc);
    CloseServiceHandle(man);
    return rc;
}

// Stops the service (waiting up to 20 seconds) and deletes its registration. A
// service that is not registered is already uninstalled.
DWORD Uninstall() {
    SC_HANDLE man = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!man) return GetLastError();
    DWORD rc = ERROR_SUCCESS;
    SC_HANDLE svc = OpenServiceA(man, kServiceName, SERVICE_STOP | SERVICE_QUERY_STATUS | DELETE);
    if (svc) {
        SERVICE_STATUS st{};
        if (ControlService(svc, SERVICE_CONTROL_STOP, &st)) {
            for (int waited = 0; waited < 20000 && st.dwCurrentState != SERVICE_STOPPED; waited += 100) {
                Sleep(100);
                if (!QueryServiceStatus(svc, &st)) break;
            }
        }
        if (!DeleteService(svc) && GetLastError() != ERROR_SERVICE_MARKED_FOR_DELETE) rc = GetLastError();
        CloseServiceHandle(svc);
    } else if (GetLastError() != ERROR_SERVICE_DOES_NOT_EXIST) {
        rc = GetLastError();
    }
    CloseServiceHandle(man);
    char log[MAX_PATH];
    if (rc == ERROR_SUCCESS && LogPath(log)) DeleteFileA(log);
    return rc;
}

bool HasSwitch(const char* commandLine, const char* name) {
    std::size_t len = std::strlen(name);
    for (const char* p = commandLine; (p = std::strchr(p, '/')) != nullptr; ++p) {
        char end = p[len];
        if (_strnicmp(p, name, len) == 0 && (end == '\0' || end == ' ' || end == '\t' || end == '"')) return true;
    }
    return false;
}

} // namespace

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR commandLine, int) {
    const char* args = commandLine ? commandLine : "";
    if (HasSwitch(args, "/uninstall")) return static_cast<int>(Uninstall());
    if (HasSwitch(args, "/install")) return static_cast<int>(Install());

    char name[sizeof kServiceName];
    std::memcpy(name, kServiceName, sizeof name);
    SERVICE_TABLE_ENTRYA table[] = {{name, &ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : static_cast<int>(GetLastError());
}
