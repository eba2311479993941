// How the file's VEVENTs read as appointments: text, categories, local
// start times across time zone forms, durations, and order.
#include <gtest/gtest.h>

#include "platform/calendar/calendar_store.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;

// A calendar that defines "Custom New York" (the US rules since 2007) and
// holds the given events.
std::string in_new_york_calendar(const std::string& events) {
  std::string cal = test_data("custom_new_york.ics");
  return cal.insert(cal.rfind("END:VCALENDAR"), events);
}

std::string event(const std::string& props) {
  return "BEGIN:VEVENT\nUID:" + std::to_string(std::hash<std::string>{}(props)) + "\n" + props +
         "END:VEVENT\n";
}

// Opens a calendar holding one event and returns that event.
AppointmentFields only_event(const std::string& cal) {
  TempDir dir;
  write_bytes(dir / "cal.ics", cal);
  auto store = open_store(dir / "cal.ics");
  const auto all = store ? store->all() : std::vector<Oid>{};
  EXPECT_EQ(all.size(), 1u);
  return all.size() == 1 ? store->get(all[0]).value_or(AppointmentFields{}) : AppointmentFields{};
}

TEST(Mapping, CategoriesReadAsWrittenValuesJoinedByCommas) {
  struct Case { std::string lines; std::string expected; } cases[] = {
      {"", ""}, {"CATEGORIES:\n", ""}, {"CATEGORIES:A\n", "A"}, {"CATEGORIES:A,B\n", "A,B"},
      {"CATEGORIES:A,B,\n", "A,B,"}, {"CATEGORIES:,A\n", ",A"}, {"CATEGORIES:A\nCATEGORIES:B,C\n", "A,B,C"},
      {"CATEGORIES:Business Meeting, Personal \n", "Business Meeting, Personal "},
      {"CATEGORIES;LANGUAGE=en:Holiday\n", "Holiday"}, {"CATEGORIES:Caf\xC3\xA9\n", "Caf\xC3\xA9"},
      {"CATEGORIES:Old\\, Ltd,Kept\n", "Old\\, Ltd,Kept"},  // a comma in a value stays "\,"
  };
  for (const Case& c : cases)
    EXPECT_EQ(u8(only_event(vcalendar(event("DTSTART:20260105T090000Z\n" + c.lines))).categories), c.expected)
        << c.lines;
}

