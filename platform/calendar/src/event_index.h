// The index of a calendar file: where each VEVENT's bytes are and the few
// values that sorting and searching need. The file's bytes stay the single
// source of truth; nothing here is written back.
#pragma once

#include <cstddef>
#include <cstdint>
#include <forward_list>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "content_line.h"
#include "ical_time.h"
#include "platform/calendar/calendar_store.h"

namespace platform::calendar::detail {

struct EventTiming {
  LocalDateTime start{};
  std::int32_t duration_minutes = 0;
  bool all_day = false;
  friend bool operator==(const EventTiming&, const EventTiming&) = default;
};

// Where an event's own (not its VALARMs') SUMMARY, DESCRIPTION and first
// CATEGORIES lines start, counted from the event's first byte, so that a
// search for one field decodes that line alone instead of the whole event.
// An event whose lines start further in than 16 bits count is read whole.
inline constexpr std::uint16_t kNoLine = 0xFFFF;
struct TextLines {
  // text_hash of the subject when it was cheap to learn while indexing (most
  // subjects are plain ASCII), so that a search for another subject can pass
  // the event by without reading it.
  std::uint32_t subject_hash = 0;
  std::uint16_t summary = kNoLine;
  std::uint16_t description = kNoLine;
  std::uint16_t categories = kNoLine;
  bool more_categories : 1 = false;  // CATEGORIES appears more than once
  bool whole : 1 = false;            // offsets do not fit: read the whole event
  bool subject_hashed : 1 = false;
};

// What few events have: a UID the file folds over two lines, and an
// override's RECURRENCE-ID. Kept apart, so that the index of a large
// calendar holds no string of its own for each event.
struct RareEventText {
  std::string uid;            // when not in the event's bytes in one piece
  std::string recurrence_id;  // value and TZID, as written
  // The instant RECURRENCE-ID names (epoch seconds; dates and floating
  // times as local time), when it can be read.
  std::optional<std::int64_t> recurrence_instant;
};

// An event's RareEventText, or none; a copy of the event copies it.
class RareText {
 public:
  RareText() = default;
  RareText(const RareText& other) { *this = other; }
  RareText(RareText&&) noexcept = default;
  RareText& operator=(const RareText& other) {
    if (this != &other) text_ = other.text_ ? std::make_unique<RareEventText>(*other.text_) : nullptr;
    return *this;
  }
  RareText& operator=(RareText&&) noexcept = default;

  const RareEventText* get() const { return text_.get(); }
  RareEventText& make() {
    if (!text_) text_ = std::make_unique<RareEventText>();
    return *text_;
  }

 private:
  std::unique_ptr<RareEventText> text_;
};

// One event of the index. A calendar of a million events holds a million of
// these beside its bytes: the fields are packed (56 bytes), and what few
// events need lives in `rare`.
struct IndexedEvent {
  std::size_t begin = 0;  // "BEGIN:VEVENT" line
  std::size_t end = 0;    // one past the "END:VEVENT" line's terminator
  RareText rare;
  // Its start in local wall seconds (see wall_time.h), length and kind: a
  // packed EventTiming.
  std::int64_t start_wall = 0;
  std::int32_t duration_minutes = 0;
  Oid oid = 0;
  TextLines text;
  // The UID's value as written, counted from the event's first byte, when it
  // stands there in one piece within reach of these (else in rare); size 0
  // for none.
  std::uint16_t uid_at = 0;
  std::uint8_t uid_size = 0;
  bool all_day : 1 = false;
  bool recurring : 1 = false;  // has RRULE or RDATE: later listed per occurrence

  EventTiming timing() const;

