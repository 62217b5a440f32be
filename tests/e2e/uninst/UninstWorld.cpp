// The uninstaller tests' world: a prefix's files and registry, snapshots of
// both, and installations laid out as the setup records them.
#include "UninstWorld.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "../setup/SetupDriver.h"
#include "sys/untSetupUtils.h"
#include "unit/lang/ExpectedMessages.h"

namespace kxe2e {

std::string gUninst, gTestSvc, gAcmeUi, gArtifacts, gDemoSetup, gSecondSetup;

const char kSharedDllsKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\SharedDLLs";
const char kUninstallKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall";

namespace {

std::string FromHex(const char* hex) {
    std::string out;
    for (const char* p = hex; p[0] && p[1]; p += 2) out += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
    return out;
}

std::string Lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
}

// A folder that Windows names, with a trailing backslash.
std::string Folder(UINT (WINAPI *get)(LPSTR, UINT)) {
    char buf[MAX_PATH];
    const UINT n = get(buf, MAX_PATH);
    const std::string d(buf, n < MAX_PATH ? n : 0);
    return d.empty() || d.back() == '\\' ? d : d + "\\";
}

std::string WindowsDir() { return Folder(GetWindowsDirectoryA); }
std::string SystemDir() { return Folder(GetSystemDirectoryA); }

std::vector<std::string> SubKeyNames(HKEY key) {
    std::vector<std::string> names;
    for (DWORD i = 0;; ++i) {
        char name[256];
        DWORD len = sizeof name;
        if (RegEnumKeyExA(key, i, name, &len, nullptr, nullptr, nullptr, nullptr) != ERROR_SUCCESS) break;
        names.emplace_back(name, len);
    }
    return names;
}

std::string TempDir() {
    char buf[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, buf);
    return std::string(buf, n);
}

void WalkFiles(const std::string& dir, const std::vector<std::string>& skip, TSnapshot& out) {
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((dir + "*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) return;
    do {
        const std::string name = fd.cFileName;
        if (name == "." || name == "..") continue;
        std::string path = dir + name;
        const bool isDir = fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY;
        if (isDir) path += "\\";
        if (std::find(skip.begin(), skip.end(), Lower(path)) != skip.end()) continue;
        out.insert((isDir ? "D " : "F ") + path);
        if (isDir && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) WalkFiles(path, skip, out);
    } while (FindNextFileA(h, &fd));
    FindClose(h);
}

void WalkKeys(HKEY root, const std::string& key, const std::vector<std::string>& skip, TSnapshot& out) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return;
    out.insert("K " + key);
    for (DWORD i = 0;; ++i) {
        char name[16384];
        DWORD nameLen = sizeof name, type = 0, dataLen = 0;
        // Some keys (the performance counters') refuse every enumeration.
        if (RegEnumValueA(k, i, name, &nameLen, nullptr, &type, nullptr, &dataLen) != ERROR_SUCCESS) break;
        std::string data(dataLen, '\0');
        nameLen = sizeof name;
        RegEnumValueA(k, i, name, &nameLen, nullptr, &type, reinterpret_cast<BYTE*>(data.data()), &dataLen);
        char head[32];
        std::snprintf(head, sizeof head, "=%lu:", static_cast<unsigned long>(type));
        out.insert("V " + key + "\\\\" + std::string(name, nameLen) + head + data.substr(0, dataLen));
    }
    const std::vector<std::string> subs = SubKeyNames(k);
    RegCloseKey(k);
    for (const std::string& s : subs)
        if (std::find(skip.begin(), skip.end(), Lower(key + "\\" + s)) == skip.end())
            WalkKeys(root, key + "\\" + s, skip, out);
}

std::string DefaultGroupName() {
    switch (ActiveLang()) {
    case gb: return "\xB2\xE2\xCA\xD4\xB9\xA4\xBE\xDF";   // GBK
    case big5: return "\xB4\xFA\xB8\xD5\xA4\x75\xA8\xE3"; // Big5
    default: return "KxTest Tool";
    }
}

void CopyOrThrow(const std::string& from, const std::string& to) {
    if (!CopyFileA(from.c_str(), to.c_str(), FALSE)) throw std::runtime_error("cannot copy " + from + " to " + to);
}

void StartServiceByName(const char* name) {
    SC_HANDLE man = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_CONNECT);
    if (!man) return;
    SC_HANDLE svc = OpenServiceA(man, name, SERVICE_START | SERVICE_QUERY_STATUS);
    if (svc) {
        StartServiceA(svc, 0, nullptr);
        SERVICE_STATUS st{};
        for (int i = 0; i < 100 && QueryServiceStatus(svc, &st) && st.dwCurrentState != SERVICE_RUNNING; ++i)
            Sleep(50);
        CloseServiceHandle(svc);
    }
    CloseServiceHandle(man);
}

} // namespace

