#include "platform/core/clock.h"

#include <ctime>

#include "platform/base/civil_date.h"

namespace platform {

namespace {

constexpr ULONGLONG kTicksPerSecond = 10'000'000ULL;
constexpr ULONGLONG kTicksPerDay = 86'400ULL * kTicksPerSecond;

}  // namespace

long long DaysFrom1601(int y, int m, int d) { return days_from_civil(y, m, d) + kDays1601To1970; }

void CivilFromDays(long long days_since_1601, int& y, int& m, int& d) {
  const CivilDay c = civil_from_days(days_since_1601 - kDays1601To1970);
  y = c.year;
  m = c.month;
  d = c.day;
}

bool IsValidDate(int year, int month, int day) {
  // What a SYSTEMTIME can hold as a file time.
  return year >= 1601 && year <= 30827 && day >= 1 && day <= days_in_month(year, month);
}

int DayOfWeek(int year, int month, int day) { return day_of_week(year, month, day); }

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
