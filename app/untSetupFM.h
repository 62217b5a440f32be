// TSetupFM: the wizard form, its four pages and the state machine of its buttons.
#pragma once
#include <functional>
#include <string>
#include <vector>

#include "app/SetupScript.h"
#include "sys/Win32.h"

namespace kx {

class TSetupFM : public TSetupFields {
public:
    using TInstallStep = std::function<void()>;

    // Builds the window and its controls, then runs the construction sequence:
    // script, captions, licence, page 0, first progress line, Windows-family
    // check, language font. Raises when the script or the licence cannot be read.
    // A silent form is never shown and shows no message box: what it would show
    // goes to OnLogLine.
    explicit TSetupFM(HINSTANCE instance, bool silent = false);
    ~TSetupFM();
    TSetupFM(const TSetupFM&) = delete;
    TSetupFM& operator=(const TSetupFM&) = delete;

    HWND Handle() const { return FHandle; }
    // True when the Windows-family check refused the system: the form is never shown.
    bool Terminated() const { return FTerminated; }
    void Show();

    bool Silent() const { return FSilent; }
    // The process's exit code as deployment tools read it: 1602 until a run
    // completes (1603 after one that failed), then 0, or 3010 when a file waits
    // for the restart; 1603 when the Windows family is refused.
    int ExitCode() const { return FExitCode; }
    void SetExitCode(int code) { FExitCode = code; }
    // A silent run may restart Windows when a file waits for it (/REBOOT).
    bool RebootAllowed = false;
    // Every progress line and every error, as the run's log writes them.
    std::function<void(const std::string& line)> OnLogLine;

    // The installation steps that "Install" runs, in order.
    std::vector<TInstallStep> InstallSteps;
    // When a step raised, before the error is shown: undoes what the run did and
    // answers what to add to the error's text.
    std::function<std::string()> OnRunFailed;
    // When the run ends, whichever way.
    std::function<void()> OnRunEnded;

    // Adds a line at the end of lbxProgress; the list is not scrolled to it.
    void AddProgressLine(const std::string& text);
    void SetProgress(int percent);
    // Lets the message loop handle what is pending (the run stays on this
    // thread); the progress list shows its new lines at most every 250 ms.
    void ProcessMessages();
    // The one place that shows an error: silent aborts are dropped.
    void HandleException(const std::exception& e);
    // A message box with the wizard's caption; a silent form logs the text and
    // answers as the box's default button would.
    int ShowMessage(const std::string& text, UINT flags);

    // The list box's own window procedure, under the check-list handling.
    WNDPROC CompListDefProc() const { return FCompListDefProc; }

    // The component names of lbxCompList and their check marks.
    int CompCount() const;
    bool CompChecked(int index) const;
    void SetCompChecked(int index, bool checked);
    // Runs InstallSteps as "Install" does; true when every step ran.
    bool RunInstallation();
    // The folder SuggestInstallDir fills in: Program Files, the vendor folder, FPrgDir.
    std::string SuggestedInstallDir() const;

    void SetButtonStates(int page);
    void btnCancelClick();
    void btnNextClick();
    void btnPriorClick();
    void btnBrowClick();
    void cmbSetupTypeChange();
    void SuggestInstallDir();
    bool AcceptInstallDir();

    static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

private:
    void Construct();
    void FreeResources();
    // Removes the folders this setup made (the directory page's) when it ends
    // without having installed: those still empty go, children first.
    void RemoveUnusedDirs();
    LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp);
    void OnCommand(int id, int code);
    void CreateControls();
    HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y, int w, int h,
               DWORD exStyle = 0);
    void LoadSetupScript();
    void LoadLicense();
    void CheckWindowsFamily();
    void ApplyLanguageFont();
    void ShowPage(int page);
    int Tag(HWND button) const;
    void SetTag(HWND button, int tag);
    std::string Text(HWND wnd) const;
    void SetText(HWND wnd, const std::string& text);
    // Draws the progress list again after lines were added without drawing.
    void ReleaseProgressList();
    void DrawCompItem(const DRAWITEMSTRUCT& di);
    void DrawTitleImage(const DRAWITEMSTRUCT& di);
    void ToggleComp(int index);
    int Ask(const std::string& text, UINT flags);

    HINSTANCE FInstance;
    HWND FHandle = nullptr;
    std::string FTitle;
    int FPageIndex = 0;
    bool FTerminated = false;
    bool FSilent = false;
    int FExitCode;
    bool FRunning = false;
    bool FCloseRequested = false;
    bool FProgressHeld = false;
    unsigned long FProgressShownAt = 0; // GetTickCount when the held list was last drawn
    HFONT FFont = nullptr;
    HBRUSH FBlackBrush = nullptr;
    HBITMAP FTitleBitmap = nullptr;
    WNDPROC FCompListDefProc = nullptr;

public:
    HWND Panel1 = nullptr, imgTitle = nullptr, lblTitle = nullptr, Notebook = nullptr, Bevel2 = nullptr;
    HWND btnCancel = nullptr, lblkxSetup = nullptr, btnPrior = nullptr, btnNext = nullptr;
    HWND Pages[4] = {};
    HWND memLicense = nullptr;
    HWND lblSeleType = nullptr, lblSeleComp = nullptr, cmbSetupType = nullptr, lbxCompList = nullptr;
    HWND lblSeleInstallDir = nullptr, edtInstallPath = nullptr, btnBrow = nullptr;
    HWND ProgressBar = nullptr, lbxProgress = nullptr;
};

// Registers the window classes of the form and its containers.
void RegisterSetupClasses(HINSTANCE instance);

} // namespace kx
