// The uninstaller's view of Windows: folders, installation records, shared-file
// counts and deletions at the next start.
#include "uninst/UninstSystem.h"

#include "app/RegistrationRules.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "base/Text.h"
#include "sys/Files.h"
#include "sys/FilesInUse.h"
#include "sys/Handles.h"
#include "sys/Paths.h"
#include "sys/ServiceApi.h"
#include "sys/SysError.h"
#include "sys/ServiceControl.h"
#include "sys/Win32.h"
#include "sys/untSetupUtils.h"
#include "uninst/InstFileList.h"
#include "uninst/WinInitFile.h"

namespace kx {

namespace {

const char kSharedDllsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";

std::string ReadText(HKEY root, const char* key, const char* value) {
    TRegKey k;
    if (RegOpenKeyExA(root, key, 0, KEY_READ, k.Put()) != ERROR_SUCCESS) return std::string();
    return ReadRegText(k.Get(), value);
}

std::optional<std::string> ReadValue(HKEY key, const std::string& name) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, name.c_str(), nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::nullopt;
    return ReadRegText(key, name.c_str());
}

// The subkey names of a key under HKEY_LOCAL_MACHINE.
std::vector<std::string> SubKeys(const char* key) {
    std::vector<std::string> names;
    TRegKey k;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_READ, k.Put()) != ERROR_SUCCESS) return names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD len = sizeof name;
        LONG rc = RegEnumKeyExA(k.Get(), i, name, &len, nullptr, nullptr, nullptr, nullptr);
        if (rc == ERROR_NO_MORE_ITEMS) break;
        if (rc == ERROR_SUCCESS) names.emplace_back(name, len);
    }
    return names;
}

std::string ProgramOf(const std::string& commandLine) { return ServiceProgramOf(Trim(commandLine), FileExists); }

bool ReadFileText(const std::string& path, std::string& text) {
    if (!FileExists(path)) return false;
    try {
        text = LoadFileToString(path);
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace

bool SameFile(const std::string& a, const std::string& b) {
    return SameText(a, b) || SameText(GetShortPath(a), GetShortPath(b));
}

std::vector<TInstallation> FindInstallations(const std::string& ownPath, const std::string& targetDir,
                                             const TUninstPlaces& places) {
    std::vector<TInstallation> found;
    if (!targetDir.empty() && !IsAbsolutePath(targetDir)) return found;
    const std::string ownDir = ExtractFilePath(ownPath);
    const std::string dir = targetDir.empty() ? ownDir : AddTrailingBackslash(targetDir);
    std::string text;
    TUnInstIni ini;
    if (ReadFileText(dir + "UnInst.Ini", text)) {
        if (ReadUnInstIni(text, ini)) found.push_back({ini.RegKey, dir, std::string()});
        return found;
    }
    if (!targetDir.empty()) return found;
    if (!SameFile(RemoveTrailingBackslash(ownDir), RemoveTrailingBackslash(places.WindowsDir))) return found;
    for (const std::string& sub : SubKeys(kUninstallKey)) {
        const std::string key = std::string(kUninstallKey) + "\\" + sub;
        TRegKey k;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ, k.Put()) != ERROR_SUCCESS) continue;
        const std::string program = ProgramOf(ReadRegText(k.Get(), "UnInstallString"));
        const std::string dir = ReadRegText(k.Get(), "UnInstallPath");
        if (program.empty() || dir.empty() || !SameFile(program, ownPath)) continue;
        if (!FileExists(AddTrailingBackslash(dir) + "UnInst.Ini")) continue;
        found.push_back({key, AddTrailingBackslash(dir), ReadRegText(k.Get(), "DisplayName")});
    }
    return found;
}

std::string GroupNameOf(const TLoadedInstallation& inst) {
    return inst.Entry.GrpName.empty() ? inst.Where.DisplayName : inst.Entry.GrpName;
}

TLoadOutcome LoadInstallation(const TInstallation& where, const TUninstPlaces& places, TLoadedInstallation& loaded,
                              std::string& changedFile) {
    std::string iniText, listText;
    TUnInstIni ini;
    if (!ReadFileText(where.Dir + "UnInst.Ini", iniText) || !ReadUnInstIni(iniText, ini)) return TLoadOutcome::Unknown;
    // An entry found in the system's list must be the one its settings file names.
    if (!SameText(ini.RegKey, where.RegKey)) return TLoadOutcome::Unknown;
    if (!ReadFileText(where.Dir + "INSTFILE.LST", listText)) return TLoadOutcome::Unknown;
    TRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, ini.RegKey.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return TLoadOutcome::Unknown;
    loaded.Where = where;
    loaded.Entry = ReadUninstEntry([&](const std::string& name) { return ReadValue(key.Get(), name); });
    if (loaded.Entry.UnInstallPath.empty()) return TLoadOutcome::Unknown;
    if (!SameFile(RemoveTrailingBackslash(loaded.Entry.UnInstallPath), RemoveTrailingBackslash(where.Dir)))
        return TLoadOutcome::Unknown;
    switch (CheckRecordFiles(iniText, listText, loaded.Entry)) {
    case TRecordCheck::IniChanged:
        changedFile = where.Dir + "UnInst.Ini";
        return TLoadOutcome::RecordsChanged;
    case TRecordCheck::ListChanged:
        changedFile = where.Dir + "INSTFILE.LST";
        return TLoadOutcome::RecordsChanged;
    case TRecordCheck::Unchanged:
        break;
    }
    if (loaded.Where.DisplayName.empty()) loaded.Where.DisplayName = loaded.Entry.DisplayName;
    return MakeUninstPlan(ini, ReadInstFileList(listText), loaded.Entry, places, loaded.Plan) ? TLoadOutcome::Loaded
                                                                                               : TLoadOutcome::Unknown;
}

