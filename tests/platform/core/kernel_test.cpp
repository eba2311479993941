// Kernel services: bounded text formatting, variant times, file times and
// the local clock.
#include <climits>
#include <functional>
#include <string>
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

SYSTEMTIME Make(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(mo);
  st.wDay = static_cast<WORD>(d);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(mi);
  st.wSecond = static_cast<WORD>(s);
  st.wMilliseconds = static_cast<WORD>(ms);
  return st;
}

// ------------------------------------------------------------------ strsafe

constexpr size_t kBuffer = 40;
constexpr char16_t kSentinel = u'#';

struct TextCase {
  const char* name;
  size_t cch;  // the size passed to the function
  std::function<HRESULT(WCHAR*, size_t)> call;
  std::u16string expected;
  HRESULT result;
};

void RunTextCases(const std::vector<TextCase>& cases) {
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    WCHAR buffer[kBuffer];
    std::fill(std::begin(buffer), std::end(buffer), kSentinel);
    HRESULT hr = c.call(buffer, c.cch);
    EXPECT_EQ(hr, c.result);
    if (c.cch == 0) continue;
    // Always terminated within the destination, never written past it.
    size_t len = 0;
    while (len < c.cch && buffer[len]) ++len;
    ASSERT_LT(len, c.cch) << "not terminated within cchDest";
    EXPECT_EQ(Narrow(std::u16string(buffer, len)), Narrow(c.expected));
    for (size_t i = c.cch; i < kBuffer; ++i) ASSERT_EQ(buffer[i], kSentinel) << "wrote past cchDest at " << i;
  }
}

TEST(StringCchPrintf, FormatsEachConversionWithWidthAndFlags) {
  auto p = [](auto... args) {
    return [=](WCHAR* d, size_t n) { return StringCchPrintfW(d, n, args...); };
  };
  RunTextCases({
      {"text", 20, p(u"<%s>", u"abc"), u"<abc>", S_OK},
      {"empty text", 20, p(u"<%s>", u""), u"<>", S_OK},
      {"two texts", 20, p(u"%s %s", u"a", u"bc"), u"a bc", S_OK},
      {"negative int", 20, p(u"%d", -42), u"-42", S_OK},
      {"zero", 20, p(u"%d", 0), u"0", S_OK},
      {"int min", 20, p(u"%d", INT_MIN), u"-2147483648", S_OK},
      {"int max with %i", 20, p(u"%i", INT_MAX), u"2147483647", S_OK},
      {"unsigned above int max", 20, p(u"%u", 4000000000u), u"4000000000", S_OK},
      {"long unsigned max", 30, p(u"[OID] = %lu", 4294967295u), u"[OID] = 4294967295", S_OK},
      {"hex lower", 20, p(u"%x", 0xbeefu), u"beef", S_OK},
      {"hex upper", 20, p(u"%X", 0xbeefu), u"BEEF", S_OK},
      {"hex of all ones", 20, p(u"%x", 0xFFFFFFFFu), u"ffffffff", S_OK},
      {"width pads left", 20, p(u"[%5d]", 42), u"[   42]", S_OK},
      {"minus pads right", 20, p(u"[%-5d]", 42), u"[42   ]", S_OK},
      {"zero flag pads with zeros", 20, p(u"[%05d]", 42), u"[00042]", S_OK},
      {"zero flag after the sign", 20, p(u"[%05d]", -42), u"[-0042]", S_OK},
      {"width pads negative", 20, p(u"[%5d]", -42), u"[  -42]", S_OK},
      {"width narrower than number", 20, p(u"[%2d]", 12345), u"[12345]", S_OK},
      {"zero padded time", 20, p(u"%02d:%02d", 7, 5), u"07:05", S_OK},
      {"zero padded hex", 20, p(u"%04x", 0xau), u"000a", S_OK},
      {"text width", 20, p(u"[%5s]", u"ab"), u"[   ab]", S_OK},
      {"text left", 20, p(u"[%-5s]", u"ab"), u"[ab   ]", S_OK},
      {"character", 20, p(u"%c%c", u'h', u'i'), u"hi", S_OK},
      {"percent", 20, p(u"100%%"), u"100%", S_OK},
      {"mixed", 40, p(u"%s=%d (%x)", u"n", 31, 31u), u"n=31 (1f)", S_OK},
  });
}

