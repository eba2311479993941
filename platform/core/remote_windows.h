// The windows of the user's other programs. The window manager knows only
// this process's windows; a floor above that can reach other processes
// (the desktop channel) plugs in here, so FindWindowW and
// SetForegroundWindow reach across processes as they do on the device.
#pragma once

#include <string>

#include <windows.h>

namespace platform {

class RemoteWindows {
 public:
  virtual ~RemoteWindows() = default;
  // A top-level window of another program with this class and title (a null
  // pointer matches any); nullptr when none answers.
  virtual HWND find(const std::u16string* class_name, const std::u16string* title) = 0;
  // Asks the owner of a window found by `find` to bring it to the front,
  // alone or as its last active popup (the dialog it has open).
  enum class Front { window, last_active_popup };
  virtual bool bring_to_front(HWND remote, Front front) = 0;
};

}  // namespace platform
