// The platform clock. It starts at the local time given on the command line
// (--now) or at the real local time, and advances with real time from there.
#pragma once

#include <chrono>
#include <optional>

#include <windows.h>

namespace platform {

class Clock {
 public:
  // `start`: the local wall-clock time to report at start-up; none = real time.
  explicit Clock(std::optional<SYSTEMTIME> start = std::nullopt);
  SYSTEMTIME local_now() const;
  // Milliseconds since the clock started, for message time stamps.
  DWORD ticks() const;
  // Moves the clock by a number of seconds (tests, script `sleep`).
  void advance_seconds(long long seconds) { offset_ += std::chrono::seconds(seconds); }

 private:
  std::optional<SYSTEMTIME> start_;
  std::chrono::steady_clock::time_point started_;
  std::chrono::system_clock::time_point real_started_;
  std::chrono::steady_clock::duration offset_{};
};

// File time arithmetic shared by the kernel calls and the clock.
ULONGLONG SystemTimeToTicks(const SYSTEMTIME& st, bool* ok);
SYSTEMTIME TicksToSystemTime(ULONGLONG ticks);
int DayOfWeek(int year, int month, int day);
// Days between 1601-01-01 and a civil date of the proleptic Gregorian calendar, and back.
long long DaysFrom1601(int year, int month, int day);
void CivilFromDays(long long days_since_1601, int& year, int& month, int& day);
bool IsValidDate(int year, int month, int day);

}  // namespace platform
