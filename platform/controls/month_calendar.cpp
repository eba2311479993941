// The drop-down month calendar of the date-time picker: a title with the
// month and year between previous/next buttons, the weekday initials
// (Sunday first), six weeks of day numbers with the neighbouring months'
// days greyed, the highlighted day in the system highlight, today outlined
// in red, and a "Today:" footer. Sizes are those of a 240x320 screen times
// the screen's scale. One month at a time; no week numbers, no day states,
// no date range limits, no first-day-of-week setting.
#include "platform/controls/month_calendar.h"

#include <algorithm>
#include <string>

#include "platform/core/clock.h"
#include "platform/gdi/gdi_objects.h"

namespace platform::controls {

namespace {

// Geometry at scale 1; everything is multiplied by the screen's scale.
constexpr int kFrame = 1;  // the black frame stays one pixel, as other pop-ups'
constexpr int kMargin = 5;
constexpr int kCellWidth = 20;
constexpr int kCellHeight = 15;
constexpr int kTitleHeight = 20;
constexpr int kWeekdayHeight = 14;
constexpr int kRuleHeight = 1;
constexpr int kFooterHeight = 18;
constexpr int kButtonSize = 16;
constexpr int kWeeks = 6;

constexpr COLORREF kTodayRed = RGB(0xE0, 0x00, 0x00);

int WeekdayOf(DayNumber day) { return static_cast<int>(((day + 1) % 7 + 7) % 7); }  // 1601-01-01 was a Monday

SYSTEMTIME DateOf(DayNumber day) {
  SYSTEMTIME st{};
  SetDayNumber(st, day);
  return st;
}

std::u16string FormatDate(DayNumber day, const char16_t* picture) {
  SYSTEMTIME st = DateOf(day);
  WCHAR buffer[64] = {};
  int n = picture ? GetDateFormatW(LOCALE_USER_DEFAULT, 0, &st, picture, buffer, 64)
                  : GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, buffer, 64);
  return n > 0 ? std::u16string(buffer) : std::u16string();
}

void DrawCentered(cairo_t* cr, const FontSpec& font, std::u16string_view text, const RECT& r, COLORREF color) {
  TextExtent e = MeasureText(font, text);
  DrawTextLine(cr, font, text, r.left + (r.right - r.left - e.width) / 2, r.top + (r.bottom - r.top - e.height) / 2,
               color);
}

void FrameThick(cairo_t* cr, const RECT& r, int thickness, COLORREF color) {
  for (int i = 0; i < thickness; ++i)
    FrameRectangle(cr, r.left + i, r.top + i, r.right - r.left - 2 * i, r.bottom - r.top - 2 * i, color);
}

// A button face square with a black triangle pointing left or right.
void DrawArrowButton(cairo_t* cr, const RECT& r, bool left, int k) {
  FillRectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top, GetSysColor(COLOR_BTNFACE));
  FrameRectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top, GetSysColor(COLOR_BTNSHADOW));
  double cx = (r.left + r.right) / 2.0, cy = (r.top + r.bottom) / 2.0;
  double half_height = 4.0 * k, depth = 4.0 * k;
  double tip = left ? cx - depth / 2 : cx + depth / 2;
  double base = left ? cx + depth / 2 : cx - depth / 2;
  SetSourceColor(cr, GetSysColor(COLOR_BTNTEXT));
  cairo_move_to(cr, tip, cy);
  cairo_line_to(cr, base, cy - half_height);
  cairo_line_to(cr, base, cy + half_height);
  cairo_close_path(cr);
  cairo_fill(cr);
}

}  // namespace

DayNumber DayNumberOf(int year, int month, int day) { return DaysFrom1601(year, month, day); }

DayNumber DayNumberOf(const SYSTEMTIME& st) { return DayNumberOf(st.wYear, st.wMonth, st.wDay); }

void SetDayNumber(SYSTEMTIME& st, DayNumber day) {
  int y = 0, m = 0, d = 0;
  CivilFromDays(day, y, m, d);
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  st.wDayOfWeek = static_cast<WORD>(WeekdayOf(day));
}

bool IsRepresentableDay(DayNumber day) { return day >= 0 && day <= DayNumberOf(30827, 12, 31); }

MonthCalendar::MonthCalendar(DayNumber selected, DayNumber today, int scale)
    : k_(std::max(scale, 1)), highlighted_(selected), today_(today) {
  show_month_of(selected);
}

int MonthCalendar::width() const { return 2 * kFrame + (2 * kMargin + 7 * kCellWidth) * k_; }

int MonthCalendar::height() const { return grid_top() + (kWeeks * kCellHeight + kFooterHeight) * k_ + kFrame; }

int MonthCalendar::grid_left() const { return kFrame + kMargin * k_; }

int MonthCalendar::grid_top() const { return kFrame + (kTitleHeight + kWeekdayHeight + kRuleHeight) * k_; }

DayNumber MonthCalendar::first_grid_day() const {
  DayNumber first = DayNumberOf(year_, month_, 1);
  // The real control always shows some days of the previous month, a whole
  // week of them when the month starts on a Sunday.
  int lead = WeekdayOf(first);
  return first - (lead == 0 ? 7 : lead);
}

RECT MonthCalendar::previous_button() const {
  int top = kFrame + (kTitleHeight - kButtonSize) / 2 * k_;
  return {grid_left(), top, grid_left() + kButtonSize * k_, top + kButtonSize * k_};
}

