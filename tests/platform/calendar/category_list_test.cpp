// A category value that holds a comma stays one value: in the Categories
// string it is written "\,", in the file as TEXT's "\,", and it reads back
// the same way.
#include <gtest/gtest.h>

#include "platform/calendar/calendar_store.h"
#include "test_support.h"
#include "text_codec.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;
using namespace detail;

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

TEST(CategoryList, AValueWithACommaIsOneCategoryInTheFileAndReadsBackWhole) {
  TempDir dir;
  const auto file = dir / "cal.ics";
  write_bytes(file, vcalendar("BEGIN:VEVENT\nUID:a@test\nDTSTART:20261203T100000\nSUMMARY:Work\n"
                              "CATEGORIES:Old\\, Ltd,Kept\nEND:VEVENT\n"));
  auto store = open_store(file, fixed_clock());
  const Oid oid = oid_of(*store, "Work");
  EXPECT_EQ(u8(store->get(oid)->categories), "Old\\, Ltd,Kept");
  ASSERT_TRUE(edit(*store, oid, [](auto& f) { f.categories = u"Smith\\, Jones,Kept,C:\\Temp"; }).ok);
  EXPECT_NE(read_bytes(file).find("\nCATEGORIES:Smith\\, Jones,Kept,C:\\\\Temp\n"), std::string::npos)
      << read_bytes(file);
  EXPECT_EQ(u8(open_store(file)->get(oid)->categories), "Smith\\, Jones,Kept,C:\\Temp");
}

}  // namespace
}  // namespace platform::calendar
