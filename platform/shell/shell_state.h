// What the shell keeps per session: its own windows (navigation bar,
// notification bubble, open pop-up menu), the notifications posted so far,
// and which optional parts programs have initialised.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

#include "platform/core/session.h"

namespace platform {

enum class ShellFault {
  create_menu_bar,  // SHCreateMenuBar returns FALSE
};

struct Notification {
  std::u16string title;
  std::u16string html;
  std::u16string plain;  // the body as text: tags dropped, <br/> as a blank
  DWORD id = 0;
  DWORD duration_seconds = 0;
  DWORD posted_at = 0;   // clock ticks
  HICON icon = nullptr;
};

// An item of the pop-up menu that is open now, where a tap would reach it.
struct OpenMenuItem {
  std::u16string text;
  UINT command = 0;
  RECT screen_rect{};
  bool enabled = true;
};

class ShellState : public Service {
 public:
  explicit ShellState(Session& session);
  static ShellState& of(Session& session) { return session.service<ShellState>(); }

  void register_classes();
  HWND nav_bar() const { return nav_bar_; }
  void create_nav_bar();
  // Redraws what depends on the clock (the navigation bar's time) and takes
  // down notification bubbles whose time is up.
  void tick();

  std::vector<Notification> notifications;
  HWND bubble = nullptr;
  std::vector<OpenMenuItem> open_menu;  // empty while no pop-up menu is open
  HWND open_menu_window = nullptr;

  bool extra_controls = false;

 private:
  Session& session_;
  HWND nav_bar_ = nullptr;
  int shown_minute_ = -1;
};

// Installs the shell floor: its window classes, the navigation bar and
// the state above.
void InstallShell(Session& session);

// The plain text of a notification's HTML body.
std::u16string PlainTextOfHtml(std::u16string_view html);

}  // namespace platform
