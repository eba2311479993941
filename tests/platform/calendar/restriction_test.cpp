// Restriction searches: the forms the program sends, the rest of the
// grammar, and malformed restrictions that must not match anything.
#include <gtest/gtest.h>

#include "platform/calendar/calendar_store.h"
#include "restriction.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;

class RestrictionTest : public ::testing::Test {
 protected:
  // The week of 2026-11-29 and its edges; subjects are also the UIDs.
  void SetUp() override {
    write_bytes(dir_ / "cal.ics", test_data("restriction_week.ics"));
    store_ = open_store(dir_ / "cal.ics");
    ASSERT_TRUE(store_);
  }

  std::optional<std::vector<std::string>> subjects(const std::string& restriction) {
    const auto found = store_->find(u16(restriction));
    if (!found) return std::nullopt;
    std::vector<std::string> out;
    for (Oid oid : *found) out.push_back(u8(store_->get(oid)->subject));
    return out;
  }

  ScopedTz tz_{"Europe/Berlin"};
  TempDir dir_;
  std::unique_ptr<CalendarStore> store_;
};

using Names = std::vector<std::string>;

TEST_F(RestrictionTest, FormsTheProgramSendsAndTheRestOfTheGrammar) {
  const Oid week_start = oid_of(*store_, "Week start");
  ASSERT_NE(week_start, 0u);
  struct Case {
    std::string restriction;
    Names expected;
  } cases[] = {
      // The program's own forms. Both ends of the week are inclusive, to the
      // minute; note the trailing blank.
      {"[Subject]=\"Outlook Tallyset 3 Personal Settings\"", {"Outlook Tallyset 3 Personal Settings"}},
      {"[Start] >= \"11/29/2026 00:00\" AND [Start] <= \"12/6/2026 23:59\" ",
       {"Week start", "outlook tallyset 3 personal settings", "Quote \"test\"", "Last minute", "Last minute second"}},
      {"[OID] = " + std::to_string(week_start), {"Week start"}},
      {"[subject] <> \"Before\" AND [START] < \"11/30/2026\"",
       {"Outlook Tallyset 3 Personal Settings", "Week start"}},
      {"[Subject] = \"Before\" OR [Subject] = \"After\"", {"Before", "After"}},
      {"([Subject] = \"Before\" OR [Subject] = \"After\") AND [Duration] > 60", {"After"}},
      {"[Subject] = \"Before\" OR [Subject] = \"After\" AND [Duration] > 60", {"Before", "After"}},
      {"[Subject] = \"Quote \"\"test\"\"\"", {"Quote \"test\""}},
      {"[Categories] = \"A,B\"", {"Quote \"test\""}},
      {"[Categories] = \"Work,\"", {"Last minute"}},
      {"[End] = \"11/29/2026 00:29\"", {"Before"}},
      {"[End] > \"12/7/2026 01:00\"", {"After"}},
      {"[Duration] = 45", {"Quote \"test\""}},
      {"[AllDayEvent] = 1", {"Outlook Tallyset 3 Personal Settings"}},
      {"[Start] = \"12/6/2026 23:59\"", {"Last minute", "Last minute second"}},
      {"[Start] > \"12/6/2026 23:59\"", {"After"}},
      {"[Start] >= \"1/1/2030 00:00\"", {}},
      {"[Start] < \"11/29/2026 00:00\" AND [Start] > \"11/29/2026 00:00\"", {}},
      {"  ( ( [Subject] = \"After\" ) )  ", {"After"}},
      {"[Subject] = \"after\"", {}},  // exact, case-sensitive
      {"[ Subject ] = \"After\"", {"After"}},
      {"[Subject]=\"After\"or[Subject]=\"Before\"", {"Before", "After"}},
      {"[OID] = 0", {}},
      {"[OID] <> 0 AND [Start] <= \"11/29/2026 00:00\"",
       {"Outlook Tallyset 3 Personal Settings", "Before", "Week start"}},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(subjects(c.restriction), std::optional<Names>(c.expected)) << c.restriction;
  }
}

TEST_F(RestrictionTest, MalformedRestrictionsMatchNothingAtAll) {
  for (const char* restriction : {
           "", "   ", "[Subject]", "[Subject] =", "[Subject] = ", "= \"x\"", "[Nope] = \"x\"",
           "[Subject = \"x\"", "Subject = \"x\"", "[Subject] = \"unterminated", "[Subject] == \"x\"",
           "[Subject] ! \"x\"", "[Subject] = x", "[Subject] = 5", "[OID] = \"5\"", "[OID] = 5x",
           "[OID] = 99999999999999999999999",
           // Dates and times that do not exist or are not in the short form.
           "[Start] >= \"13/1/2026 00:00\"", "[Start] >= \"11/31/2026 00:00\"", "[Start] >= \"11/29/26 00:00\"",
           "[Start] >= \"11/29/2026 24:00\"", "[Start] >= \"11/29/2026 10:60\"", "[Start] >= \"11/29/2026 10\"",
           "[Start] >= \"11/29/2026 10:5\"", "[Start] >= \"tomorrow\"", "[Start] >= 20261129",
           // Brackets and connectives out of place.
           "([Subject] = \"x\"", "[Subject] = \"x\")", "(([Subject] = \"x\")", "()", "[Subject] = \"x\" AND",
           "AND [Subject] = \"x\"", "[Subject] = \"x\" OR OR [Subject] = \"y\"", "[Subject] = \"x\" [Subject] = \"y\"",
           "[Subject] = \"x\" garbage", "[Subject] = \"x\" ;", "[Subject] = \"x\" AND NOT [Subject] = \"y\"",
       }) {
    EXPECT_EQ(store_->find(u16(restriction)), std::nullopt) << restriction;
  }
}

TEST(RestrictionParser, DeepNestingIsRefusedNotACrash) {
  std::u16string deep(10000, u'(');
  deep += u"[OID] = 1";
  deep += std::u16string(10000, u')');
  EXPECT_FALSE(detail::parse_restriction(deep));
  std::u16string fine(20, u'(');
  fine += u"[OID] = 1";
  fine += std::u16string(20, u')');
  EXPECT_TRUE(detail::parse_restriction(fine));
}

TEST(RestrictionParser, StartRangeNarrowsTheSearch) {
  const auto r = detail::parse_restriction(
      u"[Start] >= \"11/29/2026 00:00\" AND [Start] <= \"12/6/2026 23:59\" AND [Duration] > 5");
  ASSERT_TRUE(r);
  const auto range = detail::start_range(*r);
  EXPECT_EQ(range.high - range.low, 8 * 1440 - 1);
  const auto either = detail::parse_restriction(
      u"[Start] = \"1/1/2026 10:00\" OR [Start] = \"1/2/2026 10:00\"");
  ASSERT_TRUE(either);
  EXPECT_EQ(detail::start_range(*either).high - detail::start_range(*either).low, 1440);
  const auto unbounded = detail::parse_restriction(u"[Start] = \"1/1/2026 10:00\" OR [OID] = 3");
  ASSERT_TRUE(unbounded);
  EXPECT_EQ(detail::start_range(*unbounded).low, detail::MinuteRange{}.low);
}

}  // namespace
}  // namespace platform::calendar
