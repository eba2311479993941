// en-US short date text, the one date format of the platform locale.
#include "platform/base/short_date.h"

#include "platform/base/civil_date.h"

namespace platform {

std::u16string FormatShortDate(int year, int month, int day) {
  std::u16string out;
  auto put = [&out](int value, int min_digits) {
    char16_t digits[12];
    int n = 0;
    unsigned v = value < 0 ? 0u : static_cast<unsigned>(value);
    do {
      digits[n++] = static_cast<char16_t>(u'0' + v % 10);
      v /= 10;
    } while (v != 0 || n < min_digits);
    while (n > 0) out.push_back(digits[--n]);
  };
  put(month, 1);
  out.push_back(u'/');
  put(day, 1);
  out.push_back(u'/');
  put(year, 4);
  return out;
}

std::optional<ShortDate> ParseShortDate(std::u16string_view text) {
  int parts[3] = {0, 0, 0};
  const int max_digits[3] = {2, 2, 4};
  const int min_digits[3] = {1, 1, 4};
  std::size_t i = 0;
  for (int p = 0; p < 3; ++p) {
    int digits = 0;
    while (i < text.size() && text[i] >= u'0' && text[i] <= u'9') {
      if (++digits > max_digits[p]) return std::nullopt;
      parts[p] = parts[p] * 10 + (text[i] - u'0');
      ++i;
    }
    if (digits < min_digits[p]) return std::nullopt;
    if (p < 2) {
      if (i >= text.size() || text[i] != u'/') return std::nullopt;
      ++i;
    }
  }
  if (i != text.size()) return std::nullopt;
  const ShortDate date{parts[2], parts[0], parts[1]};
  if (!is_valid_date(date.year, date.month, date.day)) return std::nullopt;
  return date;
}

}  // namespace platform
