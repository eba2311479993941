// Scanning a calendar file into an event index without building libical's
// component tree: a 100k-event calendar is read at line-scanning speed, and
// libical is asked only about the values that need its rules.
#include "event_index.h"

#include <malloc.h>

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <iterator>
#include <limits>
#include <mutex>

#include "wall_time.h"
#include "content_line.h"
#include "text_codec.h"
#include "work_aside.h"
#include "platform/base/str_cat.h"

namespace platform::calendar::detail {

EventTiming IndexedEvent::timing() const { return {from_wall_seconds(start_wall), duration_minutes, all_day}; }

namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

// "BEGIN:VEVENT" → "VEVENT"; the component name is compared case-blind.
std::string component_of(std::string_view line) {
  const std::size_t colon = line.find(':');
  std::string_view name = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return upper(name);
}

std::string shorten(std::string_view s) {
  constexpr std::size_t kMax = 40;
  return s.size() <= kMax ? std::string(s) : std::string(s.substr(0, kMax)) + "...";
}

struct Open {
  std::string name;
  int line;
  std::size_t begin;
};

std::size_t skip_bom(std::string_view bytes) {
  return bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}

bool blank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

constexpr std::size_t kNone = std::string_view::npos;

// The property names the scan acts on. Told apart by first letter and length,
// so that the common line costs one switch and at most one full compare.
enum class Known { Other, Begin, End, Dtstart, Dtend, Duration, Uid, RecurrenceId, Rrule, Rdate, Summary,
                   Description, Categories };

Known known_name(std::string_view n) {
  if (n.size() < 3) return Known::Other;
  auto is = [n](std::string_view want, Known k) { return iequals(n, want) ? k : Known::Other; };
  switch (n[0] | 0x20) {  // ASCII letters to lower case
    case 'b':
      return n.size() == 5 ? is("BEGIN", Known::Begin) : Known::Other;
    case 'c':
      return n.size() == 10 ? is("CATEGORIES", Known::Categories) : Known::Other;
    case 'd':
      switch (n.size()) {
        case 5: return is("DTEND", Known::Dtend);
        case 7: return is("DTSTART", Known::Dtstart);
        case 8: return is("DURATION", Known::Duration);
        case 11: return is("DESCRIPTION", Known::Description);
        default: return Known::Other;
      }
    case 'e':
      return n.size() == 3 ? is("END", Known::End) : Known::Other;
    case 'r':
      if (n.size() == 13) return is("RECURRENCE-ID", Known::RecurrenceId);
      if (n.size() != 5) return Known::Other;
      return (n[1] | 0x20) == 'r' ? is("RRULE", Known::Rrule) : is("RDATE", Known::Rdate);
    case 's':
      return n.size() == 7 ? is("SUMMARY", Known::Summary) : Known::Other;
    case 'u':
      return n.size() == 3 ? is("UID", Known::Uid) : Known::Other;
    default:
      return Known::Other;
  }
}

// What the pass over the file notes about one event: where its lines of
// interest start. The index entry is made from it once every VTIMEZONE of
// the file is known; the draft is small, so that the list of drafts costs
// little beside the index.
struct EventDraft {
  std::size_t begin = 0, end = 0;
  std::size_t dtstart = kNone, dtend = kNone, duration = kNone, uid = kNone, recurrence_id = kNone;
  TextLines text;
  int first_line = 0;
  bool recurring = false;
  bool seen_summary = false;
};

// RECURRENCE-ID's value and TZID, as written; empty when it has neither.
std::string recurrence_of(std::string_view line) {
  std::string id;
  if (auto p = parse_property(line)) {
    id = std::string(p->value);
    if (auto tzid = find_param(*p, "TZID")) id += str_cat({";", *tzid});
  }
  return id;
}

// One property line of the event itself (not of a VALARM inside it).
void gather(Known name, const LogicalLine& line, EventDraft& draft) {
  auto keep = [&](std::size_t& at) {
    if (at == kNone) at = line.begin;
  };
  auto mark = [&](std::uint16_t& at) {
    const std::size_t offset = line.begin - draft.begin;
    if (offset >= kNoLine) {
      draft.text.whole = true;
    } else {
      at = static_cast<std::uint16_t>(offset);
    }
  };
  switch (name) {
    case Known::Dtstart:
      keep(draft.dtstart);
      return;
    case Known::Dtend:
      keep(draft.dtend);
      return;
    case Known::Duration:
      keep(draft.duration);
      return;
    case Known::Uid:
      keep(draft.uid);
      return;
    default:
      break;
  }
  if (name == Known::RecurrenceId) {
    // The first one that says something.
    if (draft.recurrence_id == kNone && !recurrence_of(line.text).empty()) draft.recurrence_id = line.begin;
  } else if (name == Known::Rrule || name == Known::Rdate) {
    draft.recurring = true;
  } else if (name == Known::Summary) {
    if (!draft.seen_summary) {
      draft.seen_summary = true;
      mark(draft.text.summary);
      // Only when this first SUMMARY is the one that counts: it can be read.
      if (const auto p = parse_property(line.text)) {
        if (const auto hash = plain_text_hash(p->value)) {
          draft.text.subject_hashed = true;
          draft.text.subject_hash = *hash;
        }
      }
    }
  } else if (name == Known::Description) {
    if (draft.text.description == kNoLine) mark(draft.text.description);
  } else if (name == Known::Categories) {
    if (draft.text.categories == kNoLine) {
      mark(draft.text.categories);
    } else {
      draft.text.more_categories = true;
    }
  }
}

// The logical line that starts at `at` inside the draft's event.
class LineAt {
 public:
  LineAt(std::string_view bytes, const EventDraft& draft, std::size_t at)
      : scanner_(bytes, at, draft.end, 0) {
    scanner_.next(line_);
  }
  std::string_view text() const { return line_.text; }

