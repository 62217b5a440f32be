// TSetupSystem on Windows, through the system layer: what the setup's run and
// the uninstaller's recovery change on the machine.
#pragma once
#include "app/SetupSystem.h"

namespace kx {

class TWinSetupSystem : public TSetupSystem {
public:
    // owner: the window that owns what the shell opens (may be null); a quiet
    // system opens nothing in the shell.
    explicit TWinSetupSystem(void* owner = nullptr, bool quiet = false) : FOwner(owner), FQuiet(quiet) {}

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
    std::unique_ptr<TNewFile> CreateNewFile(const std::string& path) override;
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
    TRunOutcome RunProgram(const std::string& workDir, const std::string& commandLine) override;
    std::string ErrorText(unsigned long code) override;

    bool SaveShortcut(const std::string& target, const std::string& description, const std::string& linkFile,
                      const std::string& arguments) override;
    void OpenFolder(const std::string& dir) override;

    void Sleep(unsigned milliseconds) override;

private:
    void* FOwner;
    bool FQuiet;
};

} // namespace kx
