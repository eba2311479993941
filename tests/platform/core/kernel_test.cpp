// Kernel services: bounded text formatting, variant times, file times and
// the local clock.
#include <climits>
#include <cstring>
#include <functional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include <oleauto.h>
#include <strsafe.h>
#include <windows.h>

#include "support/test_host.h"

namespace {

std::string Narrow(const std::u16string& s) {
  std::string out;
  for (char16_t c : s) out += c < 128 ? static_cast<char>(c) : '?';
  return out;
}

using testing_support::Time;

// ------------------------------------------------------------------ strsafe

constexpr size_t kBuffer = 40;
constexpr char16_t kSentinel = u'#';

// A call given `cch` characters of a larger buffer: whatever it returns, the
// text is terminated within those and nothing is written past them.
struct TextCase {
  size_t cch;
  std::function<HRESULT(WCHAR*, size_t)> call;
  std::u16string expected;
  HRESULT result = S_OK;
};

void RunTextCases(const std::vector<TextCase>& cases) {
  for (size_t i = 0; i < cases.size(); ++i) {
    const TextCase& c = cases[i];
    SCOPED_TRACE(testing::Message() << "row " << i << ": " << Narrow(c.expected));
    WCHAR buffer[kBuffer];
    std::fill(std::begin(buffer), std::end(buffer), kSentinel);
    EXPECT_EQ(c.call(buffer, c.cch), c.result);
    if (c.cch == 0) continue;
    size_t len = 0;
    while (len < c.cch && buffer[len]) ++len;
    ASSERT_LT(len, c.cch) << "not terminated within cchDest";
    EXPECT_EQ(Narrow(std::u16string(buffer, len)), Narrow(c.expected));
    for (size_t j = c.cch; j < kBuffer; ++j) ASSERT_EQ(buffer[j], kSentinel) << "wrote past cchDest at " << j;
  }
}

auto Printf(auto... args) {
  return [=](WCHAR* d, size_t n) { return StringCchPrintfW(d, n, args...); };
}

// Each conversion with its width and flags, then cut at the bound, which the
// result says.
TEST(StringCchPrintf, FormatsEachConversionAndCutsAtTheBound) {
  constexpr HRESULT kShort = STRSAFE_E_INSUFFICIENT_BUFFER;
  RunTextCases({
      {20, Printf(u"<%s>", u"abc"), u"<abc>"},    {20, Printf(u"<%s>", u""), u"<>"},
      {20, Printf(u"%d", -42), u"-42"},
      {20, Printf(u"%d", 0), u"0"},               {20, Printf(u"%d", INT_MIN), u"-2147483648"},
      {20, Printf(u"%i", INT_MAX), u"2147483647"}, {20, Printf(u"%u", 4000000000u), u"4000000000"},
      {30, Printf(u"[OID] = %lu", 4294967295u), u"[OID] = 4294967295"},
      {20, Printf(u"%x", 0xbeefu), u"beef"},      {20, Printf(u"%X", 0xbeefu), u"BEEF"},
      {20, Printf(u"%x", 0xFFFFFFFFu), u"ffffffff"}, {20, Printf(u"[%5d]", 42), u"[   42]"},
      {20, Printf(u"[%-5d]", 42), u"[42   ]"},    {20, Printf(u"[%05d]", 42), u"[00042]"},
      {20, Printf(u"[%05d]", -42), u"[-0042]"},   {20, Printf(u"[%5d]", -42), u"[  -42]"},
      {20, Printf(u"[%2d]", 12345), u"[12345]"},
      {20, Printf(u"%04x", 0xau), u"000a"},       {20, Printf(u"[%5s]", u"ab"), u"[   ab]"},
      {20, Printf(u"[%-5s]", u"ab"), u"[ab   ]"}, {20, Printf(u"%c%c", u'h', u'i'), u"hi"},
      {20, Printf(u"100%%"), u"100%"},            {40, Printf(u"%s=%d (%x)", u"n", 31, 31u), u"n=31 (1f)"},
      {4, Printf(u"%s", u"abc"), u"abc"},              {4, Printf(u"%s", u"abcd"), u"abc", kShort},
      {3, Printf(u"%d", 12345), u"12", kShort},        {1, Printf(u"%d", 7), u"", kShort},
      {10, Printf(u"[OID] = %lu", 4294967295u), u"[OID] = 4", kShort},
      {4, Printf(u"%-6s", u"a"), u"a  ", kShort},      {0, Printf(u"%d", 7), u"", STRSAFE_E_INVALID_PARAMETER},
  });
}

// ------------------------------------------------------------------ times

// The fields a conversion must keep, weekday aside.
auto Fields(const SYSTEMTIME& t) {
  return std::tuple(t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds);
}
std::string Name(const SYSTEMTIME& t) {
  return testing::PrintToString(Fields(t));
}

ULONGLONG Ticks(const FILETIME& ft) { return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }
FILETIME FromTicks(ULONGLONG t) { return FILETIME{static_cast<DWORD>(t & 0xFFFFFFFFu), static_cast<DWORD>(t >> 32)}; }

// Variant times both ways, around the epoch and far from it; the weekday
// comes from the date whatever the caller left in it (0 = Sunday).
TEST(VariantTime, ConvertsBothWaysAndRecomputesTheWeekday) {
  constexpr double kNone = -1e9;  // only the round trip is checked
  struct Row { SYSTEMTIME time; double date; int weekday; } rows[] = {
      {Time(1899, 12, 30), 0.0, 6},           {Time(1899, 12, 30, 12), 0.5, 6},
      {Time(1899, 12, 29, 6), -1.25, 5},      {Time(1899, 12, 29), -1.0, 5},
      {Time(1899, 12, 28, 18), -2.75, 4},     {Time(1900, 1, 1), 2.0, 1},
      {Time(1900, 3, 1), 61.0, 4},  /* 1900 is not a leap year */ {Time(2000, 1, 1, 18), 36526.75, 6},
      {Time(2000, 2, 29), kNone, 2},          {Time(2026, 12, 6, 23, 59, 59), kNone, 0},
      {Time(2028, 2, 29, 0, 0, 1), kNone, 2}, {Time(1850, 7, 4, 13, 14, 15), kNone, 4},
      {Time(9999, 12, 31, 23, 59, 59), kNone, 5}, {Time(100, 1, 1), kNone, 5},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(Name(r.time));
    SYSTEMTIME st = r.time;
    st.wDayOfWeek = 3;  // wrong on purpose
    DATE date = 12345.0;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &date));
    if (r.date != kNone) { EXPECT_NEAR(date, r.date, 1e-9); }
    SYSTEMTIME back{};
    back.wDayOfWeek = 99;
    ASSERT_TRUE(VariantTimeToSystemTime(date, &back));
    EXPECT_EQ(Fields(back), Fields(r.time));
    EXPECT_EQ(back.wDayOfWeek, r.weekday);
  }
}

