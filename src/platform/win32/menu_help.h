#pragma once
// The pop-up menu and the help and home actions.
#include <windows.h>

namespace orve::win32 {

// Tracks the first sub-menu of menu 119 at (x, y), screen coordinates unless
// clientPoint; the choice arrives at `window` as WM_COMMAND.
void ShowPopupMenu(HWND window, HMODULE module, int x, int y, bool clientPoint);
// Opens the help page beside the module, or the online manual when there is none.
void OpenHelp(HMODULE module);
void OpenHomePage();

}  // namespace orve::win32
