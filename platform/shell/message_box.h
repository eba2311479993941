// The message box: a question drawn by the shell over the work area in the
// device's style (a caption band, the text, a row of buttons), run in a loop
// of its own until a button is tapped.
//
// Supported: MB_OK and MB_YESNO, taps, Enter (the first button) and Escape
// (the last). Not supported yet: icons, default-button flags, other button
// sets, text too long for the box (it is cut at the box's edge).
#pragma once

#include <optional>

#include <windows.h>

namespace platform {

void RegisterMessageBoxClass();
// The open message box, nullptr when none is open.
HWND OpenMessageBox();
// Where the open box's button with that result (IDYES, IDNO, IDOK) is on the screen.
std::optional<RECT> MessageBoxButtonOnScreen(int result);

}  // namespace platform