 private:
  LineScanner scanner_;
  LogicalLine line_;
};

// The number of the line starting at `at`, for messages.
int line_number(std::string_view bytes, const EventDraft& draft, std::size_t at) {
  return draft.first_line +
         static_cast<int>(std::count(bytes.begin() + static_cast<std::ptrdiff_t>(draft.begin),
                                     bytes.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}

// How a date-time property writes its value: the TZID as written.
struct WrittenForm {
  TimeForm::Kind kind = TimeForm::Kind::Floating;
  std::string_view tzid;
};

WrittenForm written_form(const Property& p, std::string_view value) {
  WrittenForm form;
  const auto value_type = find_param(p, "VALUE");
  if ((value_type && iequals(*value_type, "DATE")) || value.size() == 8) {
    form.kind = TimeForm::Kind::Date;
  } else if (!value.empty() && (value.back() == 'Z' || value.back() == 'z')) {
    form.kind = TimeForm::Kind::Utc;
  } else if (const auto tzid = find_param(p, "TZID")) {
    form.kind = TimeForm::Kind::Zoned;
    form.tzid = *tzid;
  }
  return form;
}

// The draft's event's identity and text positions into `event`, its times
// into `times`; false, with the reason, when its times cannot be read. A
// TZID is kept as a view into `bytes`, or in `kept` when on a folded line
// or when `copy` (bytes that may move before the times are placed).
bool read_event(std::string_view bytes, const EventDraft& draft, IndexedEvent& event, WrittenTimes& times,
                KeptText& kept, bool copy, ScanError* error) {
  event.begin = draft.begin;
  event.end = draft.end;
  event.text = draft.text;
  if (!draft.seen_summary) {
    event.text.subject_hashed = true;
    event.text.subject_hash = text_hash(u"");
  }
  event.recurring = draft.recurring;
  if (draft.uid != kNone) {
    // A folded line's text lives in the LineAt, not in the bytes.
    const LineAt line(bytes, draft, draft.uid);
    if (auto p = parse_property(line.text())) {
      const auto at = reinterpret_cast<std::uintptr_t>(p->value.data());
      const auto first = reinterpret_cast<std::uintptr_t>(bytes.data() + draft.begin);
      const auto last = reinterpret_cast<std::uintptr_t>(bytes.data() + draft.end);
      if (at >= first && at + p->value.size() <= last && at - first <= UINT16_MAX && p->value.size() <= UINT8_MAX) {
        event.uid_at = static_cast<std::uint16_t>(at - first);
        event.uid_size = static_cast<std::uint8_t>(p->value.size());
      } else if (!p->value.empty()) {
        event.rare.make().uid = std::string(p->value);
      }
    }
  }
  const auto written = [&](const LineAt& line, const Property& p, const DateTimeValue& v) {
    WrittenForm form = written_form(p, p.value);
    const std::string_view text = line.text();
    if (!form.tzid.empty() &&
        (copy || text.data() < bytes.data() || text.data() >= bytes.data() + bytes.size())) {
      form.tzid = kept.emplace_front(form.tzid);
    }
    return WrittenTime::of(v, form.kind, form.tzid);
  };
  if (draft.recurrence_id != kNone) {
    const LineAt line(bytes, draft, draft.recurrence_id);
    event.rare.make().recurrence_id = recurrence_of(line.text());
    if (const auto p = parse_property(line.text())) {
      const bool date = written_form(*p, p->value).kind == TimeForm::Kind::Date;
      if (const auto v = parse_date_time(p->value, date)) {
        times.recurrence = std::make_unique<WrittenTime>(written(line, *p, *v));
      }
    }
  }
  if (draft.dtstart == kNone) {
    *error = {draft.first_line, "the event has no DTSTART"};
    return false;
  }
  auto decode = [&](std::size_t at, const char* what, WrittenTime& out) {
    const LineAt line(bytes, draft, at);
    const auto p = parse_property(line.text());
    if (!p) {
      *error = {line_number(bytes, draft, at), str_cat({what, " is not a valid content line"})};
      return false;
    }
    const bool date = written_form(*p, p->value).kind == TimeForm::Kind::Date;
    const auto v = parse_date_time(p->value, date);
    if (!v) {
      *error = {line_number(bytes, draft, at),
                str_cat({what, " \"", shorten(p->value), "\" is not a valid date or date-time"})};
      return false;
    }
    out = written(line, *p, *v);
    return true;
  };
  if (!decode(draft.dtstart, "DTSTART", times.start)) return false;
  if (draft.dtend != kNone) {
    if (!decode(draft.dtend, "DTEND", times.finish)) return false;
    times.end = WrittenTimes::End::Dtend;
  } else if (draft.duration != kNone) {
    const LineAt line(bytes, draft, draft.duration);
    const auto p = parse_property(line.text());
    const auto seconds = p ? parse_duration_seconds(p->value) : std::nullopt;
    if (!seconds) {
      *error = {line_number(bytes, draft, draft.duration),
                str_cat({"DURATION \"", shorten(p ? p->value : line.text()), "\" is not a valid duration"})};
      return false;
    }
    times.end = WrittenTimes::End::Duration;
    times.duration_seconds = *seconds;
  }
  return true;
}

// The event's start and length from its written times, in `zones`.
void place_times(const WrittenTimes& times, const TimeZones& zones, IndexedEvent& event) {
  const auto form_of = [&](const WrittenTime& t) {
    TimeForm form;
    form.kind = t.kind;
    if (t.kind == TimeForm::Kind::Zoned) form.zone = zones.find(t.tzid());
    return form;
  };
  if (times.recurrence) {
    event.rare.make().recurrence_instant = to_epoch_seconds(times.recurrence->value(), form_of(*times.recurrence), zones);
  }
  const DateTimeValue start = times.start.value();
  const TimeForm start_form = form_of(times.start);
  event.start_wall = wall_seconds(to_local(start, start_form, zones));
  event.all_day = start.is_date;
  std::int64_t minutes = event.all_day ? 1440 : 0;
  if (times.end == WrittenTimes::End::Dtend) {
    const DateTimeValue finish = times.finish.value();
    if (start.is_date && finish.is_date) {
      minutes = (days_from_civil(finish.year, finish.month, finish.day) -
                 days_from_civil(start.year, start.month, start.day)) *
                1440;
    } else {
      minutes = floor_div(
          to_epoch_seconds(finish, form_of(times.finish), zones) - to_epoch_seconds(start, start_form, zones), 60);
    }
  } else if (times.end == WrittenTimes::End::Duration) {
    minutes = floor_div(times.duration_seconds, 60);
  }
  // An end before the start is a writer's slip, not a reason to refuse the file.
  event.duration_minutes = static_cast<std::int32_t>(
      std::clamp<std::int64_t>(minutes, 0, std::numeric_limits<std::int32_t>::max()));
}

// The index entry for the draft's event: its identity, and its start and
// length decoded from the lines the draft found.
bool finish_event(std::string_view bytes, const EventDraft& draft, const TimeZones& zones,
                  IndexedEvent& event, ScanError* error) {
  WrittenTimes times;
  KeptText kept;
  if (!read_event(bytes, draft, event, times, kept, false, error)) return false;
  place_times(times, zones, event);
  return true;
}

// The text fields in `which` from the lines of `bytes` starting at `from`,
// where the component depth is `depth`. With `stop_early` the scan ends once
// the wanted fields are read: `from` is then the first line of the earliest
// of them, and CATEGORIES is known to occur `more_categories` more than once.
EventText scan_text(std::string_view bytes, std::size_t from, int depth, unsigned which,
                    bool stop_early, bool more_categories) {
  EventText text;
  bool have_summary = false, have_description = false, have_categories = false;
  bool seen_categories = false;
  LineScanner lines(bytes, from, bytes.size(), 1);
  LogicalLine line;
  while (lines.next(line)) {
    const std::string_view name = line.name;
    if (iequals(name, "BEGIN")) {
      ++depth;
      continue;
    }
    if (iequals(name, "END")) {
      --depth;
      continue;
    }
    if (depth != 1) continue;
    const bool summary = (which & kSummary) && !have_summary && iequals(name, "SUMMARY");
    const bool description = (which & kDescription) && !have_description && iequals(name, "DESCRIPTION");
    const bool categories = (which & kCategories) && iequals(name, "CATEGORIES");
    if (!summary && !description && !categories) continue;
    if (categories) seen_categories = true;
    if (const auto p = parse_property(line.text)) {
      if (summary) {
        text.summary = unescape_text(p->value);
        have_summary = true;
      } else if (description) {
        text.description = unescape_text(p->value);
        have_description = true;
      } else {
        for (const std::string& value : split_text_list(p->value)) {
          if (have_categories) text.categories.push_back(',');
          append_category(text.categories, value);
          have_categories = true;
        }
      }
    }
    if (stop_early && (!(which & kSummary) || have_summary) &&
        (!(which & kDescription) || have_description) &&
        (!(which & kCategories) || (seen_categories && !more_categories))) {
      break;
    }
  }
  return text;
}

}  // namespace

TimeForm time_form_of(const Property& p, const TimeZones& zones) { return time_form_of(p, p.value, zones); }

TimeForm time_form_of(const Property& p, std::string_view value, const TimeZones& zones) {
  const WrittenForm written = written_form(p, value);
  TimeForm form;
  form.kind = written.kind;
  if (form.kind == TimeForm::Kind::Zoned) {
    form.tzid = std::string(written.tzid);
    form.zone = zones.find(written.tzid);
  }
  return form;
}

namespace {

// An event read without the zones, its times as written.
struct UnplacedEvent {
  IndexedEvent event;
  WrittenTimes times;
};

// Events kept in blocks of a few thousand, so that taking them from the
// front gives their memory back as the index they go into grows: at a
// million events the second half of a file is some hundred megabytes.
// Blocks are handed over whole as they fill: the thread that reads the
// first half of a file places the second half's events while the second
// is still being read.
class UnplacedEvents {
 public:
  // With a taker on another thread: events are handed over `block` at a
  // time, and the reader waits while `waiting` blocks are not yet taken, so
  // that a taker held up (by the first half, or by the machine) does not
  // have the whole second half pile up in memory.
  void hand_over_in(const HandOver& limits) {
    block_ = std::max<std::size_t>(limits.block, 1);
    limit_ = limits.waiting;
  }

  void push_back(UnplacedEvent event) {
    if (filling_.size() == block_) hand_over();
    if (filling_.capacity() == 0) filling_.reserve(block_);
    filling_.push_back(std::move(event));
  }
  // No more events come: hands over the last block and wakes the taker.
  void close() {
    hand_over();
    const std::lock_guard lock(mutex_);
    closed_ = true;
    changed_.notify_all();
  }
  // No more events are taken: a reader waiting for room goes on, and what
  // it hands over is dropped.
  void abandon() {
    const std::lock_guard lock(mutex_);
    abandoned_ = true;
    full_.clear();
    changed_.notify_all();
  }
  // Gives each event to `take`, in order, waiting for blocks as they are
  // handed over until close(); empties the list.
  template <typename Take>
  void drain(Take take) {
    while (true) {
      std::vector<UnplacedEvent> block;
      {
        std::unique_lock lock(mutex_);
        changed_.wait(lock, [this] { return !full_.empty() || closed_; });
        if (full_.empty()) return;
        block = std::move(full_.front());
        full_.pop_front();
        changed_.notify_all();  // room for the reader
      }
      for (UnplacedEvent& e : block) take(e);
    }
  }

 private:
  void hand_over() {
    if (filling_.empty()) return;
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return limit_ == 0 || full_.size() < limit_ || abandoned_; });
    if (!abandoned_) full_.push_back(std::move(filling_));
    filling_ = std::vector<UnplacedEvent>();
    changed_.notify_all();
  }

  std::size_t block_ = 4096;
  std::vector<UnplacedEvent> filling_;  // the reader's alone
  std::mutex mutex_;
  std::condition_variable changed_;
  std::deque<std::vector<UnplacedEvent>> full_;
  std::size_t limit_ = 0;  // 0: no limit
  bool closed_ = false;
  bool abandoned_ = false;
};

// One pass over the file's lines. Streaming, each event is indexed as soon
// as it ends, with the VTIMEZONEs seen before it: writers put them first,
// and then no list of the events' line positions is kept (at a million
// events that list alone is a fifth of the file). A VTIMEZONE after an event
// ends a streaming pass with restart(): the file is then read again with
// every event indexed at the end, once all its zones are known.
//
// A pass reads its lines in one or more runs, so that a large file can be
// read in two parts at once (see scan_in_two). A pass without the zones
// keeps each event's times as written and the calendar's VTIMEZONEs, to be
// placed once the zones are at hand (place_scan).
class Pass {
 public:
  // `zones` null: the part after a file's split, which must not touch them.
  Pass(std::string_view bytes, TimeZones* zones, bool streaming)
      : bytes_(bytes), cr_only_(ends_lines_in_cr(bytes)), zones_(zones), streaming_(streaming) {
    scan_.eol = std::string(detect_eol(bytes));
    if (zones_ == nullptr) return;
    if (streaming_) {
      zones_->begin_file();
      // Room for an event every 256 bytes (generated and exported calendars
      // run 400 to 2,000 bytes an event): growing the index would copy it and
      // fault its pages in twice; room never used costs address space only.
      scan_.events.reserve(bytes.size() / 256 + 16);
    } else {
      drafts_.reserve(bytes.size() / 256 + 16);
    }
  }

