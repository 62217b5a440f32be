// TSetupSystem on Windows: each operation one call into the system layer.
#include "app/WinSetupSystem.h"

#include "base/Exception.h"
#include "sys/FileVersion.h"
#include "sys/Files.h"
#include "sys/FilesInUse.h"
#include "sys/Paths.h"
#include "sys/Process.h"
#include "sys/Registry.h"
#include "sys/ServiceControl.h"
#include "sys/ServiceState.h"
#include "sys/SysError.h"
#include "sys/Win32.h"
#include "sys/untSetupUtils.h"

namespace kx {

bool TWinSetupSystem::NTFamily() { return IsNTFamily(); }
std::string TWinSetupSystem::WindowsDir() { return GetWindowsPath(); }
std::string TWinSetupSystem::SystemDir() { return GetSystemPath(); }
std::string TWinSetupSystem::CommonFilesDir() { return GetCommonFilesRoot(); }
std::string TWinSetupSystem::ProgramGroupDir(const std::string& groupName) { return GetProgramGroupPath(groupName); }
bool TWinSetupSystem::WindowOfClassExists(const std::string& className) { return TopLevelWindowExists(className); }
std::string TWinSetupSystem::PathAtRestart(const std::string& path) { return GetShortPath(kx::PathAtRestart(path)); }

std::int32_t TWinSetupSystem::FileAttributes(const std::string& path) {
    const DWORD a = GetFileAttributesA(path.c_str());
    return a == INVALID_FILE_ATTRIBUTES ? -1 : static_cast<std::int32_t>(a);
}

bool TWinSetupSystem::SetFileAttributes(const std::string& path, std::int32_t attributes) {
    return SetFileAttributesA(path.c_str(), attributes == 0 ? FILE_ATTRIBUTE_NORMAL : static_cast<DWORD>(attributes)) != 0;
}

std::int64_t TWinSetupSystem::FileSize(const std::string& path) { return kx::FileSize(path); }
std::unique_ptr<TNewFile> TWinSetupSystem::CreateNewFile(const std::string& path) { return kx::CreateNewFile(path); }
std::string TWinSetupSystem::ReadFile(const std::string& path) { return LoadFileToString(path); }

bool TWinSetupSystem::RenameFile(const std::string& from, const std::string& to) {
    return MoveFileA(from.c_str(), to.c_str()) != 0;
}

bool TWinSetupSystem::DeleteFile(const std::string& path) { return DeleteFileA(path.c_str()) != 0; }
bool TWinSetupSystem::CreateDir(const std::string& path) { return CreateDirectoryA(path.c_str(), nullptr) != 0; }
bool TWinSetupSystem::RemoveDir(const std::string& path) { return RemoveDirectoryA(path.c_str()) != 0; }
std::string TWinSetupSystem::VersionResource(const std::string& path) { return ReadVersionResource(path); }

std::vector<std::string> TWinSetupSystem::FolderNames(const std::string& dir) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((AddTrailingBackslash(dir) + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return names;
    do {
        const std::string name = fd.cFileName;
        if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
    return names;
}

bool TWinSetupSystem::MoveAtRestart(const std::string& from, const std::string& to) {
    return MoveFileAtRestart(from, to);
}
void TWinSetupSystem::CancelMoveAtRestart(const std::string& from) { CancelMoveFileAtRestart(from); }

bool TWinSetupSystem::KeyExists(const std::string& key) { return MachineKeyExists(key); }
bool TWinSetupSystem::CreateKey(const std::string& key) { return CreateMachineKey(key); }
bool TWinSetupSystem::DeleteEmptyKey(const std::string& key) { return DeleteEmptyMachineKey(key); }
std::optional<TRegValue> TWinSetupSystem::ReadValue(const std::string& key, const std::string& name) {
    return ReadMachineValue(key, name);
}
bool TWinSetupSystem::WriteValue(const std::string& key, const std::string& name, const TRegValue& value) {
    return WriteMachineValue(key, name, value);
}
bool TWinSetupSystem::DeleteValue(const std::string& key, const std::string& name) {
    return DeleteMachineValue(key, name);
}

std::optional<TServiceConfig> TWinSetupSystem::ServiceConfig(const std::string& name) {
    return QueryServiceConfigOf(name);
}
bool TWinSetupSystem::ServiceRunning(const std::string& name) { return IsServiceRunning(name); }

bool TWinSetupSystem::StartService(const std::string& name, int timeoutSeconds) {
    try {
        return kx::StartService(name, timeoutSeconds);
    } catch (const Exception&) {
        return false;
    }
}

bool TWinSetupSystem::StopService(const std::string& name, int timeoutSeconds) {
    try {
        return kx::StopService(name, timeoutSeconds);
    } catch (const Exception&) {
        return false;
    }
}

bool TWinSetupSystem::SetServiceStartType(const std::string& name, std::uint32_t startType) {
    return kx::SetServiceStartType(name, startType);
}
bool TWinSetupSystem::CreateService(const std::string& name, const TServiceConfig& config) {
    return CreateServiceFrom(name, config);
}
bool TWinSetupSystem::DeleteService(const std::string& name) { return DeleteServiceNamed(name); }
unsigned long TWinSetupSystem::ServiceNotRunningReason(const std::string& name) {
    return kx::ServiceNotRunningReason(name);
}
TRunOutcome TWinSetupSystem::RunProgram(const std::string& workDir, const std::string& commandLine) {
    return RunAndWaitFor(workDir, commandLine);
}
std::string TWinSetupSystem::ErrorText(unsigned long code) { return SysErrorMessage(code); }

bool TWinSetupSystem::SaveShortcut(const std::string& target, const std::string& description,
                                   const std::string& linkFile, const std::string& arguments) {
    return CreateShortcut(target, description, linkFile, arguments);
}
void TWinSetupSystem::OpenFolder(const std::string& dir) {
    if (!FQuiet) ShellOpen(dir, "", FOwner);
}

void TWinSetupSystem::Sleep(unsigned milliseconds) { ::Sleep(milliseconds); }

} // namespace kx
