// New Item at the very end of the calendar's years: the appointment the
// file cannot hold is refused with a notice, never stored at another time.
#include <gtest/gtest.h>

#include "support/script_run.h"

using testing_support::Calendar;
using testing_support::RunScript;
using testing_support::SettingsBody;

namespace {

TEST(SaveRefusal, NewItemPastTheLastYearIsRefusedNotWrapped) {
  const std::string calendar = Calendar(SettingsBody({"Customer:North;South;"}), {});
  struct Case {
    const char* now;    // the to picker's date and time
    const char* start;  // the new appointment's DTSTART, "" when refused
  } cases[] = {
      {"9999-12-31 23:59", ""},                  // rounds up into the year 10000
      {"9999-12-31 23:10", ""},                  // rounds up to 23:30, so would end at 10000-01-01 00:00
      {"9999-12-31 23:00", "99991231T230000"},  // ends at 23:30
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.now);
    auto r = testing_support::RunOk({calendar, "editor ok subject=New\nmenu \"New Item\"\nprint notification\n", c.now});
    if (*c.start) {
      EXPECT_NE(r.calendar.find(std::string("DTSTART:") + c.start), std::string::npos);
      EXPECT_EQ(r.printed, "none\n");
    } else {
      EXPECT_EQ(r.calendar, calendar);
      EXPECT_NE(r.printed.find("not saved: its time is outside what the calendar can hold"), std::string::npos) << r.printed;
    }
  }
}

}  // namespace
