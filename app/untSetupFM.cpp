// TSetupFM: the wizard form in raw Win32 controls, its pages and its button state machine.
#include "app/untSetupFM.h"

#include "app/CopyStep.h"
#include "app/InstallSafety.h"
#include "app/SetupCommandLine.h"
#include "app/SetupControlIds.h"
#include "app/SetupScriptLoad.h"
#include "base/Exception.h"
#include "base/Format.h"
#include "base/Text.h"
#include "lang/kxSetupLan.h"
#include "lang/kxSetupLanConst.h"
#include "sys/FileSecurity.h"
#include "sys/Files.h"
#include "sys/FormStyle.h"
#include "sys/Handles.h"
#include "sys/Paths.h"
#include "sys/Resources.h"
#include "sys/SystemPlaces.h"
#include "sys/untSetupUtils.h"

#include <commctrl.h>

namespace kx {

namespace {

const char kPanelClass[] = "TSetupPanel";
const char kNotebookClass[] = "TSetupNotebook";
const char kPageClass[] = "TSetupPage";

constexpr int kClientWidth = 430;
constexpr int kClientHeight = 299;
constexpr int kCompItemHeight = 12;
constexpr int kProgressItemHeight = 13;
// How often (ms) the progress list shows the lines it took during the run.
constexpr unsigned long kProgressListInterval = 250;
constexpr int kCheckSize = 11;
constexpr COLORREF kLime = RGB(0, 255, 0);
constexpr COLORREF kBlack = RGB(0, 0, 0);

TSetupFM* FormOf(HWND hwnd) { return reinterpret_cast<TSetupFM*>(GetWindowLongPtrA(hwnd, GWLP_USERDATA)); }

// The top-level window a child belongs to, up its chain of parents (GetAncestor
// is not there on every Windows 98).
HWND RootWindow(HWND hwnd) {
    while (hwnd && (GetWindowLongA(hwnd, GWL_STYLE) & WS_CHILD)) {
        HWND parent = GetParent(hwnd);
        if (!parent) break;
        hwnd = parent;
    }
    return hwnd;
}

// Containers pass what their children report up to the form, which handles it.
LRESULT ForwardToForm(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    HWND form = RootWindow(hwnd);
    return form && form != hwnd ? SendMessageA(form, msg, wp, lp) : 0;
}

bool IsForwarded(UINT msg) {
    switch (msg) {
    case WM_COMMAND:
    case WM_NOTIFY:
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
    case WM_CTLCOLORSTATIC:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORBTN:
        return true;
    default:
        return false;
    }
}

// Panel1: white, with a one-pixel lowered outer bevel drawn inside its rectangle.
LRESULT CALLBACK PanelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (IsForwarded(msg)) return ForwardToForm(hwnd, msg, wp, lp);
    if (msg == WM_ERASEBKGND) {
        PaintTitlePanel(hwnd, reinterpret_cast<HDC>(wp));
        return 1;
    }
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// The notebook and its pages: plain containers in the face colour.
LRESULT CALLBACK ContainerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (IsForwarded(msg)) return ForwardToForm(hwnd, msg, wp, lp);
    return DefWindowProcA(hwnd, msg, wp, lp);
}

// The check-list box toggles an item when its box is clicked or Space is pressed.
// Subclassed by replacing its window procedure: SetWindowSubclass is exported by
// name only from comctl32 6, and comctl32 is not imported at all.
LRESULT CALLBACK CompListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    TSetupFM* form = FormOf(hwnd);
    if (!form || !form->CompListDefProc()) return DefWindowProcA(hwnd, msg, wp, lp);
    const WNDPROC listProc = form->CompListDefProc();
    try {
        if (msg == WM_LBUTTONDOWN || msg == WM_LBUTTONDBLCLK) {
            int x = static_cast<short>(LOWORD(lp)), y = static_cast<short>(HIWORD(lp));
            LRESULT hit = SendMessageA(hwnd, LB_ITEMFROMPOINT, 0, MAKELPARAM(x, y));
            int index = LOWORD(hit);
            if (HIWORD(hit) == 0 && x < kCheckSize + 4) {
                LRESULT r = CallWindowProcA(listProc, hwnd, msg, wp, lp);
                LRESULT data = SendMessageA(hwnd, LB_GETITEMDATA, index, 0);
                SendMessageA(hwnd, LB_SETITEMDATA, index, data ? 0 : 1);
                InvalidateRect(hwnd, nullptr, FALSE);
                return r;
            }
        } else if (msg == WM_KEYDOWN && wp == VK_SPACE) {
            int index = static_cast<int>(SendMessageA(hwnd, LB_GETCURSEL, 0, 0));
            if (index >= 0) {
                LRESULT data = SendMessageA(hwnd, LB_GETITEMDATA, index, 0);
                SendMessageA(hwnd, LB_SETITEMDATA, index, data ? 0 : 1);
                InvalidateRect(hwnd, nullptr, FALSE);
            }
            return 0;
        }
    } catch (const std::exception& e) {
        form->HandleException(e);
        return 0;
    }
    return CallWindowProcA(listProc, hwnd, msg, wp, lp);
}

