// The run's journal: every change the setup makes to the machine goes through
// here. Before a change, a line that says how to undo it is written to the
// journal file; Rollback undoes the lines in reverse order (after a failure, or
// at the next start for a run that was killed), Commit drops what the run set
// aside and removes the file.
//
// The file: a header line "kxJournal<TAB>1<TAB><uninstall key>", then one line
// per entry: its name and fields separated by tabs (bytes below 0x20, 0x7F and
// "%" written as "%XX"), a tab, "#" and the FNV-1a hash of what comes before in
// eight hex digits, CR LF. A line that is not whole ends what is read: the run
// was stopped while writing it, so its change had not begun.
#pragma once
#include <cstdint>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "app/SetupSystem.h"

namespace kx {

enum class TJournalOp {
    Temp,         // path: a staging file about to be created
    Void,         // n: entry n did not change anything after all
    NewFile,      // path: a file about to be placed where there was none
    Aside,        // path, aside: the file at path about to be renamed to aside
    Dir,          // path: a folder about to be made
    StageDir,     // path: a folder about to be made for files on their way in or out
    Key,          // key: a registry key about to be made
    Value,        // key, name, old data ("-" for none, else "<type>:<hex>")
    ServiceStop,  // name: a running service about to be stopped
    ServiceStart, // name: a service about to be started
    ServiceNew,   // name: a service about to register itself
    ServiceGone,  // name and its configuration: a service about to be removed
    ServiceStartType, // name, old start type
    MoveLater,    // from, to: a rename about to be registered for the next restart
    Commit,       // the run is done: what was set aside goes
};

struct TJournalEntry {
    TJournalOp Op = TJournalOp::Void;
    std::vector<std::string> Args;
    bool operator==(const TJournalEntry&) const = default;
};

std::string EncodeJournalLine(const TJournalEntry& entry);
// False for a line that is not whole, has a wrong hash or is no entry.
bool DecodeJournalLine(std::string_view line, TJournalEntry& entry);

struct TJournalContents {
    std::string RegKey;
    std::vector<TJournalEntry> Entries; // up to the first line that is not whole
    bool Committed = false;
};
// False when the text does not start with a journal's header.
bool ParseJournal(std::string_view text, TJournalContents& contents);

// "WinInit.ini" with key=value lines added at the end of its [rename] section
// (made at the end when there is none); earlier lines, duplicates included, stay.
std::string AddRenameLines(std::string_view iniText, const std::vector<std::pair<std::string, std::string>>& lines);

// What undoing or committing could not finish at once.
struct TUndoOutcome {
    std::vector<std::string> AtRestart; // files that are put back or removed at the next restart
    std::vector<std::string> Failed;    // changes that could not be undone, as the journal names them
};

// A new file under its staging name in the folder of its target.
struct TStagedFile {
    std::string Path;   // the staging name
    std::string Target; // where it is to go
    std::unique_ptr<TNewFile> File;
    std::int32_t Attributes = 0; // given once it is in place
    bool Existed = false;        // a file was at the target (set when placed)
    bool Placed = false;         // renamed into place
};

class TJournal {
public:
    // path: the journal file; regKey: the package's uninstall key, written into it.
    TJournal(TSetupSystem& system, std::string path, std::string regKey);
    ~TJournal();
    TJournal(const TJournal&) = delete;
    TJournal& operator=(const TJournal&) = delete;

    // Creates the journal file with its header; raises when it cannot be made
    // (no change may be made without it). ownDirs: folders this setup made
    // before the run (the target folder of the directory page), removed by a
    // rollback when empty.
    void Begin(const std::vector<std::string>& ownDirs = {});
    // Begun, and neither committed nor rolled back yet.
    bool Active() const { return FStarted && !FEnded; }
    // Forces the entries written so far to the disk. Each entry reaches the file
    // (and survives a killed process) when it is appended; this also makes it
    // survive a power loss, and is done before changes that replace or remove
    // what was there (a file set aside, a value overwritten, a service removed).
    void Sync();

    // ---- folders
    // Makes dir with its missing parents, each journalled; appends each folder
    // made to made (parents first, with a trailing delimiter). False when dir
    // is not there afterwards.
    bool MakeDirs(const std::string& dir, std::vector<std::string>& made);

