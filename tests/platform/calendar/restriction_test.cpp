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
  // restriction_searches.txt holds the rest, one a line.
  const std::vector<std::string> rows = test_data_lines("restriction_searches.txt");
  ASSERT_EQ(rows.size(), 23u);
  for (const std::string& row : rows) {
    const std::size_t arrow = row.find(" => ");
    Names expected;
    for (std::size_t at = arrow + 4, bar = 0; at < row.size(); at = bar + 3) {
      bar = std::min(row.find(" | ", at), row.size());
      expected.push_back(row.substr(at, bar - at));
    }
    if (expected == Names{"(none)"}) expected.clear();
    EXPECT_EQ(subjects(row.substr(0, arrow)), std::optional<Names>(expected)) << row;
  }
  EXPECT_EQ(subjects("[OID] = " + std::to_string(week_start)), std::optional<Names>(Names{"Week start"}));
}

TEST_F(RestrictionTest, MalformedRestrictionsMatchNothingAtAll) {
  // malformed_restrictions.txt holds one a line; these have blanks at their end.
  std::vector<std::string> restrictions = test_data_lines("malformed_restrictions.txt");
  restrictions.insert(restrictions.end(), {"", "   ", "[Subject] = "});
  ASSERT_EQ(restrictions.size(), 37u);
  for (const std::string& restriction : restrictions)
    EXPECT_EQ(store_->find(u16(restriction)), std::nullopt) << restriction;
}

TEST(RestrictionParser, DeepNestingIsRefusedNotACrash) {
  auto nested = [](std::size_t n) { return std::u16string(n, u'(') + u"[OID] = 1" + std::u16string(n, u')'); };
  EXPECT_FALSE(detail::parse_restriction(nested(10000)));
  EXPECT_TRUE(detail::parse_restriction(nested(20)));
  // Depth is how deep groups nest, not how many there are side by side.
  std::u16string side_by_side = u"([OID] = 1)";
  for (int i = 0; i < 100; ++i) side_by_side += u" OR ([OID] = 1)";
  EXPECT_TRUE(detail::parse_restriction(side_by_side));
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
