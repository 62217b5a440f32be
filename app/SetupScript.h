// The install script's fields: what a package installs, where, and on which Windows.
#pragma once
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/MemIniFile.h"

namespace kx {

// One file that the copy step wrote (or scheduled for the next restart).
struct TPlacedFile {
    std::string Path;       // full destination path (for a replaced file: where it will be after the restart)
    char Letter = 'P';      // 'S' system folder, 'C' shared folder, 'P' target directory (upper case)
    bool AtRestart = false; // scheduled for the next restart instead of written now
    std::uint64_t Size = 0; // bytes of the file as stored in the payload
    bool Existed = false;   // a file was at Path before this run placed its own
};

// The wizard's state filled from the script and by the pages; the form owns one.
struct TSetupFields {
    std::string FInstallDir;                 // accepted target directory, with a trailing backslash
    std::vector<std::string> FCompFiles;     // "component=file;file[S;..." lines of the File section
    std::vector<std::string> FSelFiles;      // file entries of the checked components (the run fills it)
    std::vector<std::string> FServices;      // services to stop before copying
    std::vector<std::string> FLinks;         // "shortcut=target" lines
    std::string FGrpName, FCompany, FVersion;
    std::string FRegKey, FPrgDir;
    bool FUnInst = true;
    bool FNeedReboot = false;
    std::string FServiceFile, FServiceName;
    std::string FAutoRun, FFindClass;
    std::vector<std::string> FReNameList;    // files the running application may hold
    std::vector<std::string> FAutoReg;       // "key;value name;file" entries
    std::vector<std::string> FDestDirs;      // "subdir=file;file" lines
    bool FWin9x = false, FWin2k = false;
    std::string FVendorDir;                  // folder under Program Files that holds FPrgDir; empty: none
    std::string FSharedDir;                  // folder under Common Files for the files of letter C; empty: none
    std::string FProductVersion;             // DisplayVersion of the uninstall entry; empty: not written
    std::vector<TPlacedFile> FPlacedFiles;   // one per FSelFiles entry that was written/scheduled, in order (duplicates as they come); rebuilt by every run
    std::vector<std::string> FCreatedDirs;   // directories that this setup created, full paths with a trailing backslash, parents before children, no duplicates (case-insensitive)
    std::string FGroupDir;                   // the program-group folder of the last run, with a trailing backslash
    std::vector<std::string> FShortcuts;     // the .Lnk files that the last run created
};

// "GB." for 0, "B5." for 1, "EN." otherwise.
std::string LangSectionPrefix(int setupLang);

// Every ";" ends an entry: "a;b;" gives a and b, ";a" and "a;;b" keep their
// empty entry, an empty text gives none.
std::vector<std::string> SplitReNameList(std::string_view text);

// The folder the directory page suggests: vendor (when not empty) and prgDir
// below programFiles (which ends in a backslash), with a trailing backslash.
std::string SuggestedInstallDir(const std::string& programFiles, const std::string& vendor, const std::string& prgDir);

// Fills every script field of f and the component names (item i pairs with
// line i of FCompFiles), in the order the script is read. Fields the script
// does not name (FInstallDir, FSelFiles, FNeedReboot) are left alone.
void ReadSetupScript(const TMemIniFile& ini, int setupLang, TSetupFields& f, std::vector<std::string>& compNames);

} // namespace kx
