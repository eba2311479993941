// The calendar store: an index over the file's bytes, and edits that splice
// one event's new text into those bytes and replace the file atomically.
// Every save first checks whether another program changed the file and, if
// so, reloads it and applies the user's change on top of the fresh content.
#include "platform/calendar/calendar_store.h"

#include <algorithm>
#include <tuple>
#include <span>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <limits>
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <random>
#include <system_error>
#include <thread>
#include <unordered_map>
#include <unordered_set>

#include "atomic_file.h"
#include "wall_time.h"
#include "content_line.h"
#include "event_editor.h"
#include "event_index.h"
#include "folder_watch.h"
#include "held_bytes.h"
#include "ical_time.h"
#include "local_zone.h"
#include "oid_positions.h"
#include "restriction.h"
#include "series_edit.h"
#include "series_index.h"
#include "text_codec.h"
#include "vdir.h"
#include "work_aside.h"
#include "platform/base/str_cat.h"

namespace platform::calendar {

using namespace detail;

namespace {

// One listed appointment: a plain event, an override, or an occurrence of a
// series. The start table holds one for every event, so the start (wall
// seconds) is kept in two 32-bit halves: 12 bytes an entry, not 16.
struct Occurrence {
  Occurrence(std::int64_t start, Oid id)
      : start_high(static_cast<std::int32_t>(start >> 32)), start_low(static_cast<std::uint32_t>(start)), oid(id) {}
  std::int64_t start_key() const {
    return static_cast<std::int64_t>(static_cast<std::uint64_t>(static_cast<std::uint32_t>(start_high)) << 32 |
                                     start_low);
  }
  std::int32_t start_high;
  std::uint32_t start_low;
  Oid oid;
  friend bool operator<(const Occurrence& a, const Occurrence& b) {
    return std::tie(a.start_high, a.start_low, a.oid) < std::tie(b.start_high, b.start_low, b.oid);
  }
};

Occurrence occurrence_of(const IndexedEvent& e) { return {e.start_wall, e.oid}; }

struct Snapshot {
  explicit Snapshot(icaltimezone* local) : zones(local) {}
  HeldBytes bytes;
  TimeZones zones;
  CalendarScan scan;
  OidPositions position;  // into scan.events
  std::vector<Occurrence> by_start;  // every event but the series themselves
  SeriesIndex series;
  std::vector<Series*> series_by_number;  // by the store's short names of their keys, once listed
  FileStamp stamp;
  // A folder store: the files whose bytes follow one another in `bytes`,
  // and every object file the folder listed (broken ones too), so that a
  // change by another program is noticed without reading any file.
  struct Segment {
    std::string name;
    FileStamp stamp;
    std::size_t begin = 0, end = 0;
  };
  std::vector<Segment> files;
  std::vector<FolderFile> seen;
  std::vector<std::string> refused;  // as the listing words them
  // The folder as it was just before `seen` was listed (or after this
  // store's own last change to it).
  FileStamp folder;

  // The file holding the byte at `offset`.
  std::size_t segment_at(std::size_t offset) const {
    const auto it = std::upper_bound(files.begin(), files.end(), offset,
                                     [](std::size_t at, const Segment& f) { return at < f.begin; });
    return it == files.begin() ? 0 : static_cast<std::size_t>(it - files.begin()) - 1;
  }

  void rebuild_lookup() {
    position.clear();
    position.reserve(scan.events.capacity());
    by_start.clear();
    by_start.reserve(scan.events.capacity());
    series.build(scan.events, bytes);
    for (std::size_t i = 0; i < scan.events.size(); ++i) {
      position.emplace(scan.events[i].oid, i);
      if (!series.is_master(scan.events[i].oid)) by_start.push_back(occurrence_of(scan.events[i]));
    }
    std::sort(by_start.begin(), by_start.end());
  }

  const IndexedEvent* event(Oid oid) const {
    const auto at = position.find(oid);
    return at ? &scan.events[*at] : nullptr;
  }

  std::string_view event_bytes(const IndexedEvent& e) const {
    return std::string_view(bytes).substr(e.begin, e.end - e.begin);
  }

  AppointmentFields fields(const IndexedEvent& e) const { return fields(e, e.timing()); }

  // The text of `e` (an occurrence's is its series'), at `timing`.
  AppointmentFields fields(const IndexedEvent& e, const EventTiming& timing) const {
    const EventText text = read_event_text(event_bytes(e), e.text, kAllText);
    AppointmentFields f;
    f.subject = FromUtf8(text.summary);
    f.body = FromUtf8(text.description);
    f.categories = FromUtf8(text.categories);
    f.start = timing.start;
    f.duration_minutes = timing.duration_minutes;
    f.all_day = timing.all_day;
    return f;
  }
};

// What an oid lists: the event whose text it shows and its own timing.
struct Listed {
  const IndexedEvent* text = nullptr;
  EventTiming timing;
  Oid oid = 0;
  Series* series = nullptr;          // for an occurrence or an override of a series
  std::int64_t instant = 0;          // the occurrence's RECURRENCE-ID instant
  const IndexedEvent* override_event = nullptr;  // the override listed, if any
};

// An occurrence's name for the run: its series and original start.
struct OccurrenceKey {
  std::uint32_t series = 0;
  std::int64_t instant = 0;
  friend bool operator==(const OccurrenceKey&, const OccurrenceKey&) = default;
};
struct OccurrenceKeyHash {
  std::size_t operator()(const OccurrenceKey& k) const {
    return std::hash<std::int64_t>()(k.instant) * 31 + k.series;
  }
};

// Where a search with no end ends for open-ended series.
constexpr std::int64_t kOpenEndSeconds = 2 * 366 * 86400;
constexpr std::int64_t kLastYearEnd = wall_seconds({9999, 12, 31, 23, 59, 59});

// How an event is recognised again after another program rewrote the file.
std::string identity(const IndexedEvent& e, std::string_view bytes) {
  if (e.has_uid()) return str_cat({"U", e.uid(bytes), "\n", e.recurrence_id()});
  return str_cat({"B", bytes.substr(e.begin, e.end - e.begin)});
}

std::string reason(int error) { return std::system_category().message(error); }

// Why `file` could not be read or written.
std::string reason(int error, const std::filesystem::path& file) {
  if (error == kNotRegularFile) {
    return str_cat({"it is not a plain file but ", file_kind(file), "; a calendar must be a plain file"});
  }
  return reason(error);
}

// A save that finds the file changed by another program just before its
// rename starts over on the new content; a file that changes under every
// attempt is refused rather than overwritten.
constexpr int kSaveAttempts = 3;

// Events left out of one load that are each named; the rest are counted.
constexpr std::size_t kNamedSkips = 20;

// Room reserved beyond the file's bytes in memory, so that saves splice
// their changes into the same buffer instead of copying it into a larger one
// (which would briefly hold the calendar twice). Untouched until used.
std::size_t spare_for(std::size_t size) { return size / 32 + 64 * 1024; }

class EventTarget final : public RestrictionTarget {
 public:
  EventTarget(const Snapshot& snapshot, const IndexedEvent& event)
      : snapshot_(snapshot),
        event_(event),
        start_wall_(event.start_wall),
        duration_minutes_(event.duration_minutes),
        all_day_(event.all_day),
        oid_(event.oid) {}
  // An occurrence: the text of `event` (its series) at its own time.
  EventTarget(const Snapshot& snapshot, const IndexedEvent& event, const EventTiming& timing, Oid oid)
      : snapshot_(snapshot),
        event_(event),
        start_wall_(wall_seconds(timing.start)),
        duration_minutes_(timing.duration_minutes),
        all_day_(timing.all_day),
        oid_(oid) {}

  std::int64_t number(Field field) const override {
    const std::int64_t start = floor_div(start_wall_, 60);
    switch (field) {
      case Field::Start: return start;
      case Field::End: return start + duration_minutes_;
      case Field::Duration: return duration_minutes_;
      case Field::Oid: return oid_;
      case Field::AllDay: return all_day_ ? 1 : 0;
      default: return 0;
    }
  }

  bool surely_differs(Field field, std::uint32_t hash) const override {
    return field == Field::Subject && event_.text.subject_hashed && event_.text.subject_hash != hash;
  }

  // Decodes only the one property the condition asks about, from its line.
  const std::u16string& text(Field field) const override {
    switch (field) {
      case Field::Body:
        return decoded(body_, kDescription, &EventText::description);
      case Field::Categories:
        return decoded(categories_, kCategories, &EventText::categories);
      default:
        return decoded(subject_, kSummary, &EventText::summary);
    }
  }

 private:
  const std::u16string& decoded(std::optional<std::u16string>& cache, TextField which,
                                std::string EventText::*member) const {
    if (!cache) {
      const EventText text = read_event_text(snapshot_.event_bytes(event_), event_.text, which);
      cache = FromUtf8(text.*member);
    }
    return *cache;
  }

