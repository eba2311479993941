// Saving through the store changes only what the user changed: the rest of
// the file — unknown properties, alarms, folding, line ends — stays
// byte for byte.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "platform/calendar/calendar_store.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;

// 2026-12-06 10:00:00 UTC, stamped into DTSTAMP and LAST-MODIFIED.
constexpr std::int64_t kNow = 1796551200;
StoreOptions fixed_clock() {
  StoreOptions o;
  o.now_utc = [] { return kNow; };
  return o;
}

const std::string kBerlinZone =
    "BEGIN:VTIMEZONE\n"
    "TZID:Europe/Berlin\n"
    "X-LIC-LOCATION:Europe/Berlin\n"
    "BEGIN:DAYLIGHT\n"
    "TZOFFSETFROM:+0100\n"
    "TZOFFSETTO:+0200\n"
    "TZNAME:CEST\n"
    "DTSTART:19700329T020000\n"
    "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\n"
    "END:DAYLIGHT\n"
    "BEGIN:STANDARD\n"
    "TZOFFSETFROM:+0200\n"
    "TZOFFSETTO:+0100\n"
    "TZNAME:CET\n"
    "DTSTART:19701025T030000\n"
    "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\n"
    "END:STANDARD\n"
    "END:VTIMEZONE\n";

// A calendar as a desktop client leaves it: zones, alarms, X- lines, odd
// parameters, folding in awkward places.
const std::string kRich =
    "BEGIN:VCALENDAR\n"
    "PRODID:-//Example Corp//Desktop Calendar 7.1//EN\n"
    "VERSION:2.0\n"
    "X-WR-CALNAME:Work\n" +
    kBerlinZone +
    "BEGIN:VEVENT\n"
    "CREATED:20261101T080000Z\n"
    "LAST-MODIFIED:20261101T080000Z\n"
    "DTSTAMP:20261101T080000Z\n"
    "UID:first@example.com\n"
    "SUMMARY;LANGUAGE=en:Planning\n"
    "DTSTART;TZID=Europe/Berlin:20261130T090000\n"
    "DTEND;TZID=Europe/Berlin:20261130T103000\n"
    "CATEGORIES:Work\n"
    "X-CUSTOM;X-PARAM=\"quoted;value\":kept as is\n"
    "DESCRIPTION:A long description that a client folded at its own whim, no\n"
    " t at 75 octets\\, with an escaped comma.\n"
    "SEQUENCE:2\n"
    "BEGIN:VALARM\n"
    "ACTION:DISPLAY\n"
    "TRIGGER:-PT15M\n"
    "DESCRIPTION:Reminder\n"
    "END:VALARM\n"
    "END:VEVENT\n"
    "BEGIN:VEVENT\n"
    "DTSTAMP:20261101T080000Z\n"
    "UID:second@example.com\n"
    "SUMMARY:Lunch\n"
    "DTSTART:20261201T110000Z\n"
    "DURATION:PT1H\n"
    "ATTENDEE;CN=\"Doe, Jane\";ROLE=REQ-PARTICIPANT:mailto:jane@example.com\n"
    "END:VEVENT\n"
    "BEGIN:VEVENT\n"
    "UID:third@example.com\n"
    "summary:Floating\n"
    "dtstart:20261202T080000\n"
    "END:VEVENT\n"
    "BEGIN:VEVENT\n"
    "UID:fourth@example.com\n"
    "SUMMARY:Holiday\n"
    "DTSTART;VALUE=DATE:20261224\n"
    "DTEND;VALUE=DATE:20261227\n"
    "END:VEVENT\n"
    "BEGIN:VTODO\n"
    "UID:todo@example.com\n"
    "SUMMARY:Not an appointment\n"
    "END:VTODO\n"
    "END:VCALENDAR\n";

