// Why a service is not running, as a Windows error code.
#pragma once
#include <string>

namespace kx {

// 0 when the service runs. Otherwise the error that explains it: why it cannot be
// opened (for example ERROR_SERVICE_DOES_NOT_EXIST), the exit code it stopped
// with, or ERROR_SERVICE_REQUEST_TIMEOUT when it stopped without one or is still
// starting.
unsigned long ServiceNotRunningReason(const std::string& serviceName);

} // namespace kx
