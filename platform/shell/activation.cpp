// Shell calls that programs make at start-up and on activation.
#include <aygshell.h>

#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/shell/shell_state.h"

using platform::Session;

BOOL WINAPI SHInitExtraControls() {
  Session& s = Session::current();
  s.calls().record("SHInitExtraControls");
  platform::ShellState::of(s).extra_controls = true;
  return TRUE;
}

// Keeps the keyboard focus across activation: the window that had it when
// the program lost the foreground gets it back when the program returns.
BOOL WINAPI SHHandleWMActivate(HWND hwnd, WPARAM wParam, LPARAM, SHACTIVATEINFO* psai, DWORD) {
  Session& s = Session::current();
  s.calls().record("SHHandleWMActivate");
  if (!psai || psai->cbSize != sizeof(SHACTIVATEINFO)) return FALSE;
  auto& windows = s.windows();
  if (LOWORD(wParam) == WA_INACTIVE) {
    HWND focus = windows.focus();
    psai->hwndLastFocus = focus && windows.top_level_of(focus) == hwnd ? focus : nullptr;
    psai->fActive = 0;
    return TRUE;
  }
  psai->fActive = 1;
  HWND restore = psai->hwndLastFocus;
  if (restore && windows.is_window(restore) && windows.top_level_of(restore) == hwnd)
    SetFocus(restore);
  else
    SetFocus(hwnd);
  return TRUE;
}

BOOL WINAPI SHHandleWMSettingChange(HWND, WPARAM, LPARAM, SHACTIVATEINFO* psai) {
  Session& s = Session::current();
  s.calls().record("SHHandleWMSettingChange");
  // There is no input panel here whose appearance would resize the window.
  return psai && psai->cbSize == sizeof(SHACTIVATEINFO) ? TRUE : FALSE;
}
