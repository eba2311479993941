// Variant times (OLE automation DATE): days since 1899-12-30, the fraction
// being the time of day. Before that day the whole part counts down while
// the fraction still counts the time forwards, so -1.25 is 1899-12-29 06:00.
// Valid from 100-01-01 to 9999-12-31; times are kept to the second.
#include <oleauto.h>

#include <cmath>

#include "platform/core/clock.h"

namespace {

const long long kEpoch = platform::DaysFrom1601(1899, 12, 30);
const long long kFirst = platform::DaysFrom1601(100, 1, 1) - kEpoch;
const long long kLast = platform::DaysFrom1601(9999, 12, 31) - kEpoch;

bool ValidDay(int y, int m, int d) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (y < 100 || y > 9999 || m < 1 || m > 12 || d < 1) return false;
  bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
  return d <= kDays[m - 1] + (m == 2 && leap ? 1 : 0);
}

}  // namespace

INT WINAPI SystemTimeToVariantTime(LPSYSTEMTIME st, DATE* pvtime) {
  if (!st || !pvtime) return FALSE;
  if (!ValidDay(st->wYear, st->wMonth, st->wDay) || st->wHour > 23 || st->wMinute > 59 || st->wSecond > 59)
    return FALSE;
  long long days = platform::DaysFrom1601(st->wYear, st->wMonth, st->wDay) - kEpoch;
  double fraction = (st->wHour * 3600.0 + st->wMinute * 60.0 + st->wSecond) / 86400.0;
  *pvtime = days >= 0 ? static_cast<double>(days) + fraction : static_cast<double>(days) - fraction;
  return TRUE;
}

INT WINAPI VariantTimeToSystemTime(DATE vtime, LPSYSTEMTIME st) {
  if (!st || !std::isfinite(vtime) || vtime < static_cast<double>(kFirst) - 1.0 ||
      vtime >= static_cast<double>(kLast) + 1.0)
    return FALSE;
  // Make the time linear (negative dates count the time of day forwards),
  // round it to the second, then split it into day and time of day.
  double whole = std::trunc(vtime);
  double linear = whole + std::fabs(vtime - whole);
  long long total = std::llround(linear * 86400.0);
  long long days = total >= 0 ? total / 86400 : -((-total + 86399) / 86400);
  long long seconds = total - days * 86400;
  if (days < kFirst || days > kLast) return FALSE;
  int y, m, d;
  platform::CivilFromDays(days + kEpoch, y, m, d);
  *st = SYSTEMTIME{};
  st->wYear = static_cast<WORD>(y);
  st->wMonth = static_cast<WORD>(m);
  st->wDay = static_cast<WORD>(d);
  st->wDayOfWeek = static_cast<WORD>(platform::DayOfWeek(y, m, d));
  st->wHour = static_cast<WORD>(seconds / 3600);
  st->wMinute = static_cast<WORD>((seconds / 60) % 60);
  st->wSecond = static_cast<WORD>(seconds % 60);
  return TRUE;
}
