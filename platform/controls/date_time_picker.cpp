// The date-time picker: see date_time_picker.h for what it supports.
//
// Sections: notifications, value, the field, the drop-down, window
// procedures, probes.
#include "platform/controls/date_time_picker.h"

#include <commctrl.h>
#include <windows.h>

#include <algorithm>
#include <optional>
#include <string>

#include "platform/controls/control_class.h"
#include "platform/controls/control_probes.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/core/screen.h"

namespace platform::controls {

namespace {

constexpr const char16_t* kDropDownClass = u"platform_datetimepick_dropdown";
constexpr WPARAM kF4 = VK_F1 + 3;
constexpr ULONGLONG kTicksPerDay = 24ULL * 60 * 60 * 10'000'000;


// The picker whose open drop-down `popup` is (its owner), held for the call.
// The calendar lives in the picker's state, so a pick may close (destroy)
// the drop-down safely.
std::shared_ptr<DateTimePicker> PickerOfDropDown(HWND popup) {
  Window* w = Session::current().windows().get(popup);
  std::shared_ptr<DateTimePicker> picker = w ? ControlClass<DateTimePicker>::keep(w->owner) : nullptr;
  return picker && picker->drop_down() == popup ? picker : nullptr;
}

}  // namespace

bool DateTimePicker::alive() const { return ControlClass<DateTimePicker>::of(self_) == this; }

void DateTimePicker::notify(UINT code) {
  NMHDR nm{self_, static_cast<UINT>(GetDlgCtrlID(self_)), code};
  SendMessageW(GetParent(self_), WM_NOTIFY, nm.idFrom, reinterpret_cast<LPARAM>(&nm));
}

void DateTimePicker::notify_change() {
  NMDATETIMECHANGE nm{};
  nm.nmhdr = {self_, static_cast<UINT>(GetDlgCtrlID(self_)), static_cast<UINT>(DTN_DATETIMECHANGE)};
  nm.dwFlags = GDT_VALID;
  nm.st = value_;
  SendMessageW(GetParent(self_), WM_NOTIFY, nm.nmhdr.idFrom, reinterpret_cast<LPARAM>(&nm));
}

LRESULT DateTimePicker::get_system_time(SYSTEMTIME* out) const {
  if (!out) return GDT_ERROR;
  *out = value_;
  return GDT_VALID;
}

bool DateTimePicker::set_system_time(WPARAM flag, const SYSTEMTIME* in) {
  FILETIME ft;
  SYSTEMTIME normal;
  if (flag != GDT_VALID || !in || !SystemTimeToFileTime(in, &ft) || !FileTimeToSystemTime(&ft, &normal)) return false;
  value_ = normal;  // the round trip recomputes the weekday
  if (calendar_) {
    *calendar_ = MonthCalendar(DayNumberOf(value_), calendar_->today(), Session::current().screen().scale());
    InvalidateRect(popup_, nullptr, FALSE);
  }
  InvalidateRect(self_, nullptr, TRUE);
  return true;
}

std::u16string DateTimePicker::text() const {
  WCHAR buffer[64] = {};
  int n = GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &value_, nullptr, buffer, 64);
  return n > 0 ? std::u16string(buffer) : std::u16string();
}

void DateTimePicker::paint(cairo_t* cr, const FontSpec& font) const {
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
  COLORREF color = enabled ? GetSysColor(COLOR_WINDOWTEXT) : GetSysColor(COLOR_GRAYTEXT);
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, button.left, rc.bottom);
  cairo_clip(cr);
  DrawTextLine(cr, font, shown, left, (rc.bottom - e.height) / 2, color);
  cairo_restore(cr);
}

void DateTimePicker::tap() {
  SetFocus(self_);
  if (!alive()) return;
  if (popup_)
    close_drop_down(Tell::parent);
  else
    open_drop_down();
}

void DateTimePicker::key_down(WPARAM vk) {
  if (popup_) {
    calendar_key(vk);
    return;
  }
  if (vk == VK_UP) step_days(1);
  if (vk == VK_DOWN) step_days(-1);
  if (vk == kF4) open_drop_down();
}

void DateTimePicker::step_days(int days) {
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

void DateTimePicker::calendar_key(WPARAM vk) {
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
      close_drop_down(Tell::parent);
      return;
    default:
      return;
  }
  InvalidateRect(popup_, nullptr, FALSE);
}