TLang ActiveLang() {
    switch (GetACP()) {
    case 936: return gb;
    case 950: return big5;
    default: return english;
    }
}

const char* LangName() {
    static const char* names[] = {"gb", "big5", "en"};
    return names[ActiveLang()];
}

std::string Msg(unsigned number) {
    for (const ExpectedMessage& e : kExpectedMessages)
        if (e.Number == number) return FromHex(ActiveLang() == gb ? e.GbHex : ActiveLang() == big5 ? e.B5Hex : e.EnHex);
    throw std::runtime_error("no message " + std::to_string(number));
}

std::string Msg(unsigned number, const std::string& arg) {
    std::string m = Msg(number);
    const std::size_t p = m.find("%s");
    return p == std::string::npos ? m : m.replace(p, 2, arg);
}

void Shot(TSetupProcess& p, const std::string& what) {
    if (gArtifacts.empty()) return;
    CreateDirectoryA(WinPath(gArtifacts).c_str(), nullptr);
    if (!p.SaveScreenshot(gArtifacts + "/uninst-" + LangName() + "-" + what + ".bmp"))
        throw std::runtime_error("no screenshot " + what);
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

void WriteText(const std::string& path, const std::string& text) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) throw std::runtime_error("cannot write " + path);
    std::fwrite(text.data(), 1, text.size(), f);
    std::fclose(f);
}

std::string ReadText(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return std::string();
    std::string text;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) text.append(buf, n);
    std::fclose(f);
    return text;
}

void MakeDirs(const std::string& dir, std::vector<std::string>* created) {
    std::string d = dir.back() == '\\' ? dir : dir + "\\";
    for (std::size_t p = d.find('\\', 3); p != std::string::npos; p = d.find('\\', p + 1)) {
        const std::string part = d.substr(0, p + 1);
        if (Exists(part)) continue;
        if (!CreateDirectoryA(part.c_str(), nullptr)) throw std::runtime_error("cannot create " + part);
        if (created) created->push_back(part);
    }
}

void RemoveTree(const std::string& dir) {
    const std::string d = dir.back() == '\\' ? dir : dir + "\\";
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((d + "*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = fd.cFileName;
            if (name == "." || name == "..") continue;
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(d + name);
            } else {
                SetFileAttributesA((d + name).c_str(), FILE_ATTRIBUTE_NORMAL);
                DeleteFileA((d + name).c_str());
            }
        } while (FindNextFileA(h, &fd));
        FindClose(h);
    }
    RemoveDirectoryA(d.c_str());
}

std::string RegText(HKEY root, const std::string& key, const std::string& value) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return std::string();
    std::string text = kx::ReadRegText(k, value.c_str());
    RegCloseKey(k);
    return text;
}

std::optional<std::uint32_t> RegDword(HKEY root, const std::string& key, const std::string& value) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return std::nullopt;
    DWORD type = 0, data = 0, size = sizeof data;
    LONG rc = RegQueryValueExA(k, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(&data), &size);
    RegCloseKey(k);
    if (rc != ERROR_SUCCESS || type != REG_DWORD) return std::nullopt;
    return data;
}

bool RegKeyExists(HKEY root, const std::string& key) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_READ, &k) != ERROR_SUCCESS) return false;
    RegCloseKey(k);
    return true;
}

void RegSetText(HKEY root, const std::string& key, const std::string& value, const std::string& data) {
    HKEY k = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create key " + key);
    RegSetValueExA(k, value.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(data.c_str()),
                   static_cast<DWORD>(data.size() + 1));
    RegCloseKey(k);
}

