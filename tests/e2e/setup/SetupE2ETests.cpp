// The real setup programs under Wine: layout, captions in the three languages,
// page flow, the dialogs of the form, the Windows-family refusals and the run's
// state machine. Screenshots of every page go to the artefacts folder.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>

#include "E2EEnv.h"
#include "SetupDriver.h"
#include "app/SetupControlIds.h"
#include "sys/Win32.h"
#include "unit/lang/ExpectedMessages.h"

#include <shellapi.h>

using namespace kx;
using namespace kxe2e;

namespace kxe2e {

std::string gInstallSetup, gDamagedSetup, gLayoutSetup, gPayloadDir;

int RunLang() {
    switch (GetACP()) {
    case 936: return 0;
    case 950: return 1;
    default: return 2;
    }
}

std::string ProgramFilesDir() {
    char dir[MAX_PATH] = {};
    DWORD size = sizeof dir - 1;
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Microsoft\\Windows\\CurrentVersion", 0, KEY_READ, &key) ==
        ERROR_SUCCESS) {
        RegQueryValueExA(key, "ProgramFilesDir", nullptr, nullptr, reinterpret_cast<BYTE*>(dir), &size);
        RegCloseKey(key);
    }
    return std::string(dir) + "\\";
}

} // namespace kxe2e

namespace {

std::string gSetup, gSetupWin9x, gSetupBoth, gSetupSteps, gArtifacts, gPlantDll, gPlantProbe;

enum TLang { gb = 0, big5 = 1, english = 2 };

TLang ActiveLang() { return static_cast<TLang>(RunLang()); }

const char* LangName() {
    static const char* names[] = {"gb", "big5", "en"};
    return names[ActiveLang()];
}

// Expected texts as the bytes the program shows: GBK, Big5, ASCII.
struct TExpected {
    const char* Key;
    const char* Texts[3];
};
const TExpected kExpected[] = {
    {"Caption", {"%s\xB0\xB2\xD7\xB0\xB3\xCC\xD0\xF2", "%s\xB8\xCB\xB3]\xB5{\xA6\xA1", "%s Installer"}},
    {"Agree", {"\xCD\xAC\xD2\xE2", "\xA6P\xB7N", "Agree"}},
    {"Cancel", {"\xC8\xA1\xCF\xFB", "\xA8\xFA\xAE\xF8", "Cancel"}},
    {"Next", {"\xCF\xC2\xD2\xBB\xB2\xBD", "\xA4U\xA4@\xA8" "B", "Next >"}},
    {"Back", {"\xC9\xCF\xD2\xBB\xB2\xBD", "\xA4W\xA4@\xA8" "B", "< Back"}},
    {"Install", {"\xB0\xB2\xD7\xB0", "\xB8\xCB\xB3]", "Install"}},
    {"ExitConfirm",
     {"\xB0\xAC\xBF\xCB\xC3\xC0\xB9\xA4\xBE\xDF\xBB\xB9\xCE\xB4\xB0\xB2\xD7\xB0\xCD\xEA\xB3\xC9\xA3\xAC\xC8\xB7\xC8\xCF"
      "\xD2\xAA\xCD\xCB\xB3\xF6\xC2\xF0\xA3\xBF",
      "\xA6\xE3\xA7J\xAC\xFC\xA4u\xA8\xE3\xC1\xD9\xA5\xBC\xB8\xCB\xB3]\xA7\xB9\xA6\xA8\xA1M\xBDT\xBB{\xADn\xB5\xB2\xA7\xF4"
      "\xB6\xDC\xA1S",
      "The Acme Tool install has not complete, do you want to exit?"}},
    {"PressInstall",
     {"\xB0\xB4\xB0\xB2\xD7\xB0\xB0\xB4\xC5\xA5\xBF\xAA\xCA\xBC\xB0\xB2\xD7\xB0...",
      "\xAB\xF6\xB8\xCB\xB3]\xAB\xF6\xB6s\xB6}\xA9l\xB8\xCB\xB3]...", "Press Install button to Start..."}},
    {"FormCaption",
     {"\xB0\xAC\xBF\xCB\xC3\xC0\xB9\xA4\xBE\xDF\xB0\xB2\xD7\xB0\xB3\xCC\xD0\xF2 \xD5\xFD\xCA\xBD\xB0\xE6",
      "\xA6\xE3\xA7J\xAC\xFC\xA4u\xA8\xE3\xB8\xCB\xB3]\xB5{\xA6\xA1 \xA5\xBF\xA6\xA1\xAA\xA9",
      "Acme Tool Installer Released Version"}},
    {"BrowseTitle",
     {"\xD1\xA1\xD4\xF1\xC4\xBF\xB1\xEA\xCE\xC4\xBC\xFE\xBC\xD0", "\xBF\xEF\xBE\xDC\xA5\xD8\xBC\xD0\xC0\xC9\xAE\xD7\xA7\xA8",
      "Select the directory"}},
    {"Company",
     {"\xB0\xAC\xBF\xCB\xC3\xC0\xD3\xD0\xCF\xDE\xB9\xAB\xCB\xBE", "\xA6\xE3\xA7J\xAC\xFC\xA6\xB3\xAD\xAD\xA4\xBD\xA5q",
      "Acme Ltd."}},
    {"LicenceFirstLine",
     {"\xB0\xAC\xBF\xCB\xC3\xC0\xB9\xA4\xBE\xDF\xD0\xED\xBF\xC9\xD0\xAD\xD2\xE9",
      "\xA6\xE3\xA7J\xAC\xFC\xA4u\xA8\xE3\xB1\xC2\xC5v\xA8\xF3\xC4\xB3", "Acme Tool Licence Agreement"}},
    {"Comp1",
     {"\xB0\xAC\xBF\xCB\xC3\xC0\xB9\xA4\xBE\xDF", "\xA6\xE3\xA7J\xAC\xFC\xA4u\xA8\xE3", "Acme Tool"}},
    {"Comp2", {"\xB4\xC5\xC5\xCC\xC7\xFD\xB6\xAF", "\xBA\xCF\xBA\xD0\xC5X\xB0\xCA\xB5{\xA6\xA1", "Disk Driver"}},
    {"NeedWin9x",
     {"\xB8\xC3\xCF\xB5\xCD\xB3\xD6\xBB\xC4\xDC\xB0\xB2\xD7\xB0\xD4\xDAWindows 9x\xB5\xC4\xCF\xB5\xCD\xB3\xC9\xCF\xA3\xAC"
      "\xB0\xB4\xC8\xB7\xB6\xA8\xB0\xB4\xC5\xA5\xCD\xCB\xB3\xF6\xA3\xA1",
      "\xB8\xD3\xC3\xB4\xB2\xCE\xB0\xA6\xAF\xE0\xA6w\xB8\xCB\xA6" "bWindows 9x\xAA\xBA\xC3\xB4\xB2\xCE\xA4W\xA1" "A\xAB\xF6"
      "\xBDT\xA9w\xAB\xF6\xB6s\xB0h\xA5X\xA1I",
      "Windows 9x Operation system is required for install this program, press Ok to abort\xA3\xA1"}},
    {"NeedWin2k",
     {"\xB8\xC3\xCF\xB5\xCD\xB3\xD6\xBB\xC4\xDC\xB0\xB2\xD7\xB0\xD4\xDAWindows 2000/XP\xB5\xC4\xCF\xB5\xCD\xB3\xC9\xCF"
      "\xA3\xAC\xB0\xB4\xC8\xB7\xB6\xA8\xB0\xB4\xC5\xA5\xCD\xCB\xB3\xF6\xA3\xA1",
      "\xB8\xD3\xC3\xB4\xB2\xCE\xB0\xA6\xAF\xE0\xA6w\xB8\xCB\xA6" "bWindows 2000/XP\xAA\xBA\xC3\xB4\xB2\xCE\xA4W\xA1"
      "A\xAB\xF6\xBDT\xA9w\xAB\xF6\xB6s\xB0h\xA5X\xA1I",
      "Windows 2000/XP Operation system is required for install this program, press Ok to abort\xA3\xA1"}},
};

} // namespace

