// A machine in memory for the installation run: files, folders, registry,
// services, delayed renames and shortcuts, compared without regard to case as
// Windows compares names. It can fail the k-th change of any kind, stop the
// process at the k-th change (everything after it raises TKilled and changes
// nothing), hold files open and run out of disk space.
#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "app/SetupSystem.h"

namespace kxtest {

using kx::TRegValue;
using kx::TServiceConfig;

// Raised by every call once the process is stopped.
struct TKilled {};

struct TFakeFile {
    std::string Path;  // as first created
    std::string Bytes;
    std::int32_t Attr = 0;
    double Date = 0;
    bool operator==(const TFakeFile&) const = default;
};

struct TFakeService {
    TServiceConfig Config;
    bool Running = false;
    bool operator==(const TFakeService&) const = default;
};

// Everything a run may change; two states compare equal when the machine is
// as it was.
struct TMachineState {
    std::map<std::string, TFakeFile> Files;                         // by upper-case path
    std::map<std::string, std::string> Dirs;                        // upper-case path -> path
    std::map<std::string, std::map<std::string, TRegValue>> Keys;   // upper-case key -> upper-case name -> value
    std::map<std::string, TFakeService> Services;                   // upper-case name
    std::vector<std::pair<std::string, std::string>> PendingMoves;  // from, to ("" deletes)
    bool operator==(const TMachineState&) const = default;
};

// The state after the next start of Windows has carried out the delayed renames.
TMachineState AfterRestart(const TMachineState& state);

// What differs between two states, one line per difference (empty when equal).
std::string Differences(const TMachineState& before, const TMachineState& after);

// What a change is, for failing or stopping at the k-th of a kind.
enum class TChange {
    Any,
    CreateFile, // CreateNewFile
    WriteFile,  // a write into a new file
    CloseFile,  // Flush or Close of a new file
    Rename,
    Delete,
    Dir,        // CreateDir, RemoveDir
    Attributes,
    Registry,   // keys and values
    Service,    // start, stop, start type, create, delete, running a program
    AtRestart,  // delayed moves
    Shortcut,
};

class TFakeMachine : public kx::TSetupSystem {
public:
    // A machine with C:\, the Windows, system, Common Files and Start menu
    // folders (posix-style paths below Root(), as the portable code spells them).
    TFakeMachine();

    static std::string Root();
    TMachineState State;
    bool NT = true;

    // ---- faults
    void FailAt(TChange kind, int k) {
        FFailKind = kind;
        FFailAt = k;
    }
    void StopAt(int k) { FStopAt = k; }
    // Makes the machine usable again after a stop, as the next start of Windows.
    void Revive();
    bool Killed() const { return FKilled; }
    int Changes(TChange kind = TChange::Any) const;
    // Bytes that still fit on the disk (files and their growth); negative: no limit.
    std::int64_t DiskFree = -1;
    // Held without sharing: no rename, no delete, no write.
    std::set<std::string> Locked;
    // A running program's file: renames (on the NT family), but does not delete.
    std::set<std::string> Running;
    std::set<std::string> WindowClasses;
    // Folders that are junctions or symbolic links (upper-case paths).
    std::set<std::string> ReparsePoints;
    // What "<program> /install /silent" registers: by upper-case program path.
    std::map<std::string, std::pair<std::string, TServiceConfig>> ServicePrograms;
    std::vector<std::string> ProgramsRun;
    std::vector<std::string> FoldersOpened;
    // Version resources by upper-case path.
    std::map<std::string, std::string> Versions;

    // ---- direct access for tests (no faults, no counting)
    void PutFile(const std::string& path, const std::string& bytes, std::int32_t attr = 0);
    void PutDir(const std::string& path);
    bool HasFile(const std::string& path) const;
    std::string FileBytes(const std::string& path) const;
    std::optional<TRegValue> Value(const std::string& key, const std::string& name) const;
    void PutValue(const std::string& key, const std::string& name, const TRegValue& value);
    // Carries out the delayed renames, as the restart does.
    void Restart();

    // ---- TSetupSystem
    bool NTFamily() override;
    std::string WindowsDir() override;
    std::string SystemDir() override;
    std::string CommonFilesDir() override;
    std::string ProgramGroupDir(const std::string& groupName) override;
    bool WindowOfClassExists(const std::string& className) override;
    std::string PathAtRestart(const std::string& path) override;
    std::int32_t FileAttributes(const std::string& path) override;
    bool SetFileAttributes(const std::string& path, std::int32_t attributes) override;
    std::int64_t FileSize(const std::string& path) override;
    std::unique_ptr<kx::TNewFile> CreateNewFile(const std::string& path) override;
    std::string ReadFile(const std::string& path) override;
    bool RenameFile(const std::string& from, const std::string& to) override;
    bool DeleteFile(const std::string& path) override;
    bool CreateDir(const std::string& path) override;
    bool RemoveDir(const std::string& path) override;
    std::string VersionResource(const std::string& path) override;
    std::vector<std::string> FolderNames(const std::string& dir) override;
    bool MoveAtRestart(const std::string& from, const std::string& to) override;
    void CancelMoveAtRestart(const std::string& from) override;
    bool KeyExists(const std::string& key) override;
    bool CreateKey(const std::string& key) override;
    bool DeleteEmptyKey(const std::string& key) override;
    std::optional<TRegValue> ReadValue(const std::string& key, const std::string& name) override;
    bool WriteValue(const std::string& key, const std::string& name, const TRegValue& value) override;
    bool DeleteValue(const std::string& key, const std::string& name) override;
    std::optional<TServiceConfig> ServiceConfig(const std::string& name) override;
    bool ServiceRunning(const std::string& name) override;
    bool StartService(const std::string& name, int timeoutSeconds) override;
    bool StopService(const std::string& name, int timeoutSeconds) override;
    bool SetServiceStartType(const std::string& name, std::uint32_t startType) override;
    bool CreateService(const std::string& name, const TServiceConfig& config) override;
    bool DeleteService(const std::string& name) override;
    unsigned long ServiceNotRunningReason(const std::string& name) override;
    kx::TRunOutcome RunProgram(const std::string& workDir, const std::string& commandLine) override;
    std::string ErrorText(unsigned long code) override;
    bool SaveShortcut(const std::string& target, const std::string& description, const std::string& linkFile,
                      const std::string& arguments) override;
    void OpenFolder(const std::string& dir) override;
    void Sleep(unsigned milliseconds) override;

    // Counts a change; false when this one is to fail. Raises TKilled when the
    // process is stopped (at this change or before).
    bool Change(TChange kind);
    void Alive() const;
    std::int64_t Used() const;

private:
    std::map<TChange, int> FCounts;
    TChange FFailKind = TChange::Any;
    int FFailAt = 0, FStopAt = 0;
    bool FKilled = false;
};

} // namespace kxtest
