// Date-time parsing and time zone conversion on top of libical.
#include "ical_time.h"

#include <algorithm>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "wall_time.h"
#include "content_line.h"

namespace platform::calendar::detail {

namespace {

bool read_digits(std::string_view s, std::size_t pos, std::size_t count, int* out) {
  int v = 0;
  for (std::size_t i = pos; i < pos + count; ++i) {
    if (i >= s.size() || s[i] < '0' || s[i] > '9') return false;
    v = v * 10 + (s[i] - '0');
  }
  *out = v;
  return true;
}

icaltimetype to_ical(const DateTimeValue& v) {
  icaltimetype t = icaltime_null_time();
  t.year = v.year;
  t.month = v.month;
  t.day = v.day;
  t.hour = v.hour;
  t.minute = v.minute;
  t.second = v.second;
  t.is_date = 0;
  return t;
}

DateTimeValue convert(const DateTimeValue& v, icaltimezone* from, icaltimezone* to, const TimeZones& zones) {
  if (from == to) return v;
  DateTimeValue out = zones.wall_at(zones.epoch_of_wall(v, from), to);
  out.is_date = v.is_date;
  out.is_utc = v.is_utc;
  return out;
}

icaltimetype ical_at_wall_seconds(std::int64_t wall) {
  const LocalDateTime t = from_wall_seconds(wall);
  return to_ical({t.year, t.month, t.day, t.hour, t.minute, t.second});
}

// The offset (seconds east of UTC) that holds through the whole day starting
// at `day_start` (wall seconds), or `changes` when it differs anywhere in it
// or at the end of the day before. `offset_at` asks libical at one moment.
template <typename OffsetAt>
int offset_through_day(std::int64_t day_start, int changes, OffsetAt offset_at) {
  const int first = offset_at(day_start);
  for (const std::int64_t at : {day_start - 1, day_start + 43200, day_start + 86399})
    if (offset_at(at) != first) return changes;
  return first;
}

}  // namespace

bool names_utc(std::string_view name) {
  for (std::string_view utc : {"UTC", "UTC0", "Etc/UTC", "GMT", "Etc/GMT", "Universal",
                               "Etc/Universal", "Zulu", "Etc/Zulu"}) {
    if (name == utc) return true;
  }
  return false;
}

std::optional<DateTimeValue> parse_date_time(std::string_view s, bool date_only) {
  DateTimeValue v;
  if (!read_digits(s, 0, 4, &v.year) || !read_digits(s, 4, 2, &v.month) ||
      !read_digits(s, 6, 2, &v.day)) {
    return std::nullopt;
  }
  if (s.size() == 8) {
    v.is_date = true;
  } else {
    if (date_only) return std::nullopt;
    if (s.size() != 15 && !(s.size() == 16 && (s[15] == 'Z' || s[15] == 'z'))) return std::nullopt;
    if (s[8] != 'T' && s[8] != 't') return std::nullopt;
    if (!read_digits(s, 9, 2, &v.hour) || !read_digits(s, 11, 2, &v.minute) ||
        !read_digits(s, 13, 2, &v.second)) {
      return std::nullopt;
    }
    v.is_utc = s.size() == 16;
  }
  if (!is_valid_date(v.year, v.month, v.day) || !is_valid_time(v.hour, v.minute, v.second)) {
    return std::nullopt;
  }
  return v;
}

std::string format_date_time(const DateTimeValue& v) {
  char buf[32];
  if (v.is_date) {
    std::snprintf(buf, sizeof buf, "%04d%02d%02d", v.year, v.month, v.day);
  } else {
    std::snprintf(buf, sizeof buf, "%04d%02d%02dT%02d%02d%02d%s", v.year, v.month, v.day, v.hour,
                  v.minute, v.second, v.is_utc ? "Z" : "");
  }
  return buf;
}

namespace {

std::int64_t first_day_ten_years_back() {
  const LocalDateTime now = from_wall_seconds(static_cast<std::int64_t>(std::time(nullptr)));
  return days_from_civil(now.year - 10, 1, 1);
}

// Whether libical's cut can keep every observance of `vtimezone` right: it
// passes over one without a name or either offset, which would leave that
// observance's earlier changes beside the offset it keeps at the cut.
bool complete_observances(icalcomponent* vtimezone) {
  for (icalcomponent* part = icalcomponent_get_first_component(vtimezone, ICAL_ANY_COMPONENT); part != nullptr;
       part = icalcomponent_get_next_component(vtimezone, ICAL_ANY_COMPONENT)) {
    for (const icalproperty_kind kind :
         {ICAL_DTSTART_PROPERTY, ICAL_TZNAME_PROPERTY, ICAL_TZOFFSETFROM_PROPERTY, ICAL_TZOFFSETTO_PROPERTY}) {
      if (icalcomponent_get_first_property(part, kind) == nullptr) return false;
    }
  }
  return true;
}

// A copy of `zone` cut by libical at the start of `day`: the same offsets
// from then on, without the changes before. Null for a zone without rules
// (UTC) or one the cut could get wrong.
TimezonePtr cut_copy(icaltimezone* zone, std::int64_t day) {
  icalcomponent* vtimezone = icaltimezone_get_component(zone);
  if (vtimezone == nullptr || !complete_observances(vtimezone)) return {};
  ComponentPtr copy(icalcomponent_new_clone(vtimezone));
  if (!copy) return {};
  const icaltimetype start =
      icaltime_from_timet_with_zone(static_cast<time_t>(day * 86400), 0, icaltimezone_get_utc_timezone());
  icaltimezone_truncate_vtimezone(copy.get(), start, icaltime_null_time(), 0);
  TimezonePtr cut(icaltimezone_new());
  if (!cut || icaltimezone_set_component(cut.get(), copy.get()) == 0) return {};
  copy.release();  // the zone owns it now
  return cut;
}

}  // namespace

TimeZones::TimeZones(icaltimezone* local) : TimeZones(local, first_day_ten_years_back()) {}

TimeZones::TimeZones(icaltimezone* local, std::int64_t recent_day) : recent_day_(recent_day), local_(local) {}

icaltimezone* TimeZones::reckoning(icaltimezone* zone, std::int64_t day) const {
  if (day <= recent_day_) return zone;
  constexpr std::int64_t kFarFrom = days_from_civil(2037, 1, 1);
  std::int64_t cut_day = recent_day_;
  if (day > kFarFrom) {
    // Far days share a copy per four years, cut on the first day of the
    // first of them (before the day, which keeps a day's margin).
    const int year = civil_from_days(day - 1).year;
    cut_day = std::max(days_from_civil(year - year % 4, 1, 1), recent_day_);
  }
  auto cut = std::find_if(cut_zones_.begin(), cut_zones_.end(),
                          [&](const CutZone& c) { return c.zone == zone && c.cut_day == cut_day; });
  if (cut == cut_zones_.end()) {
    cut = cut_zones_.insert(cut_zones_.end(), CutZone{zone, cut_day, cut_copy(zone, cut_day)});
  }
  return cut->copy ? cut->copy.get() : zone;
}

namespace {

// libical expands a zone's rules one occurrence at a time from the rule's
// first year; rules no real zone has (more often than yearly, or starting
// in the distant past) would take it minutes. Such a zone is treated as an
// unknown one: its times read as floating.
bool plausible_observances(icalcomponent* vtimezone) {
  for (icalcomponent* part = icalcomponent_get_first_component(vtimezone, ICAL_ANY_COMPONENT); part != nullptr;
       part = icalcomponent_get_next_component(vtimezone, ICAL_ANY_COMPONENT)) {
    icalproperty* start = icalcomponent_get_first_property(part, ICAL_DTSTART_PROPERTY);
    if (start != nullptr && icalproperty_get_dtstart(start).year < 1000) return false;
    for (icalproperty* rule = icalcomponent_get_first_property(part, ICAL_RRULE_PROPERTY); rule != nullptr;
         rule = icalcomponent_get_next_property(part, ICAL_RRULE_PROPERTY)) {
      const icalrecurrencetype recur = icalproperty_get_rrule(rule);
      if (recur.freq != ICAL_YEARLY_RECURRENCE || recur.interval > 1 || recur.rscale != nullptr) return false;
    }
  }
  return true;
}

}  // namespace

bool TimeZones::add_vtimezone(std::string_view block) {
  // A folder's files repeat the same few blocks: comparing with each costs
  // less than hashing the block's kilobyte or two.
  auto it = parsed_.end();
  if (parsed_.size() <= kMostCompared) {
    it = std::find_if(parsed_.begin(), parsed_.end(), [block](const auto& p) { return p.first == block; });
  } else {
    it = parsed_.find(block);
  }
  if (it == parsed_.end()) {
    it = parsed_.emplace(std::string(block), Parsed{}).first;
    it->second = parse_vtimezone(it->first);
  }
  const Parsed& parsed = it->second;
  if (parsed.zone == nullptr) return false;
  // The first definition of a TZID wins, as in libical.
  const bool added = file_zones_.emplace(parsed.tzid, parsed.zone).second;
  if (in_file_ && std::none_of(this_file_.begin(), this_file_.end(),
                               [&](const auto& z) { return *z.first == parsed.tzid; })) {
    this_file_.emplace_back(&parsed.tzid, parsed.zone);
    if (added) added_in_file_.push_back(parsed.tzid);
  }
  return true;
}

std::size_t TimeZones::known_block_at(std::string_view rest) const {
  // A calendar with very many zones is rare; comparing with each would cost more than it saves.
  if (parsed_.size() > kMostCompared) return 0;
  for (const auto& [block, parsed] : parsed_) {
    if (rest.starts_with(block)) return block.size();
  }
  return 0;
}

TimeZones::Parsed TimeZones::parse_vtimezone(const std::string& text) {
  ComponentPtr component(icalparser_parse_string(text.c_str()));
  if (!component) return {};
  icalcomponent* vtimezone = component.get();
  if (icalcomponent_isa(vtimezone) != ICAL_VTIMEZONE_COMPONENT) {
    vtimezone = icalcomponent_get_first_component(vtimezone, ICAL_VTIMEZONE_COMPONENT);
    if (vtimezone == nullptr) return {};
    icalcomponent_remove_component(component.get(), vtimezone);
    component.reset(vtimezone);
  }
  icalproperty* tzid_prop = icalcomponent_get_first_property(vtimezone, ICAL_TZID_PROPERTY);
  const char* tzid = tzid_prop ? icalproperty_get_tzid(tzid_prop) : nullptr;
  if (tzid == nullptr || *tzid == '\0') return {};
  std::string name(tzid);
  if (!plausible_observances(vtimezone)) return {};
  TimezonePtr zone(icaltimezone_new());
  if (!zone || icaltimezone_set_component(zone.get(), vtimezone) == 0) return {};
  component.release();  // the zone owns it now
  Parsed parsed{zone.get(), std::move(name)};
  owned_.push_back(std::move(zone));
  return parsed;
}

void TimeZones::begin_file() {
  this_file_.clear();
  added_in_file_.clear();
  in_file_ = true;
}

void TimeZones::end_file() {
  this_file_.clear();
  added_in_file_.clear();
  in_file_ = false;
}

void TimeZones::drop_file() {
  for (const std::string& tzid : added_in_file_) file_zones_.erase(tzid);
  end_file();
}

icaltimezone* TimeZones::find(std::string_view tzid) const {
  if (in_file_) {
    for (const auto& [file_tzid, zone] : this_file_) {
      if (*file_tzid == tzid) return zone;
    }
  }
  if (auto it = file_zones_.find(tzid); it != file_zones_.end()) return it->second;
  if (auto it = builtin_cache_.find(tzid); it != builtin_cache_.end()) return it->second;
  const std::string name(tzid);
  icaltimezone* zone = nullptr;
  if (names_utc(name)) {
    zone = icaltimezone_get_utc_timezone();
  } else if (!name.empty()) {
    zone = icaltimezone_get_builtin_timezone(name.c_str());
    if (zone == nullptr) zone = icaltimezone_get_builtin_timezone_from_tzid(name.c_str());
    // Writers prefix Olson names with their own paths
    // ("/mozilla.org/20050126_1/America/New_York"); try each tail.
    for (std::size_t slash = name.find('/'); zone == nullptr && slash != std::string::npos;
         slash = name.find('/', slash + 1)) {
      const std::string tail = name.substr(slash + 1);
      if (!tail.empty()) zone = icaltimezone_get_builtin_timezone(tail.c_str());
    }
  }
  builtin_cache_.emplace(name, zone);
  return zone;
}

bool TimeZones::file_defines(std::string_view tzid) const {
  return file_zones_.find(tzid) != file_zones_.end();
}

LocalDateTime to_local(const DateTimeValue& v, const TimeForm& form, const TimeZones& zones) {
  if (v.is_date) return {v.year, v.month, v.day, 0, 0, 0};
  DateTimeValue local = v;
  if (v.is_utc) {
    local = convert(v, icaltimezone_get_utc_timezone(), zones.local(), zones);
  } else if (form.kind == TimeForm::Kind::Zoned && form.zone != nullptr) {
    local = convert(v, form.zone, zones.local(), zones);
  }
  return {local.year, local.month, local.day, local.hour, local.minute, local.second};
}

DateTimeValue from_local(const LocalDateTime& t, const TimeForm& form, const TimeZones& zones) {
  DateTimeValue v{t.year, t.month, t.day, t.hour, t.minute, t.second, false, false};
  switch (form.kind) {
    case TimeForm::Kind::Date:
      v.hour = v.minute = v.second = 0;
      v.is_date = true;
      return v;
    case TimeForm::Kind::Floating:
      return v;
    case TimeForm::Kind::Utc:
      v = convert(v, zones.local(), icaltimezone_get_utc_timezone(), zones);
      v.is_utc = true;
      return v;
    case TimeForm::Kind::Zoned:
      return form.zone != nullptr ? convert(v, zones.local(), form.zone, zones) : v;
  }
  return v;
}

std::int64_t to_epoch_seconds(const DateTimeValue& v, const TimeForm& form,
                              const TimeZones& zones) {
  icaltimezone* zone = zones.local();
  if (v.is_utc) {
    zone = icaltimezone_get_utc_timezone();
  } else if (!v.is_date && form.kind == TimeForm::Kind::Zoned && form.zone != nullptr) {
    zone = form.zone;
  }
  return zones.epoch_of_wall(v, zone);
}

int TimeZones::day_offset(std::vector<ZoneDays>& offsets, icaltimezone* zone, std::int64_t day,
                          bool wall) const {
  auto z = std::find_if(offsets.begin(), offsets.end(), [zone](const ZoneDays& d) { return d.zone == zone; });
  if (z == offsets.end()) z = offsets.insert(offsets.end(), ZoneDays{zone, {}, 0, nullptr});
  const std::int64_t block = floor_div(day, kBlockDays);
  if (z->last == nullptr || z->last_block != block) {
    auto& slot = z->blocks[block];
    if (!slot) {
      slot = std::make_unique<DayBlock>();
      slot->fill(kUnknown);
    }
    z->last = slot.get();
    z->last_block = block;
  }
  int& offset = (*z->last)[static_cast<std::size_t>(day - block * kBlockDays)];
  if (offset == kUnknown) {
    icaltimezone* reckoned = reckoning(zone, day);
    offset = offset_through_day(day * 86400, kChanges, [reckoned, wall](std::int64_t at) {
      icaltimetype t = ical_at_wall_seconds(at);
      return wall ? icaltimezone_get_utc_offset(reckoned, &t, nullptr)
                  : icaltimezone_get_utc_offset_of_utc_time(reckoned, &t, nullptr);
    });
  }
  return offset;
}

std::int64_t TimeZones::epoch_of_wall(const DateTimeValue& v, icaltimezone* zone) const {
  const std::int64_t wall = wall_seconds({v.year, v.month, v.day, v.hour, v.minute, v.second});
  const std::int64_t day = floor_div(wall, 86400);
  const int offset = day_offset(wall_offsets_, zone, day, true);
  if (offset != kChanges) return wall - offset;
  return static_cast<std::int64_t>(icaltime_as_timet_with_zone(to_ical(v), reckoning(zone, day)));
}

DateTimeValue TimeZones::wall_at(std::int64_t epoch_seconds, icaltimezone* zone) const {
  const std::int64_t day = floor_div(epoch_seconds, 86400);
  const int offset = day_offset(instant_offsets_, zone, day, false);
  if (offset != kChanges) {
    const LocalDateTime t = from_wall_seconds(epoch_seconds + offset);
    return {t.year, t.month, t.day, t.hour, t.minute, t.second};
  }
  const icaltimetype t = icaltime_from_timet_with_zone(static_cast<time_t>(epoch_seconds), 0, reckoning(zone, day));
  return {t.year, t.month, t.day, t.hour, t.minute, t.second};
}

DateTimeValue value_at(std::int64_t epoch_seconds, const TimeForm& form, const TimeZones& zones) {
  icaltimezone* zone = zones.local();
  if (form.kind == TimeForm::Kind::Utc) {
    zone = icaltimezone_get_utc_timezone();
  } else if (form.kind == TimeForm::Kind::Zoned && form.zone != nullptr) {
    zone = form.zone;
  }
  const bool date = form.kind == TimeForm::Kind::Date;
  DateTimeValue v = zones.wall_at(epoch_seconds, zone);
  v.is_date = date;
  v.is_utc = form.kind == TimeForm::Kind::Utc;
  if (date) v.hour = v.minute = v.second = 0;
  return v;
}

DateTimeValue written_end(const LocalDateTime& start, std::int64_t start_instant, std::int32_t minutes,
                          const TimeForm& start_form, const TimeForm& end_form, const TimeZones& zones) {
  if (start_form.kind == TimeForm::Kind::Date && end_form.kind == TimeForm::Kind::Date) {
    return from_local(from_wall_seconds(wall_seconds(start) + std::int64_t{minutes} * 60), end_form, zones);
  }
  return value_at(start_instant + std::int64_t{minutes} * 60, end_form, zones);
}

std::string format_utc_stamp(std::int64_t epoch_seconds) {
  const LocalDateTime t = from_wall_seconds(epoch_seconds);
  return format_date_time({t.year, t.month, t.day, t.hour, t.minute, t.second, false, true});
}

std::optional<std::int64_t> parse_duration_seconds(std::string_view value) {
  if (value.empty()) return std::nullopt;
  const std::string text(value);
  const icaldurationtype d = icaldurationtype_from_string(text.c_str());
  if (icaldurationtype_is_bad_duration(d)) return std::nullopt;
  return icaldurationtype_as_int(d);
}

std::string format_duration_minutes(std::int32_t minutes) {
  const icaldurationtype d = icaldurationtype_from_int(minutes * 60);
  IcalStringPtr text(icaldurationtype_as_ical_string_r(d));
  return text ? std::string(text.get()) : std::string("PT0S");
}

}  // namespace platform::calendar::detail
