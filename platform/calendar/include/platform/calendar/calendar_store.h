// The calendar store: the user's appointments, kept in their own iCalendar
// file. The file is the only copy of the data, so the store edits it in
// place — each change rewrites only the lines of the one event it touches,
// every write is atomic, and changes made by other programs while Tallyset
// runs are picked up rather than overwritten.
//
// Not thread-safe: one store is used from the UI thread.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::calendar {

// Unique within a run and stable for the run (also across reloads of the
// file, for events that still exist); never 0. Each occurrence of a
// recurring series has its own, which its override (once written) keeps.
using Oid = std::uint32_t;

// A wall-clock time in the store's local time zone.
struct LocalDateTime {
  int year = 0, month = 0, day = 0, hour = 0, minute = 0, second = 0;
  friend bool operator==(const LocalDateTime&, const LocalDateTime&) = default;
};

struct AppointmentFields {
  std::u16string subject;     // SUMMARY
  std::u16string body;        // DESCRIPTION
  std::u16string categories;  // CATEGORIES values joined by ","; in a value "\\," is a comma (see text_codec.h)
  LocalDateTime start{};      // DTSTART as local time; 00:00 for all-day events
  std::int32_t duration_minutes = 0;  // from DURATION or DTEND
  bool all_day = false;
  // Read only: one occurrence of a recurring series. A save writes an
  // override for it alone (a VEVENT with the series' UID and its
  // RECURRENCE-ID); remove adds an EXDATE to the series.
  bool occurrence = false;
  friend bool operator==(const AppointmentFields&, const AppointmentFields&) = default;
};

// Failures a caller may want to word in its own terms.
enum class StoreFailure {
  Other,
  DeletedElsewhere,  // another program deleted the appointment
  ChangedElsewhere,  // another program kept changing the file during the save
  OutOfRange,        // a start or end the calendar cannot hold
};

// `message` is for people: it names the file and the reason.
struct StoreStatus {
  bool ok = true;
  std::string message;
  int error_number = 0;
  StoreFailure failure = StoreFailure::Other;
};

// The stages of saving the file, so that tests can make any one of them fail.
enum class WriteStep { CreateTemp, Write, SyncFile, Rename, SyncFolder };

struct StoreOptions {
  // UTC seconds since the epoch, stamped into DTSTAMP and LAST-MODIFIED.
  std::function<std::int64_t()> now_utc;
  // Returns an errno value to make that step fail as if the system had
  // failed it, or 0 to let it run.
  std::function<int(WriteStep)> inject_write_fault;
  // Told once about each event the store leaves out because it cannot place
  // it ("FILE:LINE: reason"). Default: a line on standard error.
  std::function<void(const std::string&)> warn;
  // A calendar of this many bytes or more (a file, or a folder's files
  // together) is read in two halves on two threads at once, where the
  // machine has two cores.
  std::size_t read_in_two_from = std::size_t{2} << 20;
  // A calendar file of this many bytes or more is not copied into memory
  // but mapped read-only, where the system lets the store hold a lease on
  // it: another program's write then waits until the store has made its
  // own copy. 0 maps every file; SIZE_MAX none.
  std::size_t map_from = std::size_t{1} << 20;
};

class CalendarStore {
 public:
  // A missing file is an empty calendar; the file is created by the first
  // save. An unreadable file, one that is not a plain file (a FIFO, a
  // device) or one whose structure is broken gives nullptr and one line in
  // *error naming the file (and the line, for broken content); the file is
  // left untouched. An event that cannot be placed in time is left out of
  // the store, kept in the file as it is, and named through `warn`.
  static std::unique_ptr<CalendarStore> open(const std::filesystem::path& file,
                                             std::string* error);
  static std::unique_ptr<CalendarStore> open(const std::filesystem::path& file,
                                             std::string* error,
                                             StoreOptions options);
  ~CalendarStore();
  CalendarStore(const CalendarStore&) = delete;
  CalendarStore& operator=(const CalendarStore&) = delete;

  std::optional<AppointmentFields> get(Oid oid) const;

  // Oids matching the restriction, in start order (ties by oid); nullopt if
  // the restriction is malformed. A recurring series contributes each of its
  // occurrences in the start range (never the series itself); where the
  // range has no end, occurrences up to two years from now.
  std::optional<std::vector<Oid>> find(std::u16string_view restriction) const;

  // Every appointment, in start order (ties by oid); occurrences as in find.
  std::vector<Oid> all() const;

  // A new VEVENT (UID and DTSTAMP generated), saved at once. 0 on failure.
  Oid add(const AppointmentFields& fields, StoreStatus* status);

  // Saves only the fields that differ from what the store last showed.
  // A start or end outside 0001-01-01 to 9999-12-31 is refused (OutOfRange).
  StoreStatus update(Oid oid, const AppointmentFields& fields);

  StoreStatus remove(Oid oid);

  // Picks up changes another program made to the file since the store last
  // read or wrote it. Saves do this on their own first.
  StoreStatus refresh();

  // The number of VEVENTs in the file (a series counts once).
  std::size_t size() const;

  const std::filesystem::path& file() const;

 private:
  struct Impl;
  explicit CalendarStore(std::unique_ptr<Impl> impl);
  std::unique_ptr<Impl> impl_;
};

}  // namespace platform::calendar
