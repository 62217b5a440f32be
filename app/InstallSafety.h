// The rules that keep an installation and its removal from harming the system:
// which folders are the system's own, which target folders the setup refuses,
// which folder it protects, and the reparse points that no removal goes through.
// Portable: the places and the file system are passed in.
#pragma once
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "sys/SystemPlaces.h"

namespace kx {

// A drive root, one of the places' folders, or a folder above one of them.
bool IsProtectedDir(const std::string& dir, const TSystemPlaces& places);

// Why the directory page refuses a target folder.
enum class TInstallDirRefusal {
    None,
    DriveRoot,    // "C:\": the files would lie among the system's
    SystemFolder, // a folder of Windows or of all programs, or a folder above one
    OtherPackage, // it holds the "UnInst.Ini" of another package (or one nobody can read)
};

// The contents of a file; nullopt when there is none.
using TFileReader = std::function<std::optional<std::string>(const std::string& path)>;

// dir is an absolute path (with or without its trailing backslash); ownRegKey is
// the package's uninstall key: its own "UnInst.Ini" is no refusal.
TInstallDirRefusal CheckInstallDir(const std::string& dir, const TSystemPlaces& places, const std::string& ownRegKey,
                                   const TFileReader& readFile);

// The folder that the setup gives the protection of Program Files: the outermost
// of the folders it created for the target (createdDirs, each with a trailing
// backslash), when that lies outside every Program Files folder (whose own
// protection is inherited by what is made inside). Empty when the target
// folder existed before: a folder that was there keeps its protection.
std::string FolderToProtect(const std::string& installDir, const std::vector<std::string>& createdDirs,
                            const TSystemPlaces& places);

// The attributes of a path (FILE_ATTRIBUTE_* bits); nullopt when nothing is there.
using TAttributeReader = std::function<std::optional<std::uint32_t>(const std::string& path)>;
constexpr std::uint32_t kAttrReparsePoint = 0x400; // FILE_ATTRIBUTE_REPARSE_POINT

// The first of path's components below base, from the outermost down to path
// itself, that is a reparse point (a junction, symbolic link or mount point),
// through which a removal would reach another place; empty when there is none.
// A path that is not below base is looked at on its own. The walk ends at the
// first component that is not there.
std::string FirstReparsePoint(const std::string& path, const std::string& base, const TAttributeReader& attributes,
                              unsigned codePage);

} // namespace kx
