// Shell integration: temporary names, the Windows TEMP folder, the program-group
// folder, shell links, the folder browser and the forced restart.
#include "sys/untSetupUtils.h"

#include <cstdio>
#include <vector>

#include "base/Exception.h"
#include "base/Format.h"
#include "sys/Files.h"
#include "sys/Handles.h"
#include "sys/Paths.h"
#include "sys/Win32.h"

#include <shlobj.h>
#include <shobjidl.h>

namespace kx {

namespace {

const char kShellFoldersKey[] = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Explorer\\Shell Folders";

// The text Windows gives for an HRESULT, as the COM error of a failed call.
std::string ComErrorText(HRESULT hr) {
    char* buf = nullptr;
    DWORD n = FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                             nullptr, static_cast<DWORD>(hr), 0, reinterpret_cast<char*>(&buf), 0, nullptr);
    std::string text = n && buf ? std::string(buf, n) : std::string();
    if (buf) LocalFree(buf);
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r' || text.back() == ' ' || text.back() == '.'))
        text.pop_back();
    if (text.empty()) text = Format("OLE error %.8X", static_cast<std::uint32_t>(hr));
    return text;
}

std::wstring ToWide(const std::string& text) {
    int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
    if (n <= 0) return std::wstring();
    std::wstring w(static_cast<std::size_t>(n), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, w.data(), n);
    w.resize(static_cast<std::size_t>(n - 1));
    return w;
}

// Read access only, and a missing key is not made: a limited account can read the
// common folder but could neither create nor fully open the key.
std::string ReadShellFolder(HKEY root, const char* valueName) {
    TRegKey key;
    if (RegOpenKeyExA(root, kShellFoldersKey, 0, KEY_READ, key.Put()) != ERROR_SUCCESS)
        return std::string();
    return ReadRegText(key.Get(), valueName);
}

// Memory handed out by the shell's allocator, given back to it on every way out.
class TShellMemory {
public:
    TShellMemory(IMalloc* alloc, void* p) : FAlloc(alloc), FPtr(p) {}
    ~TShellMemory() {
        if (FPtr) FAlloc->Free(FPtr);
    }
    TShellMemory(const TShellMemory&) = delete;
    TShellMemory& operator=(const TShellMemory&) = delete;
    void* Get() const { return FPtr; }

private:
    IMalloc* FAlloc;
    void* FPtr;
};

// Disables the visible, enabled windows of the calling thread and enables
// exactly those again when it goes out of scope, so a modal dialog run in
// between cannot leave the program's windows dead, whichever way it ends.
class TDisabledThreadWindows {
public:
    TDisabledThreadWindows() {
        EnumThreadWindows(GetCurrentThreadId(), &Collect, reinterpret_cast<LPARAM>(&FWindows));
        for (HWND w : FWindows) EnableWindow(w, FALSE);
    }
    ~TDisabledThreadWindows() {
        for (HWND w : FWindows)
            if (IsWindow(w)) EnableWindow(w, TRUE);
    }
    TDisabledThreadWindows(const TDisabledThreadWindows&) = delete;
    TDisabledThreadWindows& operator=(const TDisabledThreadWindows&) = delete;

private:
    static BOOL CALLBACK Collect(HWND w, LPARAM data) {
        if (IsWindowVisible(w) && IsWindowEnabled(w)) reinterpret_cast<std::vector<HWND>*>(data)->push_back(w);
        return TRUE;
    }
    std::vector<HWND> FWindows;
};

int CALLBACK BrowseCallback(HWND dialog, UINT msg, LPARAM, LPARAM data) {
    const char* dir = reinterpret_cast<const char*>(data);
    if (msg == BFFM_INITIALIZED && dir && *dir) SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, data);
    return 0;
}

} // namespace

std::string ReadRegText(HKEY key, const char* valueName) {
    DWORD type = 0, size = 0;
    if (RegQueryValueExA(key, valueName, nullptr, &type, nullptr, &size) != ERROR_SUCCESS) return std::string();
    if (type != REG_SZ && type != REG_EXPAND_SZ) return std::string();
    std::vector<char> buf(size + 1, '\0');
    if (RegQueryValueExA(key, valueName, nullptr, &type, reinterpret_cast<BYTE*>(buf.data()), &size) !=
        ERROR_SUCCESS)
        return std::string();
    buf[size < buf.size() ? size : buf.size() - 1] = '\0';
    return std::string(buf.data());
}

std::string MakeSetupTempName() {
    char buf[MAX_PATH];
    DWORD n = GetTempPathA(MAX_PATH, buf);
    std::string dir = AddTrailingBackslash(std::string(buf, n < MAX_PATH ? n : 0));
    for (int i = 9999; i >= 0; --i) {
        std::string name = Format("%sSeup%4.4d.tmp", dir, i);
        // A directory of that name would make the caller's file creation fail just
        // as well, so only a name under which nothing exists is free.
        if (GetFileAttributesA(name.c_str()) == INVALID_FILE_ATTRIBUTES) return name;
    }
    // Every name is someone's file; the caller would overwrite and then delete one.
    throw Exception(Format("No free temporary file name in %s", dir));
}

