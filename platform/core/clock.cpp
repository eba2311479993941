#include "platform/core/clock.h"

#include <ctime>

namespace platform {

namespace {

constexpr ULONGLONG kTicksPerSecond = 10'000'000ULL;
constexpr ULONGLONG kTicksPerDay = 86'400ULL * kTicksPerSecond;

}  // namespace

// Days from 1601-01-01 to the given civil date (proleptic Gregorian).
long long DaysFrom1601(int y, int m, int d) {
  // Howard Hinnant's days_from_civil, shifted to the 1601 epoch.
  y -= m <= 2;
  const long long era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  const long long days_since_1970 = era * 146097 + static_cast<long long>(doe) - 719468;
  return days_since_1970 + 134774;  // 1601-01-01 .. 1970-01-01
}

void CivilFromDays(long long days_since_1601, int& y, int& m, int& d) {
  long long z = days_since_1601 - 134774 + 719468;
  const long long era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  const long long yy = static_cast<long long>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = static_cast<int>(doy - (153 * mp + 2) / 5 + 1);
  m = static_cast<int>(mp < 10 ? mp + 3 : mp - 9);
  y = static_cast<int>(yy + (m <= 2));
}

bool IsValidDate(int year, int month, int day) {
  static const int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  if (year < 1601 || year > 30827 || month < 1 || month > 12 || day < 1) return false;
  bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  int max = kDays[month - 1] + (month == 2 && leap ? 1 : 0);
  return day <= max;
}

int DayOfWeek(int year, int month, int day) {
  // 1601-01-01 was a Monday.
  long long days = DaysFrom1601(year, month, day);
  return static_cast<int>(((days + 1) % 7 + 7) % 7);
}

ULONGLONG SystemTimeToTicks(const SYSTEMTIME& st, bool* ok) {
  bool valid = IsValidDate(st.wYear, st.wMonth, st.wDay) && st.wHour < 24 && st.wMinute < 60 && st.wSecond < 60 &&
               st.wMilliseconds < 1000;
  if (ok) *ok = valid;
  if (!valid) return 0;
  ULONGLONG days = static_cast<ULONGLONG>(DaysFrom1601(st.wYear, st.wMonth, st.wDay));
  return days * kTicksPerDay + (st.wHour * 3600ULL + st.wMinute * 60ULL + st.wSecond) * kTicksPerSecond +
         st.wMilliseconds * 10'000ULL;
}

SYSTEMTIME TicksToSystemTime(ULONGLONG ticks) {
  SYSTEMTIME st{};
  long long days = static_cast<long long>(ticks / kTicksPerDay);
  ULONGLONG rest = ticks % kTicksPerDay;
  int y, m, d;
  CivilFromDays(days, y, m, d);
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  st.wDayOfWeek = static_cast<WORD>((days + 1) % 7);
  ULONGLONG ms = rest / 10'000ULL;
  st.wMilliseconds = static_cast<WORD>(ms % 1000);
  ULONGLONG secs = ms / 1000;
  st.wSecond = static_cast<WORD>(secs % 60);
  st.wMinute = static_cast<WORD>((secs / 60) % 60);
  st.wHour = static_cast<WORD>(secs / 3600);
  return st;
}

Clock::Clock(std::optional<SYSTEMTIME> start) : start_(start), started_(std::chrono::steady_clock::now()), real_started_(std::chrono::system_clock::now()) {}

SYSTEMTIME Clock::local_now() const {
  auto elapsed = std::chrono::steady_clock::now() - started_ + offset_;
  ULONGLONG base;
  if (start_) {
    base = SystemTimeToTicks(*start_, nullptr);
  } else {
    // Real local time at the moment the clock started, then steady time on top,
    // so the clock never jumps backwards within a run.
    std::time_t t = std::chrono::system_clock::to_time_t(real_started_);
    std::tm tm{};
    localtime_r(&t, &tm);
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(tm.tm_year + 1900);
    st.wMonth = static_cast<WORD>(tm.tm_mon + 1);
    st.wDay = static_cast<WORD>(tm.tm_mday);
    st.wHour = static_cast<WORD>(tm.tm_hour);
    st.wMinute = static_cast<WORD>(tm.tm_min);
    st.wSecond = static_cast<WORD>(tm.tm_sec);
    base = SystemTimeToTicks(st, nullptr);
  }
  auto ticks = std::chrono::duration_cast<std::chrono::microseconds>(elapsed).count() * 10;
  return TicksToSystemTime(base + static_cast<ULONGLONG>(ticks));
}

DWORD Clock::ticks() const {
  auto elapsed = std::chrono::steady_clock::now() - started_;
  return static_cast<DWORD>(std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

}  // namespace platform
