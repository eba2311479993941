// The iCalendar reader and writer: any bytes are opened as the user's file;
// a file that is refused stays untouched; a file that opens takes a
// categories change on its first appointment, still opens afterwards, and
// reads back every other appointment exactly as before.
//
// An input whose first byte is 1 to 4 is that byte and a calendar: while the
// store saves, just before its rename, "another program" changes the file
// (1 appends an event, 2 renames the last event that has a SUMMARY, 3 appends
// an event before every attempt, 4 cuts off the last END:VCALENDAR). Then the
// save either succeeds and the file holds the other program's change and
// ours, or it is refused and the file is exactly what the other program
// wrote.
#include <algorithm>
#include <cstdint>
#include <tuple>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_support.h"
#include "platform/calendar/calendar_store.h"

using platform::calendar::AppointmentFields;
using platform::calendar::CalendarStore;
using platform::calendar::Oid;
using platform::calendar::StoreOptions;
using platform::calendar::StoreStatus;
using platform::calendar::WriteStep;

namespace {

StoreOptions fixed_clock() {
  StoreOptions options;
  options.now_utc = [] { return std::int64_t{1796400000}; };  // 2026-12-04
  return options;
}

std::vector<AppointmentFields> everything(const CalendarStore& store) {
  std::vector<AppointmentFields> out;
  for (Oid oid : store.all()) {
    auto fields = store.get(oid);
    FUZZ_CHECK(fields.has_value());
    out.push_back(std::move(*fields));
  }
  return out;
}

std::vector<AppointmentFields> sorted(std::vector<AppointmentFields> all) {
  auto key = [](const AppointmentFields& f) {
    return std::tie(f.start.year, f.start.month, f.start.day, f.start.hour, f.start.minute, f.start.second,
                    f.subject, f.body, f.categories, f.duration_minutes, f.all_day, f.occurrence);
  };
  std::sort(all.begin(), all.end(), [&](const auto& a, const auto& b) { return key(a) < key(b); });
  return all;
}

// The saved file, opened afresh: it must show what the store shows (ties in
// start order may fall differently, as the store keeps its oids across the
// reload).
std::vector<AppointmentFields> reread(const CalendarStore& store) {
  std::string error;
  auto again = CalendarStore::open(store.file(), &error, fixed_clock());
  if (!again) std::fprintf(stderr, "the saved file no longer opens: %s\n", error.c_str());
  FUZZ_CHECK(again != nullptr);
  std::vector<AppointmentFields> got = sorted(everything(*again));
  FUZZ_CHECK(got == sorted(everything(store)));
  return got;
}

// The file mapped and read in two halves at once, whatever its size, reads
// as one pass over a copy reads it: the same refusal, or the same appointments under the same oids
// and the same warnings about the events it leaves out.
void reads_the_same_in_two(const std::filesystem::path& file, const CalendarStore* one, const std::string& error,
                           const std::vector<std::string>& warnings) {
  StoreOptions options = fixed_clock();
  options.read_in_two_from = 0;
  options.map_from = 0;
  std::vector<std::string> warned;
  options.warn = [&warned](const std::string& text) { warned.push_back(text); };
  std::string two_error;
  auto two = CalendarStore::open(file, &two_error, std::move(options));
  FUZZ_CHECK((two != nullptr) == (one != nullptr));
  FUZZ_CHECK(two_error == error);
  FUZZ_CHECK(warned == warnings);
  if (two) FUZZ_CHECK(two->all() == one->all() && everything(*two) == everything(*one));
}

// A save or an open that was refused says why and leaves the file as it was.
void refused(const std::string& message, const std::filesystem::path& file, const std::string& bytes) {
  FUZZ_CHECK(!message.empty());
  FUZZ_CHECK(fuzz::read_bytes(file) == bytes);
}

// ---- The other program: plain text edits, as a text editor would make them.

enum class Other : std::uint8_t { None, Append, Rename, AppendEveryTime, CutOff };

bool line_start(std::string_view s, std::size_t at) { return at == 0 || s[at - 1] == '\n' || s[at - 1] == '\r'; }

bool starts_with_nocase(std::string_view s, std::string_view prefix) {
  return s.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), s.begin(), [](char a, char b) {
           return (a & ~0x20) == (b & ~0x20);
         });
}