  // Reads the lines of [from, to), the first numbered `first_line`. False
  // when the file is refused (error()) or must be read again (restart()).
  bool run(std::size_t from, std::size_t to, int first_line);
  // After the last run: the file's end closes every component.
  bool close();

  // The part after a split starts with the calendar open and events seen.
  void open_calendar(const Open& calendar) {
    stack_.push_back(calendar);
    seen_calendar_ = seen_event_ = true;
  }
  // Without the zones: zone blocks met in earlier files, passed over when
  // met again, and added to as more are met.
  void recognise(KnownZoneBlocks* known) { known_ = known; }
  // Only the calendar is open: where a file can be split.
  bool at_top() const { return stack_.size() == 1 && stack_.front().name == "VCALENDAR"; }
  const Open& calendar() const { return stack_.front(); }
  int next_line() const { return next_line_; }
  bool restart() const { return restart_; }
  const ScanError& error() const { return error_; }
  // The events placed in this pass's zones, and those set aside, in order.
  CalendarScan& scan() { return scan_; }
  // Without the zones: the events instead, in order, and the text their
  // times' TZIDs are kept in where not in the file's bytes (all of them
  // after copy_tzids(), for bytes that may move before they are placed).
  UnplacedEvents& unplaced() { return unplaced_; }
  KeptText& kept() { return kept_; }
  void copy_tzids() { copy_tzids_ = true; }
  // Without the zones: the calendar's VTIMEZONEs, for adding when placing.
  std::vector<std::pair<std::size_t, std::size_t>>& zone_blocks() { return timezones_; }

