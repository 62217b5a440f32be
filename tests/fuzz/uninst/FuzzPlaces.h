// The fixed installation that the uninstaller's fuzz targets check records against.
#pragma once
#include <cstdlib>

#include "uninst/UninstPlan.h"

namespace kxfuzz {

inline kx::TUninstPlaces Places(unsigned codePage) {
    kx::TUninstPlaces p;
    p.CodePage = codePage;
    p.WindowsDir = "C:\\WINDOWS\\";
    p.SystemDir = "C:\\WINDOWS\\system32\\";
    p.CommonFilesDir = "C:\\Program Files\\Common Files\\";
    p.ProgramsDirs = {"C:\\Start Menu\\Programs\\"};
    p.ProtectedDirs = {"C:\\Program Files\\"};
    return p;
}

inline kx::TUninstEntry Entry() {
    kx::TUninstEntry e;
    e.UnInstallPath = "C:\\Program Files\\Acme\\";
    e.UnInstallString = "C:\\WINDOWS\\kxUnInst.exe";
    e.GroupDir = "C:\\Start Menu\\Programs\\Acme\\";
    return e;
}

// Whatever the records said, the plan acts only inside what the rules allow.
inline void CheckPlan(const kx::TUninstPlan& plan, const kx::TUninstPlaces& places) {
    using namespace kx;
    const unsigned cp = places.CodePage;
    for (const TPlannedFile& f : plan.Files) {
        if (CheckAbsolutePath(f.Path, cp) != TPathFault::None || EndsWithWinDelim(f.Path, cp)) std::abort();
        const bool inShared = IsInsideWinDir(f.Path, places.SystemDir, cp) || IsInsideWinDir(f.Path, places.CommonFilesDir, cp);
        if (f.Shared ? !inShared : !IsInsideWinDir(f.Path, plan.TargetDir, cp)) std::abort();
    }
    for (const std::string& d : plan.Dirs)
        if (CheckAbsolutePath(d, cp) != TPathFault::None || IsProtectedDir(d, places)) std::abort();
    for (const std::string& s : plan.Shortcuts)
        if (plan.GroupDir.empty() || !IsInsideWinDir(s, plan.GroupDir, cp)) std::abort();
    if (!plan.GroupDir.empty() && !IsInsideWinDir(plan.GroupDir, places.ProgramsDirs[0], cp)) std::abort();
    for (const std::string& k : plan.RegKeys)
        if (!IsUsableRegKey(k)) std::abort();
}

} // namespace kxfuzz