  // The UID as written; `bytes` are those `begin` counts in.
  std::string_view uid(std::string_view bytes) const {
    if (rare.get() != nullptr && !rare.get()->uid.empty()) return rare.get()->uid;
    return bytes.substr(begin + uid_at, uid_size);
  }
  bool has_uid() const { return uid_size != 0 || (rare.get() != nullptr && !rare.get()->uid.empty()); }
  // Value and TZID of RECURRENCE-ID, as written; empty for a master.
  std::string_view recurrence_id() const {
    return rare.get() != nullptr ? std::string_view(rare.get()->recurrence_id) : std::string_view();
  }
  std::optional<std::int64_t> recurrence_instant() const {
    return rare.get() != nullptr ? rare.get()->recurrence_instant : std::nullopt;
  }
};

struct ScanError {
  int line = 0;
  std::string reason;
};

// An event the store cannot place in time (no DTSTART, a date that is no
// date, ...): its bytes stay in the file as they are, and it is not listed.
struct SkippedEvent {
  std::size_t begin = 0, end = 0;
  ScanError error;
};

struct CalendarScan {
  std::vector<IndexedEvent> events;  // in file order
  std::vector<SkippedEvent> skipped;  // in file order
  // Where a new event goes: the start of the last "END:VCALENDAR" line, or
  // npos when the file has no calendar yet.
  std::size_t insert_at = std::string_view::npos;
  std::string eol;
};

struct ScanResult {
  std::optional<CalendarScan> scan;
  ScanError error;
};

// Checks the file's structure, loads its VTIMEZONEs into `zones` and indexes
// every VEVENT. A broken structure refuses the file; one broken event only
// sets that event aside. A byte order mark at the start is skipped.
ScanResult scan_calendar(std::string_view bytes, TimeZones& zones);

// The same, with the file split at the first "BEGIN:VEVENT" line at or after
// `split_near` and its two parts read on two threads at once, when the
// calendar alone is open there. nullopt when the file has no such line,
// holds a VTIMEZONE after an event (which scan_calendar handles by reading
// the file again), or is refused after the split (scan_calendar tells why,
// with the line numbers of one pass).
// The second part's events go to the first part's thread in blocks of
// `block`, and at most `waiting` blocks wait there at a time: the reader
// then waits for room. 96 blocks (393k events, 53 MB) is about what waits
// at a million events when both threads keep pace, so the bound only
// holds back a reader whose taker was held up (before it, such runs
// peaked up to 20 MB above the end state; fewer blocks made the reader
// wait in every run, and the start slower).
struct HandOver {
  std::size_t block = 4096;
  std::size_t waiting = 96;
};
std::optional<ScanResult> scan_in_two(std::string_view bytes, TimeZones& zones, std::size_t split_near,
                                      const HandOver& hand_over = {});

// A DTSTART, DTEND or RECURRENCE-ID value as written, in 24 bytes: the
// second half of a large file keeps its events' until the zones are at hand.
struct WrittenTime {
  const char* tzid_data = nullptr;  // the TZID as written, for the zoned form
  std::uint32_t tzid_size = 0;
  std::uint16_t year = 0;
  std::uint8_t month = 0, day = 0, hour = 0, minute = 0, second = 0;
  bool is_date = false, is_utc = false;
  TimeForm::Kind kind = TimeForm::Kind::Floating;

  static WrittenTime of(const DateTimeValue& v, TimeForm::Kind kind, std::string_view tzid) {
    return {tzid.data(),
            static_cast<std::uint32_t>(tzid.size()),
            static_cast<std::uint16_t>(v.year),
            static_cast<std::uint8_t>(v.month),
            static_cast<std::uint8_t>(v.day),
            static_cast<std::uint8_t>(v.hour),
            static_cast<std::uint8_t>(v.minute),
            static_cast<std::uint8_t>(v.second),
            v.is_date,
            v.is_utc,
            kind};
  }
  std::string_view tzid() const { return {tzid_data, tzid_size}; }
  DateTimeValue value() const { return {year, month, day, hour, minute, second, is_date, is_utc}; }
};

// An event's times as its lines write them. The zones their TZIDs name are
// looked up when the times are placed, so that the lines can be read where
// the zones are not at hand.
struct WrittenTimes {
  WrittenTime start;
  WrittenTime finish;  // DTEND
  // RECURRENCE-ID, when it can be read: only overrides have one.
  std::unique_ptr<WrittenTime> recurrence;
  std::int64_t duration_seconds = 0;
  enum class End : std::uint8_t { None, Dtend, Duration } end = End::None;
};

// Text that WrittenTimes name, where they cannot name the file's bytes.
using KeptText = std::forward_list<std::string>;

// A file read as scan_calendar reads it but without the zones, so that it
// can be read on another thread: its events' times are kept as written, its
// VTIMEZONEs as where they are, until place_scan places them. The times name
// no byte of the file, which may move meanwhile.
struct UnplacedScan {
  ScanResult result;  // the events' times not yet set
  std::vector<WrittenTimes> times;  // one for each event
  KeptText kept;  // the TZIDs `times` names
  std::vector<std::pair<std::size_t, std::size_t>> zone_blocks;
};
// Zone blocks of earlier files, which later ones often repeat byte for byte.
using KnownZoneBlocks = std::vector<std::string>;
UnplacedScan scan_unplaced(std::string_view bytes, KnownZoneBlocks* known = nullptr);
// Adds the file's VTIMEZONEs to `zones` as one file's and sets its events'
// times: what scan_calendar would have given for `bytes`. Only for a file
// that was not refused.
void place_scan(std::string_view bytes, UnplacedScan& unplaced, TimeZones& zones);

struct EventResult {
  std::optional<IndexedEvent> event;
  ScanError error;
};

// One VEVENT block [begin, end) of `bytes`; line numbers count from `first_line`.
EventResult index_event(std::string_view bytes, std::size_t begin, std::size_t end, int first_line,
                        const TimeZones& zones);

// The human-readable fields, read on demand (UTF-8, unescaped).
struct EventText {
  std::string summary;
  std::string description;
  std::string categories;
};
enum TextField : unsigned { kSummary = 1, kDescription = 2, kCategories = 4, kAllText = 7 };
// The fields in `which` (a set of TextField), read from the lines `at` names;
// the others stay empty.
EventText read_event_text(std::string_view event_bytes, const TextLines& at, unsigned which);
// All three, found by scanning the whole event.
EventText read_event_text(std::string_view event_bytes);

// The form a DTSTART/DTEND property is written in.
TimeForm time_form_of(const Property& p, const TimeZones& zones);
// The same for one value of a list property (RDATE, EXDATE), whose values may differ in form.
TimeForm time_form_of(const Property& p, std::string_view value, const TimeZones& zones);

}  // namespace platform::calendar::detail
