// What the installation run asks of the machine: files and folders, values
// under HKEY_LOCAL_MACHINE, services, shortcuts, renames at the next restart
// and the places of Windows. The setup and the uninstaller implement it on
// Windows; the tests' machine keeps it all in memory and can fail any call or
// stop the process at any point.
#pragma once
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sys/NewFile.h"
#include "sys/Process.h"
#include "sys/SystemTypes.h"

namespace kx {

class TSetupSystem {
public:
    virtual ~TSetupSystem() = default;

    // ---- places and facts
    virtual bool NTFamily() = 0;
    virtual std::string WindowsDir() = 0; // each with a trailing delimiter
    virtual std::string SystemDir() = 0;
    virtual std::string CommonFilesDir() = 0;
    virtual std::string ProgramGroupDir(const std::string& groupName) = 0;
    virtual bool WindowOfClassExists(const std::string& className) = 0;
    // The (short) path under which the next restart finds an existing file.
    virtual std::string PathAtRestart(const std::string& path) = 0;

    // ---- files and folders
    // Attributes, with 0x10 for a folder and 0x400 for a reparse point; -1 when nothing is there.
    virtual std::int32_t FileAttributes(const std::string& path) = 0;
    virtual bool SetFileAttributes(const std::string& path, std::int32_t attributes) = 0;
    virtual std::int64_t FileSize(const std::string& path) = 0; // -1 when missing
    // A new file under a name nothing has (never opens or replaces an existing
    // one): nullptr when the name is taken; raises EFCreateError otherwise.
    virtual std::unique_ptr<TNewFile> CreateNewFile(const std::string& path) = 0;
    // The whole file; raises EFOpenError or EReadError.
    virtual std::string ReadFile(const std::string& path) = 0;
    // Renames within one folder or volume; false when `to` exists or the file is held.
    virtual bool RenameFile(const std::string& from, const std::string& to) = 0;
    virtual bool DeleteFile(const std::string& path) = 0;
    virtual bool CreateDir(const std::string& path) = 0;
    virtual bool RemoveDir(const std::string& path) = 0; // an empty folder only
    // The version resource of a program file (see FixedFileVersion); empty when none.
    virtual std::string VersionResource(const std::string& path) = 0;
    // The names of the files and folders in dir, in no order.
    virtual std::vector<std::string> FolderNames(const std::string& dir) = 0;

    // ---- renames at the next restart (the NT family)
    // One delayed move that replaces `to`; an empty `to` deletes `from`.
    virtual bool MoveAtRestart(const std::string& from, const std::string& to) = 0;
    // Takes every delayed move or delete of `from` off the list again.
    virtual void CancelMoveAtRestart(const std::string& from) = 0;

    // ---- the registry under HKEY_LOCAL_MACHINE
    virtual bool KeyExists(const std::string& key) = 0;
    virtual bool CreateKey(const std::string& key) = 0;      // its parent exists
    virtual bool DeleteEmptyKey(const std::string& key) = 0; // only without values and keys
    virtual std::optional<TRegValue> ReadValue(const std::string& key, const std::string& name) = 0;
    virtual bool WriteValue(const std::string& key, const std::string& name, const TRegValue& value) = 0;
    virtual bool DeleteValue(const std::string& key, const std::string& name) = 0;

    // ---- services
    virtual std::optional<TServiceConfig> ServiceConfig(const std::string& name) = 0;
    virtual bool ServiceRunning(const std::string& name) = 0;
    virtual bool StartService(const std::string& name, int timeoutSeconds) = 0;
    virtual bool StopService(const std::string& name, int timeoutSeconds) = 0;
    virtual bool SetServiceStartType(const std::string& name, std::uint32_t startType) = 0;
    virtual bool CreateService(const std::string& name, const TServiceConfig& config) = 0;
    // The registration and what is left of its key.
    virtual bool DeleteService(const std::string& name) = 0;
    // 0 when it runs, else the Windows error that says why not.
    virtual unsigned long ServiceNotRunningReason(const std::string& name) = 0;
    // Starts a program hidden and waits at most 10 seconds for its end.
    virtual TRunOutcome RunProgram(const std::string& workDir, const std::string& commandLine) = 0;
    virtual std::string ErrorText(unsigned long code) = 0;

    // ---- shell
    // Saves a shell link (with the command-line arguments given, if any) into
    // linkFile, which exists (empty) already; false when refused.
    virtual bool SaveShortcut(const std::string& target, const std::string& description, const std::string& linkFile,
                              const std::string& arguments) = 0;
    virtual void OpenFolder(const std::string& dir) = 0;

    virtual void Sleep(unsigned milliseconds) = 0;
};

} // namespace kx