class RoundTripTest : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    original_ = GetParam() ? crlf(kRich) : kRich;
    eol_ = GetParam() ? "\r\n" : "\n";
    write_bytes(file(), original_);
    store_ = open_store(file(), fixed_clock());
    ASSERT_TRUE(store_);
    ASSERT_EQ(store_->size(), 4u);
  }
  std::filesystem::path file() const { return dir_ / "work.ics"; }
  std::string line(const std::string& text) const { return text + eol_; }

  // Applies `edit` to the event with `subject`, saves, and returns the diff.
  LineDiff save(const std::string& subject, const std::function<void(AppointmentFields&)>& edit) {
    const Oid oid = oid_of(*store_, subject);
    EXPECT_NE(oid, 0u) << subject;
    AppointmentFields f = *store_->get(oid);
    edit(f);
    const StoreStatus status = store_->update(oid, f);
    EXPECT_TRUE(status.ok) << status.message;
    // What the store shows is what a fresh read of the file shows.
    EXPECT_EQ(everything(*open_store(file())), everything(*store_));
    return diff_lines(original_, read_bytes(file()));
  }

  static std::vector<AppointmentFields> everything(const CalendarStore& store) {
    std::vector<AppointmentFields> all;
    for (Oid oid : store.all()) all.push_back(*store.get(oid));
    return all;
  }

  ScopedTz tz_{"Europe/Berlin"};
  TempDir dir_;
  std::string original_;
  std::string eol_;
  std::unique_ptr<CalendarStore> store_;
};

INSTANTIATE_TEST_SUITE_P(LineEnds, RoundTripTest, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "CRLF" : "LF"; });

TEST_P(RoundTripTest, CategoriesSaveChangesOnlyThatLineAndTheStamps) {
  save("Planning", [](AppointmentFields& f) { f.categories = u"Work,Travel"; });
  std::string expected = original_;
  for (const auto& [from, to] : {std::pair{"LAST-MODIFIED:20261101T080000Z", "LAST-MODIFIED:20261206T100000Z"},
                                 std::pair{"DTSTAMP:20261101T080000Z", "DTSTAMP:20261206T100000Z"},
                                 std::pair{"CATEGORIES:Work", "CATEGORIES:Work,Travel"}}) {
    expected.replace(expected.find(from), std::string(from).size(), to);  // the first: Planning's
  }
  EXPECT_EQ(read_bytes(file()), expected);
}

TEST_P(RoundTripTest, NothingChangedWritesNothing) {
  const auto before = std::filesystem::last_write_time(file());
  const Oid oid = oid_of(*store_, "Planning");
  EXPECT_TRUE(store_->update(oid, *store_->get(oid)).ok);
  EXPECT_EQ(read_bytes(file()), original_);
  EXPECT_EQ(std::filesystem::last_write_time(file()), before);
}

TEST_P(RoundTripTest, CategoriesReadBackExactly) {
  const Oid oid = oid_of(*store_, "Lunch");
  for (const char* categories : {"A,B,", ",A", ",", "semi;colon", "back\\slash", "Caf\xC3\xA9", ""}) {
    AppointmentFields f = *store_->get(oid);
    f.categories = u16(categories);
    ASSERT_TRUE(store_->update(oid, f).ok) << categories;
    EXPECT_EQ(u8(store_->get(oid)->categories), categories);
    EXPECT_EQ(u8(open_store(file())->get(oid)->categories), categories);
  }
  // Back to none: no CATEGORIES line is left behind.
  const std::string text = read_bytes(file());
  const std::size_t lunch = text.find("UID:second@");
  EXPECT_GT(text.find("CATEGORIES", lunch), text.find("END:VEVENT", lunch));
}

TEST_P(RoundTripTest, TextIsEscapedAndFoldedWithTheFilesLineEnd) {
  const std::string subject =
      "Quarterly review; budget, staffing \\ hiring â and a subject long enough to be folded";
  const LineDiff d = save("Lunch", [&](AppointmentFields& f) {
    f.subject = u16(subject);
    f.body = u"one\r\ntwo\nthree";
  });
  std::string written;
  for (const std::string& l : d.added) {
    EXPECT_LE(l.size(), 75 + eol_.size()) << l;
    written += l;
  }
  EXPECT_NE(written.find(eol_ + " "), std::string::npos) << "not folded: " << written;
  std::string unfolded = written;
  for (std::size_t at; (at = unfolded.find(eol_ + " ")) != std::string::npos;) unfolded.erase(at, eol_.size() + 1);
  EXPECT_NE(unfolded.find(line("SUMMARY:Quarterly review\\; budget\\, staffing \\\\ hiring â and a "
                               "subject long enough to be folded")),
            std::string::npos)
      << written;
  EXPECT_NE(unfolded.find(line("DESCRIPTION:one\\ntwo\\nthree")), std::string::npos) << written;
  const Oid oid = oid_of(*store_, subject);
  EXPECT_EQ(u8(store_->get(oid)->subject), subject);
  EXPECT_EQ(store_->get(oid)->body, u"one\ntwo\nthree");
}