std::string GetWinTempPath() {
    std::string dir = GetWindowsPath() + "TEMP\\";
    MakeDirPath(dir);
    std::vector<char> buf(MAX_PATH);
    DWORD n = GetShortPathNameA(dir.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    if (n >= buf.size()) {
        buf.resize(n + 1);
        n = GetShortPathNameA(dir.c_str(), buf.data(), static_cast<DWORD>(buf.size()));
    }
    if (n == 0 || n >= buf.size()) return std::string();
    return std::string(buf.data(), n);
}

std::string GetProgramGroupPath(const std::string& groupName) {
    std::string dir = ReadShellFolder(HKEY_LOCAL_MACHINE, "Common Programs");
    if (dir.empty()) dir = ReadShellFolder(HKEY_CURRENT_USER, "Programs");
    if (dir.empty()) dir = Format("%sWINDOWS\\Start Menu\\Programs", GetWindowsPath().substr(0, 3));
    dir = AddTrailingBackslash(dir);
    if (!groupName.empty()) dir += groupName + "\\";
    return dir;
}

bool CreateShortcut(const std::string& target, const std::string& description, const std::string& linkFile,
                    const std::string& arguments) {
    TComPtr<IShellLinkA> link;
    HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkA, link.PutVoid());
    if (FAILED(hr)) throw Exception(ComErrorText(hr));
    link->SetPath(target.c_str());
    if (!arguments.empty()) link->SetArguments(arguments.c_str());
    link->SetDescription(description.c_str());
    link->SetShowCmd(SW_SHOW);

    TComPtr<IPersistFile> file;
    if (FAILED(link->QueryInterface(IID_IPersistFile, file.PutVoid()))) return false;
    std::wstring widePath = ToWide(linkFile);
    return SUCCEEDED(file->Save(widePath.c_str(), TRUE));
}

bool BrowseForDirectory(const std::string& caption, const std::string& root, std::string& directory) {
    if (!DirectoryExists(directory)) directory.clear();

    TComPtr<IMalloc> shellMalloc;
    if (FAILED(SHGetMalloc(shellMalloc.Put()))) return false;
    TShellMemory displayName(shellMalloc.Get(), shellMalloc->Alloc(MAX_PATH));
    if (!displayName.Get()) return false;
    static_cast<char*>(displayName.Get())[0] = '\0';

    HWND owner = GetActiveWindow();
    LPITEMIDLIST rootItems = nullptr;
    if (!root.empty()) {
        TComPtr<IShellFolder> desktop;
        if (SUCCEEDED(SHGetDesktopFolder(desktop.Put()))) {
            std::wstring wideRoot = ToWide(root);
            ULONG eaten = 0;
            if (FAILED(desktop->ParseDisplayName(owner, nullptr, wideRoot.data(), &eaten, &rootItems, nullptr)))
                rootItems = nullptr;
        }
    }
    TShellMemory rootOwner(shellMalloc.Get(), rootItems);

    BROWSEINFOA bi{};
    bi.hwndOwner = owner;
    bi.pidlRoot = rootItems;
    bi.pszDisplayName = static_cast<char*>(displayName.Get());
    bi.lpszTitle = caption.c_str();
    bi.ulFlags = BIF_RETURNONLYFSDIRS;
    if (!directory.empty()) {
        bi.lpfn = &BrowseCallback;
        bi.lParam = reinterpret_cast<LPARAM>(directory.c_str());
    }

    LPITEMIDLIST chosen = nullptr;
    {
        TDisabledThreadWindows disabled;
        chosen = SHBrowseForFolderA(&bi);
    }
    if (!chosen) return false;
    TShellMemory chosenOwner(shellMalloc.Get(), chosen);
    char* path = static_cast<char*>(displayName.Get());
    // Only a real file-system path is an answer; anything else is no choice.
    if (!SHGetPathFromIDListA(chosen, path)) return false;
    directory = path;
    return true;
}

bool EnableShutdownPrivilege() {
    TKernelHandle token;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.Put())) return false;
    TOKEN_PRIVILEGES tp{};
    tp.PrivilegeCount = 1;
    LookupPrivilegeValueA(nullptr, "SeShutdownPrivilege", &tp.Privileges[0].Luid);
    tp.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
    // Success of the call alone is not enough: a token without the privilege
    // succeeds with ERROR_NOT_ALL_ASSIGNED.
    if (!AdjustTokenPrivileges(token.Get(), FALSE, &tp, 0, nullptr, nullptr)) return false;
    return GetLastError() == ERROR_SUCCESS;
}

void RestartSystemWith(bool ntFamily, const std::function<bool()>& enablePrivilege,
                       const std::function<void(UINT flags)>& exitWindows) {
    if (ntFamily) enablePrivilege();
    exitWindows(EWX_REBOOT | EWX_FORCE);
}

void RestartSystem() {
    RestartSystemWith(IsNTFamily(), &EnableShutdownPrivilege, [](UINT flags) { ExitWindowsEx(flags, 0); });
}

} // namespace kx
