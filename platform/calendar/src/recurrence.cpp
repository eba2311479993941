// Expanding a series with libical's recurrence iterator.
//
// The iterator is given floating times in the series' own wall clock (its
// TZID, UTC, or local time for floating and date series), and UNTIL brought
// into that clock, so that its comparisons never mix zones. It is started
// close to the range (icalrecur_iterator_set_start) unless COUNT needs it to
// count from DTSTART, and it is always stopped at the range's end.
#include "recurrence.h"

#include <libical/ical.h>

#include <algorithm>
#include <limits>
#include <memory>

#include "content_line.h"
#include "event_index.h"
#include "wall_time.h"

namespace platform::calendar::detail {

namespace {

// Offsets between the series' clock and local time are under a day; this
// much around the range is expanded in the series' clock to be sure.
constexpr std::int64_t kClockMargin = 2 * 86400;
// Iterator steps for one expansion: far more than any real series needs in
// one range, few enough that a hostile rule cannot hang the program.
constexpr int kMaxSteps = 200'000;
// The last second a four-digit year can hold.
constexpr std::int64_t kLastWall = wall_seconds({9999, 12, 31, 23, 59, 59});

struct IteratorDeleter {
  void operator()(icalrecur_iterator* it) const { icalrecur_iterator_free(it); }
};
using IteratorPtr = std::unique_ptr<icalrecur_iterator, IteratorDeleter>;

std::int64_t series_wall(const DateTimeValue& v) {
  return wall_seconds({v.year, v.month, v.day, v.hour, v.minute, v.second});
}

icaltimetype floating(std::int64_t wall, bool is_date) {
  const LocalDateTime t = from_wall_seconds(wall);
  icaltimetype out = icaltime_null_time();
  out.year = t.year;
  out.month = t.month;
  out.day = t.day;
  if (!is_date) {
    out.hour = t.hour;
    out.minute = t.minute;
    out.second = t.second;
  }
  out.is_date = is_date ? 1 : 0;
  return out;
}

OccurrenceTime occurrence(const DateTimeValue& v, const TimeForm& form, const TimeZones& zones) {
  return {wall_seconds(to_local(v, form, zones)), to_epoch_seconds(v, form, zones)};
}

// The form of one value of an RDATE or EXDATE list.
TimeForm value_form(const Property& p, std::string_view value, const TimeZones& zones) {
  TimeForm form;
  const auto type = find_param(p, "VALUE");
  if ((type && iequals(*type, "DATE")) || value.size() == 8) {
    form.kind = TimeForm::Kind::Date;
  } else if (!value.empty() && (value.back() == 'Z' || value.back() == 'z')) {
    form.kind = TimeForm::Kind::Utc;
  } else if (const auto tzid = find_param(p, "TZID")) {
    form.kind = TimeForm::Kind::Zoned;
    form.tzid = std::string(*tzid);
    form.zone = zones.find(*tzid);
  }
  return form;
}

// The occurrences an RDATE or EXDATE line names; a PERIOD counts by its start.
std::vector<OccurrenceTime> listed_times(const Property& p, const TimeZones& zones, std::string* problem) {
  std::vector<OccurrenceTime> out;
  std::string_view rest = p.value;
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    std::string_view value = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    value = value.substr(0, value.find('/'));
    // Some writers mark a date as UTC ("20131210Z"); it is still the date.
    if (value.size() == 9 && (value.back() == 'Z' || value.back() == 'z')) value.remove_suffix(1);
    const TimeForm form = value_form(p, value, zones);
    const auto v = parse_date_time(value, form.kind == TimeForm::Kind::Date);
    if (!v) {
      *problem = std::string(p.name) + " value \"" + std::string(value) + "\" is not a date or date-time";
      continue;
    }
    out.push_back(occurrence(*v, form, zones));
  }
  return out;
}

// UNTIL in the series' clock; a date UNTIL of a timed series ends with its day.
std::int64_t until_wall(const icaltimetype& until, const SeriesRule& rule, const TimeZones& zones) {
  DateTimeValue v{until.year, until.month, until.day, until.hour, until.minute, until.second,
                  until.is_date != 0, icaltime_is_utc(until) != 0};
  if (v.is_utc && rule.form.kind != TimeForm::Kind::Utc) {
    const TimeForm utc{TimeForm::Kind::Utc, {}, nullptr};
    v = value_at(to_epoch_seconds(v, utc, zones), rule.form, zones);
  }
  std::int64_t wall = series_wall(v);
  if (v.is_date && rule.form.kind != TimeForm::Kind::Date) wall += 86399;
  return wall;
}

}  // namespace