TEST_P(RoundTripTest, NewPropertiesGoBeforeTheAlarm) {
  save("Planning", [](AppointmentFields& f) { f.body = u""; });
  std::string text = read_bytes(file());
  EXPECT_EQ(text.find("folded at its own"), std::string::npos);
  // And back: the new DESCRIPTION lands among the event's own properties.
  const Oid oid = oid_of(*store_, "Planning");
  AppointmentFields f = *store_->get(oid);
  f.body = u"Back again";
  ASSERT_TRUE(store_->update(oid, f).ok);
  text = read_bytes(file());
  EXPECT_LT(text.find("DESCRIPTION:Back again"), text.find("BEGIN:VALARM"));
  EXPECT_GT(text.find("DESCRIPTION:Back again"), text.find("UID:first@"));
  EXPECT_EQ(store_->get(oid)->body, u"Back again");
}

TEST_P(RoundTripTest, StartKeepsTheFormItWasWrittenIn) {
  struct Case {
    std::string subject;
    LocalDateTime new_start;
    std::vector<std::string> expected_lines;
  } cases[] = {
      // A zoned start stays in its zone, its end moves along.
      {"Planning", {2026, 7, 1, 14, 0, 0},
       {"DTSTART;TZID=Europe/Berlin:20260701T140000", "DTEND;TZID=Europe/Berlin:20260701T153000",
        "SEQUENCE:3"}},
      // UTC stays UTC (Berlin is UTC+1 in December).
      {"Lunch", {2026, 12, 3, 13, 15, 0}, {"DTSTART:20261203T121500Z", "DURATION:PT1H"}},
      // Floating stays floating, and keeps the name's case as written.
      {"Floating", {2026, 12, 9, 7, 45, 0}, {"dtstart:20261209T074500"}},
      // All-day stays a date.
      {"Holiday", {2026, 12, 31, 0, 0, 0},
       {"DTSTART;VALUE=DATE:20261231", "DTEND;VALUE=DATE:20270103"}},
  };
  for (const Case& c : cases) {
    save(c.subject, [&](AppointmentFields& f) { f.start = c.new_start; });
    const std::string text = read_bytes(file());
    for (const std::string& expected : c.expected_lines) {
      EXPECT_NE(text.find(line(expected)), std::string::npos) << c.subject << ": " << expected;
    }
    EXPECT_EQ(store_->get(oid_of(*store_, c.subject))->start, c.new_start) << c.subject;
  }
}

TEST_P(RoundTripTest, DurationRewritesEndOrDuration) {
  save("Planning", [](AppointmentFields& f) { f.duration_minutes = 45; });
  save("Lunch", [](AppointmentFields& f) { f.duration_minutes = 150; });
  // No end at all: one is added after the start.
  const LineDiff d = save("Floating", [](AppointmentFields& f) { f.duration_minutes = 20; });
  const std::string text = read_bytes(file());
  EXPECT_NE(text.find(line("DTEND;TZID=Europe/Berlin:20261130T094500")), std::string::npos);
  EXPECT_NE(text.find(line("DURATION:PT2H30M")), std::string::npos);
  EXPECT_NE(text.find(line("dtstart:20261202T080000") + line("DTEND:20261202T082000")),
            std::string::npos);
  EXPECT_EQ(store_->get(oid_of(*store_, "Floating"))->duration_minutes, 20);
}