TEST(StringCchPrintf, TruncatesTerminatesAndReportsInsufficientBuffer) {
  auto p = [](auto... args) {
    return [=](WCHAR* d, size_t n) { return StringCchPrintfW(d, n, args...); };
  };
  RunTextCases({
      {"exact fit", 4, p(u"%s", u"abc"), u"abc", S_OK},
      {"one too long", 4, p(u"%s", u"abcd"), u"abc", STRSAFE_E_INSUFFICIENT_BUFFER},
      {"number cut", 3, p(u"%d", 12345), u"12", STRSAFE_E_INSUFFICIENT_BUFFER},
      {"room for the zero only", 1, p(u"%d", 7), u"", STRSAFE_E_INSUFFICIENT_BUFFER},
      {"OID cut", 10, p(u"[OID] = %lu", 4294967295u), u"[OID] = 4", STRSAFE_E_INSUFFICIENT_BUFFER},
      {"padding cut", 4, p(u"%-6s", u"a"), u"a  ", STRSAFE_E_INSUFFICIENT_BUFFER},
      {"no room at all", 0, p(u"%d", 7), u"", STRSAFE_E_INVALID_PARAMETER},
  });
}

TEST(StringCchCopy, CopiesWithinTheBoundAndCutsLongerText) {
  auto copy = [](const char16_t* src) { return [=](WCHAR* d, size_t n) { return StringCchCopyW(d, n, src); }; };
  RunTextCases({
      {"fits", 10, copy(u"hello"), u"hello", S_OK},
      {"exact fit", 6, copy(u"hello"), u"hello", S_OK},
      {"one too long", 5, copy(u"hello"), u"hell", STRSAFE_E_INSUFFICIENT_BUFFER},
      {"single slot", 1, copy(u"hello"), u"", STRSAFE_E_INSUFFICIENT_BUFFER},
      {"empty source", 3, copy(u""), u"", S_OK},
      {"zero size", 0, copy(u"x"), u"", STRSAFE_E_INVALID_PARAMETER},
  });
}

TEST(StringCchCat, AppendsAfterExistingTextWithinTheBound) {
  auto cat = [](const char16_t* start, const char16_t* src) {
    return [=](WCHAR* d, size_t n) {
      std::u16string s(start);
      std::copy(s.begin(), s.end(), d);
      d[s.size()] = 0;
      return StringCchCatW(d, n, src);
    };
  };
  RunTextCases({
      {"fits", 10, cat(u"ab", u"cd"), u"abcd", S_OK},
      {"exact fit", 5, cat(u"ab", u"cd"), u"abcd", S_OK},
      {"cut", 5, cat(u"ab", u"cde"), u"abcd", STRSAFE_E_INSUFFICIENT_BUFFER},
      {"onto empty", 4, cat(u"", u"xyz"), u"xyz", S_OK},
      {"full already", 3, cat(u"ab", u"c"), u"ab", STRSAFE_E_INSUFFICIENT_BUFFER},
  });
}

TEST(StringCchCat, RefusesADestinationWithoutTerminator) {
  WCHAR buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), u'x');
  EXPECT_EQ(StringCchCatW(buffer, 4, u"y"), STRSAFE_E_INVALID_PARAMETER);
  EXPECT_EQ(buffer[4], u'x');
}

// ------------------------------------------------------------------ variant times

struct VariantCase {
  const char* name;
  SYSTEMTIME time;
  double date;
};

