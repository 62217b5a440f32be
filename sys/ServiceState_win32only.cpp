// Querying a service's state for the reason it is not running.
#include "sys/ServiceState.h"

#include "sys/Handles.h"
#include "sys/Win32.h"

namespace kx {

unsigned long ServiceNotRunningReason(const std::string& serviceName) {
    TServiceHandle man(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
    if (!man) return GetLastError();
    TServiceHandle service(OpenServiceA(man.Get(), serviceName.c_str(), SERVICE_QUERY_STATUS));
    if (!service) return GetLastError();
    SERVICE_STATUS status{};
    if (!QueryServiceStatus(service.Get(), &status)) return GetLastError();
    if (status.dwCurrentState == SERVICE_RUNNING) return ERROR_SUCCESS;
    if (status.dwCurrentState == SERVICE_STOPPED && status.dwWin32ExitCode != ERROR_SUCCESS)
        return status.dwWin32ExitCode;
    return ERROR_SERVICE_REQUEST_TIMEOUT;
}

} // namespace kx
