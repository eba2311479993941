// A folder calendar (vdir): one file per calendar object, a save touches
// only its object's file, and what else lies in the folder is left alone.
// Listing, saving, series and other programs' changes run on both kinds of
// store in the shared tests (external_change_test.cpp, recurrence_test.cpp).
#include <gtest/gtest.h>
#include <algorithm>
#include <functional>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/calendar/calendar_store.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;

std::string event(const std::string& uid, const std::string& summary, const std::string& day) {
  return "BEGIN:VEVENT\nUID:" + uid + "\nSUMMARY:" + summary + "\nDTSTART:202612" + day + "T090000Z\nEND:VEVENT\n";
}

class VdirTest : public ::testing::Test {
 protected:
  void SetUp() override {
    place_.write(vcalendar(event("a", "Alpha", "01") + event("b", "Beta", "02")));
    StoreOptions options = fixed_clock();
    options.warn = [this](const std::string& text) { warnings_ += text + "\n"; };
    store_ = open_store(place_.path(), options);
  }
  ino_t inode(const std::filesystem::path& file) {
    struct stat st {};
    return ::stat(file.c_str(), &st) == 0 ? st.st_ino : 0;
  }

  ScopedTz tz_{"UTC"};
  TempDir dir_;
  Place place_{Backend::Vdir, dir_};
  std::string warnings_;
  std::unique_ptr<CalendarStore> store_;
};

TEST_F(VdirTest, ASaveRewritesOnlyItsObjectsFile) {
  const std::string beta = read_bytes(place_.file_of("b"));
  const ino_t beta_inode = inode(place_.file_of("b")), alpha_inode = inode(place_.file_of("a"));
  ASSERT_TRUE(edit(*store_, oid_of(*store_, "Alpha"), [](auto& f) { f.categories = u"Mine"; }).ok);
  EXPECT_NE(read_bytes(place_.file_of("a")).find("CATEGORIES:Mine"), std::string::npos);
  EXPECT_NE(inode(place_.file_of("a")), alpha_inode);  // replaced atomically
  EXPECT_EQ(read_bytes(place_.file_of("b")), beta);
  EXPECT_EQ(inode(place_.file_of("b")), beta_inode);
  EXPECT_EQ(other_files(place_.path(), "a.ics"), std::vector<std::string>{"b.ics"});
}

// A file that shrinks leaves room behind it in the store, which later edits
// of it grow into before the files after it move: every event reads right
// throughout, in this store and in a fresh one.
TEST_F(VdirTest, EditsThatShrinkAndGrowAFileKeepEveryEventInPlace) {
  write_bytes(place_.path() / "a2.ics", vcalendar(event("c", "Gamma", "03") + event("d", "Delta", "04")));
  ASSERT_TRUE(store_->refresh().ok);
  const Oid gamma = oid_of(*store_, "Gamma");
  for (const char* subject : {"G", "Gamma, longer", "Ga", "Gamma, longer than the room it left"}) {
    SCOPED_TRACE(subject);
    ASSERT_TRUE(edit(*store_, gamma, [&](auto& f) { f.subject = u16(subject); }).ok);
    EXPECT_EQ(oid_of(*store_, subject), gamma);
    const auto fresh = open_store(place_.path());
    for (const CalendarStore* store : {store_.get(), fresh.get()}) {
      for (const char* shown : {subject, "Alpha", "Beta", "Delta"}) EXPECT_NE(oid_of(*store, shown), 0u) << shown;
    }
  }
}

TEST_F(VdirTest, NewItemIsAFileNamedAfterItsUidAndDeleteRemovesIt) {
  StoreStatus status;
  const Oid added = store_->add(appointment(u"Gamma", {2026, 12, 3, 9, 0, 0}, 30), &status);
  ASSERT_NE(added, 0u) << status.message;
  const std::vector<std::string> files = other_files(place_.path(), "a.ics");
  ASSERT_EQ(files.size(), 2u);
  const std::string name = files[0] == "b.ics" ? files[1] : files[0];
  const std::string uid = name.substr(0, name.size() - 4);
  EXPECT_EQ(uid.size(), 36u);
  EXPECT_NE(read_bytes(place_.path() / name).find("\r\nUID:" + uid + "\r\n"), std::string::npos);
  EXPECT_EQ(open_store(place_.path())->get(oid_of(*open_store(place_.path()), "Gamma"))->duration_minutes, 30);
  ASSERT_TRUE(store_->remove(added).ok);
  ASSERT_TRUE(store_->remove(oid_of(*store_, "Alpha")).ok);
  EXPECT_EQ(other_files(place_.path(), "b.ics"), std::vector<std::string>{});
  EXPECT_EQ(store_->size(), 1u);
}

