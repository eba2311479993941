// Date-time values as iCalendar writes them, and their meaning in the
// store's local time zone. libical supplies the time zone rules (its
// built-in zones and the file's own VTIMEZONEs) and duration syntax.
#pragma once

#include <libical/ical.h>

#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "ical_handles.h"
#include "platform/calendar/calendar_store.h"

namespace platform::calendar::detail {

struct DateTimeValue {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool is_date = false;
  bool is_utc = false;
};

// "YYYYMMDD" or "YYYYMMDDTHHMMSS" with an optional "Z"; the date form also
// when `date_only` (VALUE=DATE). Out-of-range fields are rejected.
std::optional<DateTimeValue> parse_date_time(std::string_view value, bool date_only);
std::string format_date_time(const DateTimeValue& v);

// How a DTSTART or DTEND is written: kept when the store rewrites it.
struct TimeForm {
  enum class Kind : std::uint8_t { Date, Floating, Utc, Zoned } kind = Kind::Floating;
  std::string tzid;               // as written, for Zoned
  icaltimezone* zone = nullptr;   // Zoned and known; an unknown TZID reads as floating
};

class TimeZones {
 public:
  // Times from the start of `recent_day` (days since the epoch, UTC) on are
  // reckoned with copies of the zones cut there; see reckoning(). The
  // default day is the first of the year ten years back.
  explicit TimeZones(icaltimezone* local);
  TimeZones(icaltimezone* local, std::int64_t recent_day);
  TimeZones(TimeZones&&) noexcept = default;
  TimeZones& operator=(TimeZones&&) noexcept = default;

  // A VTIMEZONE block from the file. False when libical cannot use it.
  // Blocks of the same bytes (a folder's files each carrying the zones they
  // use) are parsed once and share one zone.
  bool add_vtimezone(std::string_view block);
  // The length of a block already added (by this file or another) that
  // `rest` starts with, else 0: a folder's files carry the same zones, and
  // one compare tells that the block needs no scanning again.
  std::size_t known_block_at(std::string_view rest) const;
  // While one file of a folder is indexed: its own VTIMEZONEs come before
  // those of the other files, so that each file's TZIDs name its own zones.
  void begin_file();
  void end_file();
  // Ends the file as if its VTIMEZONEs had never been added: for a file
  // refused part way through its indexing.
  void drop_file();
  // The file's VTIMEZONE of that TZID, else a built-in zone; nullptr if neither.
  icaltimezone* find(std::string_view tzid) const;
  bool file_defines(std::string_view tzid) const;
  icaltimezone* local() const { return local_; }

  // The instant a wall-clock time in `zone` names, and the wall-clock time in
  // `zone` at an instant, as libical reckons them. Each day's UTC offset is
  // asked of libical once and kept, unless the offset changes on that day.
  std::int64_t epoch_of_wall(const DateTimeValue& v, icaltimezone* zone) const;
  DateTimeValue wall_at(std::int64_t epoch_seconds, icaltimezone* zone) const;

 private:
  // Seconds east of UTC through a whole day, or kChanges; by zone, then by the
  // day's number (a local day for wall times, a UTC day for instants).
  static constexpr int kChanges = 1 << 30;
  // Days are kept in blocks of 256 (a file's events crowd into a few years,
  // so a few blocks hold them all), and the block last used is kept beside
  // the table: a file's events come in runs on nearby days in one zone, so
  // most look-ups are one index. Files use a zone or three, found by a
  // linear search.
  static constexpr int kUnknown = -(1 << 30);
  static constexpr int kBlockDays = 256;
  using DayBlock = std::array<int, kBlockDays>;
  struct ZoneDays {
    const icaltimezone* zone = nullptr;
    std::unordered_map<std::int64_t, std::unique_ptr<DayBlock>> blocks;
    std::int64_t last_block = 0;
    DayBlock* last = nullptr;
  };
  mutable std::vector<ZoneDays> wall_offsets_, instant_offsets_;
  int day_offset(std::vector<ZoneDays>& offsets, icaltimezone* zone, std::int64_t day, bool wall) const;

