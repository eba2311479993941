// Calendars written by other programs load, read as expected, and survive
// an edit through the store with only the edited event's lines changed.
#include <gtest/gtest.h>

#include "platform/calendar/calendar_store.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;

const std::filesystem::path kCorpus = std::filesystem::path(TALLYSET_TEST_DATA) / "corpus";

struct CorpusFile { const char* name; std::size_t events; };

class CorpusTest : public ::testing::TestWithParam<CorpusFile> {
 protected:
  void SetUp() override {
    original_ = read_bytes(kCorpus / GetParam().name);
    std::filesystem::copy_file(kCorpus / GetParam().name, file());
  }
  std::filesystem::path file() const { return dir_ / "cal.ics"; }

  ScopedTz tz_{"UTC"};
  TempDir dir_;
  std::string original_;
};

// Loads every event without touching the file; an edit changes only the
// edited event's CATEGORIES line and stamps, in the file's own line end; a
// removal takes out that event's lines and nothing else.
TEST_P(CorpusTest, LoadsEditsAndRemovesLosslessly) {
  auto store = open_store(file());
  ASSERT_TRUE(store);
  ASSERT_EQ(store->size(), GetParam().events);
  EXPECT_EQ(read_bytes(file()), original_);
  const auto before = store->all();
  std::vector<AppointmentFields> fields;
  for (Oid oid : before) fields.push_back(*store->get(oid));

  const Oid target = before.back();
  ASSERT_TRUE(edit(*store, target, [](auto& f) { f.categories = u"Tallyset,Edited"; }).ok);
  const std::string after = read_bytes(file());
  const LineDiff d = diff_lines(original_, after);
  auto allowed = [](const std::string& line, const std::vector<std::string>& other) {
    for (const char* name : {"CATEGORIES", "DTSTAMP:", "LAST-MODIFIED:"}) if (line.rfind(name, 0) == 0) return true;
    return std::find(other.begin(), other.end(), line) != other.end();
  };
  for (const std::string& line : d.added) EXPECT_TRUE(allowed(line, d.removed)) << "unexpected new line: " << line;
  for (const std::string& line : d.removed) EXPECT_TRUE(allowed(line, d.added)) << "unexpected lost line: " << line;
  const bool crlf_file = original_.find("\r\n") != std::string::npos;
  const std::size_t cat = after.find("CATEGORIES:Tallyset,Edited");
  ASSERT_NE(cat, std::string::npos);
  EXPECT_EQ(after.substr(cat + 26, crlf_file ? 2 : 1), crlf_file ? "\r\n" : "\n");
  // Everything else reads as before, in a fresh store too.
  auto reopened = open_store(file());
  ASSERT_EQ(reopened->all(), before);
  for (std::size_t i = 0; i < before.size(); ++i) {
    if (before[i] == target) fields[i].categories = u"Tallyset,Edited";
    EXPECT_EQ(reopened->get(before[i]), fields[i]);
  }

  const std::string edited = read_bytes(file());
  ASSERT_TRUE(store->remove(before.front()).ok);
  const LineDiff removed = diff_lines(edited, read_bytes(file()));
  EXPECT_TRUE(removed.added.empty());
  EXPECT_EQ(std::count_if(removed.removed.begin(), removed.removed.end(),
                          [](const std::string& line) { return line.rfind("BEGIN:VEVENT", 0) == 0; }),
            1);
  EXPECT_EQ(open_store(file())->size(), GetParam().events - 1);
}

INSTANTIATE_TEST_SUITE_P(
    RealWorld, CorpusTest,
    ::testing::ValuesIn(std::vector<CorpusFile>{
        {"icalendar-alarm_outlook_in_future.ics", 3}, {"icalendar-alarm_google_future.ics", 1},
        {"icalendar-america_new_york.ics", 1}, {"icalendar-issue_1231_recurrence.ics", 1},
        {"icalendar-issue_127_categories_with_commas.ics", 1}}));

AppointmentFields read_only(const char* name, const char* subject) {
  TempDir dir;
  std::filesystem::copy_file(kCorpus / name, dir / "cal.ics");
  auto store = open_store(dir / "cal.ics");
  const auto f = store ? store->get(oid_of(*store, subject)) : std::nullopt;
  EXPECT_TRUE(f) << subject;
  return f.value_or(AppointmentFields{});
}

TEST(Corpus, ValuesReadAsTheirWritersMeantThem) {
  ScopedTz tz("UTC");
  // Exchange's "GMT Standard Time" is British Summer Time in October.
  auto f = read_only("icalendar-alarm_outlook_in_future.ics", "outlook event with alarm");
  EXPECT_EQ(std::tuple(f.start, f.duration_minutes, f.body),
            std::tuple(LocalDateTime{2024, 10, 4, 17, 30, 0}, 30, u"\n"));
  f = read_only("icalendar-alarm_outlook_in_future.ics", "test123");
  EXPECT_EQ(std::pair(f.all_day, f.duration_minutes), std::pair(true, 7 * 1440));
  // Four alarms with descriptions and a summary of their own; none is the event's.
  f = read_only("icalendar-alarm_google_future.ics", "event with alarms");
  EXPECT_EQ(std::tuple(f.start, f.duration_minutes, f.body),
            std::tuple(LocalDateTime{2024, 10, 4, 18, 15, 0}, 45, u""));
  // A TZID no built-in zone has, defined by the file.
  f = read_only("icalendar-america_new_york.ics", "an event with a custom tz name");
  EXPECT_EQ(std::pair(f.start, f.duration_minutes), std::pair(LocalDateTime{2014, 8, 29, 12, 0, 0}, 120));
  f = read_only("icalendar-issue_127_categories_with_commas.ics",
                "Test Event with Categories Containing Commas");
  EXPECT_EQ(f.categories, u"Meeting\\, John,Work\\, Sarah,Project");
}

TEST(Corpus, CrlfAndLfVersionsReadAlike) {
  ScopedTz tz("UTC");
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) {
    std::string lf = read_bytes(entry.path());
    for (std::size_t at; (at = lf.find("\r\n")) != std::string::npos;) lf.erase(at, 1);
    TempDir dir;
    write_bytes(dir / "lf.ics", lf);
    write_bytes(dir / "crlf.ics", crlf(lf));
    auto a = open_store(dir / "lf.ics"), b = open_store(dir / "crlf.ics");
    ASSERT_TRUE(a && b) << entry.path();
    ASSERT_EQ(a->all(), b->all());
    for (Oid oid : a->all()) EXPECT_EQ(a->get(oid), b->get(oid)) << entry.path();
  }
}

}  // namespace
}  // namespace platform::calendar
