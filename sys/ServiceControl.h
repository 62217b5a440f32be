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
std::string GetServiceImagePath(const std::string& serviceName);
void DeleteServiceKey(const std::string& serviceName);

} // namespace kx
