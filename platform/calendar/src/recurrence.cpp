// Expanding a series with libical's recurrence iterator.
//
// The iterator is given floating times in the series' own wall clock (its
// TZID, UTC, or local time for floating and date series), and UNTIL brought
// into that clock, so that its comparisons never mix zones. It is started
// close to the range (iterator_start) unless COUNT needs it to count from
// DTSTART, and it is always stopped at the range's end.
#include "recurrence.h"

#include <libical/ical.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <memory>

#include "content_line.h"
#include "event_index.h"
#include "wall_time.h"

namespace platform::calendar::detail {

namespace {

// Offsets between the series' clock and local time are at most 26 hours
// (UTC-12 to UTC+14); this much around the range is expanded in the series'
// clock to be sure.
constexpr std::int64_t kClockMargin = 27 * 3600;
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

// The occurrences an RDATE or EXDATE line names; a PERIOD counts by its start.
// A date-time listed for an all-day series names its day: the series' occurrences
// are days, and an override of one is written in the series' date form.
std::vector<OccurrenceTime> listed_times(const Property& p, const TimeForm& series, const TimeZones& zones,
                                         std::string* problem) {
  std::vector<OccurrenceTime> out;
  std::string_view rest = p.value;
  while (!rest.empty()) {
    const std::size_t comma = rest.find(',');
    std::string_view value = rest.substr(0, comma);
    rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    value = value.substr(0, value.find('/'));
    // Some writers mark a date as UTC ("20131210Z"); it is still the date.
    if (value.size() == 9 && (value.back() == 'Z' || value.back() == 'z')) value.remove_suffix(1);
    TimeForm form = time_form_of(p, value, zones);
    auto v = parse_date_time(value, form.kind == TimeForm::Kind::Date);
    if (!v) {
      *problem = std::string(p.name) + " value \"" + std::string(value) + "\" is not a date or date-time";
      continue;
    }
    if (series.kind == TimeForm::Kind::Date && form.kind != TimeForm::Kind::Date) {
      v->hour = v->minute = v->second = 0;
      v->is_date = true;
      v->is_utc = false;
      form = series;
    }
    out.push_back(occurrence(*v, form, zones));
  }
  return out;
}

// The rule of an RRULE value; `*rscale` tells whether it names a calendar
// scale, which libical hands over as a string of its own (freed here).
icalrecurrencetype parse_rule(const std::string& text, bool* rscale) {
  icalrecurrencetype r = icalrecurrencetype_from_string(text.c_str());
  *rscale = r.rscale != nullptr;
  icalmemory_free_buffer(r.rscale);
  r.rscale = nullptr;
  return r;
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

// What bounds a rule's occurrences without asking libical: its period (FREQ
// times INTERVAL, at the longest) and, where each period holds an
// occurrence, how many periods may pass without one (a monthly rule on the
// 29th to 31st skips months, a yearly one on 29 February skips years).
struct SimpleRule {
  std::int64_t period = 0;  // seconds, at the longest (a month of 31 days)
  int skips = 1;            // periods at most per occurrence
};

bool empty(const short* by) { return by[0] == ICAL_RECURRENCE_ARRAY_MAX; }

template <std::size_t N>
bool all_of(const short (&by)[N], auto&& ok) {
  for (std::size_t i = 0; i < N && by[i] != ICAL_RECURRENCE_ARRAY_MAX; ++i) {
    if (!ok(by[i])) return false;
  }
  return true;
}

// Whether every period of a rule holds an occurrence, for a bound on where
// COUNT ends: weekdays in a week, the nth weekday of a month (every month
// has four of each), a day of the month every month has, a month of a year.
bool every_period_occurs(const icalrecurrencetype& r) {
  if (!empty(r.by_set_pos) || !empty(r.by_week_no) || !empty(r.by_year_day)) return false;
  if (!empty(r.by_second) || !empty(r.by_minute) || !empty(r.by_hour)) return false;
  if (!empty(r.by_month) && r.freq != ICAL_YEARLY_RECURRENCE) return false;
  if (!empty(r.by_month_day) && !empty(r.by_day)) return false;
  if (!empty(r.by_month_day)) {
    if (r.freq != ICAL_MONTHLY_RECURRENCE && r.freq != ICAL_YEARLY_RECURRENCE) return false;
    return all_of(r.by_month_day, [](short d) { return d != 0 && d >= -28 && d <= 28; });
  }
  if (!empty(r.by_day)) {
    if (r.freq == ICAL_WEEKLY_RECURRENCE) {
      return all_of(r.by_day, [](short d) { return icalrecurrencetype_day_position(d) == 0; });
    }
    if (r.freq != ICAL_MONTHLY_RECURRENCE && !(r.freq == ICAL_YEARLY_RECURRENCE && !empty(r.by_month))) return false;
    return all_of(r.by_day, [](short d) { return std::abs(icalrecurrencetype_day_position(d)) <= 4; });
  }
  return true;
}

// The rule's period, and how many of them may pass without an occurrence
// when DTSTART's day is the one it repeats.
std::optional<SimpleRule> period_of(const icalrecurrencetype& r, const DateTimeValue& start) {
  const bool own_day = empty(r.by_day) && empty(r.by_month_day);
  SimpleRule simple;
  switch (r.freq) {
    case ICAL_HOURLY_RECURRENCE: simple.period = 3600; break;
    case ICAL_DAILY_RECURRENCE: simple.period = 86400; break;
    case ICAL_WEEKLY_RECURRENCE: simple.period = 7 * 86400; break;
    case ICAL_MONTHLY_RECURRENCE:
      simple.period = 31 * 86400;
      simple.skips = own_day && start.day > 28 ? 2 : 1;
      break;
    case ICAL_YEARLY_RECURRENCE:
      simple.period = 366 * 86400;
      simple.skips = own_day && empty(r.by_month) && start.month == 2 && start.day == 29 ? 8 : 1;
      break;
    default: return std::nullopt;
  }
  simple.period *= std::max<short>(r.interval, 1);
  return simple;
}

// No BYxxx part, except plain weekdays in a weekly rule.
std::optional<SimpleRule> simple_rule(const icalrecurrencetype& r, const DateTimeValue& start) {
  if (!empty(r.by_second) || !empty(r.by_minute) || !empty(r.by_hour) || !empty(r.by_month_day) ||
      !empty(r.by_year_day) || !empty(r.by_week_no) || !empty(r.by_month) || !empty(r.by_set_pos)) {
    return std::nullopt;
  }
  if (!empty(r.by_day) && (r.freq != ICAL_WEEKLY_RECURRENCE ||
                           !all_of(r.by_day, [](short d) { return icalrecurrencetype_day_position(d) == 0; }))) {
    return std::nullopt;
  }
  return period_of(r, start);
}

// Whether a simple monthly or yearly rule may start an occurrence in
// [low, high] (series wall seconds): false lets the range pass without
// asking libical, which costs more than the check for every such series.
bool may_occur(const icalrecurrencetype& r, const DateTimeValue& start, std::int64_t low, std::int64_t high) {
  if (r.freq != ICAL_MONTHLY_RECURRENCE && r.freq != ICAL_YEARLY_RECURRENCE) return true;
  if (!simple_rule(r, start)) return true;
  const int interval = std::max<short>(r.interval, 1);
  const LocalDateTime from = from_wall_seconds(low);
  const LocalDateTime to = from_wall_seconds(high);
  const bool yearly = r.freq == ICAL_YEARLY_RECURRENCE;
  std::int64_t index = yearly ? from.year : from.year * 12L + from.month - 1;
  const std::int64_t last = yearly ? to.year : to.year * 12L + to.month - 1;
  const std::int64_t first = yearly ? start.year : start.year * 12L + start.month - 1;
  if (last - index > 1200) return true;  // a long range: let libical walk it
  for (; index <= last; ++index) {
    if ((index - first) % interval != 0) continue;
    const int year = static_cast<int>(yearly ? index : floor_div(index, 12));
    const int month = yearly ? start.month : static_cast<int>(index - floor_div(index, 12) * 12) + 1;
    if (!is_valid_date(year, month, start.day)) continue;
    const std::int64_t at = wall_seconds({year, month, start.day, start.hour, start.minute, start.second});
    if (at >= low && at <= high) return true;
  }
  return false;
}

// Where the iterator starts for a range beginning at `low`: DTSTART moved
// forward by whole periods of the rule (INTERVAL times FREQ), which leaves
// every later occurrence as it was. libical's own icalrecur_iterator_set_start
// walks there period by period when INTERVAL is over 1, which costs more than
// the rest of a refresh together. Not for COUNT, which counts from DTSTART;
// months and years only from a day every month and year has. The start moved
// to may itself be no occurrence, but it lies before the range.
std::int64_t iterator_start(const icalrecurrencetype& r, const DateTimeValue& start, std::int64_t low) {
  const std::int64_t from = series_wall(start);
  const std::int64_t interval = std::max<short>(r.interval, 1);
  if (r.count > 0 || low <= from) return from;
  switch (r.freq) {
    case ICAL_DAILY_RECURRENCE:
    case ICAL_WEEKLY_RECURRENCE: {
      const std::int64_t period = interval * 86400 * (r.freq == ICAL_DAILY_RECURRENCE ? 1 : 7);
      return from + std::max<std::int64_t>(0, (low - from) / period - 1) * period;
    }
    case ICAL_MONTHLY_RECURRENCE:
    case ICAL_YEARLY_RECURRENCE: {
      if (start.day > 28) return from;
      const LocalDateTime to = from_wall_seconds(low);
      const std::int64_t months = r.freq == ICAL_MONTHLY_RECURRENCE ? 1 : 12;
      const std::int64_t period = interval * months;
      const std::int64_t elapsed = (to.year - start.year) * 12L + (to.month - start.month);
      const std::int64_t index = start.year * 12L + start.month - 1 +
                                 std::max<std::int64_t>(0, elapsed / period - 1) * period;
      const int year = static_cast<int>(floor_div(index, 12));
      return wall_seconds({year, static_cast<int>(index - year * 12L) + 1, start.day, start.hour, start.minute,
                           start.second});
    }
    default:
      return from;
  }
}

}  // namespace

std::optional<SeriesRule> read_series_rule(std::string_view event_bytes, const TimeZones& zones,
                                           std::string* problem) {
  SeriesRule rule;
  bool have_start = false;
  bool open_ended = false;
  std::int64_t last_until = std::numeric_limits<std::int64_t>::min();
  std::vector<std::string> rrules;
  // RDATE and EXDATE lines (true for RDATE), read once DTSTART's form is known.
  std::vector<std::pair<bool, std::string>> listed;
  LineScanner lines(event_bytes, 0, event_bytes.size(), 1);
  LogicalLine l;
  int depth = 0;
  while (lines.next(l)) {
    const std::string_view name = l.name;
    if (iequals(name, "BEGIN") || iequals(name, "END")) {
      depth += iequals(name, "BEGIN") ? 1 : -1;
      continue;
    }
    if (depth != 1) continue;
    const bool start = iequals(name, "DTSTART") && !have_start;
    const bool rrule = iequals(name, "RRULE"), rdate = iequals(name, "RDATE"),
               exdate = iequals(name, "EXDATE");
    if (!start && !rrule && !rdate && !exdate) continue;
    if (rdate || exdate) {
      listed.emplace_back(rdate, std::string(l.text));
      continue;
    }
    const auto p = parse_property(l.text);
    if (!p) continue;
    if (start) {
      rule.form = time_form_of(*p, zones);
      const auto v = parse_date_time(p->value, rule.form.kind == TimeForm::Kind::Date);
      if (!v) return std::nullopt;
      rule.start = *v;
      have_start = true;
    } else {
      rrules.emplace_back(p->value);
    }
  }
  if (!have_start) return std::nullopt;
  for (const auto& [is_rdate, text] : listed) {
    const auto p = parse_property(text);
    if (!p) continue;
    for (const OccurrenceTime& t : listed_times(*p, rule.form, zones, problem)) {
      if (is_rdate) {
        rule.dates.push_back(t);
      } else {
        rule.excluded.push_back(t.instant);
      }
    }
  }
  for (const std::string& text : rrules) {
    bool rscale = false;
    const icalrecurrencetype r = parse_rule(text, &rscale);
    if (r.freq == ICAL_NO_RECURRENCE) {
      *problem = "RRULE \"" + text.substr(0, 60) + "\" is not a rule that can be read";
    } else if (r.freq == ICAL_SECONDLY_RECURRENCE || r.freq == ICAL_MINUTELY_RECURRENCE) {
      *problem = "RRULE \"" + text.substr(0, 60) + "\" repeats more often than hourly";
    } else if (rscale) {
      *problem = "RRULE \"" + text.substr(0, 60) + "\" uses another calendar scale (RSCALE)";
    } else {
      rule.rules.push_back(text);
      if (r.count > 0) {
        // Where it ends is learnt by expanding it, or bounded here for a simple rule.
        const auto simple = r.count <= 100'000 ? period_of(r, rule.start) : std::nullopt;
        if (simple && every_period_occurs(r)) {
          const std::int64_t span = std::int64_t{r.count} * simple->skips * simple->period + simple->period;
          last_until = std::max(last_until, series_wall(rule.start) + span);
        } else {
          open_ended = true;
        }
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
    bool rscale = false;
    icalrecurrencetype r = parse_rule(text, &rscale);
    std::int64_t end = high;
    if (!icaltime_is_null_time(r.until)) end = std::min(end, until_wall(r.until, rule, zones));
    const bool ends_in_range = end < high;
    // The range's end as UNTIL stops the iterator even where the rule never
    // matches again (BYMONTHDAY=30 in February), which would otherwise run on.
    r.until = floating(end, is_date);
    if (!may_occur(r, rule.start, low, std::min(end, high))) {
      all_ended = false;  // not known, and not needed: nothing lies in the range
      continue;
    }
    IteratorPtr it(icalrecur_iterator_new(r, floating(iterator_start(r, rule.start, low), is_date)));
    if (!it) continue;  // libical found that the rule never matches
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
