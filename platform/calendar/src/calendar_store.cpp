// The calendar store: an index over the file's bytes, and edits that splice
// one event's new text into those bytes and replace the file atomically.
// Every save first checks whether another program changed the file and, if
// so, reloads it and applies the user's change on top of the fresh content.
#include "platform/calendar/calendar_store.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <system_error>
#include <unordered_map>
#include <unordered_set>

#include "atomic_file.h"
#include "wall_time.h"
#include "content_line.h"
#include "event_editor.h"
#include "event_index.h"
#include "ical_time.h"
#include "restriction.h"
#include "text_codec.h"
#include "platform/base/str_cat.h"

namespace platform::calendar {

using namespace detail;

namespace {

// One entry per appointment today; a recurring event will contribute one
// per occurrence.
struct Occurrence {
  std::int64_t start_key;  // wall seconds
  Oid oid;
  friend bool operator<(const Occurrence& a, const Occurrence& b) {
    return a.start_key != b.start_key ? a.start_key < b.start_key : a.oid < b.oid;
  }
};

Occurrence occurrence_of(const IndexedEvent& e) { return {wall_seconds(e.timing.start), e.oid}; }

struct Snapshot {
  explicit Snapshot(icaltimezone* local) : zones(local) {}
  std::string bytes;
  TimeZones zones;
  CalendarScan scan;
  std::unordered_map<Oid, std::size_t> position;  // into scan.events
  std::vector<Occurrence> by_start;
  FileStamp stamp;

  void rebuild_lookup() {
    position.clear();
    position.reserve(scan.events.size());
    by_start.clear();
    by_start.reserve(scan.events.capacity());
    for (std::size_t i = 0; i < scan.events.size(); ++i) {
      position.emplace(scan.events[i].oid, i);
      by_start.push_back(occurrence_of(scan.events[i]));
    }
    std::sort(by_start.begin(), by_start.end());
  }

  const IndexedEvent* event(Oid oid) const {
    const auto it = position.find(oid);
    return it == position.end() ? nullptr : &scan.events[it->second];
  }

  std::string_view event_bytes(const IndexedEvent& e) const {
    return std::string_view(bytes).substr(e.begin, e.end - e.begin);
  }