// File times: known instants, every field kept, the weekday filled in, and
// a week later across month, year and leap day.
TEST(FileTime, ConvertsBothWaysAndAddsUp) {
  testing_support::TestPlatform platform;
  constexpr ULONGLONG kAny = ~0ULL;
  constexpr ULONGLONG kWeek = 6048000000000ULL;
  struct Row { SYSTEMTIME time; ULONGLONG ticks; int weekday; SYSTEMTIME week_later; } rows[] = {
      {Time(1601, 1, 1), 0ULL, 1, Time(1601, 1, 8)},
      {Time(1601, 1, 1, 0, 0, 0, 1), 10'000ULL, 1, Time(1601, 1, 8, 0, 0, 0, 1)},
      {Time(1970, 1, 1), 116444736000000000ULL, 4, Time(1970, 1, 8)},
      {Time(2026, 12, 6, 18, 30, 15, 250), kAny, 0, Time(2026, 12, 13, 18, 30, 15, 250)},
      {Time(2028, 2, 29, 23, 59, 59, 999), kAny, 2, Time(2028, 3, 7, 23, 59, 59, 999)},
      {Time(2026, 1, 28, 9), kAny, 3, Time(2026, 2, 4, 9)}, {Time(2028, 2, 25, 12), kAny, 5, Time(2028, 3, 3, 12)},
      {Time(2026, 12, 28, 23, 59, 59), kAny, 1, Time(2027, 1, 4, 23, 59, 59)},
      {Time(2027, 2, 25, 12), kAny, 4, Time(2027, 3, 4, 12)}, {Time(2000, 2, 26), kAny, 6, Time(2000, 3, 4)},
      {Time(1900, 2, 26), kAny, 1, Time(1900, 3, 5)},  // 1900 has no leap day
      {Time(30827, 12, 31, 23, 59, 59, 999), kAny, 5, {}},  // the last one; no week later
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(Name(r.time));
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&r.time, &ft));
    if (r.ticks != kAny) { EXPECT_EQ(Ticks(ft), r.ticks); }
    SYSTEMTIME back{}, later{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(Fields(back), Fields(r.time));
    EXPECT_EQ(back.wDayOfWeek, r.weekday);
    if (r.week_later.wYear == 0) continue;
    const FILETIME week = FromTicks(Ticks(ft) + kWeek);
    ASSERT_TRUE(FileTimeToSystemTime(&week, &later));
    EXPECT_EQ(Fields(later), Fields(r.week_later));
    EXPECT_EQ(later.wDayOfWeek, r.weekday);
  }
  FILETIME high = FromTicks(0x8000000000000000ULL);
  SYSTEMTIME st{};
  EXPECT_FALSE(FileTimeToSystemTime(&high, &st));
}