TEST_P(RoundTripTest, AllDayCanBeSwitchedOnAndOff) {
  save("Lunch", [](AppointmentFields& f) {
    f.all_day = true;
    f.start = {2026, 12, 1, 0, 0, 0};
    f.duration_minutes = 1440;
  });
  std::string text = read_bytes(file());
  EXPECT_NE(text.find(line("DTSTART;VALUE=DATE:20261201")), std::string::npos);
  EXPECT_NE(text.find(line("DURATION:P1D")), std::string::npos);
  auto f = store_->get(oid_of(*store_, "Lunch"));
  EXPECT_TRUE(f->all_day);
  EXPECT_EQ(f->duration_minutes, 1440);

  save("Holiday", [](AppointmentFields& f) {
    f.all_day = false;
    f.start = {2026, 12, 24, 18, 0, 0};
    f.duration_minutes = 240;
  });
  text = read_bytes(file());
  // The file defines the local zone, so a start that gets a time uses it.
  EXPECT_NE(text.find(line("DTSTART;TZID=Europe/Berlin:20261224T180000")), std::string::npos);
  EXPECT_NE(text.find(line("DTEND;TZID=Europe/Berlin:20261224T220000")), std::string::npos);
  f = store_->get(oid_of(*store_, "Holiday"));
  EXPECT_FALSE(f->all_day);
  EXPECT_EQ(f->start, (LocalDateTime{2026, 12, 24, 18, 0, 0}));
  EXPECT_EQ(f->duration_minutes, 240);
}

TEST_P(RoundTripTest, InvalidFieldsAreRefusedWithoutTouchingTheFile) {
  const Oid oid = oid_of(*store_, "Lunch");
  struct Case {
    const char* what;
    std::function<void(AppointmentFields&)> edit;
  } cases[] = {
      {"month 13", [](AppointmentFields& f) { f.start.month = 13; }},
      {"February 30", [](AppointmentFields& f) { f.start = {2026, 2, 30, 10, 0, 0}; }},
      {"hour 24", [](AppointmentFields& f) { f.start.hour = 24; }},
      {"negative duration", [](AppointmentFields& f) { f.duration_minutes = -5; }},
  };
  for (const Case& c : cases) {
    AppointmentFields f = *store_->get(oid);
    c.edit(f);
    const StoreStatus status = store_->update(oid, f);
    EXPECT_FALSE(status.ok) << c.what;
    EXPECT_NE(status.message.find("work.ics"), std::string::npos) << status.message;
    StoreStatus add_status;
    EXPECT_EQ(store_->add(f, &add_status), 0u) << c.what;
    EXPECT_FALSE(add_status.ok);
  }
  EXPECT_EQ(read_bytes(file()), original_);
  EXPECT_FALSE(store_->update(4242, *store_->get(oid)).ok);
  EXPECT_FALSE(store_->remove(4242).ok);
}

TEST_P(RoundTripTest, RemoveTakesOutExactlyThatEvent) {
  const Oid lunch = oid_of(*store_, "Lunch");
  const Oid planning = oid_of(*store_, "Planning");
  ASSERT_TRUE(store_->remove(lunch).ok);
  std::string expected = original_;
  const std::size_t at = expected.find(line("BEGIN:VEVENT") + line("DTSTAMP:20261101T080000Z") +
                                       line("UID:second@example.com"));
  ASSERT_NE(at, std::string::npos);
  const std::size_t end = expected.find(line("END:VEVENT"), at) + line("END:VEVENT").size();
  expected.erase(at, end - at);
  EXPECT_EQ(read_bytes(file()), expected);
  EXPECT_EQ(store_->size(), 3u);
  EXPECT_FALSE(store_->get(lunch));
  // Later events moved in the file; the store still finds their bytes.
  EXPECT_EQ(u8(store_->get(oid_of(*store_, "Holiday"))->subject), "Holiday");
  save("Holiday", [](AppointmentFields& f) { f.subject = u"Vacation"; });
  EXPECT_EQ(store_->get(planning)->subject, u"Planning");
  EXPECT_EQ(open_store(file())->size(), 3u);
}

