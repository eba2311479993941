// What a save may never do to the user's file or to other people: show a
// private calendar to other users, overwrite another program's change,
// write a file its owner made read-only, hang on a file that is no file;
// and what one broken event may not do: take the whole calendar with it.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "platform/calendar/calendar_store.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;

const std::string kEvent = "BEGIN:VEVENT\nUID:a\nSUMMARY:Alpha\nDTSTART:20261130T090000Z\nEND:VEVENT\n";
const std::string kCalendar = vcalendar(kEvent);

class ScopedUmask {
 public:
  explicit ScopedUmask(mode_t mask) : saved_(::umask(mask)) {}
  ~ScopedUmask() { ::umask(saved_); }

 private:
  mode_t saved_;
};

mode_t mode_of(const std::filesystem::path& file) {
  struct stat st {};
  EXPECT_EQ(::stat(file.c_str(), &st), 0) << file;
  return st.st_mode & 07777;
}

// The one temporary file next to `keep` while a save runs.
std::filesystem::path temp_beside(const std::filesystem::path& file) {
  const auto others = other_files(file.parent_path(), file.filename().string());
  EXPECT_EQ(others.size(), 1u);
  return others.empty() ? std::filesystem::path() : file.parent_path() / others.front();
}

// Renames the event kEvent adds (the first in start order, whatever its subject now).
StoreStatus rename_alpha(CalendarStore& store, const char16_t* subject) {
  return edit(store, store.all().front(), [&](AppointmentFields& f) { f.subject = subject; });
}

TEST(SaveSafety, TheTemporaryCopyIsNeverReadableByOthers) {
  ScopedTz tz("UTC");
  ScopedUmask umask(0);  // the mode the file is created with shows unmasked
  for (const int original : {0644, 0600, 0640, 0664, 0604}) {
    TempDir dir;
    const auto file = dir / "cal.ics";
    write_bytes(file, kCalendar);
    ::chmod(file.c_str(), original);
    mode_t while_written = 07777;
    auto store = open_store(file, faulting([&](WriteStep step) {
      if (step == WriteStep::Write && while_written == 07777) while_written = mode_of(temp_beside(file));
      return 0;
    }));
    ASSERT_TRUE(rename_alpha(*store, u"Beta").ok);
    EXPECT_EQ(while_written, static_cast<mode_t>(original & 0600)) << std::oct << original;
    EXPECT_EQ(mode_of(file), static_cast<mode_t>(original)) << std::oct << original;
  }
}

// A temporary file is ".NAME.tallyset-PID-xxxxxxxx" while that fits in 255
// bytes (NAME up to 225 bytes), else NAME's first bytes and a hash of it.
TEST(SaveSafety, LongFileNamesSaveAndTheirStaleTemporaryFilesAreFound) {
  ScopedTz tz("UTC");
  std::string accented = "x";
  for (int i = 0; i < 120; ++i) accented += "\xC3\xA9";  // a cut at byte 200 would split one
  for (const std::string& name : {std::string(225, 'c'), std::string(226, 'c'), std::string(255, 'c'), accented}) {
    TempDir dir;
    const auto file = dir / name;
    write_bytes(file, kCalendar);
    std::string temp_name;
    bool fail = true;
    auto store = open_store(file, faulting([&](WriteStep step) {
      if (step != WriteStep::Write || !fail) return 0;
      temp_name = temp_beside(file).filename().string();
      return EIO;
    }));
    ASSERT_FALSE(rename_alpha(*store, u"Beta").ok) << name.size();
    fail = false;
    ASSERT_TRUE(rename_alpha(*store, u"Beta").ok) << name.size();
    EXPECT_LE(temp_name.size(), 255u);
    EXPECT_EQ(temp_name.rfind("." + name + ".tallyset-", 0) == 0, name.size() <= 225) << temp_name;

    // The same name as a save by a process that died half way left it.
    const std::string own = "-" + std::to_string(::getpid()) + "-";
    const std::size_t at = temp_name.rfind(own);
    ASSERT_NE(at, std::string::npos) << temp_name;
    const std::string stale = temp_name.substr(0, at) + "-" + std::to_string(ended_process()) + "-" +
                              temp_name.substr(at + own.size());
    write_bytes(dir / stale, "half a calendar");
    store.reset();
    ASSERT_TRUE(open_store(file));
    EXPECT_TRUE(other_files(dir.path(), name).empty()) << name.size();
  }
}

