// The soft-key menu bar: its geometry, for hosts that tap its keys, and
// bars built from keys given in code.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/core/resources.h"

namespace platform {

void RegisterMenuBarClass();
// Where button `index` (0 = left key) of a menu bar lies on the screen.
std::optional<RECT> MenuBarButtonOnScreen(HWND menu_bar, int index);

// A soft key given in code: a tap sends WM_COMMAND `command` to the bar's
// parent, or, with pop-up items, opens them above the key.
struct SoftKey {
  std::u16string text;
  int command = 0;
  std::vector<res::MenuItem> popup;
};
// A menu bar for a window of the platform's own, which has no menu-bar
// resource to build it from.
HWND CreateMenuBarFromKeys(HWND parent, const std::vector<SoftKey>& keys);

}  // namespace platform
