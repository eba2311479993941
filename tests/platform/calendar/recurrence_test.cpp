// Recurring series in the store: occurrences keep their oids through saves
// and other programs' changes, a delete after a save leaves only the
// EXDATE, searches by oid and by text find occurrences, and hostile rules
// end. The listings themselves are checked against python-dateutil and the
// saved files against python-icalendar (recurrence_check.py).
#include <gtest/gtest.h>

#include "platform/calendar/calendar_store.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;

const std::string kSeries =
    "BEGIN:VEVENT\nUID:standup\nDTSTAMP:20260101T000000Z\nDTSTART;TZID=Europe/Berlin:20261102T093000\n"
    "DURATION:PT15M\nRRULE:FREQ=WEEKLY;BYDAY=MO,WE,FR\nSUMMARY:Stand-up\nEND:VEVENT\n";
const std::string kOther = "BEGIN:VEVENT\nUID:other\nDTSTART:20261103T100000Z\nSUMMARY:Other\nEND:VEVENT\n";
constexpr const char16_t* kWeek = u"[Start] >= \"11/2/2026 00:00\" AND [Start] <= \"11/8/2026 23:59\"";

class RecurrenceTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    place_.write(vcalendar(kSeries + kOther));
    store_ = open_store(place_.path(), fixed_clock());
    ASSERT_TRUE(store_);
  }
  std::vector<Oid> week() { return store_->find(kWeek).value_or(std::vector<Oid>()); }
  std::string subjects(const std::vector<Oid>& oids) {
    std::string out;
    for (Oid oid : oids) out += u8(store_->get(oid)->subject) + ";";
    return out;
  }

  ScopedTz tz_{"Europe/Berlin"};
  TempDir dir_;
  Place place_{GetParam(), dir_};
  std::unique_ptr<CalendarStore> store_;
};

TEST_P(RecurrenceTest, OccurrencesKeepTheirOidsThroughSavesAndOtherProgramsChanges) {
  const std::vector<Oid> listed = week();  // Mon, Tue (Other), Wed, Fri
  ASSERT_EQ(subjects(listed), "Stand-up;Other;Stand-up;Stand-up;");
  const Oid wednesday = listed[2];
  EXPECT_TRUE(store_->get(wednesday)->occurrence);
  EXPECT_FALSE(store_->get(listed[1])->occurrence);

  // Saved twice: one override, rewritten, under the occurrence's oid.
  ASSERT_TRUE(edit(*store_, wednesday, [](auto& f) { f.categories = u"Task A"; }).ok);
  ASSERT_TRUE(edit(*store_, wednesday, [](auto& f) { f.subject = u"Planning"; }).ok);
  EXPECT_EQ(week(), listed);
  const AppointmentFields saved = *store_->get(wednesday);
  EXPECT_EQ(std::tuple(u8(saved.subject), u8(saved.categories), saved.start, saved.occurrence),
            std::tuple("Planning", "Task A", LocalDateTime{2026, 11, 4, 9, 30, 0}, true));
  const std::string with_override = place_.read();
  const LineDiff diff = diff_lines(vcalendar(kSeries + kOther), with_override);
  EXPECT_EQ(diff.removed.size(), 0u);
  EXPECT_EQ(diff.added.size(), 9u);

  // Another program adds an event: a fresh read keeps every oid.
  std::string changed = with_override;
  changed.insert(changed.find("END:VCALENDAR"),
                 "BEGIN:VEVENT\nUID:new\nDTSTART:20261105T080000Z\nSUMMARY:New\nEND:VEVENT\n");
  place_.write(changed);
  ASSERT_TRUE(store_->refresh().ok);
  const std::vector<Oid> after = week();
  EXPECT_EQ(subjects(after), "Stand-up;Other;Planning;New;Stand-up;");
  EXPECT_EQ((std::vector<Oid>{after[0], after[1], after[2], after[4]}), listed);

  // Another program drops the override: the occurrence is the series' again, same oid.
  place_.write(vcalendar(kSeries + kOther));
  ASSERT_TRUE(store_->refresh().ok);
  EXPECT_EQ(week(), listed);
  EXPECT_EQ(u8(store_->get(wednesday)->categories), "");
}

TEST_P(RecurrenceTest, DeletingAnOverriddenOccurrenceLeavesOnlyItsExdate) {
  const Oid wednesday = week()[2];
  ASSERT_TRUE(edit(*store_, wednesday, [](auto& f) { f.categories = u"Task A"; }).ok);
  ASSERT_TRUE(store_->remove(wednesday).ok);
  const LineDiff diff = diff_lines(vcalendar(kSeries + kOther), place_.read());
  EXPECT_EQ(diff.removed, std::vector<std::string>());
  EXPECT_EQ(diff.added, std::vector<std::string>{"EXDATE;TZID=Europe/Berlin:20261104T093000\n"});
  EXPECT_FALSE(store_->get(wednesday));
  EXPECT_EQ(subjects(week()), "Stand-up;Other;Stand-up;");
  // Deleted again (the row was still shown): nothing more is written.
  EXPECT_FALSE(store_->remove(wednesday).ok);
  EXPECT_EQ(diff_lines(vcalendar(kSeries + kOther), place_.read()).added.size(), 1u);
}

