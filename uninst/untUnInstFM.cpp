// TUnInstFM: the uninstaller's window in raw Win32 controls, and the run it starts.
#include "uninst/untUnInstFM.h"

#include "app/PackageId.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"
#include "sys/FormStyle.h"
#include "sys/Paths.h"
#include "sys/untSetupUtils.h"
#include "uninst/UnInstControlIds.h"
#include "uninst/UninstRun.h"

namespace kx {

namespace {

const char kPanelClass[] = "TUnInstPanel";
const char kProgressClass[] = "TUnInstProgress";

constexpr int kClientWidth = 430;
constexpr int kClientHeight = 299;
constexpr int kProgressItemHeight = 13;
constexpr COLORREF kLime = RGB(0, 255, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);
// The bar's position, 0 to 100; the same message as the common control's.
constexpr UINT kSetPos = WM_USER + 2;

TUnInstFM* FormOf(HWND hwnd) { return reinterpret_cast<TUnInstFM*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

// The title panel: white, with a lowered outer bevel; what its children report goes to the form.
LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
    case WM_DRAWITEM:
    case WM_CTLCOLORSTATIC:
        return SendMessageA(GetParent(hwnd), msg, wp, lp);
    case WM_ERASEBKGND:
        PaintTitlePanel(hwnd, reinterpret_cast<HDC>(wp));
        return 1;
    default:
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

// A progress bar drawn here, so the program needs no common-controls library.
LRESULT CALLBACK ProgressProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case kSetPos: {
        const LONG_PTR pos = static_cast<LONG_PTR>(wp) > 100 ? 100 : static_cast<LONG_PTR>(wp);
        if (GetWindowLongPtrA(hwnd, GWLP_USERDATA) != pos) {
            SetWindowLongPtrA(hwnd, GWLP_USERDATA, pos);
            InvalidateRect(hwnd, nullptr, TRUE);
        }
        return 0;
    }
    case WM_PAINT: {
        PAINTSTRUCT ps;
        HDC dc = BeginPaint(hwnd, &ps);
        RECT r;
        GetClientRect(hwnd, &r);
        FillRect(dc, &r, GetSysColorBrush(COLOR_BTNFACE));
        DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT | BF_ADJUST);
        const LONG_PTR pos = GetWindowLongPtrA(hwnd, GWLP_USERDATA);
        RECT bar{r.left + 1, r.top + 1, r.right - 1, r.bottom - 1};
        bar.right = bar.left + static_cast<LONG>((bar.right - bar.left) * pos / 100);
        if (bar.right > bar.left) FillRect(dc, &bar, GetSysColorBrush(COLOR_HIGHLIGHT));
        EndPaint(hwnd, &ps);
        return 0;
    }
    default:
        return DefWindowProcA(hwnd, msg, wp, lp);
    }
}

BOOL CALLBACK SetChildFont(HWND child, LPARAM font) {
    SendMessageA(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    return TRUE;
}

} // namespace

void RegisterUnInstClasses(HINSTANCE instance) {
    WNDCLASSA wc{};
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));
    wc.lpfnWndProc = &TUnInstFM::FormProc;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(idUnInstIcon));
    wc.lpszClassName = kUnInstFormClass;
    RegisterClassA(&wc);

    wc.hIcon = nullptr;
    wc.lpfnWndProc = PanelProc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kPanelClass;
    RegisterClassA(&wc);

    wc.lpfnWndProc = ProgressProc;
    wc.hbrBackground = nullptr;
    wc.lpszClassName = kProgressClass;
    RegisterClassA(&wc);
}

TUnInstFM::TUnInstFM(HINSTANCE instance, std::vector<TLoadedInstallation> installations, std::string runningPath,
                     TNamedLock& lock)
    : FInstance(instance), FInstallations(std::move(installations)), FRunningPath(std::move(runningPath)),
      FLock(lock) {
    if (FInstallations.empty()) throw Exception("No installation to remove");
    FBlackBrush = CreateSolidBrush(kBlack);
    FIcon = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(idUnInstIcon), IMAGE_ICON, 32, 32, 0));
    try {
        CreateControls();
    } catch (...) {
        FreeResources();
        throw;
    }
    SetWindowTextA(btnUnInstall, GetSetupMsg(msgUninstall).c_str());
    SetWindowTextA(btnCancel, GetSetupMsg(msgCancel).c_str());
    ApplyLanguageFont();
    if (FInstallations.size() == 1) {
        ShowInstallation(0);
    } else {
        FChoosing = true;
        SetCaption(GetSetupMsg(msgUninstall));
        for (const TLoadedInstallation& inst : FInstallations)
            SendMessageA(lbxProgress, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(inst.Where.DisplayName.c_str()));
        SendMessageA(lbxProgress, LB_SETCURSEL, 0, 0);
    }
}