// Each file carries the zones it uses; one TZID defined differently in two
// files means each file's own zone. A zone block seen in an earlier file is
// passed over whole, and the lines after it keep their numbers.
TEST_F(VdirTest, EachFilesTzidNamesItsOwnZone) {
  const auto zoned = [](const std::string& offset, const std::string& event) {
    return vcalendar("BEGIN:VTIMEZONE\nTZID:Office\nBEGIN:STANDARD\nDTSTART:19700101T000000\nTZOFFSETFROM:" +
                     offset + "\nTZOFFSETTO:" + offset + "\nEND:STANDARD\nEND:VTIMEZONE\n" + event);
  };
  const auto timed = [](const std::string& uid) {
    return "BEGIN:VEVENT\nUID:" + uid + "\nSUMMARY:" + uid + "\nDTSTART;TZID=Office:20261201T100000\nEND:VEVENT\n";
  };
  write_bytes(place_.path() / "x.ics", zoned("+0500", timed("East")));
  write_bytes(place_.path() / "y.ics", zoned("-0300", timed("West")));
  write_bytes(place_.path() / "z.ics", zoned("+0500", timed("Again")));
  write_bytes(place_.path() / "zz.ics", zoned("+0500", "BEGIN:VEVENT\nUID:w\nEND:VTODO\n"));
  ASSERT_TRUE(store_->refresh().ok);
  EXPECT_EQ(store_->get(oid_of(*store_, "East"))->start.hour, 5);
  EXPECT_EQ(store_->get(oid_of(*store_, "West"))->start.hour, 13);
  EXPECT_EQ(store_->get(oid_of(*store_, "Again"))->start.hour, 5);
  EXPECT_NE(warnings_.find("zz.ics: line 14: END:VTODO does not close BEGIN:VEVENT of line 12"), std::string::npos)
      << warnings_;
}

// A file holding more than the deleted event loses only the event.
TEST_F(VdirTest, DeleteKeepsAFileThatHoldsMore) {
  const std::string todo = "BEGIN:VTODO\nUID:t\nSUMMARY:Task\nEND:VTODO\n";
  write_bytes(place_.path() / "mixed.ics", vcalendar(event("m", "Mixed", "04") + todo));
  ASSERT_TRUE(store_->refresh().ok);
  ASSERT_TRUE(store_->remove(oid_of(*store_, "Mixed")).ok);
  EXPECT_EQ(read_bytes(place_.path() / "mixed.ics"), vcalendar(todo));
}

// Entries that are not calendar objects are ignored; those that look like
// one but cannot be one are named and left out, untouched; the rest works.
TEST_F(VdirTest, OtherEntriesAreLeftAloneAndBrokenOnesNamed) {
  const std::string other = vcalendar(event("x", "Stray", "05"));
  struct Entry {
    std::string name;
    bool named;  // in a warning
  };
  const std::vector<Entry> entries = {
      {".hidden.ics", false}, {".a.ics.tallyset-1-abcdefgh", false}, {"a.ics~", false},
      {"notes.txt", false},   {"broken.ics", true},                  {"link.ics", true},
      {"pipe.ics", true},     {"folder.ics", true},
  };
  for (const Entry& e : entries) {
    if (!e.named) write_bytes(place_.path() / e.name, other);
  }
  write_bytes(place_.path() / "broken.ics", "BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:x\n");
  // Sorted after the file saved below, so a save that grows that file moves it.
  write_bytes(place_.path() / "late.ics", vcalendar("BEGIN:VEVENT\nUID:l\nDTSTART:2026120\nEND:VEVENT\n"));
  write_bytes(dir_ / "outside.ics", other);
  std::filesystem::create_symlink(dir_ / "outside.ics", place_.path() / "link.ics");
  ASSERT_EQ(::mkfifo((place_.path() / "pipe.ics").c_str(), 0600), 0);
  std::filesystem::create_directory(place_.path() / "folder.ics");
  ASSERT_TRUE(store_->refresh().ok);
  EXPECT_EQ(store_->size(), 2u);
  for (const Entry& e : entries) EXPECT_EQ(warnings_.find(e.name) != std::string::npos, e.named) << e.name << "\n" << warnings_;
  EXPECT_NE(warnings_.find("broken.ics: line"), std::string::npos) << warnings_;
  EXPECT_NE(warnings_.find("late.ics:"), std::string::npos) << warnings_;

  // Named once, not on every look at the folder nor after a change to it.
  const std::string once = warnings_;
  ASSERT_TRUE(edit(*store_, oid_of(*store_, "Beta"), [](auto& f) { f.subject = u"Beta 2"; }).ok);
  EXPECT_EQ(read_bytes(place_.path() / "broken.ics"), "BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:x\n");
  EXPECT_EQ(read_bytes(dir_ / "outside.ics"), other);
  // Another program's longer copy of the file before it moves it too.
  write_bytes(place_.path() / "b.ics", vcalendar(event("b", "Beta from elsewhere", "02")));
  ASSERT_TRUE(store_->refresh().ok);
  EXPECT_EQ(store_->get(oid_of(*store_, "Beta from elsewhere"))->start.day, 2);
  EXPECT_EQ(warnings_, once);
  // Another unplaceable event written there is named in its turn.
  write_bytes(place_.path() / "late.ics", vcalendar("BEGIN:VEVENT\nUID:l\nDTSTART:2026121\nEND:VEVENT\n"));
  ASSERT_TRUE(store_->refresh().ok);
  EXPECT_NE(warnings_.find("late.ics:6: DTSTART \"2026121\"", once.size()), std::string::npos) << warnings_;
}