// Starts read as local time whatever their form; the length comes from
// DURATION or from the end.
TEST(Mapping, StartsAreLocalTimeAndLengthsElapsedMinutes) {
  ScopedTz tz("Europe/Berlin");
  struct Case { std::string props; LocalDateTime start; bool all_day; int minutes; } cases[] = {
      // UTC, summer (+2) and winter (+1); no end is no time at all.
      {"DTSTART:20260701T100000Z\n", {2026, 7, 1, 12, 0, 0}, false, 0},
      {"DTSTART:20260105T100000Z\n", {2026, 1, 5, 11, 0, 0}, false, 0},
      // Floating times are already local.
      {"DTSTART:20260701T100000\n", {2026, 7, 1, 10, 0, 0}, false, 0},
      // A zone defined by the file.
      {"DTSTART;TZID=Custom New York:20260701T080000\n", {2026, 7, 1, 14, 0, 0}, false, 0},
      {"DTSTART;TZID=\"Custom New York\":20260105T080000\n", {2026, 1, 5, 14, 0, 0}, false, 0},
      // A zone the file only names.
      {"DTSTART;TZID=Asia/Tokyo:20260701T090000\n", {2026, 7, 1, 2, 0, 0}, false, 0},
      {"DTSTART;TZID=/mozilla.org/20050126_1/Asia/Tokyo:20260701T090000\n", {2026, 7, 1, 2, 0, 0}, false, 0},
      // A zone nobody knows reads as floating rather than failing the file.
      {"DTSTART;TZID=Nowhere Standard Time:20260701T090000\n", {2026, 7, 1, 9, 0, 0}, false, 0},
      // Across midnight.
      {"DTSTART:20261231T233000Z\n", {2027, 1, 1, 0, 30, 0}, false, 0},
      // All-day events start at midnight of their date and last whole days.
      {"DTSTART;VALUE=DATE:20261129\n", {2026, 11, 29, 0, 0, 0}, true, 1440},
      {"DTSTART:20261129\n", {2026, 11, 29, 0, 0, 0}, true, 1440},
      {"DTSTART;VALUE=DATE:20260105\nDTEND;VALUE=DATE:20260108\n", {2026, 1, 5, 0, 0, 0}, true, 3 * 1440},
      {"DTSTART:20260105T090000Z\nDURATION:PT1H30M\n", {2026, 1, 5, 10, 0, 0}, false, 90},
      {"DTSTART:20260105T090000Z\nDURATION:P1DT2H\n", {2026, 1, 5, 10, 0, 0}, false, 1560},
      {"DTSTART:20260105T090000Z\nDURATION:P1W\n", {2026, 1, 5, 10, 0, 0}, false, 10080},
      {"DTSTART:20260105T090000Z\nDTEND:20260105T094500Z\n", {2026, 1, 5, 10, 0, 0}, false, 45},
      {"DTSTART;TZID=Custom New York:20260105T090000\nDTEND:20260105T150000Z\n", {2026, 1, 5, 15, 0, 0}, false, 60},
      {"DTSTART:20260105T090000\nDTEND:20260105T100000\n", {2026, 1, 5, 9, 0, 0}, false, 60},
      // An end before the start is read as no time at all.
      {"DTSTART:20260105T090000Z\nDTEND:20260105T080000Z\n", {2026, 1, 5, 10, 0, 0}, false, 0},
      // Elapsed time, even across the night the clocks go forward.
      {"DTSTART:20260328T230000Z\nDTEND:20260329T230000Z\n", {2026, 3, 29, 0, 0, 0}, false, 1440},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.props);
    const auto f = only_event(in_new_york_calendar(event(c.props)));
    EXPECT_EQ(f.start, c.start);
    EXPECT_EQ(f.all_day, c.all_day);
    EXPECT_EQ(f.duration_minutes, c.minutes);
  }
}

TEST(Mapping, LocalZoneComesFromTz) {
  const std::string cal = vcalendar(event("DTSTART:20260701T100000Z\n"));
  struct Case { const char* tz; int hour; } cases[] = {
      {"UTC", 10}, {"America/New_York", 6}, {"Asia/Kolkata", 15}, {":Europe/Berlin", 12}};
  for (const Case& c : cases) {
    ScopedTz tz(c.tz);
    EXPECT_EQ(only_event(cal).start.hour, c.hour) << c.tz;
  }
  // A zone the store cannot read as the C library does is named on opening.
  ScopedTz tz("XYZ3ABC,J60,J300");
  TempDir dir;
  write_bytes(dir / "cal.ics", cal);
  std::vector<std::string> warned;
  StoreOptions options;
  options.warn = [&](const std::string& text) { warned.push_back(text); };
  open_store(dir / "cal.ics", options);
  ASSERT_EQ(warned.size(), 1u);
  EXPECT_NE(warned[0].find("TZ=\"XYZ3ABC,J60,J300\""), std::string::npos) << warned[0];
}

// Order is by start, ties by oid; a recurring event is one appointment and
// each of its exceptions is its own.
TEST(Mapping, AppointmentsAreInStartOrderWithTiesByOid) {
  ScopedTz tz("UTC");
  TempDir dir;
  // File order differs from start order; "B" and "C" start together; "X"
  // replaces the second of the ten weekly "R".
  write_bytes(dir / "cal.ics", test_data("start_order.ics"));
  auto store = open_store(dir / "cal.ics");
  ASSERT_TRUE(store);
  std::string order;
  for (Oid oid : store->all()) {
    EXPECT_NE(oid, 0u);
    order += u8(store->get(oid)->subject);
  }
  EXPECT_EQ(order, "ARBCDXRRRRRRRR");
  EXPECT_LT(oid_of(*store, "B"), oid_of(*store, "C"));
  EXPECT_EQ(store->get(oid_of(*store, "X"))->start, (LocalDateTime{2026, 1, 9, 10, 0, 0}));
  EXPECT_FALSE(store->get(0));
  EXPECT_FALSE(store->get(9999));
}

}  // namespace
}  // namespace platform::calendar
