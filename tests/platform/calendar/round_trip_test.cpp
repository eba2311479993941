// Saving through the store changes only what the user changed: the rest of
// the file — unknown properties, alarms, folding, line ends — stays
// byte for byte, in one file and in a folder of one file per event.
#include <gtest/gtest.h>

#include "platform/calendar/calendar_store.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;
using Edit = std::function<void(AppointmentFields&)>;

// rich.ics is a calendar as a desktop client leaves it: a zone, an alarm,
// X- lines, odd parameters, folding in an awkward place, a VTODO. It is
// tried with its own LF line ends and with CRLF, as one file and split into
// a folder (each event's file with the zone it names).
class RoundTripTest : public ::testing::TestWithParam<std::tuple<Backend, bool>> {
 protected:
  void SetUp() override {
    const std::string rich = is_crlf() ? crlf(test_data("rich.ics")) : test_data("rich.ics");
    eol_ = is_crlf() ? "\r\n" : "\n";
    place_.write(rich);
    original_ = text();
    store_ = open_store(place_.path(), fixed_clock());
    ASSERT_TRUE(store_);
    ASSERT_EQ(store_->size(), 4u);
  }
  bool is_crlf() const { return std::get<1>(GetParam()); }
  bool in_folder() const { return std::get<0>(GetParam()) == Backend::Vdir; }
  // The calendar's text: the file, or the folder's events one after another.
  std::string text() const { return place_.read(); }
  // Lines given with LF, in the file's line end.
  std::string lines(const std::string& lf) const { return is_crlf() ? crlf(lf + "\n") : lf + "\n"; }
  bool has(const std::string& lf) const { return text().find(lines(lf)) != std::string::npos; }

  // Applies `edit` to the event with `subject` and saves; the store then
  // shows the edited fields, as does a fresh read of the file.
  LineDiff save(const std::string& subject, const Edit& change) {
    const Oid oid = oid_of(*store_, subject);
    EXPECT_NE(oid, 0u) << subject;
    AppointmentFields f = *store_->get(oid);
    change(f);
    const StoreStatus status = store_->update(oid, f);
    EXPECT_TRUE(status.ok) << status.message;
    EXPECT_EQ(store_->get(oid), f) << subject;
    EXPECT_EQ(everything(*open_store(place_.path())), everything(*store_));
    return diff_lines(original_, text());
  }

  static std::vector<AppointmentFields> everything(const CalendarStore& store) {
    std::vector<AppointmentFields> all;
    for (Oid oid : store.all()) all.push_back(*store.get(oid));
    return all;
  }

  ScopedTz tz_{"Europe/Berlin"};
  TempDir dir_;
  Place place_{std::get<0>(GetParam()), dir_};
  std::string original_;
  std::string eol_;
  std::unique_ptr<CalendarStore> store_;
};

std::string place_and_line_end(const ::testing::TestParamInfo<std::tuple<Backend, bool>>& info) {
  return std::string(std::get<0>(info.param) == Backend::File ? "File" : "Vdir") +
         (std::get<1>(info.param) ? "CRLF" : "LF");
}
INSTANTIATE_TEST_SUITE_P(PlacesAndLineEnds, RoundTripTest,
                         ::testing::Combine(::testing::Values(Backend::File, Backend::Vdir), ::testing::Bool()),
                         place_and_line_end);

// What only one file has: a new event goes into it (in a folder it is a
// file of its own, VdirTest), and the file may be a link (a folder refuses
// links in it). The file's mode through a save: SaveSafety.
using FileRoundTripTest = RoundTripTest;
INSTANTIATE_TEST_SUITE_P(LineEnds, FileRoundTripTest,
                         ::testing::Combine(::testing::Values(Backend::File), ::testing::Bool()), place_and_line_end);

TEST_P(RoundTripTest, NothingChangedWritesNothing) {
  const auto planning = place_.file_of("first@example.com");
  const auto before = std::filesystem::last_write_time(planning);
  EXPECT_TRUE(edit(*store_, oid_of(*store_, "Planning"), [](auto&) {}).ok);
  EXPECT_EQ(text(), original_);
  EXPECT_EQ(std::filesystem::last_write_time(planning), before);
}

