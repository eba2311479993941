// Helpers shared by the calendar store tests: scratch folders, file bytes,
// a fixed time zone, and a line-level diff.
#pragma once

#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <optional>
#include <string>
#include <vector>

#include "platform/calendar/calendar_store.h"

namespace calendar_test {

// A fresh folder under the system temp folder, removed with its contents.
class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

// Sets TZ for the lifetime of the object (stores read it when they open).
class ScopedTz {
 public:
  explicit ScopedTz(const char* zone);
  ~ScopedTz();
  ScopedTz(const ScopedTz&) = delete;
  ScopedTz& operator=(const ScopedTz&) = delete;

 private:
  std::optional<std::string> saved_;
};

std::string read_bytes(const std::filesystem::path& file);
// The bytes of a file under tests/data/calendar.
std::string test_data(const std::string& name);
// The lines of a file under tests/data/calendar, leaving out those starting with '#'.
std::vector<std::string> test_data_lines(const std::string& name);
void write_bytes(const std::filesystem::path& file, const std::string& bytes);

// LF line ends to CRLF.
std::string crlf(const std::string& lf);

std::u16string u16(const std::string& utf8);
std::string u8(const std::u16string& utf16);

// The lines that differ between two texts once their common leading and
// trailing lines are set aside. Lines keep their terminators.
struct LineDiff {
  std::vector<std::string> removed;
  std::vector<std::string> added;
};
LineDiff diff_lines(const std::string& before, const std::string& after);

// Files in `folder` other than `keep` (leftover temporary files).
std::vector<std::string> other_files(const std::filesystem::path& folder, const std::string& keep);

// A store over `file`, failing the test if it cannot be opened.
std::unique_ptr<platform::calendar::CalendarStore> open_store(
    const std::filesystem::path& file, platform::calendar::StoreOptions options = {});

// The only oid whose subject is `subject`, or 0.
platform::calendar::Oid oid_of(const platform::calendar::CalendarStore& store,
                               const std::string& subject);

// Fields for a new appointment.
inline platform::calendar::AppointmentFields appointment(const std::u16string& subject,
                                                         platform::calendar::LocalDateTime start, int minutes = 0,
                                                         bool all_day = false) {
  return {subject, {}, {}, start, minutes, all_day};
}

// Applies `change` to the fields of the event `oid` and saves them.
template <class Change>
platform::calendar::StoreStatus edit(platform::calendar::CalendarStore& store, platform::calendar::Oid oid,
                                     Change change) {
  platform::calendar::AppointmentFields f = *store.get(oid);
  change(f);
  return store.update(oid, f);
}

// Options whose clock stands still at `now` (2026-12-06 10:00:00 UTC unless
// given), so DTSTAMP and LAST-MODIFIED are the same on every save.
inline platform::calendar::StoreOptions fixed_clock(std::int64_t now = 1796551200) {
  platform::calendar::StoreOptions o;
  o.now_utc = [now] { return now; };
  return o;
}

// Options that collect the store's warnings in `warnings`.
inline platform::calendar::StoreOptions collecting(std::vector<std::string>& warnings) {
  platform::calendar::StoreOptions o;
  o.warn = [&warnings](const std::string& text) { warnings.push_back(text); };
  return o;
}

// Options whose saves ask `fault` at each step of the write (an errno fails the step).
inline platform::calendar::StoreOptions faulting(std::function<int(platform::calendar::WriteStep)> fault) {
  platform::calendar::StoreOptions o;
  o.inject_write_fault = std::move(fault);
  return o;
}

// The id of a process that has ended.
int ended_process();

// Where a store keeps the calendar: one file, or a folder of one .ics file
// per calendar object (a vdir). Tests that hold for both run on both.
enum class Backend { File, Vdir };
std::string backend_name(const ::testing::TestParamInfo<Backend>& info);

class Place {
 public:
  Place(Backend backend, const TempDir& dir);
  // What the store opens.
  const std::filesystem::path& path() const { return path_; }
  // Writes `calendar` as another program would: the file, or one file per
  // UID, "UID.ics", in the calendar's line ends and with the VTIMEZONEs its
  // TZIDs name, rewriting only the files whose bytes differ and removing
  // those of UIDs no longer there.
  void write(const std::string& calendar);
  // The calendar as one text: the file, or the objects of the folder's
  // files in the order last written (new files after them, by name).
  std::string read() const;
  // The file that holds the object `uid`.
  std::filesystem::path file_of(const std::string& uid) const;
  // What a save may have left beside the calendar: for a file, the other
  // files of its folder; for a folder, its hidden files.
  std::vector<std::string> leftovers() const;
  Backend backend() const { return backend_; }

 private:
  Backend backend_;
  std::filesystem::path path_;
  std::vector<std::string> order_;
};

// A calendar: LF line ends, the given lines between BEGIN/END:VCALENDAR.
std::string vcalendar(const std::string& body);

}  // namespace calendar_test
