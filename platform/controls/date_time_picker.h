// The date-time picker ("SysDateTimePick32"): a white field that holds a
// full SYSTEMTIME (date and time of day) and shows its date in the locale's
// short date format, with a drop-down button at the right edge. A tap (or
// F4) drops down a month calendar below the field, or above it when the
// screen has no room below; a day picked there changes the date and keeps
// the time of day. Up/Down on the closed field step the date by a day.
//
// Messages: DTM_GETSYSTEMTIME, DTM_SETSYSTEMTIME (GDT_VALID), DTM_GETMONTHCAL,
// WM_GETTEXT, WM_GETTEXTLENGTH.
// Notifications (WM_NOTIFY to the parent): DTN_DROPDOWN, DTN_DATETIMECHANGE
// (only for a change made by the user), DTN_CLOSEUP.
//
// Not supported yet: the DTS_LONGDATEFORMAT, DTS_TIMEFORMAT and DTS_UPDOWN
// looks (every picker shows the short date with a drop-down), DTS_SHOWNONE
// (a picker always holds a date; GDT_NONE is refused), editing single fields
// with Left/Right and typed digits, DTM_SETFORMAT, DTM_SETRANGE and the
// MCM_ messages of the month calendar.
#pragma once

#include <optional>
#include <string>

#include <windows.h>

#include "platform/controls/month_calendar.h"

namespace platform::controls {

void RegisterDateTimePickerClass();

class DateTimePicker {
 public:
  DateTimePicker(HWND self, const CREATESTRUCTW&) : self_(self) { GetLocalTime(&value_); }
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);

  // ---- value
  LRESULT get_system_time(SYSTEMTIME* out) const;
  bool set_system_time(WPARAM flag, const SYSTEMTIME* in);
  std::u16string text() const;

  // ---- the field
  void paint(cairo_t* cr, const FontSpec& font) const;
  void tap();
  void key_down(WPARAM vk);
  void destroying();

  // ---- the drop-down
  HWND drop_down() const { return popup_; }
  const MonthCalendar* calendar() const { return calendar_ ? &*calendar_ : nullptr; }
  void paint_drop_down(cairo_t* cr, const FontSpec& font) const;
  void drop_down_mouse(UINT msg, int x, int y);
  // The drop-down lost the capture or its window: it is closed.
  void drop_down_dismissed() { close_drop_down(Tell::parent); }

 private:
  HWND self_;
  SYSTEMTIME value_{};
  HWND popup_ = nullptr;
  std::optional<MonthCalendar> calendar_;
  bool pressed_in_drop_down_ = false;

  void open_drop_down();
  enum class Tell { parent, nobody };
  void close_drop_down(Tell tell);
  void pick(DayNumber day);
  void step_days(int days);
  void calendar_key(WPARAM vk);
  void notify(UINT code);
  void notify_change();
  // The parent may destroy the picker from a notification; after one, only
  // go on while the picker still stands.
  bool alive() const;
};

}  // namespace platform::controls
