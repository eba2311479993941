// The script language: parsing, quoting, and the line-numbered faults; and
// what `print` writes: one line a row and one column a tab, whatever the
// texts it shows hold.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "automation/script.h"
#include "automation/script_runner.h"
#include "support/script_run.h"

namespace {

using tallyset::ParseScript;
using tallyset::ScriptCommand;
using testing_support::Calendar;
using testing_support::SettingsBody;

struct Parsed { int line; std::string verb; std::vector<std::string> args; };

struct GoodCase { const char* name; std::string text; std::vector<Parsed> expected; };

TEST(ParseScript, AcceptsWellFormedScripts) {
  const GoodCase cases[] = {
      {"empty script", "", {}},
      {"only blanks and comments", "\n   \n# a comment\n\t# indented comment\n", {}},
      {"one command without final newline", "tap 10 20", {{1, "tap", {"10", "20"}}}},
      {"blank and comment lines keep the numbering", "\n# set up\n\nkey ctrl+q\n  # more\nsoftkey left\n",
       {{4, "key", {"ctrl+q"}}, {6, "softkey", {"left"}}}},
      {"leading blanks and tabs", "   \ttap  1\t 2  ", {{1, "tap", {"1", "2"}}}},
      {"windows line ends", "key a\r\nkey b\r\n", {{1, "key", {"a"}}, {2, "key", {"b"}}}},
      {"quoted argument with a blank", "menu \"New Item\"", {{1, "menu", {"New Item"}}}},
      {"empty quoted argument", "choose 1 \"\"", {{1, "choose", {"1", ""}}}},
      {"quotes inside an argument", "editor ok subject=\"a b\" duration=30",
       {{1, "editor", {"ok", "subject=a b", "duration=30"}}}},
      {"editor with an empty field", "editor cancel body=\"\"", {{1, "editor", {"cancel", "body="}}}},
      {"quoted hash is text", "menu \"# not a comment\"", {{1, "menu", {"# not a comment"}}}},
      {"negative numbers", "tap -5 -10", {{1, "tap", {"-5", "-10"}}}},
      {"every focus target", "focus main\nfocus list\nfocus from\nfocus to\nfocus field 3",
       {{1, "focus", {"main"}}, {2, "focus", {"list"}}, {3, "focus", {"from"}}, {4, "focus", {"to"}},
        {5, "focus", {"field", "3"}}}},
      {"date and closeup", "date from 2026-12-06\ndate to 2027-01-04\ncloseup to",
       {{1, "date", {"from", "2026-12-06"}}, {2, "date", {"to", "2027-01-04"}}, {3, "closeup", {"to"}}}},
      {"timing and output",
       "sleep 250\nwait front 1000\nresize 480 640\nselect 2\nprint list\nprint notification\nscreenshot a.png",
       {{1, "sleep", {"250"}}, {2, "wait", {"front", "1000"}}, {3, "resize", {"480", "640"}}, {4, "select", {"2"}},
        {5, "print", {"list"}}, {6, "print", {"notification"}}, {7, "screenshot", {"a.png"}}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    auto commands = ParseScript(c.text, &error);
    ASSERT_TRUE(commands.has_value()) << error;
    ASSERT_EQ(commands->size(), c.expected.size());
    for (size_t i = 0; i < c.expected.size(); ++i) {
      const ScriptCommand& got = (*commands)[i];
      const Parsed& want = c.expected[i];
      EXPECT_EQ(std::tie(got.line, got.verb, got.args), std::tie(want.line, want.verb, want.args)) << "command " << i;
    }
  }
}

// `mentions`: a word the message must contain after the line number.
struct BadCase { const char* name; std::string text; int line; std::string mentions; };

TEST(ParseScript, ReportsTheFirstFaultWithItsLineNumber) {
  const BadCase cases[] = {
      {"unknown command", "jump 1 2", 1, "jump"},
      {"unknown command after comments", "# start\n\ntap 1 2\nwobble", 4, "wobble"},
      {"tap without arguments", "tap", 1, "tap"}, {"tap with one number", "key a\ntap 1", 2, "tap"},
      {"tap with three numbers", "tap 1 2 3", 1, "tap"}, {"tap with words", "tap x y", 1, "tap"},
      {"key without a key", "key", 1, "key"}, {"focus field without a number", "focus field x", 1, "focus"},
      {"focus on nothing known", "focus nowhere", 1, "focus"}, {"focus without a target", "focus", 1, "focus"},
      {"unclosed quote", "key a\nmenu \"New Item", 2, "quotation"},
      {"unclosed quote inside an argument", "editor ok subject=\"a b", 1, "quotation"},
      {"print of an unknown thing", "print foo", 1, "print"}, {"print without a thing", "print", 1, "print"},
      {"softkey middle", "softkey middle", 1, "softkey"}, {"menu without text", "menu", 1, "menu"},
      {"menu with two words unquoted", "menu New Item", 1, "menu"}, {"select a word", "select first", 1, "select"},
      {"choose without text", "choose 1", 1, "choose"}, {"choose a word field", "choose x text", 1, "choose"},
      {"date in the wrong shape", "date from 2026-1-01", 1, "date"},
      {"date with an unknown end", "date later 2026-01-01", 1, "date"}, {"date without a date", "date from", 1, "date"},
      {"closeup of nothing", "closeup", 1, "closeup"}, {"editor without an action", "editor", 1, "editor"},
      {"editor with an unknown action", "editor save", 1, "editor"},
      {"editor with an unknown field", "editor ok colour=red", 1, "colour"},
      {"resize with one number", "resize 480", 1, "resize"}, {"sleep without time", "sleep", 1, "sleep"},
      {"sleep with a word", "sleep long", 1, "sleep"}, {"wait without front", "wait 100", 1, "wait"},
      {"wait without time", "wait front", 1, "wait"}, {"screenshot without a file", "screenshot", 1, "screenshot"},
      {"first of two faults", "key a\nprint foo\ntap 1", 2, "print"},
      {"fault after windows line ends", "key a\r\nkey b\r\ntap 1\r\n", 3, "tap"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    std::string error;
    auto commands = ParseScript(c.text, &error);
    EXPECT_FALSE(commands.has_value());
    std::string prefix = "script:" + std::to_string(c.line) + ": ";
    ASSERT_EQ(error.rfind(prefix, 0), 0u) << "error: " << error;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << "error: " << error;
  }
}

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
  const auto lines = testing_support::PrintedLines(
      {Calendar(SettingsBody({"Customer:North;South;"}),
                {"20261203T100000|30|First\\nsecond\tthird\\\\|", "20261203T110000|30|Next|"}),
       "print list\n"},
      2);
  EXPECT_NE(lines[0].find("\tFirst\\nsecond\\tthird\\\\\t"), std::string::npos) << lines[0];
  EXPECT_EQ(std::count(lines[0].begin(), lines[0].end(), '\t'), 5) << lines[0];
  EXPECT_NE(lines[1].find("\tNext\t"), std::string::npos) << lines[1];
}

}  // namespace
