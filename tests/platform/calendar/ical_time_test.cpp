// Each zone's UTC offset is kept per day; on the days the clocks change, and
// on the days either side, every time must still convert exactly as libical
// converts it.
#include <gtest/gtest.h>

#include <libical/ical.h>

#include <tuple>
#include <utility>

#include "ical_time.h"

namespace platform::calendar::detail {
namespace {

TEST(TimeZoneOffsets, EveryQuarterHourAroundTheChangesConvertsAsLibicalDoes) {
  icaltimezone* utc = icaltimezone_get_utc_timezone();
  for (const char* name : {"Europe/Berlin", "America/New_York", "Australia/Lord_Howe"}) {
    SCOPED_TRACE(name);
    icaltimezone* zone = icaltimezone_get_builtin_timezone(name);
    ASSERT_NE(zone, nullptr);
    TimeZones zones(zone);
    TimeForm utc_form;
    utc_form.kind = TimeForm::Kind::Utc;
    TimeForm zoned;
    zoned.kind = TimeForm::Kind::Zoned;
    zoned.zone = zone;
    // March and April, October and November 2026: every change of these zones.
    for (const auto& [month, first_day] : {std::pair{3, 1}, {4, 1}, {10, 1}, {11, 1}}) {
      for (int day = first_day; day <= 30; ++day) {
        for (int minute = 0; minute < 24 * 60; minute += 15) {
          const DateTimeValue wall{2026, month, day, minute / 60, minute % 60, 0, false, false};
          icaltimetype t = icaltime_null_time();
          t.year = 2026, t.month = month, t.day = day, t.hour = minute / 60, t.minute = minute % 60;
          ASSERT_EQ(to_epoch_seconds(wall, zoned, zones), icaltime_as_timet_with_zone(t, zone))
              << month << "/" << day << " " << minute;
          // The same figures read as UTC, brought into the zone.
          icaltimezone_convert_time(&t, utc, zone);
          DateTimeValue as_utc = wall;
          as_utc.is_utc = true;
          const LocalDateTime local = to_local(as_utc, utc_form, zones);
          ASSERT_EQ(std::tie(local.day, local.hour, local.minute), std::tie(t.day, t.hour, t.minute))
              << month << "/" << day << " " << minute;
        }
      }
    }
  }
}

}  // namespace
}  // namespace platform::calendar::detail
