// The platform locale's short date (en-US, "M/d/yyyy", always four year
// digits). Date text the program shows and the dates in restrictions share
// this one format, so both sides use these two functions.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace platform {

struct ShortDate {
  int year = 0, month = 0, day = 0;
  friend bool operator==(const ShortDate&, const ShortDate&) = default;
};

std::u16string FormatShortDate(int year, int month, int day);

// Strict: one or two digits for month and day, exactly four for the year,
// and a date that exists. Anything else is nullopt.
std::optional<ShortDate> ParseShortDate(std::u16string_view text);

}  // namespace platform
