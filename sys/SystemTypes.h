// Plain records of what the system keeps: registry values and service
// configurations, shared by the Windows layer and the portable run.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

namespace kx {

// Registry value types the run writes and reads back.
constexpr std::uint32_t rvString = 1; // REG_SZ
constexpr std::uint32_t rvDword = 4;  // REG_DWORD

// A registry value as stored: its type and its bytes (a string with its zero).
struct TRegValue {
    std::uint32_t Type = 0;
    std::string Data;
    bool operator==(const TRegValue&) const = default;
};
TRegValue RegString(const std::string& text);
TRegValue RegDword(std::uint32_t value);
// The text of a string value up to its first zero; empty for other types.
std::string RegText(const std::optional<TRegValue>& value);
// A REG_DWORD, or a string of decimal digits; nothing otherwise.
std::optional<std::uint32_t> RegNumber(const std::optional<TRegValue>& value);

// What the service manager knows of a service: enough to register it again.
struct TServiceConfig {
    std::string ImagePath, DisplayName, Account, Dependencies; // Dependencies: names each followed by a zero
    std::uint32_t ServiceType = 0x10; // SERVICE_WIN32_OWN_PROCESS
    std::uint32_t StartType = 3;      // SERVICE_DEMAND_START
    std::uint32_t ErrorControl = 1;   // SERVICE_ERROR_NORMAL
    bool operator==(const TServiceConfig&) const = default;
};
constexpr std::uint32_t kServiceAutoStart = 2;

} // namespace kx
