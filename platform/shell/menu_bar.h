// The soft-key menu bar's geometry, for hosts that tap its keys.
#pragma once

#include <optional>

#include <windows.h>

namespace platform {

void RegisterMenuBarClass();
// Where button `index` (0 = left key) of a menu bar lies on the screen.
std::optional<RECT> MenuBarButtonOnScreen(HWND menu_bar, int index);

}  // namespace platform
