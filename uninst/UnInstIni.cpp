// Reader of "UnInst.Ini", the uninstaller's settings file that the setup writes.
#include "uninst/UnInstIni.h"

#include "app/MemIniFile.h"
#include "app/SetupScript.h"
#include "base/Text.h"

namespace kx {

bool IsUsableRegKey(std::string_view key) {
    if (key.empty() || key.front() == '\\' || key.back() == '\\') return false;
    if (key.find("\\\\") != std::string_view::npos) return false;
    for (char c : key)
        if (static_cast<unsigned char>(c) < 0x20) return false;
    return true;
}

bool ReadUnInstIni(std::string_view text, TUnInstIni& ini) {
    ini = TUnInstIni{};
    const TMemIniFile file(text);
    if (!file.SectionExists("Reg")) return false;
    std::string key = file.ReadString("Reg", "RegKey", "");
    if (!IsUsableRegKey(key)) return false;
    ini.RegKey = key;
    for (const std::string& name : file.ReadSection("Service"))
        // A backslash would reach past one service's key.
        if (!name.empty() && name.find('\\') == std::string::npos) ini.Services.push_back(name);
    ini.FindClass = file.ReadString("Common", "FINDCLASS", "");
    ini.ReNameList = SplitReNameList(file.ReadString("Common", "ReNameList", ""));
    return true;
}

} // namespace kx
