// Opening a program through the desktop's shell, with the rights of its user.
#include "sys/DesktopShell.h"

#include <string>

#include "sys/Handles.h"
#include "sys/Process.h"
#include "sys/SystemLibrary.h"
#include "sys/Win32.h"

#include <exdisp.h>
#include <oleauto.h>
#include <servprov.h>
#include <shldisp.h>
#include <shlobj.h>

namespace kx {

namespace {

constexpr int kTokenElevation = 20; // TOKEN_INFORMATION_CLASS TokenElevation, Windows Vista and later

using TGetTokenInformation = BOOL(WINAPI*)(HANDLE, int, LPVOID, DWORD, PDWORD);

bool VistaOrLater() {
    OSVERSIONINFOA vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    return GetVersionExA(&vi) && vi.dwPlatformId == VER_PLATFORM_WIN32_NT && vi.dwMajorVersion >= 6;
}

// A BSTR or VARIANT that is freed on every way out.
class TBstr {
public:
    explicit TBstr(const std::string& text) {
        const int n = MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, nullptr, 0);
        if (n <= 0) return;
        std::wstring wide(static_cast<std::size_t>(n), L'\0');
        if (MultiByteToWideChar(CP_ACP, 0, text.c_str(), -1, wide.data(), n) == n) FValue = SysAllocString(wide.c_str());
    }
    ~TBstr() { SysFreeString(FValue); }
    TBstr(const TBstr&) = delete;
    TBstr& operator=(const TBstr&) = delete;
    BSTR Get() const { return FValue; }

private:
    BSTR FValue = nullptr;
};

class TVariant {
public:
    TVariant() { VariantInit(&FValue); }
    explicit TVariant(const std::string& text) : TVariant() {
        TBstr s(text);
        if (s.Get()) {
            FValue.vt = VT_BSTR;
            FValue.bstrVal = SysAllocString(s.Get());
        }
    }
    explicit TVariant(long number) : TVariant() {
        FValue.vt = VT_I4;
        FValue.lVal = number;
    }
    ~TVariant() { VariantClear(&FValue); }
    TVariant(const TVariant&) = delete;
    TVariant& operator=(const TVariant&) = delete;
    VARIANT& Get() { return FValue; }

private:
    VARIANT FValue;
};

} // namespace

bool IsElevatedProcess() {
    if (!VistaOrLater()) return false;
    auto getInfo = GetProc<TGetTokenInformation>(GetModuleHandleA("advapi32.dll"), "GetTokenInformation");
    HANDLE token = nullptr;
    if (!getInfo || !OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return false;
    TKernelHandle owner(token);
    DWORD elevated = 0, size = 0;
    return getInfo(token, kTokenElevation, &elevated, sizeof elevated, &size) && elevated != 0;
}

bool OpenThroughDesktopShell(const std::string& file, const std::string& workDir) {
    TComPtr<IShellWindows> windows;
    if (FAILED(CoCreateInstance(CLSID_ShellWindows, nullptr, CLSCTX_LOCAL_SERVER, IID_IShellWindows,
                                windows.PutVoid())))
        return false;
    TVariant desktop(static_cast<long>(CSIDL_DESKTOP)), empty;
    long hwnd = 0;
    TComPtr<IDispatch> found;
    if (windows->FindWindowSW(&desktop.Get(), &empty.Get(), SWC_DESKTOP, &hwnd, SWFO_NEEDDISPATCH, found.Put()) !=
            S_OK ||
        !found)
        return false;
    TComPtr<IServiceProvider> provider;
    TComPtr<IShellBrowser> browser;
    TComPtr<IShellView> view;
    TComPtr<IDispatch> background;
    TComPtr<IShellFolderViewDual> folderView;
    TComPtr<IDispatch> application;
    TComPtr<IShellDispatch2> shell;
    if (FAILED(found->QueryInterface(IID_IServiceProvider, provider.PutVoid())) ||
        FAILED(provider->QueryService(SID_STopLevelBrowser, IID_IShellBrowser, browser.PutVoid())) ||
        FAILED(browser->QueryActiveShellView(view.Put())) ||
        FAILED(view->GetItemObject(SVGIO_BACKGROUND, IID_IDispatch, background.PutVoid())) ||
        FAILED(background->QueryInterface(IID_IShellFolderViewDual, folderView.PutVoid())) ||
        FAILED(folderView->get_Application(application.Put())) ||
        FAILED(application->QueryInterface(IID_IShellDispatch2, shell.PutVoid())))
        return false;
    TBstr program(file);
    if (!program.Get()) return false;
    TVariant arguments, directory = workDir.empty() ? TVariant() : TVariant(workDir), verb("open"),
                        show(static_cast<long>(SW_SHOWNORMAL));
    return SUCCEEDED(shell->ShellExecute(program.Get(), arguments.Get(), directory.Get(), verb.Get(), show.Get()));
}

bool OpenAsDesktopUser(const std::string& file, const std::string& workDir) {
    if (IsElevatedProcess()) return OpenThroughDesktopShell(file, workDir);
    ShellOpen(file, workDir, nullptr);
    return true;
}

} // namespace kx
