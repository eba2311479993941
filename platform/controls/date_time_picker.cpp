// The date-time picker ("SysDateTimePick32"): a white field that holds a
// full SYSTEMTIME (date and time of day) and shows its date in the locale's
// short date format, with a drop-down button at the right edge. A tap (or
// F4) drops down a month calendar below the field, or above it when the
// screen has no room below; a day picked there changes the date and keeps
// the time of day. Up/Down on the closed field step the date by a day.
//
// Messages: DTM_GETSYSTEMTIME, DTM_SETSYSTEMTIME (GDT_VALID; GDT_NONE with
// DTS_SHOWNONE), DTM_GETMONTHCAL, WM_GETTEXT, WM_GETTEXTLENGTH.
// Notifications (WM_NOTIFY to the parent): DTN_DROPDOWN, DTN_DATETIMECHANGE
// (only for a change made by the user), DTN_CLOSEUP.
//
// Not supported yet: the DTS_LONGDATEFORMAT, DTS_TIMEFORMAT and DTS_UPDOWN
// looks (every picker shows the short date with a drop-down), the check box
// of DTS_SHOWNONE (its state is kept but not drawn), editing single fields
// with Left/Right and typed digits, DTM_SETFORMAT, DTM_SETRANGE and the
// MCM_ messages of the month calendar.
#include <commctrl.h>
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>

#include "platform/controls/control_probes.h"
#include "platform/controls/month_calendar.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/core/screen.h"

namespace platform::controls {

namespace {

constexpr const char16_t* kDropDownClass = u"platform_datetimepick_dropdown";
constexpr WPARAM kF4 = VK_F1 + 3;
constexpr ULONGLONG kTicksPerDay = 24ULL * 60 * 60 * 10'000'000;

class DateTimePickerState : public WindowExtension {
 public:
  DateTimePickerState(HWND self, DWORD style) : self_(self), style_(style) { GetLocalTime(&value_); }

  // ---- value
  LRESULT get_system_time(SYSTEMTIME* out) const;
  bool set_system_time(WPARAM flag, const SYSTEMTIME* in);
  std::u16string text() const;

  // ---- the field
  void paint(cairo_t* cr, const FontSpec& font) const;
  void tap();
  void key_down(WPARAM vk);
  void focus_lost() { close_drop_down(true); }
  void destroying();

  // ---- the drop-down
  HWND drop_down() const { return popup_; }
  const MonthCalendar* calendar() const { return calendar_ ? &*calendar_ : nullptr; }
  void paint_drop_down(cairo_t* cr, const FontSpec& font) const;
  void drop_down_mouse(UINT msg, int x, int y);
  // The drop-down lost the capture or its window: it is closed.
  void drop_down_dismissed() { close_drop_down(true); }

 private:
  HWND self_;
  DWORD style_;
  SYSTEMTIME value_{};
  bool has_value_ = true;  // false only after GDT_NONE with DTS_SHOWNONE
  HWND popup_ = nullptr;
  std::optional<MonthCalendar> calendar_;
  bool pressed_in_drop_down_ = false;

