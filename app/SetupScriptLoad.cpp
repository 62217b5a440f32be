// Reading the install script embedded in the program through a temporary copy.
#include "app/SetupScriptLoad.h"

#include "sys/Files.h"
#include "sys/Resources.h"
#include "sys/untSetupUtils.h"

namespace kx {

namespace {
// Deletes the temporary copy whatever happens between writing and parsing it.
class TTempFileGuard {
public:
    explicit TTempFileGuard(std::string path) : FPath(std::move(path)) {}
    ~TTempFileGuard() {
        FileSetAttr(FPath, 0);
        DeleteFile(FPath);
    }
    TTempFileGuard(const TTempFileGuard&) = delete;
    TTempFileGuard& operator=(const TTempFileGuard&) = delete;

private:
    std::string FPath;
};
} // namespace

void LoadSetupScriptResource(int setupLang, TSetupFields& f, std::vector<std::string>& compNames) {
    const std::string path = MakeSetupTempName();
    TTempFileGuard guard(path);
    ExtractResourceToFile("INIFILE", "KXFILE", path);
    TMemIniFile ini(LoadFileToString(path));
    ReadSetupScript(ini, setupLang, f, compNames);
}

} // namespace kx
