// The copy step of the installation run: the selected files out of the payload
// archive into their folders, files in use replaced at the next restart, and the
// list "INSTFILE.LST". Every file is written whole under a staging name beside
// its destination and renamed into place through the journal.
#pragma once
#include <string>
#include <vector>

#include "app/InstallRun.h"
#include "app/SetupScript.h"

namespace kx {

// A file entry of the component table split at its first "[": the name stored in
// the payload (and written at the destination) and its base folder, 'S' system,
// 'C' shared or 'P' target directory (any other letter, or no "[").
struct TFileTarget {
    std::string StoredName;
    char Letter = 'P';
};
TFileTarget SplitFileEntry(const std::string& entry);

// FSelFiles from the component table and the check marks (item i pairs with line i):
// the entries of the first line named like each checked item, empty entries dropped.
std::vector<std::string> BuildSelectedFiles(const std::vector<std::string>& compFiles,
                                            const std::vector<bool>& checked);

// Appends each directory of dirs that list does not hold yet (case-insensitive).
void AddCreatedDirs(std::vector<std::string>& list, const std::vector<std::string>& dirs);

// The target directory as the directory page accepts it: created with its missing
// parents (recorded in createdDirs); true only when it exists afterwards. An
// empty or relative path, or one whose drive is not there, raises "Unable to create
// directory" rather than being made somewhere nobody chose.
bool MakeInstallDir(const std::string& dir, std::vector<std::string>& createdDirs);

// "INSTFILE.LST" of an installation that had `earlier` and adds `lines`: the
// earlier lines, then each new line that is not there yet (case-insensitive).
std::string MergeInstalledList(const std::string& earlier, const std::vector<std::string>& lines);

// Builds FSelFiles from the check marks and writes each entry to its folder
// (or, while the application runs, a file of FReNameList that is at its
// destination under a staging name there, to replace it at the next restart),
// filling FPlacedFiles and FCreatedDirs, then writes "INSTFILE.LST". A file
// that cannot be written, a damaged entry or a name the payload does not hold
// ends the step with an error naming the file; the journal has every change.
void ExtractFiles(TRunContext& c);

} // namespace kx