  void open_drop_down();
  void close_drop_down(bool notify);
  void pick(DayNumber day);
  void step_days(int days);
  void calendar_key(WPARAM vk);
  void notify(UINT code);
  void notify_change();
  // The parent may destroy the picker from a notification; after one, only
  // go on while the picker and this state still stand.
  bool still_alive(HWND self) const;
};

DateTimePickerState* PickerOf(HWND hwnd) {
  Window* w = Session::current().windows().get(hwnd);
  return w ? dynamic_cast<DateTimePickerState*>(w->extension.get()) : nullptr;
}

// The drop-down window keeps only its picker: the calendar lives in the
// picker's state, so a pick may close (destroy) the drop-down safely.
class DropDownView : public WindowExtension {
 public:
  explicit DropDownView(HWND picker) : picker(picker) {}
  HWND picker;
};

// The picker whose open drop-down `popup` is, if any.
DateTimePickerState* PickerOfDropDown(HWND popup) {
  Window* w = Session::current().windows().get(popup);
  auto* view = w ? dynamic_cast<DropDownView*>(w->extension.get()) : nullptr;
  DateTimePickerState* picker = view ? PickerOf(view->picker) : nullptr;
  return picker && picker->drop_down() == popup ? picker : nullptr;
}

bool DateTimePickerState::still_alive(HWND self) const { return PickerOf(self) == this; }

void DateTimePickerState::notify(UINT code) {
  NMHDR nm{self_, static_cast<UINT>(GetDlgCtrlID(self_)), code};
  SendMessageW(GetParent(self_), WM_NOTIFY, nm.idFrom, reinterpret_cast<LPARAM>(&nm));
}

void DateTimePickerState::notify_change() {
  NMDATETIMECHANGE nm{};
  nm.nmhdr = {self_, static_cast<UINT>(GetDlgCtrlID(self_)), static_cast<UINT>(DTN_DATETIMECHANGE)};
  nm.dwFlags = has_value_ ? GDT_VALID : GDT_NONE;
  nm.st = value_;
  SendMessageW(GetParent(self_), WM_NOTIFY, nm.nmhdr.idFrom, reinterpret_cast<LPARAM>(&nm));
}

LRESULT DateTimePickerState::get_system_time(SYSTEMTIME* out) const {
  if (!out) return GDT_ERROR;
  if (!has_value_) return GDT_NONE;
  *out = value_;
  return GDT_VALID;
}

bool DateTimePickerState::set_system_time(WPARAM flag, const SYSTEMTIME* in) {
  if (flag == GDT_NONE) {
    if (!(style_ & DTS_SHOWNONE)) return false;
    has_value_ = false;
  } else if (flag == GDT_VALID) {
    FILETIME ft;
    SYSTEMTIME normal;
    if (!in || !SystemTimeToFileTime(in, &ft) || !FileTimeToSystemTime(&ft, &normal)) return false;
    value_ = normal;  // the round trip recomputes the weekday
    has_value_ = true;
  } else {
    return false;
  }
  if (calendar_) {
    *calendar_ = MonthCalendar(DayNumberOf(value_), calendar_->today(), Session::current().screen().scale());
    InvalidateRect(popup_, nullptr, FALSE);
  }
  InvalidateRect(self_, nullptr, TRUE);
  return true;
}

std::u16string DateTimePickerState::text() const {
  WCHAR buffer[64] = {};
  int n = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &value_, nullptr, buffer, 64);
  return n > 0 ? std::u16string(buffer) : std::u16string();
}

void DateTimePickerState::paint(cairo_t* cr, const FontSpec& font) const {
  Session& s = Session::current();
  const int k = s.screen().scale();
  RECT rc = s.windows().client_rect(self_);
  Window* w = s.windows().get(self_);
  bool enabled = w && w->enabled();
  FillRectangle(cr, 0, 0, rc.right, rc.bottom, GetSysColor(COLOR_WINDOW));

  // The drop-down button: a button face square at the right edge.
  int side = std::min<int>(rc.bottom, rc.right);
  RECT button{rc.right - side, 0, rc.right, rc.bottom};
  FillRectangle(cr, button.left, 0, side, rc.bottom, GetSysColor(COLOR_BTNFACE));
  FillRectangle(cr, button.left, 0, 1, rc.bottom, GetSysColor(COLOR_BTNSHADOW));
  double cx = button.left + side / 2.0, cy = rc.bottom / 2.0;
  double half_width = 3.5 * k, depth = 4.0 * k;
  SetSourceColor(cr, enabled ? GetSysColor(COLOR_BTNTEXT) : GetSysColor(COLOR_GRAYTEXT));
  cairo_move_to(cr, cx - half_width, cy - depth / 2);
  cairo_line_to(cr, cx + half_width, cy - depth / 2);
  cairo_line_to(cr, cx, cy + depth / 2);
  cairo_close_path(cr);
  cairo_fill(cr);

  int left = 3 * k;
  int room = button.left - left - k;
  if (room <= 0) return;
  std::u16string shown = text();
  TextExtent e = MeasureText(font, shown);
  if (e.width > room) shown = EllipsizeToWidth(font, shown, room);
  COLORREF color = enabled && has_value_ ? GetSysColor(COLOR_WINDOWTEXT) : GetSysColor(COLOR_GRAYTEXT);
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, button.left, rc.bottom);
  cairo_clip(cr);
  DrawTextLine(cr, font, shown, left, (rc.bottom - e.height) / 2, color);
  cairo_restore(cr);
}

