// Proleptic Gregorian calendar arithmetic: the one place the platform, the
// calendar store and the tools count days. Every function is constexpr and
// total over the years a SYSTEMTIME or an iCalendar date can name.
#pragma once

#include <cstdint>

namespace platform {

constexpr bool is_leap_year(int y) { return (y % 4 == 0 && y % 100 != 0) || y % 400 == 0; }

constexpr int days_in_month(int y, int m) {
  constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (m < 1 || m > 12) return 0;
  return m == 2 && is_leap_year(y) ? 29 : kDays[m - 1];
}

constexpr bool is_valid_date(int y, int m, int d) {
  return y >= 1 && y <= 9999 && m >= 1 && m <= 12 && d >= 1 && d <= days_in_month(y, m);
}

constexpr bool is_valid_time(int h, int mi, int s) {
  // 60 is a leap second; iCalendar allows it.
  return h >= 0 && h <= 23 && mi >= 0 && mi <= 59 && s >= 0 && s <= 60;
}

// Days since 1970-01-01 (H. Hinnant's algorithm).
constexpr std::int64_t days_from_civil(int y, int m, int d) {
  y -= m <= 2;
  const std::int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<std::int64_t>(doe) - 719468;
}

struct CivilDay {
  int year, month, day;
};

constexpr CivilDay civil_from_days(std::int64_t z) {
  z += 719468;
  const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const std::int64_t y = static_cast<std::int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  const unsigned d = doy - (153 * mp + 2) / 5 + 1;
  const unsigned m = mp < 10 ? mp + 3 : mp - 9;
  return {static_cast<int>(y + (m <= 2)), static_cast<int>(m), static_cast<int>(d)};
}

// Floor division, for minutes and days from seconds before 1970.
constexpr std::int64_t floor_div(std::int64_t a, std::int64_t b) {
  return a / b - ((a % b != 0) && ((a < 0) != (b < 0)));
}

// 0 = Sunday, as SYSTEMTIME's wDayOfWeek counts (1970-01-01 was a Thursday).
constexpr int day_of_week(int y, int m, int d) {
  const std::int64_t days = days_from_civil(y, m, d);
  return static_cast<int>(((days + 4) % 7 + 7) % 7);
}

// The Windows file time's epoch, 1601-01-01, counted from 1970-01-01.
constexpr std::int64_t kDays1601To1970 = 134774;

}  // namespace platform