 private:
  bool fail(ScanError error) {
    if (streaming_ && zones_ != nullptr) zones_->drop_file();
    error_ = std::move(error);
    return false;
  }
  void finish(const EventDraft& draft);
  // A VTIMEZONE of the calendar, its lines [begin, end): added to the zones,
  // or kept for later; false when the pass must restart.
  bool zone_block(std::size_t begin, std::size_t end);
  // The length of a zone block met before that `rest` starts with, else 0.
  std::size_t known_block_at(std::string_view rest) const;
  // Without the zones, the blocks other files had, which a folder's files
  // mostly repeat: a few, compared whole.
  static constexpr std::size_t kKnownBlocks = 32;
  KnownZoneBlocks* known_ = nullptr;

  std::string_view bytes_;
  // How the whole file ends its lines: a part read on its own is read alike.
  bool cr_only_;
  TimeZones* zones_;
  bool streaming_;
  CalendarScan scan_;
  UnplacedEvents unplaced_;
  KeptText kept_;  // TZIDs the events' times name, where not in the bytes
  bool copy_tzids_ = false;
  ScanError error_;
  bool restart_ = false;
  std::vector<Open> stack_;
  std::vector<EventDraft> drafts_;  // in file order; streaming, only the open event
  std::vector<std::pair<std::size_t, std::size_t>> timezones_;
  bool seen_calendar_ = false;
  bool seen_event_ = false;
  bool in_event_ = false;  // the innermost open component is a VEVENT
  int next_line_ = 1;
};

void Pass::finish(const EventDraft& draft) {
  ScanError error;
  if (zones_ == nullptr) {
    UnplacedEvent unplaced;
    if (read_event(bytes_, draft, unplaced.event, unplaced.times, kept_, copy_tzids_, &error)) {
      unplaced_.push_back(std::move(unplaced));
    } else {
      scan_.skipped.push_back({draft.begin, draft.end, std::move(error)});
    }
    return;
  }
  IndexedEvent& event = scan_.events.emplace_back();
  WrittenTimes times;
  if (read_event(bytes_, draft, event, times, kept_, false, &error)) {
    place_times(times, *zones_, event);
  } else {
    scan_.events.pop_back();
    scan_.skipped.push_back({draft.begin, draft.end, std::move(error)});
  }
}

std::size_t Pass::known_block_at(std::string_view rest) const {
  if (zones_ != nullptr) return zones_->known_block_at(rest);
  if (known_ != nullptr) {
    for (const std::string& block : *known_) {
      if (rest.starts_with(block)) return block.size();
    }
  }
  return 0;
}

bool Pass::zone_block(std::size_t begin, std::size_t end) {
  if (zones_ == nullptr && known_ != nullptr && known_->size() < kKnownBlocks) {
    const std::string_view block = bytes_.substr(begin, end - begin);
    if (std::find(known_->begin(), known_->end(), block) == known_->end()) known_->emplace_back(block);
  }
  if (zones_ == nullptr || !streaming_) {
    timezones_.emplace_back(begin, end);
  } else if (seen_event_) {
    zones_->drop_file();
    restart_ = true;
    return false;
  } else {
    zones_->add_vtimezone(bytes_.substr(begin, end - begin));
  }
  return true;
}

bool Pass::run(std::size_t from, std::size_t to, int first_line) {
  LineScanner lines(bytes_, from, to, first_line, cr_only_);
  LogicalLine line;
  while (lines.next(line)) {
    if (blank(line.text)) continue;
    const Known name = known_name(line.name);
    if (name == Known::Begin) {
      std::string component = component_of(line.text);
      if (component.empty()) return fail({line.line_number, "BEGIN without a component name"});
      if (stack_.empty() && component != "VCALENDAR") {
        return fail({line.line_number, seen_calendar_
                                           ? str_cat({"\"", shorten(line.text), "\" is outside the calendar"})
                                           : "not an iCalendar file (it does not start with BEGIN:VCALENDAR)"});
      }
      if (!stack_.empty() && component == "VCALENDAR") {
        return fail({line.line_number, "a calendar inside a calendar"});
      }
      if (stack_.size() == 1 && component == "VTIMEZONE") {
        // The same bytes as a zone indexed before are the same lines: the
        // block is passed over whole, unless what follows it would continue
        // its last line or be split into lines another way.
        const std::size_t after = line.begin + known_block_at(bytes_.substr(line.begin, to - line.begin));
        const std::string_view block = bytes_.substr(line.begin, after - line.begin);
        const std::string_view rest = bytes_.substr(after, to - after);
        if (after > line.begin && block.find('\n') != std::string_view::npos &&
            (rest.empty() || (rest.front() != ' ' && rest.front() != '\t')) &&
            (rest.find('\n') != std::string_view::npos || rest.find('\r') == std::string_view::npos)) {
          if (!zone_block(line.begin, after)) return false;
          const auto physical = static_cast<int>(std::count(block.begin(), block.end(), '\n'));
          lines = LineScanner(bytes_, after, to, line.line_number + physical, cr_only_);
          continue;
        }
      }
      in_event_ = component == "VEVENT";
      if (in_event_) {
        if (stack_.back().name != "VCALENDAR") {
          return fail({line.line_number, str_cat({"VEVENT inside ", stack_.back().name})});
        }
        // Only ever directly inside the calendar: the open event is the last one.
        EventDraft& draft = drafts_.emplace_back();
        draft.begin = line.begin;
        draft.first_line = line.line_number;
        seen_event_ = true;
      }
      seen_calendar_ = true;
      stack_.push_back({std::move(component), line.line_number, line.begin});
    } else if (name == Known::End) {
      const std::string component = component_of(line.text);
      if (stack_.empty()) {
        return fail({line.line_number, str_cat({"END:", shorten(component), " without a BEGIN"})});
      }
      if (component != stack_.back().name) {
        return fail({line.line_number, str_cat({"END:", shorten(component), " does not close BEGIN:",
                                                stack_.back().name, " of line ",
                                                std::to_string(stack_.back().line)})});
      }
      if (component == "VEVENT") {
        drafts_.back().end = line.end;
        if (streaming_) {
          finish(drafts_.back());
          drafts_.pop_back();
        }
      } else if (component == "VTIMEZONE" && stack_.size() == 2) {
        if (!zone_block(stack_.back().begin, line.end)) return false;
      } else if (component == "VCALENDAR") {
        scan_.insert_at = line.begin;
      }
      stack_.pop_back();
      in_event_ = !stack_.empty() && stack_.back().name == "VEVENT";
    } else if (stack_.empty()) {
      return fail({line.line_number,
                   seen_calendar_ ? str_cat({"\"", shorten(line.text), "\" is outside the calendar"})
                                  : "not an iCalendar file (it does not start with BEGIN:VCALENDAR)"});
    } else if (in_event_) {
      gather(name, line, drafts_.back());
    }
  }
  next_line_ = lines.line_number();
  return true;
}

bool Pass::close() {
  if (!stack_.empty()) {
    return fail({stack_.back().line, str_cat({"BEGIN:", stack_.back().name, " is never closed"})});
  }
  if (zones_ == nullptr) return true;
  if (!streaming_) {
    // Time zones may be defined after the events that use them.
    zones_->begin_file();
    for (const auto& [begin, end] : timezones_) zones_->add_vtimezone(bytes_.substr(begin, end - begin));
    // Room for the events later saves add, so that the first one does not copy
    // the whole index into a buffer twice its size.
    scan_.events.reserve(drafts_.size() + drafts_.size() / 64 + 16);
    for (const EventDraft& draft : drafts_) finish(draft);
  }
  zones_->end_file();
  return true;
}

ScanResult refused(const Pass& pass) {
  ScanResult result;
  result.error = pass.error();
  return result;
}

ScanResult accepted(Pass& pass) {
  ScanResult result;
  result.scan = std::move(pass.scan());
  return result;
}

// The whole file in one pass; nullopt when a streaming pass must restart.
std::optional<ScanResult> scan_whole(std::string_view bytes, TimeZones& zones, bool streaming) {
  Pass pass(bytes, &zones, streaming);
  if (!pass.run(skip_bom(bytes), bytes.size(), 1) || !pass.close()) {
    if (pass.restart()) return std::nullopt;
    return refused(pass);
  }
  return accepted(pass);
}

// The line start of the first "BEGIN:VEVENT" line at or after `from`, else npos.
std::size_t event_line_at_or_after(std::string_view bytes, std::size_t from) {
  constexpr std::string_view kLine = "\nBEGIN:VEVENT";
  for (std::size_t at = from == 0 ? 0 : from - 1; (at = bytes.find(kLine, at)) != std::string_view::npos; ++at) {
    const std::size_t after = at + kLine.size();
    if (after < bytes.size() && (bytes[after] == '\r' || bytes[after] == '\n')) return at + 1;
  }
  return std::string_view::npos;
}

}  // namespace