std::string kxe2e::Expect(const char* key) {
    for (const TExpected& e : kExpected)
        if (std::strcmp(e.Key, key) == 0) return e.Texts[ActiveLang()];
    ADD_FAILURE() << "no expected text " << key;
    return {};
}

namespace {

// A 32-bit program in a 64-bit prefix (the _wow64 runs).
bool UnderWow64() {
    using TIsWow64Process = BOOL(WINAPI*)(HANDLE, PBOOL);
    auto isWow64 = reinterpret_cast<TIsWow64Process>(
        reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("kernel32.dll"), "IsWow64Process")));
    BOOL wow64 = FALSE;
    return isWow64 && isWow64(GetCurrentProcess(), &wow64) && wow64;
}

void Shot(TSetupProcess& p, const std::string& what) {
    if (gArtifacts.empty()) return;
    CreateDirectoryA(WinPath(gArtifacts).c_str(), nullptr);
    const std::string name = std::string(LangName()) + (UnderWow64() ? "-wow64-" : "-") + what + ".bmp";
    EXPECT_TRUE(p.SaveScreenshot(gArtifacts + "/" + name)) << what;
}

// One started wizard, waiting on its licence page.
class Wizard : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(gSetup.empty()) << "run with --setup=PATH";
        P = std::make_unique<TSetupProcess>(gSetup);
        ASSERT_TRUE(P->WaitForForm()) << "the wizard did not appear";
    }
    void ToDirectoryPage() {
        P->Click(idBtnCancel);
        P->Click(idBtnNext);
        ASSERT_EQ(P->Page(), 2);
    }
    std::unique_ptr<TSetupProcess> P;
};

struct TLayout {
    int Id;
    TRect Rect;
};
const TLayout kLayout[] = {
    {idPanel1, {0, 0, 430, 44}},          {idImgTitle, {15, 6, 32, 32}},
    {idNotebook, {6, 49, 416, 214}},      {idBevel2, {6, 265, 419, 2}},
    {idBtnCancel, {8, 273, 75, 25}},
    {idBtnPrior, {274, 272, 75, 25}},     {idBtnNext, {348, 272, 75, 25}},
    {idPageLicense, {0, 0, 416, 214}},    {idPageSelectComp, {0, 0, 416, 214}},
    {idPageSeleDir, {0, 0, 416, 214}},    {idPageCopyProgress, {0, 0, 416, 214}},
    {idMemLicense, {0, 0, 416, 214}},
    {idLblSeleComp, {10, 35, 163, 76}},   {idCmbSetupType, {182, 9, 230, 20}},
    {idLbxCompList, {182, 32, 230, 177}},
    {idEdtInstallPath, {32, 45, 329, 23}}, {idBtnBrow, {366, 44, 23, 22}},
    {idProgressBar, {8, 8, 401, 13}},     {idLbxProgress, {6, 24, 403, 185}},
};

} // namespace

TEST_F(Wizard, ClientAreaAndControlRectanglesFollowTheDesign) {
    EXPECT_EQ(P->ClientRect(), (TRect{0, 0, 430, 299}));
    for (const TLayout& l : kLayout) {
        TRect r = P->RectInParent(l.Id);
        EXPECT_EQ(r, l.Rect) << "control " << l.Id << " at " << r.Left << "," << r.Top << " " << r.Width << "x"
                             << r.Height;
    }
}

// A screen DC with the form's language font selected: "Times New Roman",
// 9 points, the language's character set, as the driver sees it in the same prefix.
class TFormFontDC {
public:
    TFormFontDC() : FDC(GetDC(nullptr)) {
        LOGFONTA lf{};
        lf.lfHeight = -MulDiv(9, GetDeviceCaps(FDC, LOGPIXELSY), 72);
        lf.lfWeight = FW_NORMAL;
        static const BYTE charsets[] = {GB2312_CHARSET, CHINESEBIG5_CHARSET, ANSI_CHARSET};
        lf.lfCharSet = charsets[ActiveLang()];
        lstrcpynA(lf.lfFaceName, "Times New Roman", LF_FACESIZE);
        FFont = CreateFontIndirectA(&lf);
        FOld = SelectObject(FDC, FFont);
    }
    ~TFormFontDC() {
        SelectObject(FDC, FOld);
        DeleteObject(FFont);
        ReleaseDC(nullptr, FDC);
    }
    TFormFontDC(const TFormFontDC&) = delete;
    TFormFontDC& operator=(const TFormFontDC&) = delete;
    int TextWidth(const std::string& text) const {
        SIZE size{};
        GetTextExtentPoint32A(FDC, text.c_str(), static_cast<int>(text.size()), &size);
        return size.cx;
    }
    // The text word-wrapped at width: the rectangle it needs.
    RECT Wrapped(const std::string& text, int width) const {
        RECT r{0, 0, width, 0};
        DrawTextA(FDC, text.c_str(), static_cast<int>(text.size()), &r, DT_CALCRECT | DT_WORDBREAK | DT_NOPREFIX);
        return r;
    }

private:
    HDC FDC;
    HFONT FFont;
    HGDIOBJ FOld;
};