// Another program saves the file while a save is between its fsync and its
// rename: the save starts over on the new content, and gives up when the
// file keeps changing, never renaming over a change it has not seen.
TEST(SaveSafety, AChangeMadeDuringTheWriteIsNeverOverwritten) {
  ScopedTz tz("UTC");
  struct Case {
    int changes;  // how many renames find the file changed
    bool saved;
  } cases[] = {{1, true}, {2, true}, {3, false}};
  for (const Case& c : cases) {
    TempDir dir;
    const auto file = dir / "cal.ics";
    write_bytes(file, kCalendar);
    int renames = 0;
    std::string external;
    auto store = open_store(file, faulting([&](WriteStep step) {
      if (step == WriteStep::Rename && renames < c.changes) {
        const std::string n = std::to_string(++renames);
        external = vcalendar(kEvent + "BEGIN:VEVENT\nUID:o" + n + "\nSUMMARY:Other " + n +
                             "\nDTSTART:20261201T090000Z\nEND:VEVENT\n");
        write_bytes(file, external);
      }
      return 0;
    }));
    const StoreStatus status = rename_alpha(*store, u"Beta");
    EXPECT_EQ(status.ok, c.saved) << c.changes << ": " << status.message;
    const std::string on_disk = read_bytes(file);
    const std::string other = "SUMMARY:Other " + std::to_string(c.changes);
    EXPECT_NE(on_disk.find(other), std::string::npos) << on_disk;
    if (c.saved) {
      EXPECT_NE(on_disk.find("SUMMARY:Beta"), std::string::npos) << on_disk;
    } else {
      EXPECT_EQ(on_disk, external);
      EXPECT_EQ(status.failure, StoreFailure::ChangedElsewhere);
      EXPECT_NE(status.message.find("changed by another program"), std::string::npos) << status.message;
    }
    EXPECT_TRUE(other_files(dir.path(), "cal.ics").empty());
  }
}

// (An event deleted elsewhere: external_change_test.cpp.)
TEST(SaveSafety, AReadOnlyFileIsRefusedWithTheReason) {
  ScopedTz tz("UTC");
  TempDir dir;
  const auto file = dir / "cal.ics";
  write_bytes(file, kCalendar);
  auto store = open_store(file);
  ::chmod(file.c_str(), 0444);
  const StoreStatus status = rename_alpha(*store, u"Beta");
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(std::tuple(status.failure, status.error_number), std::tuple(StoreFailure::Other, EACCES));
  EXPECT_NE(status.message.find("the file is read-only (Permission denied)"), std::string::npos) << status.message;
  EXPECT_EQ(read_bytes(file), kCalendar);
  EXPECT_TRUE(other_files(dir.path(), "cal.ics").empty());
}

