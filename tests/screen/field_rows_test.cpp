// The field rows as the user sees them, built from the settings text.
#include <gtest/gtest.h>

#include <algorithm>

#include "screen/field_rows.h"
#include "support/script_run.h"

using testing_support::Calendar;
using testing_support::RunScript;
using testing_support::SettingsBody;

namespace {

struct FieldCase {
  const char* name;
  std::string body;  // already in the file's escaped form
  std::string printed;
};

TEST(FieldRows, SettingsTextBecomesLabelledChoices) {
  const FieldCase cases[] = {
      {"two fields, the last choice unclosed", SettingsBody({"Customer:North;South;", "Task:Travel;;Meeting"}),
       "1\tCustomer:\t\tNorth|South\n2\tTask:\t\tTravel|\n"},
      {"a missing closing semicolon drops the last choice", SettingsBody({"Customer:North;South"}),
       "1\tCustomer:\t\tNorth\n"},
      {"no choices at all", SettingsBody({"Customer:"}), "1\tCustomer:\t\t\n"},
      {"an empty choice is an entry of its own", SettingsBody({"Customer:;North;"}), "1\tCustomer:\t\t|North\n"},
      {"a choice may hold a colon", SettingsBody({"Time:From:To;"}), "1\tTime:\t\tFrom:To\n"},
      {"the label may be empty", SettingsBody({":North;"}), "1\t:\t\tNorth\n"},
      {"blank lines never count", "H1\\n\\nH2\\r\\nH3\\rH4\\n\\n\\nH5\\nH6\\r\\n\\r\\nA:x\\;\\n", "1\tA:\t\tx\n"},
      {"blanks are kept", SettingsBody({" Cust omer :North ; South;"}), "1\t Cust omer :\t\tNorth | South\n"},
      {"six lines or fewer give no rows", "H1\\nH2\\nH3\\nH4\\nH5\\nH6", ""},
  };
  for (const FieldCase& c : cases) {
    auto r = RunScript({Calendar(c.body, {}), "print fields\n"});
    EXPECT_EQ(r.printed, c.printed) << c.name;
    EXPECT_EQ(r.exit_code, 0) << c.name;
  }
}

// Thousands of field lines build every row, in order, and the last one
// carries its value into a new appointment.
TEST(FieldRows, EveryLineOfALongSettingsTextBecomesItsRow) {
  const int kRows = 3000;
  std::vector<std::string> fields;
  for (int i = 1; i <= kRows; ++i) fields.push_back("F" + std::to_string(i) + ":A" + std::to_string(i) + ";");
  auto r = testing_support::RunOk({Calendar(SettingsBody(fields), {}),
                                   "choose 3000 A3000\nprint fields\neditor ok subject=Fresh\nmenu \"New Item\"\n"});
  EXPECT_EQ(std::count(r.printed.begin(), r.printed.end(), '\n'), kRows);
  EXPECT_EQ(r.printed.substr(0, r.printed.find('\n')), "1\tF1:\t\tA1");
  EXPECT_NE(r.printed.find("\n3000\tF3000:\tA3000\tA3000\n"), std::string::npos);
  EXPECT_NE(r.calendar.find("CATEGORIES:A3000\r\n"), std::string::npos);
}

TEST(FieldRows, LoadingTheSettingsAgainAddsNoSecondRows) {
  testing_support::TestPlatform t(testing_support::OptionsFor(Calendar(SettingsBody({"Customer:North;"}), {})));
  t.host.then([](platform::Session&) {
    EXPECT_EQ(LoadFieldSettings(), S_OK);
    EXPECT_EQ(g_app.choiceBoxes.size(), 1u);
  });
  EXPECT_EQ(testing_support::RunTallyset(t), 0);
}

}  // namespace