TEST(VariantTime, ConvertsBothWaysAroundTheEpoch) {
  const VariantCase cases[] = {
      {"epoch", Make(1899, 12, 30), 0.0},
      {"epoch noon", Make(1899, 12, 30, 12), 0.5},
      {"day before epoch at 06:00", Make(1899, 12, 29, 6), -1.25},
      {"day before epoch at midnight", Make(1899, 12, 29), -1.0},
      {"two days before epoch at 18:00", Make(1899, 12, 28, 18), -2.75},
      {"1900-01-01", Make(1900, 1, 1), 2.0},
      {"1900-03-01 (1900 not a leap year)", Make(1900, 3, 1), 61.0},
      {"2000-01-01", Make(2000, 1, 1), 36526.0},
      {"2000-01-01 18:00", Make(2000, 1, 1, 18), 36526.75},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    SYSTEMTIME st = c.time;
    DATE date = 12345.0;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &date));
    EXPECT_NEAR(date, c.date, 1e-9);

    SYSTEMTIME back{};
    ASSERT_TRUE(VariantTimeToSystemTime(c.date, &back));
    EXPECT_EQ(back.wYear, c.time.wYear);
    EXPECT_EQ(back.wMonth, c.time.wMonth);
    EXPECT_EQ(back.wDay, c.time.wDay);
    EXPECT_EQ(back.wHour, c.time.wHour);
    EXPECT_EQ(back.wMinute, c.time.wMinute);
    EXPECT_EQ(back.wSecond, c.time.wSecond);
  }
}

TEST(VariantTime, RoundTripKeepsTheTimeToTheSecondAndRecomputesTheWeekday) {
  const SYSTEMTIME times[] = {Make(2026, 12, 6, 18, 30), Make(2026, 12, 6, 23, 59, 59), Make(2028, 2, 29, 0, 0, 1),
                              Make(1850, 7, 4, 13, 14, 15), Make(9999, 12, 31, 23, 59, 59), Make(100, 1, 1)};
  for (SYSTEMTIME st : times) {
    SCOPED_TRACE(testing::Message() << st.wYear << "-" << st.wMonth << "-" << st.wDay << " " << st.wHour << ":"
                                    << st.wMinute << ":" << st.wSecond);
    st.wDayOfWeek = 6;  // wrong on purpose: the conversion ignores it
    DATE date = 0;
    ASSERT_TRUE(SystemTimeToVariantTime(&st, &date));
    SYSTEMTIME back{};
    ASSERT_TRUE(VariantTimeToSystemTime(date, &back));
    EXPECT_EQ(back.wYear, st.wYear);
    EXPECT_EQ(back.wMonth, st.wMonth);
    EXPECT_EQ(back.wDay, st.wDay);
    EXPECT_EQ(back.wHour, st.wHour);
    EXPECT_EQ(back.wMinute, st.wMinute);
    EXPECT_EQ(back.wSecond, st.wSecond);
    // The weekday comes from the date, checked against the file-time conversion.
    FILETIME ft;
    SYSTEMTIME via_file{};
    st.wDayOfWeek = 0;
    if (st.wYear >= 1601) {
      testing_support::TestPlatform platform;
      ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
      ASSERT_TRUE(FileTimeToSystemTime(&ft, &via_file));
      EXPECT_EQ(back.wDayOfWeek, via_file.wDayOfWeek);
    }
  }
}

TEST(VariantTime, KnownWeekdays) {
  struct Row {
    SYSTEMTIME time;
    WORD weekday;  // 0 = Sunday
  } rows[] = {
      {Make(2026, 12, 6, 18, 30), 0},  // a Sunday
      {Make(1899, 12, 30), 6},         // a Saturday
      {Make(2000, 2, 29), 2},          // a Tuesday
      {Make(1969, 7, 20), 0},          // a Sunday
  };
  for (auto& r : rows) {
    SCOPED_TRACE(testing::Message() << r.time.wYear << "-" << r.time.wMonth << "-" << r.time.wDay);
    DATE date;
    ASSERT_TRUE(SystemTimeToVariantTime(&r.time, &date));
    SYSTEMTIME back{};
    back.wDayOfWeek = 99;
    ASSERT_TRUE(VariantTimeToSystemTime(date, &back));
    EXPECT_EQ(back.wDayOfWeek, r.weekday);
  }
}