// Each value of the Categories string is one TEXT value in the file: a comma
// inside one is "\," in both.
TEST_P(RoundTripTest, CategoriesReadBackExactly) {
  const Oid oid = oid_of(*store_, "Lunch");
  struct Case {
    const char* categories;
    const char* in_file;  // after "CATEGORIES:"; none for ""
  } cases[] = {
      {"A,B,", "A,B,"},
      {",", ","},
      {"semi;colon", "semi\\;colon"},
      {"Smith\\, Jones,C:\\Temp", "Smith\\, Jones,C:\\\\Temp"},
      {"Caf\xC3\xA9", "Caf\xC3\xA9"},
      {"", nullptr},
  };
  for (const Case& c : cases) {
    ASSERT_TRUE(edit(*store_, oid, [&](auto& f) { f.categories = u16(c.categories); }).ok) << c.categories;
    EXPECT_EQ(u8(store_->get(oid)->categories), c.categories);
    EXPECT_EQ(u8(open_store(place_.path())->get(oid)->categories), c.categories);
    if (c.in_file) {
      EXPECT_TRUE(has(std::string("CATEGORIES:") + c.in_file)) << text();
    }
  }
  // Back to none: no CATEGORIES line is left behind.
  const std::string text = this->text();
  const std::size_t lunch = text.find("UID:second@");
  EXPECT_GT(text.find("CATEGORIES", lunch), text.find("END:VEVENT", lunch));
}

TEST_P(RoundTripTest, TextIsEscapedAndFoldedWithTheFilesLineEnd) {
  const std::string subject =
      "Quarterly review; budget, staffing \\ hiring â and a subject long enough to be folded";
  const Oid oid = oid_of(*store_, "Lunch");
  AppointmentFields f = *store_->get(oid);
  f.subject = u16(subject);
  f.body = u"one\r\ntwo\nthree";
  ASSERT_TRUE(store_->update(oid, f).ok);
  const LineDiff d = diff_lines(original_, text());
  std::string written;  // (where a line folds: text_codec_test.cpp)
  for (const std::string& l : d.added) written += l;
  EXPECT_NE(written.find(eol_ + " "), std::string::npos) << "not folded: " << written;
  std::string unfolded = written;
  for (std::size_t at; (at = unfolded.find(eol_ + " ")) != std::string::npos;) unfolded.erase(at, eol_.size() + 1);
  for (const char* expected : {"SUMMARY:Quarterly review\\; budget\\, staffing \\\\ hiring â and a subject long "
                               "enough to be folded",
                               "DESCRIPTION:one\\ntwo\\nthree"})
    EXPECT_NE(unfolded.find(lines(expected)), std::string::npos) << written;
  f.body = u"one\ntwo\nthree";
  EXPECT_EQ(store_->get(oid), f);
  EXPECT_EQ(open_store(place_.path())->get(oid), f);
}

TEST_P(RoundTripTest, NewPropertiesGoBeforeTheAlarm) {
  // A body that is there is rewritten where it stands, not written twice.
  save("Planning", [](AppointmentFields& f) { f.body = u"Changed notes"; });
  std::string text = this->text();
  EXPECT_LT(text.find("DESCRIPTION:Changed notes"), text.find("BEGIN:VALARM"));
  EXPECT_EQ(text.find("DESCRIPTION:", text.find("DESCRIPTION:Changed notes") + 1), text.find("DESCRIPTION:Reminder"));
  save("Planning", [](AppointmentFields& f) { f.body = u""; });
  EXPECT_EQ(this->text().find("folded at its own"), std::string::npos);
  // And back: the new DESCRIPTION lands among the event's own properties.
  save("Planning", [](AppointmentFields& f) { f.body = u"Back again"; });
  text = this->text();
  EXPECT_LT(text.find("DESCRIPTION:Back again"), text.find("BEGIN:VALARM"));
  EXPECT_GT(text.find("DESCRIPTION:Back again"), text.find("UID:first@"));
}

