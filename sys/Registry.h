// TRegistry: one key under a root, opened with full access, and the value
// operations the setup's registration needs.
#pragma once
#include <cstdint>
#include <optional>
#include <string>

#include "sys/Handles.h"
#include "sys/SystemTypes.h"
#include "sys/Win32.h"

namespace kx {

class TRegistry {
public:
    explicit TRegistry(HKEY root = HKEY_LOCAL_MACHINE) : FRoot(root) {}

    // Opens key under the root with full access (creating it when canCreate);
    // false when Windows refuses. A key opened before is closed first.
    bool OpenKey(const std::string& key, bool canCreate);
    void CloseKey() { FKey.Reset(); }
    // Whether key exists under the root (opened for reading only).
    bool KeyExists(const std::string& key) const;

    bool ValueExists(const std::string& name) const;
    // A string value as stored; empty when missing or not a string.
    std::string ReadString(const std::string& name) const;
    // A REG_DWORD, or a string of decimal digits; nothing otherwise.
    std::optional<std::uint32_t> ReadInteger(const std::string& name) const;

    // Both raise Exception "Failed to set data for '<name>'" when no key is open
    // or Windows refuses the value.
    void WriteString(const std::string& name, const std::string& value);
    void WriteInteger(const std::string& name, std::uint32_t value);

private:
    void WriteValue(const std::string& name, DWORD type, const void* data, DWORD size);

    HKEY FRoot;
    TRegKey FKey;
};

// Values and keys under HKEY_LOCAL_MACHINE as the installation run changes and
// undoes them: raw types and bytes, one key level at a time.
std::optional<TRegValue> ReadMachineValue(const std::string& key, const std::string& name);
bool WriteMachineValue(const std::string& key, const std::string& name, const TRegValue& value);
bool DeleteMachineValue(const std::string& key, const std::string& name);
bool MachineKeyExists(const std::string& key);
// The key itself (its parent exists); true when it exists afterwards.
bool CreateMachineKey(const std::string& key);
// Only a key without values and keys below it.
bool DeleteEmptyMachineKey(const std::string& key);

} // namespace kx