TEST(VariantTime, RejectsInvalidDates) {
  struct Row {
    const char* name;
    SYSTEMTIME time;
  } rows[] = {
      {"month 13", Make(2026, 13, 1)},
      {"month 0", Make(2026, 0, 1)},
      {"day 0", Make(2026, 1, 0)},
      {"February 29 in a common year", Make(2027, 2, 29)},
      {"February 29 in 1900", Make(1900, 2, 29)},
      {"April 31", Make(2026, 4, 31)},
      {"hour 24", Make(2026, 1, 1, 24)},
      {"minute 60", Make(2026, 1, 1, 0, 60)},
      {"second 60", Make(2026, 1, 1, 0, 0, 60)},
  };
  for (auto& r : rows) {
    SCOPED_TRACE(r.name);
    DATE date = 42.0;
    EXPECT_FALSE(SystemTimeToVariantTime(&r.time, &date));
  }
  // Leap days that do exist are accepted.
  for (SYSTEMTIME st : {Make(2028, 2, 29), Make(2000, 2, 29)}) {
    DATE date;
    EXPECT_TRUE(SystemTimeToVariantTime(&st, &date)) << st.wYear;
  }
}

// ------------------------------------------------------------------ file times

ULONGLONG Ticks(const FILETIME& ft) { return (static_cast<ULONGLONG>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime; }
FILETIME FromTicks(ULONGLONG t) { return FILETIME{static_cast<DWORD>(t & 0xFFFFFFFFu), static_cast<DWORD>(t >> 32)}; }

TEST(FileTime, KnownInstants) {
  testing_support::TestPlatform platform;
  struct Row {
    const char* name;
    SYSTEMTIME time;
    ULONGLONG ticks;
  } rows[] = {
      {"first instant", Make(1601, 1, 1), 0ULL},
      {"one millisecond later", Make(1601, 1, 1, 0, 0, 0, 1), 10'000ULL},
      {"unix epoch", Make(1970, 1, 1), 116444736000000000ULL},
  };
  for (auto& r : rows) {
    SCOPED_TRACE(r.name);
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&r.time, &ft));
    EXPECT_EQ(Ticks(ft), r.ticks);
  }
}

TEST(FileTime, RoundTripKeepsEveryFieldAndFillsTheWeekday) {
  testing_support::TestPlatform platform;
  const SYSTEMTIME times[] = {Make(2026, 12, 6, 18, 30, 15, 250), Make(1601, 1, 1), Make(2028, 2, 29, 23, 59, 59, 999),
                              Make(30827, 12, 31, 23, 59, 59, 999)};
  const WORD weekdays[] = {0, 1, 2, 5};  // Sunday, Monday, Tuesday, Friday
  for (size_t i = 0; i < std::size(times); ++i) {
    SYSTEMTIME st = times[i];
    SCOPED_TRACE(st.wYear);
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&st, &ft));
    SYSTEMTIME back{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &back));
    EXPECT_EQ(back.wYear, st.wYear);
    EXPECT_EQ(back.wMonth, st.wMonth);
    EXPECT_EQ(back.wDay, st.wDay);
    EXPECT_EQ(back.wHour, st.wHour);
    EXPECT_EQ(back.wMinute, st.wMinute);
    EXPECT_EQ(back.wSecond, st.wSecond);
    EXPECT_EQ(back.wMilliseconds, st.wMilliseconds);
    EXPECT_EQ(back.wDayOfWeek, weekdays[i]);
  }
}