// Whether some line, unfolded, is an RRULE or RDATE.
bool names_a_recurrence(std::string_view s) {
  std::string unfolded;
  for (std::size_t at = 0; at < s.size(); ++at) {
    const std::size_t eol = s.compare(at, 2, "\r\n") == 0 ? 2 : (s[at] == '\r' || s[at] == '\n') ? 1 : 0;
    if (eol != 0 && at + eol < s.size() && (s[at + eol] == ' ' || s[at + eol] == '\t')) {
      at += eol;
      continue;
    }
    unfolded += s[at];
  }
  for (std::size_t at = 0; at < unfolded.size(); ++at) {
    if (!line_start(unfolded, at)) continue;
    const std::string_view line = std::string_view(unfolded).substr(at);
    if (starts_with_nocase(line, "RRULE") || starts_with_nocase(line, "RDATE")) return true;
  }
  return false;
}

std::string eol_of(std::string_view s) {
  if (s.find("\r\n") != std::string_view::npos) return "\r\n";
  if (s.find('\n') == std::string_view::npos && s.find('\r') != std::string_view::npos) return "\r";
  return "\n";
}

// Where the last line "END:VCALENDAR" starts, or npos.
std::size_t last_calendar_end(std::string_view s) {
  for (std::size_t at = s.size(); at-- > 0;) {
    if (line_start(s, at) && starts_with_nocase(s.substr(at), "END:VCALENDAR")) return at;
  }
  return std::string_view::npos;
}

std::size_t end_of_line(std::string_view s, std::size_t at) {
  const std::size_t nl = s.find_first_of("\r\n", at);
  return nl == std::string_view::npos ? s.size() : s.compare(nl, 2, "\r\n") == 0 ? nl + 2 : nl + 1;
}

std::string appended(const std::string& s, int round, std::string* inserted) {
  const std::string eol = eol_of(s), n = std::to_string(round);
  const std::string event = "BEGIN:VEVENT" + eol + "UID:other-program-" + n + "@tallyset.invalid" + eol +
                            "DTSTAMP:20261204T000000Z" + eol + "DTSTART:20261205T0" + n + "0000Z" + eol +
                            "DURATION:PT1H" + eol + "SUMMARY:Added elsewhere " + n + eol + "END:VEVENT" + eol;
  *inserted = event;
  const std::size_t at = last_calendar_end(s);
  if (at == std::string::npos) return s + "BEGIN:VCALENDAR" + eol + event + "END:VCALENDAR" + eol;
  return s.substr(0, at) + event + s.substr(at);
}

// The last SUMMARY line (with its folds) of an event itself, not of its alarms.
std::string renamed(const std::string& s, std::string* inserted) {
  std::vector<std::string> open;  // the components around the current line
  std::size_t found = std::string::npos, found_end = 0;
  for (std::size_t at = 0; at < s.size();) {
    std::size_t end = end_of_line(s, at);
    while (end < s.size() && (s[end] == ' ' || s[end] == '\t')) end = end_of_line(s, end);
    const std::string_view line = std::string_view(s).substr(at, end - at);
    if (starts_with_nocase(line, "BEGIN:")) {
      open.emplace_back(line.substr(6, line.find_first_of("\r\n") - 6));
    } else if (starts_with_nocase(line, "END:")) {
      if (!open.empty()) open.pop_back();
    } else if (!open.empty() && starts_with_nocase(open.back(), "VEVENT") && open.back().size() == 6 &&
               (starts_with_nocase(line, "SUMMARY:") || starts_with_nocase(line, "SUMMARY;"))) {
      found = at;
      found_end = end;
    }
    at = end;
  }
  if (found == std::string::npos) return appended(s, 1, inserted);
  *inserted = "SUMMARY:Changed elsewhere" + eol_of(s);
  return s.substr(0, found) + *inserted + s.substr(found_end);
}

std::string cut_off(const std::string& s) {
  const std::size_t at = last_calendar_end(s);
  if (at == std::string::npos) return s + "junk" + eol_of(s);
  return s.substr(0, at) + s.substr(end_of_line(s, at));
}

// Changes the file just before the store's rename, once or before every
// attempt, and remembers what it wrote last.
struct OtherProgram {
  Other kind = Other::None;
  std::filesystem::path file;
  int rounds = 0;
  std::string wrote;     // the whole file, as it last wrote it
  std::string inserted;  // the text it put in, for an event added or renamed

  int operator()(WriteStep step) {
    if (step != WriteStep::Rename || kind == Other::None) return 0;
    if (rounds > 0 && kind != Other::AppendEveryTime) return 0;
    ++rounds;
    const std::string now = fuzz::read_bytes(file);
    wrote = kind == Other::Rename   ? renamed(now, &inserted)
            : kind == Other::CutOff ? cut_off(now)
                                    : appended(now, rounds, &inserted);
    fuzz::write_bytes(file, wrote);
    return 0;
  }
};

