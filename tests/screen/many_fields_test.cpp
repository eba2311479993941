// A settings body of thousands of field lines builds every row, in order,
// and the last one carries its value into a new appointment.
#include <gtest/gtest.h>

#include "support/script_run.h"

using testing_support::Calendar;
using testing_support::RunScript;
using testing_support::SettingsBody;

namespace {

TEST(ManyFields, EveryLineBecomesItsRowAndTheLastOneIsWritten) {
  const int kRows = 3000;
  std::vector<std::string> fields;
  for (int i = 1; i <= kRows; ++i) fields.push_back("F" + std::to_string(i) + ":A" + std::to_string(i) + ";");
  auto r = RunScript({Calendar(SettingsBody(fields), {}),
                      "choose 3000 A3000\nprint fields\neditor ok subject=Fresh\nmenu \"New Item\"\n"});
  ASSERT_EQ(r.exit_code, 0) << r.error;
  EXPECT_EQ(std::count(r.printed.begin(), r.printed.end(), '\n'), kRows);
  EXPECT_EQ(r.printed.substr(0, r.printed.find('\n')), "1\tF1:\t\tA1");
  EXPECT_NE(r.printed.find("\n3000\tF3000:\tA3000\tA3000\n"), std::string::npos);
  EXPECT_NE(r.calendar.find("CATEGORIES:A3000\r\n"), std::string::npos);
}

}  // namespace
