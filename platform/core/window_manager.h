// The window manager: classes, the window tree, z-order, geometry, showing,
// activation, keyboard focus, mouse capture, hit testing and the bookkeeping
// of what needs painting. The Win32 window functions are thin wrappers over
// these operations.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/core/handle_table.h"
#include "platform/core/window.h"

namespace platform {

class Session;

struct CreateParams {
  DWORD ex_style = 0;
  std::u16string class_name;
  std::u16string text;
  DWORD style = 0;
  int x = 0, y = 0, width = 0, height = 0;
  HWND parent = nullptr;
  HMENU menu = nullptr;  // a child's id
  HINSTANCE instance = nullptr;
  LPVOID param = nullptr;
};

class WindowManager {
 public:
  explicit WindowManager(Session& session);
  ~WindowManager();

  // ---- classes
  ATOM register_class(const WNDCLASSW& wc, bool system);
  // A class of the platform's own windows (a control, the shell's bars),
  // registered once per session and never unregistered by programs.
  ATOM register_system_class(LPCWSTR name, WNDPROC proc) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = proc;
    wc.lpszClassName = name;
    return register_class(wc, true);
  }
  bool unregister_class(const std::u16string& name);
  std::shared_ptr<const WindowClass> find_class(const std::u16string& name) const;

  // ---- lifetime
  HWND create(const CreateParams& params);
  bool destroy(HWND hwnd);
  Window* get(HWND hwnd) const;
  bool is_window(HWND hwnd) const { return get(hwnd) != nullptr; }

  // ---- messages sent directly to a window procedure
  LRESULT send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  int send_depth() const { return send_depth_; }

  // ---- geometry
  RECT client_rect(HWND hwnd) const;           // left/top 0
  RECT window_rect_on_screen(HWND hwnd) const;
  RECT client_rect_on_screen(HWND hwnd) const;
  POINT client_origin_on_screen(HWND hwnd) const;
  bool set_position(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags);
  bool show(HWND hwnd, int cmd);
  RECT work_area() const;                      // the screen below the navigation bar

  // ---- activation, focus, capture
  HWND active() const { return active_; }
  void activate(HWND hwnd, WORD how);
  HWND focus() const { return focus_; }
  HWND set_focus(HWND hwnd);
  HWND capture() const { return capture_; }
  HWND set_capture(HWND hwnd);
  void release_capture();
  HWND top_level_of(HWND hwnd) const;
  // GetLastActivePopup: of the windows `owner` owns (directly or through
  // others), the one active last, if it is still shown and enabled; else `owner`.
  HWND last_active_popup(HWND owner) const;

  // ---- search
  HWND hit_test(POINT screen) const;
  HWND find_top_level(const std::u16string* class_name, const std::u16string* title) const;
  std::vector<HWND> top_levels() const { return top_levels_; }  // bottom to top
  std::vector<HWND> program_top_levels() const;                // not the platform's own chrome
  std::vector<HWND> paint_order() const;

  // ---- painting bookkeeping
  void invalidate(HWND hwnd, const RECT* rect, bool erase);
  void invalidate_all();
  void validate(HWND hwnd);
  HWND next_to_paint();
  // After `hwnd` painted: everything drawn later that overlaps it must paint again.
  void after_paint(HWND hwnd);
  bool screen_dirty() const;

 private:
  void send_destroy(HWND hwnd);
  void free_window(HWND hwnd);
  void unlink(Window& w);
  void collect_paint_order(HWND hwnd, std::vector<HWND>& out) const;
  bool visible_on_screen(HWND hwnd) const;
  // Wholly outside the screen, so a paint would draw nothing.
  bool off_screen(HWND hwnd) const;
  void raise(Window& w, HWND insert_after);
  void send_size_and_move(HWND hwnd, bool moved, bool sized);
  HWND hit_test_in(HWND hwnd, POINT screen) const;
  void pick_new_active(HWND leaving);

  Session& session_;
  HandleTable<Window> table_{HandleKind::window};
  std::map<std::u16string, std::shared_ptr<WindowClass>> classes_;
  ATOM next_atom_ = 0xC000;
  std::vector<HWND> top_levels_;  // bottom to top
  HWND active_ = nullptr;
  HWND focus_ = nullptr;
  HWND capture_ = nullptr;
  int send_depth_ = 0;
  bool desktop_dirty_ = true;
};

// Case-insensitive class-name key, as class names are on the platform.
std::u16string ClassKey(std::u16string_view name);

}  // namespace platform
