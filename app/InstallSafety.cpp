// The safety rules of installing and removing, over the places and file system given.
#include "app/InstallSafety.h"

#include <algorithm>

#include "app/MemIniFile.h"
#include "base/Text.h"
#include "base/WinPaths.h"

namespace kx {

bool IsProtectedDir(const std::string& dir, const TSystemPlaces& places) {
    const unsigned cp = places.CodePage;
    if (IsDriveRoot(dir, cp)) return true;
    auto guards = [&](const std::string& p) {
        return !p.empty() && (SameWinPath(dir, p, cp) || IsInsideWinDir(p, dir, cp));
    };
    if (guards(places.WindowsDir) || guards(places.SystemDir) || guards(places.CommonFilesDir)) return true;
    return std::any_of(places.ProgramsDirs.begin(), places.ProgramsDirs.end(), guards) ||
           std::any_of(places.ProgramFilesDirs.begin(), places.ProgramFilesDirs.end(), guards) ||
           std::any_of(places.ProtectedDirs.begin(), places.ProtectedDirs.end(), guards);
}

TInstallDirRefusal CheckInstallDir(const std::string& dir, const TSystemPlaces& places, const std::string& ownRegKey,
                                   const TFileReader& readFile) {
    const unsigned cp = places.CodePage;
    // What is no full path is refused on its way to being created.
    if (CheckAbsolutePath(dir, cp) != TPathFault::None) return TInstallDirRefusal::None;
    if (IsDriveRoot(dir, cp)) return TInstallDirRefusal::DriveRoot;
    if (IsProtectedDir(dir, places)) return TInstallDirRefusal::SystemFolder;
    const std::optional<std::string> ini = readFile(WithTrailingDelim(dir, cp) + "UnInst.Ini");
    if (ini) {
        const std::string key = TMemIniFile(*ini).ReadString("Reg", "RegKey", std::string());
        if (key.empty() || !SameText(key, ownRegKey)) return TInstallDirRefusal::OtherPackage;
    }
    return TInstallDirRefusal::None;
}

std::string FolderToProtect(const std::string& installDir, const std::vector<std::string>& createdDirs,
                            const TSystemPlaces& places) {
    const unsigned cp = places.CodePage;
    std::string outermost;
    for (const std::string& d : createdDirs) {
        if (!SameWinPath(d, installDir, cp) && !IsInsideWinDir(installDir, d, cp)) continue;
        if (outermost.empty() || IsInsideWinDir(outermost, d, cp)) outermost = d;
    }
    if (outermost.empty()) return outermost;
    for (const std::string& p : places.ProgramFilesDirs)
        if (!p.empty() && (SameWinPath(outermost, p, cp) || IsInsideWinDir(outermost, p, cp))) return std::string();
    return WithTrailingDelim(outermost, cp);
}

std::string FirstReparsePoint(const std::string& path, const std::string& base, const TAttributeReader& attributes,
                              unsigned codePage) {
    const std::string bare = WithoutTrailingDelim(path, codePage);
    std::vector<std::string> chain;
    if (IsInsideWinDir(bare, base, codePage)) {
        const std::string baseDir = WithTrailingDelim(base, codePage);
        std::string at = bare.substr(0, baseDir.size());
        for (const std::string& part : SplitWinPath(bare.substr(baseDir.size()), codePage)) {
            at += part;
            chain.push_back(at);
            at += '\\';
        }
    } else {
        chain.push_back(bare);
    }
    for (const std::string& component : chain) {
        const std::optional<std::uint32_t> attr = attributes(component);
        if (!attr) break;
        if (*attr & kAttrReparsePoint) return component;
    }
    return std::string();
}

} // namespace kx
