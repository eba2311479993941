// Wall-clock values as seconds. Sorting and restriction matching work on
// "wall seconds" so that they never need a time zone once an event's start
// has been brought into local time.
#pragma once

#include <cstdint>

#include "platform/base/civil_date.h"
#include "platform/calendar/calendar_store.h"

namespace platform::calendar::detail {

using platform::civil_from_days;
using platform::CivilDay;
using platform::days_from_civil;
using platform::days_in_month;
using platform::floor_div;
using platform::is_leap_year;
using platform::is_valid_date;
using platform::is_valid_time;

constexpr std::int64_t wall_seconds(const LocalDateTime& t) {
  return days_from_civil(t.year, t.month, t.day) * 86400 + t.hour * 3600 + t.minute * 60 + t.second;
}

constexpr LocalDateTime from_wall_seconds(std::int64_t s) {
  const std::int64_t days = floor_div(s, 86400);
  const std::int64_t rest = s - days * 86400;
  const CivilDay c = civil_from_days(days);
  return {c.year, c.month, c.day, static_cast<int>(rest / 3600), static_cast<int>(rest / 60 % 60),
          static_cast<int>(rest % 60)};
}

}  // namespace platform::calendar::detail