// Fields that are no time, or an end past 9999, are refused by an add and by
// an update, with the file named, and the file stays as it was.
TEST(SaveSafety, TimesTheFileCannotHoldAreRefusedNotWrapped) {
  ScopedTz tz("UTC");
  struct Case {
    LocalDateTime start;
    int minutes;
    bool all_day;
    bool saved;
  } cases[] = {
      {{9999, 12, 31, 23, 0, 0}, 59, false, true},
      {{9999, 12, 31, 23, 30, 0}, 30, false, false},  // ends at 10000-01-01
      {{9999, 12, 31, 23, 59, 0}, 60, false, false},
      {{9999, 12, 31, 0, 0, 0}, 1440, true, false},   // DTEND;VALUE=DATE:10000101
      {{9999, 12, 30, 0, 0, 0}, 1440, true, true},
      {{10000, 1, 1, 0, 0, 0}, 30, false, false},
      {{2026, 1, 1, 0, 0, 0}, -1, false, false},
      {{2026, 13, 1, 10, 0, 0}, 0, false, false},
      {{2026, 2, 30, 10, 0, 0}, 0, false, false},
      {{2026, 1, 1, 24, 0, 0}, 0, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.start.year << "-" << c.start.month << "-" << c.start.day << " "
                                    << c.start.hour << " +" << c.minutes);
    TempDir dir;
    write_bytes(dir / "cal.ics", kCalendar);
    auto store = open_store(dir / "cal.ics");
    StoreStatus added;
    EXPECT_EQ(store->add(appointment(u"Edge", c.start, c.minutes, c.all_day), &added) != 0, c.saved) << added.message;
    AppointmentFields moved = *store->get(oid_of(*store, "Alpha"));
    moved.start = c.start;
    moved.duration_minutes = c.minutes;
    moved.all_day = c.all_day;
    const StoreStatus updated = store->update(oid_of(*store, "Alpha"), moved);
    EXPECT_EQ(updated.ok, c.saved) << updated.message;
    if (!c.saved) {
      EXPECT_EQ(added.failure, StoreFailure::OutOfRange);
      EXPECT_EQ(updated.failure, StoreFailure::OutOfRange);
      EXPECT_NE(updated.message.find((dir / "cal.ics").string()), std::string::npos) << updated.message;
      EXPECT_EQ(read_bytes(dir / "cal.ics"), kCalendar);
    }
  }
  // Nor is an appointment there is not.
  TempDir dir;
  auto store = open_store(dir / "cal.ics");
  EXPECT_FALSE(store->update(4242, appointment(u"None", {2026, 1, 1, 9, 0, 0})).ok);
  EXPECT_FALSE(store->remove(4242).ok);
}

TEST(SaveSafety, APathThatIsNoPlainFileIsRefusedAtOnce) {
  TempDir dir;
  ASSERT_EQ(::mkfifo((dir / "fifo.ics").c_str(), 0600), 0);
  struct Case {
    std::filesystem::path file;
    const char* kind;
  } cases[] = {{dir / "fifo.ics", "a FIFO"}, {"/dev/zero", "a character device"}, {"/dev/null", "a character device"}};
  for (const Case& c : cases) {
    std::string error;
    EXPECT_EQ(CalendarStore::open(c.file, &error), nullptr) << c.file;
    EXPECT_NE(error.find(c.file.string()), std::string::npos) << error;
    EXPECT_NE(error.find(std::string("not a plain file but ") + c.kind), std::string::npos) << error;
  }
}

