// The appointment list: which appointments it shows, in which order, with
// which icon and Details text, and what a refresh leaves behind.
#include <gtest/gtest.h>

#include "screen/appointment_list.h"
#include "support/script_run.h"

using testing_support::Calendar;
using testing_support::RunScript;
using testing_support::SettingsBody;

namespace {

TEST(AppointmentList, DetailsTextNamesDurationWeekdayAndDay) {
  struct Case { LONG minutes; WORD weekday, day; const char16_t* thursday; std::u16string expected; } cases[] = {
      {0, 0, 3, u"Thur", u"Sun 3"},        {59, 0, 3, u"Thur", u"59 min, Sun 3"},
      {60, 0, 3, u"Thur", u"1h, Sun 3"},   {61, 0, 3, u"Thur", u"1h, 1 min, Sun 3"},
      {600, 0, 3, u"Thur", u"10h, Sun 3"}, {90, 4, 7, u"Thur", u"1h, 30 min, Thur 7"},
      {30, 4, 12, u"Thu", u"30 min, Thu 12"}, {135, 6, 31, u"Thur", u"2h, 15 min, Sat 31"},
  };
  for (const Case& c : cases) {
    SYSTEMTIME start{};
    start.wDayOfWeek = c.weekday;
    start.wDay = c.day;
    std::u16string text = u"x";
    FormatDetails(text, c.minutes, start, c.thursday);
    EXPECT_EQ(text, u"x" + c.expected) << c.minutes;
  }
}

const std::string kFields = SettingsBody({"Customer:North;South;", "Task:Travel;Meeting;"});

TEST(AppointmentList, ListsTheRangeInclusiveInStartOrder) {
  // The pickers start at 2026-11-27 and 2026-12-04 (the clock says 2026-12-04 16:20).
  const auto rows = testing_support::PrintedLines({Calendar(kFields, {"20261204T235900|30|Last minute|North,Meeting",
                                                                    "20261127T000000|60|First minute|North",
                                                                    "20261205T000000|30|Day after|",
                                                                    "20261126T235900|30|Day before|",
                                                                    "20261203T100000|90|Thursday|South,Travel"}),
                                                   "print list\n"},
                                                  3);
  EXPECT_NE(rows[0].find("\tincomplete\t"), std::string::npos);
  EXPECT_NE(rows[0].find("\tFirst minute\t1h, Fri 27\t-"), std::string::npos) << rows[0];
  EXPECT_NE(rows[1].find("\tcomplete\t"), std::string::npos);
  EXPECT_NE(rows[1].find("\tThursday\t1h, 30 min, Thur 3\t-"), std::string::npos) << rows[1];
  EXPECT_NE(rows[2].find("\tLast minute\t30 min, Fri 4\t-"), std::string::npos) << rows[2];
  EXPECT_EQ(rows[0].substr(0, 2), "0\t");
}

TEST(AppointmentList, RefreshClearsTheSelectionAndDisablesSave) {
  const auto lines = testing_support::PrintedLines(
      {Calendar(kFields, {"20261203T100000|30|One|North,Travel", "20261203T110000|30|Two|"}),
       "select 1\nprint save\nprint list\ncloseup from\nprint save\nprint list\n"},
      6);
  EXPECT_EQ(lines[0], "enabled");
  EXPECT_NE(lines[2].find("\tselected"), std::string::npos);
  EXPECT_EQ(lines[3], "disabled");
  EXPECT_NE(lines[4].find("\t-"), std::string::npos);
  EXPECT_NE(lines[5].find("\t-"), std::string::npos);
}

TEST(AppointmentList, NewRangeFromThePickersAndAnEmptyReversedRange) {
  auto r = testing_support::RunOk({Calendar(kFields, {"20261115T090000|30|Mid November|", "20261203T100000|30|December|"}),
                                   "date from 2026-11-10\nprint pickers\nprint list\ndate from 2026-12-05\nprint list\n"
                                   "print save\n"});
  EXPECT_EQ(r.printed.substr(0, r.printed.find('\n')), "2026-11-10 16:20\t2026-12-04 16:20");
  EXPECT_NE(r.printed.find("Mid November"), std::string::npos);
  EXPECT_NE(r.printed.find("December"), std::string::npos);
  // From after to: nothing is listed and Save stays disabled.
  EXPECT_EQ(r.printed.substr(r.printed.rfind("\n", r.printed.size() - 2) + 1), "disabled\n");
}

TEST(AppointmentList, WithoutFieldsEveryAppointmentIsComplete) {
  auto r = RunScript({Calendar(SettingsBody({}), {"20261203T100000|30|Anything|"}), "print list\n"});
  EXPECT_NE(r.printed.find("\tcomplete\t"), std::string::npos) << r.printed;
}

}  // namespace
