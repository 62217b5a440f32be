// The service manager's functions, looked up in advapi32 at run time: the 9x
// family has no service manager, and a program that imported them by name
// would not load there.
#pragma once
#include "sys/Win32.h"

namespace kx {

struct TServiceApi {
    decltype(&::OpenSCManagerA) OpenSCManagerA = nullptr;
    decltype(&::OpenServiceA) OpenServiceA = nullptr;
    decltype(&::StartServiceA) StartServiceA = nullptr;
    decltype(&::ControlService) ControlService = nullptr;
    decltype(&::QueryServiceStatus) QueryServiceStatus = nullptr;
    decltype(&::ChangeServiceConfigA) ChangeServiceConfigA = nullptr;
    decltype(&::CloseServiceHandle) CloseServiceHandle = nullptr;
    decltype(&::DeleteService) DeleteService = nullptr; // may be null while the rest is there
    decltype(&::QueryServiceConfigA) QueryServiceConfigA = nullptr; // the same
    decltype(&::CreateServiceA) CreateServiceA = nullptr;           // the same
};

// Looked up once; a function the system lacks stays null, and OpenSCManagerA
// being null means there is no service manager.
const TServiceApi& ServiceApi();

} // namespace kx