  // libical works out a zone's changes from its first observance on, one
  // occurrence at a time through its recurrence engine, and a built-in
  // zone's history begins in the nineteenth century: for a small calendar
  // that was a third of the start. A day after `recent_day_` (a local day or
  // a UTC day: a day's margin covers any offset) is reckoned with a copy of
  // its zone that libical has cut at the start of `recent_day_`, keeping the
  // offset in force then, so that a calendar of recent events expands only
  // recent years; earlier days use the zone itself. libical works the changes
  // out to five years after the latest day asked about, from the zone's
  // first observance on: a day after the start of 2037 (a settings
  // appointment decades ahead, say) is reckoned with a copy cut at the start
  // of its four years, so that neither the recent copy nor a far one is
  // worked out over the decades between.
  icaltimezone* reckoning(icaltimezone* zone, std::int64_t day) const;
  std::int64_t recent_day_;
  struct CutZone {
    const icaltimezone* zone = nullptr;
    std::int64_t cut_day = 0;
    TimezonePtr copy;  // null when the zone cannot be cut: then the zone itself
  };
  mutable std::vector<CutZone> cut_zones_;

  icaltimezone* local_;
  std::vector<TimezonePtr> owned_;
  // Tables looked up by a string_view in place, without a copy of it (a
  // TZID such as America/New_York is past the short-string room: a copy
  // an event).
  struct ViewHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return std::hash<std::string_view>{}(text); }
  };
  using ZonesByName = std::unordered_map<std::string, icaltimezone*, ViewHash, std::equal_to<>>;
  ZonesByName file_zones_;
  // The zones of the file being indexed, by TZID (a Parsed's), while
  // in_file_: a few, looked at in order, and no allocation for each file.
  std::vector<std::pair<const std::string*, icaltimezone*>> this_file_;
  bool in_file_ = false;
  std::vector<std::string> added_in_file_;  // the TZIDs it added to file_zones_
  // Every block parsed, by its bytes: the zone and its TZID, or no zone when
  // libical cannot use it.
  struct Parsed {
    icaltimezone* zone = nullptr;
    std::string tzid;
  };
  // Looked up by the block's bytes in place: a folder's every file carries
  // its zones, and copying each block to look it up cost more than the rest.
  std::unordered_map<std::string, Parsed, ViewHash, std::equal_to<>> parsed_;
  // Up to this many blocks, a block is looked for by comparing it with each.
  static constexpr std::size_t kMostCompared = 32;
  Parsed parse_vtimezone(const std::string& text);
  mutable ZonesByName builtin_cache_;
};

// Whether a zone name ("Etc/UTC", "GMT", "Zulu", ...) names UTC itself.
bool names_utc(std::string_view name);

LocalDateTime to_local(const DateTimeValue& v, const TimeForm& form, const TimeZones& zones);
DateTimeValue from_local(const LocalDateTime& t, const TimeForm& form, const TimeZones& zones);
// Seconds since the epoch; floating and date values count as local time.
std::int64_t to_epoch_seconds(const DateTimeValue& v, const TimeForm& form,
                              const TimeZones& zones);
// The value that `form` writes for the instant `epoch_seconds` (the local
// date for the date form); the inverse of to_epoch_seconds.
DateTimeValue value_at(std::int64_t epoch_seconds, const TimeForm& form, const TimeZones& zones);

// The value `end_form` writes for the end of an appointment `minutes` long
// from the local time `start` (the instant `start_instant`), as a listing
// measures a length: whole days from a date to a date, elapsed time
// otherwise (so that one across a change of clocks lasts what it says).
DateTimeValue written_end(const LocalDateTime& start, std::int64_t start_instant, std::int32_t minutes,
                          const TimeForm& start_form, const TimeForm& end_form, const TimeZones& zones);

std::string format_utc_stamp(std::int64_t epoch_seconds);

// Signed seconds of an RFC 5545 duration; nullopt when malformed.
std::optional<std::int64_t> parse_duration_seconds(std::string_view value);
std::string format_duration_minutes(std::int32_t minutes);

}  // namespace platform::calendar::detail
