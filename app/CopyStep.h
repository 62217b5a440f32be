// The copy step of the installation run: the selected files out of the payload
// archive into their folders, files in use replaced at the next restart, and the
// list "INSTFILE.LST". Portable: what only Windows has comes through TCopySystem.
#pragma once
#include <functional>
#include <string>
#include <vector>

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

// What the copy step needs of the system besides files and folders.
class TCopySystem {
public:
    virtual ~TCopySystem() = default;
    virtual bool NTFamily() = 0;
    // The short (8.3) form of an existing path as the restart will find it; the
    // path itself when it has none.
    virtual std::string ShortPath(const std::string& path) = 0;
    // Registers a move at the next restart (an empty `to` deletes); false when refused.
    virtual bool MoveAtRestart(const std::string& from, const std::string& to) = 0;
    // Writes key=value into section "rename" of the rename file; false when refused.
    virtual bool WriteRenameEntry(const std::string& key, const std::string& value) = 0;
    virtual void FlushRenameFile() = 0;
};

// The folders the file entries' letters choose, each with a trailing delimiter.
// Reboot is where replacements wait for the restart (empty: none available).
struct TCopyFolders {
    std::string System, Shared, Reboot;
};

class TCopyStep {
public:
    TCopyStep(TSetupFields& fields, TCopySystem& system) : F(fields), FSystem(system) {}

    std::function<void(const std::string& line)> OnProgressLine;
    std::function<void(int percent)> OnProgress;

    // Builds FSelFiles from the check marks and writes each entry to its folder
    // (or, with appRunning, a file of FReNameList that exists at its destination
    // into the reboot folder, scheduled for the restart), filling FPlacedFiles and
    // FCreatedDirs. A file that cannot be written, a damaged entry or a name the
    // payload does not hold ends the step with an error naming the file. On every
    // way out the rename file is flushed and "INSTFILE.LST" saved with the lines
    // so far (the two closing lines only when every file is in place).
    void Run(const std::string& archivePath, const TCopyFolders& folders, bool appRunning,
             const std::vector<bool>& checked);

private:
    TSetupFields& F;
    TCopySystem& FSystem;
};

} // namespace kx
