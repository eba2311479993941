// The navigation bar along the top of the screen: the Start flag, the
// title of the active window and the time, in the Pocket PC 2003 look.
#include <cstdio>

#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/paint_window.h"
#include "platform/core/screen.h"
#include "platform/shell/shell_state.h"

namespace platform {

namespace {

constexpr const char16_t* kNavBarClass = u"platform_navbar";

void PaintNavBar(HWND hwnd, cairo_t* cr) {
  Session& s = Session::current();
  RECT rc = s.windows().client_rect(hwnd);
  int k = s.screen().scale();
  FillVerticalGradient(cr, rc.right, rc.bottom, RGB(0x3a, 0x6e, 0xd0), RGB(0x0b, 0x32, 0x8e));

  // The Start flag: four coloured panes.
  int fx = 4 * k, fy = 6 * k, fs = 6 * k;
  FillRectangle(cr, fx, fy, fs, fs, RGB(0xf2, 0x50, 0x22));
  FillRectangle(cr, fx + fs + k, fy, fs, fs, RGB(0x7f, 0xba, 0x00));
  FillRectangle(cr, fx, fy + fs + k, fs, fs, RGB(0x00, 0xa4, 0xef));
  FillRectangle(cr, fx + fs + k, fy + fs + k, fs, fs, RGB(0xff, 0xb9, 0x00));

  FontSpec font;
  font.pixel_size = 12 * k;
  font.bold = true;
  std::u16string title;
  if (Window* active = s.windows().get(s.windows().active())) title = active->text;
  int title_x = fx + 2 * fs + 6 * k;
  TextExtent te = MeasureText(font, title.empty() ? u"X" : title);
  int ty = (rc.bottom - te.height) / 2;

  SYSTEMTIME now = s.clock().local_now();
  char clock[16];
  std::snprintf(clock, sizeof clock, "%d:%02d", now.wHour, now.wMinute);
  std::u16string time_text = FromUtf8(clock);
  FontSpec time_font;
  time_font.pixel_size = 11 * k;
  TextExtent tt = MeasureText(time_font, time_text);
  int time_x = rc.right - tt.width - 6 * k;
  std::u16string shown = EllipsizeToWidth(font, title, time_x - title_x - 4 * k);
  DrawTextLine(cr, font, shown, title_x, ty, RGB(255, 255, 255));
  DrawTextLine(cr, time_font, time_text, time_x, (rc.bottom - tt.height) / 2, RGB(255, 255, 255));
}

LRESULT CALLBACK NavBarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_PAINT) {
    PaintWindow(hwnd, [hwnd](cairo_t* cr, const FontSpec&) { PaintNavBar(hwnd, cr); });
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

}  // namespace

void ShellState::create_nav_bar() {
  const Screen& screen = session_.screen();
  CreateParams p;
  p.class_name = kNavBarClass;
  p.style = WS_VISIBLE | WS_POPUP;
  p.ex_style = WS_EX_TOPMOST;
  p.width = screen.width();
  p.height = screen.nav_bar_height();
  nav_bar_ = session_.windows().create(p);
}

void ShellState::register_classes() { session_.windows().register_system_class(kNavBarClass, NavBarProc); }

void ShellState::tick() {
  SYSTEMTIME now = session_.clock().local_now();
  int minute = now.wHour * 60 + now.wMinute;
  if (minute != shown_minute_) {
    shown_minute_ = minute;
    if (nav_bar_) session_.windows().invalidate(nav_bar_, nullptr, false);
  }
  if (bubble && !notifications.empty()) {
    const Notification& last = notifications.back();
    if (session_.clock().ticks() - last.posted_at >= last.duration_seconds * 1000u) {
      HWND gone = bubble;
      bubble = nullptr;
      session_.windows().destroy(gone);
    }
  }
}

}  // namespace platform
