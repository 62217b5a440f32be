// The look the setup wizard and the uninstaller share.
#include "sys/FormStyle.h"

#include <string>

namespace kx {

HFONT CreateLanguageFont(int setupLang) {
    HDC dc = GetDC(nullptr);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(nullptr, dc);
    LOGFONTA lf{};
    lf.lfHeight = -MulDiv(9, dpi, 72);
    lf.lfWeight = FW_NORMAL;
    lf.lfCharSet = static_cast<BYTE>(setupLang == 0 ? GB2312_CHARSET : setupLang == 1 ? CHINESEBIG5_CHARSET
                                                                                      : ANSI_CHARSET);
    lstrcpynA(lf.lfFaceName, "Times New Roman", LF_FACESIZE);
    return CreateFontIndirectA(&lf);
}

void FitLabelToText(HWND label) {
    const int n = GetWindowTextLengthA(label);
    std::string text(static_cast<std::size_t>(n) + 1, '\0');
    text.resize(static_cast<std::size_t>(GetWindowTextA(label, text.data(), n + 1)));
    HDC dc = GetDC(label);
    HGDIOBJ old = SelectObject(dc, reinterpret_cast<HGDIOBJ>(SendMessageA(label, WM_GETFONT, 0, 0)));
    SIZE size{};
    GetTextExtentPoint32A(dc, text.c_str(), static_cast<int>(text.size()), &size);
    SelectObject(dc, old);
    ReleaseDC(label, dc);
    RECT r{};
    GetWindowRect(label, &r);
    SetWindowPos(label, nullptr, 0, 0, size.cx, r.bottom - r.top, SWP_NOMOVE | SWP_NOZORDER | SWP_NOACTIVATE);
}

void ProcessPendingMessages(HWND dialog) {
    MSG msg;
    while (PeekMessageA(&msg, nullptr, 0, 0, PM_REMOVE)) {
        if (msg.message == WM_QUIT) {
            PostQuitMessage(static_cast<int>(msg.wParam));
            return;
        }
        if (!IsDialogMessageA(dialog, &msg)) {
            TranslateMessage(&msg);
            DispatchMessageA(&msg);
        }
    }
}

void PaintTitlePanel(HWND panel, HDC dc) {
    RECT r;
    GetClientRect(panel, &r);
    FillRect(dc, &r, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    DrawEdge(dc, &r, BDR_SUNKENOUTER, BF_RECT);
}

} // namespace kx