void DateTimePickerState::tap() {
  HWND self = self_;
  SetFocus(self);
  if (!still_alive(self)) return;
  if (popup_)
    close_drop_down(true);
  else
    open_drop_down();
}

void DateTimePickerState::key_down(WPARAM vk) {
  if (popup_) {
    calendar_key(vk);
    return;
  }
  if (vk == VK_UP) step_days(1);
  if (vk == VK_DOWN) step_days(-1);
  if (vk == kF4) open_drop_down();
}

void DateTimePickerState::step_days(int days) {
  if (!has_value_) return;
  FILETIME ft;
  if (!SystemTimeToFileTime(&value_, &ft)) return;
  ULONGLONG ticks = (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
  if (days < 0 && ticks < kTicksPerDay * static_cast<ULONGLONG>(-days)) return;
  ticks += static_cast<ULONGLONG>(static_cast<LONGLONG>(days)) * kTicksPerDay;
  ft.dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  SYSTEMTIME next;
  if (!FileTimeToSystemTime(&ft, &next)) return;
  value_ = next;
  InvalidateRect(self_, nullptr, TRUE);
  notify_change();
}

void DateTimePickerState::calendar_key(WPARAM vk) {
  switch (vk) {
    case VK_LEFT:
      calendar_->move_highlight(-1);
      break;
    case VK_RIGHT:
      calendar_->move_highlight(1);
      break;
    case VK_UP:
      calendar_->move_highlight(-7);
      break;
    case VK_DOWN:
      calendar_->move_highlight(7);
      break;
    case VK_RETURN:
      pick(calendar_->highlighted());
      return;
    case VK_ESCAPE:
    case kF4:
      close_drop_down(true);
      return;
    default:
      return;
  }
  InvalidateRect(popup_, nullptr, FALSE);
}

void DateTimePickerState::open_drop_down() {
  if (popup_) return;
  Session& s = Session::current();
  HWND self = self_;
  SYSTEMTIME now;
  GetLocalTime(&now);
  MonthCalendar calendar(has_value_ ? DayNumberOf(value_) : DayNumberOf(now), DayNumberOf(now), s.screen().scale());

  // Below the field, or above it when the screen has no room below; always
  // inside the screen horizontally.
  RECT field = s.windows().window_rect_on_screen(self);
  int w = calendar.width(), h = calendar.height();
  int x = std::clamp<int>(field.left, 0, std::max(0, s.screen().width() - w));
  int y = field.bottom;
  if (y + h > s.screen().height() && field.top - h >= 0) y = field.top - h;

  HWND popup = CreateWindowExW(WS_EX_TOPMOST, kDropDownClass, u"", WS_POPUP, x, y, w, h, nullptr, nullptr, nullptr,
                               reinterpret_cast<LPVOID>(self));
  if (!popup || !still_alive(self)) return;
  s.windows().get(popup)->owner = self;
  popup_ = popup;
  calendar_ = calendar;
  pressed_in_drop_down_ = false;

  // The parent may adjust the calendar (DTM_GETMONTHCAL) before it shows.
  notify(DTN_DROPDOWN);
  if (!still_alive(self) || popup_ != popup) return;
  ShowWindow(popup, SW_SHOWNA);
  SetCapture(popup);
}

void DateTimePickerState::close_drop_down(bool notify_parent) {
  if (!popup_) return;
  HWND popup = popup_;
  popup_ = nullptr;  // from here on the drop-down's messages find no picker
  calendar_.reset();
  pressed_in_drop_down_ = false;
  if (GetCapture() == popup) ReleaseCapture();
  DestroyWindow(popup);
  InvalidateRect(self_, nullptr, FALSE);
  if (notify_parent) notify(DTN_CLOSEUP);
}

void DateTimePickerState::pick(DayNumber day) {
  HWND self = self_;
  bool changed = !has_value_ || DayNumberOf(value_) != day;
  if (changed) {
    SetDayNumber(value_, day);
    has_value_ = true;
    InvalidateRect(self, nullptr, TRUE);
    notify_change();
    if (!still_alive(self)) return;
  }
  close_drop_down(true);
}

void DateTimePickerState::destroying() {
  // Tell the parent only while it still stands: while a dialog is being torn
  // down its children go after it, and it must not hear from them then.
  Window* parent = Session::current().windows().get(GetParent(self_));
  close_drop_down(parent && !parent->destroying);
}

void DateTimePickerState::paint_drop_down(cairo_t* cr, const FontSpec& font) const {
  if (calendar_) calendar_->paint(cr, font);
}

void DateTimePickerState::drop_down_mouse(UINT msg, int x, int y) {
  if (!calendar_) return;
  bool inside = x >= 0 && y >= 0 && x < calendar_->width() && y < calendar_->height();
  if (msg == WM_LBUTTONDOWN && !inside) {
    // A tap outside closes the calendar and goes no further, also when it
    // lands on the field itself: the field does not open again.
    close_drop_down(true);
    return;
  }
  MonthCalendar::Hit hit = inside ? calendar_->hit_test(x, y) : MonthCalendar::Hit{};
  switch (msg) {
    case WM_LBUTTONDOWN:
      pressed_in_drop_down_ = hit.part == MonthCalendar::Part::day || hit.part == MonthCalendar::Part::today;
      if (hit.part == MonthCalendar::Part::previous_month) calendar_->show_previous_month();
      if (hit.part == MonthCalendar::Part::next_month) calendar_->show_next_month();
      if (hit.part == MonthCalendar::Part::day) calendar_->highlight(hit.day);
      InvalidateRect(popup_, nullptr, FALSE);
      break;
    case WM_MOUSEMOVE:
      if (pressed_in_drop_down_ && hit.part == MonthCalendar::Part::day && hit.day != calendar_->highlighted()) {
        calendar_->highlight(hit.day);
        InvalidateRect(popup_, nullptr, FALSE);
      }
      break;
    case WM_LBUTTONUP: {
      bool was_pressed = pressed_in_drop_down_;
      pressed_in_drop_down_ = false;
      if (was_pressed && (hit.part == MonthCalendar::Part::day || hit.part == MonthCalendar::Part::today))
        pick(hit.day);
      break;
    }
    default:
      break;
  }
}

// ---------------------------------------------------------------- window procedures

FontSpec FontOf(HDC hdc) {
  Session& s = Session::current();
  DeviceContext* dc = platform::GdiObjects::of(s).dc(hdc);
  return platform::GdiObjects::of(s).font_spec(dc && dc->font ? dc->font : platform::GdiObjects::of(s).system_font());
}

LRESULT CALLBACK PickerProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    Session::current().windows().get(hwnd)->extension =
        std::make_unique<DateTimePickerState>(hwnd, static_cast<DWORD>(cs->style));
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  DateTimePickerState* st = PickerOf(hwnd);
  if (!st) return DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hwnd, &ps);
      if (DeviceContext* dc = platform::GdiObjects::of(Session::current()).dc(hdc)) st->paint(dc->cr.get(), FontOf(hdc));
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // WM_PAINT fills everything
    case WM_LBUTTONDOWN:
      st->tap();
      return 0;
    case WM_KEYDOWN:
      st->key_down(wp);
      return 0;
    case WM_KILLFOCUS:
      st->focus_lost();
      return 0;
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_DESTROY:
      st->destroying();
      return 0;
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(st->text().size());
    case WM_GETTEXT: {
      auto* out = reinterpret_cast<LPWSTR>(lp);
      if (!out || wp == 0) return 0;
      std::u16string text = st->text().substr(0, wp - 1);
      std::copy(text.begin(), text.end(), out);
      out[text.size()] = 0;
      return static_cast<LRESULT>(text.size());
    }
    case DTM_GETSYSTEMTIME:
      return st->get_system_time(reinterpret_cast<SYSTEMTIME*>(lp));
    case DTM_SETSYSTEMTIME:
      return st->set_system_time(wp, reinterpret_cast<const SYSTEMTIME*>(lp)) ? TRUE : FALSE;
    case DTM_GETMONTHCAL:
      return reinterpret_cast<LRESULT>(st->drop_down());
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT CALLBACK DropDownProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<CREATESTRUCTW*>(lp);
    Session::current().windows().get(hwnd)->extension =
        std::make_unique<DropDownView>(static_cast<HWND>(cs->lpCreateParams));
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  DateTimePickerState* picker = PickerOfDropDown(hwnd);
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hwnd, &ps);
      DeviceContext* dc = platform::GdiObjects::of(Session::current()).dc(hdc);
      if (picker && dc) picker->paint_drop_down(dc->cr.get(), FontOf(hdc));
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
      if (picker) picker->drop_down_mouse(msg, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_CAPTURECHANGED:
      if (picker && reinterpret_cast<HWND>(lp) != hwnd) picker->drop_down_dismissed();
      return 0;
    case WM_DESTROY:
      if (picker) picker->drop_down_dismissed();
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// The open drop-down's calendar and where its client area lies on the screen.
struct OpenCalendar {
  const MonthCalendar* calendar;
  POINT origin;
};

std::optional<OpenCalendar> OpenCalendarOf(HWND picker) {
  DateTimePickerState* st = PickerOf(picker);
  if (!st || !st->calendar()) return std::nullopt;
  return OpenCalendar{st->calendar(), Session::current().windows().client_origin_on_screen(st->drop_down())};
}

RECT OnScreen(RECT r, POINT origin) {
  return {r.left + origin.x, r.top + origin.y, r.right + origin.x, r.bottom + origin.y};
}

}  // namespace