TEST_P(RoundTripTest, AddedEventGoesInTheCalendarAndReadsBack) {
  AppointmentFields f;
  f.subject = u"Dentist";
  f.body = u"Bring the form";
  f.categories = u"Personal,";
  f.start = {2026, 12, 4, 8, 30, 0};
  f.duration_minutes = 50;
  StoreStatus status;
  const Oid oid = store_->add(f, &status);
  ASSERT_NE(oid, 0u) << status.message;
  EXPECT_EQ(store_->get(oid), f);
  const std::string text = read_bytes(file());
  // After the VTODO, before END:VCALENDAR; the rest untouched.
  const LineDiff d = diff_lines(original_, text);
  EXPECT_TRUE(d.removed.empty());
  EXPECT_EQ(d.added.front(), line("BEGIN:VEVENT"));
  EXPECT_EQ(d.added.back(), line("END:VEVENT"));
  // The file has a VTIMEZONE for the local zone, so the new event uses it.
  EXPECT_NE(text.find(line("DTSTART;TZID=Europe/Berlin:20261204T083000")), std::string::npos);
  EXPECT_NE(text.find(line("DTSTAMP:20261206T100000Z")), std::string::npos);
  auto reopened = open_store(file());
  EXPECT_EQ(reopened->get(oid_of(*reopened, "Dentist")), f);
  EXPECT_EQ(reopened->size(), 5u);
  // The new oid takes its place in start order.
  const auto week = store_->find(u"[Start] >= \"12/4/2026 00:00\" AND [Start] <= \"12/4/2026 23:59\"");
  EXPECT_EQ(week, std::vector<Oid>{oid});
}

TEST_P(RoundTripTest, PermissionsAndSymlinkSurviveASave) {
  ASSERT_EQ(chmod(file().c_str(), 0640), 0);
  const auto link = dir_ / "link.ics";
  std::filesystem::create_symlink(file(), link);
  auto via_link = open_store(link, fixed_clock());
  const Oid oid = oid_of(*via_link, "Lunch");
  AppointmentFields f = *via_link->get(oid);
  f.subject = u"Lunch with Jane";
  ASSERT_TRUE(via_link->update(oid, f).ok);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  struct stat st {};
  ASSERT_EQ(stat(file().c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
  EXPECT_NE(read_bytes(file()).find("SUMMARY:Lunch with Jane"), std::string::npos);
  EXPECT_EQ(other_files(dir_.path(), "work.ics"), std::vector<std::string>{"link.ics"});
}

TEST(AddToNewFile, MissingFileIsAnEmptyCalendarCreatedOnFirstAdd) {
  ScopedTz tz("America/New_York");
  TempDir dir;
  const auto file = dir / "new.ics";
  auto store = open_store(file, fixed_clock());
  ASSERT_TRUE(store);
  EXPECT_EQ(store->size(), 0u);
  EXPECT_FALSE(std::filesystem::exists(file));
  AppointmentFields all_day;
  all_day.subject = u"Conference";
  all_day.start = {2026, 11, 30, 0, 0, 0};
  all_day.all_day = true;
  all_day.duration_minutes = 3 * 1440;
  AppointmentFields timed;
  timed.subject = u"Call";
  timed.start = {2026, 11, 29, 9, 0, 0};
  // All-day fields are made whole days.
  AppointmentFields odd = all_day;
  odd.subject = u"Odd";
  odd.start = {2026, 12, 5, 15, 20, 0};
  odd.duration_minutes = 90;
  StoreStatus status;
  const Oid first = store->add(all_day, &status);
  const Oid second = store->add(timed, &status);
  const Oid third = store->add(odd, &status);
  ASSERT_TRUE(first && second && third) << status.message;
  EXPECT_EQ(store->all(), (std::vector<Oid>{second, first, third}));
  EXPECT_EQ(store->get(third)->start, (LocalDateTime{2026, 12, 5, 0, 0, 0}));
  EXPECT_EQ(store->get(third)->duration_minutes, 1440);
  const std::string text = read_bytes(file);
  EXPECT_EQ(text.rfind("BEGIN:VCALENDAR\r\nVERSION:2.0\r\n", 0), 0u);
  EXPECT_NE(text.find("DTSTART;VALUE=DATE:20261130\r\nDTEND;VALUE=DATE:20261203\r\n"), std::string::npos);
  EXPECT_NE(text.find("DTSTART:20261129T140000Z\r\n"), std::string::npos);
  EXPECT_EQ(text.substr(text.size() - 15), "END:VCALENDAR\r\n");
  auto reopened = open_store(file);
  ASSERT_EQ(reopened->size(), 3u);
  EXPECT_EQ(reopened->get(oid_of(*reopened, "Conference")), all_day);
  EXPECT_EQ(reopened->get(oid_of(*reopened, "Call")), timed);
}

}  // namespace
}  // namespace platform::calendar