TEST(FileTime, AddingSevenDaysCrossesMonthYearAndLeapDay) {
  testing_support::TestPlatform platform;
  constexpr ULONGLONG kWeek = 6048000000000ULL;
  struct Row {
    const char* name;
    SYSTEMTIME from;
    SYSTEMTIME to;
  } rows[] = {
      {"within a month", Make(2026, 12, 6, 18, 30), Make(2026, 12, 13, 18, 30)},
      {"month boundary", Make(2026, 1, 28, 9), Make(2026, 2, 4, 9)},
      {"year boundary", Make(2026, 12, 28, 23, 59, 59), Make(2027, 1, 4, 23, 59, 59)},
      {"over a leap day", Make(2028, 2, 25, 12), Make(2028, 3, 3, 12)},
      {"common year February", Make(2027, 2, 25, 12), Make(2027, 3, 4, 12)},
      {"century leap day", Make(2000, 2, 26), Make(2000, 3, 4)},
      {"1900 has no leap day", Make(1900, 2, 26), Make(1900, 3, 5)},
  };
  for (auto& r : rows) {
    SCOPED_TRACE(r.name);
    FILETIME ft{};
    ASSERT_TRUE(SystemTimeToFileTime(&r.from, &ft));
    FILETIME later = FromTicks(Ticks(ft) + kWeek);
    SYSTEMTIME st{};
    ASSERT_TRUE(FileTimeToSystemTime(&later, &st));
    EXPECT_EQ(st.wYear, r.to.wYear);
    EXPECT_EQ(st.wMonth, r.to.wMonth);
    EXPECT_EQ(st.wDay, r.to.wDay);
    EXPECT_EQ(st.wHour, r.to.wHour);
    EXPECT_EQ(st.wMinute, r.to.wMinute);
    EXPECT_EQ(st.wSecond, r.to.wSecond);
    // A week later is the same weekday.
    SYSTEMTIME start{};
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &start));
    EXPECT_EQ(st.wDayOfWeek, start.wDayOfWeek);
  }
}

TEST(FileTime, RejectsInvalidSystemTimes) {
  testing_support::TestPlatform platform;
  const SYSTEMTIME bad[] = {Make(2026, 13, 1), Make(2027, 2, 29), Make(1600, 12, 31), Make(2026, 1, 1, 24),
                            Make(2026, 1, 1, 0, 0, 0, 1000)};
  for (SYSTEMTIME st : bad) {
    SCOPED_TRACE(testing::Message() << st.wYear << "-" << st.wMonth << "-" << st.wDay << " " << st.wHour);
    FILETIME ft{123, 456};
    SetLastError(0);
    EXPECT_FALSE(SystemTimeToFileTime(&st, &ft));
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  }
}

TEST(FileTime, RejectsTimesWithTheHighBitSet) {
  testing_support::TestPlatform platform;
  FILETIME ft = FromTicks(0x8000000000000000ULL);
  SYSTEMTIME st{};
  EXPECT_FALSE(FileTimeToSystemTime(&ft, &st));
}

// ------------------------------------------------------------------ clock

TEST(LocalTime, ReportsTheStartTimeGivenToTheSession) {
  const SYSTEMTIME starts[] = {Make(2026, 12, 6, 18, 30), Make(2028, 2, 29, 7, 5), Make(2026, 12, 31, 23, 58)};
  for (const SYSTEMTIME& start : starts) {
    SCOPED_TRACE(testing::Message() << start.wYear << "-" << start.wMonth << "-" << start.wDay);
    platform::SessionOptions options;
    options.now = start;
    testing_support::TestPlatform platform(options);
    SYSTEMTIME now{};
    GetLocalTime(&now);
    EXPECT_EQ(now.wYear, start.wYear);
    EXPECT_EQ(now.wMonth, start.wMonth);
    EXPECT_EQ(now.wDay, start.wDay);
    EXPECT_EQ(now.wHour, start.wHour);
    EXPECT_EQ(now.wMinute, start.wMinute);
    // The weekday is that of the date, whatever the caller left in it.
    FILETIME ft;
    SYSTEMTIME check{};
    ASSERT_TRUE(SystemTimeToFileTime(&start, &ft));
    ASSERT_TRUE(FileTimeToSystemTime(&ft, &check));
    EXPECT_EQ(now.wDayOfWeek, check.wDayOfWeek);
  }
}

TEST(LocalTime, AdvancingTheClockMovesLocalTime) {
  platform::SessionOptions options;
  options.now = Make(2026, 12, 31, 23, 30);
  testing_support::TestPlatform platform(options);
  platform.session.clock().advance_seconds(3600);
  SYSTEMTIME now{};
  GetLocalTime(&now);
  EXPECT_EQ(now.wYear, 2027);
  EXPECT_EQ(now.wMonth, 1);
  EXPECT_EQ(now.wDay, 1);
  EXPECT_EQ(now.wHour, 0);
  EXPECT_EQ(now.wMinute, 30);
}

}  // namespace