BOOL CALLBACK SetChildFont(HWND child, LPARAM font) {
    SendMessageA(child, WM_SETFONT, static_cast<WPARAM>(font), TRUE);
    return TRUE;
}

} // namespace

void RegisterSetupClasses(HINSTANCE instance) {
    WNDCLASSEXA wc{};
    wc.cbSize = sizeof wc;
    wc.hInstance = instance;
    wc.hCursor = LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW));

    wc.lpfnWndProc = &TSetupFM::FormProc;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    // The program's own icon, in the caption and on the taskbar.
    wc.hIcon = LoadIconA(instance, MAKEINTRESOURCEA(idIconMain));
    wc.hIconSm = static_cast<HICON>(LoadImageA(instance, MAKEINTRESOURCEA(idIconMain), IMAGE_ICON,
                                               GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), 0));
    wc.lpszClassName = kSetupFormClass;
    RegisterClassExA(&wc);

    wc.hIcon = nullptr;
    wc.hIconSm = nullptr;
    wc.lpfnWndProc = PanelProc;
    wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
    wc.lpszClassName = kPanelClass;
    RegisterClassExA(&wc);

    wc.lpfnWndProc = ContainerProc;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    wc.lpszClassName = kNotebookClass;
    RegisterClassExA(&wc);
    wc.lpszClassName = kPageClass;
    RegisterClassExA(&wc);
}

TSetupFM::TSetupFM(HINSTANCE instance, bool silent)
    : FInstance(instance), FSilent(silent), FExitCode(kExitCancelled) {
    try {
        Construct();
    } catch (...) {
        // A form that failed half way frees its window and GDI objects before the error goes on.
        FreeResources();
        throw;
    }
}

void TSetupFM::Construct() {
    FBlackBrush = CreateSolidBrush(kBlack);
    CreateControls();

    SendMessageA(cmbSetupType, CB_RESETCONTENT, 0, 0);
    SendMessageA(cmbSetupType, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(GetSetupMsg(msgCompleteInstall).c_str()));
    SendMessageA(cmbSetupType, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(GetSetupMsg(msgCustomInstall).c_str()));
    LoadSetupScript();
    SendMessageA(cmbSetupType, CB_SETCURSEL, 0, 0);
    cmbSetupTypeChange();

    FTitle = Format(GetSetupMsg(msgFormCaption), FGrpName) + " " + FVersion;
    SetText(FHandle, FTitle);
    SetText(lblTitle, Format(GetSetupMsg(msgTitle), FGrpName) + " " + FVersion);
    SetText(lblkxSetup, FCompany);
    SetText(btnPrior, GetSetupMsg(msgBack));
    SetText(btnNext, GetSetupMsg(msgNext));
    SetText(btnCancel, GetSetupMsg(msgAgree));
    SetText(lblSeleInstallDir, GetSetupMsg(msgSelectDir));
    SetText(lblSeleType, GetSetupMsg(msgSelectType));
    SetText(lblSeleComp, GetSetupMsg(msgSelectComp));

    LoadLicense();
    ShowPage(0);
    SetButtonStates(0);
    AddProgressLine(GetSetupMsg(msgPressInstall));
    CheckWindowsFamily();
    ApplyLanguageFont();
    for (HWND label : {lblTitle, lblkxSetup, lblSeleType, lblSeleInstallDir}) FitLabelToText(label);
    // lbxProgress keeps lime on black through WM_CTLCOLORLISTBOX.
}

