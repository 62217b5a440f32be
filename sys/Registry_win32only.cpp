// TRegistry over the ANSI registry functions that every Windows family has.
#include "sys/Registry.h"

#include "base/Exception.h"
#include "base/Format.h"
#include "sys/untSetupUtils.h"

namespace kx {

bool TRegistry::OpenKey(const std::string& key, bool canCreate) {
    FKey.Reset();
    LONG rc = canCreate ? RegCreateKeyExA(FRoot, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS,
                                          nullptr, FKey.Put(), nullptr)
                        : RegOpenKeyExA(FRoot, key.c_str(), 0, KEY_ALL_ACCESS, FKey.Put());
    if (rc != ERROR_SUCCESS) FKey.Reset();
    return rc == ERROR_SUCCESS;
}

bool TRegistry::KeyExists(const std::string& key) const {
    TRegKey probe;
    return RegOpenKeyExA(FRoot, key.c_str(), 0, KEY_READ, probe.Put()) == ERROR_SUCCESS;
}

bool TRegistry::ValueExists(const std::string& name) const {
    return FKey && RegQueryValueExA(FKey.Get(), name.c_str(), nullptr, nullptr, nullptr, nullptr) == ERROR_SUCCESS;
}

std::string TRegistry::ReadString(const std::string& name) const {
    return FKey ? ReadRegText(FKey.Get(), name.c_str()) : std::string();
}

std::optional<std::uint32_t> TRegistry::ReadInteger(const std::string& name) const {
    if (!FKey) return std::nullopt;
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(FKey.Get(), name.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) ==
            ERROR_SUCCESS &&
        type == REG_DWORD && size == sizeof value)
        return value;
    const std::string text = ReadString(name);
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return static_cast<std::uint32_t>(std::stoul(text));
}

void TRegistry::WriteValue(const std::string& name, DWORD type, const void* data, DWORD size) {
    if (!FKey || RegSetValueExA(FKey.Get(), name.c_str(), 0, type, static_cast<const BYTE*>(data), size) !=
                     ERROR_SUCCESS)
        throw Exception(Format("Failed to set data for '%s'", name));
}

void TRegistry::WriteString(const std::string& name, const std::string& value) {
    WriteValue(name, REG_SZ, value.c_str(), static_cast<DWORD>(value.size() + 1));
}

void TRegistry::WriteInteger(const std::string& name, std::uint32_t value) {
    DWORD v = value;
    WriteValue(name, REG_DWORD, &v, sizeof v);
}

} // namespace kx
