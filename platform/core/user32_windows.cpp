// The window functions: classes, creation and destruction, geometry,
// showing, focus, text and the default window procedure.
#include <algorithm>

#include <windows.h>

#include "platform/core/message_queue.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/core/remote_windows.h"

using platform::Session;

namespace {

platform::WindowManager& Windows() { return Session::current().windows(); }

std::u16string TextOrEmpty(LPCWSTR s) { return s ? std::u16string(s) : std::u16string(); }

void CopyText(const std::u16string& text, LPWSTR out, int max, int* copied) {
  *copied = 0;
  if (!out || max <= 0) return;
  int n = std::min(static_cast<int>(text.size()), max - 1);
  std::copy_n(text.data(), n, out);
  out[n] = 0;
  *copied = n;
}

}  // namespace

ATOM WINAPI RegisterClassW(const WNDCLASSW* lpWndClass) {
  Session& s = Session::current();
  s.calls().record("RegisterClassW");
  if (s.faults().active(platform::CoreFault::register_class) || !lpWndClass) return 0;
  return s.windows().register_class(*lpWndClass, false);
}

BOOL WINAPI UnregisterClassW(LPCWSTR lpClassName, HINSTANCE) {
  return lpClassName && Windows().unregister_class(lpClassName) ? TRUE : FALSE;
}

BOOL WINAPI GetClassInfoW(HINSTANCE, LPCWSTR lpClassName, LPWNDCLASSW lpWndClass) {
  if (!lpClassName || !lpWndClass) return FALSE;
  auto cls = Windows().find_class(lpClassName);
  if (!cls) return FALSE;
  *lpWndClass = WNDCLASSW{cls->style,   cls->proc,         0,       0, cls->instance, cls->icon, cls->cursor,
                          cls->background, nullptr, lpClassName};
  return TRUE;
}

HWND WINAPI CreateWindowExW(DWORD dwExStyle, LPCWSTR lpClassName, LPCWSTR lpWindowName, DWORD dwStyle, int X, int Y,
                            int nWidth, int nHeight, HWND hWndParent, HMENU hMenu, HINSTANCE hInstance,
                            LPVOID lpParam) {
  Session& s = Session::current();
  std::u16string class_name = TextOrEmpty(lpClassName);
  s.calls().record("CreateWindowExW");
  if (s.faults().active(platform::CoreFault::create_window) &&
      (s.faults().create_window_class.empty() ||
       platform::ClassKey(s.faults().create_window_class) == platform::ClassKey(class_name)))
    return nullptr;
  platform::CreateParams p;
  p.ex_style = dwExStyle;
  p.class_name = class_name;
  p.text = TextOrEmpty(lpWindowName);
  p.style = dwStyle;
  p.x = X;
  p.y = Y;
  p.width = nWidth;
  p.height = nHeight;
  p.parent = hWndParent;
  p.menu = hMenu;
  p.instance = hInstance;
  p.param = lpParam;
  HWND hwnd = s.windows().create(p);
  return hwnd;
}

BOOL WINAPI DestroyWindow(HWND hWnd) {
  Session& s = Session::current();
  BOOL ok = s.windows().destroy(hWnd) ? TRUE : FALSE;
  return ok;
}

BOOL WINAPI IsWindow(HWND hWnd) { return Windows().is_window(hWnd) ? TRUE : FALSE; }

BOOL WINAPI IsWindowVisible(HWND hWnd) {
  for (platform::Window* w = Windows().get(hWnd); w; w = Windows().get(w->parent))
    if (!w->visible()) return FALSE;
  return Windows().is_window(hWnd) ? TRUE : FALSE;
}

BOOL WINAPI IsWindowEnabled(HWND hWnd) {
  platform::Window* w = Windows().get(hWnd);
  return w && w->enabled() ? TRUE : FALSE;
}

BOOL WINAPI EnableWindow(HWND hWnd, BOOL bEnable) {
  platform::Window* w = Windows().get(hWnd);
  if (!w) return FALSE;
  BOOL was_disabled = w->enabled() ? FALSE : TRUE;
  if (bEnable == was_disabled) {
    if (bEnable)
      w->style &= ~WS_DISABLED;
    else
      w->style |= WS_DISABLED;
    Windows().send(hWnd, WM_ENABLE, bEnable ? TRUE : FALSE, 0);
    Windows().invalidate(hWnd, nullptr, true);
  }
  return was_disabled;
}

HWND WINAPI FindWindowW(LPCWSTR lpClassName, LPCWSTR lpWindowName) {
  Session& s = Session::current();
  std::u16string cls = TextOrEmpty(lpClassName);
  std::u16string title = TextOrEmpty(lpWindowName);
  const std::u16string* cls_ptr = lpClassName ? &cls : nullptr;
  const std::u16string* title_ptr = lpWindowName ? &title : nullptr;
  if (HWND local = s.windows().find_top_level(cls_ptr, title_ptr)) return local;
  // Top-level windows of the user's other programs are found too.
  if (platform::RemoteWindows* remote = s.remote_windows()) return remote->find(cls_ptr, title_ptr);
  return nullptr;
}