  const Snapshot& snapshot_;
  const IndexedEvent& event_;
  std::int64_t start_wall_;
  std::int32_t duration_minutes_;
  bool all_day_;
  Oid oid_;
  mutable std::optional<std::u16string> subject_, body_, categories_;
};

}  // namespace

struct CalendarStore::Impl {
  std::filesystem::path file;
  bool folder = false;  // `file` is a vdir: one calendar object per .ics file
  std::optional<FolderWatch> watch;  // of the folder, when `folder`
  StoreOptions options;
  icaltimezone* local = nullptr;
  std::string local_name;
  Oid next_oid = 1;
  std::unique_ptr<Snapshot> snapshot;
  // The events already named as left out, by their bytes: a reload after
  // another program's change names only the new ones.
  std::unordered_set<std::string> warned;
  // The oids of occurrences, kept for the run: a series is known by its key
  // (UID), an occurrence by that and its original start.
  std::unordered_map<std::string, std::uint32_t> series_numbers;
  std::vector<std::string> series_keys;
  std::unordered_map<OccurrenceKey, Oid, OccurrenceKeyHash> occurrence_oids;
  std::unordered_map<Oid, OccurrenceKey> occurrence_keys;

  std::uint32_t series_number(const std::string& series_key) {
    auto [it, added] = series_numbers.emplace(series_key, static_cast<std::uint32_t>(series_keys.size()));
    if (added) series_keys.push_back(series_key);
    return it->second;
  }

  Oid occurrence_oid(const std::string& series_key, std::int64_t instant) {
    return occurrence_oid(series_number(series_key), instant);
  }

  Oid occurrence_oid(std::uint32_t series, std::int64_t instant) {
    const OccurrenceKey key{series, instant};
    auto [it, fresh] = occurrence_oids.emplace(key, 0);
    if (fresh) {
      it->second = next_oid++;
      occurrence_keys.emplace(it->second, key);
    }
    return it->second;
  }

  bool is_occurrence_oid(Oid oid) const { return occurrence_keys.count(oid) != 0; }

  SeriesIndex::Reader reader(const Snapshot& s) {
    SeriesIndex::Reader r;
    r.bytes = [&s](Oid master) {
      const IndexedEvent* e = s.event(master);
      return e != nullptr ? s.event_bytes(*e) : std::string_view();
    };
    r.zones = &s.zones;
    r.warn = [this](const Series& series, const std::string& problem) {
      if (warned.insert(str_cat({"series\n", series.key, "\n", problem})).second) {
        warn(str_cat({where(), ": the recurring event ", series.key, ": ", problem}));
      }
    };
    return r;
  }

  // What `oid` lists now; nullopt for an oid that lists nothing (any more).
  std::optional<Listed> listed(Oid oid) {
    Snapshot& s = *snapshot;
    if (const IndexedEvent* e = s.event(oid)) {
      if (s.series.is_master(oid)) return std::nullopt;  // a series is listed by its occurrences
      Listed l{e, e->timing(), oid, s.series.series_of(*e, s.bytes), e->recurrence_instant().value_or(0), e};
      return l;
    }
    const auto key = occurrence_keys.find(oid);
    if (key == occurrence_keys.end()) return std::nullopt;
    const std::uint32_t number = key->second.series;
    Series* series = number < s.series_by_number.size() && s.series_by_number[number] != nullptr
                         ? s.series_by_number[number]
                         : s.series.find(series_keys[number]);
    if (series == nullptr) return std::nullopt;
    const IndexedEvent* master = s.event(series->master);
    const auto wall = s.series.occurrence_wall(*series, key->second.instant, reader(s));
    if (master == nullptr || !wall) return std::nullopt;
    EventTiming timing = master->timing();
    timing.start = from_wall_seconds(*wall);
    return Listed{master, timing, oid, series, key->second.instant, nullptr};
  }

  AppointmentFields fields(const Listed& l) const {
    AppointmentFields f = snapshot->fields(*l.text, l.timing);
    f.occurrence = l.series != nullptr;
    return f;
  }

  // The appointments starting in [low, high] (wall seconds) that match `r`
  // (all of them without one), in start order.
  std::vector<Occurrence> collect(const Restriction* r, std::int64_t low, std::int64_t high);
  void collect_series(const Restriction* r, std::int64_t low, std::int64_t high, std::vector<Occurrence>& hits);

  std::string where() const { return file.string(); }
  // The file that holds the byte at `offset` of the snapshot.
  std::string where(std::size_t offset) const {
    if (!folder || snapshot == nullptr || snapshot->files.empty()) return where();
    return (file / printable_name(snapshot->files[snapshot->segment_at(offset)].name)).string();
  }
  std::string where(const Snapshot& s, std::size_t offset) const {
    if (!folder || s.files.empty()) return where();
    return (file / printable_name(s.files[s.segment_at(offset)].name)).string();
  }

  void warn(const std::string& text) const {
    if (options.warn) {
      options.warn(text);
    } else {
      std::fprintf(stderr, "tallyset: %s\n", text.c_str());
    }
  }

  void warn_skipped(const Snapshot& s) {
    std::size_t unnamed = 0;
    for (const SkippedEvent& skip : s.scan.skipped) {
      if (!warned.emplace(s.bytes.substr(skip.begin, skip.end - skip.begin)).second) continue;
      if (warned.size() > kNamedSkips) {
        ++unnamed;
        continue;
      }
      warn(str_cat({where(s, skip.begin), ":", std::to_string(skip.error.line), ": ", skip.error.reason,
                    "; the event is kept in the file but not shown"}));
    }
    if (unnamed > 0) {
      warn(str_cat({where(), ": ", std::to_string(unnamed),
                    " more events cannot be placed in time; they are kept in the file but not shown"}));
    }
  }

  std::int64_t now() const {
    if (options.now_utc) return options.now_utc();
    return std::chrono::duration_cast<std::chrono::seconds>(
               std::chrono::system_clock::now().time_since_epoch())
        .count();
  }

  // Below a few megabytes a second thread costs about what it saves.
  bool read_in_two(std::size_t bytes) const {
    return bytes >= options.read_in_two_from && std::thread::hardware_concurrency() > 1;
  }

  // Indexes `bytes`; oids carry over from `previous` for events found again.
  std::unique_ptr<Snapshot> load(HeldBytes bytes, const FileStamp& stamp,
                                 const Snapshot* previous, std::string* error) {
    auto s = std::make_unique<Snapshot>(local);
    s->bytes = std::move(bytes);
    s->stamp = stamp;
    std::optional<ScanResult> halves;
    // This thread also places the other half's events once its own are read
    // (the other thread cannot touch the zones), so it takes a little less
    // than half: both then end at about the same time, and the other half's
    // events do not pile up waiting (at a million events the peak memory
    // was theirs).
    if (read_in_two(s->bytes.size())) halves = scan_in_two(s->bytes, s->zones, s->bytes.size() / 100 * 38);
    ScanResult result = halves ? std::move(*halves) : scan_calendar(s->bytes, s->zones);
    if (!result.scan) {
      *error = where() + ": line " + std::to_string(result.error.line) + ": " + result.error.reason;
      return nullptr;
    }
    s->scan = std::move(*result.scan);
    warn_skipped(*s);
    assign_oids(*s, previous);
    return s;
  }

  // Warns once about each way a folder entry is left out.
  void warn_once(const std::string& key, const std::string& text) {
    if (warned.insert(key).second) warn(text);
  }
  std::string shown(const std::string& name) const { return (file / printable_name(name)).string(); }
  void warn_unreadable(const std::string& name, const FileStamp& stamp, int error) {
    warn_once(str_cat({"unreadable\n", name, "\n", std::to_string(stamp.mtime_ns)}),
              str_cat({shown(name), " cannot be read: ", reason(error, file / name),
                       "; it is left out of the calendar"}));
  }
  void warn_broken(const std::string& name, const FileStamp& stamp, const ScanError& error) {
    warn_once(str_cat({"broken\n", name, "\n", std::to_string(stamp.mtime_ns), "\n", std::to_string(stamp.size)}),
              str_cat({shown(name), ": line ", std::to_string(error.line), ": ", error.reason,
                       "; the file is left out of the calendar and left as it is"}));
  }

  // One object file of a folder, read and indexed without the zones (on
  // either thread), before it joins a snapshot.
  struct ReadAside {
    std::size_t begin = 0, end = 0;  // its bytes in the buffer it was read into
    FileStamp stamp;
    int error = 0;  // why it could not be read
    UnplacedScan scan;
    bool placed = false;  // its times are set
  };