std::optional<ScanResult> scan_in_two(std::string_view bytes, TimeZones& zones, std::size_t split_near,
                                      const HandOver& hand_over) {
  const std::size_t first_event = event_line_at_or_after(bytes, 0);
  const std::size_t split = event_line_at_or_after(bytes, split_near);
  if (first_event == std::string_view::npos || split == std::string_view::npos || split <= first_event) {
    return std::nullopt;
  }
  // The lines before the first event (the calendar's properties and its
  // zones) first: the part after the split starts with what they opened.
  Pass first(bytes, &zones, true);
  if (!first.run(skip_bom(bytes), first_event, 1)) {
    if (first.restart()) return std::nullopt;
    return refused(first);
  }
  if (!first.at_top()) {
    zones.drop_file();
    return std::nullopt;
  }
  // The part after the split is read on a thread of its own, without the
  // zones: its events' times are placed here, block by block, once this
  // thread has read the first part. Its lines are numbered from the split
  // on, and renumbered once the first part has counted its own.
  Pass second(bytes, nullptr, true);
  second.open_calendar(first.calendar());
  second.unplaced().hand_over_in(hand_over);
  bool second_read = false;
  WorkAside reader([&] {
    struct Closer {
      UnplacedEvents& events;
      ~Closer() { events.close(); }
    } closer{second.unplaced()};
    second_read = second.run(split, bytes.size(), 1);
  });
  // Leaving before the second part's events are all taken (a refusal, a
  // throw) lets the reader go on to its end instead of waiting for room.
  struct Abandon {
    UnplacedEvents& events;
    ~Abandon() { events.abandon(); }
  } abandon_on_leaving{second.unplaced()};
  const bool first_read = first.run(first_event, split, first.next_line());
  if (!first_read || !first.at_top()) {
    second.unplaced().abandon();
    reader.wait();
  }
  if (!first_read) {
    if (first.restart()) return std::nullopt;
    return refused(first);
  }
  if (!first.at_top()) {
    // The split fell inside a component: the first part reads on instead.
    if (!first.run(split, bytes.size(), first.next_line()) || !first.close()) {
      if (first.restart()) return std::nullopt;
      return refused(first);
    }
    return accepted(first);
  }
  // At the top of the calendar, the one pass would have read the rest as
  // the second part did. Its events are placed as they come; should the
  // second part then turn out refused or to need a second reading, they go
  // with the rest of this reading.
  CalendarScan& scan = first.scan();
  second.unplaced().drain([&](UnplacedEvent& e) {
    place_times(e.times, zones, scan.events.emplace_back(std::move(e.event)));
  });
  reader.wait();
  if (!second_read || !second.close() || !second.zone_blocks().empty()) {
    // A refusal is told with the one pass's line numbers; a zone after the
    // events has the one pass read the file again.
    zones.drop_file();
    return std::nullopt;
  }
  CalendarScan& rest = second.scan();
  const int lines_before = first.next_line() - 1;
  for (SkippedEvent& skipped : rest.skipped) skipped.error.line += lines_before;
  std::move(rest.skipped.begin(), rest.skipped.end(), std::back_inserter(scan.skipped));
  scan.insert_at = rest.insert_at;
  zones.end_file();
#ifdef __GLIBC__
  // The blocks the second part's events waited in were the reader's, freed
  // here: malloc keeps such memory for its thread, and at a million events
  // that was up to 15 MB held to the end. It goes back to the system now.
  (void)::malloc_trim(0);
#endif
  return accepted(first);
}

