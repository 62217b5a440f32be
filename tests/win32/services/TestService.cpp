// A real Win32 service whose status reports the tests choose, and which
// registers and removes itself the way a package's service program does:
//   win_testsvc /install /silent [/name=NAME]    CreateServiceA with its own quoted path
//   win_testsvc /uninstall /silent [/name=NAME]  DeleteService
// Run by the service manager, it reads its behaviour from the values under
// Services\<name>\Parameters:
//   StartSteps, StopSteps (REG_SZ) "checkpoint,waitHint,durationMs;..." -- one
//       pending report per step, held for durationMs, before the final state;
//   RunningCheckPoint (DWORD)  checkpoint of the running report (default 0);
//   AcceptStop (DWORD)         0 refuses the stop control (default 1);
//   RunForMs (DWORD)           stops by itself after that long (default: never).
// It writes GetTickCount() into ReachedTick when it reports the final running or
// stopped state, so a test can tell how long after that its caller returned.
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "sys/Win32.h"

namespace {

const char kDefaultName[] = "KxTestSvc";

struct TStep {
    DWORD CheckPoint, WaitHint, DurationMs;
};

std::string gName = kDefaultName;
SERVICE_STATUS_HANDLE gStatusHandle = nullptr;
HANDLE gStopEvent = nullptr;
std::vector<TStep> gStopSteps;
DWORD gControlsAccepted = SERVICE_ACCEPT_STOP;

HKEY OpenParameters() {
    HKEY key = nullptr;
    std::string path = "SYSTEM\\CurrentControlSet\\Services\\" + gName + "\\Parameters";
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, KEY_READ, &key) != ERROR_SUCCESS) return nullptr;
    return key;
}

DWORD ReadDword(HKEY key, const char* name, DWORD def) {
    DWORD v = 0, size = sizeof v, type = 0;
    if (key && RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(&v), &size) == ERROR_SUCCESS &&
        type == REG_DWORD)
        return v;
    return def;
}

std::vector<TStep> ReadSteps(HKEY key, const char* name) {
    std::vector<TStep> steps;
    char buf[512] = {0};
    DWORD size = sizeof buf - 1, type = 0;
    if (!key || RegQueryValueExA(key, name, nullptr, &type, reinterpret_cast<BYTE*>(buf), &size) != ERROR_SUCCESS ||
        type != REG_SZ)
        return steps;
    const char* p = buf;
    while (*p) {
        TStep s{};
        char* end = nullptr;
        s.CheckPoint = std::strtoul(p, &end, 10);
        if (*end == ',') s.WaitHint = std::strtoul(end + 1, &end, 10);
        if (*end == ',') s.DurationMs = std::strtoul(end + 1, &end, 10);
        steps.push_back(s);
        p = *end == ';' ? end + 1 : end + std::strlen(end);
    }
    return steps;
}

void NoteReached() {
    HKEY key = nullptr;
    std::string path = "SYSTEM\\CurrentControlSet\\Services\\" + gName + "\\Parameters";
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) !=
        ERROR_SUCCESS)
        return;
    DWORD tick = GetTickCount();
    RegSetValueExA(key, "ReachedTick", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&tick), sizeof tick);
    RegCloseKey(key);
}

void Report(DWORD state, DWORD checkPoint, DWORD waitHint) {
    SERVICE_STATUS st{};
    st.dwServiceType = SERVICE_WIN32_OWN_PROCESS;
    st.dwCurrentState = state;
    st.dwControlsAccepted = (state == SERVICE_RUNNING) ? gControlsAccepted : 0;
    st.dwWin32ExitCode = NO_ERROR;
    st.dwCheckPoint = checkPoint;
    st.dwWaitHint = waitHint;
    SetServiceStatus(gStatusHandle, &st);
}