// One event the store cannot place in time costs that event, not the
// calendar: it stays in the file byte for byte, is not listed, and is named
// once.
TEST(LenientEvents, AnEventThatCannotBePlacedIsKeptUnlistedAndNamedOnce) {
  ScopedTz tz("UTC");
  struct Case {
    std::string event;
    std::string warning;
  } cases[] = {
      {"BEGIN:VEVENT\nUID:x\nSUMMARY:when?\nEND:VEVENT\n", "cal.ics:9: the event has no DTSTART"},
      {"BEGIN:VEVENT\nBEGIN:VALARM\nDTSTART:20260101T100000Z\nEND:VALARM\nEND:VEVENT\n",
       "cal.ics:9: the event has no DTSTART"},
      {"BEGIN:VEVENT\nDTSTART:2026-01-01T10:00:00Z\nEND:VEVENT\n",
       "cal.ics:10: DTSTART \"2026-01-01T10:00:00Z\" is not a valid date or date-time"},
      {"BEGIN:VEVENT\nDTSTART;VALUE=DATE:20260230\nEND:VEVENT\n", "cal.ics:10: DTSTART \"20260230\""},
      {"BEGIN:VEVENT\nDTSTART:20260101T250000\nEND:VEVENT\n", "cal.ics:10: DTSTART \"20260101T250000\""},
      {"BEGIN:VEVENT\nDTSTART;VALUE=DATE:20260101T100000\nEND:VEVENT\n", "cal.ics:10: DTSTART"},
      {"BEGIN:VEVENT\nSUMMARY:a\n b\n c\nDTSTART:garbage\nEND:VEVENT\n", "cal.ics:13: DTSTART \"garbage\""},
      {"BEGIN:VEVENT\nDTSTART:20260101T100000Z\nDTEND:tomorrow\nEND:VEVENT\n", "cal.ics:11: DTEND \"tomorrow\""},
      {"BEGIN:VEVENT\nDTSTART:20260101T100000Z\nDURATION:1 hour\nEND:VEVENT\n",
       "cal.ics:11: DURATION \"1 hour\" is not a valid duration"},
  };
  for (const Case& c : cases) {
    TempDir dir;
    const auto file = dir / "cal.ics";
    write_bytes(file, vcalendar(kEvent + c.event));
    std::vector<std::string> warnings;
    auto store = open_store(file, collecting(warnings));
    ASSERT_TRUE(store) << c.event;
    EXPECT_EQ(store->all(), std::vector<Oid>{oid_of(*store, "Alpha")});
    ASSERT_EQ(warnings.size(), 1u) << c.event;
    EXPECT_NE(warnings[0].find(c.warning), std::string::npos) << warnings[0];
    EXPECT_NE(warnings[0].find(file.string()), std::string::npos) << warnings[0];

    ASSERT_TRUE(rename_alpha(*store, u"Beta").ok);
    std::string changed = read_bytes(file);  // another program changes the file: the store reloads it
    changed.replace(changed.find("SUMMARY:Beta"), 12, "SUMMARY:Delta");
    write_bytes(file, changed);
    ASSERT_TRUE(store->refresh().ok);
    ASSERT_TRUE(rename_alpha(*store, u"Gamma").ok);
    const LineDiff diff = diff_lines(vcalendar(kEvent + c.event), read_bytes(file));
    EXPECT_EQ(diff.removed, std::vector<std::string>{"SUMMARY:Alpha\n"});
    EXPECT_EQ(diff.added, std::vector<std::string>{"SUMMARY:Gamma\n"});
    EXPECT_EQ(warnings.size(), 1u) << "named again after a reload";
  }
}

TEST(LenientEvents, ManyBadEventsAreCountedNotEachNamed) {
  std::string events;
  for (int i = 0; i < 50; ++i) events += "BEGIN:VEVENT\nUID:x" + std::to_string(i) + "\nEND:VEVENT\n";
  TempDir dir;
  write_bytes(dir / "cal.ics", vcalendar(events));
  std::vector<std::string> warnings;
  ASSERT_TRUE(open_store(dir / "cal.ics", collecting(warnings)));
  ASSERT_EQ(warnings.size(), 21u);
  EXPECT_NE(warnings.back().find("30 more events"), std::string::npos) << warnings.back();
}

// Old Mac files end their lines with CR alone: read as lines, and saved so.
TEST(LenientEvents, CrOnlyLineEndsAreLineEndsAndStaySo) {
  ScopedTz tz("UTC");
  std::string cr = vcalendar(kEvent + "BEGIN:VEVENT\nUID:b\nSUMMARY:Long\n  folded\nDTSTART:20261201T090000Z\nEND:VEVENT\n");
  std::replace(cr.begin(), cr.end(), '\n', '\r');
  TempDir dir;
  write_bytes(dir / "cal.ics", cr);
  auto store = open_store(dir / "cal.ics");
  ASSERT_TRUE(store);
  EXPECT_EQ(store->size(), 2u);
  EXPECT_EQ(store->get(oid_of(*store, "Long folded"))->start, (LocalDateTime{2026, 12, 1, 9, 0, 0}));
  ASSERT_TRUE(rename_alpha(*store, u"Beta").ok);
  ASSERT_NE(store->add(appointment(u"Added", {2026, 12, 2, 9, 0, 0}), nullptr), 0u);
  const std::string after = read_bytes(dir / "cal.ics");
  EXPECT_EQ(after.find('\n'), std::string::npos);
  EXPECT_NE(after.find("\rSUMMARY:Beta\r"), std::string::npos);
  EXPECT_NE(after.find("\rSUMMARY:Added\r"), std::string::npos);
  EXPECT_EQ(open_store(dir / "cal.ics")->size(), 3u);
}

}  // namespace
}  // namespace platform::calendar
