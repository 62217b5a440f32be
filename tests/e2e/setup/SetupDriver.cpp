// Drives a running setup program from outside through window messages.
#include "SetupDriver.h"

#include <wincrypt.h>

#include <cstdio>
#include <stdexcept>

#include "app/SetupControlIds.h"

namespace kxe2e {

namespace {

constexpr int kPoll = 50;

struct TFind {
    DWORD Pid; // 0: any process
    const char* Class;
    HWND Found;
};

BOOL CALLBACK FindTopLevel(HWND wnd, LPARAM lp) {
    auto* f = reinterpret_cast<TFind*>(lp);
    DWORD pid = 0;
    GetWindowThreadProcessId(wnd, &pid);
    char cls[64] = {};
    GetClassNameA(wnd, cls, sizeof cls);
    if ((pid == f->Pid || f->Pid == 0) && IsWindowVisible(wnd) && lstrcmpA(cls, f->Class) == 0) {
        f->Found = wnd;
        return FALSE;
    }
    return TRUE;
}

struct TSearch {
    int Id;
    HWND Found;
};

BOOL CALLBACK FindChildById(HWND wnd, LPARAM lp) {
    auto* s = reinterpret_cast<TSearch*>(lp);
    if (GetDlgCtrlID(wnd) == s->Id) {
        s->Found = wnd;
        return FALSE;
    }
    return TRUE;
}

HWND FindWindowOf(DWORD pid, const char* cls) {
    TFind f{pid, cls, nullptr};
    EnumWindows(FindTopLevel, reinterpret_cast<LPARAM>(&f));
    return f.Found;
}

} // namespace

std::string WinPath(const std::string& path) {
    if (path.empty() || path[0] != '/') return path;
    std::string r = "Z:" + path;
    for (char& c : r)
        if (c == '/') c = '\\';
    return r;
}

std::string ReadFileBytes(const std::string& path) {
    FILE* f = std::fopen(path.c_str(), "rb");
    if (!f) return "<missing>";
    std::string data;
    char buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, f)) > 0;) data.append(buf, n);
    std::fclose(f);
    return data;
}

int CodePageLang() {
    const UINT cp = GetACP();
    return cp == 936 ? 0 : cp == 950 ? 1 : 2;
}

DWORD RunAndWait(const std::string& commandLine, int timeoutMs) {
    STARTUPINFOA si{};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi{};
    std::string cmd = commandLine;
    if (!CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 9999;
    WaitForSingleObject(pi.hProcess, static_cast<DWORD>(timeoutMs));
    DWORD code = 9999;
    GetExitCodeProcess(pi.hProcess, &code);
    CloseHandle(pi.hProcess);
    CloseHandle(pi.hThread);
    return code;
}

void TakeOptions(int argc, char** argv, std::initializer_list<std::pair<const char*, std::string*>> options) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        for (const auto& [name, into] : options)
            if (arg.rfind(name, 0) == 0) *into = arg.substr(std::string(name).size());
    }
}

TSetupProcess::TSetupProcess(const std::string& exe, const std::vector<std::string>& extraEnv,
                             const std::string& arguments) {
    for (const std::string& e : extraEnv) {
        std::size_t eq = e.find('=');
        SetEnvironmentVariableA(e.substr(0, eq).c_str(), e.substr(eq + 1).c_str());
    }
    STARTUPINFOA si{};
    si.cb = sizeof si;
    std::string cmd = "\"" + WinPath(exe) + "\"";
    if (!arguments.empty()) cmd += " " + arguments;
    BOOL ok = CreateProcessA(nullptr, cmd.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &FInfo);
    for (const std::string& e : extraEnv) SetEnvironmentVariableA(e.substr(0, e.find('=')).c_str(), nullptr);
    if (!ok) throw std::runtime_error("cannot start " + cmd);
}

TSetupProcess::~TSetupProcess() {
    if (FInfo.hProcess) {
        if (Running()) {
            TerminateProcess(FInfo.hProcess, 99);
            WaitForSingleObject(FInfo.hProcess, 5000);
        }
        CloseHandle(FInfo.hProcess);
        if (FInfo.hThread) CloseHandle(FInfo.hThread);
    }
}

std::unique_ptr<TSetupProcess> TSetupProcess::Attach(const char* formClass, int timeoutMs) {
    for (int t = 0; t < timeoutMs; t += kPoll) {
        if (HWND form = FindWindowOf(0, formClass)) {
            std::unique_ptr<TSetupProcess> p(new TSetupProcess());
            GetWindowThreadProcessId(form, &p->FInfo.dwProcessId);
            p->FInfo.hProcess = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE,
                                            p->FInfo.dwProcessId);
            if (!p->FInfo.hProcess) return nullptr;
            p->FForm = form;
            p->Sync();
            return p;
        }
        Sleep(kPoll);
    }
    return nullptr;
}

