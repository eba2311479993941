// The month calendar that the date-time picker drops down: which month it
// shows, which day is highlighted, where its parts lie and how it looks.
// It has no window of its own; the picker's drop-down window draws it and
// feeds it taps and keys, so that everything that changes the picker's
// value stays in the picker.
#pragma once

#include <windows.h>

#include <optional>

#include "platform/core/cairo_handles.h"
#include "platform/gdi/text.h"

namespace platform::controls {

// A civil date as a count of days since 1 January 1601 (the file time epoch).
using DayNumber = long long;

DayNumber DayNumberOf(const SYSTEMTIME& st);
DayNumber DayNumberOf(int year, int month, int day);
// Moves `st` to `day`, keeping its time of day; the weekday follows.
void SetDayNumber(SYSTEMTIME& st, DayNumber day);
// Whether the platform's time functions accept the day (years 1601 to 30827).
bool IsRepresentableDay(DayNumber day);

class MonthCalendar {
 public:
  enum class Part { nothing, previous_month, next_month, day, today };
  struct Hit {
    Part part = Part::nothing;
    DayNumber day = 0;  // for Part::day and Part::today
  };

  // Highlights `selected` and shows its month; `today` is outlined in red.
  MonthCalendar(DayNumber selected, DayNumber today, int scale);

  int width() const;
  int height() const;
  int shown_year() const { return year_; }
  int shown_month() const { return month_; }
  DayNumber highlighted() const { return highlighted_; }
  DayNumber today() const { return today_; }
  // The day in the top-left cell of the six-week grid.
  DayNumber first_grid_day() const;

  RECT previous_button() const;
  RECT next_button() const;
  RECT today_footer() const;
  // The cell of `day` when the grid shows it.
  std::optional<RECT> cell_of(DayNumber day) const;
  Hit hit_test(int x, int y) const;

  void show_previous_month();
  void show_next_month();
  // Highlights a day where it stands in the grid (a day of a neighbouring
  // month stays greyed in the month shown).
  void highlight(DayNumber day);
  // Moves the highlight by `days` and shows its month; false at the ends of time.
  bool move_highlight(int days);

  void paint(cairo_t* cr, const FontSpec& font) const;

 private:
  int k_;
  DayNumber highlighted_;
  DayNumber today_;
  int year_ = 0;
  int month_ = 0;

  void show_month_of(DayNumber day);
  int grid_top() const;
  int grid_left() const;
};

}  // namespace platform::controls
