// Pop-up menus: a menu drawn above everything, tracked in a loop of its own
// until an item is tapped or the menu is dismissed (a tap outside, Escape).
#pragma once

#include <windows.h>

namespace platform {

// Shows `menu` with its bottom-left corner at (x, y) on the screen and runs
// until it closes. Returns the chosen command, 0 when dismissed.
UINT TrackPopupMenu(HMENU menu, int x, int bottom_y, HWND owner);
void RegisterPopupMenuClass();

}  // namespace platform
