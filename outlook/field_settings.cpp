#include "outlook/field_settings.h"

#include "outlook/category_text.h"

const WCHAR kSettingsRestriction[] = TEXT("[Subject]=\"Outlook Tallyset 3 Personal Settings\"");

namespace {

const int kHeaderLines = 6;

}  // namespace

// The whole text is read, however long: a field the user wrote is never dropped.
std::vector<WideString> FieldLines(const WideString& settings) {
  std::vector<WideString> lines;
  int line = 0;
  size_t start = 0;
  while (start < settings.size()) {
    size_t end = settings.find_first_of(TEXT("\r\n"), start);
    if (end == WideString::npos) end = settings.size();
    if (end > start) {
      ++line;
      if (line > kHeaderLines) lines.push_back(settings.substr(start, end - start));
    }
    start = end + 1;
  }
  return lines;
}

FieldSetting ParseFieldLine(const WideString& line) {
  FieldSetting field;
  // A line without a colon keeps its whole text as the label, so the user sees it.
  size_t colon = line.find(TEXT(':'));
  if (colon == WideString::npos) {
    field.label = line;
    return field;
  }
  field.label = line.substr(0, colon + 1);
  size_t position = colon + 1;
  for (size_t semicolon = line.find(TEXT(';'), position); semicolon != WideString::npos;
       semicolon = line.find(TEXT(';'), position)) {
    field.choices.push_back(line.substr(position, semicolon - position));
    position = semicolon + 1;
  }
  return field;
}

std::vector<FieldSetting> ParseFieldSettings(const WideString& settings) {
  std::vector<FieldSetting> fields;
  for (const WideString& line : FieldLines(settings)) fields.push_back(ParseFieldLine(line));
  return fields;
}

WideString FieldName(const FieldSetting& field) {
  const WideString& label = field.label;
  if (!label.empty() && label.back() == TEXT(':')) return label.substr(0, label.size() - 1);
  return label;
}

// Within one field the lowest-numbered choice wins; one category may answer
// several fields, since each field searches the whole text on its own.
size_t FindChoice(const WideString& searched, const std::vector<WideString>& choices) {
  for (size_t k = 0; k < choices.size(); ++k) {
    if (searched.find(choices[k]) != WideString::npos) return k;
  }
  return kNoChoice;
}

std::vector<size_t> MatchFieldValues(const WideString& categories, const std::vector<FieldSetting>& fields) {
  WideString searched = PlainCategories(categories);
  std::vector<size_t> values;
  values.reserve(fields.size());
  for (const FieldSetting& field : fields) values.push_back(FindChoice(searched, field.choices));
  return values;
}
