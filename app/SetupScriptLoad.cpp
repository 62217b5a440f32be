// Reading the install script embedded in the program through a temporary copy.
#include "app/SetupScriptLoad.h"

#include "sys/Files.h"
#include "sys/Resources.h"
#include "sys/TempFile.h"
#include "sys/untSetupUtils.h"

namespace kx {

void LoadSetupScriptResource(int setupLang, TSetupFields& f, std::vector<std::string>& compNames) {
    const std::string path = MakeSetupTempName();
    TTempFileGuard guard(path);
    ExtractResourceToFile("INIFILE", "KXFILE", path);
    TMemIniFile ini(LoadFileToString(path));
    ReadSetupScript(ini, setupLang, f, compNames);
}

} // namespace kx