void DateTimePicker::open_drop_down() {
  if (popup_) return;
  Session& s = Session::current();
  SYSTEMTIME now;
  GetLocalTime(&now);
  MonthCalendar calendar(DayNumberOf(value_), DayNumberOf(now), s.screen().scale());

  // Below the field, or above it when the screen has no room below; always
  // inside the screen horizontally.
  RECT field = s.windows().window_rect_on_screen(self_);
  int w = calendar.width(), h = calendar.height();
  int x = std::clamp<int>(field.left, 0, std::max(0, s.screen().width() - w));
  int y = field.bottom;
  if (y + h > s.screen().height() && field.top - h >= 0) y = field.top - h;

  HWND popup = CreateWindowExW(WS_EX_TOPMOST, kDropDownClass, u"", WS_POPUP, x, y, w, h, nullptr, nullptr, nullptr,
                               reinterpret_cast<LPVOID>(self_));
  if (!popup || !alive()) return;
  s.windows().get(popup)->owner = self_;
  popup_ = popup;
  calendar_ = calendar;
  pressed_in_drop_down_ = false;

  // The parent may adjust the calendar (DTM_GETMONTHCAL) before it shows.
  notify(DTN_DROPDOWN);
  if (!alive() || popup_ != popup) return;
  ShowWindow(popup, SW_SHOWNA);
  SetCapture(popup);
}

void DateTimePicker::close_drop_down(Tell tell) {
  if (!popup_) return;
  HWND popup = popup_;
  popup_ = nullptr;  // from here on the drop-down's messages find no picker
  calendar_.reset();
  pressed_in_drop_down_ = false;
  if (GetCapture() == popup) ReleaseCapture();
  DestroyWindow(popup);
  InvalidateRect(self_, nullptr, FALSE);
  if (tell == Tell::parent) notify(DTN_CLOSEUP);
}

void DateTimePicker::pick(DayNumber day) {
  if (DayNumberOf(value_) != day) {
    SetDayNumber(value_, day);
    InvalidateRect(self_, nullptr, TRUE);
    notify_change();
    if (!alive()) return;
  }
  close_drop_down(Tell::parent);
}

void DateTimePicker::destroying() {
  // Tell the parent only while it still stands: while a dialog is being torn
  // down its children go after it, and it must not hear from them then.
  Window* parent = Session::current().windows().get(GetParent(self_));
  close_drop_down(parent && !parent->destroying ? Tell::parent : Tell::nobody);
}

void DateTimePicker::paint_drop_down(cairo_t* cr, const FontSpec& font) const {
  if (calendar_) calendar_->paint(cr, font);
}

void DateTimePicker::drop_down_mouse(UINT msg, int x, int y) {
  if (!calendar_) return;
  bool inside = x >= 0 && y >= 0 && x < calendar_->width() && y < calendar_->height();
  if (msg == WM_LBUTTONDOWN && !inside) {
    // A tap outside closes the calendar and goes no further, also when it
    // lands on the field itself: the field does not open again.
    close_drop_down(Tell::parent);
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

LRESULT DateTimePicker::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_LBUTTONDOWN:
      tap();
      return 0;
    case WM_KEYDOWN:
      key_down(wp);
      return 0;
    case WM_KILLFOCUS:
      close_drop_down(Tell::parent);
      return 0;
    case WM_ENABLE:
      InvalidateRect(self_, nullptr, FALSE);
      return 0;
    case WM_DESTROY:
      destroying();
      return 0;
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(text().size());
    case WM_GETTEXT: {
      auto* out = reinterpret_cast<LPWSTR>(lp);
      if (!out || wp == 0) return 0;
      std::u16string shown = text().substr(0, wp - 1);
      std::copy(shown.begin(), shown.end(), out);
      out[shown.size()] = 0;
      return static_cast<LRESULT>(shown.size());
    }
    case DTM_GETSYSTEMTIME:
      return get_system_time(reinterpret_cast<SYSTEMTIME*>(lp));
    case DTM_SETSYSTEMTIME:
      return set_system_time(wp, reinterpret_cast<const SYSTEMTIME*>(lp)) ? TRUE : FALSE;
    case DTM_GETMONTHCAL:
      return reinterpret_cast<LRESULT>(drop_down());
    default:
      return DefWindowProcW(self_, msg, wp, lp);
  }
}

namespace {

// The drop-down's window: everything it shows and does is its picker's.
LRESULT CALLBACK DropDownProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  std::shared_ptr<DateTimePicker> picker = PickerOfDropDown(hwnd);
  switch (msg) {
    case WM_PAINT:
      PaintWindow(hwnd, [&](cairo_t* cr, const FontSpec& font) {
        if (picker) picker->paint_drop_down(cr, font);
      });
      return 0;
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
  DateTimePicker* st = ControlClass<DateTimePicker>::of(picker);
  if (!st || !st->calendar()) return std::nullopt;
  return OpenCalendar{st->calendar(), Session::current().windows().client_origin_on_screen(st->drop_down())};
}

RECT OnScreen(RECT r, POINT origin) {
  return {r.left + origin.x, r.top + origin.y, r.right + origin.x, r.bottom + origin.y};
}

}  // namespace

void RegisterDateTimePickerClass() {
  ControlClass<DateTimePicker>::register_class(DATETIMEPICK_CLASSW);
  Session::current().windows().register_system_class(kDropDownClass, DropDownProc);
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
