// Service control: start, stop and start type of a service through the local
// service manager, and the service's key in the registry.
#include "sys/ServiceControl.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "sys/Files.h"
#include "sys/Handles.h"
#include "sys/ServiceApi.h"
#include "sys/SysLog.h"
#include "sys/untSetupUtils.h"

namespace kx {

namespace {

const double kSecondsPerDay = 86400.0;

std::string ServiceKeyName(const std::string& serviceName) {
    return "SYSTEM\\CurrentControlSet\\Services\\" + serviceName;
}

// The handles one operation works with: those passed in, or those it opened
// itself, which alone it closes again (service first, then the manager).
struct TServiceHandles {
    TServiceHandle OwnMan;
    TServiceHandle OwnService;
    SC_HANDLE Man = nullptr;
    SC_HANDLE Service = nullptr;
};

// Opens what was not passed. False when the manager cannot be reached; the
// service handle stays empty when the service cannot be opened.
bool OpenHandles(TServiceHandles& h, const std::string& serviceName, SC_HANDLE hMan, SC_HANDLE hService,
                 DWORD managerAccess, DWORD serviceAccess, const char* operation) {
    // Without the manager's functions (the 9x family) no handle can exist.
    const TServiceApi& api = ServiceApi();
    h.Man = api.OpenSCManagerA ? hMan : nullptr;
    if (!h.Man) {
        if (api.OpenSCManagerA) h.OwnMan.Reset(api.OpenSCManagerA(nullptr, nullptr, managerAccess));
        if (!h.OwnMan) {
            WriteSysLog(std::string("Error in ") + operation + "(hMan = 0): " + serviceName, true);
            return false;
        }
        h.Man = h.OwnMan.Get();
    }
    h.Service = hService;
    if (!h.Service) {
        h.OwnService.Reset(api.OpenServiceA(h.Man, serviceName.c_str(), serviceAccess));
        h.Service = h.OwnService.Get();
    }
    return true;
}

// The longest single sleep of a wait: the wait hint as the service gave it, but
// never beyond the caller's timeout. A hint of 0xFFFFFFFF is INFINITE to Sleep.
DWORD BoundedWaitHint(DWORD waitHint, int timeoutSeconds) {
    const std::int64_t limit = timeoutSeconds > 0 ? std::int64_t(timeoutSeconds) * 1000 : 0;
    return waitHint > limit ? static_cast<DWORD>(std::min<std::int64_t>(limit, INFINITE - 1)) : waitHint;
}

// Waits while the service reports anything but the awaited state: sleeps the
// wait hint the service gave (at most the timeout), ends after timeoutSeconds, on
// a failed query or when the checkpoint goes down. The result is the state of the
// last status read.
bool WaitForState(SC_HANDLE service, SERVICE_STATUS& status, DWORD awaited, int timeoutSeconds) {
    TDateTime start = Now();
    while (status.dwCurrentState != awaited) {
        DWORD oldCheckPoint = status.dwCheckPoint;
        Sleep(BoundedWaitHint(status.dwWaitHint, timeoutSeconds));
        if (timeoutSeconds / kSecondsPerDay < Now() - start) break;
        if (!ServiceApi().QueryServiceStatus(service, &status)) break;
        if (status.dwCheckPoint < oldCheckPoint) break;
    }
    return status.dwCurrentState == awaited;
}

} // namespace

bool StartService(const std::string& serviceName, int timeoutSeconds, SC_HANDLE hMan, SC_HANDLE hService) {
    TServiceHandles h;
    if (!OpenHandles(h, serviceName, hMan, hService, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS, "StartService"))
        return false;
    if (!h.Service) return false;
    if (!ServiceApi().StartServiceA(h.Service, 0, nullptr)) return false;
    SERVICE_STATUS status{};
    if (!ServiceApi().QueryServiceStatus(h.Service, &status)) return false;
    return WaitForState(h.Service, status, SERVICE_RUNNING, timeoutSeconds);
}

bool StopService(const std::string& serviceName, int timeoutSeconds, SC_HANDLE hMan, SC_HANDLE hService) {
    TServiceHandles h;
    if (!OpenHandles(h, serviceName, hMan, hService, SC_MANAGER_CONNECT, SERVICE_STOP | SERVICE_QUERY_STATUS,
                     "StopService"))
        return false;
    if (!h.Service) return false;
    SERVICE_STATUS status{};
    if (!ServiceApi().ControlService(h.Service, SERVICE_CONTROL_STOP, &status)) return false;
    if (!ServiceApi().QueryServiceStatus(h.Service, &status)) return false;
    return WaitForState(h.Service, status, SERVICE_STOPPED, timeoutSeconds);
}

void ChangeServiceToAutoStart(const std::string& serviceName, SC_HANDLE hMan, SC_HANDLE hService, bool automatic) {
    TServiceHandles h;
    if (!OpenHandles(h, serviceName, hMan, hService, SC_MANAGER_ALL_ACCESS, SERVICE_ALL_ACCESS,
                     "ChangeServiceToAutoStart"))
        return;
    if (!h.Service) return;
    ServiceApi().ChangeServiceConfigA(h.Service, SERVICE_NO_CHANGE, automatic ? SERVICE_AUTO_START : SERVICE_DEMAND_START,
                         SERVICE_NO_CHANGE, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
}

std::string GetServiceImagePath(const std::string& serviceName) {
    // Read access is all it needs: an account that may not change the key still
    // learns which program is registered.
    TRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ServiceKeyName(serviceName).c_str(), 0, KEY_READ, key.Put()) !=
        ERROR_SUCCESS)
        return std::string();
    return ReadRegText(key.Get(), "ImagePath");
}