BOOL WINAPI SetForegroundWindow(HWND hWnd) {
  Session& s = Session::current();
  // Bit 0 set asks to bring the window forward with the windows it owns: the
  // one of them that was active last (an open dialog) comes to the front.
  const bool owned = (reinterpret_cast<std::uintptr_t>(hWnd) & 1) != 0;
  HWND plain = reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(hWnd) & ~std::uintptr_t{1});
  s.calls().record("SetForegroundWindow");
  if (s.windows().is_window(plain)) {
    s.windows().activate(owned ? s.windows().last_active_popup(plain) : plain, WA_ACTIVE);
    return TRUE;
  }
  using Front = platform::RemoteWindows::Front;
  if (platform::RemoteWindows* remote = s.remote_windows())
    return remote->bring_to_front(plain, owned ? Front::last_active_popup : Front::window) ? TRUE : FALSE;
  return FALSE;
}

HWND WINAPI GetForegroundWindow() { return Windows().active(); }
HWND WINAPI GetActiveWindow() { return Windows().active(); }

HWND WINAPI SetActiveWindow(HWND hWnd) {
  HWND old = Windows().active();
  if (Windows().is_window(hWnd)) Windows().activate(hWnd, WA_ACTIVE);
  return old;
}

HWND WINAPI SetFocus(HWND hWnd) {
  if (hWnd && !Windows().is_window(hWnd)) return nullptr;
  return Windows().set_focus(hWnd);
}

HWND WINAPI GetFocus() { return Windows().focus(); }
HWND WINAPI SetCapture(HWND hWnd) { return Windows().set_capture(hWnd); }
BOOL WINAPI ReleaseCapture() {
  Windows().release_capture();
  return TRUE;
}
HWND WINAPI GetCapture() { return Windows().capture(); }

HWND WINAPI GetParent(HWND hWnd) {
  platform::Window* w = Windows().get(hWnd);
  if (!w) return nullptr;
  return w->parent ? w->parent : w->owner;
}

HWND WINAPI GetWindow(HWND hWnd, UINT uCmd) {
  platform::Window* w = Windows().get(hWnd);
  if (!w) return nullptr;
  if (uCmd == GW_OWNER) return w->owner;
  if (uCmd == GW_CHILD) return w->children.empty() ? nullptr : w->children.back();
  std::vector<HWND> siblings = Windows().top_levels();
  if (w->parent) siblings.assign(Windows().get(w->parent)->children.begin(), Windows().get(w->parent)->children.end());
  auto it = std::find(siblings.begin(), siblings.end(), hWnd);
  switch (uCmd) {
    case GW_HWNDFIRST:
      return siblings.back();
    case GW_HWNDLAST:
      return siblings.front();
    case GW_HWNDNEXT:  // the next window below
      return it == siblings.begin() ? nullptr : *(it - 1);
    case GW_HWNDPREV:
      return it + 1 == siblings.end() ? nullptr : *(it + 1);
    default:
      return nullptr;
  }
}

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem) {
  platform::Window* w = Windows().get(hDlg);
  if (!w) return nullptr;
  for (HWND child : w->children)
    if (Windows().get(child)->id == nIDDlgItem) return child;
  return nullptr;
}

int WINAPI GetDlgCtrlID(HWND hWnd) {
  platform::Window* w = Windows().get(hWnd);
  return w ? w->id : 0;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect) {
  if (!lpRect || !Windows().is_window(hWnd)) return FALSE;
  *lpRect = Windows().client_rect(hWnd);
  return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect) {
  if (!lpRect || !Windows().is_window(hWnd)) return FALSE;
  *lpRect = Windows().window_rect_on_screen(hWnd);
  return TRUE;
}

BOOL WINAPI ClientToScreen(HWND hWnd, LPPOINT lpPoint) {
  if (!lpPoint || !Windows().is_window(hWnd)) return FALSE;
  POINT o = Windows().client_origin_on_screen(hWnd);
  lpPoint->x += o.x;
  lpPoint->y += o.y;
  return TRUE;
}

BOOL WINAPI ScreenToClient(HWND hWnd, LPPOINT lpPoint) {
  if (!lpPoint || !Windows().is_window(hWnd)) return FALSE;
  POINT o = Windows().client_origin_on_screen(hWnd);
  lpPoint->x -= o.x;
  lpPoint->y -= o.y;
  return TRUE;
}

BOOL WINAPI MoveWindow(HWND hWnd, int X, int Y, int nWidth, int nHeight, BOOL bRepaint) {
  return Windows().set_position(hWnd, nullptr, X, Y, nWidth, nHeight, SWP_NOZORDER | (bRepaint ? 0 : SWP_NOREDRAW))
             ? TRUE
             : FALSE;
}

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags) {
  return Windows().set_position(hWnd, hWndInsertAfter, X, Y, cx, cy, uFlags) ? TRUE : FALSE;
}

BOOL WINAPI ShowWindow(HWND hWnd, int nCmdShow) { return Windows().show(hWnd, nCmdShow) ? TRUE : FALSE; }