// Dates that do not exist; the two conversions differ only in their range.
TEST(SystemTime, InvalidTimesAreRefusedByBothConversions) {
  testing_support::TestPlatform platform;
  struct Row { SYSTEMTIME time; bool variant_ok, file_ok; } rows[] = {
      {Time(2026, 13, 1), false, false},      {Time(2026, 0, 1), false, false},
      {Time(2026, 1, 0), false, false},       {Time(2027, 2, 29), false, false},
      {Time(1900, 2, 29), false, false},      {Time(2026, 4, 31), false, false},
      {Time(2026, 1, 1, 24), false, false},   {Time(2026, 1, 1, 0, 60), false, false},
      {Time(2026, 1, 1, 0, 0, 60), false, false}, {Time(2026, 1, 1, 0, 0, 0, 1000), true, false},
      {Time(1600, 12, 31), true, false},      {Time(2028, 2, 29), true, true},
      {Time(2000, 2, 29), true, true},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(Name(r.time) + "." + std::to_string(r.time.wMilliseconds));
    DATE date = 42.0;
    EXPECT_EQ(SystemTimeToVariantTime(const_cast<SYSTEMTIME*>(&r.time), &date) != FALSE, r.variant_ok);
    FILETIME ft{123, 456};
    SetLastError(0);
    EXPECT_EQ(SystemTimeToFileTime(&r.time, &ft) != FALSE, r.file_ok);
    if (!r.file_ok) { EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER)); }
  }
}

// ------------------------------------------------------------------ clock

TEST(LocalTime, StartsAtTheSessionsTimeAndFollowsTheClock) {
  struct Row { SYSTEMTIME start; int advance_seconds; SYSTEMTIME expected; int weekday; } rows[] = {
      {Time(2026, 12, 6, 18, 30), 0, Time(2026, 12, 6, 18, 30), 0},
      {Time(2028, 2, 29, 7, 5), 0, Time(2028, 2, 29, 7, 5), 2},
      {Time(2026, 12, 31, 23, 30), 3600, Time(2027, 1, 1, 0, 30), 5},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(Name(r.start));
    platform::SessionOptions options;
    options.now = r.start;
    testing_support::TestPlatform platform(options);
    platform.session.clock().advance_seconds(r.advance_seconds);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    now.wSecond = now.wMilliseconds = 0;
    EXPECT_EQ(Fields(now), Fields(r.expected));
    EXPECT_EQ(now.wDayOfWeek, r.weekday);
    // The device keeps no zone apart from the calendar's: system time is local time.
    SYSTEMTIME system{};
    GetSystemTime(&system);
    system.wSecond = system.wMilliseconds = 0;
    EXPECT_EQ(Fields(system), Fields(r.expected));
  }
}

// The locale's date texts: the short and long forms, pictures with quoted
// text, and the length protocol (0 asks for the size, a short buffer fails).
TEST(DateFormat, FormsPicturesAndLengths) {
  testing_support::TestPlatform platform;
  const SYSTEMTIME friday = Time(2026, 12, 4);
  struct Row { DWORD flags; const char16_t* picture; const char* text; } rows[] = {
      {0, nullptr, "12/4/2026"},
      {DATE_LONGDATE, nullptr, "Friday, December 4, 2026"},
      {0, u"ddd d MMM yy", "Fri 4 Dec 26"},
      {0, u"dd'.'MM'.'yyyy 'at' d", "04.12.2026 at 4"},
      {0, u"'open", "open"},
  };
  for (const Row& r : rows) {
    SCOPED_TRACE(r.text);
    WCHAR buffer[64];
    const int needed = GetDateFormatW(LOCALE_USER_DEFAULT, r.flags, &friday, r.picture, nullptr, 0);
    EXPECT_EQ(needed, static_cast<int>(std::strlen(r.text)) + 1);
    EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, r.flags, &friday, r.picture, buffer, needed), needed);
    EXPECT_EQ(Narrow(buffer), r.text);
    SetLastError(0);
    EXPECT_EQ(GetDateFormatW(LOCALE_USER_DEFAULT, r.flags, &friday, r.picture, buffer, needed - 1), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER));
  }
}

}  // namespace
