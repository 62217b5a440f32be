// Drives a running setup program from outside: finds its controls by ID, clicks,
// types, answers its message boxes, reads captions and rectangles, takes screenshots.
#pragma once
#include <initializer_list>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "sys/Win32.h"

namespace kxe2e {

// A Unix path as Wine's Z: drive sees it; Windows paths pass unchanged.
std::string WinPath(const std::string& path);

// A file's bytes, or "<missing>" when it cannot be read.
std::string ReadFileBytes(const std::string& path);

// The message tables' order for the code page the run's locale gives: 0 GBK,
// 1 Big5, 2 any other.
int CodePageLang();

// The SHA-256 digest of bytes in lower-case hex, from Windows' own provider
// (not the product's implementation).
std::string Sha256Hex(const std::string& bytes);

// The drivers' command line: each "--name=value" argument whose "--name=" is
// listed stores its value in the string beside it.
void TakeOptions(int argc, char** argv, std::initializer_list<std::pair<const char*, std::string*>> options);

// Runs a command line hidden and waits for it (at most timeoutMs); its exit
// code, 9999 when it could not be started.
DWORD RunAndWait(const std::string& commandLine, int timeoutMs);

struct TRect {
    int Left, Top, Width, Height;
    bool operator==(const TRect&) const = default;
};

class TSetupProcess {
public:
    // Starts the program with the command-line arguments given; extraEnv holds
    // "NAME=value" entries added to this process's environment for the child.
    explicit TSetupProcess(const std::string& exe, const std::vector<std::string>& extraEnv = {},
                           const std::string& arguments = std::string());
    // Takes over the process that shows a visible top-level window of formClass
    // (a program started by another one); null after the timeout.
    static std::unique_ptr<TSetupProcess> Attach(const char* formClass, int timeoutMs = 20000);
    ~TSetupProcess();
    TSetupProcess(const TSetupProcess&) = delete;
    TSetupProcess& operator=(const TSetupProcess&) = delete;

    // Waits for the visible form (the wizard's unless named); false after the timeout.
    bool WaitForForm(int timeoutMs = 20000, const char* formClass = nullptr);
    HWND Form() const { return FForm; }
    HWND Control(int id) const;

    // Clicks a button whose handler ends without a dialog (returns after it ran,
    // or after timeoutMs).
    void Click(int id, int timeoutMs = 10000);
    // Clicks a button whose handler shows a message box (returns at once).
    void ClickAsync(int id);
    void SelectCombo(int id, int index);
    // Clicks the check box of an item of the check-list box.
    void ToggleCheck(int listId, int index);
    void Type(int id, const std::string& text);
    void Close(); // the close box
    // Lets the program's thread handle what is pending.
    void Sync();

    // The visible message box of the program, or null after the timeout.
    HWND WaitForBox(int timeoutMs = 10000);
    static std::string BoxText(HWND box);
    void Answer(HWND box, int buttonId);
    // Answers every box while the program runs (Cancel to Retry/Cancel, No to a
    // question, OK otherwise) until it ends or no box comes within
    // boxTimeoutMs; the boxes' texts in order.
    std::vector<std::string> AnswerBoxesUntilEnd(int boxTimeoutMs = 120000);

    std::string Text(int id) const;
    static std::string Text(HWND wnd);
    bool Enabled(int id) const;
    bool Visible(int id) const;
    int Tag(int id) const;
    // The control's rectangle relative to its parent's client area.
    TRect RectInParent(int id) const;
    TRect ClientRect() const;
    std::vector<std::string> ListItems(int id) const;
    bool ListChecked(int id, int index) const;
    // The visible page of the notebook, or -1.
    int Page() const;

    bool WaitForExit(int timeoutMs, DWORD* exitCode = nullptr);
    // Ends the process at once, as a user's task manager or a power loss would.
    void Kill();
    bool Running() const;
    DWORD Pid() const { return FInfo.dwProcessId; }

    // The form's client area as a 24-bit BMP file.
    bool SaveScreenshot(const std::string& bmpPath) const;
    // Any window as it is on the screen, its frame included or only its client area.
    static bool SaveWindowScreenshot(HWND wnd, const std::string& bmpPath, bool withFrame);

private:
    TSetupProcess() = default;
    PROCESS_INFORMATION FInfo{};
    HWND FForm = nullptr;
};

} // namespace kxe2e
