// The window object behind an HWND, and the registered window class.
// Geometry is kept as the window rectangle in its parent's client
// coordinates (screen coordinates for a top-level window); the client area
// is that rectangle less a one-pixel border when the window has WS_BORDER.
#pragma once

#include <list>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

namespace platform {

// State that a built-in control keeps for its window. Created by the
// control on WM_CREATE (or WM_NCCREATE), gone with the window.
class WindowExtension {
 public:
  virtual ~WindowExtension() = default;
};

struct WindowClass {
  std::u16string name;
  UINT style = 0;
  WNDPROC proc = nullptr;
  HINSTANCE instance = nullptr;
  HICON icon = nullptr;
  HCURSOR cursor = nullptr;
  HBRUSH background = nullptr;
  bool system = false;  // registered by the platform, not by a program
};

struct Window {
  HWND handle = nullptr;
  std::shared_ptr<const WindowClass> window_class;
  WNDPROC proc = nullptr;
  std::u16string text;
  DWORD style = 0;
  DWORD ex_style = 0;
  RECT rect{};          // in the parent's client coordinates, or on the screen
  HWND parent = nullptr;
  HWND owner = nullptr;
  HWND last_active_popup = nullptr;  // of the windows this one owns, the last one active
  // Bottom to top. A list, so that raising one of many children (a layout
  // that places every row) does not move all the others.
  std::list<HWND> children;
  std::list<HWND>::iterator sibling_position;  // in the parent's children
  int id = 0;
  HINSTANCE instance = nullptr;
  LONG user_data = 0;
  HFONT font = nullptr;

  bool destroying = false;     // WM_DESTROY sent; the handle is still valid
  bool needs_paint = false;
  bool needs_erase = false;
  RECT update{};               // client coordinates, valid while needs_paint
  bool size_sent = false;      // WM_SIZE sent at least once

  std::unique_ptr<WindowExtension> extension;

  bool visible() const { return (style & WS_VISIBLE) != 0; }
  bool enabled() const { return (style & WS_DISABLED) == 0; }
  bool has_border() const { return (style & WS_BORDER) != 0; }
  int width() const { return rect.right - rect.left; }
  int height() const { return rect.bottom - rect.top; }
};

}  // namespace platform