// After a save the other program changed the file under: refused and the
// file is the other program's, or saved and the file is the other program's
// calendar with our change in it: `ours` added, or (when `mine` picks the
// appointments it may have been) given to one of them.
template <class Mine>
void check_merged(const OtherProgram& other, const StoreStatus& status, const CalendarStore& store,
                  Mine mine, const AppointmentFields& ours) {
  const std::filesystem::path file = store.file();
  const auto copy = fuzz::scratch().path() / "other.ics";
  fuzz::write_bytes(copy, other.wrote);
  std::string error;
  auto theirs = CalendarStore::open(copy, &error, fixed_clock());
  // A file that keeps changing is never overwritten; one changed once that
  // still reads, by an event added, is saved on.
  if (other.kind == Other::AppendEveryTime) FUZZ_CHECK(!status.ok);
  if (other.kind == Other::Append && theirs) FUZZ_CHECK(status.ok);
  FUZZ_CHECK(!status.ok || theirs != nullptr);  // a file the store cannot read is never saved over
  if (!status.ok) return refused(status.message, file, other.wrote);
  FUZZ_CHECK(fuzz::read_bytes(file).find(other.inserted) != std::string::npos);
  const std::vector<AppointmentFields> got = reread(store);
  const std::vector<AppointmentFields> base = everything(*theirs);
  std::vector<AppointmentFields> added = base;
  added.push_back(ours);
  bool matched = sorted(added) == got;
  for (std::size_t i = 0; i < base.size() && !matched; ++i) {
    std::vector<AppointmentFields> expected = base;
    expected[i].categories = ours.categories;
    matched = mine(base[i]) && sorted(expected) == got;
  }
  FUZZ_CHECK(matched);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "Europe/Berlin", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string input(reinterpret_cast<const char*>(data), size);
  const auto file = fuzz::scratch().path() / "calendar.ics";
  OtherProgram other;
  other.file = file;
  if (!input.empty() && input[0] >= 1 && input[0] <= 4) {
    other.kind = static_cast<Other>(input[0]);
    input.erase(0, 1);
  }
  fuzz::write_bytes(file, input);

  std::string error;
  StoreOptions options = fixed_clock();
  options.inject_write_fault = [&other](WriteStep step) { return other(step); };
  std::vector<std::string> warnings;
  options.warn = [&warnings](const std::string& text) { warnings.push_back(text); };
  auto store = CalendarStore::open(file, &error, std::move(options));
  reads_the_same_in_two(file, store.get(), error, warnings);
  if (!store) {
    refused(error, file, input);
    return 0;
  }
  const std::vector<Oid> oids = store->all();
  const std::vector<AppointmentFields> before = everything(*store);
  // A series lists its occurrences instead of itself, and nothing where
  // every one of them is excluded.
  if (std::none_of(before.begin(), before.end(), [](const AppointmentFields& f) { return f.occurrence; })) {
    FUZZ_CHECK(oids.size() <= store->size());
    if (!names_a_recurrence(input)) FUZZ_CHECK(oids.size() == store->size());
  }

  // The first appointment in start order gets new categories; an empty
  // calendar takes a new appointment instead.
  std::vector<AppointmentFields> expected = before;
  AppointmentFields ours{u"Fuzz", u"", u"", {2026, 12, 3, 10, 0, 0}, 30, false};
  StoreStatus status;
  if (oids.empty()) {
    FUZZ_CHECK(store->add(ours, &status) != 0 || !status.ok);
    expected.push_back(ours);
  } else {
    ours = before.front();
    ours.categories = u"Fuzz,Checked";
    status = store->update(oids.front(), ours);
    expected.front() = ours;
  }
  if (other.rounds > 0) {
    // The other program may have renamed the appointment we changed.
    AppointmentFields renamed_first = before.empty() ? ours : before.front();
    renamed_first.subject = u"Changed elsewhere";
    check_merged(other, status, *store, [&](const AppointmentFields& f) {
      return !before.empty() && (f == before.front() || f == renamed_first);
    }, ours);
    return 0;
  }
  if (!status.ok) {
    refused(status.message, file, input);
    return 0;
  }
  if (!oids.empty()) FUZZ_CHECK(store->get(oids.front())->categories == u"Fuzz,Checked");
  // Every other appointment reads back as it was: the same multiset.
  FUZZ_CHECK(reread(*store) == sorted(expected));
  return 0;
}
