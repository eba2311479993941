#include "outlook/category_text.h"

void SplitCategories(const WideString& text, std::vector<WideString>* values) {
  values->clear();
  if (text.empty()) return;
  WideString value;
  for (size_t i = 0; i < text.size(); ++i) {
    WCHAR c = text[i];
    if (c == TEXT(',')) {
      values->push_back(value);
      value.clear();
    } else if (c == TEXT('\\') && i + 1 < text.size() && (text[i + 1] == TEXT(',') || text[i + 1] == TEXT('\\'))) {
      value += text[++i];
    } else {
      value += c;
    }
  }
  values->push_back(value);
}

void AppendCategory(WideString& categories, const WideString& value) {
  for (size_t i = 0; i < value.size(); ++i) {
    WCHAR c = value[i];
    if (c == TEXT(',')) {
      categories += TEXT("\\,");
    } else if (c == TEXT('\\') &&
               (i + 1 == value.size() || value[i + 1] == TEXT(',') || value[i + 1] == TEXT('\\'))) {
      categories += TEXT("\\\\");
    } else {
      categories += c;
    }
  }
}

WideString PlainCategories(const WideString& text) {
  std::vector<WideString> values;
  SplitCategories(text, &values);
  WideString plain;
  for (size_t i = 0; i < values.size(); ++i) {
    if (i > 0) plain += TEXT(",");
    plain += values[i];
  }
  return plain;
}
