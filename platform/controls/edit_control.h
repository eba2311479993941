// Where the caret of an edit control ("EDIT") stands, for hosts and tests.
#pragma once

#include <optional>

#include <windows.h>

namespace platform::controls {

void RegisterEditClass();
// The top of the caret on the screen: its left edge and the top of its line.
std::optional<POINT> EditCaretOnScreen(HWND edit);

}  // namespace platform::controls
