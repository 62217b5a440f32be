// Querying a service's state for the reason it is not running.
#include "sys/ServiceState.h"

#include "sys/Handles.h"
#include "sys/ServiceApi.h"
#include "sys/Win32.h"

namespace kx {

unsigned long ServiceNotRunningReason(const std::string& serviceName) {
    const TServiceApi& api = ServiceApi();
    if (!api.OpenSCManagerA) return ERROR_CALL_NOT_IMPLEMENTED;
    TServiceHandle man(api.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!man) return GetLastError();
    TServiceHandle service(api.OpenServiceA(man.Get(), serviceName.c_str(), SERVICE_QUERY_STATUS));
    if (!service) return GetLastError();
    SERVICE_STATUS status{};
    if (!api.QueryServiceStatus(service.Get(), &status)) return GetLastError();
    if (status.dwCurrentState == SERVICE_RUNNING) return ERROR_SUCCESS;
    if (status.dwCurrentState == SERVICE_STOPPED && status.dwWin32ExitCode != ERROR_SUCCESS)
        return status.dwWin32ExitCode;
    return ERROR_SERVICE_REQUEST_TIMEOUT;
}

} // namespace kx