// Each edit rewrites its own lines in the form they were written in; the
// rows run one after another on the same file.
TEST_P(RoundTripTest, StartDurationAndAllDayKeepTheFormTheyWereWrittenIn) {
  struct Case {
    std::string subject;
    Edit edit;
    std::string expected;
    std::string in_folder = {};  // when a folder writes it otherwise
  } cases[] = {
      // A zoned start stays in its zone, its end moves along.
      {"Planning", [](auto& f) { f.start = {2026, 7, 1, 14, 0, 0}; },
       "DTSTART;TZID=Europe/Berlin:20260701T140000\nDTEND;TZID=Europe/Berlin:20260701T153000"},
      {"Planning", [](auto& f) { f.duration_minutes = 45; }, "DTEND;TZID=Europe/Berlin:20260701T144500"},
      // UTC stays UTC (Berlin is UTC+1 in December).
      {"Lunch", [](auto& f) { f.start = {2026, 12, 3, 13, 15, 0}; }, "DTSTART:20261203T121500Z\nDURATION:PT1H"},
      {"Lunch", [](auto& f) { f.duration_minutes = 150; }, "DURATION:PT2H30M"},
      // Floating stays floating, keeps the name's case, and gets an end after the start.
      {"Floating", [](auto& f) { f.start = {2026, 12, 9, 7, 45, 0}; }, "dtstart:20261209T074500\nEND:VEVENT"},
      {"Floating", [](auto& f) { f.duration_minutes = 20; }, "dtstart:20261209T074500\nDTEND:20261209T080500"},
      // Eight hours from 22:00 on the night the clocks go forward end at 07:00.
      {"Floating", [](auto& f) { f.start = {2026, 3, 28, 22, 0, 0}; f.duration_minutes = 480; },
       "dtstart:20260328T220000\nDTEND:20260329T070000"},
      // All-day stays a date.
      {"Holiday", [](auto& f) { f.start = {2026, 12, 31, 0, 0, 0}; },
       "DTSTART;VALUE=DATE:20261231\nDTEND;VALUE=DATE:20270103"},
      {"Lunch", [](auto& f) { f.all_day = true; f.start = {2026, 12, 1, 0, 0, 0}; f.duration_minutes = 1440; },
       "DTSTART;VALUE=DATE:20261201\nDURATION:P1D"},
      // The file defines the local zone, so a start that gets a time uses it;
      // a folder's file need not hold it, so there it is UTC.
      {"Holiday", [](auto& f) { f.all_day = false; f.start = {2026, 12, 24, 18, 0, 0}; f.duration_minutes = 240; },
       "DTSTART;TZID=Europe/Berlin:20261224T180000\nDTEND;TZID=Europe/Berlin:20261224T220000",
       "DTSTART:20261224T170000Z\nDTEND:20261224T210000Z"},
  };
  for (const Case& c : cases) {
    const std::string& expected = in_folder() && !c.in_folder.empty() ? c.in_folder : c.expected;
    SCOPED_TRACE(c.subject + ": " + expected);
    save(c.subject, c.edit);
    EXPECT_TRUE(has(expected)) << text();
  }
  EXPECT_TRUE(has("SEQUENCE:4"));  // Planning's, after two saves
}

TEST_P(RoundTripTest, RemoveTakesOutExactlyThatEvent) {
  const Oid lunch = oid_of(*store_, "Lunch");
  const Oid planning = oid_of(*store_, "Planning");
  ASSERT_TRUE(store_->remove(lunch).ok);
  std::string expected = original_;
  const std::size_t at = expected.find(lines("BEGIN:VEVENT\nDTSTAMP:20261101T080000Z\nUID:second@example.com"));
  ASSERT_NE(at, std::string::npos);
  const std::size_t end = expected.find(lines("END:VEVENT"), at) + lines("END:VEVENT").size();
  expected.erase(at, end - at);
  EXPECT_EQ(text(), expected);
  EXPECT_EQ(store_->size(), 3u);
  EXPECT_FALSE(store_->get(lunch));
  // Later events moved in the file; the store still finds their bytes.
  save("Holiday", [](AppointmentFields& f) { f.subject = u"Vacation"; });
  EXPECT_EQ(store_->get(planning)->subject, u"Planning");
}