    // ---- files
    // A new file for target under a staging name nothing has: in a folder of
    // the run's beside target (on its volume, and small, so that finding a
    // free name never reads a large folder), or with beside in target's folder
    // itself (a file that waits there for the restart).
    TStagedFile Stage(const std::string& target, bool beside = false);
    // The staged files (closed) in place of their targets, in order: a file
    // there is set aside (kept until the commit), then the staged one renamed in
    // and given its attributes. The journal reaches the disk once for the whole
    // batch, before the first file is set aside. Raises EFCreateError naming the target
    // that cannot be set aside (held without sharing); the files before it are
    // in place.
    void PlaceAll(std::vector<TStagedFile>& batch);
    // One file; true when a file was at its target before.
    bool Place(TStagedFile& staged, std::int32_t attributes);
    // The staged file (closed) to replace its target at the next restart: on the
    // NT family one delayed move that replaces the target, on the 9x family a
    // "rename" line for "WinInit.ini" (written by WriteRenameLines). False when
    // it cannot be scheduled.
    bool PlaceAtRestart(TStagedFile& staged);
    // Writes the "WinInit.ini" lines of PlaceAtRestart into the file, as a file
    // of the run; nothing when there are none.
    void WriteRenameLines(const std::string& winInitPath);
    // A whole file written, staged and placed.
    bool WriteFile(const std::string& path, std::string_view bytes, std::int32_t attributes = 0);

    // ---- registry (under HKEY_LOCAL_MACHINE)
    // Makes key with its missing parents; appends each key made to made. False when refused.
    bool MakeKeys(const std::string& key, std::vector<std::string>& made);
    // Raises "Failed to set data for '<name>'" when refused.
    void SetValue(const std::string& key, const std::string& name, const TRegValue& value);

    // ---- services
    // Stops the service when it runs; true when it was running.
    bool StopService(const std::string& name, int timeoutSeconds);
    bool StartService(const std::string& name, int timeoutSeconds);
    bool SetServiceStartType(const std::string& name, std::uint32_t startType);
    // Before a program registers the service of that name itself.
    void ServiceAboutToRegister(const std::string& name);
    // Before the service of that name is removed: its configuration, to register it again.
    void ServiceAboutToGo(const std::string& name, const TServiceConfig& config);

    // ---- ends
    // Marks the run done, deletes what was set aside (held files at the next
    // restart) and removes the journal file.
    TUndoOutcome Commit();
    // Undoes every entry in reverse order, then removes the journal file.
    TUndoOutcome Rollback();

    enum class TRecovery { None, RolledBack, Committed };
    // Finishes a journal that a run left behind: a committed one is committed
    // again, any other rolled back; the file goes. None when there is no journal
    // (or one of another package).
    static TRecovery Recover(TSetupSystem& system, const std::string& path, const std::string& regKey,
                             TUndoOutcome& outcome);

private:
    // Appends an entry and answers its number.
    std::size_t Append(TJournalOp op, std::vector<std::string> args);
    std::string FreeName(const std::string& folder, const char* ext);
    void Close();
    // Closes the file and works through what reached it: drops what was set
    // aside (committed) or undoes it all; the file goes.
    TUndoOutcome End(bool committed);
    // The run's folder for staged and set-aside files beside folder, made at its first use.
    std::string StagingDirFor(const std::string& folder);
    // Whether a file or folder of target's name is in its folder, from one
    // listing of each folder (kept up to date with the run's own changes), so
    // that placing a file looks for a missing name only once.
    bool NameTaken(const std::string& target);
    void NoteName(const std::string& target, bool taken);

    TSetupSystem& FSystem;
    std::string FPath, FRegKey;
    std::unique_ptr<TNewFile> FFile;
    bool FStarted = false, FEnded = false;
    std::size_t FCount = 0;
    std::vector<std::pair<std::string, std::string>> FRenameLines;
    std::map<std::string, std::string> FStagingDirs;            // upper-case folder -> its staging folder
    std::map<std::string, std::set<std::string>> FFolderNames;  // upper-case folder -> upper-case names
};

} // namespace kx