TUnInstFM::~TUnInstFM() { FreeResources(); }

void TUnInstFM::FreeResources() {
    if (FHandle) {
        SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
        DestroyWindow(FHandle);
        FHandle = nullptr;
    }
    if (FFont) DeleteObject(FFont);
    if (FBlackBrush) DeleteObject(FBlackBrush);
    if (FIcon) DestroyIcon(FIcon);
    FFont = nullptr;
    FBlackBrush = nullptr;
    FIcon = nullptr;
}

HWND TUnInstFM::Child(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y, int w,
                      int h, DWORD exStyle) {
    HWND wnd = CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), FInstance, nullptr);
    if (!wnd) throw Exception(Format("Cannot create control %d", id));
    return wnd;
}

void TUnInstFM::CreateControls() {
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT r{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    FHandle = CreateWindowExA(0, kUnInstFormClass, "", style, x, y, w, h, nullptr, nullptr, FInstance, this);
    if (!FHandle) throw Exception("Cannot create the uninstaller's window");

    // Creation order is the tab order.
    btnCancel = Child(FHandle, "BUTTON", "", WS_TABSTOP | BS_PUSHBUTTON, idUnBtnCancel, 8, 273, 75, 25);
    btnUnInstall = Child(FHandle, "BUTTON", "", WS_TABSTOP | BS_DEFPUSHBUTTON, idUnBtnUnInstall, 348, 272, 75, 25);
    lbxProgress = Child(FHandle, "LISTBOX", "", WS_TABSTOP | WS_VSCROLL | LBS_NOINTEGRALHEIGHT | LBS_NOTIFY,
                        idUnLbxProgress, 12, 73, 403, 185, WS_EX_CLIENTEDGE);
    ProgressBar = Child(FHandle, kProgressClass, "", 0, idUnProgressBar, 14, 57, 401, 13);
    Panel1 = Child(FHandle, kPanelClass, "", 0, idUnPanel1, 0, 0, 430, 44);
    lblCompany =
        Child(FHandle, "STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX | WS_DISABLED, idUnLblCompany, 95, 278, 240, 15);
    Bevel2 = Child(FHandle, "STATIC", "", SS_ETCHEDHORZ, idUnBevel2, 6, 265, 419, 2);
    imgTitle = Child(Panel1, "STATIC", "", SS_OWNERDRAW, idUnImgTitle, 15, 6, 32, 32);
    lblTitle = Child(Panel1, "STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX, idUnLblTitle, 58, 20, 35, 15);
}

void TUnInstFM::ApplyLanguageFont() {
    FFont = CreateLanguageFont(SetupLang);
    HFONT font = FFont ? FFont : static_cast<HFONT>(GetStockObject(DEFAULT_GUI_FONT));
    SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    EnumChildWindows(FHandle, SetChildFont, reinterpret_cast<LPARAM>(font));
    SendMessageA(lbxProgress, LB_SETITEMHEIGHT, 0, kProgressItemHeight);
}

void TUnInstFM::SetCaption(const std::string& text) {
    FCaption = text;
    SetWindowTextA(FHandle, text.c_str());
    SetWindowTextA(lblTitle, text.c_str());
    FitLabelToText(lblTitle);
}

void TUnInstFM::ShowInstallation(std::size_t index) {
    FChosen = index;
    FChoosing = false;
    const TLoadedInstallation& inst = FInstallations[index];
    SetCaption(Format(GetSetupMsg(msgUninstShortcut), GroupNameOf(inst)));
    SetWindowTextA(lblCompany, inst.Entry.Publisher.c_str());
    SendMessageA(lbxProgress, LB_RESETCONTENT, 0, 0);
    AddProgressLine(inst.Plan.TargetDir);
}

void TUnInstFM::Show() {
    ShowWindow(FHandle, SW_SHOWNORMAL);
    UpdateWindow(FHandle);
    SetFocus(btnUnInstall);
}

void TUnInstFM::AddProgressLine(const std::string& text) {
    LRESULT index = SendMessageA(lbxProgress, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (index >= 0) SendMessageA(lbxProgress, LB_SETTOPINDEX, static_cast<WPARAM>(index), 0);
    ProcessPendingMessages(FHandle);
}

void TUnInstFM::SetProgress(int percent) { SendMessageA(ProgressBar, kSetPos, static_cast<WPARAM>(percent), 0); }

int TUnInstFM::Ask(const std::string& text, UINT flags) {
    return MessageBoxA(FHandle, text.c_str(), FCaption.c_str(), flags);
}

void TUnInstFM::btnCancelClick() {
    if (!FRunning) DestroyWindow(FHandle);
}

void TUnInstFM::btnUnInstallClick() {
    if (FRunning) return;
    if (FChoosing) {
        const LRESULT sel = SendMessageA(lbxProgress, LB_GETCURSEL, 0, 0);
        ShowInstallation(sel >= 0 && static_cast<std::size_t>(sel) < FInstallations.size()
                             ? static_cast<std::size_t>(sel)
                             : 0);
    }
    RunUninstall();
}

void TUnInstFM::RunUninstall() {
    if (!FLock.Held() &&
        !FLock.TryAcquire(PackageMutexName(FInstallations[FChosen].Where.RegKey, IsNTFamily()))) {
        Ask(Format(GetSetupMsg(msgSetupRunning), GroupNameOf(FInstallations[FChosen])), MB_OK | MB_ICONERROR);
        DestroyWindow(FHandle);
        return;
    }
    FRunning = true;
    EnableWindow(btnUnInstall, FALSE);
    EnableWindow(btnCancel, FALSE);
    SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
    const TUninstUi ui{[this](const std::string& line) { AddProgressLine(line); },
                       [this](int percent) { SetProgress(percent); },
                       [this](const std::string& text, unsigned flags) { return Ask(text, flags); }};
    TUninstRun run(FInstallations[FChosen].Plan, ui, FRunningPath);
    bool done = false;
    try {
        run.Run();
        done = true;
    } catch (const std::exception& e) {
        Ask(e.what(), MB_OK | MB_ICONERROR);
    }
    FRunning = false;
    SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
    if (done) {
        if (run.NeedReboot() && Ask(GetSetupMsg(msgRestartQuestion), MB_YESNO | MB_ICONQUESTION) == IDYES)
            RestartSystem();
        else
            Ask(GetSetupMsg(msgUninstallOk), MB_OK | MB_ICONINFORMATION);
    }
    DestroyWindow(FHandle);
}

LRESULT TUnInstFM::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        if (HIWORD(wp) == BN_CLICKED && LOWORD(wp) == idUnBtnUnInstall) btnUnInstallClick();
        else if (HIWORD(wp) == BN_CLICKED && (LOWORD(wp) == idUnBtnCancel || LOWORD(wp) == IDCANCEL)) btnCancelClick();
        else if (LOWORD(wp) == idUnLbxProgress && HIWORD(wp) == LBN_DBLCLK && FChoosing) btnUnInstallClick();
        return 0;
    case DM_GETDEFID:
        return MAKELRESULT(idUnBtnUnInstall, DC_HASDEFID);
    case WM_DRAWITEM: {
        const auto* di = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (di->CtlID != idUnImgTitle) break;
        FillRect(di->hDC, &di->rcItem, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
        if (FIcon) DrawIconEx(di->hDC, di->rcItem.left, di->rcItem.top, FIcon, 32, 32, 0, nullptr, DI_NORMAL);
        return TRUE;
    }
    case WM_CTLCOLORSTATIC:
        if (reinterpret_cast<HWND>(lp) == lblTitle) {
            SetBkColor(reinterpret_cast<HDC>(wp), RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
        }
        break;
    case WM_CTLCOLORLISTBOX:
        if (reinterpret_cast<HWND>(lp) == lbxProgress) {
            SetTextColor(reinterpret_cast<HDC>(wp), kLime);
            SetBkColor(reinterpret_cast<HDC>(wp), kBlack);
            return reinterpret_cast<LRESULT>(FBlackBrush);
        }
        break;
    case WM_SETCURSOR:
        if (FRunning) {
            SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
            return TRUE;
        }
        break;
    case WM_CLOSE:
        // The run finishes what it started; the window closes when it is done.
        if (FRunning) return 0;
        DestroyWindow(FHandle);
        return 0;
    case WM_DESTROY:
        PostQuitMessage(0);
        return 0;
    case WM_NCDESTROY:
        SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
        FHandle = nullptr;
        return 0;
    default:
        break;
    }
    return DefWindowProcA(FHandle, msg, wp, lp);
}

LRESULT CALLBACK TUnInstFM::FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        static_cast<TUnInstFM*>(cs->lpCreateParams)->FHandle = hwnd;
    }
    TUnInstFM* form = FormOf(hwnd);
    if (!form) return DefWindowProcA(hwnd, msg, wp, lp);
    try {
        return form->Dispatch(msg, wp, lp);
    } catch (const std::exception& e) {
        MessageBoxA(hwnd, e.what(), form->FCaption.c_str(), MB_OK | MB_ICONERROR);
    }
    return 0;
}

} // namespace kx