struct TLabel {
    int Id;
    TRect Design;
    int RightLimit; // where the next control or the container begins
};

// Single-line labels keep their place and height and take the width of their
// whole text, so no label is cut off in any language.
TEST_F(Wizard, SingleLineLabelsTakeTheWidthOfTheirText) {
    const TLabel labels[] = {
        {idLblTitle, {58, 20, 35, 15}, 430},
        {idLblkxSetup, {95, 278, 144, 15}, 274},
        {idLblSeleType, {9, 14, 92, 15}, 182},
        {idLblSeleInstallDir, {14, 24, 202, 15}, 416},
    };
    for (const TLabel& l : labels) {
        const TRect r = P->RectInParent(l.Id);
        const std::string text = P->Text(l.Id);
        ASSERT_FALSE(text.empty()) << "label " << l.Id;
        EXPECT_EQ(r.Left, l.Design.Left) << "label " << l.Id;
        EXPECT_EQ(r.Top, l.Design.Top) << "label " << l.Id;
        EXPECT_EQ(r.Height, l.Design.Height) << "label " << l.Id;
        EXPECT_EQ(r.Width, TFormFontDC().TextWidth(text)) << "label " << l.Id << ": " << text;
        EXPECT_LE(r.Left + r.Width, l.RightLimit) << "label " << l.Id << ": " << text;
        EXPECT_EQ(GetWindowLongA(P->Control(l.Id), GWL_STYLE) & SS_TYPEMASK, SS_LEFTNOWORDWRAP)
            << "label " << l.Id << " would wrap";
    }
}

// The word-wrapped label keeps its designed rectangle and its text, wrapped at
// that width, fits inside it.
TEST_F(Wizard, WordWrappedLabelWrapsInsideItsRectangle) {
    const TRect r = P->RectInParent(idLblSeleComp);
    const std::string text = P->Text(idLblSeleComp);
    const RECT need = TFormFontDC().Wrapped(text, r.Width);
    EXPECT_LE(need.right, r.Width) << text;
    EXPECT_LE(need.bottom, r.Height) << text;
}

TEST_F(Wizard, FixedBorderWithSystemMenuAndMinimiseBoxCentredOnTheDesktop) {
    const LONG style = GetWindowLongA(P->Form(), GWL_STYLE);
    EXPECT_TRUE(style & WS_CAPTION);
    EXPECT_TRUE(style & WS_SYSMENU);
    EXPECT_TRUE(style & WS_MINIMIZEBOX);
    EXPECT_FALSE(style & WS_MAXIMIZEBOX);
    EXPECT_FALSE(style & WS_THICKFRAME);
    RECT r{};
    GetWindowRect(P->Form(), &r);
    const int dx = r.left - (GetSystemMetrics(SM_CXSCREEN) - (r.right - r.left)) / 2;
    const int dy = r.top - (GetSystemMetrics(SM_CYSCREEN) - (r.bottom - r.top)) / 2;
    EXPECT_LE(std::abs(dx), 1);
    EXPECT_LE(std::abs(dy), 1);
}

TEST_F(Wizard, TabOrderStartsWithTheButtonsThenNotebookThenPanel) {
    std::vector<int> order;
    for (HWND w = GetWindow(P->Form(), GW_CHILD); w; w = GetWindow(w, GW_HWNDNEXT)) order.push_back(GetDlgCtrlID(w));
    ASSERT_GE(order.size(), 5u);
    EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 5),
              (std::vector<int>{idBtnCancel, idBtnPrior, idBtnNext, idNotebook, idPanel1}));
}

