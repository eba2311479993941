// The short date format shared by date display and restrictions.
#include <gtest/gtest.h>

#include "platform/calendar/short_date.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using calendar_test::u16;
using calendar_test::u8;

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
}

TEST(ShortDate, AcceptsLeadingZeros) {
  EXPECT_EQ(ParseShortDate(u"01/02/2026"), (ShortDate{2026, 1, 2}));
  EXPECT_EQ(ParseShortDate(u"12/6/2026"), (ShortDate{2026, 12, 6}));
}

TEST(ShortDate, RejectsAnythingElse) {
  for (const char* text : {"", "12/6/26", "13/1/2026", "2/29/2025", "0/1/2026", "1/0/2026",
                           "4/31/2026", "1/1/2026 ", " 1/1/2026", "1-1-2026", "123/1/2026",
                           "1/1/20260", "a/1/2026", "1//2026", "1/1/", "2026/1/1"}) {
    EXPECT_FALSE(ParseShortDate(u16(text))) << '"' << text << '"';
  }
}

}  // namespace
}  // namespace platform::calendar
