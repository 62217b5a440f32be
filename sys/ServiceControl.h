// Service control: start, stop and start type of a service through the service
// manager, and its registry key.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "sys/SystemTypes.h"
#include "sys/Win32.h"

namespace kx {

// hMan and hService are passed together or not at all; handles passed in stay open.
bool StartService(const std::string& serviceName, int timeoutSeconds, SC_HANDLE hMan = nullptr,
                  SC_HANDLE hService = nullptr);
bool StopService(const std::string& serviceName, int timeoutSeconds, SC_HANDLE hMan = nullptr,
                 SC_HANDLE hService = nullptr);
void ChangeServiceToAutoStart(const std::string& serviceName, SC_HANDLE hMan = nullptr,
                              SC_HANDLE hService = nullptr, bool automatic = true);
// The text of "ImagePath" under the service key as stored (no expansion, quotes
// kept); empty when the key cannot be opened with full access or has no value.
std::string GetServiceImagePath(const std::string& serviceName);
// Deletes the service key with everything below it, depth first; silent. A name
// that is empty or holds a backslash addresses no single service and is ignored.
void DeleteServiceKey(const std::string& serviceName);

// What the service manager knows of the service; nothing when it is not
// registered (or there is no service manager).
std::optional<TServiceConfig> QueryServiceConfigOf(const std::string& serviceName);
// The service reports SERVICE_RUNNING (or is starting or pausing: anything but stopped).
bool IsServiceRunning(const std::string& serviceName);
bool SetServiceStartType(const std::string& serviceName, std::uint32_t startType);
// Registers a service with the configuration another registration had.
bool CreateServiceFrom(const std::string& serviceName, const TServiceConfig& config);
// Removes the registration through the service manager, then what is left of its key.
bool DeleteServiceNamed(const std::string& serviceName);

} // namespace kx