RECT MonthCalendar::next_button() const {
  int right = grid_left() + 7 * kCellWidth * k_;
  int top = kFrame + (kTitleHeight - kButtonSize) / 2 * k_;
  return {right - kButtonSize * k_, top, right, top + kButtonSize * k_};
}

RECT MonthCalendar::today_footer() const {
  int top = grid_top() + kWeeks * kCellHeight * k_;
  return {kFrame, top, width() - kFrame, top + kFooterHeight * k_};
}

std::optional<RECT> MonthCalendar::cell_of(DayNumber day) const {
  DayNumber index = day - first_grid_day();
  if (index < 0 || index >= 7 * kWeeks) return std::nullopt;
  int column = static_cast<int>(index % 7), row = static_cast<int>(index / 7);
  int left = grid_left() + column * kCellWidth * k_, top = grid_top() + row * kCellHeight * k_;
  return RECT{left, top, left + kCellWidth * k_, top + kCellHeight * k_};
}

MonthCalendar::Hit MonthCalendar::hit_test(int x, int y) const {
  auto inside = [x, y](const RECT& r) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; };
  if (inside(previous_button())) return {Part::previous_month, 0};
  if (inside(next_button())) return {Part::next_month, 0};
  if (inside(today_footer())) return {Part::today, today_};
  int column = (x - grid_left()) / (kCellWidth * k_), row = (y - grid_top()) / (kCellHeight * k_);
  if (x >= grid_left() && y >= grid_top() && column < 7 && row < kWeeks) {
    DayNumber day = first_grid_day() + row * 7 + column;
    if (IsRepresentableDay(day)) return {Part::day, day};
  }
  return {};
}

void MonthCalendar::show_month_of(DayNumber day) {
  SYSTEMTIME st = DateOf(day);
  year_ = st.wYear;
  month_ = st.wMonth;
}

void MonthCalendar::show_previous_month() {
  if (year_ == 1601 && month_ == 1) return;
  if (--month_ == 0) {
    month_ = 12;
    --year_;
  }
}

void MonthCalendar::show_next_month() {
  if (year_ == 30827 && month_ == 12) return;
  if (++month_ == 13) {
    month_ = 1;
    ++year_;
  }
}

void MonthCalendar::highlight(DayNumber day) {
  if (IsRepresentableDay(day)) highlighted_ = day;
}

bool MonthCalendar::move_highlight(int days) {
  DayNumber next = highlighted_ + days;
  if (!IsRepresentableDay(next)) return false;
  highlighted_ = next;
  show_month_of(next);
  return true;
}

void MonthCalendar::paint(cairo_t* cr, const FontSpec& font) const {
  const int k = k_;
  const int w = width(), h = height();
  FontSpec bold = font;
  bold.bold = true;
  COLORREF text = GetSysColor(COLOR_WINDOWTEXT);

  FillRectangle(cr, 0, 0, w, h, GetSysColor(COLOR_WINDOW));
  FrameRectangle(cr, 0, 0, w, h, GetSysColor(COLOR_WINDOWFRAME));

  // Title: "December 2026" between the arrows.
  RECT title{kFrame, kFrame, w - kFrame, kFrame + kTitleHeight * k};
  DrawCentered(cr, bold, FormatDate(DayNumberOf(year_, month_, 1), u"MMMM yyyy"), title, text);
  DrawArrowButton(cr, previous_button(), true, k);
  DrawArrowButton(cr, next_button(), false, k);

  // Weekday initials, from the locale's abbreviated day names.
  DayNumber first = first_grid_day();
  int row_top = title.bottom;
  for (int column = 0; column < 7; ++column) {
    std::u16string name = FormatDate(first + column, u"ddd");
    RECT r{grid_left() + column * kCellWidth * k, row_top, grid_left() + (column + 1) * kCellWidth * k,
           row_top + kWeekdayHeight * k};
    DrawCentered(cr, font, name.substr(0, 1), r, text);
  }
  FillRectangle(cr, grid_left(), row_top + kWeekdayHeight * k, 7 * kCellWidth * k, kRuleHeight * k,
                GetSysColor(COLOR_GRAYTEXT));

  // The six weeks.
  for (int index = 0; index < 7 * kWeeks; ++index) {
    DayNumber day = first + index;
    if (!IsRepresentableDay(day)) continue;
    RECT r = *cell_of(day);
    SYSTEMTIME date = DateOf(day);
    bool in_month = date.wMonth == month_;
    COLORREF color = in_month ? text : GetSysColor(COLOR_GRAYTEXT);
    if (day == highlighted_) {
      FillRectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top, GetSysColor(COLOR_HIGHLIGHT));
      color = GetSysColor(COLOR_HIGHLIGHTTEXT);
    }
    if (day == today_) FrameThick(cr, r, k, kTodayRed);
    DrawCentered(cr, font, std::u16string(FormatDate(day, u"d")), r, color);
  }

  // Footer: a red mark like today's outline, then "Today: 12/6/2026".
  RECT footer = today_footer();
  int mark = 10 * k;
  int mark_top = footer.top + (footer.bottom - footer.top - mark * 2 / 3) / 2;
  FrameThick(cr, {grid_left(), mark_top, grid_left() + mark, mark_top + mark * 2 / 3}, k, kTodayRed);
  std::u16string label = u"Today: " + FormatDate(today_, nullptr);
  TextExtent e = MeasureText(bold, label);
  DrawTextLine(cr, bold, label, grid_left() + mark + 4 * k, footer.top + (footer.bottom - footer.top - e.height) / 2,
               text);
}

}  // namespace platform::controls
