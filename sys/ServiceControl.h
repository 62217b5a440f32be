// Service control: start, stop and start type of a service through the service
// manager, and its registry key.
#pragma once
#include <string>

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

} // namespace kx
