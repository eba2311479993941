// Pocket Outlook's Categories string holds a list of values separated by
// ","; inside a value "\," stands for a comma and "\\" for a backslash, and
// any other backslash for itself. A backslash is written doubled only where
// it would otherwise be read as one of those two escapes: before a comma,
// before another backslash, or at the end of a value.
#pragma once

#include <windows.h>

#include <vector>

#include "app/wide_string.h"

// The values of a Categories string, in order; the empty string has none.
void SplitCategories(const WideString& text, std::vector<WideString>* values);
// Appends one value in its Categories form (no separator).
void AppendCategory(WideString& categories, const WideString& value);
// The values joined by "," with nothing escaped: the text that category
// matching searches, so that a value with a comma is found whole.
WideString PlainCategories(const WideString& text);
