// Each zone's UTC offset is kept per day; on the days the clocks change, and
// on the days either side, every time must still convert exactly as libical
// converts it.
#include <gtest/gtest.h>

#include <libical/ical.h>

#include <string_view>
#include <tuple>
#include <utility>

#include "ical_time.h"
#include "wall_time.h"

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

// Times after a store's recent day are reckoned with zones cut there, and
// times after the start of 2037 with zones cut at the start of their four
// years: from a year before each cut to years after it, and in 2050, every
// hour converts as the whole zone converts it, both ways.
TEST(TimeZoneOffsets, ZonesCutAtTheRecentDayConvertAsTheWholeZone) {
  // A zone written without the name of its summer: libical's cut passes
  // over such an observance and keeps all its changes, which would put last
  // March's before the cut in place of last October's.
  constexpr std::string_view kUnnamedSummer =
      "BEGIN:VTIMEZONE\r\nTZID:Unnamed summer\r\n"
      "BEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\nTZOFFSETTO:+0200\r\nDTSTART:19810329T020000\r\n"
      "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\n"
      "BEGIN:STANDARD\r\nTZNAME:CET\r\nTZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nDTSTART:19961027T030000\r\n"
      "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
  struct Case {
    const char* zone;  // a built-in zone, or the one above
    int cut_year, cut_month, cut_day;
  };
  const Case cases[] = {
      {"Europe/Berlin", 2010, 1, 1},
      {"America/New_York", 2014, 7, 1},
      {"Australia/Sydney", 2010, 1, 1},
      {"Europe/Moscow", 2010, 1, 1},
      {"Pacific/Apia", 2010, 1, 1},
      {"America/Sao_Paulo", 2017, 1, 1},
      {"Unnamed summer", 2010, 1, 1},
      // The local day of the cut began before the clocks went forward, on
      // the UTC day before it.
      {"Pacific/Auckland", 2010, 9, 26},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.zone);
    const std::int64_t cut_day = days_from_civil(c.cut_year, c.cut_month, c.cut_day);
    TimeZones zones(icaltimezone_get_utc_timezone(), cut_day);
    icaltimezone* zone = icaltimezone_get_builtin_timezone(c.zone);
    if (zone == nullptr) {
      ASSERT_TRUE(zones.add_vtimezone(kUnnamedSummer));
      zone = zones.find(c.zone);
    }
    ASSERT_NE(zone, nullptr);
    // 2050 first, as a file may hold its settings appointment before the rest.
    const std::pair<std::int64_t, std::int64_t> spans[] = {
        {days_from_civil(2050, 1, 1), days_from_civil(2051, 1, 1)},
        {cut_day - 400, cut_day + 6 * 366},
        {days_from_civil(2036, 1, 1), days_from_civil(2041, 1, 1)},
    };
    for (const auto& [first_day, end_day] : spans) {
      for (std::int64_t at = first_day * 86400; at < end_day * 86400; at += 3600) {
        const icaltimetype expected = icaltime_from_timet_with_zone(static_cast<time_t>(at), 0, zone);
        const DateTimeValue got = zones.wall_at(at, zone);
        ASSERT_EQ(std::tie(got.year, got.month, got.day, got.hour),
                  std::tie(expected.year, expected.month, expected.day, expected.hour))
            << "instant " << at;
        // The same figures as a wall time in the zone.
        const LocalDateTime wall = from_wall_seconds(at);
        icaltimetype t = icaltime_null_time();
        t.year = wall.year;
        t.month = wall.month;
        t.day = wall.day;
        t.hour = wall.hour;
        ASSERT_EQ(zones.epoch_of_wall({wall.year, wall.month, wall.day, wall.hour, 0, 0, false, false}, zone),
                  icaltime_as_timet_with_zone(t, zone))
            << "wall " << at;
      }
    }
  }
}

}  // namespace
}  // namespace platform::calendar::detail