bool OtherEntryNames(const std::string& program, const std::string& exceptKey) {
    for (const std::string& sub : SubKeys(kUninstallKey)) {
        const std::string key = std::string(kUninstallKey) + "\\" + sub;
        if (SameText(key, exceptKey)) continue;
        const std::string named = ProgramOf(ReadText(HKEY_LOCAL_MACHINE, key.c_str(), "UnInstallString"));
        if (!named.empty() && SameFile(named, program)) return true;
    }
    return false;
}

std::optional<std::uint32_t> ReadSharedCount(const std::string& path) {
    TRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return std::nullopt;
    DWORD type = 0, value = 0, size = sizeof value;
    if (RegQueryValueExA(key.Get(), path.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&value), &size) !=
            ERROR_SUCCESS ||
        size != sizeof value || (type != REG_DWORD && type != REG_BINARY))
        return std::nullopt;
    return value;
}

void WriteSharedCount(const std::string& path, std::uint32_t count) {
    TRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS) return;
    const DWORD value = count;
    RegSetValueExA(key.Get(), path.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof value);
}

void DeleteSharedCount(const std::string& path) {
    TRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_SET_VALUE | KEY_QUERY_VALUE, key.Put()) !=
        ERROR_SUCCESS)
        return;
    RegDeleteValueA(key.Get(), path.c_str());
    // Windows always has this key, but a system where only our package counted
    // files (a fresh Wine prefix) had none before the setup made it: an empty
    // key goes again.
    DWORD subKeys = 0, values = 0;
    if (RegQueryInfoKeyA(key.Get(), nullptr, nullptr, nullptr, &subKeys, nullptr, nullptr, &values, nullptr, nullptr,
                         nullptr, nullptr) == ERROR_SUCCESS &&
        subKeys == 0 && values == 0) {
        key.Reset();
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, kSharedDllsKey);
    }
}

std::optional<std::string> TRegistrySharedCounts::ReadRecord(const std::string& name) {
    TRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, FEntryKey.c_str(), 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return std::nullopt;
    return ReadValue(key.Get(), name);
}

void TRegistrySharedCounts::DeleteRecord(const std::string& name) {
    TRegKey key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, FEntryKey.c_str(), 0, KEY_SET_VALUE, key.Put()) != ERROR_SUCCESS) return;
    RegDeleteValueA(key.Get(), name.c_str());
    // On disk before the count changes: a run cut short then leaves the count
    // one too high, never lowered twice.
    RegFlushKey(key.Get());
}

std::optional<std::uint32_t> TRegistrySharedCounts::ReadCount(const std::string& path) { return ReadSharedCount(path); }

void TRegistrySharedCounts::WriteCount(const std::string& path, std::uint32_t count) { WriteSharedCount(path, count); }

void TRegistrySharedCounts::DeleteCount(const std::string& path) { DeleteSharedCount(path); }

void CheckEntryCanBeRemoved(const std::string& entryKey) {
    TRegKey key;
    const LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, entryKey.c_str(), 0,
                                  KEY_QUERY_VALUE | KEY_SET_VALUE | KEY_ENUMERATE_SUB_KEYS | DELETE, key.Put());
    if (rc != ERROR_SUCCESS && rc != ERROR_FILE_NOT_FOUND) throw Exception(SysErrorMessage(static_cast<unsigned long>(rc)));
}

void RemoveServiceRegistration(const std::string& serviceName) {
    const TServiceApi& api = ServiceApi();
    if (api.OpenSCManagerA && api.DeleteService) {
        TServiceHandle manager(api.OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT));
        TServiceHandle service(manager ? api.OpenServiceA(manager.Get(), serviceName.c_str(), DELETE) : nullptr);
        if (service) api.DeleteService(service.Get());
    }
    DeleteServiceKey(serviceName);
}

bool ScheduleDeleteAtRestart(const std::string& path) {
    if (IsNTFamily()) return MoveFileAtRestart(PathAtRestart(path), "");
    if (!FileExists(path)) return false;
    const std::string winInit = GetWindowsPath() + "WinInit.ini";
    // Whatever the profile functions still hold for the file goes to disk first.
    FlushProfile(winInit);
    std::string text;
    if (FileExists(winInit) && !ReadFileText(winInit, text)) return false;
    try {
        SaveStringToFile(winInit, AddWinInitRename(text, "NUL", GetShortPath(path)));
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

} // namespace kx
