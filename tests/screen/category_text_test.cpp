// The Categories string's list form: values separated by ",", "\," for a
// comma and "\\" for a backslash where it would read as an escape.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "outlook/category_text.h"

namespace {

using Values = std::vector<WideString>;

TEST(CategoryText, ValuesSurviveTheListFormAndMatchingSeesThemPlain) {
  struct Row { Values values; WideString text; WideString plain; } rows[] = {
      {{}, u"", u""},
      {{u"North"}, u"North", u"North"},
      {{u"North", u"Meeting"}, u"North,Meeting", u"North,Meeting"},
      {{u"Smith, Jones", u"Day"}, u"Smith\\, Jones,Day", u"Smith, Jones,Day"},
      {{u"C:\\Temp"}, u"C:\\Temp", u"C:\\Temp"},
      {{u"a\\\\b"}, u"a\\\\\\b", u"a\\\\b"},
      {{u"end\\", u"x"}, u"end\\\\,x", u"end\\,x"},
      {{u"", u"B"}, u",B", u",B"},
  };
  for (const Row& r : rows) {
    WideString text;
    for (size_t i = 0; i < r.values.size(); ++i) {
      if (i > 0) text += u",";
      AppendCategory(text, r.values[i]);
    }
    EXPECT_EQ(text, r.text);
    Values back;
    SplitCategories(text, &back);
    EXPECT_EQ(back, r.values);
    EXPECT_EQ(PlainCategories(text), r.plain);
  }
}

}  // namespace