  AppointmentFields fields(const IndexedEvent& e) const {
    const EventText text = read_event_text(event_bytes(e), e.text, kAllText);
    AppointmentFields f;
    f.subject = FromUtf8(text.summary);
    f.body = FromUtf8(text.description);
    f.categories = FromUtf8(text.categories);
    f.start = e.timing.start;
    f.duration_minutes = e.timing.duration_minutes;
    f.all_day = e.timing.all_day;
    return f;
  }
};

// How an event is recognised again after another program rewrote the file.
std::string identity(const IndexedEvent& e, std::string_view bytes) {
  if (!e.uid.empty()) return str_cat({"U", e.uid, "\n", e.recurrence_id});
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
      : snapshot_(snapshot), event_(event) {}

  std::int64_t number(Field field) const override {
    const std::int64_t start = floor_div(wall_seconds(event_.timing.start), 60);
    switch (field) {
      case Field::Start: return start;
      case Field::End: return start + event_.timing.duration_minutes;
      case Field::Duration: return event_.timing.duration_minutes;
      case Field::Oid: return event_.oid;
      case Field::AllDay: return event_.timing.all_day ? 1 : 0;
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
  mutable std::optional<std::u16string> subject_, body_, categories_;
};

}  // namespace

struct CalendarStore::Impl {
  std::filesystem::path file;
  StoreOptions options;
  icaltimezone* local = nullptr;
  std::string local_name;
  Oid next_oid = 1;
  std::unique_ptr<Snapshot> snapshot;
  // The events already named as left out, by their bytes: a reload after
  // another program's change names only the new ones.
  std::unordered_set<std::string> warned;

  std::string where() const { return file.string(); }

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
      if (!warned.insert(s.bytes.substr(skip.begin, skip.end - skip.begin)).second) continue;
      if (warned.size() > kNamedSkips) {
        ++unnamed;
        continue;
      }
      warn(str_cat({where(), ":", std::to_string(skip.error.line), ": ", skip.error.reason,
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

  // Indexes `bytes`; oids carry over from `previous` for events found again.
  std::unique_ptr<Snapshot> load(std::string bytes, const FileStamp& stamp,
                                 const Snapshot* previous, std::string* error) {
    auto s = std::make_unique<Snapshot>(local);
    s->bytes = std::move(bytes);
    s->stamp = stamp;
    ScanResult result = scan_calendar(s->bytes, s->zones);
    if (!result.scan) {
      *error = where() + ": line " + std::to_string(result.error.line) + ": " + result.error.reason;
      return nullptr;
    }
    s->scan = std::move(*result.scan);
    warn_skipped(*s);
    std::unordered_map<std::string, std::vector<Oid>> known;
    if (previous != nullptr) {
      for (const IndexedEvent& e : previous->scan.events) {
        known[identity(e, previous->bytes)].push_back(e.oid);
      }
      for (auto& [key, oids] : known) std::reverse(oids.begin(), oids.end());
    }
    for (IndexedEvent& e : s->scan.events) {
      const auto it = known.find(identity(e, s->bytes));
      if (it != known.end() && !it->second.empty()) {
        e.oid = it->second.back();
        it->second.pop_back();
      } else {
        e.oid = next_oid++;
      }
    }
    s->rebuild_lookup();
    return s;
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
    const Freshness freshness = compare_stamp(file, snapshot->stamp);
    if (freshness == Freshness::Same) return {};
    // The timestamps cannot tell (or the file was only touched): compare the
    // content in chunks first, so that an unchanged file is never held twice.
    if (const ContentCheck check = compare_content(file, snapshot->bytes); check.same) {
      snapshot->stamp = check.stamp;
      return {};
    }
    ReadResult read = read_file(file, spare_for);
    if (read.error == ENOENT) {
      read.error = 0;
      read.stamp = FileStamp{};
    } else if (read.error != 0) {
      return failure(where() + " could not be read again before saving: " + reason(read.error, file),
                     read.error);
    }
    if (read.bytes == snapshot->bytes) {
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

  StoreStatus write(const std::vector<std::string_view>& pieces, FileStamp* stamp) {
    const WriteResult w = replace_file(file, pieces, options.inject_write_fault,
                                       [this] { return unchanged_on_disk(); });
    if (w.conflict) {
      return failure(where() + " was changed by another program while it was being saved; " +
                         "nothing was saved, so that the other change is not lost",
                     0, StoreFailure::ChangedElsewhere);
    }
    if (!w.replaced) {
      if (w.read_only) {
        return failure(where() + " could not be saved: the file is read-only (" + reason(w.error) +
                           "); the file is unchanged",
                       w.error);
      }
      return failure(where() + " could not be saved: " + reason(w.error, file) +
                         " (the file is unchanged)",
                     w.error);
    }
    *stamp = w.stamp;
    if (w.error != 0) {
      // The new file is in place; only its durability is in doubt.
      return {true, where() + " was saved, but the folder could not be synced: " + reason(w.error),
              w.error};
    }
    return {};
  }

  EditContext context(const Snapshot& s) const {
    EditContext ctx;
    ctx.zones = &s.zones;
    ctx.eol = s.scan.eol;
    ctx.now_utc = now();
    if (s.zones.file_defines(local_name)) {
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

  // After a successful write of `replacement` over [begin, end).
  void splice(std::size_t index, std::size_t begin, std::size_t end, const std::string& replacement,
              std::optional<IndexedEvent> event) {
    Snapshot& s = *snapshot;
    const std::size_t size = s.bytes.size() - (end - begin) + replacement.size();
    if (size > s.bytes.capacity()) s.bytes.reserve(size + spare_for(size));
    s.bytes.replace(begin, end - begin, replacement);
    const std::ptrdiff_t delta =
        static_cast<std::ptrdiff_t>(replacement.size()) - static_cast<std::ptrdiff_t>(end - begin);
    auto& events = s.scan.events;
    for (std::size_t j = index; j < events.size(); ++j) {
      events[j].begin = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(events[j].begin) + delta);
      events[j].end = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(events[j].end) + delta);
    }
    if (s.scan.insert_at != std::string_view::npos && s.scan.insert_at >= end) {
      s.scan.insert_at = static_cast<std::size_t>(static_cast<std::ptrdiff_t>(s.scan.insert_at) + delta);
    }
    if (event) {
      // Grown by a little, not doubled: the index of a large calendar is big.
      if (events.size() == events.capacity()) events.reserve(events.size() + events.size() / 64 + 16);
      events.insert(events.begin() + static_cast<std::ptrdiff_t>(index), std::move(*event));
    }
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
  impl->local = resolve_local_zone(&impl->local_name);
  // Saves killed half way (by a crash or a power cut) leave their temporary
  // files, as large as the calendar; nobody else will ever remove them.
  remove_stale_temp_files(file);
  ReadResult read = read_file(file, spare_for);
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
  const Snapshot& s = *impl_->snapshot;
  const IndexedEvent* e = s.event(oid);
  if (e == nullptr) return std::nullopt;
  return s.fields(*e);
}

std::optional<std::vector<Oid>> CalendarStore::find(std::u16string_view restriction) const {
  const auto parsed = parse_restriction(restriction);
  if (!parsed) return std::nullopt;
  const Snapshot& s = *impl_->snapshot;
  const MinuteRange range = start_range(*parsed);
  std::vector<Oid> found;
  if (range.low > range.high) return found;
  // Minutes to wall seconds without overflow at the open ends.
  constexpr std::int64_t kLimit = std::numeric_limits<std::int64_t>::max() / 120;
  const std::int64_t low = std::clamp(range.low, -kLimit, kLimit) * 60;
  const std::int64_t high = std::clamp(range.high, -kLimit, kLimit) * 60 + 59;
  const auto first = std::lower_bound(s.by_start.begin(), s.by_start.end(), Occurrence{low, 0});
  const auto last = std::upper_bound(first, s.by_start.end(), Occurrence{high, std::numeric_limits<Oid>::max()});
  const auto in_range = static_cast<std::size_t>(last - first);
  if (in_range <= s.scan.events.size() / 8) {
    for (auto it = first; it != last; ++it) {
      const IndexedEvent* e = s.event(it->oid);
      if (e != nullptr && matches(*parsed, EventTarget(s, *e))) found.push_back(it->oid);
    }
    return found;
  }
  // A search through much of the calendar (by subject, say) visits the events
  // in file order, so that memory is read front to back, and sorts the few
  // it finds into start order afterwards.
  std::vector<Occurrence> hits;
  for (const IndexedEvent& e : s.scan.events) {
    const Occurrence o = occurrence_of(e);
    if (o.start_key >= low && o.start_key <= high && matches(*parsed, EventTarget(s, e))) hits.push_back(o);
  }
  std::sort(hits.begin(), hits.end());
  found.reserve(hits.size());
  for (const Occurrence& o : hits) found.push_back(o.oid);
  return found;
}

std::vector<Oid> CalendarStore::all() const {
  std::vector<Oid> oids;
  oids.reserve(impl_->snapshot->by_start.size());
  for (const Occurrence& o : impl_->snapshot->by_start) oids.push_back(o.oid);
  return oids;
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
  if (StoreStatus s = d.sync(&reloaded); !s.ok) {
    *status = s;
    return 0;
  }
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
    d.splice(snap.scan.events.size(), at, at, event, std::move(indexed));
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
  auto fresh = d.load(snap.bytes + calendar, stamp, &snap, &error);
  if (!fresh || fresh->scan.events.size() != snap.scan.events.size() + 1) {
    // Cannot happen for text we generated; keep the store usable regardless.
    *status = d.failure(d.where() + " was saved but could not be indexed again: " + error);
    return 0;
  }
  d.snapshot = std::move(fresh);
  return d.snapshot->scan.events.back().oid;
}

StoreStatus CalendarStore::update(Oid oid, const AppointmentFields& fields) {
  Impl& d = *impl_;
  const IndexedEvent* shown = d.snapshot->event(oid);
  if (shown == nullptr) return d.failure(d.where() + ": there is no appointment " + std::to_string(oid));
  std::string problem;
  const auto want = normalize_fields(fields, &problem);
  if (!want) return d.out_of_range(problem);
  // What the caller last saw; only what differs from it is theirs to save.
  // The comparison is with what the caller gave, not with its normal form:
  // an all-day event of no days keeps its timing when only its text changes.
  const AppointmentFields base = d.snapshot->fields(*shown);
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
  if (StoreStatus s = d.sync(&reloaded); !s.ok) return s;
  Snapshot& snap = *d.snapshot;
  const auto pos = snap.position.find(oid);
  if (pos == snap.position.end()) {
    return d.failure(d.where() + ": the appointment was deleted by another program; nothing was saved",
                     0, StoreFailure::DeletedElsewhere);
  }
  const std::size_t index = pos->second;
  const IndexedEvent& current_event = snap.scan.events[index];
  const AppointmentFields current = snap.fields(current_event);
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

  const std::string replacement =
      rewrite_event(snap.event_bytes(current_event), *target, changes, d.context(snap));
  auto indexed = index_event(replacement, 0, replacement.size(), 1, snap.zones).event;
  if (!indexed) {
    return d.failure(d.where() + " was not changed: the appointment could not be written");
  }
  const std::size_t begin = current_event.begin, end = current_event.end;
  const std::string_view bytes = snap.bytes;
  FileStamp stamp;
  StoreStatus status = d.write({bytes.substr(0, begin), replacement, bytes.substr(end)}, &stamp);
  if (!status.ok) return status;

  const Occurrence old_occurrence = occurrence_of(current_event);
  indexed->begin = begin;
  indexed->end = begin + replacement.size();
  indexed->oid = oid;
  snap.scan.events.erase(snap.scan.events.begin() + static_cast<std::ptrdiff_t>(index));
  d.splice(index, begin, end, replacement, std::move(indexed));
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
  if (d.snapshot->event(oid) == nullptr) {
    return d.failure(d.where() + ": there is no appointment " + std::to_string(oid));
  }
  for (int attempt = 1;; ++attempt) {
    StoreStatus status = d.remove_once(oid);
    if (status.failure != StoreFailure::ChangedElsewhere || attempt == kSaveAttempts) return status;
  }
}

StoreStatus CalendarStore::Impl::remove_once(Oid oid) {
  Impl& d = *this;
  bool reloaded = false;
  if (StoreStatus s = d.sync(&reloaded); !s.ok) return s;
  Snapshot& snap = *d.snapshot;
  const auto pos = snap.position.find(oid);
  if (pos == snap.position.end()) return {};  // another program removed it already
  const std::size_t index = pos->second;
  const IndexedEvent& e = snap.scan.events[index];
  const std::size_t begin = e.begin, end = e.end;
  const Occurrence old_occurrence = occurrence_of(e);
  const std::string_view bytes = snap.bytes;
  FileStamp stamp;
  StoreStatus status = d.write({bytes.substr(0, begin), bytes.substr(end)}, &stamp);
  if (!status.ok) return status;
  snap.scan.events.erase(snap.scan.events.begin() + static_cast<std::ptrdiff_t>(index));
  d.splice(index, begin, end, std::string(), std::nullopt);
  snap.stamp = stamp;
  snap.position.erase(oid);
  for (auto& [other, at] : snap.position) {
    if (at > index) --at;
  }
  const auto old_it = std::lower_bound(snap.by_start.begin(), snap.by_start.end(), old_occurrence);
  if (old_it != snap.by_start.end() && old_it->oid == oid) snap.by_start.erase(old_it);
  return status;
}

StoreStatus CalendarStore::refresh() {
  bool reloaded = false;
  return impl_->sync(&reloaded);
}

std::size_t CalendarStore::size() const { return impl_->snapshot->scan.events.size(); }

const std::filesystem::path& CalendarStore::file() const { return impl_->file; }

}  // namespace platform::calendar