// Another program's changes are picked up a file at a time: after each
// step the store lists what a store opened afresh lists, the events of
// files nobody touched keep their oids, and an event whose object moved to
// another file keeps its own.
TEST_F(VdirTest, ChangesPickedUpFileByFileLeaveTheStoreAsAFreshOneFindsTheFolder) {
  const std::filesystem::path folder = place_.path();
  const auto renamed_in = [&](const std::string& name, const std::string& text) {
    write_bytes(folder / ".sync.tmp", text);
    std::filesystem::rename(folder / ".sync.tmp", folder / name);
  };
  struct Step {
    const char* what;
    std::function<void()> change;
    const char* kept;  // a subject whose oid stays
  };
  const Step steps[] = {
      {"written in place", [&] { write_bytes(place_.file_of("a"), vcalendar(event("a", "Alpha 2", "01"))); }, "Beta"},
      {"replaced by a rename", [&] { renamed_in("b.ics", vcalendar(event("b", "Beta 2", "02"))); }, "Alpha 2"},
      {"added", [&] { write_bytes(folder / "c.ics", vcalendar(event("c", "Gamma", "03"))); }, "Beta 2"},
      {"broken", [&] { write_bytes(folder / "c.ics", "BEGIN:VCALENDAR\nBEGIN:VEVENT\nUID:c\n"); }, "Alpha 2"},
      {"mended", [&] { renamed_in("c.ics", vcalendar(event("c", "Gamma", "03"))); }, "Beta 2"},
      {"moved to another file",
       [&] {
         std::filesystem::remove(place_.file_of("a"));
         write_bytes(folder / "a-moved.ics", vcalendar(event("a", "Alpha 2", "01")));
       },
       "Alpha 2"},
      // Then written through the link outside, which the folder's watch never hears of.
      {"added as a link to a file elsewhere",
       [&] {
         write_bytes(dir_ / "d-elsewhere.ics", vcalendar(event("d", "Delta", "04")));
         std::filesystem::create_hard_link(dir_ / "d-elsewhere.ics", folder / "d.ics");
         ASSERT_TRUE(store_->refresh().ok);
         write_bytes(dir_ / "d-elsewhere.ics", vcalendar(event("d", "Delta 2", "04")));
       },
       "Alpha 2"},
      {"removed", [&] { std::filesystem::remove(folder / "b.ics"); }, "Gamma"},
  };
  const auto listing = [](const CalendarStore& store) {
    std::vector<AppointmentFields> fields;
    for (const Oid oid : store.all()) fields.push_back(*store.get(oid));
    std::sort(fields.begin(), fields.end(), [](const auto& x, const auto& y) { return x.subject < y.subject; });
    return fields;
  };
  StoreOptions quiet;
  quiet.warn = [](const std::string&) {};
  for (const Step& step : steps) {
    SCOPED_TRACE(step.what);
    const Oid kept = oid_of(*store_, step.kept);
    step.change();
    ASSERT_TRUE(store_->refresh().ok);
    EXPECT_EQ(listing(*store_), listing(*open_store(folder, quiet)));
    EXPECT_EQ(oid_of(*store_, step.kept), kept);
  }
  EXPECT_EQ(store_->size(), 3u);
  EXPECT_NE(warnings_.find("c.ics: line"), std::string::npos) << warnings_;
}

// The folder's watch hears of writes through the folder only: a file with
// a hard link elsewhere is looked at on every refresh.
TEST_F(VdirTest, AFileWrittenThroughAHardLinkElsewhereIsSeen) {
  // Each file in turn: a large folder is read in two halves, each noting links.
  for (const std::string uid : {"a", "b"}) {
    SCOPED_TRACE(uid);
    const std::filesystem::path elsewhere = dir_ / (uid + "-elsewhere.ics");
    std::filesystem::create_hard_link(place_.file_of(uid), elsewhere);
    const auto store = open_store(place_.path());
    write_bytes(elsewhere, vcalendar(event(uid, "Linked " + uid, "01")));
    ASSERT_TRUE(store->refresh().ok);
    EXPECT_NE(oid_of(*store, "Linked " + uid), 0u);
    std::filesystem::remove(elsewhere);
  }
}

}  // namespace
}  // namespace platform::calendar