  // Appends the file's bytes to `bytes` (from `previous` when its stamp says
  // they are the same) and reads its events, placed in `zones`, or without
  // the zones when that is null (zone blocks met before then in `known`). A
  // refused file's bytes are taken out again. Without the zones it is safe
  // on another thread: it touches nothing of the store's.
  ReadAside read_object(const FolderListing& listing, const FolderFile& f,
                        const std::unordered_map<std::string_view, const Snapshot::Segment*>& before,
                        const Snapshot* previous, std::string& bytes, bool* linked, TimeZones* zones,
                        KnownZoneBlocks* known = nullptr) const {
    ReadAside read;
    read.begin = bytes.size();
    read.stamp = f.stamp;
    const auto old = before.find(f.name);
    if (old != before.end() && f.stamp.exists && same_file(old->second->stamp, f.stamp)) {
      bytes.append(previous->bytes.substr(old->second->begin, old->second->end - old->second->begin));
    } else if ((read.error = append_object(listing.dir.get(), f.name, bytes, read.stamp, linked)) != 0) {
      if (read.error != ENOENT && !read.stamp.exists) read.stamp = object_stamp(file / f.name);
      read.end = read.begin;
      return read;
    }
    const std::string_view file_bytes = std::string_view(bytes).substr(read.begin);
    if (zones != nullptr) {
      read.scan.result = scan_calendar(file_bytes, *zones);
      read.placed = true;
    } else {
      read.scan = scan_unplaced(file_bytes, known);
    }
    if (!read.scan.result.scan) bytes.resize(read.begin);
    read.end = bytes.size();
    return read;
  }

  // Adds a file read by read_object to `s`, whose bytes `file_bytes` now
  // holds (at read.begin), placing its events in the snapshot's zones;
  // names a file that cannot be read or is broken.
  void take_object(Snapshot& s, const FolderFile& f, ReadAside& read, std::string_view file_bytes) {
    if (read.error == ENOENT) return;  // removed since the listing
    s.seen.push_back({f.name, read.stamp});
    if (read.error != 0) {
      warn_unreadable(f.name, read.stamp, read.error);
      return;
    }
    if (!read.scan.result.scan) {
      warn_broken(f.name, read.stamp, read.scan.result.error);
      return;
    }
    if (!read.placed) place_scan(file_bytes, read.scan, s.zones);
    for (IndexedEvent& e : read.scan.result.scan->events) {
      e.begin += read.begin;
      e.end += read.begin;
      s.scan.events.push_back(std::move(e));
    }
    for (SkippedEvent& skip : read.scan.result.scan->skipped) {
      skip.begin += read.begin;
      skip.end += read.begin;
      s.scan.skipped.push_back(std::move(skip));
    }
    s.files.push_back({f.name, read.stamp, read.begin, read.end});
  }

  // Indexes the object files of `listing`: the bytes of a file whose stamp
  // is unchanged come from `previous`, the others are read. A file that
  // cannot be read or whose structure is broken is named and left out.
  std::unique_ptr<Snapshot> load_folder(const FolderListing& listing, const Snapshot* previous) {
    auto s = std::make_unique<Snapshot>(local);
    s->refused = listing.refused;
    for (const std::string& refused : listing.refused) {
      warn_once("refused\n" + refused, str_cat({where(), ": ", refused, "; it is left out of the calendar"}));
    }
    std::unordered_map<std::string_view, const Snapshot::Segment*> before;
    if (previous != nullptr) {
      for (const Snapshot::Segment& f : previous->files) before.emplace(f.name, &f);
    }
    // A listing without stamps does not know the sizes: about 2 KiB a file
    // is a guess on the large side for one event with its time zones.
    constexpr std::size_t kGuessedObjectSize = 2048;
    const auto room_for = [&](std::size_t from, std::size_t to) {
      std::size_t room = 0;
      for (std::size_t i = from; i < to; ++i) {
        const FileStamp& stamp = listing.files[i].stamp;
        room += stamp.exists ? static_cast<std::size_t>(stamp.size) : kGuessedObjectSize;
      }
      return room;
    };
    const std::size_t count = listing.files.size();
    const std::size_t total = room_for(0, count);
    std::string& bytes = s->bytes.own();
    reserve_on_huge_pages(bytes, total + spare_for(total));
    s->scan.events.reserve(listing.files.size());  // mostly one event a file
    s->files.reserve(listing.files.size());
    s->seen.reserve(listing.files.size());
    s->scan.eol = "\r\n";
    // A file with a hard link in another folder may be written through that
    // one, which this folder's watch never hears of: then every look lists.
    bool linked = listing.linked;
    // A large folder's second half is read and indexed on another thread,
    // into bytes of its own, while this one does the first half; its files
    // then join the snapshot in order, their times placed in the zones here.
    const std::size_t half = read_in_two(total) && count >= 2 ? count / 2 : count;
    std::string aside;
    std::vector<ReadAside> read_aside;
    KnownZoneBlocks known_zones;
    bool aside_linked = false;
    std::optional<WorkAside> reader;
    if (half < count) {
      reader.emplace([&] {
        read_aside.reserve(count - half);
        reserve_on_huge_pages(aside, room_for(half, count));
        for (std::size_t i = half; i < count; ++i) {
          read_aside.push_back(
              read_object(listing, listing.files[i], before, previous, aside, &aside_linked, nullptr, &known_zones));
        }
      });
    }
    for (std::size_t i = 0; i < half; ++i) {
      const FolderFile& f = listing.files[i];
      ReadAside read = read_object(listing, f, before, previous, bytes, &linked, &s->zones);
      take_object(*s, f, read, std::string_view(bytes).substr(read.begin, read.end - read.begin));
    }
    if (reader) reader->wait();
    for (std::size_t i = half; i < count; ++i) {
      ReadAside& read = read_aside[i - half];
      const std::size_t base = bytes.size();
      bytes.append(aside, read.begin, read.end - read.begin);  // none for a file left out
      read.end = bytes.size();
      read.begin = base;
      take_object(*s, listing.files[i], read, std::string_view(bytes).substr(base));
    }
    linked = linked || aside_linked;
    if (linked && watch) watch->stop();
    warn_skipped(*s);
    assign_oids(*s, previous);
    return s;
  }

  // Gives the events of `s` their oids: those found again in `previous`
  // keep theirs.
  void assign_oids(Snapshot& s, const Snapshot* previous) {
    KnownOids known;
    if (previous != nullptr) known = known_oids(previous->scan.events, previous->bytes);
    give_oids(s.scan.events, s.bytes, known);
    s.rebuild_lookup();
  }

  // The oids of `events` (in `bytes`) by identity, each list in reverse
  // order, so that the first of equal events is taken first.
  using KnownOids = std::unordered_map<std::string, std::vector<Oid>>;
  KnownOids known_oids(std::span<const IndexedEvent> events, std::string_view bytes) const {
    KnownOids known;
    for (const IndexedEvent& e : events) {
      if (!is_occurrence_oid(e.oid)) known[identity(e, bytes)].push_back(e.oid);
    }
    for (auto& [key, oids] : known) std::reverse(oids.begin(), oids.end());
    return known;
  }

  void give_oids(std::span<IndexedEvent> events, std::string_view bytes, KnownOids& known) {
    // An override keeps the oid its occurrence was listed with (and the
    // occurrence gets it back if the override goes); a second override of
    // the same occurrence is an event of its own.
    std::unordered_set<Oid> overrides;
    for (IndexedEvent& e : events) {
      if (const auto instant = e.recurrence_instant(); instant && e.has_uid()) {
        const Oid oid = occurrence_oid(std::string(e.uid(bytes)), *instant);
        if (overrides.insert(oid).second) {
          e.oid = oid;
          continue;
        }
      }
      // A first load knows no oids: no identity to build for each event.
      const auto it = known.empty() ? known.end() : known.find(identity(e, bytes));
      if (it != known.end() && !it->second.empty()) {
        e.oid = it->second.back();
        it->second.pop_back();
      } else {
        e.oid = next_oid++;
      }
    }
  }

  // After this store rewrote the folder's file `segment` to `text`: that
  // file alone is indexed again; the others keep their index. False when
  // the text cannot be indexed (then the caller reads the folder again).
  bool replace_segment(std::size_t segment, const std::string& text) {
    KnownOids known = segment_oids({segment});
    if (!put_segment(segment, text, known)) return false;
    index_changed();
    return true;
  }

  // The events of the folder's file `segment`: [first, last) of scan.events.
  std::pair<std::size_t, std::size_t> events_of(std::size_t segment) const {
    const auto& events = snapshot->scan.events;
    const Snapshot::Segment& f = snapshot->files[segment];
    const auto by_begin = [](const IndexedEvent& e, std::size_t at) { return e.begin < at; };
    const auto lo = std::lower_bound(events.begin(), events.end(), f.begin, by_begin);
    const auto hi = std::lower_bound(lo, events.end(), f.end, by_begin);
    return {static_cast<std::size_t>(lo - events.begin()), static_cast<std::size_t>(hi - events.begin())};
  }

  // The oids of the events in the folder's files `segments`, as known_oids gives them.
  KnownOids segment_oids(const std::vector<std::size_t>& segments) const {
    const auto& events = snapshot->scan.events;
    std::vector<IndexedEvent> theirs;
    for (const std::size_t segment : segments) {
      const auto [lo, hi] = events_of(segment);
      theirs.insert(theirs.end(), events.begin() + static_cast<std::ptrdiff_t>(lo),
                    events.begin() + static_cast<std::ptrdiff_t>(hi));
    }
    return known_oids(theirs, snapshot->bytes);
  }