BOOL WINAPI UpdateWindow(HWND hWnd) {
  platform::Window* w = Windows().get(hWnd);
  if (!w) return FALSE;
  if (w->needs_paint && IsWindowVisible(hWnd)) Windows().send(hWnd, WM_PAINT, 0, 0);
  return TRUE;
}

BOOL WINAPI InvalidateRect(HWND hWnd, const RECT* lpRect, BOOL bErase) {
  if (!hWnd) {
    Windows().invalidate_all();
    return TRUE;
  }
  if (!Windows().is_window(hWnd)) return FALSE;
  Windows().invalidate(hWnd, lpRect, bErase != FALSE);
  return TRUE;
}

BOOL WINAPI ValidateRect(HWND hWnd, const RECT*) {
  if (!Windows().is_window(hWnd)) return FALSE;
  Windows().validate(hWnd);
  return TRUE;
}

int WINAPI GetWindowTextW(HWND hWnd, LPWSTR lpString, int nMaxCount) {
  if (!lpString || nMaxCount <= 0) return 0;
  lpString[0] = 0;
  if (!Windows().is_window(hWnd)) return 0;
  return static_cast<int>(
      Windows().send(hWnd, WM_GETTEXT, static_cast<WPARAM>(nMaxCount), reinterpret_cast<LPARAM>(lpString)));
}

int WINAPI GetWindowTextLengthW(HWND hWnd) {
  if (!Windows().is_window(hWnd)) return 0;
  return static_cast<int>(Windows().send(hWnd, WM_GETTEXTLENGTH, 0, 0));
}

BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString) {
  if (!Windows().is_window(hWnd)) return FALSE;
  return Windows().send(hWnd, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(lpString)) ? TRUE : FALSE;
}

int WINAPI GetClassNameW(HWND hWnd, LPWSTR lpClassName, int nMaxCount) {
  platform::Window* w = Windows().get(hWnd);
  int copied = 0;
  if (w) CopyText(w->window_class->name, lpClassName, nMaxCount, &copied);
  return copied;
}

LONG WINAPI GetWindowLongW(HWND hWnd, int nIndex) {
  platform::Window* w = Windows().get(hWnd);
  if (!w) return 0;
  switch (nIndex) {
    case GWL_STYLE:
      return static_cast<LONG>(w->style);
    case GWL_EXSTYLE:
      return static_cast<LONG>(w->ex_style);
    case GWL_ID:
      return w->id;
    case GWL_USERDATA:
      return w->user_data;
    default:
      return 0;
  }
}

LONG WINAPI SetWindowLongW(HWND hWnd, int nIndex, LONG dwNewLong) {
  platform::Window* w = Windows().get(hWnd);
  if (!w) return 0;
  LONG old = GetWindowLongW(hWnd, nIndex);
  switch (nIndex) {
    case GWL_STYLE:
      w->style = static_cast<DWORD>(dwNewLong);
      break;
    case GWL_EXSTYLE:
      w->ex_style = static_cast<DWORD>(dwNewLong);
      break;
    case GWL_ID:
      w->id = dwNewLong;
      break;
    case GWL_USERDATA:
      w->user_data = dwNewLong;
      break;
    default:
      return 0;
  }
  return old;
}

LRESULT WINAPI CallWindowProcW(WNDPROC lpPrevWndFunc, HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return lpPrevWndFunc ? lpPrevWndFunc(hWnd, Msg, wParam, lParam) : 0;
}

LRESULT WINAPI DefWindowProcW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  platform::WindowManager& windows = Windows();
  platform::Window* w = windows.get(hWnd);
  if (!w) return 0;
  switch (Msg) {
    case WM_NCCREATE: {
      auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lParam);
      if (cs && cs->lpszName) w->text = cs->lpszName;
      return TRUE;
    }
    case WM_CLOSE:
      DestroyWindow(hWnd);
      return 0;
    case WM_PAINT: {
      PAINTSTRUCT ps;
      BeginPaint(hWnd, &ps);
      EndPaint(hWnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND: {
      HBRUSH brush = w->window_class->background;
      if (!brush) return 0;
      RECT rc = windows.client_rect(hWnd);
      FillRect(reinterpret_cast<HDC>(wParam), &rc, brush);
      return 1;
    }
    case WM_SETTEXT:
      w->text = TextOrEmpty(reinterpret_cast<LPCWSTR>(lParam));
      windows.invalidate(hWnd, nullptr, true);
      if (!w->parent) windows.invalidate_all();  // the navigation bar shows the title
      return TRUE;
    case WM_GETTEXT: {
      int copied = 0;
      CopyText(w->text, reinterpret_cast<LPWSTR>(lParam), static_cast<int>(wParam), &copied);
      return copied;
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(w->text.size());
    case WM_ACTIVATE:
      if (LOWORD(wParam) != WA_INACTIVE) SetFocus(hWnd);
      return 0;
    case WM_SETFONT:
      w->font = reinterpret_cast<HFONT>(wParam);
      if (LOWORD(lParam)) windows.invalidate(hWnd, nullptr, true);
      return 0;
    case WM_GETFONT:
      return reinterpret_cast<LRESULT>(w->font);
    default:
      return 0;
  }
}