bool TSetupProcess::WaitForForm(int timeoutMs, const char* formClass) {
    for (int t = 0; t < timeoutMs; t += kPoll) {
        FForm = FindWindowOf(FInfo.dwProcessId, formClass ? formClass : kx::kSetupFormClass);
        if (FForm) {
            Sync();
            return true;
        }
        if (!Running()) return false;
        Sleep(kPoll);
    }
    return false;
}

HWND TSetupProcess::Control(int id) const {
    // Controls sit on the form, on Panel1 or on a page of the notebook.
    TSearch s{id, nullptr};
    EnumChildWindows(FForm, FindChildById, reinterpret_cast<LPARAM>(&s));
    if (!s.Found) throw std::runtime_error("no control " + std::to_string(id));
    return s.Found;
}

void TSetupProcess::Sync() {
    DWORD_PTR r = 0;
    SendMessageTimeoutA(FForm, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r);
}

void TSetupProcess::Click(int id, int timeoutMs) {
    DWORD_PTR r = 0;
    SendMessageTimeoutA(FForm, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Control(id)),
                        SMTO_NORMAL, static_cast<UINT>(timeoutMs), &r);
}

void TSetupProcess::ClickAsync(int id) {
    PostMessageA(FForm, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(Control(id)));
}

void TSetupProcess::SelectCombo(int id, int index) {
    HWND combo = Control(id);
    SendMessageA(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
    DWORD_PTR r = 0;
    SendMessageTimeoutA(FForm, WM_COMMAND, MAKEWPARAM(id, CBN_SELCHANGE), reinterpret_cast<LPARAM>(combo),
                        SMTO_NORMAL, 10000, &r);
}

void TSetupProcess::ToggleCheck(int listId, int index) {
    HWND list = Control(listId);
    RECT item{};
    SendMessageA(list, LB_GETITEMRECT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    const LPARAM at = MAKELPARAM(item.left + 5, (item.top + item.bottom) / 2);
    PostMessageA(list, WM_LBUTTONDOWN, MK_LBUTTON, at);
    PostMessageA(list, WM_LBUTTONUP, 0, at);
    Sleep(100);
    DWORD_PTR r = 0;
    SendMessageTimeoutA(list, WM_NULL, 0, 0, SMTO_NORMAL, 5000, &r);
}

void TSetupProcess::Type(int id, const std::string& text) {
    DWORD_PTR r = 0;
    SendMessageTimeoutA(Control(id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), SMTO_NORMAL, 5000, &r);
}

void TSetupProcess::Close() { PostMessageA(FForm, WM_SYSCOMMAND, SC_CLOSE, 0); }

HWND TSetupProcess::WaitForBox(int timeoutMs) {
    for (int t = 0; t < timeoutMs; t += kPoll) {
        if (HWND box = FindWindowOf(FInfo.dwProcessId, "#32770")) return box;
        if (!Running()) return nullptr;
        Sleep(kPoll);
    }
    return nullptr;
}

std::string TSetupProcess::BoxText(HWND box) { return Text(GetDlgItem(box, 0xFFFF)); }

void TSetupProcess::Answer(HWND box, int buttonId) {
    PostMessageA(box, WM_COMMAND, MAKEWPARAM(buttonId, BN_CLICKED),
                 reinterpret_cast<LPARAM>(GetDlgItem(box, buttonId)));
    for (int t = 0; t < 10000 && IsWindow(box); t += kPoll) Sleep(kPoll);
    if (Running() && FForm && IsWindow(FForm)) Sync();
}

std::vector<std::string> TSetupProcess::AnswerBoxesUntilEnd(int boxTimeoutMs) {
    std::vector<std::string> boxes;
    while (Running()) {
        HWND box = WaitForBox(boxTimeoutMs);
        if (!box) break;
        boxes.push_back(BoxText(box));
        Answer(box, GetDlgItem(box, IDRETRY) ? IDCANCEL : GetDlgItem(box, IDYES) ? IDNO : IDOK);
    }
    return boxes;
}

std::string TSetupProcess::Text(HWND wnd) {
    char buf[4096] = {};
    DWORD_PTR n = 0;
    SendMessageTimeoutA(wnd, WM_GETTEXT, sizeof buf, reinterpret_cast<LPARAM>(buf), SMTO_NORMAL, 5000, &n);
    return std::string(buf, n < sizeof buf ? n : 0);
}

std::string TSetupProcess::Text(int id) const { return Text(Control(id)); }

bool TSetupProcess::Enabled(int id) const { return IsWindowEnabled(Control(id)) != FALSE; }

bool TSetupProcess::Visible(int id) const { return IsWindowVisible(Control(id)) != FALSE; }

int TSetupProcess::Tag(int id) const { return static_cast<int>(GetWindowLongPtrA(Control(id), GWLP_USERDATA)); }

TRect TSetupProcess::RectInParent(int id) const {
    HWND wnd = Control(id);
    RECT r{};
    GetWindowRect(wnd, &r);
    MapWindowPoints(nullptr, GetParent(wnd), reinterpret_cast<POINT*>(&r), 2);
    return TRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

TRect TSetupProcess::ClientRect() const {
    RECT r{};
    GetClientRect(FForm, &r);
    return TRect{r.left, r.top, r.right - r.left, r.bottom - r.top};
}

std::vector<std::string> TSetupProcess::ListItems(int id) const {
    // Wine hands list-box strings to another process in UTF-16 whatever the
    // caller's character set, so they are read wide and turned back into the
    // active code page's bytes.
    HWND list = Control(id);
    std::vector<std::string> items;
    const int n = static_cast<int>(SendMessageW(list, LB_GETCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        wchar_t wide[1024] = {};
        LRESULT len = SendMessageW(list, LB_GETTEXT, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(wide));
        char bytes[4096] = {};
        int m = len > 0 && len < 1024
                    ? WideCharToMultiByte(CP_ACP, 0, wide, static_cast<int>(len), bytes, sizeof bytes, nullptr, nullptr)
                    : 0;
        items.emplace_back(bytes, static_cast<std::size_t>(m));
    }
    return items;
}

bool TSetupProcess::ListChecked(int id, int index) const {
    return SendMessageA(Control(id), LB_GETITEMDATA, static_cast<WPARAM>(index), 0) == 1;
}

int TSetupProcess::Page() const {
    static const int pages[4] = {kx::idPageLicense, kx::idPageSelectComp, kx::idPageSeleDir,
                                 kx::idPageCopyProgress};
    int shown = -1;
    for (int i = 0; i < 4; ++i)
        if (IsWindowVisible(Control(pages[i]))) shown = shown == -1 ? i : -2;
    return shown;
}

bool TSetupProcess::Running() const { return WaitForSingleObject(FInfo.hProcess, 0) == WAIT_TIMEOUT; }

void TSetupProcess::Kill() {
    TerminateProcess(FInfo.hProcess, 1);
    WaitForSingleObject(FInfo.hProcess, 10000);
}

bool TSetupProcess::WaitForExit(int timeoutMs, DWORD* exitCode) {
    if (WaitForSingleObject(FInfo.hProcess, static_cast<DWORD>(timeoutMs)) != WAIT_OBJECT_0) return false;
    if (exitCode) GetExitCodeProcess(FInfo.hProcess, exitCode);
    return true;
}

bool TSetupProcess::SaveScreenshot(const std::string& bmpPath) const { return SaveWindowScreenshot(FForm, bmpPath, false); }

bool TSetupProcess::SaveWindowScreenshot(HWND wnd, const std::string& bmpPath, bool withFrame) {
    // The window may have been shown a moment ago: let it paint before the copy.
    RedrawWindow(wnd, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN | RDW_UPDATENOW | RDW_FRAME);
    Sleep(200);
    RECT r{};
    if (withFrame) {
        GetWindowRect(wnd, &r);
    } else {
        GetClientRect(wnd, &r);
        MapWindowPoints(wnd, nullptr, reinterpret_cast<POINT*>(&r), 2);
    }
    const int w = r.right - r.left, h = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, w, h);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, w, h, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);

    BITMAPINFOHEADER bi{};
    bi.biSize = sizeof bi;
    bi.biWidth = w;
    bi.biHeight = h;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    const int stride = (w * 3 + 3) & ~3;
    std::string pixels(static_cast<std::size_t>(stride) * h, '\0');
    GetDIBits(mem, bmp, 0, static_cast<UINT>(h), pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);

    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi;
    fh.bfSize = fh.bfOffBits + static_cast<DWORD>(pixels.size());
    FILE* f = std::fopen(WinPath(bmpPath).c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(&fh, sizeof fh, 1, f) == 1 && std::fwrite(&bi, sizeof bi, 1, f) == 1 &&
              std::fwrite(pixels.data(), 1, pixels.size(), f) == pixels.size();
    return std::fclose(f) == 0 && ok;
}

std::string Sha256Hex(const std::string& bytes) {
    // Wine's and Windows' provider: a digest not made by the code under test.
    constexpr DWORD kProvRsaAes = 24;     // PROV_RSA_AES
    constexpr ALG_ID kSha256 = 0x800C;    // CALG_SHA_256
    HCRYPTPROV prov = 0;
    if (!CryptAcquireContextA(&prov, nullptr, nullptr, kProvRsaAes, CRYPT_VERIFYCONTEXT))
        throw std::runtime_error("no SHA-256 provider");
    HCRYPTHASH hash = 0;
    BYTE digest[32];
    DWORD size = sizeof digest;
    const bool ok = CryptCreateHash(prov, kSha256, 0, 0, &hash) &&
                    CryptHashData(hash, reinterpret_cast<const BYTE*>(bytes.data()), static_cast<DWORD>(bytes.size()), 0) &&
                    CryptGetHashParam(hash, HP_HASHVAL, digest, &size, 0) && size == sizeof digest;
    if (hash) CryptDestroyHash(hash);
    CryptReleaseContext(prov, 0);
    if (!ok) throw std::runtime_error("SHA-256 failed");
    static const char hex[] = "0123456789abcdef";
    std::string out;
    for (BYTE b : digest) {
        out += hex[b >> 4];
        out += hex[b & 15];
    }
    return out;
}

} // namespace kxe2e