namespace {
void DeleteKeyTree(HKEY parent, const std::string& name) {
    {
        TRegKey key;
        if (RegOpenKeyExA(parent, name.c_str(), 0, KEY_ALL_ACCESS, key.Put()) != ERROR_SUCCESS) return;
        DWORD count = 0;
        if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &count, nullptr, nullptr, nullptr, nullptr,
                             nullptr, nullptr, nullptr) == ERROR_SUCCESS) {
            for (DWORD i = count; i-- > 0;) {
                char sub[256];
                DWORD len = sizeof sub;
                if (RegEnumKeyExA(key.Get(), i, sub, &len, nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS)
                    DeleteKeyTree(key.Get(), std::string(sub, len));
            }
        }
    }
    RegDeleteKeyA(parent, name.c_str());
}
} // namespace

void DeleteServiceKey(const std::string& serviceName) {
    // An empty name would address the Services key itself, with every service
    // below it, and a backslash would reach past the one service's key.
    if (serviceName.empty() || serviceName.find('\\') != std::string::npos) return;
    DeleteKeyTree(HKEY_LOCAL_MACHINE, ServiceKeyName(serviceName));
}

std::optional<TServiceConfig> QueryServiceConfigOf(const std::string& serviceName) {
    const TServiceApi& api = ServiceApi();
    if (!api.OpenSCManagerA || !api.QueryServiceConfigA) return std::nullopt;
    TServiceHandles h;
    if (!OpenHandles(h, serviceName, nullptr, nullptr, SC_MANAGER_CONNECT, SERVICE_QUERY_CONFIG, "QueryServiceConfig") ||
        !h.Service)
        return std::nullopt;
    DWORD needed = 0;
    api.QueryServiceConfigA(h.Service, nullptr, 0, &needed);
    if (needed == 0) return std::nullopt;
    std::string buffer(needed, '\0');
    auto* q = reinterpret_cast<QUERY_SERVICE_CONFIGA*>(buffer.data());
    if (!api.QueryServiceConfigA(h.Service, q, needed, &needed)) return std::nullopt;
    TServiceConfig c;
    c.ServiceType = q->dwServiceType;
    c.StartType = q->dwStartType;
    c.ErrorControl = q->dwErrorControl;
    if (q->lpBinaryPathName) c.ImagePath = q->lpBinaryPathName;
    if (q->lpDisplayName) c.DisplayName = q->lpDisplayName;
    if (q->lpServiceStartName) c.Account = q->lpServiceStartName;
    for (const char* d = q->lpDependencies; d && *d; d += std::strlen(d) + 1) c.Dependencies += std::string(d) + '\0';
    return c;
}

bool IsServiceRunning(const std::string& serviceName) {
    if (!ServiceApi().OpenSCManagerA) return false;
    TServiceHandles h;
    if (!OpenHandles(h, serviceName, nullptr, nullptr, SC_MANAGER_CONNECT, SERVICE_QUERY_STATUS, "IsServiceRunning") ||
        !h.Service)
        return false;
    SERVICE_STATUS status{};
    return ServiceApi().QueryServiceStatus(h.Service, &status) && status.dwCurrentState != SERVICE_STOPPED;
}

bool SetServiceStartType(const std::string& serviceName, std::uint32_t startType) {
    if (!ServiceApi().OpenSCManagerA) return false;
    TServiceHandles h;
    if (!OpenHandles(h, serviceName, nullptr, nullptr, SC_MANAGER_CONNECT, SERVICE_CHANGE_CONFIG,
                     "SetServiceStartType") ||
        !h.Service)
        return false;
    return ServiceApi().ChangeServiceConfigA(h.Service, SERVICE_NO_CHANGE, startType, SERVICE_NO_CHANGE, nullptr,
                                             nullptr, nullptr, nullptr, nullptr, nullptr, nullptr) != 0;
}

bool CreateServiceFrom(const std::string& serviceName, const TServiceConfig& config) {
    const TServiceApi& api = ServiceApi();
    if (!api.OpenSCManagerA || !api.CreateServiceA) return false;
    TServiceHandle man(api.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CREATE_SERVICE));
    if (!man) return false;
    const std::string dependencies = config.Dependencies + '\0';
    TServiceHandle service(api.CreateServiceA(
        man.Get(), serviceName.c_str(), config.DisplayName.empty() ? nullptr : config.DisplayName.c_str(),
        SERVICE_ALL_ACCESS, config.ServiceType, config.StartType, config.ErrorControl, config.ImagePath.c_str(),
        nullptr, nullptr, dependencies.c_str(), config.Account.empty() ? nullptr : config.Account.c_str(), nullptr));
    return static_cast<bool>(service);
}

bool DeleteServiceNamed(const std::string& serviceName) {
    const TServiceApi& api = ServiceApi();
    bool deleted = false;
    if (api.OpenSCManagerA && api.DeleteService) {
        TServiceHandles h;
        if (OpenHandles(h, serviceName, nullptr, nullptr, SC_MANAGER_CONNECT, DELETE, "DeleteService") && h.Service)
            deleted = api.DeleteService(h.Service) != 0 || GetLastError() == ERROR_SERVICE_MARKED_FOR_DELETE;
    }
    DeleteServiceKey(serviceName);
    return deleted || GetServiceImagePath(serviceName).empty();
}

} // namespace kx
