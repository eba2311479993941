// Content-line level pieces: text escaping, folding, unfolding, encodings.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "content_line.h"
#include "text_codec.h"

namespace platform::calendar::detail {
namespace {

TEST(TextCodec, UnescapesRfc5545TextAndUndoesEscaping) {
  struct Case { const char* in; const char* out; } cases[] = {
      {"plain", "plain"},           {"a\\nb", "a\nb"},       {"a\\Nb", "a\nb"},
      {"a\\,b", "a,b"},             {"a\\;b", "a;b"},        {"a\\\\b", "a\\b"},
      {"a\\\\nb", "a\\nb"},         {"trailing\\", "trailing\\"}, {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(unescape_text(c.in), c.out) << c.in;
  // And escaping is undone by it.
  for (const char* text : {"", "a,b;c\\d", "line\nbreak", "\\n literally", ",,;;", "é ü €"})
    EXPECT_EQ(unescape_text(escape_text(text)), text);
  EXPECT_EQ(escape_text("a\r\nb\rc"), "a\\nb\\nc");
}

TEST(TextCodec, SplitsListsAtUnescapedCommas) {
  struct Case { const char* in; std::vector<std::string> out; } cases[] = {
      {"", {""}}, {"A", {"A"}}, {"A,B", {"A", "B"}}, {"A,B,", {"A", "B", ""}}, {",A", {"", "A"}},
      {"Meeting\\, John,Work", {"Meeting, John", "Work"}}, {"a\\\\,b", {"a\\", "b"}},
  };
  for (const Case& c : cases) EXPECT_EQ(split_text_list(c.in), c.out) << c.in;
}

// Pocket Outlook's Categories string: a comma inside a value is "\,".
TEST(CategoryList, ValuesSplitAtUnescapedCommasAndAreWrittenBackAlike) {
  struct Case { const char* list; std::vector<std::string> values; } cases[] = {
      {"", {""}}, {"A,B,", {"A", "B", ""}}, {"Smith\\, Jones,Work", {"Smith, Jones", "Work"}},
      {"a\\\\,b", {"a\\", "b"}}, {"C:\\Temp", {"C:\\Temp"}}, {"x\\\\\\,y", {"x\\,y"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(split_categories(c.list), c.values) << c.list;
    std::string joined;
    for (size_t i = 0; i < c.values.size(); ++i) {
      if (i > 0) joined += ',';
      append_category(joined, c.values[i]);
    }
    EXPECT_EQ(joined, c.list);
  }
}

std::string unfold(const std::string& folded) {
  LineScanner scanner(folded, 0, folded.size(), 1);
  LogicalLine line;
  EXPECT_TRUE(scanner.next(line));
  const std::string out(line.text);
  EXPECT_FALSE(scanner.next(line)) << "more than one line";
  return out;
}

TEST(TextCodec, FoldsAt75OctetsWithoutSplittingCharacters) {
  std::string ascii = "DESCRIPTION:" + std::string(300, 'x');
  std::string umlauts = "SUMMARY:";
  for (int i = 0; i < 100; ++i) umlauts += "ä€";
  for (const std::string& text : {ascii, umlauts, std::string("SHORT:x")}) {
    for (const char* eol : {"\r\n", "\n"}) {
      const std::string folded = fold_line(text, eol);
      std::size_t start = 0;
      while (start < folded.size()) {
        const std::size_t end = folded.find(eol, start);
        ASSERT_NE(end, std::string::npos);
        const std::string physical = folded.substr(start, end - start);
        EXPECT_LE(physical.size(), 75u);
        // Each physical line is whole UTF-8: no line starts with a continuation byte
        // (after the folding blank).
        const std::size_t first = start == 0 ? 0 : 1;
        ASSERT_GT(physical.size(), first);
        EXPECT_NE(static_cast<unsigned char>(physical[first]) & 0xC0, 0x80);
        start = end + std::string(eol).size();
      }
      EXPECT_EQ(unfold(folded), text);
    }
  }
}

TEST(LineScanner, GivesUnfoldedLinesWithTheirByteSpans) {
  const std::string bytes = "A:1\r\nB:2\r\n  continued\r\n\tagain\nC:3";
  LineScanner scanner(bytes, 0, bytes.size(), 1);
  LogicalLine line;
  struct Expected { std::string text; std::size_t begin, end; int number; std::string eol; } expected[] = {
      {"A:1", 0, 5, 1, "\r\n"}, {"B:2 continuedagain", 5, 30, 2, "\r\n"}, {"C:3", 30, 33, 5, ""}};
  for (const Expected& e : expected) {
    ASSERT_TRUE(scanner.next(line));
    EXPECT_EQ(std::tuple(std::string(line.text), line.begin, line.end, line.line_number, std::string(line.eol)),
              std::tuple(e.text, e.begin, e.end, e.number, e.eol));
  }
  EXPECT_FALSE(scanner.next(line));
}

// Line ends and the ';' or ':' ending a name are found 64 bytes at a time:
// lines and names of every length around that, continuations across blocks,
// lines without a delimiter or with one only in their continuation, and the
// last bytes of the text, wherever the blocks fall, read as a plain split of
// the text reads them.
TEST(LineScanner, FindsEveryLineEndAndNameWhereverTheBlocksFall) {
  std::string body;
  for (const std::size_t length : {0, 1, 62, 63, 64, 65, 127, 130, 3, 200}) {
    const std::string name = "N" + std::string(length % 70, 'n');
    body += name + (length % 3 ? ";P=v:" : ":") + std::string(length, 'a') + (length % 2 ? "\r\n" : "\n");
    if (length == 65 || length == 200) body += " " + std::string(length, 'c') + "\r\n";
    if (length == 1 || length == 63) body += "\n\r\n";  // blank lines
    if (length == 62) body += std::string(length, 'd') + "\n " + std::string(3, 'e') + ":f\n";
  }
  body += "END:" + std::string(70, 'z') + "\nLAST;X=1:y";  // the last without a terminator
  for (std::size_t pad = 0; pad < 70; ++pad) {
    const std::string bytes = "P:" + std::string(pad, 'p') + "\n" + body;
    std::vector<std::string> expected;
    for (std::size_t at = 0; at < bytes.size();) {
      std::size_t end = bytes.find('\n', at);
      if (end == std::string::npos) end = bytes.size();
      std::string text = bytes.substr(at, end - at);
      if (!text.empty() && text.back() == '\r') text.pop_back();
      if (!text.empty() && text.front() == ' ') {
        expected.back() += text.substr(1);
      } else {
        expected.push_back(text);
      }
      at = end + 1;
    }
    LineScanner scanner(bytes, 0, bytes.size(), 1);
    LogicalLine line;
    std::vector<std::string> got;
    while (scanner.next(line)) {
      got.emplace_back(line.text);
      const std::string& text = got.back();
      EXPECT_EQ(line.name, text.substr(0, text.find_first_of(";:"))) << "after a first line of " << pad;
    }
    EXPECT_EQ(got, expected) << "after a first line of " << pad;
  }
}

TEST(ContentLine, SplitsNameParametersAndValue) {
  const auto p = parse_property("DTSTART;X-A=\"a:b;c\";TZID=Europe/Berlin:20260101T100000");
  ASSERT_TRUE(p);
  EXPECT_EQ(p->name, "DTSTART");
  EXPECT_EQ(p->head, "DTSTART;X-A=\"a:b;c\";TZID=Europe/Berlin");
  EXPECT_EQ(p->value, "20260101T100000");
  ASSERT_EQ(p->params.size(), 2u);
  EXPECT_EQ(find_param(*p, "x-a"), "a:b;c");
  EXPECT_EQ(find_param(*p, "tzid"), "Europe/Berlin");
  EXPECT_FALSE(find_param(*p, "VALUE"));
  const auto many = parse_property("X;A=1;B=2;C=3;D=4;E=5;F=6:v");  // more than are kept in place
  ASSERT_TRUE(many);
  EXPECT_EQ(many->params.size(), 6u);
  EXPECT_EQ(std::tuple(find_param(*many, "A"), find_param(*many, "D"), find_param(*many, "F"), many->value),
            std::tuple(std::optional<std::string_view>("1"), std::optional<std::string_view>("4"),
                       std::optional<std::string_view>("6"), std::string_view("v")));
  EXPECT_FALSE(parse_property("NO COLON HERE"));
  EXPECT_FALSE(parse_property("X;A=\"unterminated:value"));
}
}  // namespace
}  // namespace platform::calendar::detail
