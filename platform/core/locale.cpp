// Locale services. The device's locale is English (United States); its
// short date is month/day/four-digit year, the same text the calendar
// store reads in a restriction, so any date written here reads back.
#include <windows.h>

#include <string>

#include "platform/base/short_date.h"
#include "platform/core/clock.h"
#include "platform/core/session.h"

namespace {

const char16_t* const kMonths[] = {u"January", u"February", u"March",     u"April",   u"May",      u"June",
                                   u"July",    u"August",   u"September", u"October", u"November", u"December"};
const char16_t* const kDays[] = {u"Sunday", u"Monday", u"Tuesday", u"Wednesday", u"Thursday", u"Friday", u"Saturday"};

std::u16string Number(int value, int digits) {
  std::u16string s;
  for (char c : std::to_string(value)) s += static_cast<char16_t>(c);
  while (static_cast<int>(s.size()) < digits) s.insert(s.begin(), u'0');
  return s;
}

// Expands a date picture such as "dddd, MMMM d, yyyy"; text in single quotes is copied.
std::u16string Picture(std::u16string_view format, const SYSTEMTIME& st) {
  std::u16string out;
  size_t i = 0;
  while (i < format.size()) {
    char16_t c = format[i];
    size_t run = 1;
    while (i + run < format.size() && format[i + run] == c) ++run;
    if (c == u'\'') {
      size_t end = format.find(u'\'', i + 1);
      if (end == std::u16string_view::npos) end = format.size();
      out += format.substr(i + 1, end - i - 1);
      i = end + 1;
      continue;
    }
    int weekday = platform::DayOfWeek(st.wYear, st.wMonth, st.wDay);
    if (c == u'd') {
      if (run >= 4)
        out += kDays[weekday];
      else if (run == 3)
        out += std::u16string(kDays[weekday]).substr(0, 3);
      else
        out += Number(st.wDay, static_cast<int>(run));
    } else if (c == u'M') {
      if (run >= 4)
        out += kMonths[st.wMonth - 1];
      else if (run == 3)
        out += std::u16string(kMonths[st.wMonth - 1]).substr(0, 3);
      else
        out += Number(st.wMonth, static_cast<int>(run));
    } else if (c == u'y') {
      out += run <= 2 ? Number(st.wYear % 100, static_cast<int>(run)) : Number(st.wYear, 4);
    } else {
      out.append(run, c);
    }
    i += run;
  }
  return out;
}

}  // namespace

int WINAPI GetDateFormatW(LCID, DWORD dwFlags, const SYSTEMTIME* lpDate, LPCWSTR lpFormat, LPWSTR lpDateStr,
                          int cchDate) {
  SYSTEMTIME st;
  if (lpDate)
    st = *lpDate;
  else
    GetLocalTime(&st);
  if (!platform::IsValidDate(st.wYear, st.wMonth, st.wDay) || cchDate < 0 || (cchDate > 0 && !lpDateStr)) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return 0;
  }
  std::u16string text;
  if (lpFormat)
    text = Picture(lpFormat, st);
  else if (dwFlags & DATE_LONGDATE)
    text = Picture(u"dddd, MMMM d, yyyy", st);
  else
    text = platform::FormatShortDate(st.wYear, st.wMonth, st.wDay);
  int needed = static_cast<int>(text.size()) + 1;
  if (cchDate == 0) return needed;
  if (cchDate < needed) {
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return 0;
  }
  std::copy(text.begin(), text.end(), lpDateStr);
  lpDateStr[text.size()] = 0;
  return needed;
}
