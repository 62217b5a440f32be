// What the uninstaller asks of Windows: the system's folders, the installations
// that name this program, their records, the shared-file counts and deletions
// deferred to the next start.
#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "uninst/SharedRelease.h"
#include "uninst/UninstPlan.h"

namespace kx {

// One installation: its uninstall entry under HKEY_LOCAL_MACHINE and its target folder.
struct TInstallation {
    std::string RegKey;
    std::string Dir;
    std::string DisplayName;
};

// Started with a target folder (the program group's shortcut names one): that
// folder's installation. Started from a folder that holds "UnInst.Ini": that
// folder's installation. Started from the Windows folder: each entry of the
// system's list whose "UnInstallString" names ownPath and whose "UnInstallPath"
// holds "UnInst.Ini". What the folder's files say is trusted only once they
// match the entry's digests (LoadInstallation).
std::vector<TInstallation> FindInstallations(const std::string& ownPath, const std::string& targetDir,
                                             const TUninstPlaces& places);

struct TLoadedInstallation {
    TInstallation Where;
    TUninstEntry Entry;
    TUninstPlan Plan;
};

enum class TLoadOutcome {
    Loaded,
    Unknown,        // a file or the entry missing, the entry naming another folder, or no folder to touch
    RecordsChanged, // a record file is not as the setup wrote it (ChangedFile names it)
};

// The name the user knows the installation by: its group name, else its display name.
std::string GroupNameOf(const TLoadedInstallation& inst);

// Reads "UnInst.Ini", "INSTFILE.LST" and the uninstall entry, checks the files
// against the entry's digests and makes the plan. Changes nothing.
TLoadOutcome LoadInstallation(const TInstallation& where, const TUninstPlaces& places, TLoadedInstallation& loaded,
                              std::string& changedFile);

// True when an entry of the system's list other than exceptKey names program.
bool OtherEntryNames(const std::string& program, const std::string& exceptKey);

// Two names of one file: the same text, or the same short (8.3) form.
bool SameFile(const std::string& a, const std::string& b);

// The SharedDLLs counts, and an installation's records of them in its uninstall
// entry (a key under HKEY_LOCAL_MACHINE).
class TRegistrySharedCounts : public TSharedCounts {
public:
    explicit TRegistrySharedCounts(std::string entryKey) : FEntryKey(std::move(entryKey)) {}
    std::optional<std::string> ReadRecord(const std::string& name) override;
    void DeleteRecord(const std::string& name) override;
    std::optional<std::uint32_t> ReadCount(const std::string& path) override;
    void WriteCount(const std::string& path, std::uint32_t count) override;
    void DeleteCount(const std::string& path) override;

private:
    std::string FEntryKey;
};

// The file's count under ...\CurrentVersion\SharedDLLs; nullopt when it has none.
std::optional<std::uint32_t> ReadSharedCount(const std::string& path);
void WriteSharedCount(const std::string& path, std::uint32_t count);
void DeleteSharedCount(const std::string& path);

// Raises Exception with the system's text when this process may not change or
// delete the uninstall entry (a user without administrator rights): then the
// run removes nothing rather than half an installation.
void CheckEntryCanBeRemoved(const std::string& entryKey);

// Removes what is left of a service's registration: through the service manager
// where there is one, then its key.
void RemoveServiceRegistration(const std::string& serviceName);

// Deletes path at the next start of Windows: on the NT family a delayed
// MoveFileEx (empty folders too); on the 9x family a "NUL=" line with the short
// path in "WinInit.ini" [rename], which handles files only.
bool ScheduleDeleteAtRestart(const std::string& path);

} // namespace kx
