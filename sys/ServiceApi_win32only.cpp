// The service manager's functions, looked up in advapi32 at run time.
#include "sys/ServiceApi.h"

#include "sys/SystemLibrary.h"

namespace kx {

const TServiceApi& ServiceApi() {
    static const TServiceApi api = [] {
        TServiceApi a;
        // advapi32 is imported for the registry, so it is loaded already.
        HMODULE advapi = GetModuleHandleA("advapi32.dll");
        a.OpenSCManagerA = GetProc<decltype(a.OpenSCManagerA)>(advapi, "OpenSCManagerA");
        a.OpenServiceA = GetProc<decltype(a.OpenServiceA)>(advapi, "OpenServiceA");
        a.StartServiceA = GetProc<decltype(a.StartServiceA)>(advapi, "StartServiceA");
        a.ControlService = GetProc<decltype(a.ControlService)>(advapi, "ControlService");
        a.QueryServiceStatus = GetProc<decltype(a.QueryServiceStatus)>(advapi, "QueryServiceStatus");
        a.ChangeServiceConfigA = GetProc<decltype(a.ChangeServiceConfigA)>(advapi, "ChangeServiceConfigA");
        a.CloseServiceHandle = GetProc<decltype(a.CloseServiceHandle)>(advapi, "CloseServiceHandle");
        a.DeleteService = GetProc<decltype(a.DeleteService)>(advapi, "DeleteService");
        a.QueryServiceConfigA = GetProc<decltype(a.QueryServiceConfigA)>(advapi, "QueryServiceConfigA");
        a.CreateServiceA = GetProc<decltype(a.CreateServiceA)>(advapi, "CreateServiceA");
        if (!a.OpenServiceA || !a.StartServiceA || !a.ControlService || !a.QueryServiceStatus ||
            !a.ChangeServiceConfigA || !a.CloseServiceHandle)
            a.OpenSCManagerA = nullptr;
        return a;
    }();
    return api;
}

} // namespace kx