DWORD WINAPI Handler(DWORD control, DWORD, void*, void*) {
    if (control == SERVICE_CONTROL_STOP) {
        // The first stop report goes out before the manager answers the control,
        // so the caller's first status query already sees it.
        if (!gStopSteps.empty())
            Report(SERVICE_STOP_PENDING, gStopSteps[0].CheckPoint, gStopSteps[0].WaitHint);
        else
            Report(SERVICE_STOP_PENDING, 1, 0);
        SetEvent(gStopEvent);
        return NO_ERROR;
    }
    if (control == SERVICE_CONTROL_INTERROGATE) return NO_ERROR;
    return ERROR_CALL_NOT_IMPLEMENTED;
}

void WINAPI ServiceMain(DWORD argc, char** argv) {
    if (argc > 0 && argv[0] && *argv[0]) gName = argv[0];
    gStatusHandle = RegisterServiceCtrlHandlerExA(gName.c_str(), &Handler, nullptr);
    if (!gStatusHandle) return;
    gStopEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);

    HKEY params = OpenParameters();
    std::vector<TStep> startSteps = ReadSteps(params, "StartSteps");
    gStopSteps = ReadSteps(params, "StopSteps");
    DWORD runningCheckPoint = ReadDword(params, "RunningCheckPoint", 0);
    gControlsAccepted = ReadDword(params, "AcceptStop", 1) ? SERVICE_ACCEPT_STOP : 0;
    DWORD runFor = ReadDword(params, "RunForMs", INFINITE);
    if (params) RegCloseKey(params);

    for (const TStep& s : startSteps) {
        Report(SERVICE_START_PENDING, s.CheckPoint, s.WaitHint);
        Sleep(s.DurationMs);
    }
    NoteReached();
    Report(SERVICE_RUNNING, runningCheckPoint, 0);

    WaitForSingleObject(gStopEvent, runFor);
    for (std::size_t i = 0; i < gStopSteps.size(); ++i) {
        if (i > 0) Report(SERVICE_STOP_PENDING, gStopSteps[i].CheckPoint, gStopSteps[i].WaitHint);
        Sleep(gStopSteps[i].DurationMs);
    }
    NoteReached();
    Report(SERVICE_STOPPED, 0, 0);
}

std::string OwnPath() {
    char buf[MAX_PATH];
    DWORD n = GetModuleFileNameA(nullptr, buf, MAX_PATH);
    return std::string(buf, n < MAX_PATH ? n : 0);
}

int Install() {
    SC_HANDLE man = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!man) return 2;
    std::string image = "\"" + OwnPath() + "\"";
    SC_HANDLE svc = CreateServiceA(man, gName.c_str(), gName.c_str(), SERVICE_ALL_ACCESS, SERVICE_WIN32_OWN_PROCESS,
                                   SERVICE_DEMAND_START, SERVICE_ERROR_NORMAL, image.c_str(), nullptr, nullptr,
                                   nullptr, nullptr, nullptr);
    int rc = svc ? 0 : 3;
    if (svc) CloseServiceHandle(svc);
    CloseServiceHandle(man);
    return rc;
}

int Uninstall() {
    SC_HANDLE man = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
    if (!man) return 2;
    SC_HANDLE svc = OpenServiceA(man, gName.c_str(), DELETE);
    int rc = (svc && DeleteService(svc)) ? 0 : 3;
    if (svc) CloseServiceHandle(svc);
    CloseServiceHandle(man);
    return rc;
}

} // namespace

int main(int argc, char** argv) {
    bool install = false, uninstall = false;
    for (int i = 1; i < argc; ++i) {
        if (_stricmp(argv[i], "/install") == 0) install = true;
        else if (_stricmp(argv[i], "/uninstall") == 0) uninstall = true;
        else if (_strnicmp(argv[i], "/name=", 6) == 0) gName = argv[i] + 6;
    }
    if (install) return Install();
    if (uninstall) return Uninstall();

    char name[] = "";
    SERVICE_TABLE_ENTRYA table[] = {{name, &ServiceMain}, {nullptr, nullptr}};
    return StartServiceCtrlDispatcherA(table) ? 0 : 1;
}