ScanResult scan_calendar(std::string_view bytes, TimeZones& zones) {
  if (auto streamed = scan_whole(bytes, zones, true)) return std::move(*streamed);
  return std::move(*scan_whole(bytes, zones, false));
}

UnplacedScan scan_unplaced(std::string_view bytes, KnownZoneBlocks* known) {
  UnplacedScan unplaced;
  Pass pass(bytes, nullptr, true);
  pass.recognise(known);
  pass.copy_tzids();
  if (!pass.run(skip_bom(bytes), bytes.size(), 1) || !pass.close()) {
    unplaced.result = refused(pass);
    return unplaced;
  }
  unplaced.zone_blocks = std::move(pass.zone_blocks());
  unplaced.kept = std::move(pass.kept());
  unplaced.result = accepted(pass);
  pass.unplaced().close();
  pass.unplaced().drain([&](UnplacedEvent& e) {
    unplaced.result.scan->events.push_back(std::move(e.event));
    unplaced.times.push_back(std::move(e.times));
  });
  return unplaced;
}

void place_scan(std::string_view bytes, UnplacedScan& unplaced, TimeZones& zones) {
  zones.begin_file();
  for (const auto& [begin, end] : unplaced.zone_blocks) zones.add_vtimezone(bytes.substr(begin, end - begin));
  std::vector<IndexedEvent>& events = unplaced.result.scan->events;
  for (std::size_t i = 0; i < events.size(); ++i) place_times(unplaced.times[i], zones, events[i]);
  zones.end_file();
}

