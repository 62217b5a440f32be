// TUnInstIni: what "UnInst.Ini" tells the uninstaller: the installation's key
// under HKEY_LOCAL_MACHINE, the services to stop and the running application.
#pragma once
#include <string>
#include <string_view>
#include <vector>

namespace kx {

struct TUnInstIni {
    std::string RegKey;                   // [Reg] RegKey
    std::vector<std::string> Services;    // the names of [Service]
    std::string FindClass;                // [Common] FINDCLASS: the running application's window class
    std::vector<std::string> ReNameList;  // [Common] ReNameList: its files that may be in use
};

// Reads the settings file's text. False when it names no usable key (no "[Reg]",
// no "RegKey=", or a key that is not a relative path under HKEY_LOCAL_MACHINE):
// then there is nothing the uninstaller may touch.
bool ReadUnInstIni(std::string_view text, TUnInstIni& ini);

// A key path relative to a root key: components separated by single backslashes,
// none empty, no control characters.
bool IsUsableRegKey(std::string_view key);

} // namespace kx
