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

std::optional<TRegValue> ReadMachineValue(const std::string& key, const std::string& name) {
    TRegKey k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_QUERY_VALUE, k.Put()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(k.Get(), name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    // The value may grow between the two calls: ask again with what it says then.
    for (int attempt = 0; attempt < 3; ++attempt) {
        std::string data(size, '\0');
        DWORD got = size;
        const LONG rc = RegQueryValueExA(k.Get(), name.c_str(), nullptr, &type,
                                         reinterpret_cast<BYTE*>(data.data()), &got);
        if (rc == ERROR_SUCCESS) {
            data.resize(got);
            return TRegValue{type, data};
        }
        if (rc != ERROR_MORE_DATA) return std::nullopt;
        size = got;
    }
    return std::nullopt;
}

bool WriteMachineValue(const std::string& key, const std::string& name, const TRegValue& value) {
    TRegKey k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, k.Put()) != ERROR_SUCCESS) return false;
    return RegSetValueExA(k.Get(), name.c_str(), 0, value.Type, reinterpret_cast<const BYTE*>(value.Data.data()),
                          static_cast<DWORD>(value.Data.size())) == ERROR_SUCCESS;
}

bool DeleteMachineValue(const std::string& key, const std::string& name) {
    TRegKey k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_SET_VALUE, k.Put()) != ERROR_SUCCESS) return false;
    return RegDeleteValueA(k.Get(), name.c_str()) == ERROR_SUCCESS;
}

bool MachineKeyExists(const std::string& key) {
    TRegKey k;
    return RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, k.Put()) == ERROR_SUCCESS;
}

bool CreateMachineKey(const std::string& key) {
    TRegKey k;
    return RegCreateKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, REG_OPTION_NON_VOLATILE, KEY_READ, nullptr,
                           k.Put(), nullptr) == ERROR_SUCCESS;
}

bool DeleteEmptyMachineKey(const std::string& key) {
    {
        TRegKey k;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, k.Put()) != ERROR_SUCCESS) return true;
        DWORD keys = 0, values = 0;
        if (RegQueryInfoKeyA(k.Get(), nullptr, nullptr, nullptr, &keys, nullptr, nullptr, &values, nullptr, nullptr,
                             nullptr, nullptr) != ERROR_SUCCESS ||
            keys != 0 || values != 0)
            return false;
    }
    return RegDeleteKeyA(HKEY_LOCAL_MACHINE, key.c_str()) == ERROR_SUCCESS;
}

} // namespace kx