TEST_P(FileRoundTripTest, AddedEventGoesInTheCalendarAndReadsBack) {
  AppointmentFields f = appointment(u"Dentist", {2026, 12, 4, 8, 30, 0}, 50);
  f.body = u"Bring the form";
  f.categories = u"Personal,";
  StoreStatus status;
  const Oid oid = store_->add(f, &status);
  ASSERT_NE(oid, 0u) << status.message;
  EXPECT_EQ(store_->get(oid), f);
  // The file has a VTIMEZONE for the local zone, so the new event uses it.
  // (That an add is one VEVENT inserted, which reads back: corpus_test.cpp.)
  EXPECT_TRUE(has("DTSTART;TZID=Europe/Berlin:20261204T083000"));
  EXPECT_TRUE(has("DTSTAMP:20261206T100000Z"));
  // The new oid takes its place in start order.
  const auto day = store_->find(u"[Start] >= \"12/4/2026 00:00\" AND [Start] <= \"12/4/2026 23:59\"");
  EXPECT_EQ(day, std::vector<Oid>{oid});
}

TEST_P(FileRoundTripTest, ALinkStaysALinkThroughASave) {
  const std::filesystem::path file = place_.path();
  const auto link = dir_ / "link.ics";
  std::filesystem::create_symlink(file, link);
  auto via_link = open_store(link, fixed_clock());
  ASSERT_TRUE(edit(*via_link, oid_of(*via_link, "Lunch"), [](auto& f) { f.subject = u"Lunch with Jane"; }).ok);
  EXPECT_TRUE(std::filesystem::is_symlink(link));
  EXPECT_TRUE(has("SUMMARY:Lunch with Jane"));
  EXPECT_EQ(other_files(dir_.path(), file.filename().string()), std::vector<std::string>{"link.ics"});
}

// Whatever order an event's lines come in, each is found and rewritten in place.
TEST(RoundTrip, LinesBeforeTheStartAreRewrittenInPlace) {
  ScopedTz tz("UTC");
  TempDir dir;
  const std::string before = vcalendar(
      "BEGIN:VEVENT\nSUMMARY:First\nDTEND:20261201T100000Z\nDTSTART:20261201T090000Z\nUID:x\nEND:VEVENT\n");
  write_bytes(dir / "cal.ics", before);
  auto store = open_store(dir / "cal.ics");
  ASSERT_TRUE(edit(*store, oid_of(*store, "First"), [](auto& f) {
                f.subject = u"Second";
                f.duration_minutes = 30;
              }).ok);
  const LineDiff d = diff_lines(before, read_bytes(dir / "cal.ics"));
  EXPECT_EQ(d.removed, (std::vector<std::string>{"SUMMARY:First\n", "DTEND:20261201T100000Z\n"}));
  EXPECT_EQ(d.added, (std::vector<std::string>{"SUMMARY:Second\n", "DTEND:20261201T093000Z\n"}));
}

TEST(AddToNewFile, MissingFileIsAnEmptyCalendarCreatedOnFirstAdd) {
  ScopedTz tz("America/New_York");
  TempDir dir;
  const auto file = dir / "new.ics";
  auto store = open_store(file, fixed_clock());
  ASSERT_TRUE(store);
  EXPECT_EQ(store->size(), 0u);
  EXPECT_FALSE(std::filesystem::exists(file));
  const AppointmentFields all_day = appointment(u"Conference", {2026, 11, 30, 0, 0, 0}, 3 * 1440, true);
  const AppointmentFields timed = appointment(u"Call", {2026, 11, 29, 9, 0, 0});
  // All-day fields are made whole days.
  const AppointmentFields odd = appointment(u"Odd", {2026, 12, 5, 15, 20, 0}, 90, true);
  StoreStatus status;
  const Oid first = store->add(all_day, &status);
  const Oid second = store->add(timed, &status);
  const Oid third = store->add(odd, &status);
  ASSERT_TRUE(first && second && third) << status.message;
  EXPECT_EQ(store->all(), (std::vector<Oid>{second, first, third}));
  EXPECT_EQ(store->get(third), appointment(u"Odd", {2026, 12, 5, 0, 0, 0}, 1440, true));
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