TEST_F(Wizard, ProgressListIsLimeOnBlack) {
    P->Click(idBtnCancel);
    P->Click(idBtnNext);
    P->Click(idBtnNext);
    ASSERT_EQ(P->Page(), 3);
    HWND list = P->Control(idLbxProgress);
    RECT item{};
    SendMessageA(list, LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(item.bottom - item.top, 13);
    RECT client{};
    GetClientRect(list, &client);
    POINT corner{client.right - 3, client.bottom - 3};
    ClientToScreen(list, &corner);
    POINT line{item.left, item.top};
    ClientToScreen(list, &line);
    // The page was just shown: give the setup's thread time to paint it before
    // the screen is read.
    COLORREF background = 0;
    int lime = 0;
    for (int attempt = 0; attempt < 40; ++attempt) {
        RedrawWindow(list, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_UPDATENOW);
        Sleep(50);
        HDC screen = GetDC(nullptr);
        background = GetPixel(screen, corner.x, corner.y);
        lime = 0;
        for (int y = 0; y < 13; ++y)
            for (int x = 0; x < 120; ++x)
                if (GetPixel(screen, line.x + x, line.y + y) == RGB(0, 255, 0)) ++lime;
        ReleaseDC(nullptr, screen);
        if (background == RGB(0, 0, 0) && lime > 20) break;
    }
    EXPECT_EQ(background, RGB(0, 0, 0));
    EXPECT_GT(lime, 20) << "no lime text in the first progress line";
}

TEST_F(Wizard, CheckListItemsAreTwelvePixelsHigh) {
    P->Click(idBtnCancel);
    RECT item{};
    SendMessageA(P->Control(idLbxCompList), LB_GETITEMRECT, 0, reinterpret_cast<LPARAM>(&item));
    EXPECT_EQ(item.bottom - item.top, 12);
}

TEST_F(Wizard, CaptionsComeFromTheCatalogueAndTheScript) {
    EXPECT_EQ(P->Text(P->Form()), Expect("FormCaption"));
    EXPECT_EQ(P->Text(idLblTitle), Expect("FormCaption"));
    EXPECT_EQ(P->Text(idLblkxSetup), Expect("Company"));
    EXPECT_EQ(P->Text(idBtnCancel), Expect("Agree"));
    EXPECT_EQ(P->Text(idBtnPrior), Expect("Back"));
    EXPECT_EQ(P->Text(idBtnNext), Expect("Next"));
    EXPECT_FALSE(P->Enabled(idLblkxSetup));
    EXPECT_EQ(P->ListItems(idLbxProgress), (std::vector<std::string>{Expect("PressInstall")}));
    EXPECT_EQ(P->ListItems(idLbxCompList), (std::vector<std::string>{Expect("Comp1"), Expect("Comp2")}));
    std::string licence = P->Text(idMemLicense);
    EXPECT_EQ(licence.substr(0, licence.find("\r\n")), Expect("LicenceFirstLine"));
}

TEST_F(Wizard, LicencePageOffersOnlyAgree) {
    EXPECT_EQ(P->Page(), 0);
    EXPECT_TRUE(P->Enabled(idBtnCancel));
    EXPECT_FALSE(P->Enabled(idBtnPrior));
    EXPECT_FALSE(P->Enabled(idBtnNext));
    EXPECT_EQ(P->Tag(idBtnCancel), 0);
    EXPECT_EQ(P->Tag(idBtnNext), 0);
    Shot(*P, "page0-licence");
}

TEST_F(Wizard, TemporaryScriptCopyIsGoneOnceTheFormIsShown) {
    char temp[MAX_PATH] = {};
    GetTempPathA(MAX_PATH, temp);
    WIN32_FIND_DATAA fd;
    HANDLE h = FindFirstFileA((std::string(temp) + "Seup*.tmp").c_str(), &fd);
    EXPECT_EQ(h, INVALID_HANDLE_VALUE) << "left behind: " << fd.cFileName;
    if (h != INVALID_HANDLE_VALUE) FindClose(h);
}

TEST_F(Wizard, PageFlowWithSuggestedDirectoryAndBackRechecking) {
    P->Click(idBtnCancel); // Agree
    EXPECT_EQ(P->Page(), 1);
    EXPECT_EQ(P->Tag(idBtnCancel), 1);
    EXPECT_EQ(P->Text(idBtnCancel), Expect("Cancel"));
    EXPECT_FALSE(P->Enabled(idBtnPrior));
    EXPECT_TRUE(P->Enabled(idBtnNext));
    Shot(*P, "page1-components");

    P->Click(idBtnNext);
    EXPECT_EQ(P->Page(), 2);
    EXPECT_EQ(P->Text(idEdtInstallPath), ProgramFilesDir() + "Velmora\\AcmeTool\\");
    EXPECT_TRUE(P->Enabled(idBtnPrior));
    EXPECT_TRUE(P->Enabled(idBtnNext));
    EXPECT_EQ(P->Text(idBtnNext), Expect("Next"));
    Shot(*P, "page2-directory");

    P->Click(idBtnNext);
    EXPECT_EQ(P->Page(), 3);
    EXPECT_EQ(P->Tag(idBtnNext), 1);
    EXPECT_EQ(P->Text(idBtnNext), Expect("Install"));
    EXPECT_TRUE(P->Enabled(idBtnPrior));
    EXPECT_TRUE(P->Enabled(idBtnNext));
    EXPECT_NE(GetFileAttributesA((ProgramFilesDir() + "Velmora\\AcmeTool").c_str()), INVALID_FILE_ATTRIBUTES);
    Shot(*P, "page3-progress");

    // Back from the Ready page: Next means Next again and the directory is checked anew.
    P->Click(idBtnPrior);
    EXPECT_EQ(P->Page(), 2);
    EXPECT_EQ(P->Tag(idBtnNext), 0);
    EXPECT_EQ(P->Text(idBtnNext), Expect("Next"));
    P->Type(idEdtInstallPath, "Q:\\no such drive\\Acme");
    P->ClickAsync(idBtnNext);
    HWND box = P->WaitForBox();
    ASSERT_NE(box, nullptr);
    P->Answer(box, IDOK);
    EXPECT_EQ(P->Page(), 2);

    // A typed directory is kept when coming back through page 1.
    P->Type(idEdtInstallPath, "C:\\Acme Typed");
    P->Click(idBtnPrior);
    EXPECT_EQ(P->Page(), 1);
    EXPECT_FALSE(P->Enabled(idBtnPrior));
    P->Click(idBtnNext);
    EXPECT_EQ(P->Text(idEdtInstallPath), "C:\\Acme Typed");
    P->Click(idBtnNext);
    EXPECT_EQ(P->Page(), 3);
    EXPECT_NE(GetFileAttributesA("C:\\Acme Typed"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Wizard, DirectoryThatCannotBeCreatedKeepsPage2) {
    ToDirectoryPage();
    // A file where a folder of the path should be.
    HANDLE f = CreateFileA("C:\\kx-blocker", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    CloseHandle(f);
    P->Type(idEdtInstallPath, "C:\\kx-blocker\\Acme\\");
    P->Click(idBtnNext);
    EXPECT_EQ(P->Page(), 2);
    EXPECT_EQ(P->Text(idBtnNext), Expect("Next"));
    EXPECT_EQ(P->Tag(idBtnNext), 0);
    P->Click(idBtnNext);
    EXPECT_EQ(P->Page(), 2);
    EXPECT_EQ(P->WaitForBox(300), nullptr);
}

// A catalogue message as the program shows it in the active language.
std::string Message(unsigned number, const std::string& arg) {
    for (const ExpectedMessage& e : kExpectedMessages) {
        if (e.Number != number) continue;
        const char* hex = ActiveLang() == gb ? e.GbHex : ActiveLang() == big5 ? e.B5Hex : e.EnHex;
        std::string text;
        for (const char* p = hex; p[0] && p[1]; p += 2)
            text += static_cast<char>(std::stoi(std::string(p, 2), nullptr, 16));
        const std::size_t at = text.find("%s");
        return at == std::string::npos ? text : text.replace(at, 2, arg);
    }
    ADD_FAILURE() << "no message " << number;
    return {};
}

std::string WindowsFolder(UINT(WINAPI* get)(LPSTR, UINT)) {
    char buf[MAX_PATH] = {};
    const UINT n = get(buf, MAX_PATH);
    return std::string(buf, n < MAX_PATH ? n : 0);
}

// A target that would put the package among the system's files, or over another
// package's records, is refused before anything is made, with a message naming it.
TEST_F(Wizard, TargetsOfTheSystemOrOfAnotherPackageAreRefusedWithTheirReason) {
    ToDirectoryPage();
    CreateDirectoryA("C:\\Other Tool", nullptr);
    const std::string otherIni = "[Reg]\r\nRegKey=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\OtherTool\r\n";
    HANDLE f = CreateFileA("C:\\Other Tool\\UnInst.Ini", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    DWORD written = 0;
    WriteFile(f, otherIni.data(), static_cast<DWORD>(otherIni.size()), &written, nullptr);
    CloseHandle(f);
    const struct {
        std::string Typed;
        unsigned Message;
    } cases[] = {
        {"C:\\", 53},
        {"D:\\", 53},
        {WindowsFolder(GetWindowsDirectoryA), 54},
        {WindowsFolder(GetSystemDirectoryA) + "\\", 54},
        {"C:\\Program Files", 54},
        {"C:\\Other Tool\\", 55},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.Typed);
        P->Type(idEdtInstallPath, c.Typed);
        P->ClickAsync(idBtnNext);
        HWND box = P->WaitForBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(TSetupProcess::BoxText(box), Message(c.Message, c.Typed));
        P->Answer(box, IDOK);
        EXPECT_EQ(P->Page(), 2);
        EXPECT_EQ(P->Tag(idBtnNext), 0);
    }
    EXPECT_EQ(GetFileAttributesA("C:\\Other Tool\\kxUnInst.Exe"), INVALID_FILE_ATTRIBUTES);

    // The folder of an earlier installation of this package is its own to use.
    CreateDirectoryA("C:\\Acme Again", nullptr);
    const std::string ownIni = "[Reg]\r\nRegKey=SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\AcmeTool\r\n";
    f = CreateFileA("C:\\Acme Again\\UnInst.Ini", GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
    ASSERT_NE(f, INVALID_HANDLE_VALUE);
    WriteFile(f, ownIni.data(), static_cast<DWORD>(ownIni.size()), &written, nullptr);
    CloseHandle(f);
    P->Type(idEdtInstallPath, "C:\\Acme Again\\");
    P->Click(idBtnNext);
    EXPECT_EQ(P->Page(), 3);
    EXPECT_EQ(P->WaitForBox(300), nullptr);
}

// A relative path would be made below whatever the current directory is, and a
// drive that is not there cannot hold the files: both are refused with the error.
TEST_F(Wizard, RelativeOrDrivelessDirectoryShowsTheErrorAndStays) {
    ToDirectoryPage();
    for (const char* typed : {"Acme Rel\\Tool", "   ", "Q:\\no such drive\\Acme\\"}) {
        SCOPED_TRACE(typed);
        P->Type(idEdtInstallPath, typed);
        P->ClickAsync(idBtnNext);
        HWND box = P->WaitForBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(TSetupProcess::BoxText(box), "Unable to create directory");
        P->Answer(box, IDOK);
        EXPECT_EQ(P->Page(), 2);
        EXPECT_EQ(P->Tag(idBtnNext), 0);
    }
    EXPECT_EQ(GetFileAttributesA("Acme Rel"), INVALID_FILE_ATTRIBUTES);
}

TEST_F(Wizard, EmptyDirectoryShowsTheErrorAndStays) {
    ToDirectoryPage();
    P->Type(idEdtInstallPath, "");
    P->ClickAsync(idBtnNext);
    HWND box = P->WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TSetupProcess::BoxText(box), "Unable to create directory");
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    P->Answer(box, IDOK);
    EXPECT_EQ(P->Page(), 2);
    EXPECT_EQ(P->Tag(idBtnNext), 0);
    EXPECT_TRUE(P->Running());
}

BOOL CALLBACK CollectTexts(HWND wnd, LPARAM lp) {
    reinterpret_cast<std::vector<std::string>*>(lp)->push_back(TSetupProcess::Text(wnd));
    return TRUE;
}

TEST_F(Wizard, BrowseShowsTheFolderBrowserAndCancelKeepsTheEdit) {
    ToDirectoryPage();
    P->Type(idEdtInstallPath, "C:\\Kept Dir\\");
    P->ClickAsync(idBtnBrow);
    HWND box = P->WaitForBox();
    ASSERT_NE(box, nullptr);
    std::vector<std::string> texts;
    EnumChildWindows(box, CollectTexts, reinterpret_cast<LPARAM>(&texts));
    EXPECT_NE(std::find(texts.begin(), texts.end(), Expect("BrowseTitle")), texts.end());
    P->Answer(box, IDCANCEL);
    EXPECT_EQ(P->Text(idEdtInstallPath), "C:\\Kept Dir\\");
    EXPECT_EQ(P->Page(), 2);
}

TEST_F(Wizard, CancelThenNoChangesNothing) {
    ToDirectoryPage();
    const std::string path = P->Text(idEdtInstallPath);
    P->ClickAsync(idBtnCancel);
    HWND box = P->WaitForBox();
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TSetupProcess::BoxText(box), Expect("ExitConfirm"));
    EXPECT_NE(GetDlgItem(box, IDYES), nullptr);
    EXPECT_NE(GetDlgItem(box, IDNO), nullptr);
    P->Answer(box, IDNO);
    EXPECT_TRUE(P->Running());
    EXPECT_EQ(P->Page(), 2);
    EXPECT_EQ(P->Text(idBtnCancel), Expect("Cancel"));
    EXPECT_EQ(P->Text(idBtnNext), Expect("Next"));
    EXPECT_EQ(P->Tag(idBtnCancel), 1);
    EXPECT_EQ(P->Tag(idBtnNext), 0);
    EXPECT_EQ(P->Text(idEdtInstallPath), path);
}

TEST_F(Wizard, CancelThenYesEndsTheProgram) {
    P->Click(idBtnCancel);
    P->ClickAsync(idBtnCancel);
    HWND box = P->WaitForBox();
    ASSERT_NE(box, nullptr);
    P->Answer(box, IDYES);
    DWORD code = 1234;
    EXPECT_TRUE(P->WaitForExit(10000, &code));
    EXPECT_EQ(code, 1602u) << "cancelled, as deployment tools read it";
}

// The directory page makes the folder when it is left; a setup that ends
// without installing takes away what it made and what is still empty, and
// nothing else.
TEST_F(Wizard, EndingWithoutInstallingRemovesTheFoldersTheDirectoryPageMade) {
    ASSERT_TRUE(CreateDirectoryA("C:\\kx there", nullptr));
    ToDirectoryPage();
    P->Type(idEdtInstallPath, "C:\\kx there\\kx new\\Acme");
    P->Click(idBtnNext);
    ASSERT_EQ(P->Page(), 3);
    ASSERT_NE(GetFileAttributesA("C:\\kx there\\kx new\\Acme"), INVALID_FILE_ATTRIBUTES);
    P->Click(idBtnPrior);
    P->Type(idEdtInstallPath, "C:\\kx kept\\Acme");
    P->Click(idBtnNext);
    ASSERT_EQ(P->Page(), 3);
    // Something of the user's in one of the folders made: that one stays.
    HANDLE user = CreateFileA("C:\\kx kept\\notes.txt", GENERIC_WRITE, 0, nullptr, CREATE_NEW, 0, nullptr);
    ASSERT_NE(user, INVALID_HANDLE_VALUE);
    CloseHandle(user);
    P->ClickAsync(idBtnCancel);
    HWND box = P->WaitForBox();
    ASSERT_NE(box, nullptr);
    P->Answer(box, IDYES);
    EXPECT_TRUE(P->WaitForExit(10000));
    EXPECT_EQ(GetFileAttributesA("C:\\kx there\\kx new"), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA("C:\\kx there"), INVALID_FILE_ATTRIBUTES) << "it was there before";
    EXPECT_EQ(GetFileAttributesA("C:\\kx kept\\Acme"), INVALID_FILE_ATTRIBUTES);
    EXPECT_NE(GetFileAttributesA("C:\\kx kept\\notes.txt"), INVALID_FILE_ATTRIBUTES);
    DeleteFileA("C:\\kx kept\\notes.txt");
    RemoveDirectoryA("C:\\kx kept");
    RemoveDirectoryA("C:\\kx there");
}

TEST_F(Wizard, CloseBoxEndsWithoutConfirmation) {
    P->Click(idBtnCancel);
    P->Close();
    EXPECT_TRUE(P->WaitForExit(10000));
}

TEST_F(Wizard, CompleteAndCustomCheckMarks) {
    P->Click(idBtnCancel);
    ASSERT_EQ(P->ListItems(idLbxCompList).size(), 2u);
    EXPECT_TRUE(P->ListChecked(idLbxCompList, 0));
    EXPECT_TRUE(P->ListChecked(idLbxCompList, 1));
    P->SelectCombo(idCmbSetupType, 1);
    EXPECT_TRUE(P->ListChecked(idLbxCompList, 0));
    EXPECT_TRUE(P->ListChecked(idLbxCompList, 1));
    P->ToggleCheck(idLbxCompList, 1);
    EXPECT_TRUE(P->ListChecked(idLbxCompList, 0));
    EXPECT_FALSE(P->ListChecked(idLbxCompList, 1));
    P->ToggleCheck(idLbxCompList, 1);
    EXPECT_TRUE(P->ListChecked(idLbxCompList, 1));
    P->ToggleCheck(idLbxCompList, 0);
    EXPECT_FALSE(P->ListChecked(idLbxCompList, 0));
    P->SelectCombo(idCmbSetupType, 0);
    EXPECT_TRUE(P->ListChecked(idLbxCompList, 0));
    EXPECT_TRUE(P->ListChecked(idLbxCompList, 1));
}

// Run under the win98 family: the demo package needs Windows 2000/XP.
TEST(WindowsFamily, Win2kPackageUnderWin98ShowsMessage40AndEnds) {
    TSetupProcess p(gSetup);
    HWND box = p.WaitForBox(20000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TSetupProcess::BoxText(box), Expect("NeedWin2k"));
    EXPECT_NE(GetDlgItem(box, IDOK), nullptr);
    EXPECT_FALSE(p.WaitForForm(100));
    p.Answer(box, IDOK);
    EXPECT_TRUE(p.WaitForExit(10000));
}

// Run under the winxp family with a package that needs Windows 9x.
TEST(WindowsFamily, Win9xPackageUnderWinXPShowsMessage39AndEnds) {
    ASSERT_FALSE(gSetupWin9x.empty()) << "run with --setup-win9x=PATH";
    TSetupProcess p(gSetupWin9x);
    HWND box = p.WaitForBox(20000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TSetupProcess::BoxText(box), Expect("NeedWin9x"));
    EXPECT_FALSE(p.WaitForForm(100));
    p.Answer(box, IDOK);
    EXPECT_TRUE(p.WaitForExit(10000));
}

// Both flags: the NT family gets message 39, the 9x family message 40.
TEST(WindowsFamily, BothFamiliesRequiredEndsOnEitherFamily) {
    ASSERT_FALSE(gSetupBoth.empty()) << "run with --setup-both=PATH";
    OSVERSIONINFOA vi{};
    vi.dwOSVersionInfoSize = sizeof vi;
    GetVersionExA(&vi);
    const bool nt = vi.dwPlatformId == VER_PLATFORM_WIN32_NT;
    TSetupProcess p(gSetupBoth);
    HWND box = p.WaitForBox(20000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(TSetupProcess::BoxText(box), Expect(nt ? "NeedWin9x" : "NeedWin2k"));
    p.Answer(box, IDOK);
    EXPECT_TRUE(p.WaitForExit(10000));
}

TEST(InstallRun, FailingStepRestoresInstallAndCancelAndRunsAgainFromTheFirst) {
    ASSERT_FALSE(gSetupSteps.empty()) << "run with --setup-steps=PATH";
    TSetupProcess p(gSetupSteps, {"KX_SETUP_TEST_STEPS=line:step one;line:step two;fail:Step three failed;line:after"});
    ASSERT_TRUE(p.WaitForForm());
    p.Click(idBtnCancel);
    p.Click(idBtnNext);
    p.Click(idBtnNext);
    ASSERT_EQ(p.Page(), 3);

    for (int run = 1; run <= 2; ++run) {
        p.ClickAsync(idBtnNext);
        HWND box = p.WaitForBox();
        ASSERT_NE(box, nullptr);
        EXPECT_EQ(TSetupProcess::BoxText(box), "Step three failed");
        // The run has already given its buttons back when the error is shown.
        EXPECT_FALSE(p.Enabled(idBtnPrior));
        p.Answer(box, IDOK);
        EXPECT_TRUE(p.Enabled(idBtnNext));
        EXPECT_TRUE(p.Enabled(idBtnCancel));
        EXPECT_FALSE(p.Enabled(idBtnPrior));
        EXPECT_EQ(p.Text(idBtnNext), Expect("Install"));
        EXPECT_EQ(p.Page(), 3);
    }
    std::vector<std::string> lines = p.ListItems(idLbxProgress);
    EXPECT_EQ(lines, (std::vector<std::string>{Expect("PressInstall"), "step one", "step two", "step one",
                                               "step two"}));
}

TEST(InstallRun, SucceedingStepsReturnToReadyWithBackDisabled) {
    ASSERT_FALSE(gSetupSteps.empty()) << "run with --setup-steps=PATH";
    TSetupProcess p(gSetupSteps, {"KX_SETUP_TEST_STEPS=line:only step"});
    ASSERT_TRUE(p.WaitForForm());
    p.Click(idBtnCancel);
    p.Click(idBtnNext);
    p.Click(idBtnNext);
    p.Click(idBtnNext);
    EXPECT_EQ(p.ListItems(idLbxProgress), (std::vector<std::string>{Expect("PressInstall"), "only step"}));
    EXPECT_TRUE(p.Enabled(idBtnNext));
    EXPECT_TRUE(p.Enabled(idBtnCancel));
    EXPECT_FALSE(p.Enabled(idBtnPrior));
    EXPECT_EQ(p.WaitForBox(300), nullptr);
}

TEST(InstallRun, CloseRequestDuringTheRunTakesEffectAfterIt) {
    ASSERT_FALSE(gSetupSteps.empty()) << "run with --setup-steps=PATH";
    const std::string marker = "C:\\windows\\temp\\kx-alive.txt";
    DeleteFileA(marker.c_str());
    TSetupProcess p(gSetupSteps, {"KX_SETUP_TEST_STEPS=close;line:next;alive:" + marker});
    ASSERT_TRUE(p.WaitForForm());
    p.Click(idBtnCancel);
    p.Click(idBtnNext);
    p.Click(idBtnNext);
    ASSERT_EQ(p.Page(), 3);
    p.ClickAsync(idBtnNext);
    DWORD code = 1234;
    EXPECT_TRUE(p.WaitForExit(15000, &code));
    EXPECT_EQ(code, 0u);
    char buf[8] = {};
    HANDLE h = CreateFileA(marker.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(h, INVALID_HANDLE_VALUE) << "the steps after the close request did not run";
    DWORD read = 0;
    ReadFile(h, buf, sizeof buf - 1, &read, nullptr);
    CloseHandle(h);
    EXPECT_STREQ(buf, "1") << "the window was gone before the run returned";
}

struct TDirCase {
    const char* Typed;
    const char* Stored;
    TLang OnlyIn; // english: every language
};

class InstallDir : public testing::TestWithParam<TDirCase> {};

TEST_P(InstallDir, AcceptedDirectoryEndsInOneBackslash) {
    ASSERT_FALSE(gSetupSteps.empty()) << "run with --setup-steps=PATH";
    if (GetParam().OnlyIn != english && GetParam().OnlyIn != ActiveLang()) GTEST_SKIP() << "needs another code page";
    TSetupProcess p(gSetupSteps, {"KX_SETUP_TEST_STEPS=installdir"});
    ASSERT_TRUE(p.WaitForForm());
    p.Click(idBtnCancel);
    p.Click(idBtnNext);
    p.Type(idEdtInstallPath, GetParam().Typed);
    p.Click(idBtnNext);
    ASSERT_EQ(p.Page(), 3);
    p.Click(idBtnNext);
    EXPECT_EQ(p.ListItems(idLbxProgress), (std::vector<std::string>{Expect("PressInstall"), GetParam().Stored}));
}
INSTANTIATE_TEST_SUITE_P(
    Paths, InstallDir,
    testing::Values(TDirCase{"C:\\Acme Plain", "C:\\Acme Plain\\", english},
                    TDirCase{"C:\\Acme Ends\\", "C:\\Acme Ends\\", english},
                    // Big5 "\xA5\x5C" ends in the byte of a backslash but is one character.
                    TDirCase{"C:\\Acme\\\xA5\x5C", "C:\\Acme\\\xA5\x5C\\", big5}));

// The family check lets a package for Windows 9x start on Windows 9x.
TEST(WindowsFamily, Win9xPackageUnderWin98Starts) {
    ASSERT_FALSE(gSetupWin9x.empty()) << "run with --setup-win9x=PATH";
    TSetupProcess p(gSetupWin9x);
    EXPECT_TRUE(p.WaitForForm());
    EXPECT_EQ(p.WaitForBox(300), nullptr);
}

// ---------------------------------------------------------------- identity

std::string VersionValue(const std::string& exe, const char* name) {
    DWORD ignored = 0;
    const DWORD size = GetFileVersionInfoSizeA(exe.c_str(), &ignored);
    if (!size) return "<no version resource>";
    std::string block(size, '\0');
    if (!GetFileVersionInfoA(exe.c_str(), 0, size, block.data())) return "<unreadable>";
    char* value = nullptr;
    UINT length = 0;
    const std::string path = std::string("\\StringFileInfo\\040904E4\\") + name;
    if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &length) || !value)
        return "<no " + std::string(name) + ">";
    return std::string(value);
}

// Explorer shows the program's own icon and its version properties, which
// kxpack makes from the package (the demo's script gives no ProductVersion).
TEST(Identity, SetupCarriesItsIconAndVersion) {
    const std::string exe = WinPath(gSetup);
    EXPECT_EQ(VersionValue(exe, "CompanyName"), "Acme Ltd.");
    EXPECT_EQ(VersionValue(exe, "FileDescription"), "Acme Tool Setup");
    EXPECT_EQ(VersionValue(exe, "ProductName"), "Acme Tool");
    EXPECT_EQ(VersionValue(exe, "FileVersion"), "<no FileVersion>");
    EXPECT_GE(ExtractIconExA(exe.c_str(), -1, nullptr, nullptr, 0), 1u);

    // The icon group Explorer shows is the program's: 32 x 32 at 16 colours and
    // more. (Wine 8 cannot answer WM_GETICON from another process, so the form's
    // own use of it is not read here.)
    HICON large = nullptr;
    ASSERT_EQ(ExtractIconExA(exe.c_str(), 0, &large, nullptr, 1), 1u);
    ICONINFO info{};
    ASSERT_TRUE(GetIconInfo(large, &info));
    BITMAP bm{};
    GetObjectA(info.hbmColor ? info.hbmColor : info.hbmMask, sizeof bm, &bm);
    EXPECT_EQ(bm.bmWidth, GetSystemMetrics(SM_CXICON));
    if (info.hbmColor) DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(large);
}

// ---------------------------------------------------------------- DLL planting

// Asks Wine to load a program's DLLs of these names from files first: Wine
// prefers its builtin DLLs even to a file beside the program, Windows does not.
void PreferDllFiles(const char* program, const std::vector<std::string>& names) {
    HKEY key = nullptr;
    const std::string path = std::string("Software\\Wine\\AppDefaults\\") + program + "\\DllOverrides";
    ASSERT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    for (const std::string& name : names)
        RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>("native,builtin"), 15);
    RegCloseKey(key);
}

// DLLs planted beside setup.exe, as in a download folder, are never loaded:
// each copy of the probe DLL records its own name in loaded.txt when loaded.
// version.dll and msimg32.dll are left out for setup.exe: Wine's own builtin
// DLLs load them by name (on Windows the known DLLs' dependencies come from the
// system directory), which would blame setup.exe for Wine's loader.
TEST(DllSafety, DllsPlantedBesideSetupAreNotLoaded) {
    ASSERT_FALSE(gPlantDll.empty()) << "run with --plant-dll=PATH --plant-probe=PATH";
    const std::string dir = "C:\\kxplant\\";
    const std::string marker = dir + "loaded.txt";
    CreateDirectoryA(dir.c_str(), nullptr);
    const std::vector<std::string> names = {"comctl32", "ws2_32", "uxtheme", "winmm", "userenv", "setupapi",
                                            "version"};
    for (const std::string& name : names)
        ASSERT_TRUE(CopyFileA(WinPath(gPlantDll).c_str(), (dir + name + ".dll").c_str(), FALSE)) << name;
    ASSERT_TRUE(CopyFileA(WinPath(gSetup).c_str(), (dir + "setup.exe").c_str(), FALSE));
    ASSERT_TRUE(CopyFileA(WinPath(gPlantProbe).c_str(), (dir + "probe.exe").c_str(), FALSE));
    PreferDllFiles("probe.exe", {"version"});
    PreferDllFiles("setup.exe", std::vector<std::string>(names.begin(), names.end() - 1));

    auto loaded = [&] {
        std::string text;
        HANDLE h = CreateFileA(marker.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                               OPEN_EXISTING, 0, nullptr);
        if (h == INVALID_HANDLE_VALUE) return text;
        char buf[4096];
        DWORD n = 0;
        while (ReadFile(h, buf, sizeof buf, &n, nullptr) && n) text.append(buf, n);
        CloseHandle(h);
        return text;
    };

    // The control: a program that loads version.dll by its bare name gets the
    // planted copy, so a planted DLL would be seen if setup.exe loaded one.
    DeleteFileA(marker.c_str());
    {
        TSetupProcess probe(dir + "probe.exe");
        EXPECT_TRUE(probe.WaitForExit(20000));
    }
    EXPECT_NE(loaded().find("version.dll"), std::string::npos) << "the planted DLL was not seen: " << loaded();

    DeleteFileA(marker.c_str());
    {
        TSetupProcess p(dir + "setup.exe");
        // A planted DLL may well keep the wizard from appearing; what was loaded
        // is checked either way.
        const bool shown = p.WaitForForm();
        EXPECT_TRUE(shown) << "the wizard did not appear";
        if (shown) {
            p.Click(idBtnCancel);
            p.Click(idBtnNext);
            p.Close();
            EXPECT_TRUE(p.WaitForExit(10000));
        }
    }
    EXPECT_EQ(loaded(), "") << "setup.exe loaded a DLL from its own folder";
}

namespace {

// Chinese text in "Times New Roman" needs a face with CJK glyphs in this prefix.
void SubstituteCjkFonts() {
    HKEY key = nullptr;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows NT\\CurrentVersion\\FontSubstitutes", 0,
                        nullptr, 0, KEY_SET_VALUE, nullptr, &key, nullptr) != ERROR_SUCCESS)
        return;
    const char* subs[][2] = {{"Times New Roman,134", "WenQuanYi Micro Hei,134"},
                             {"Times New Roman,136", "WenQuanYi Micro Hei,136"}};
    for (auto& s : subs)
        RegSetValueExA(key, s[0], 0, REG_SZ, reinterpret_cast<const BYTE*>(s[1]),
                       static_cast<DWORD>(std::strlen(s[1]) + 1));
    RegCloseKey(key);
}

} // namespace

int main(int argc, char** argv) {
    testing::InitGoogleTest(&argc, argv);
    TakeOptions(argc, argv, {
        {"--setup=", &gSetup},
        {"--setup-win9x=", &gSetupWin9x},
        {"--setup-steps=", &gSetupSteps},
        {"--setup-both=", &gSetupBoth},
        {"--artifacts=", &gArtifacts},
        {"--install-setup=", &gInstallSetup},
        {"--damaged-setup=", &gDamagedSetup},
        {"--layout-setup=", &gLayoutSetup},
        {"--payload=", &gPayloadDir},
        {"--plant-dll=", &gPlantDll},
        {"--plant-probe=", &gPlantProbe},
    });
    SubstituteCjkFonts();
    return RUN_ALL_TESTS();
}