void RegisterDateTimePickerClass() {
  WNDCLASSW picker{};
  picker.lpfnWndProc = PickerProc;
  picker.lpszClassName = DATETIMEPICK_CLASSW;
  Session::current().windows().register_class(picker, /*system=*/true);

  WNDCLASSW drop_down{};
  drop_down.lpfnWndProc = DropDownProc;
  drop_down.lpszClassName = kDropDownClass;
  Session::current().windows().register_class(drop_down, /*system=*/true);
}

bool DatePickerIsDroppedDown(HWND picker) { return OpenCalendarOf(picker).has_value(); }

std::optional<std::pair<int, int>> DatePickerShownMonth(HWND picker) {
  auto open = OpenCalendarOf(picker);
  if (!open) return std::nullopt;
  return std::pair{open->calendar->shown_year(), open->calendar->shown_month()};
}

std::optional<RECT> DatePickerPrevMonthOnScreen(HWND picker) {
  auto open = OpenCalendarOf(picker);
  if (!open) return std::nullopt;
  return OnScreen(open->calendar->previous_button(), open->origin);
}

std::optional<RECT> DatePickerNextMonthOnScreen(HWND picker) {
  auto open = OpenCalendarOf(picker);
  if (!open) return std::nullopt;
  return OnScreen(open->calendar->next_button(), open->origin);
}

std::optional<RECT> DatePickerDayOnScreen(HWND picker, int day) {
  auto open = OpenCalendarOf(picker);
  if (!open) return std::nullopt;
  const MonthCalendar& c = *open->calendar;
  int y = c.shown_year(), m = c.shown_month();
  if (day < 1 || day > 31) return std::nullopt;
  DayNumber wanted = DayNumberOf(y, m, day);
  SYSTEMTIME check{};
  SetDayNumber(check, wanted);
  if (check.wMonth != m) return std::nullopt;  // no such day in this month
  auto cell = c.cell_of(wanted);
  if (!cell) return std::nullopt;
  return OnScreen(*cell, open->origin);
}

}  // namespace platform::controls