void RegSetDword(HKEY root, const std::string& key, const std::string& value, std::uint32_t data) {
    HKEY k = nullptr;
    if (RegCreateKeyExA(root, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &k, nullptr) != ERROR_SUCCESS)
        throw std::runtime_error("cannot create key " + key);
    const DWORD d = data;
    RegSetValueExA(k, value.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&d), sizeof d);
    RegCloseKey(k);
}

void RegDeleteTree(HKEY root, const std::string& key) {
    HKEY k = nullptr;
    if (RegOpenKeyExA(root, key.c_str(), 0, KEY_ALL_ACCESS, &k) != ERROR_SUCCESS) return;
    const std::vector<std::string> subs = SubKeyNames(k);
    RegCloseKey(k);
    for (const std::string& s : subs) RegDeleteTree(root, key + "\\" + s);
    RegDeleteKeyA(root, key.c_str());
}

long RunWait(const std::string& commandLine, int timeoutMs) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string cmd = commandLine;
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return -1;
    CloseHandle(pi.hThread);
    DWORD code = static_cast<DWORD>(-1);
    if (WaitForSingleObject(pi.hProcess, static_cast<DWORD>(timeoutMs)) == WAIT_OBJECT_0)
        GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    return static_cast<long>(code);
}

std::string RunCapture(const std::string& commandLine, int timeoutMs) {
    SECURITY_ATTRIBUTES sa{sizeof sa, nullptr, TRUE};
    HANDLE readEnd = nullptr, writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &sa, 0)) return std::string();
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOA si{};
    si.cb = sizeof si;
    si.dwFlags = STARTF_USESTDHANDLES;
    si.hStdOutput = si.hStdError = writeEnd;
    si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    PROCESS_INFORMATION pi{};
    std::string cmd = commandLine;
    const BOOL started = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi);
    CloseHandle(writeEnd);
    std::string out;
    if (started) {
        char buf[4096];
        DWORD n = 0;
        while (ReadFile(readEnd, buf, sizeof buf, &n, nullptr) && n > 0) out.append(buf, n);
        WaitForSingleObject(pi.hProcess, static_cast<DWORD>(timeoutMs));
        CloseHandle(pi.hThread);
        CloseHandle(pi.hProcess);
    }
    CloseHandle(readEnd);
    return out;
}

std::string PendingDeletes() {
    std::string text;
    HKEY k = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Control\\Session Manager", 0, KEY_READ, &k) ==
        ERROR_SUCCESS) {
        DWORD type = 0, size = 0;
        if (RegQueryValueExA(k, "PendingFileRenameOperations", nullptr, &type, nullptr, &size) == ERROR_SUCCESS) {
            std::string data(size, '\0');
            RegQueryValueExA(k, "PendingFileRenameOperations", nullptr, &type, reinterpret_cast<BYTE*>(data.data()),
                             &size);
            for (char& c : data)
                if (c == '\0') c = '\n';
            text += data;
        }
        RegCloseKey(k);
    }
    return text + ReadText(WindowsDir() + "wininit.ini");
}

void Restart() { RunWait("wineboot.exe -r", 120000); }

TSnapshot TakeSnapshot(bool withClasses) {
    TSnapshot s;
    // The temporary folders are the programs' scratch space, and WinInit.ini is
    // what waits for a restart: both are looked at on their own.
    std::vector<std::string> skip = {Lower(WindowsDir() + "temp\\"), Lower(TempDir()),
                                     Lower(WindowsDir() + "wininit.ini"), Lower(WindowsDir() + "wininit.bak")};
    // Wine links these folders of the profile to the Unix user's home.
    char profile[MAX_PATH] = {};
    if (GetEnvironmentVariableA("USERPROFILE", profile, MAX_PATH))
        for (const char* linked : {"Desktop", "Documents", "Downloads", "Music", "Pictures", "Videos", "Templates"})
            skip.push_back(Lower(std::string(profile) + "\\" + linked + "\\"));
    WalkFiles("C:\\", skip, s);
    const std::vector<std::string> skipKeys = {withClasses ? std::string() : "software\\classes"};
    WalkKeys(HKEY_LOCAL_MACHINE, "Software", skipKeys, s);
    WalkKeys(HKEY_LOCAL_MACHINE, "System\\CurrentControlSet\\Services", skipKeys, s);
    return s;
}