std::optional<SeriesRule> read_series_rule(std::string_view event_bytes, const TimeZones& zones,
                                           std::string* problem) {
  SeriesRule rule;
  bool have_start = false;
  bool open_ended = false;
  std::int64_t last_until = std::numeric_limits<std::int64_t>::min();
  std::vector<std::string> rrules;
  LineScanner lines(event_bytes, 0, event_bytes.size(), 1);
  LogicalLine l;
  int depth = 0;
  while (lines.next(l)) {
    const std::string_view name = property_name(l.text);
    if (iequals(name, "BEGIN") || iequals(name, "END")) {
      depth += iequals(name, "BEGIN") ? 1 : -1;
      continue;
    }
    if (depth != 1) continue;
    const bool start = iequals(name, "DTSTART") && !have_start;
    const bool rrule = iequals(name, "RRULE"), rdate = iequals(name, "RDATE"),
               exdate = iequals(name, "EXDATE");
    if (!start && !rrule && !rdate && !exdate) continue;
    const auto p = parse_property(l.text);
    if (!p) continue;
    if (start) {
      rule.form = time_form_of(*p, zones);
      const auto v = parse_date_time(p->value, rule.form.kind == TimeForm::Kind::Date);
      if (!v) return std::nullopt;
      rule.start = *v;
      have_start = true;
    } else if (rrule) {
      rrules.emplace_back(p->value);
    } else if (rdate) {
      for (const OccurrenceTime& t : listed_times(*p, zones, problem)) rule.dates.push_back(t);
    } else {
      for (const OccurrenceTime& t : listed_times(*p, zones, problem)) rule.excluded.push_back(t.instant);
    }
  }
  if (!have_start) return std::nullopt;
  for (const std::string& text : rrules) {
    const icalrecurrencetype r = icalrecurrencetype_from_string(text.c_str());
    if (r.freq == ICAL_NO_RECURRENCE) {
      *problem = "RRULE \"" + text.substr(0, 60) + "\" is not a rule that can be read";
    } else if (r.freq == ICAL_SECONDLY_RECURRENCE || r.freq == ICAL_MINUTELY_RECURRENCE) {
      *problem = "RRULE \"" + text.substr(0, 60) + "\" repeats more often than hourly";
    } else if (r.rscale != nullptr) {
      *problem = "RRULE \"" + text.substr(0, 60) + "\" uses another calendar scale (RSCALE)";
    } else {
      rule.rules.push_back(text);
      if (r.count > 0) {
        open_ended = true;  // where it ends is learnt by expanding it
      } else if (icaltime_is_null_time(r.until)) {
        open_ended = true;
      } else {
        last_until = std::max(last_until, until_wall(r.until, rule, zones));
      }
    }
  }
  std::sort(rule.dates.begin(), rule.dates.end());
  std::sort(rule.excluded.begin(), rule.excluded.end());
  const OccurrenceTime first = occurrence(rule.start, rule.form, zones);
  rule.first_wall = first.wall;
  std::int64_t last = first.wall;
  if (!rule.dates.empty()) {
    rule.first_wall = std::min(rule.first_wall, rule.dates.front().wall);
    last = std::max(last, rule.dates.back().wall);
  }
  if (!open_ended) {
    // UNTIL is in the series' clock: local time may be up to a day off it.
    if (last_until != std::numeric_limits<std::int64_t>::min()) last = std::max(last, last_until + kClockMargin);
    rule.last_wall = last;
  }
  return rule;
}

Expansion expand(const SeriesRule& rule, std::int64_t wall_low, std::int64_t wall_high,
                 const TimeZones& zones) {
  Expansion out;
  const bool is_date = rule.form.kind == TimeForm::Kind::Date;
  const std::int64_t start = series_wall(rule.start);
  const std::int64_t low = std::max(start, wall_low - kClockMargin);
  const std::int64_t high = std::min(kLastWall, wall_high + kClockMargin);
  auto consider = [&](const OccurrenceTime& t) {
    if (t.wall < wall_low || t.wall > wall_high) return;
    if (std::binary_search(rule.excluded.begin(), rule.excluded.end(), t.instant)) return;
    out.times.push_back(t);
  };
  // DTSTART is the first occurrence whether or not the rule produces it.
  consider(occurrence(rule.start, rule.form, zones));
  bool all_ended = true;
  int steps = 0;
  for (const std::string& text : rule.rules) {
    if (low > high) {  // the series begins after the range
      all_ended = false;
      break;
    }
    icalrecurrencetype r = icalrecurrencetype_from_string(text.c_str());
    std::int64_t end = high;
    if (!icaltime_is_null_time(r.until)) end = std::min(end, until_wall(r.until, rule, zones));
    const bool ends_in_range = end < high;
    // The range's end as UNTIL stops the iterator even where the rule never
    // matches again (BYMONTHDAY=30 in February), which would otherwise run on.
    r.until = floating(end, is_date);
    IteratorPtr it(icalrecur_iterator_new(r, floating(start, is_date)));
    if (!it) continue;  // libical found that the rule never matches
    if (r.count == 0 && low > start) icalrecur_iterator_set_start(it.get(), floating(low, is_date));
    bool ended = false;
    int produced = 0;
    for (;;) {
      if (++steps > kMaxSteps) {
        out.truncated = true;
        break;
      }
      const icaltimetype t = icalrecur_iterator_next(it.get());
      if (icaltime_is_null_time(t)) {
        // Run out by COUNT or by the rule's own UNTIL, not by the range's end.
        ended = r.count > 0 ? produced >= r.count : ends_in_range;
        break;
      }
      ++produced;
      const DateTimeValue v{t.year, t.month, t.day, is_date ? 0 : t.hour, is_date ? 0 : t.minute,
                            is_date ? 0 : t.second, is_date, rule.form.kind == TimeForm::Kind::Utc};
      if (series_wall(v) > high) break;
      consider(occurrence(v, rule.form, zones));
    }
    all_ended = all_ended && ended;
  }
  for (const OccurrenceTime& t : rule.dates) consider(t);
  out.ended = all_ended && !out.truncated && (rule.dates.empty() || rule.dates.back().wall <= wall_high);
  std::sort(out.times.begin(), out.times.end());
  out.times.erase(std::unique(out.times.begin(), out.times.end()), out.times.end());
  return out;
}

std::int64_t local_wall(const SeriesRule& rule, std::int64_t instant, const TimeZones& zones) {
  return wall_seconds(to_local(value_at(instant, rule.form, zones), rule.form, zones));
}

}  // namespace platform::calendar::detail
