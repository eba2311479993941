// The occurrences of a recurring event: its RRULEs expanded by libical's
// recurrence iterator, its RDATEs added and its EXDATEs taken out. Rules run
// in the series' own time zone (a 09:30 meeting stays at 09:30 there across
// daylight-saving changes); each occurrence is then placed in local time.
// Only the range asked for is expanded, so an open-ended series costs
// nothing outside it.
//
// Not supported: EXRULE (dropped by RFC 5545; ignored), RSCALE, and rules
// repeating more often than hourly (such a series shows its DTSTART and
// RDATEs only, with a warning).
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ical_time.h"

namespace platform::calendar::detail {

// One occurrence: where it lies in local time, and the instant of its
// original start, which names it (RECURRENCE-ID, EXDATE).
struct OccurrenceTime {
  std::int64_t wall = 0;     // local start, wall seconds (wall_time.h)
  std::int64_t instant = 0;  // epoch seconds; dates and floating times as local time
  friend auto operator<=>(const OccurrenceTime&, const OccurrenceTime&) = default;
};

struct SeriesRule {
  DateTimeValue start;  // DTSTART as written
  TimeForm form;        // the form of DTSTART, which RECURRENCE-ID and EXDATE follow
  std::vector<std::string> rules;          // RRULE values libical accepts
  std::vector<OccurrenceTime> dates;       // RDATE, sorted
  std::vector<std::int64_t> excluded;      // EXDATE instants, sorted
  std::int64_t first_wall = 0;             // no occurrence starts earlier
  std::optional<std::int64_t> last_wall;   // none starts later; nullopt when not known
};

// The rule of the VEVENT `event_bytes`; nullopt when its DTSTART cannot be
// read. Parts that cannot be used are left out and named in *problem.
std::optional<SeriesRule> read_series_rule(std::string_view event_bytes, const TimeZones& zones,
                                           std::string* problem);

struct Expansion {
  std::vector<OccurrenceTime> times;  // sorted
  bool ended = false;      // no occurrence starts after the range
  bool truncated = false;  // stopped at the step limit: the series is absurdly dense
};

// The occurrences whose local start lies in [wall_low, wall_high], EXDATEs
// left out, DTSTART included as the first occurrence.
Expansion expand(const SeriesRule& rule, std::int64_t wall_low, std::int64_t wall_high,
                 const TimeZones& zones);

// The local start of the occurrence named by `instant`.
std::int64_t local_wall(const SeriesRule& rule, std::int64_t instant, const TimeZones& zones);

}  // namespace platform::calendar::detail