std::vector<std::string> SnapshotDiff(const TSnapshot& before, const TSnapshot& after) {
    std::vector<std::string> diff;
    for (const std::string& a : after)
        if (!before.count(a)) diff.push_back("+" + a);
    for (const std::string& b : before)
        if (!after.count(b)) diff.push_back("-" + b);
    return diff;
}

TFakeInstall::TFakeInstall(const TFakeOptions& options, const std::string& uninstaller,
                           const std::string& serviceProgram, const std::string& applicationProgram)
    : FOptions(options) {
    GroupName = DisplayName = options.GroupName.empty() ? DefaultGroupName() : options.GroupName;
    Dir = "C:\\Program Files\\Velmora\\" + options.Name + "\\";
    RegKey = std::string(kUninstallKey) + "\\" + options.Name;
    WindowsCopy = WindowsDir() + "kxUnInst.exe";
    MakeDirs(Dir, &CreatedDirs);

    WriteText(Dir + "readme.txt", "Read me\r\n");
    Files.push_back(Dir + "readme.txt");
    MakeDirs(Dir + "data", &CreatedDirs);
    WriteText(Dir + "data\\info.dat", "data");
    Files.push_back(Dir + "data\\info.dat");
    if (ActiveLang() == big5) {
        // A folder whose name holds the trail byte 0x5C.
        const std::string sub = Dir + "\xA5\x5C\xAF\xE0\\";
        MakeDirs(sub, &CreatedDirs);
        WriteText(sub + "x.txt", "x");
        Files.push_back(sub + "x.txt");
    }
    std::string ini = "[Reg]\r\nRegKey=" + RegKey + "\r\n\r\n[Service]\r\n";
    if (options.Service) {
        CopyOrThrow(serviceProgram, Dir + "kxtestsvc.exe");
        Files.push_back(Dir + "kxtestsvc.exe");
        RunWait("\"" + Dir + "kxtestsvc.exe\" /install /silent");
        StartServiceByName("KxTestSvc");
        ini += "KxTestSvc=True\r\n";
    }
    if (options.Application) {
        CopyOrThrow(applicationProgram, Dir + "app.exe");
        Files.push_back(Dir + "app.exe");
        ini += "[Common]\r\nFINDCLASS=TAcmeMainWindow\r\nReNameList=readme.txt;app.exe\r\n";
    }
    WriteIni(ini);

    std::vector<std::string> sharedFiles;
    if (options.SharedDll) {
        SharedDll = SystemDir() + "kxshared.dll";
        if (!Exists(SharedDll)) WriteText(SharedDll, "shared");
        RegSetDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, SharedDll,
                    RegDword(HKEY_LOCAL_MACHINE, kSharedDllsKey, SharedDll).value_or(0) + 1);
        Files.push_back(SharedDll);
        sharedFiles.push_back(SharedDll);
    }
    CopyOrThrow(uninstaller, TargetUninstaller());
    CopyOrThrow(uninstaller, WindowsCopy);
    WriteList();

    // The program group, with a sub-folder and the uninstaller's shortcut.
    const std::string programs = RegText(HKEY_LOCAL_MACHINE,
                                         "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders",
                                         "Common Programs");
    GroupDir = programs + "\\" + GroupName + "\\";
    MakeDirs(GroupDir + "Docs", &CreatedDirs);
    Shortcuts = {GroupDir + "App.Lnk", GroupDir + "Docs\\Read Me.Lnk", GroupDir + Msg(29, GroupName) + ".Lnk"};
    kx::CreateShortcut(Dir + "app.exe", "App", Shortcuts[0]);
    kx::CreateShortcut(Dir + "readme.txt", "Read Me", Shortcuts[1]);
    kx::CreateShortcut(TargetUninstaller(), Msg(29, GroupName), Shortcuts[2]);

    // An AutoReg value in keys of its own.
    const std::string base = "SOFTWARE\\" + options.Name;
    std::vector<std::string> regKeys;
    if (!RegKeyExists(HKEY_LOCAL_MACHINE, base)) regKeys.push_back(base);
    regKeys.push_back(base + "\\Tool");
    RegSetText(HKEY_LOCAL_MACHINE, base + "\\Tool", "InstallPath", Dir + "readme.txt");

    RegSetText(HKEY_LOCAL_MACHINE, RegKey, "DisplayName", DisplayName);
    RegSetText(HKEY_LOCAL_MACHINE, RegKey, "UnInstallPath", Dir);
    RegSetText(HKEY_LOCAL_MACHINE, RegKey, "GrpName", GroupName);
    RegSetText(HKEY_LOCAL_MACHINE, RegKey, "UnInstallString", WindowsCopy);
    RegSetText(HKEY_LOCAL_MACHINE, RegKey, "Publisher", "Acme Ltd.");
    RegSetText(HKEY_LOCAL_MACHINE, RegKey, "InstallLocation", Dir);
    RegSetText(HKEY_LOCAL_MACHINE, RegKey, "DisplayIcon", TargetUninstaller());
    RegSetDword(HKEY_LOCAL_MACHINE, RegKey, "EstimatedSize", 1);
    RegSetDword(HKEY_LOCAL_MACHINE, RegKey, "NoModify", 1);
    RegSetDword(HKEY_LOCAL_MACHINE, RegKey, "NoRepair", 1);
    RegSetText(HKEY_LOCAL_MACHINE, RegKey, "kxGroupDir", GroupDir);
    auto numbered = [&](const char* prefix, const std::vector<std::string>& items) {
        for (std::size_t i = 0; i < items.size(); ++i)
            RegSetText(HKEY_LOCAL_MACHINE, RegKey, prefix + std::to_string(i), items[i]);
    };
    numbered("kxCreatedDir", CreatedDirs);
    numbered("kxShortcut", Shortcuts);
    numbered("kxRegValue", {base + "\\Tool;InstallPath"});
    numbered("kxRegKey", regKeys);
    numbered("kxSharedFile", sharedFiles);
}

