// What the uninstaller removes, decided before anything is touched: the records
// of an installation ("UnInst.Ini", "INSTFILE.LST", the values of its uninstall
// entry) checked against the safety rules, as a plan the Windows side carries out.
#pragma once
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "app/InstallSafety.h"
#include "base/WinPaths.h"
#include "sys/SystemPlaces.h"
#include "uninst/UnInstIni.h"

namespace kx {

// The system's own folders on the machine the plan is made for.
using TUninstPlaces = TSystemPlaces;

// The values of an installation's uninstall entry that the uninstaller reads.
struct TUninstEntry {
    std::string DisplayName, UnInstallPath, GrpName, UnInstallString, Publisher;
    std::string GroupDir;                   // "kxGroupDir"
    std::string IniDigest, ListDigest;      // "kxIniSha256", "kxListSha256"
    std::vector<std::string> CreatedDirs;   // "kxCreatedDir<N>", parents before children
    std::vector<std::string> Shortcuts;     // "kxShortcut<N>"
    std::vector<std::string> RegValues;     // "kxRegValue<N>": "<key>;<value name>"
    std::vector<std::string> RegKeys;       // "kxRegKey<N>", parents before children
    std::vector<std::string> SharedFiles;   // "kxSharedFile<N>"
};

// Reads one value by name; nullopt when the value is missing.
using TEntryValueReader = std::function<std::optional<std::string>(const std::string& name)>;
// Numbered values are read from 0 up to the first missing number.
TUninstEntry ReadUninstEntry(const TEntryValueReader& read);
// The names of every value of the entry that the setup wrote and the uninstaller knows.
std::vector<std::string> UninstEntryValueNames(const TUninstEntry& entry);

// Whether the record files are as the setup wrote them: each one's digest is
// the one its uninstall entry keeps. An entry without a digest keeps nothing
// to trust the file by, which counts as a change.
enum class TRecordCheck { Unchanged, IniChanged, ListChanged };
TRecordCheck CheckRecordFiles(std::string_view iniText, std::string_view listText, const TUninstEntry& entry);

// Why a record is left alone.
enum class TRefusal {
    BadPath,            // not a well-formed absolute path (see TPathFault)
    Directory,          // a file record naming a folder (trailing backslash)
    ProtectedFolder,    // a drive root, a folder of the system, or a folder above one
    NotRecorded,        // a file outside the target folder that is no recorded shared file
    OutsideSharedFolders, // a shared-file record outside the system and Common Files folders
    NotAShortcut,       // a shortcut record that is no ".lnk" file
    OutsideGroup,       // a shortcut outside the program group, a group outside the programs folders
    BadRegistryKey,     // a key or value record that is not a relative key path
    NotOurUninstaller,  // an "UnInstallString" that is not kxUnInst.exe in the Windows folder
};

struct TRefusedRecord {
    std::string Record; // the record as written
    TRefusal Why;
};

struct TPlannedFile {
    std::string Path;
    bool Shared = false; // counted in SharedDLLs: deleted only when the count falls to zero
    int Record = -1;     // of a shared file: N of its record "kxSharedFile<N>"
};

struct TPlannedRegValue {
    std::string Key, Name;
};

struct TUninstPlan {
    std::string TargetDir;                  // "UnInstallPath", with a trailing backslash
    std::vector<std::string> Services;
    std::string FindClass;
    std::vector<std::string> ReNameList;
    std::vector<TPlannedFile> Files;        // list order, each once, then shared records not listed
    std::vector<std::string> Shortcuts;
    std::string GroupDir;                   // empty when there is none to remove
    std::vector<TPlannedRegValue> RegValues;
    std::vector<std::string> RegKeys;       // deepest first; each removed only when empty
    std::string EntryKey;                   // the uninstall entry
    bool DeleteEntryTree = false;           // a key of its own under ...\CurrentVersion\Uninstall
    std::vector<std::string> EntryValues;   // otherwise these values of it, then the key when empty
    std::string Uninstaller;                // the target folder's copy of the uninstaller
    std::vector<std::string> RecordFiles;   // "UnInst.Ini" and "INSTFILE.LST", removed last
    std::vector<std::string> Dirs;          // deepest first; each removed only when empty
    std::string WindowsCopy;                // the Windows folder's copy, empty when not ours
    std::vector<TRefusedRecord> Refused;
};

// False (and no plan) when the entry's target folder is not one to remove files
// from: missing, malformed, or a protected folder. listEntries are the entries
// of "INSTFILE.LST".
bool MakeUninstPlan(const TUnInstIni& ini, const std::vector<std::string>& listEntries, const TUninstEntry& entry,
                    const TUninstPlaces& places, TUninstPlan& plan);

// The file name of the uninstaller in the target and Windows folders.
constexpr const char* kUninstallerName = "kxUnInst.exe";
// The key under HKEY_LOCAL_MACHINE that holds the system's list of installed programs.
constexpr const char* kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

} // namespace kx