TSetupFM::~TSetupFM() {
    if (FExitCode != kExitSuccess && FExitCode != kExitRestartNeeded) RemoveUnusedDirs();
    FreeResources();
}

void TSetupFM::RemoveUnusedDirs() {
    // Children before parents; a folder that holds anything stays.
    for (auto dir = FCreatedDirs.rbegin(); dir != FCreatedDirs.rend(); ++dir) RemoveDir(*dir);
    FCreatedDirs.clear();
}

void TSetupFM::FreeResources() {
    if (FHandle) {
        SetWindowLongPtrA(FHandle, GWLP_USERDATA, 0);
        DestroyWindow(FHandle);
        FHandle = nullptr;
    }
    if (FFont) DeleteObject(FFont);
    if (FBlackBrush) DeleteObject(FBlackBrush);
    if (FTitleBitmap) DeleteObject(FTitleBitmap);
    FFont = nullptr;
    FBlackBrush = nullptr;
    FTitleBitmap = nullptr;
}

HWND TSetupFM::Child(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y, int w, int h,
                     DWORD exStyle) {
    HWND wnd = CreateWindowExA(exStyle, cls, text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent,
                               reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)), FInstance, nullptr);
    if (!wnd) throw Exception(Format("Cannot create control %d", id));
    SendMessageA(wnd, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), FALSE);
    return wnd;
}