  // Puts `text` in place of the bytes and events of the folder's file
  // `segment`, its events taking their oids from `known`; the lookup tables
  // wait for index_changed(). False, with nothing changed, when the text
  // cannot be indexed.
  bool put_segment(std::size_t segment, const std::string& text, KnownOids& known, ScanError* error = nullptr) {
    Snapshot& s = *snapshot;
    ScanResult result = scan_calendar(text, s.zones);
    if (!result.scan) {
      if (error != nullptr) *error = result.error;
      return false;
    }
    Snapshot::Segment& f = s.files[segment];
    const std::size_t begin = f.begin, end = f.end;
    const auto delta = static_cast<std::ptrdiff_t>(text.size()) - static_cast<std::ptrdiff_t>(end - begin);
    auto shift = [delta](std::size_t& at) { at = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(at) + delta); };
    auto& events = s.scan.events;
    const auto [lo, hi] = events_of(segment);
    std::vector<IndexedEvent>& fresh = result.scan->events;
    give_oids(fresh, text, known);
    for (IndexedEvent& e : fresh) {
      e.begin += begin;
      e.end += begin;
    }
    for (std::size_t j = hi; j < events.size(); ++j) {
      shift(events[j].begin);
      shift(events[j].end);
    }
    events.erase(events.begin() + static_cast<std::ptrdiff_t>(lo), events.begin() + static_cast<std::ptrdiff_t>(hi));
    events.insert(events.begin() + static_cast<std::ptrdiff_t>(lo), std::make_move_iterator(fresh.begin()),
                  std::make_move_iterator(fresh.end()));
    auto& skipped = s.scan.skipped;
    const auto by_begin = [](const SkippedEvent& e, std::size_t at) { return e.begin < at; };
    const auto slo = std::lower_bound(skipped.begin(), skipped.end(), begin, by_begin);
    const auto shi = std::lower_bound(slo, skipped.end(), end, by_begin);
    for (auto it = shi; it != skipped.end(); ++it) {
      shift(it->begin);
      shift(it->end);
    }
    for (SkippedEvent& skip : result.scan->skipped) {
      skip.begin += begin;
      skip.end += begin;
    }
    const auto at = skipped.erase(slo, shi);
    skipped.insert(at, result.scan->skipped.begin(), result.scan->skipped.end());
    std::string& bytes = s.bytes.own();  // a folder's: always its own
    const std::size_t size = bytes.size() + text.size() - (end - begin);
    if (size > bytes.capacity()) bytes.reserve(size + spare_for(size));
    bytes.replace(begin, end - begin, text);
    f.end = begin + text.size();
    for (std::size_t j = segment + 1; j < s.files.size(); ++j) {
      shift(s.files[j].begin);
      shift(s.files[j].end);
    }
    return true;
  }

  // After put_segment: the tables by oid, by start and by series follow the
  // events again.
  void index_changed() {
    Snapshot& s = *snapshot;
    warn_skipped(s);
    s.series_by_number.clear();  // points into the series index rebuilt here
    s.rebuild_lookup();
  }

  StoreStatus failure(std::string message, int error_number = 0,
                      StoreFailure kind = StoreFailure::Other) const {
    return {false, std::move(message), error_number, kind};
  }

  StoreStatus out_of_range(const std::string& problem) const {
    return failure(where() + " was not changed: " + problem, 0, StoreFailure::OutOfRange);
  }

  // Whether the file still holds what the snapshot holds.
  bool unchanged_on_disk() const {
    if (compare_stamp(file, snapshot->stamp) == Freshness::Same) return true;
    return compare_content(file, snapshot->bytes).same;
  }

  // Brings the snapshot up to date with the file; *reloaded tells whether
  // the content changed.
  StoreStatus sync(bool* reloaded) {
    *reloaded = false;
    if (folder) {
      const FileStamp before = folder_stamp(file);
      switch (pick_up(watch->take())) {
        case PickUp::Nothing:
          return {};
        case PickUp::Done:
          snapshot->folder = before;
          *reloaded = true;
          return {};
        case PickUp::List:
          break;
      }
      const FolderListing listing = list_folder(file);
      if (listing.error != 0) {
        return failure(where() + " could not be read again: " + reason(listing.error), listing.error);
      }
      if (listing.files == snapshot->seen && listing.refused == snapshot->refused) {
        snapshot->folder = before;
        return {};
      }
      snapshot = load_folder(listing, snapshot.get());
      snapshot->folder = before;
      *reloaded = true;
      return {};
    }
    const Freshness freshness = compare_stamp(file, snapshot->stamp);
    if (freshness == Freshness::Same) return {};
    // The timestamps cannot tell (or the file was only touched): compare the
    // content in chunks first, so that an unchanged file is never held twice.
    if (const ContentCheck check = compare_content(file, snapshot->bytes); check.same) {
      snapshot->stamp = check.stamp;
      return {};
    }
    HeldRead read = hold_file(file, spare_for, options.map_from);
    if (read.error == ENOENT) {
      read.error = 0;
      read.stamp = FileStamp{};
    } else if (read.error != 0) {
      return failure(where() + " could not be read again before saving: " + reason(read.error, file),
                     read.error);
    }
    if (read.bytes.view() == snapshot->bytes.view()) {
      snapshot->stamp = read.stamp;
      return {};
    }
    std::string error;
    auto fresh = load(std::move(read.bytes), read.stamp, snapshot.get(), &error);
    if (!fresh) {
      return failure(error + " (another program changed the file; nothing was saved)");
    }
    snapshot = std::move(fresh);
    *reloaded = true;
    return {};
  }

