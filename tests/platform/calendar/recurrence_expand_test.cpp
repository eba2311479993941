// The short cuts of the expansion (starting the iterator near the range,
// passing ranges a monthly or yearly rule cannot reach, bounding COUNT
// without iterating) against libical walking each rule from its DTSTART.
#include <gtest/gtest.h>
#include <libical/ical.h>

#include <algorithm>
#include <iterator>

#include "recurrence.h"
#include "test_support.h"
#include "wall_time.h"

namespace platform::calendar::detail {
namespace {

// Every occurrence libical gives from DTSTART (floating, UTC here) up to
// `last`, with no help.
std::vector<std::int64_t> walked(const char* rule, const LocalDateTime& start, std::int64_t last) {
  icaltimetype t = icaltime_null_time();
  t.year = start.year, t.month = start.month, t.day = start.day, t.hour = start.hour, t.minute = start.minute;
  icalrecur_iterator* it = icalrecur_iterator_new(icalrecurrencetype_from_string(rule), t);
  std::vector<std::int64_t> out;
  for (icaltimetype n = icalrecur_iterator_next(it); !icaltime_is_null_time(n); n = icalrecur_iterator_next(it)) {
    const std::int64_t wall = wall_seconds({n.year, n.month, n.day, n.hour, n.minute, n.second});
    if (wall > last) break;
    out.push_back(wall);
  }
  icalrecur_iterator_free(it);
  return out;
}

TEST(RecurrenceExpansion, ShortCutsListWhatLibicalListsFromTheStart) {
  calendar_test::ScopedTz tz("UTC");
  TimeZones zones(icaltimezone_get_utc_timezone());
  const char* const rules[] = {
      "FREQ=DAILY;INTERVAL=3",
      "FREQ=WEEKLY;INTERVAL=2;BYDAY=TU,TH;WKST=SU",
      "FREQ=WEEKLY;INTERVAL=3",
      "FREQ=MONTHLY;INTERVAL=2",
      "FREQ=MONTHLY;BYDAY=2MO",
      "FREQ=MONTHLY;INTERVAL=5;BYDAY=-1FR",
      "FREQ=MONTHLY;BYMONTHDAY=-1",
      "FREQ=YEARLY;INTERVAL=2",
      "FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU",
      "FREQ=DAILY;BYDAY=MO;COUNT=30",
      "FREQ=MONTHLY;INTERVAL=2;BYDAY=-1FR;COUNT=10",
      "FREQ=WEEKLY;BYDAY=MO,FR;COUNT=7",
      "FREQ=YEARLY;COUNT=5",
      "FREQ=MONTHLY;COUNT=12",
  };
  const LocalDateTime starts[] = {{2024, 2, 29, 9, 30, 0}, {2025, 1, 31, 17, 0, 0}, {2026, 6, 15, 8, 0, 0}};
  const std::pair<LocalDateTime, LocalDateTime> ranges[] = {
      {{2026, 11, 30, 0, 0, 0}, {2026, 12, 6, 23, 59, 59}},
      {{2027, 2, 1, 0, 0, 0}, {2027, 3, 31, 23, 59, 59}},
      {{2028, 2, 20, 0, 0, 0}, {2028, 3, 5, 23, 59, 59}},
      {{2024, 1, 1, 0, 0, 0}, {2040, 12, 31, 23, 59, 59}},
  };
  for (const char* rule : rules) {
    for (const LocalDateTime& start : starts) {
      const DateTimeValue value{start.year, start.month, start.day, start.hour, start.minute, 0, false, false};
      const std::vector<std::int64_t> all = walked(rule, start, wall_seconds({2041, 1, 1, 0, 0, 0}));
      std::string problem;
      const auto read = read_series_rule(
          "BEGIN:VEVENT\nDTSTART:" + format_date_time(value) + "\nRRULE:" + rule + "\nEND:VEVENT\n", zones, &problem);
      ASSERT_TRUE(read) << rule;
      // COUNT may be bounded, never below its last occurrence.
      if (read->last_wall && !all.empty()) {
        EXPECT_GE(*read->last_wall, all.back()) << rule;
      }
      for (const auto& [from, to] : ranges) {
        const std::int64_t low = wall_seconds(from), high = wall_seconds(to), first = wall_seconds(start);
        std::vector<std::int64_t> want;
        std::copy_if(all.begin(), all.end(), std::back_inserter(want),
                     [&](std::int64_t wall) { return wall >= low && wall <= high; });
        std::vector<std::int64_t> got;
        for (const OccurrenceTime& t : expand(*read, low, high, zones).times) {
          got.push_back(t.wall);
        }
        // The DTSTART is listed even where the rule does not produce it.
        if (first >= low && first <= high && (want.empty() || want.front() != first)) {
          want.insert(want.begin(), first);
        }
        EXPECT_EQ(got, want) << rule << " from " << format_date_time(value) << " in " << from.year << "-" << from.month;
      }
    }
  }
}

}  // namespace
}  // namespace platform::calendar::detail
