// TUnInstFM: the uninstaller's window in the wizard's style: the title panel, a
// progress bar and list, "Cancel" and "UnInstall".
#pragma once
#include <string>
#include <vector>

#include "sys/NamedLock.h"
#include "sys/Win32.h"
#include "uninst/UninstSystem.h"

namespace kx {

class TUnInstFM {
public:
    // With one installation the window is ready to remove it; with several its
    // list offers them by their display names and UnInstall takes the selected one.
    // lock is the package's lock of one setup or uninstall at a time: UnInstall
    // takes it for the chosen installation unless it is held already.
    TUnInstFM(HINSTANCE instance, std::vector<TLoadedInstallation> installations, std::string runningPath,
              TNamedLock& lock);
    ~TUnInstFM();
    TUnInstFM(const TUnInstFM&) = delete;
    TUnInstFM& operator=(const TUnInstFM&) = delete;

    HWND Handle() const { return FHandle; }
    void Show();

    void btnUnInstallClick();
    void btnCancelClick();

    void AddProgressLine(const std::string& text);
    void SetProgress(int percent);

    static LRESULT CALLBACK FormProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

private:
    void FreeResources();
    void CreateControls();
    HWND Child(HWND parent, const char* cls, const char* text, DWORD style, int id, int x, int y, int w, int h,
               DWORD exStyle = 0);
    void ApplyLanguageFont();
    void SetCaption(const std::string& text);
    void ShowInstallation(std::size_t index);
    void RunUninstall();
    int Ask(const std::string& text, UINT flags);
    LRESULT Dispatch(UINT msg, WPARAM wp, LPARAM lp);

    HINSTANCE FInstance;
    std::vector<TLoadedInstallation> FInstallations;
    std::string FRunningPath;
    TNamedLock& FLock;
    std::size_t FChosen = 0;
    bool FChoosing = false;
    bool FRunning = false;
    std::string FCaption;
    HWND FHandle = nullptr;
    HFONT FFont = nullptr;
    HBRUSH FBlackBrush = nullptr;
    HICON FIcon = nullptr;

public:
    HWND Panel1 = nullptr, imgTitle = nullptr, lblTitle = nullptr, ProgressBar = nullptr, lbxProgress = nullptr;
    HWND Bevel2 = nullptr, btnCancel = nullptr, lblCompany = nullptr, btnUnInstall = nullptr;
};

// Registers the window classes of the form, its title panel and its progress bar.
void RegisterUnInstClasses(HINSTANCE instance);

} // namespace kx