void TSetupFM::CreateControls() {
    const DWORD style = WS_OVERLAPPED | WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_CLIPCHILDREN;
    RECT r{0, 0, kClientWidth, kClientHeight};
    AdjustWindowRectEx(&r, style, FALSE, 0);
    const int w = r.right - r.left, h = r.bottom - r.top;
    const int x = (GetSystemMetrics(SM_CXSCREEN) - w) / 2, y = (GetSystemMetrics(SM_CYSCREEN) - h) / 2;
    FHandle = CreateWindowExA(0, kSetupFormClass, "", style, x, y, w, h, nullptr, nullptr, FInstance, this);
    if (!FHandle) throw Exception("Cannot create the setup window");

    // Creation order is the tab order: btnCancel, btnPrior, btnNext, Notebook, Panel1.
    btnCancel = Child(FHandle, "BUTTON", "", WS_TABSTOP | BS_PUSHBUTTON, idBtnCancel, 8, 273, 75, 25);
    btnPrior = Child(FHandle, "BUTTON", "", WS_TABSTOP | BS_PUSHBUTTON, idBtnPrior, 274, 272, 75, 25);
    btnNext = Child(FHandle, "BUTTON", "", WS_TABSTOP | BS_PUSHBUTTON, idBtnNext, 348, 272, 75, 25);
    Notebook = Child(FHandle, kNotebookClass, "", WS_TABSTOP, idNotebook, 6, 49, 416, 214, WS_EX_CONTROLPARENT);
    Panel1 = Child(FHandle, kPanelClass, "", 0, idPanel1, 0, 0, 430, 44, WS_EX_CONTROLPARENT);
    lblkxSetup =
        Child(FHandle, "STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX | WS_DISABLED, idLblkxSetup, 95, 278, 144, 15);
    Bevel2 = Child(FHandle, "STATIC", "", SS_OWNERDRAW, idBevel2, 6, 265, 419, 2);

    FTitleBitmap = static_cast<HBITMAP>(
        LoadImageA(FInstance, MAKEINTRESOURCEA(idBmpTitle), IMAGE_BITMAP, 0, 0, LR_CREATEDIBSECTION));
    imgTitle = Child(Panel1, "STATIC", "", SS_OWNERDRAW, idImgTitle, 15, 6, 32, 32);
    // The single-line labels are sized to their texts once the language font is set.
    lblTitle = Child(Panel1, "STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX, idLblTitle, 58, 20, 35, 15);

    static const int pageIds[4] = {idPageLicense, idPageSelectComp, idPageSeleDir, idPageCopyProgress};
    static const char* pageNames[4] = {"License", "SelectComp", "SeleDir", "CopyProgress"};
    for (int i = 0; i < 4; ++i) {
        Pages[i] = Child(Notebook, kPageClass, pageNames[i], 0, pageIds[i], 0, 0, 416, 214, WS_EX_CONTROLPARENT);
        ShowWindow(Pages[i], SW_HIDE);
    }

    memLicense = Child(Pages[0], "EDIT", "",
                       WS_TABSTOP | WS_VSCROLL | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | ES_NOHIDESEL,
                       idMemLicense, 0, 0, 416, 214, WS_EX_CLIENTEDGE);

    lblSeleType = Child(Pages[1], "STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX, idLblSeleType, 9, 14, 92, 15);
    lblSeleComp = Child(Pages[1], "STATIC", "", SS_LEFT | SS_NOPREFIX, idLblSeleComp, 10, 35, 163, 76);
    cmbSetupType = Child(Pages[1], "COMBOBOX", "", WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST, idCmbSetupType, 182,
                         9, 230, 200);
    lbxCompList = Child(Pages[1], "LISTBOX", "",
                        WS_TABSTOP | WS_VSCROLL | LBS_OWNERDRAWFIXED | LBS_HASSTRINGS | LBS_NOTIFY |
                            LBS_NOINTEGRALHEIGHT,
                        idLbxCompList, 182, 32, 230, 177, WS_EX_CLIENTEDGE);
    SetWindowLongPtrA(lbxCompList, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
    FCompListDefProc = reinterpret_cast<WNDPROC>(
        SetWindowLongPtrA(lbxCompList, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(&CompListProc)));

    lblSeleInstallDir =
        Child(Pages[2], "STATIC", "", SS_LEFTNOWORDWRAP | SS_NOPREFIX, idLblSeleInstallDir, 14, 24, 202, 15);
    edtInstallPath = Child(Pages[2], "EDIT", "", WS_TABSTOP | ES_AUTOHSCROLL, idEdtInstallPath, 32, 45, 329, 23,
                           WS_EX_CLIENTEDGE);
    btnBrow = Child(Pages[2], "BUTTON", "...", WS_TABSTOP | BS_PUSHBUTTON | BS_FLAT, idBtnBrow, 366, 44, 23, 22);

    ProgressBar = Child(Pages[3], PROGRESS_CLASSA, "", 0, idProgressBar, 8, 8, 401, 13);
    SendMessageA(ProgressBar, PBM_SETRANGE32, 0, 100);
    lbxProgress = Child(Pages[3], "LISTBOX", "", WS_TABSTOP | WS_VSCROLL | LBS_NOINTEGRALHEIGHT, idLbxProgress, 6,
                        24, 403, 185, WS_EX_CLIENTEDGE);
    SendMessageA(lbxProgress, LB_SETITEMHEIGHT, 0, kProgressItemHeight);
}

void TSetupFM::LoadSetupScript() {
    std::vector<std::string> names;
    LoadSetupScriptResource(SetupLang, *this, names);
    SendMessageA(lbxCompList, LB_RESETCONTENT, 0, 0);
    for (const std::string& name : names)
        SendMessageA(lbxCompList, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(name.c_str()));
}

void TSetupFM::LoadLicense() {
    const char* name = SetupLang == langGB ? "LICCN" : SetupLang == langBig5 ? "LICB5" : "LICEN";
    std::string text;
    for (const std::string& line : SplitLines(LoadResourceBytes(name, "KXFILE"))) text += line + "\r\n";
    SetText(memLicense, text);
}

void TSetupFM::CheckWindowsFamily() {
    unsigned refusal = 0;
    if (FWin9x && IsNTFamily())
        refusal = msgNeedWin9x;
    else if (FWin2k && !IsNTFamily())
        refusal = msgNeedWin2k;
    if (!refusal) return;
    ShowMessage(GetSetupMsg(refusal), MB_OK | MB_ICONERROR);
    FTerminated = true;
    FExitCode = kExitFailed;
    PostQuitMessage(0);
}

void TSetupFM::ApplyLanguageFont() {
    HFONT font = CreateLanguageFont(SetupLang);
    if (!font) return;
    SendMessageA(FHandle, WM_SETFONT, reinterpret_cast<WPARAM>(font), FALSE);
    EnumChildWindows(FHandle, SetChildFont, reinterpret_cast<LPARAM>(font));
    // The combo's edit part follows its font; keep the designed outer height of 20.
    SendMessageA(cmbSetupType, CB_SETITEMHEIGHT, static_cast<WPARAM>(-1), 14);
    SendMessageA(lbxProgress, LB_SETITEMHEIGHT, 0, kProgressItemHeight);
    if (FFont) DeleteObject(FFont);
    FFont = font;
}

void TSetupFM::Show() {
    ShowWindow(FHandle, SW_SHOWNORMAL);
    UpdateWindow(FHandle);
}

int TSetupFM::Tag(HWND button) const { return static_cast<int>(GetWindowLongPtrA(button, GWLP_USERDATA)); }
void TSetupFM::SetTag(HWND button, int tag) { SetWindowLongPtrA(button, GWLP_USERDATA, tag); }

std::string TSetupFM::Text(HWND wnd) const {
    int n = GetWindowTextLengthA(wnd);
    std::string s(static_cast<std::size_t>(n) + 1, '\0');
    n = GetWindowTextA(wnd, s.data(), n + 1);
    s.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    return s;
}

void TSetupFM::SetText(HWND wnd, const std::string& text) { SetWindowTextA(wnd, text.c_str()); }

void TSetupFM::ShowPage(int page) {
    FPageIndex = page;
    for (int i = 0; i < 4; ++i) ShowWindow(Pages[i], i == page ? SW_SHOW : SW_HIDE);
}

void TSetupFM::AddProgressLine(const std::string& text) {
    // During the run the list takes its lines without drawing them, one line
    // per file, and is drawn when pending messages are handled: each redraw
    // of a line on its own costs a trip to the window system.
    if (FRunning && !FProgressHeld) {
        SendMessageA(lbxProgress, WM_SETREDRAW, FALSE, 0);
        FProgressHeld = true;
    }
    SendMessageA(lbxProgress, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
    if (OnLogLine) OnLogLine(text);
}

void TSetupFM::ReleaseProgressList() {
    if (!FProgressHeld) return;
    FProgressHeld = false;
    SendMessageA(lbxProgress, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(lbxProgress, nullptr, TRUE);
}

void TSetupFM::SetProgress(int percent) { SendMessageA(ProgressBar, PBM_SETPOS, percent, 0); }

void TSetupFM::ProcessMessages() {
    // The list's new lines are drawn a few times a second: letting it draw
    // again sets its scroll bar, which costs milliseconds on Wine each time.
    const DWORD now = GetTickCount();
    if (now - FProgressShownAt >= kProgressListInterval) {
        ReleaseProgressList();
        FProgressShownAt = now;
    }
    ProcessPendingMessages(FHandle);
}

void TSetupFM::HandleException(const std::exception& e) {
    if (dynamic_cast<const EAbort*>(&e)) return;
    ShowMessage(e.what(), MB_OK | MB_ICONERROR);
}

int TSetupFM::ShowMessage(const std::string& text, UINT flags) {
    if (OnLogLine) OnLogLine(text);
    if (FSilent) return (flags & MB_TYPEMASK) == MB_YESNO ? IDNO : IDOK;
    return MessageBoxA(FHandle, text.c_str(), FTitle.c_str(), flags);
}

int TSetupFM::Ask(const std::string& text, UINT flags) { return ShowMessage(text, flags); }

int TSetupFM::CompCount() const { return static_cast<int>(SendMessageA(lbxCompList, LB_GETCOUNT, 0, 0)); }

bool TSetupFM::CompChecked(int index) const {
    return SendMessageA(lbxCompList, LB_GETITEMDATA, static_cast<WPARAM>(index), 0) == 1;
}

void TSetupFM::SetCompChecked(int index, bool checked) {
    SendMessageA(lbxCompList, LB_SETITEMDATA, static_cast<WPARAM>(index), checked ? 1 : 0);
}

void TSetupFM::SetButtonStates(int page) {
    switch (page) {
    case 0:
        EnableWindow(btnCancel, TRUE);
        EnableWindow(btnPrior, FALSE);
        EnableWindow(btnNext, FALSE);
        break;
    case 1:
        SetText(btnCancel, GetSetupMsg(msgCancel));
        EnableWindow(btnPrior, FALSE);
        EnableWindow(btnNext, TRUE);
        break;
    case 2:
        SetText(btnCancel, GetSetupMsg(msgCancel));
        EnableWindow(btnPrior, TRUE);
        EnableWindow(btnNext, TRUE);
        SetText(btnNext, GetSetupMsg(msgNext));
        SetTag(btnNext, 0);
        break;
    case 3:
        SetText(btnCancel, GetSetupMsg(msgCancel));
        EnableWindow(btnPrior, TRUE);
        SetText(btnNext, GetSetupMsg(msgInstall));
        break;
    default:
        break;
    }
}

void TSetupFM::btnCancelClick() {
    if (Tag(btnCancel) != 1) {
        ShowPage(1);
        SetTag(btnCancel, 1);
        SetButtonStates(1);
        return;
    }
    if (Ask(Format(GetSetupMsg(msgExitConfirm), FGrpName), MB_YESNO | MB_ICONQUESTION) == IDYES)
        DestroyWindow(FHandle);
}

void TSetupFM::btnNextClick() {
    if (Tag(btnNext) == 1) {
        RunInstallation();
        return;
    }
    bool allowed = false;
    if (FPageIndex == 1) {
        SuggestInstallDir();
        allowed = true;
    } else if (FPageIndex == 2) {
        if (AcceptInstallDir()) {
            SetTag(btnNext, 1);
            allowed = true;
        }
    }
    if (allowed) {
        ShowPage(FPageIndex + 1);
        SetButtonStates(FPageIndex);
    }
}

void TSetupFM::btnPriorClick() {
    if (FPageIndex <= 0) return;
    ShowPage(FPageIndex - 1);
    SetButtonStates(FPageIndex);
}

void TSetupFM::btnBrowClick() {
    std::string dir;
    if (BrowseForDirectory(GetSetupMsg(msgBrowseTitle), "", dir)) SetText(edtInstallPath, AddTrailingBackslash(dir));
}

void TSetupFM::cmbSetupTypeChange() {
    if (SendMessageA(cmbSetupType, CB_GETCURSEL, 0, 0) != 0) return;
    const int n = CompCount();
    for (int i = 0; i < n; ++i) SendMessageA(lbxCompList, LB_SETITEMDATA, static_cast<WPARAM>(i), 1);
    InvalidateRect(lbxCompList, nullptr, FALSE);
}

std::string TSetupFM::SuggestedInstallDir() const {
    return ::kx::SuggestedInstallDir(GetProgramFilesPath(), FVendorDir, FPrgDir);
}

void TSetupFM::SuggestInstallDir() {
    if (!Text(edtInstallPath).empty()) return;
    SetText(edtInstallPath, SuggestedInstallDir());
}

bool TSetupFM::AcceptInstallDir() {
    const std::string dir = Text(edtInstallPath);
    // Nothing is made in a place that would break the system or another package.
    const TSystemPlaces places = GetSystemPlaces();
    const TInstallDirRefusal refusal =
        CheckInstallDir(dir, places, FRegKey, [](const std::string& path) -> std::optional<std::string> {
            if (!FileExists(path)) return std::nullopt;
            try {
                return LoadFileToString(path);
            } catch (const std::exception&) {
                return std::string(); // there, but unreadable: nobody's we know
            }
        });
    if (refusal != TInstallDirRefusal::None) {
        const unsigned message = refusal == TInstallDirRefusal::DriveRoot      ? msgDirIsDriveRoot
                                 : refusal == TInstallDirRefusal::SystemFolder ? msgDirIsSystemFolder
                                                                               : msgDirHoldsOtherPackage;
        Ask(Format(GetSetupMsg(message), dir), MB_OK | MB_ICONERROR);
        return false;
    }
    if (!MakeInstallDir(dir, FCreatedDirs)) return false;
    // A folder made outside Program Files gets its protection, so that no user can
    // put a DLL into it or replace the programs and records the setup writes there.
    const std::string protect = FolderToProtect(dir, FCreatedDirs, places);
    if (!protect.empty()) ProtectFolder(protect);
    FInstallDir = AddTrailingBackslash(dir);
    return true;
}

bool TSetupFM::RunInstallation() {
    struct TRunGuard {
        TSetupFM& F;
        ~TRunGuard() {
            if (F.OnRunEnded) F.OnRunEnded();
            F.FRunning = false;
            F.ReleaseProgressList();
            SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_ARROW)));
            EnableWindow(F.btnNext, TRUE);
            EnableWindow(F.btnCancel, TRUE);
            if (F.FCloseRequested) PostMessageA(F.FHandle, WM_CLOSE, 0, 0);
        }
    };
    EnableWindow(btnNext, FALSE);
    EnableWindow(btnPrior, FALSE);
    EnableWindow(btnCancel, FALSE);
    FRunning = true;
    SetCursor(LoadCursorA(nullptr, reinterpret_cast<LPCSTR>(IDC_WAIT)));
    TRunGuard guard{*this};
    try {
        for (const TInstallStep& step : InstallSteps) {
            step();
            ReleaseProgressList();
            ProcessPendingMessages(FHandle);
        }
    } catch (const EAbort&) {
        FExitCode = kExitFailed;
        if (OnRunFailed) OnRunFailed();
        throw;
    } catch (const std::exception& e) {
        FExitCode = kExitFailed;
        const std::string more = OnRunFailed ? OnRunFailed() : std::string();
        if (more.empty()) throw;
        throw Exception(e.what() + more);
    }
    FExitCode = FNeedReboot ? kExitRestartNeeded : kExitSuccess;
    return true;
}

void TSetupFM::DrawCompItem(const DRAWITEMSTRUCT& di) {
    if (di.itemID == static_cast<UINT>(-1)) return;
    HDC dc = di.hDC;
    const bool selected = (di.itemState & ODS_SELECTED) != 0;
    RECT r = di.rcItem;
    FillRect(dc, &r, GetSysColorBrush(COLOR_WINDOW));
    RECT box{r.left + 1, r.top + (r.bottom - r.top - kCheckSize) / 2, 0, 0};
    box.right = box.left + kCheckSize;
    box.bottom = box.top + kCheckSize;
    UINT state = DFCS_BUTTONCHECK | DFCS_FLAT;
    if (di.itemData == 1) state |= DFCS_CHECKED;
    DrawFrameControl(dc, &box, DFC_BUTTON, state);

    RECT textRect{box.right + 3, r.top, r.right, r.bottom};
    const int n = static_cast<int>(SendMessageA(di.hwndItem, LB_GETTEXTLEN, di.itemID, 0));
    std::string text(static_cast<std::size_t>(n > 0 ? n : 0) + 1, '\0');
    SendMessageA(di.hwndItem, LB_GETTEXT, di.itemID, reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<std::size_t>(n > 0 ? n : 0));
    FillRect(dc, &textRect, GetSysColorBrush(selected ? COLOR_HIGHLIGHT : COLOR_WINDOW));
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, GetSysColor(selected ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
    textRect.left += 1;
    DrawTextA(dc, text.c_str(), static_cast<int>(text.size()), &textRect,
              DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_LEFT);
    if (di.itemState & ODS_FOCUS) DrawFocusRect(dc, &textRect);
}

// The bitmap's bottom-left pixel is its transparent colour. Drawn through a
// monochrome mask with plain BitBlt, which every Windows has (TransparentBlt
// would need msimg32).
void TSetupFM::DrawTitleImage(const DRAWITEMSTRUCT& di) {
    FillRect(di.hDC, &di.rcItem, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    if (!FTitleBitmap) return;
    BITMAP bm{};
    GetObjectA(FTitleBitmap, sizeof bm, &bm);
    const int w = bm.bmWidth, h = bm.bmHeight, x = di.rcItem.left, y = di.rcItem.top;
    HDC image = CreateCompatibleDC(di.hDC);
    HDC mask = CreateCompatibleDC(di.hDC);
    TGdiObject maskBitmap(CreateBitmap(w, h, 1, 1, nullptr));
    if (image && mask && maskBitmap) {
        HGDIOBJ oldImage = SelectObject(image, FTitleBitmap);
        HGDIOBJ oldMask = SelectObject(mask, maskBitmap.Get());
        // Mask: white where the image has the transparent colour, black elsewhere.
        SetBkColor(image, GetPixel(image, 0, h - 1));
        BitBlt(mask, 0, 0, w, h, image, 0, 0, SRCCOPY);
        // dest ^ image, cleared where opaque, ^ image again: the image where
        // opaque, the background where transparent.
        const COLORREF oldBk = SetBkColor(di.hDC, RGB(255, 255, 255));
        const COLORREF oldText = SetTextColor(di.hDC, RGB(0, 0, 0));
        BitBlt(di.hDC, x, y, w, h, image, 0, 0, SRCINVERT);
        BitBlt(di.hDC, x, y, w, h, mask, 0, 0, SRCAND);
        BitBlt(di.hDC, x, y, w, h, image, 0, 0, SRCINVERT);
        SetBkColor(di.hDC, oldBk);
        SetTextColor(di.hDC, oldText);
        SelectObject(mask, oldMask);
        SelectObject(image, oldImage);
    }
    if (mask) DeleteDC(mask);
    if (image) DeleteDC(image);
}

void TSetupFM::OnCommand(int id, int code) {
    switch (id) {
    case idBtnCancel:
        if (code == BN_CLICKED) btnCancelClick();
        break;
    case idBtnNext:
        if (code == BN_CLICKED) btnNextClick();
        break;
    case idBtnPrior:
        if (code == BN_CLICKED) btnPriorClick();
        break;
    case idBtnBrow:
        if (code == BN_CLICKED) btnBrowClick();
        break;
    case idCmbSetupType:
        if (code == CBN_SELCHANGE) cmbSetupTypeChange();
        break;
    default:
        break;
    }
}

LRESULT TSetupFM::Dispatch(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
    case WM_COMMAND:
        OnCommand(LOWORD(wp), HIWORD(wp));
        return 0;
    case WM_DRAWITEM: {
        const auto* di = reinterpret_cast<const DRAWITEMSTRUCT*>(lp);
        if (di->CtlID == idLbxCompList) {
            DrawCompItem(*di);
            return TRUE;
        }
        if (di->CtlID == idImgTitle) {
            DrawTitleImage(*di);
            return TRUE;
        }
        if (di->CtlID == idBevel2) {
            RECT r = di->rcItem;
            DrawEdge(di->hDC, &r, EDGE_ETCHED, BF_TOP);
            return TRUE;
        }
        break;
    }
    case WM_CTLCOLORSTATIC: {
        HWND ctl = reinterpret_cast<HWND>(lp);
        if (ctl == lblTitle || ctl == imgTitle) {
            SetBkColor(reinterpret_cast<HDC>(wp), RGB(255, 255, 255));
            return reinterpret_cast<LRESULT>(GetStockObject(WHITE_BRUSH));
        }
        break;
    }
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
        // A close request during the run takes effect once the run has returned.
        if (FRunning) {
            FCloseRequested = true;
            return 0;
        }
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

LRESULT CALLBACK TSetupFM::FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
        auto* cs = reinterpret_cast<CREATESTRUCTA*>(lp);
        SetWindowLongPtrA(hwnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(cs->lpCreateParams));
        static_cast<TSetupFM*>(cs->lpCreateParams)->FHandle = hwnd;
    }
    if (msg == WM_MEASUREITEM) {
        auto* mi = reinterpret_cast<MEASUREITEMSTRUCT*>(lp);
        if (mi->CtlID == idLbxCompList) {
            mi->itemHeight = kCompItemHeight;
            return TRUE;
        }
    }
    TSetupFM* form = FormOf(hwnd);
    if (!form) return DefWindowProcA(hwnd, msg, wp, lp);
    try {
        return form->Dispatch(msg, wp, lp);
    } catch (const std::exception& e) {
        form->HandleException(e);
    } catch (...) {
        form->HandleException(Exception("Unknown error"));
    }
    return 0;
}

} // namespace kx