  enum class PickUp { Nothing, Done, List };
  // Brings the snapshot up to date with the object files the folder's
  // watch names as changed (its own saves among them), each file read and
  // indexed on its own: another program's change costs what its files cost,
  // not a look at every file of the folder. The folder is listed instead
  // when the watch cannot vouch for every change, when an entry named is
  // not a plain file (the listing names and leaves out links, FIFOs and
  // folders), and when many files changed at once (each one moves the
  // bytes of the files after it).
  PickUp pick_up(const FolderWatch::Changes& changes) {
    if (changes.unknown) return PickUp::List;
    constexpr std::size_t kMostPickedUp = 16;
    Snapshot& s = *snapshot;
    struct Change {
      std::string name;
      FileStamp stamp;  // not `exists` when the file is gone
    };
    std::vector<Change> work;
    for (const std::string& name : changes.names) {
      if (!is_object_name(name) ||
          std::any_of(work.begin(), work.end(), [&](const Change& c) { return c.name == name; })) {
        continue;
      }
      struct stat st {};
      FileStamp now;
      if (::lstat((file / name).c_str(), &st) == 0) {
        if (!S_ISREG(st.st_mode)) return PickUp::List;
        now = stamp_of(st);
      } else if (errno != ENOENT) {
        return PickUp::List;
      }
      const std::string refused = printable_name(name) + " is ";
      const auto was_refused = [&](const std::string& r) { return r.starts_with(refused); };
      if (std::any_of(s.refused.begin(), s.refused.end(), was_refused)) return PickUp::List;
      const FolderFile* seen = seen_named(name);
      if (seen != nullptr ? now.exists && same_file(seen->stamp, now) : !now.exists) continue;
      work.push_back({name, now});
      if (work.size() > kMostPickedUp) return PickUp::List;
    }
    if (work.empty()) return PickUp::Nothing;
    const UniqueFd dir(::open(file.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (!dir) return PickUp::List;
    // Oids follow the events from file to file, as a whole reload would.
    std::vector<std::size_t> segments;
    for (const Change& c : work) {
      if (const auto segment = segment_named(c.name)) segments.push_back(*segment);
    }
    KnownOids known = segment_oids(segments);
    bool linked = false;
    for (const Change& c : work) {
      const std::optional<std::size_t> segment = segment_named(c.name);
      std::string text;
      FileStamp stamp = c.stamp;
      const int error = c.stamp.exists ? append_object(dir.get(), c.name, text, stamp, &linked) : ENOENT;
      if (error == kNotRegularFile) return PickUp::List;  // what is done so far stays consistent
      bool listed = false;
      if (error == 0) {
        ScanError broken;
        listed = segment ? put_segment(*segment, text, known, &broken)
                         : add_segment(c.name, stamp, text, known, &broken);
        if (!listed) warn_broken(c.name, stamp, broken);
      } else if (error != ENOENT) {
        if (!stamp.exists) stamp = object_stamp(file / c.name);
        warn_unreadable(c.name, stamp, error);
      }
      if (!listed && segment) {
        if (!put_segment(*segment, std::string(), known)) return PickUp::List;
        s.files.erase(s.files.begin() + static_cast<std::ptrdiff_t>(*segment));
      }
      const auto at = std::lower_bound(s.seen.begin(), s.seen.end(), c.name,
                                       [](const FolderFile& f, const std::string& n) { return f.name < n; });
      const bool was_seen = at != s.seen.end() && at->name == c.name;
      if (error == ENOENT) {
        if (was_seen) s.seen.erase(at);
      } else if (was_seen) {
        at->stamp = stamp;
      } else {
        s.seen.insert(at, {c.name, stamp});
      }
    }
    if (linked) watch->stop();
    index_changed();
    return PickUp::Done;
  }

  // The entry of that name as the store last saw it, or nullptr.
  const FolderFile* seen_named(const std::string& name) const {
    const auto& seen = snapshot->seen;
    const auto at = std::lower_bound(seen.begin(), seen.end(), name,
                                     [](const FolderFile& f, const std::string& n) { return f.name < n; });
    return at != seen.end() && at->name == name ? &*at : nullptr;
  }

  // The folder's file of that name among those listed (a broken or unreadable one has none).
  std::optional<std::size_t> segment_named(const std::string& name) const {
    const auto& files = snapshot->files;
    const auto at =
        std::find_if(files.begin(), files.end(), [&](const Snapshot::Segment& f) { return f.name == name; });
    if (at == files.end()) return std::nullopt;
    return static_cast<std::size_t>(at - files.begin());
  }

  // A file another program added: its bytes go after every other file's, as
  // a new item's do.
  bool add_segment(const std::string& name, const FileStamp& stamp, const std::string& text, KnownOids& known,
                   ScanError* error) {
    Snapshot& s = *snapshot;
    s.files.push_back({name, stamp, s.bytes.size(), s.bytes.size()});
    if (put_segment(s.files.size() - 1, text, known, error)) return true;
    s.files.pop_back();
    return false;
  }

  // Before a save of `oid` (0 for a new one). In a folder whose watch is
  // off the whole listing is skipped when neither the folder (no file added,
  // removed or renamed) nor the files that hold the appointment changed: a
  // save then costs its own file, not a stat of every file. A file another
  // program rewrote in place meanwhile is still seen by the next listing, and
  // the file being saved is compared once more just before its rename.
  StoreStatus sync_before_write(Oid oid, bool* reloaded) {
    *reloaded = false;
    if (!folder || watch->on() || !same_file(folder_stamp(file), snapshot->folder)) return sync(reloaded);
    if (oid != 0) {
      const auto shown = listed(oid);
      if (!shown) return sync(reloaded);
      for (const IndexedEvent* e : {shown->text, shown->override_event}) {
        if (e != nullptr && !same_file(object_stamp(file / snapshot->files[snapshot->segment_at(e->begin)].name),
                                       snapshot->files[snapshot->segment_at(e->begin)].stamp)) {
          return sync(reloaded);
        }
      }
    }
    return {};
  }

  // After this store's own change in the folder: the folder's new stamp.
  void note_folder_change() { snapshot->folder = folder_stamp(file); }

  // The file a save of a mapped calendar wrote, mapped in its turn before
  // it took the calendar's place: the snapshot takes it for the bytes it
  // now holds, which then need no copy of their own.
  std::optional<LeasedMapping> written;

  StoreStatus write(const std::vector<std::string_view>& pieces, FileStamp* stamp) {
    written.reset();
    CompleteHook complete;
    if (snapshot->bytes.mapped()) {
      complete = [this](const std::filesystem::path& temp) {
        UniqueFd fd;
        struct stat st {};
        FileStamp ignored;
        // Mapped whole only once the old mapping is gone (splice).
        if (open_for_reading(temp, fd, st) == 0) written = LeasedMapping::map(fd.get(), false, &ignored);
      };
    }
    StoreStatus status = write_to(file, where(), pieces, [this] { return unchanged_on_disk(); }, stamp, complete);
    if (!status.ok) written.reset();
    return status;
  }

  // Replaces the folder's file `segment` with `pieces`.
  StoreStatus write_object(std::size_t segment, const std::vector<std::string_view>& pieces) {
    Snapshot::Segment& f = snapshot->files[segment];
    const std::filesystem::path path = file / f.name;
    FileStamp stamp;
    StoreStatus status = write_to(path, (file / printable_name(f.name)).string(), pieces,
                                  [&] { return object_unchanged(segment); }, &stamp);
    if (status.ok) {
      f.stamp = stamp;
      const auto seen = std::lower_bound(snapshot->seen.begin(), snapshot->seen.end(), f.name,
                                         [](const FolderFile& a, const std::string& name) { return a.name < name; });
      if (seen != snapshot->seen.end() && seen->name == f.name) seen->stamp = stamp;
      note_folder_change();
    }
    return status;
  }

  StoreStatus write_to(const std::filesystem::path& target, const std::string& name,
                       const std::vector<std::string_view>& pieces, const UnchangedCheck& unchanged,
                       FileStamp* stamp, const CompleteHook& complete = {}) {
    const WriteResult w = replace_file(target, pieces, options.inject_write_fault, unchanged, complete);
    if (w.conflict) {
      return failure(name + " was changed by another program while it was being saved; " +
                         "nothing was saved, so that the other change is not lost",
                     0, StoreFailure::ChangedElsewhere);
    }
    if (!w.replaced) {
      if (w.read_only) {
        return failure(name + " could not be saved: the file is read-only (" + reason(w.error) +
                           "); the file is unchanged",
                       w.error);
      }
      return failure(name + " could not be saved: " + reason(w.error, target) +
                         " (the file is unchanged)",
                     w.error);
    }
    *stamp = w.stamp;
    if (w.error != 0) {
      // The new file is in place; only its durability is in doubt.
      return {true, name + " was saved, but the folder could not be synced: " + reason(w.error),
              w.error};
    }
    return {};
  }

  // For an edit at `offset`: in a folder, the line ends of that file, and
  // UTC for new times, since the file need not hold the local VTIMEZONE.
  EditContext context(const Snapshot& s, std::size_t offset = 0) const {
    EditContext ctx;
    ctx.zones = &s.zones;
    ctx.eol = s.scan.eol;
    ctx.now_utc = now();
    if (folder) {
      if (!s.files.empty()) {
        const Snapshot::Segment& f = s.files[s.segment_at(offset)];
        ctx.eol = detect_eol(std::string_view(s.bytes).substr(f.begin, f.end - f.begin));
      }
      ctx.timed_form = {TimeForm::Kind::Utc, {}, nullptr};
    } else if (s.zones.file_defines(local_name)) {
      ctx.timed_form = {TimeForm::Kind::Zoned, local_name, s.zones.find(local_name)};
    } else {
      ctx.timed_form = {TimeForm::Kind::Utc, {}, nullptr};
    }
    return ctx;
  }

  // One attempt at each save; a conflict with another program's save is
  // reported as ChangedElsewhere, and the caller tries again.
  Oid add_once(const AppointmentFields& fields, StoreStatus* status);
  StoreStatus update_once(Oid oid, const AppointmentFields& wanted, const ChangeSet& asked);
  StoreStatus remove_once(Oid oid);

  // Saves on one occurrence of a series; each rewrites the file and reads
  // it again (rare, and simpler than patching the index of the series).
  StoreStatus write_override(const Listed& occurrence, const AppointmentFields& current,
                             const AppointmentFields& target, const ChangeSet& changes);
  StoreStatus remove_occurrence(const Listed& occurrence);
  StoreStatus write_and_reload(std::string bytes);
  struct Cut {
    std::size_t begin, end;
    std::string text;
  };
  // Applies the cuts (in the snapshot's bytes) to the file or files they
  // fall in, and reads the result again.
  StoreStatus write_cuts(std::vector<Cut> cuts);

  // New Item in a folder: a file of its own, named after its UID.
  Oid add_object(const AppointmentFields& want, StoreStatus* status);
  // Whether the folder's file `segment` is still what the store last read
  // or wrote.
  bool object_unchanged(std::size_t segment) const {
    const Snapshot::Segment& f = snapshot->files[segment];
    const std::filesystem::path path = file / f.name;
    return same_file(object_stamp(path), f.stamp) ||
           compare_content(path, std::string_view(snapshot->bytes).substr(f.begin, f.end - f.begin)).same;
  }

  // The events set aside as unplaceable that begin in [from, to) move with
  // the bytes, so that they are still named once, by their own file.
  template <typename Shift>
  void shift_skipped(std::size_t from, std::size_t to, const Shift& shift) {
    auto& skipped = snapshot->scan.skipped;
    const auto by_begin = [](const SkippedEvent& e, std::size_t at) { return e.begin < at; };
    auto it = std::lower_bound(skipped.begin(), skipped.end(), from, by_begin);
    for (; it != skipped.end() && it->begin < to; ++it) {
      shift(it->begin);
      shift(it->end);
    }
  }

  // After a successful write of `replacement` over [begin, end); `event`,
  // when given, is moved into the index at `index`.
  void splice(std::size_t index, std::size_t begin, std::size_t end, const std::string& replacement,
              IndexedEvent* event) {
    Snapshot& s = *snapshot;
    const std::ptrdiff_t delta =
        static_cast<std::ptrdiff_t>(replacement.size()) - static_cast<std::ptrdiff_t>(end - begin);
    auto& events = s.scan.events;
    const auto shift = [delta](std::size_t& at) {
      at = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(at) + delta);
    };
    const auto insert = [&] {
      if (event == nullptr) return;
      // Grown by a little, not doubled: the index of a large calendar is big.
      if (events.size() == events.capacity()) events.reserve(events.size() + events.size() / 64 + 16);
      events.insert(events.begin() + static_cast<std::ptrdiff_t>(index), std::move(*event));
    };
    std::size_t owner = 0;
    if (!s.files.empty()) {
      owner = s.segment_at(begin);
      while (owner + 1 < s.files.size() && s.files[owner + 1].begin <= begin && end <= s.files[owner + 1].end) ++owner;
      // A folder's file may be followed by room that files which shrank or
      // went left behind: an edit that fits moves the rest of its own file
      // only, not the bytes and offsets of every file after it.
      Snapshot::Segment& f = s.files[owner];
      const std::size_t limit = owner + 1 < s.files.size() ? s.files[owner + 1].begin : s.bytes.size();
      if (delta <= static_cast<std::ptrdiff_t>(limit - f.end)) {
        char* data = s.bytes.own().data();
        std::memmove(data + begin + replacement.size(), data + end, f.end - end);
        std::memcpy(data + begin, replacement.data(), replacement.size());
        const std::size_t old_end = f.end;
        shift(f.end);
        for (std::size_t j = index; j < events.size() && events[j].begin < old_end; ++j) {
          shift(events[j].begin);
          shift(events[j].end);
        }
        shift_skipped(end, old_end, shift);
        insert();
        return;
      }
    }
    const std::size_t size = s.bytes.size() - (end - begin) + replacement.size();
    if (written && written->bytes().size() == size) {
      s.bytes.replace_with(std::move(*written));  // the file just saved: these very bytes
    } else {
      s.bytes.own(size > s.bytes.capacity() ? size + spare_for(size) : 0).replace(begin, end - begin, replacement);
    }
    written.reset();
    for (std::size_t j = index; j < events.size(); ++j) {
      shift(events[j].begin);
      shift(events[j].end);
    }
    shift_skipped(end, std::numeric_limits<std::size_t>::max(), shift);
    if (!s.files.empty()) {
      // The file that holds the edit grows or shrinks; those after it move.
      shift(s.files[owner].end);
      for (std::size_t j = owner + 1; j < s.files.size(); ++j) {
        shift(s.files[j].begin);
        shift(s.files[j].end);
      }
    }
    if (s.scan.insert_at != std::string_view::npos && s.scan.insert_at >= end) shift(s.scan.insert_at);
    insert();
  }
};

CalendarStore::CalendarStore(std::unique_ptr<Impl> impl) : impl_(std::move(impl)) {}
CalendarStore::~CalendarStore() = default;

std::unique_ptr<CalendarStore> CalendarStore::open(const std::filesystem::path& file,
                                                   std::string* error) {
  return open(file, error, StoreOptions{});
}

std::unique_ptr<CalendarStore> CalendarStore::open(const std::filesystem::path& file,
                                                   std::string* error, StoreOptions options) {
  std::string ignored;
  if (error == nullptr) error = &ignored;
  auto impl = std::make_unique<Impl>();
  impl->file = file;
  impl->options = std::move(options);
  LocalZone local = resolve_local_zone(LocalZoneSources::of_process());
  impl->local = local.zone;
  impl->local_name = std::move(local.name);
  if (!local.problem.empty()) impl->warn(local.problem);
  std::error_code ec;
  if (std::filesystem::is_directory(file, ec)) {
    impl->folder = true;
    impl->watch.emplace(file);
    const FileStamp before = folder_stamp(file);
    const FolderListing listing = list_folder(file, Stamps::FromRead);
    if (listing.error != 0) {
      *error = file.string() + " cannot be read: " + reason(listing.error);
      return nullptr;
    }
    // Saves killed half way leave their temporary files in the folder.
    remove_stale_temp_files_in(listing.dir.get(), listing.temporary);
    impl->snapshot = impl->load_folder(listing, nullptr);
    impl->snapshot->folder = before;
    return std::unique_ptr<CalendarStore>(new CalendarStore(std::move(impl)));
  }
  // Saves killed half way (by a crash or a power cut) leave their temporary
  // files, as large as the calendar; nobody else will ever remove them.
  remove_stale_temp_files(file);
  HeldRead read = hold_file(file, spare_for, impl->options.map_from);
  if (read.error == ENOENT) {
    read.error = 0;
    read.stamp = FileStamp{};
  } else if (read.error != 0) {
    *error = file.string() + " cannot be read: " + reason(read.error, file);
    return nullptr;
  }
  impl->snapshot = impl->load(std::move(read.bytes), read.stamp, nullptr, error);
  if (!impl->snapshot) return nullptr;
  return std::unique_ptr<CalendarStore>(new CalendarStore(std::move(impl)));
}

std::optional<AppointmentFields> CalendarStore::get(Oid oid) const {
  const auto l = impl_->listed(oid);
  if (!l) return std::nullopt;
  return impl_->fields(*l);
}

std::optional<std::vector<Oid>> CalendarStore::find(std::u16string_view restriction) const {
  const auto parsed = parse_restriction(restriction);
  if (!parsed) return std::nullopt;
  std::vector<Oid> found;
  // The program finds the appointment of a list row by its oid.
  if (const auto pinned = pinned_oid(*parsed)) {
    if (*pinned <= 0 || *pinned > std::numeric_limits<Oid>::max()) return found;
    const auto l = impl_->listed(static_cast<Oid>(*pinned));
    if (l && matches(*parsed, EventTarget(*impl_->snapshot, *l->text, l->timing, l->oid))) found.push_back(l->oid);
    return found;
  }
  const MinuteRange range = start_range(*parsed);
  if (range.low > range.high) return found;
  // Minutes to wall seconds without overflow at the open ends.
  constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 120;
  const std::int64_t low = std::clamp(range.low, -kLimit, kLimit) * 60;
  const std::int64_t high = std::clamp(range.high, -kLimit, kLimit) * 60 + 59;
  const std::vector<Occurrence> hits = impl_->collect(&*parsed, low, high);
  found.reserve(hits.size());
  for (const Occurrence& o : hits) found.push_back(o.oid);
  return found;
}

std::vector<Oid> CalendarStore::all() const {
  constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 2;
  const std::vector<Occurrence> hits = impl_->collect(nullptr, -kLimit, kLimit);
  std::vector<Oid> oids;
  oids.reserve(hits.size());
  for (const Occurrence& o : hits) oids.push_back(o.oid);
  return oids;
}

std::vector<Occurrence> CalendarStore::Impl::collect(const Restriction* r, std::int64_t low, std::int64_t high) {
  const Snapshot& s = *snapshot;
  std::vector<Occurrence> hits;
  auto wanted = [&](const IndexedEvent& e) { return r == nullptr || matches(*r, EventTarget(s, e)); };
  const auto first = std::lower_bound(s.by_start.begin(), s.by_start.end(), Occurrence{low, 0});
  const auto last = std::upper_bound(first, s.by_start.end(), Occurrence{high, std::numeric_limits<Oid>::max()});
  const auto in_range = static_cast<std::size_t>(last - first);
  if (in_range <= s.scan.events.size() / 8) {
    for (auto it = first; it != last; ++it) {
      const IndexedEvent* e = s.event(it->oid);
      if (e != nullptr && wanted(*e)) hits.push_back(*it);
    }
  } else {
    // A search through much of the calendar (by subject, say) visits the
    // events in file order, so that memory is read front to back, and sorts
    // the few it finds into start order afterwards.
    for (const IndexedEvent& e : s.scan.events) {
      const Occurrence o = occurrence_of(e);
      if (o.start_key() >= low && o.start_key() <= high && !(e.recurring && s.series.is_master(e.oid)) && wanted(e)) {
        hits.push_back(o);
      }
    }
  }
  const std::size_t plain = hits.size();
  collect_series(r, low, high, hits);
  if (hits.size() != plain || in_range > s.scan.events.size() / 8) std::sort(hits.begin(), hits.end());
  return hits;
}

void CalendarStore::Impl::collect_series(const Restriction* r, std::int64_t low, std::int64_t high,
                                         std::vector<Occurrence>& hits) {
  Snapshot& s = *snapshot;
  const SeriesIndex::Reader read = reader(s);
  // A search without an end stops open-ended series some time from now, or
  // at their first start where that is later.
  const bool open_end = high > kLastYearEnd;
  if (open_end) high = std::min(high, now() + kOpenEndSeconds);
  for (Series& series : s.series.all()) {
    const IndexedEvent* master = s.event(series.master);
    if (master == nullptr) continue;
    if (r != nullptr && !may_match_by_text(*r, EventTarget(s, *master))) continue;
    if (!series.number) {
      series.number = series_number(series.key);
      if (s.series_by_number.size() <= *series.number) s.series_by_number.resize(*series.number + 1);
      s.series_by_number[*series.number] = &series;
    }
    const std::uint32_t number = *series.number;
    const std::int64_t last = open_end ? std::max(high, master->start_wall) : high;
    for (const OccurrenceTime& t : s.series.occurrences(series, low, last, read)) {
      const Oid oid = occurrence_oid(number, t.instant);
      EventTiming timing = master->timing();
      timing.start = from_wall_seconds(t.wall);
      if (r == nullptr || matches(*r, EventTarget(s, *master, timing, oid))) hits.push_back({t.wall, oid});
    }
  }
}

Oid CalendarStore::add(const AppointmentFields& fields, StoreStatus* status) {
  StoreStatus ignored;
  if (status == nullptr) status = &ignored;
  Impl& d = *impl_;
  std::string problem;
  const auto want = normalize_fields(fields, &problem);
  if (!want) {
    *status = d.out_of_range(problem);
    return 0;
  }
  for (int attempt = 1;; ++attempt) {
    const Oid oid = d.add_once(*want, status);
    if (oid != 0 || status->failure != StoreFailure::ChangedElsewhere || attempt == kSaveAttempts) return oid;
  }
}

Oid CalendarStore::Impl::add_once(const AppointmentFields& fields, StoreStatus* status) {
  Impl& d = *this;
  const AppointmentFields* want = &fields;
  bool reloaded = false;
  if (StoreStatus s = d.sync_before_write(0, &reloaded); !s.ok) {
    *status = s;
    return 0;
  }
  if (d.folder) return d.add_object(*want, status);
  Snapshot& snap = *d.snapshot;
  std::random_device random;
  char uid[64];
  std::snprintf(uid, sizeof uid, "%08x-%04x-%04x-%04x-%08x%04x@tallyset", random(),
                random() & 0xFFFF, random() & 0xFFFF, random() & 0xFFFF, random(),
                random() & 0xFFFF);
  const std::string event = build_event(*want, uid, d.context(snap));
  const std::string_view bytes = snap.bytes;
  if (!index_event(event, 0, event.size(), 1, snap.zones).event) {
    *status = d.failure(d.where() + " was not changed: the new appointment could not be written");
    return 0;
  }
  FileStamp stamp;
  if (snap.scan.insert_at != std::string_view::npos) {
    const std::size_t at = snap.scan.insert_at;
    *status = d.write({bytes.substr(0, at), event, bytes.substr(at)}, &stamp);
    if (!status->ok) return 0;
    auto indexed = index_event(event, 0, event.size(), 1, snap.zones).event;
    indexed->begin = at;
    indexed->end = at + event.size();
    indexed->oid = d.next_oid++;
    const Oid oid = indexed->oid;
    // Every event ends before the last END:VCALENDAR, so the new one is last.
    d.splice(snap.scan.events.size(), at, at, event, &*indexed);
    snap.scan.insert_at = at + event.size();
    snap.stamp = stamp;
    snap.position.emplace(oid, snap.scan.events.size() - 1);
    const Occurrence occurrence = occurrence_of(snap.scan.events.back());
    snap.by_start.insert(std::upper_bound(snap.by_start.begin(), snap.by_start.end(), occurrence),
                         occurrence);
    return oid;
  }
  // No calendar in the file yet (missing, empty or blank): start one after
  // whatever blank lines are there.
  const std::string_view eol = snap.scan.eol;
  std::string calendar;
  if (!bytes.empty() && bytes.back() != '\n') calendar += eol;
  calendar += fold_line("BEGIN:VCALENDAR", eol);
  calendar += fold_line("VERSION:2.0", eol);
  calendar += fold_line("PRODID:-//Tallyset//Calendar Store//EN", eol);
  calendar += event;
  calendar += fold_line("END:VCALENDAR", eol);
  *status = d.write({bytes, calendar}, &stamp);
  if (!status->ok) return 0;
  std::string error;
  auto fresh = d.load(HeldBytes(str_cat({snap.bytes, calendar})), stamp, &snap, &error);
  if (!fresh || fresh->scan.events.size() != snap.scan.events.size() + 1) {
    // Cannot happen for text we generated; keep the store usable regardless.
    *status = d.failure(d.where() + " was saved but could not be indexed again: " + error);
    return 0;
  }
  d.snapshot = std::move(fresh);
  return d.snapshot->scan.events.back().oid;
}

Oid CalendarStore::Impl::add_object(const AppointmentFields& want, StoreStatus* status) {
  Snapshot& snap = *snapshot;
  const std::string uid = new_uuid();
  const std::string name = uid + ".ics";
  EditContext ctx = context(snap);
  ctx.eol = "\r\n";
  const std::string event = build_event(want, uid, ctx);
  auto indexed = index_event(event, 0, event.size(), 1, snap.zones).event;
  const std::filesystem::path path = file / name;
  if (!indexed) {
    *status = failure(path.string() + " was not written: the new appointment could not be written");
    return 0;
  }
  std::string text = fold_line("BEGIN:VCALENDAR", ctx.eol);
  text += fold_line("VERSION:2.0", ctx.eol);
  text += fold_line("PRODID:-//Tallyset//Calendar Store//EN", ctx.eol);
  const std::size_t event_at = text.size();
  text += event;
  text += fold_line("END:VCALENDAR", ctx.eol);
  FileStamp stamp;
  *status = write_to(path, path.string(), {text},
                     [&] { return ::access(path.c_str(), F_OK) != 0 && errno == ENOENT; }, &stamp);
  if (!status->ok) return 0;
  note_folder_change();
  const std::size_t at = snap.bytes.size();
  snap.files.push_back({name, stamp, at, at});
  const FolderFile seen{name, stamp};
  snap.seen.insert(std::lower_bound(snap.seen.begin(), snap.seen.end(), seen,
                                    [](const FolderFile& a, const FolderFile& b) { return a.name < b.name; }),
                   seen);
  indexed->begin = at + event_at;
  indexed->end = indexed->begin + event.size();
  indexed->oid = next_oid++;
  const Oid oid = indexed->oid;
  splice(snap.scan.events.size(), at, at, text, &*indexed);
  snap.position.emplace(oid, snap.scan.events.size() - 1);
  const Occurrence occurrence = occurrence_of(snap.scan.events.back());
  snap.by_start.insert(std::upper_bound(snap.by_start.begin(), snap.by_start.end(), occurrence), occurrence);
  return oid;
}

StoreStatus CalendarStore::update(Oid oid, const AppointmentFields& fields) {
  Impl& d = *impl_;
  const auto shown = d.listed(oid);
  if (!shown) return d.failure(d.where() + ": there is no appointment " + std::to_string(oid));
  std::string problem;
  const auto want = normalize_fields(fields, &problem);
  if (!want) return d.out_of_range(problem);
  // What the caller last saw; only what differs from it is theirs to save.
  // The comparison is with what the caller gave, not with its normal form:
  // an all-day event of no days keeps its timing when only its text changes.
  const AppointmentFields base = d.fields(*shown);
  const ChangeSet asked = diff_fields(base, fields);
  if (!asked.any()) return {};
  for (int attempt = 1;; ++attempt) {
    StoreStatus status = d.update_once(oid, *want, asked);
    if (status.failure != StoreFailure::ChangedElsewhere || attempt == kSaveAttempts) return status;
  }
}

StoreStatus CalendarStore::Impl::update_once(Oid oid, const AppointmentFields& wanted,
                                             const ChangeSet& asked) {
  Impl& d = *this;
  const AppointmentFields* want = &wanted;
  std::string problem;
  bool reloaded = false;
  if (StoreStatus s = d.sync_before_write(oid, &reloaded); !s.ok) return s;
  Snapshot& snap = *d.snapshot;
  const auto pos = snap.position.find(oid);
  const auto shown = d.listed(oid);
  if (!shown) {
    return d.failure(d.where() + ": the appointment was deleted by another program; nothing was saved",
                     0, StoreFailure::DeletedElsewhere);
  }
  const AppointmentFields current = d.fields(*shown);
  // Another program's edits to the other fields stay.
  AppointmentFields merged = current;
  if (asked.subject) merged.subject = want->subject;
  if (asked.body) merged.body = want->body;
  if (asked.categories) merged.categories = want->categories;
  if (asked.start) {
    merged.start = want->start;
    merged.all_day = want->all_day;
  }
  if (asked.duration) merged.duration_minutes = want->duration_minutes;
  auto target = normalize_fields(merged, &problem);
  if (!target) return d.out_of_range(problem);
  if (!asked.start && !asked.duration) {
    // Timing nobody asked to change is written back as the file has it.
    target->start = current.start;
    target->all_day = current.all_day;
    target->duration_minutes = current.duration_minutes;
  }
  const ChangeSet changes = diff_fields(current, *target);
  if (!changes.any()) return {};
  if (!pos) return d.write_override(*shown, current, *target, changes);
  const std::size_t index = *pos;
  const IndexedEvent& current_event = snap.scan.events[index];

  const std::string replacement =
      rewrite_event(snap.event_bytes(current_event), *target, changes, d.context(snap, current_event.begin));
  auto indexed = index_event(replacement, 0, replacement.size(), 1, snap.zones).event;
  if (!indexed) {
    return d.failure(d.where() + " was not changed: the appointment could not be written");
  }
  const std::size_t begin = current_event.begin, end = current_event.end;
  const std::string_view bytes = snap.bytes;
  FileStamp stamp = snap.stamp;
  StoreStatus status;
  if (d.folder) {
    const std::size_t segment = snap.segment_at(begin);
    const Snapshot::Segment& f = snap.files[segment];
    status = d.write_object(segment, {bytes.substr(f.begin, begin - f.begin), replacement, bytes.substr(end, f.end - end)});
  } else {
    status = d.write({bytes.substr(0, begin), replacement, bytes.substr(end)}, &stamp);
  }
  if (!status.ok) return status;

  const Occurrence old_occurrence = occurrence_of(current_event);
  indexed->begin = begin;
  indexed->end = begin + replacement.size();
  indexed->oid = oid;
  // The event keeps its place in the index: the entry is replaced, not
  // taken out and put back, which would move every entry after it twice.
  d.splice(index + 1, begin, end, replacement, nullptr);
  snap.scan.events[index] = std::move(*indexed);
  snap.stamp = stamp;
  const auto old_it = std::lower_bound(snap.by_start.begin(), snap.by_start.end(), old_occurrence);
  if (old_it != snap.by_start.end() && old_it->oid == oid) snap.by_start.erase(old_it);
  const Occurrence occurrence = occurrence_of(snap.scan.events[index]);
  snap.by_start.insert(std::upper_bound(snap.by_start.begin(), snap.by_start.end(), occurrence),
                       occurrence);
  return status;
}

StoreStatus CalendarStore::remove(Oid oid) {
  Impl& d = *impl_;
  if (!d.listed(oid)) return d.failure(d.where() + ": there is no appointment " + std::to_string(oid));
  for (int attempt = 1;; ++attempt) {
    StoreStatus status = d.remove_once(oid);
    if (status.failure != StoreFailure::ChangedElsewhere || attempt == kSaveAttempts) return status;
  }
}

StoreStatus CalendarStore::Impl::remove_once(Oid oid) {
  Impl& d = *this;
  bool reloaded = false;
  if (StoreStatus s = d.sync_before_write(oid, &reloaded); !s.ok) return s;
  Snapshot& snap = *d.snapshot;
  const auto shown = d.listed(oid);
  if (!shown) return {};  // another program removed it already
  if (shown->series != nullptr) return d.remove_occurrence(*shown);
  const std::size_t index = snap.position.at(oid);
  const IndexedEvent& e = snap.scan.events[index];
  std::size_t begin = e.begin, end = e.end;
  const Occurrence old_occurrence = occurrence_of(e);
  const std::string_view bytes = snap.bytes;
  FileStamp stamp = snap.stamp;
  StoreStatus status;
  std::optional<std::size_t> emptied;  // a folder's file that was removed
  if (d.folder) {
    const std::size_t segment = snap.segment_at(begin);
    const Snapshot::Segment& f = snap.files[segment];
    const bool alone = (index == 0 || snap.scan.events[index - 1].end <= f.begin) &&
                       (index + 1 == snap.scan.events.size() || snap.scan.events[index + 1].begin >= f.end);
    const std::string rest = str_cat({bytes.substr(f.begin, begin - f.begin), bytes.substr(end, f.end - end)});
    if (alone && holds_no_component(rest)) {
      // The file held this event only: the object goes with it.
      if (!d.object_unchanged(segment)) {
        return d.failure(d.where(begin) + " was changed by another program while it was being deleted; " +
                             "nothing was deleted, so that the other change is not lost",
                         0, StoreFailure::ChangedElsewhere);
      }
      if (const int error = remove_object(d.file, f.name); error != 0) {
        return d.failure(d.where(begin) + " could not be deleted: " + reason(error), error);
      }
      note_folder_change();
      begin = f.begin;
      end = f.end;
      emptied = segment;
      snap.seen.erase(std::remove_if(snap.seen.begin(), snap.seen.end(),
                                     [&](const FolderFile& s) { return s.name == f.name; }),
                      snap.seen.end());
    } else {
      status = d.write_object(segment, {rest});
    }
  } else {
    status = d.write({bytes.substr(0, begin), bytes.substr(end)}, &stamp);
  }
  if (!status.ok) return status;
  snap.scan.events.erase(snap.scan.events.begin() + static_cast<std::ptrdiff_t>(index));
  d.splice(index, begin, end, std::string(), nullptr);
  if (emptied) snap.files.erase(snap.files.begin() + static_cast<std::ptrdiff_t>(*emptied));
  snap.stamp = stamp;
  snap.position.erase(oid);
  snap.position.close_gap(index);
  const auto old_it = std::lower_bound(snap.by_start.begin(), snap.by_start.end(), old_occurrence);
  if (old_it != snap.by_start.end() && old_it->oid == oid) snap.by_start.erase(old_it);
  return status;
}

StoreStatus CalendarStore::Impl::write_override(const Listed& occurrence, const AppointmentFields& current,
                                                const AppointmentFields& target, const ChangeSet& changes) {
  Snapshot& snap = *snapshot;
  const IndexedEvent* master = snap.event(occurrence.series->master);
  const SeriesRule* rule = snap.series.rule_of(*occurrence.series, reader(snap));
  if (master == nullptr || rule == nullptr) return failure(where() + " was not changed: the series cannot be read");
  const EditContext ctx = context(snap, master->begin);
  const std::string fresh =
      build_override(snap.event_bytes(*master), *rule, occurrence.instant, current, snap.zones, ctx.eol);
  const std::string text = rewrite_event(fresh, target, changes, ctx);
  if (!index_event(text, 0, text.size(), 1, snap.zones).event) {
    return failure(where() + " was not changed: the occurrence could not be written");
  }
  // Beside its series, where a person reading the file looks for it.
  return write_cuts({{master->end, master->end, text}});
}

StoreStatus CalendarStore::Impl::remove_occurrence(const Listed& occurrence) {
  Snapshot& snap = *snapshot;
  const IndexedEvent* master = snap.event(occurrence.series->master);
  const SeriesRule* rule = snap.series.rule_of(*occurrence.series, reader(snap));
  if (master == nullptr || rule == nullptr) return failure(where() + " was not changed: the series cannot be read");
  std::vector<Cut> cuts;
  if (!std::binary_search(rule->excluded.begin(), rule->excluded.end(), occurrence.instant)) {
    cuts.push_back({master->begin, master->end,
                    add_exdate(snap.event_bytes(*master), *rule, occurrence.instant, snap.zones,
                               context(snap, master->begin).eol)});
  }
  if (occurrence.override_event != nullptr) {
    cuts.push_back({occurrence.override_event->begin, occurrence.override_event->end, {}});
  }
  return write_cuts(std::move(cuts));
}

StoreStatus CalendarStore::Impl::write_cuts(std::vector<Cut> cuts) {
  Snapshot& snap = *snapshot;
  std::sort(cuts.begin(), cuts.end(), [](const Cut& a, const Cut& b) { return a.begin > b.begin; });
  if (!folder) {
    std::string bytes(snap.bytes.view());
    for (const Cut& c : cuts) bytes.replace(c.begin, c.end - c.begin, c.text);
    return write_and_reload(std::move(bytes));
  }
  // Each file the cuts fall in is written once and indexed again, the last
  // first, so that the offsets of the cuts before it stay good.
  StoreStatus status;
  bool read_again = false;
  for (std::size_t i = 0; i < cuts.size();) {
    const std::size_t segment = snap.segment_at(cuts[i].begin);
    const Snapshot::Segment& f = snap.files[segment];
    std::string bytes(snap.bytes.substr(f.begin, f.end - f.begin));
    for (; i < cuts.size() && snap.segment_at(cuts[i].begin) == segment; ++i) {
      bytes.replace(cuts[i].begin - f.begin, cuts[i].end - cuts[i].begin, cuts[i].text);
    }
    status = write_object(segment, {bytes});
    if (!status.ok) return status;
    if (!replace_segment(segment, bytes)) {
      // Cannot happen for text this store wrote; the folder is read again.
      snap.files[segment].stamp = FileStamp{};
      read_again = true;
    }
  }
  if (read_again) {
    snapshot->seen.clear();
    bool reloaded = false;
    if (StoreStatus s = sync(&reloaded); !s.ok) return s;
  }
  return status;
}

StoreStatus CalendarStore::Impl::write_and_reload(std::string bytes) {
  FileStamp stamp;
  StoreStatus status = write({bytes}, &stamp);
  if (!status.ok) return status;
  std::string error;
  HeldBytes held;
  if (written) {
    written->map_all();  // all of it is read again below
    held = HeldBytes(std::move(*written));
    written.reset();
  } else {
    const std::size_t size = bytes.size();
    bytes.reserve(size + spare_for(size));
    held = HeldBytes(std::move(bytes));
  }
  auto fresh = load(std::move(held), stamp, snapshot.get(), &error);
  if (!fresh) return failure(where() + " was saved but could not be indexed again: " + error);
  snapshot = std::move(fresh);
  return status;
}

StoreStatus CalendarStore::refresh() {
  bool reloaded = false;
  return impl_->sync(&reloaded);
}

std::size_t CalendarStore::size() const { return impl_->snapshot->scan.events.size(); }

const std::filesystem::path& CalendarStore::file() const { return impl_->file; }

}  // namespace platform::calendar
