// The base floor: UTF conversion and the short date format shared by date
// display and restrictions.
#include <gtest/gtest.h>

#include "platform/base/short_date.h"
#include "platform/base/utf.h"

namespace platform {
namespace {

std::string u8(std::u16string_view s) { return ToUtf8(s); }
std::u16string u16(std::string_view s) { return FromUtf8(s); }

TEST(Utf, ConvertsBothWaysAndReplacesBrokenInput) {
  const std::string text = "Grüße €  😀";
  EXPECT_EQ(ToUtf8(FromUtf8(text)), text);
  EXPECT_EQ(FromUtf8("\x61\xC3"), u"a\uFFFD");         // cut short
  EXPECT_EQ(FromUtf8("\xFF\x61"), u"\uFFFD" u"a");     // not UTF-8
  EXPECT_EQ(FromUtf8("\xC0\x80"), u"\uFFFD\uFFFD");    // overlong
  EXPECT_EQ(ToUtf8(std::u16string(1, char16_t(0xD800))), "\xEF\xBF\xBD");
}

TEST(ShortDate, FormatsMonthDayAndFourDigitYear) {
  struct Case {
    int y, m, d;
    const char* text;
  } cases[] = {
      {2026, 11, 29, "11/29/2026"}, {2026, 1, 2, "1/2/2026"}, {1999, 12, 31, "12/31/1999"},
      {5, 3, 4, "3/4/0005"},        {2024, 2, 29, "2/29/2024"},
  };
  for (const Case& c : cases) EXPECT_EQ(u8(FormatShortDate(c.y, c.m, c.d)), c.text);
}

TEST(ShortDate, ParsesWhatItFormats) {
  for (int y : {1, 1970, 2024, 2026, 9999}) {
    for (int m = 1; m <= 12; ++m) {
      for (int d : {1, 9, 10, 28}) {
        const auto parsed = ParseShortDate(FormatShortDate(y, m, d));
        ASSERT_TRUE(parsed) << y << "-" << m << "-" << d;
        EXPECT_EQ(*parsed, (ShortDate{y, m, d}));
      }
    }
  }
  EXPECT_EQ(ParseShortDate(u"01/02/2026"), (ShortDate{2026, 1, 2}));  // leading zeros too
}

TEST(ShortDate, RejectsAnythingElse) {
  for (const char* text : {"", "12/6/26", "13/1/2026", "2/29/2025", "0/1/2026", "1/0/2026",
                           "4/31/2026", "1/1/2026 ", " 1/1/2026", "1-1-2026", "123/1/2026",
                           "1/1/20260", "a/1/2026", "1//2026", "1/1/", "2026/1/1"}) {
    EXPECT_FALSE(ParseShortDate(u16(text))) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace platform