EventResult index_event(std::string_view bytes, std::size_t begin, std::size_t end, int first_line,
                        const TimeZones& zones) {
  EventResult result;
  EventDraft draft;
  draft.begin = begin;
  draft.end = end;
  draft.first_line = first_line;
  LineScanner lines(bytes, begin, end, first_line);
  LogicalLine line;
  int depth = 0;
  while (lines.next(line)) {
    const Known name = known_name(line.name);
    if (name == Known::Begin) {
      ++depth;
    } else if (name == Known::End) {
      --depth;
    } else if (depth == 1) {  // VALARM and friends have DESCRIPTIONs of their own
      gather(name, line, draft);
    }
  }
  IndexedEvent event;
  if (!finish_event(bytes, draft, zones, event, &result.error)) return result;
  result.event = std::move(event);
  return result;
}

EventText read_event_text(std::string_view event_bytes, const TextLines& at, unsigned which) {
  if (at.whole) {
    EventText text = scan_text(event_bytes, 0, 0, which, false, true);
    return text;
  }
  // Only the fields the event has; the earliest of them is where to start.
  std::size_t from = kNoLine;
  unsigned present = 0;
  auto want = [&](unsigned field, std::uint16_t line) {
    if ((which & field) && line != kNoLine && line < event_bytes.size()) {
      present |= field;
      from = std::min<std::size_t>(from, line);
    }
  };
  want(kSummary, at.summary);
  want(kDescription, at.description);
  want(kCategories, at.categories);
  if (present == 0) return {};
  return scan_text(event_bytes, from, 1, present, true, at.more_categories);
}

EventText read_event_text(std::string_view event_bytes) {
  return scan_text(event_bytes, 0, 0, kAllText, false, true);
}

}  // namespace platform::calendar::detail
