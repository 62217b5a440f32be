// Turning the parsed install script into the wizard's fields.
#include "app/SetupScript.h"

#include "base/Text.h"

namespace kx {

std::string LangSectionPrefix(int setupLang) {
    switch (setupLang) {
    case 0: return "GB.";
    case 1: return "B5.";
    default: return "EN.";
    }
}

std::vector<std::string> SplitReNameList(std::string_view text) {
    std::vector<std::string> parts = SplitText(text, ';');
    if (parts.back().empty()) parts.pop_back();
    return parts;
}

std::string SuggestedInstallDir(const std::string& programFiles, const std::string& vendor, const std::string& prgDir) {
    std::string dir = programFiles;
    for (const std::string* part : {&vendor, &prgDir})
        if (!part->empty()) dir += *part + "\\";
    return dir;
}

void ReadSetupScript(const TMemIniFile& ini, int setupLang, TSetupFields& f, std::vector<std::string>& compNames) {
    f.FServices = ini.ReadSection("Service");
    f.FAutoReg = ini.ReadSection("AutoReg");
    f.FDestDirs = ini.ReadSectionValues("DESTDIR");

    f.FServiceFile = ini.ReadString("COMMON", "SERVICEFILE", "");
    f.FServiceName = ini.ReadString("COMMON", "SERVICENAME", "");
    f.FAutoRun = ini.ReadString("COMMON", "AutoRun", "");
    f.FFindClass = ini.ReadString("COMMON", "FindClass", "");
    f.FReNameList = SplitReNameList(ini.ReadString("COMMON", "ReNameList", ""));
    f.FWin9x = SameText(ini.ReadString("COMMON", "WIN9X", "FALSE"), "TRUE");
    f.FWin2k = SameText(ini.ReadString("COMMON", "WIN2K", "FALSE"), "TRUE");
    // The folder names of the package's maker; kxpack writes the default ones
    // into every script that names none, so a missing key means no folder.
    f.FVendorDir = ini.ReadString("COMMON", "VendorDir", "");
    f.FSharedDir = ini.ReadString("COMMON", "SharedDir", "");
    f.FProductVersion = ini.ReadString("COMMON", "ProductVersion", "");

    const std::string lang = LangSectionPrefix(setupLang);
    const std::string grp = lang + "GrpName";
    f.FGrpName = ini.ReadString(grp, "GrpName", "");
    f.FCompany = ini.ReadString(grp, "COMPANY", "");
    f.FVersion = ini.ReadString(grp, "VERSION", "");
    f.FRegKey = ini.ReadString(grp, "REG", "");
    f.FPrgDir = ini.ReadString(grp, "PRGDIR", "");
    f.FUnInst = SameText(ini.ReadString(grp, "UNINST", "TRUE"), "TRUE");

    compNames = ini.ReadSection(lang + "File");
    f.FCompFiles = ini.ReadSectionValues(lang + "File");
    f.FLinks = ini.ReadSectionValues(lang + "Link");
}

} // namespace kx
