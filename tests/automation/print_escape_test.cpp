// What `print` writes stays one line a row and one column a tab, whatever
// the texts it shows hold.
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "automation/script_runner.h"
#include "support/script_run.h"

namespace {

using testing_support::Calendar;
using testing_support::RunScript;
using testing_support::SettingsBody;

TEST(PrintEscape, ControlCharactersOfTheRowFormatAreWrittenAsEscapes) {
  const struct {
    std::string text, printed;
  } cases[] = {
      {"plain", "plain"},
      {"two\nlines", "two\\nlines"},
      {"a\tb", "a\\tb"},
      {"cr\r\nlf", "cr\\r\\nlf"},
      {"back\\slash", "back\\\\slash"},
      {"\\n is not a line break", "\\\\n is not a line break"},
      {"caf\xC3\xA9 | \"q\"", "caf\xC3\xA9 | \"q\""},
      {"", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(tallyset::EscapeForPrint(c.text), c.printed) << c.text;
}

TEST(PrintEscape, PrintListKeepsOneLineARowWhenASubjectHoldsLineBreaks) {
  // In the file: a line break, a tab and a backslash, each escaped as iCalendar text.
  auto r = RunScript({Calendar(SettingsBody({"Customer:North;South;"}),
                               {"20261203T100000|30|First\\nsecond\tthird\\\\|", "20261203T110000|30|Next|"}),
                      "print list\n"});
  ASSERT_EQ(r.exit_code, 0) << r.error;
  std::vector<std::string> lines;
  for (std::size_t at = 0, nl; (nl = r.printed.find('\n', at)) != std::string::npos; at = nl + 1)
    lines.push_back(r.printed.substr(at, nl - at));
  ASSERT_EQ(lines.size(), 2u) << r.printed;
  EXPECT_NE(lines[0].find("\tFirst\\nsecond\\tthird\\\\\t"), std::string::npos) << lines[0];
  EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), '\t'), 5) << lines[0];
  EXPECT_NE(lines[1].find("\tNext\t"), std::string::npos) << lines[1];
}

}  // namespace
