// Installation steps of the registration test builds: the files are placed the
// way the copy step places them, from the folder named by KX_REG_SOURCE, then the
// registration steps run as in the product, except that the restart is recorded
// in C:\windows\temp\kx-restart.txt instead of performed. KX_REG_NEED_REBOOT=1
// makes the run need a restart.
#include <cstdlib>
#include <string>

#include "app/InstallSteps.h"
#include "app/Registration.h"
#include "app/untSetupFM.h"
#include "base/Text.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"
#include "sys/Files.h"
#include "sys/Paths.h"
#include "sys/ServiceControl.h"
#include "sys/Win32.h"

namespace kx {

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// The file entries of the checked components, as the copy step takes them.
std::vector<std::string> SelectedEntries(TSetupFM& form) {
    std::vector<std::string> entries;
    for (int i = 0; i < form.CompCount() && i < static_cast<int>(form.FCompFiles.size()); ++i) {
        if (!form.CompChecked(i)) continue;
        const std::string& line = form.FCompFiles[static_cast<std::size_t>(i)];
        for (const std::string& e : SplitText(line.substr(line.find('=') + 1), ';'))
            if (!e.empty()) entries.push_back(e);
    }
    return entries;
}

std::string SubDirOf(const TSetupFM& form, const std::string& name) {
    for (const std::string& line : form.FDestDirs) {
        std::size_t eq = line.find('=');
        if (eq == std::string::npos) continue;
        for (const std::string& f : SplitText(line.substr(eq + 1), ';'))
            if (SameText(f, name)) return line.substr(0, eq);
    }
    return std::string();
}

void PlaceFiles(TSetupFM& form) {
    for (const std::string& service : form.FServices) StopService(service, 15);
    const std::string source = AddTrailingBackslash(Env("KX_REG_SOURCE"));
    form.FSelFiles = SelectedEntries(form);
    form.FPlacedFiles.clear();
    for (const std::string& entry : form.FSelFiles) {
        const std::size_t bracket = entry.find('[');
        const std::string name = entry.substr(0, bracket);
        char letter = bracket != std::string::npos && bracket + 1 < entry.size() ? entry[bracket + 1] : 'P';
        letter = static_cast<char>(letter == 's' || letter == 'c' ? letter - 32 : letter);
        std::string folder = letter == 'S' ? GetSystemPath() : letter == 'C' ? GetCommonFilesPath() : form.FInstallDir;
        const std::string sub = SubDirOf(form, name);
        if (!sub.empty()) folder = AddTrailingBackslash(folder) + sub + "\\";
        MakeDirPath(folder, form.FCreatedDirs);
        const std::string dest = folder + name;
        const bool existed = FileExists(dest);
        FileSetAttr(dest, 0);
        CopyFileA((source + name).c_str(), dest.c_str(), FALSE);
        form.FPlacedFiles.push_back(TPlacedFile{dest, letter == 'S' || letter == 'C' ? letter : 'P', false,
                                                static_cast<std::uint64_t>(FileSize(dest)), existed});
        form.AddProgressLine(dest);
    }
    if (Env("KX_REG_NEED_REBOOT") == "1") form.FNeedReboot = true;
}

} // namespace

void AddInstallSteps(TSetupFM& form) {
    TSetupFM* f = &form;
    form.InstallSteps = {
        [f] { PlaceFiles(*f); },
        [f] { WriteUninstaller(*f); },
        [f] { CreateProgramGroup(*f); },
        [f] { RegisterUninstall(*f); },
        [f] { f->AddProgressLine(GetSetupMsg(msgInstallSuccess)); },
        [f] { InstallService(*f); },
        [f] {
            FinishSetupWith(*f, [] { SaveStringToFile("C:\\windows\\temp\\kx-restart.txt", "restart"); });
        },
    };
}

} // namespace kx
