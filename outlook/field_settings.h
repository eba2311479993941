// The time-card fields as the settings appointment's body defines them, and
// the one rule that finds a field's value in an appointment's categories.
// Text in, values out, no windows: the screen builds its field rows and
// icons on these, and `tallyset report` adds up time with the same answers.
#pragma once

#include <windows.h>

#include <cstddef>
#include <vector>

#include "app/wide_string.h"

// Find's restriction for the settings appointment: the first appointment it
// yields with this subject defines the fields.
extern const WCHAR kSettingsRestriction[];

struct FieldSetting {
  WideString label;                 // as the row shows it: the line up to and including its first ':'
  std::vector<WideString> choices;  // in text order; the choice box holds choice i as entry i + 1
};

// The field lines of a settings text: its lines are cut at every CR and LF
// (empty lines do not count), and each line after the first six is one field.
std::vector<WideString> FieldLines(const WideString& settings);
// "Label:Choice;Choice;": each ';' closes one choice, so text after the last
// ';' is not a choice. A line without ':' is all label and has no choices.
FieldSetting ParseFieldLine(const WideString& line);
std::vector<FieldSetting> ParseFieldSettings(const WideString& settings);
// The label without its trailing ':', the name a person types for the field.
WideString FieldName(const FieldSetting& field);

const size_t kNoChoice = static_cast<size_t>(-1);
// The first of `choices` that occurs anywhere in `searched` (a plain,
// case-sensitive substring test, not a comparison of whole values), or
// kNoChoice. `searched` is the categories text with its escapes undone
// (PlainCategories), so a value with a comma is found whole.
size_t FindChoice(const WideString& searched, const std::vector<WideString>& choices);
// FindChoice for every field against one appointment's Categories string.
std::vector<size_t> MatchFieldValues(const WideString& categories, const std::vector<FieldSetting>& fields);
