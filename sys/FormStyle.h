// The look the setup wizard and the uninstaller share: the language font, labels
// that take the width of their text, and the message pump of a running step.
#pragma once
#include "sys/Win32.h"

namespace kx {

// "Times New Roman", 9 points, in the character set of the language
// (0 = GB, 1 = Big5, 2 = English); null when it cannot be made.
HFONT CreateLanguageFont(int setupLang);

// A single-line label takes the width of its text in its own font, keeping its
// place and height.
void FitLabelToText(HWND label);

// Lets the message loop handle what is pending while a long step runs on the
// window's thread; a quit request is put back for the outer loop.
void ProcessPendingMessages(HWND dialog);

// The white title panel with its lowered outer bevel, drawn on WM_ERASEBKGND.
void PaintTitlePanel(HWND panel, HDC dc);

} // namespace kx