TEST_P(RecurrenceTest, SearchesByOidAndByTextFindOccurrences) {
  const std::vector<Oid> listed = week();
  const std::u16string friday = u"[OID] = " + u16(std::to_string(listed[3]));
  struct Case {
    std::u16string restriction;
    std::vector<Oid> found;
  } cases[] = {
      {friday, {listed[3]}},
      {friday + u" AND [Subject] = \"Other\"", {}},
      {u"[Subject] = \"Stand-up\" AND " + std::u16string(kWeek), {listed[0], listed[2], listed[3]}},
      // The series' text rules it out: not expanded at all, whatever the range.
      {u"[Subject] = \"Other\"", {listed[1]}},
      {u"[Subject] = \"Other\" OR [Start] = \"11/6/2026 09:30\"", {listed[1], listed[3]}},
      {u"[Categories] = \"x\" OR ([Subject] <> \"Other\" AND [Start] = \"11/4/2026 09:30\")", {listed[2]}},
  };
  for (const Case& c : cases) EXPECT_EQ(store_->find(c.restriction), c.found) << u8(c.restriction);
  EXPECT_FALSE(store_->get(listed[3] + 1000));
}

// A rule no real calendar has, or a series far too dense, is shown as far
// as it can be, named, and costs no more than a moment.
INSTANTIATE_TEST_SUITE_P(Backends, RecurrenceTest, ::testing::Values(Backend::File, Backend::Vdir), backend_name);

// Saving one occurrence of a series writes an override that lasts as long as
// the occurrence did, also on the night the clocks change.
TEST(Recurrence, AnOverrideKeepsItsOccurrencesLengthAcrossAChangeOfClocks) {
  struct Case {
    const char* times;  // DTSTART, DTEND and RRULE of the series
    const char* end;    // the override's DTEND for the second occurrence
  } cases[] = {
      {"DTSTART:20260321T220000\nDTEND:20260322T060000\nRRULE:FREQ=WEEKLY;COUNT=2\n", "DTEND:20260329T070000\n"},
      {"DTSTART;TZID=Europe/Berlin:20261017T220000\nDTEND;TZID=Europe/Berlin:20261018T060000\n"
       "RRULE:FREQ=WEEKLY;COUNT=2\n",
       "DTEND;TZID=Europe/Berlin:20261025T050000\n"},
      {"DTSTART;VALUE=DATE:20261024\nDTEND;VALUE=DATE:20261025\nRRULE:FREQ=DAILY;COUNT=2\n",
       "DTEND;VALUE=DATE:20261026\n"},
      {"DTSTART;VALUE=DATE:20260328\nDTEND:20260329T120000\nRRULE:FREQ=DAILY;COUNT=2\n", "DTEND:20260330T120000\n"},
  };
  ScopedTz tz{"Europe/Berlin"};
  TempDir dir;
  const std::filesystem::path file = dir / "series.ics";
  for (const Case& c : cases) {
    SCOPED_TRACE(c.times);
    write_bytes(file, vcalendar(std::string("BEGIN:VEVENT\nUID:s\n") + c.times + "END:VEVENT\n"));
    const auto second = [](const CalendarStore& store) {
      const auto both = store.find(u"[Start] >= \"1/1/2026 00:00\"");
      return both && both->size() == 2 ? store.get((*both)[1]) : std::nullopt;
    };
    auto store = open_store(file, fixed_clock());
    const auto before = second(*store);
    ASSERT_TRUE(before);
    ASSERT_TRUE(edit(*store, store->find(u"[Start] >= \"1/1/2026 00:00\"")->at(1),
                     [](auto& f) { f.categories = u"Night"; }).ok);
    EXPECT_NE(read_bytes(file).find(c.end), std::string::npos) << read_bytes(file);
    const auto after = second(*open_store(file, fixed_clock()));
    ASSERT_TRUE(after);
    EXPECT_EQ(after->duration_minutes, before->duration_minutes);
  }
}

TEST(Recurrence, HostileRulesEndAndAreNamed) {
  ScopedTz tz("UTC");
  struct Case {
    const char* start;
    const char* rule;
    std::size_t listed;  // in the week of 2 November 2026
    bool named;
  } cases[] = {
      {"20261102T090000Z", "FREQ=SECONDLY", 1, true},
      {"20261102T090000Z", "FREQ=NEVER", 1, true},
      {"20261102T090000Z", "RSCALE=GREGORIAN;FREQ=DAILY", 1, true},
      {"20261102T090000Z", "FREQ=HOURLY;BYMONTH=2;BYMONTHDAY=30;COUNT=5", 1, false},
      {"20261102T090000Z", "FREQ=DAILY;COUNT=2000000000", 7, false},
      {"19000101T090000Z", "FREQ=HOURLY;COUNT=2000000000", 0, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.rule);
    TempDir dir;
    write_bytes(dir / "cal.ics", vcalendar(std::string("BEGIN:VEVENT\nUID:x\nDTSTART:") + c.start + "\nRRULE:" +
                                           c.rule + "\nSUMMARY:X\nEND:VEVENT\n"));
    std::vector<std::string> warnings;
    auto store = open_store(dir / "cal.ics", collecting(warnings));
    EXPECT_EQ(store->find(kWeek)->size(), c.listed);
    EXPECT_EQ(warnings.size(), c.named ? 1u : 0u);
  }
}

}  // namespace
}  // namespace platform::calendar