void TFakeInstall::WriteList(const std::vector<std::string>& extraLines) {
    std::string list;
    for (const std::string& f : Files) list += f + "\r\n";
    for (const std::string& l : extraLines) list += l + "\r\n";
    list += Dir + "UnInst.Ini\r\n" + Dir + "INSTFILE.LST\r\n";
    WriteText(Dir + "INSTFILE.LST", list);
    RegSetText(HKEY_LOCAL_MACHINE, RegKey, "kxListSha256", Sha256Hex(list));
}

void TFakeInstall::WriteIni(const std::string& text) {
    WriteText(Dir + "UnInst.Ini", text);
    RegSetText(HKEY_LOCAL_MACHINE, RegKey, "kxIniSha256", Sha256Hex(text));
}


void TFakeInstall::Remove() {
    if (FOptions.Service) {
        SC_HANDLE man = OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS);
        if (man) {
            SC_HANDLE svc = OpenServiceA(man, "KxTestSvc", SERVICE_ALL_ACCESS);
            if (svc) {
                SERVICE_STATUS st{};
                ControlService(svc, SERVICE_CONTROL_STOP, &st);
                DeleteService(svc);
                CloseServiceHandle(svc);
            }
            CloseServiceHandle(man);
        }
        RegDeleteTree(HKEY_LOCAL_MACHINE, "SYSTEM\\CurrentControlSet\\Services\\KxTestSvc");
    }
    RemoveTree(Dir);
    RemoveDirectoryA("C:\\Program Files\\Velmora");
    RemoveTree(GroupDir);
    RegDeleteTree(HKEY_LOCAL_MACHINE, RegKey);
    RegDeleteTree(HKEY_LOCAL_MACHINE, "SOFTWARE\\" + FOptions.Name);
    if (!SharedDll.empty()) {
        HKEY k = nullptr;
        if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSharedDllsKey, 0, KEY_ALL_ACCESS, &k) == ERROR_SUCCESS) {
            RegDeleteValueA(k, SharedDll.c_str());
            RegCloseKey(k);
        }
        DeleteFileA(SharedDll.c_str());
    }
    DeleteFileA(WindowsCopy.c_str());
}

} // namespace kxe2e
