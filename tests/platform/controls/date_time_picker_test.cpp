// The date-time picker as a program and a person use it: the parent's
// WM_NOTIFY sequences for taps and keys, the value messages, the drop-down's
// months and picks, its place on the screen and its look at both sizes.
#include <commctrl.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/controls/control_probes.h"
#include "platform/core/session.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/core/screen.h"
#include "platform/gdi/text.h"
#include "platform/hosts/input.h"
#include "support/test_host.h"

namespace {

using platform::controls::DatePickerDayOnScreen;
using platform::controls::DatePickerIsDroppedDown;
using platform::controls::DatePickerNextMonthOnScreen;
using platform::controls::DatePickerPrevMonthOnScreen;
using platform::controls::DatePickerShownMonth;

constexpr int kPickerId = 101;
constexpr const char16_t* kParentClass = u"DatePickerTestParent";

SYSTEMTIME Date(int y, int m, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(m);
  st.wDay = static_cast<WORD>(d);
  st.wHour = static_cast<WORD>(h);
  st.wMinute = static_cast<WORD>(mi);
  st.wSecond = static_cast<WORD>(s);
  st.wMilliseconds = static_cast<WORD>(ms);
  return st;
}

// Date, time and weekday, so that a mismatch reads plainly. Milliseconds
// are left out: the platform clock advances with real time from --now.
std::string Show(const SYSTEMTIME& st) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d wd%d", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond, st.wDayOfWeek);
  return buf;
}

SYSTEMTIME WithWeekday(SYSTEMTIME st, int weekday) {
  st.wDayOfWeek = static_cast<WORD>(weekday);
  return st;
}

// ------------------------------------------------------------------ what the parent hears

std::vector<UINT> g_codes;
std::vector<SYSTEMTIME> g_changes;
std::vector<DWORD> g_change_flags;
LRESULT g_monthcal_during_dropdown = 0;

const char* CodeName(UINT code) {
  if (code == DTN_DROPDOWN) return "DTN_DROPDOWN";
  if (code == DTN_CLOSEUP) return "DTN_CLOSEUP";
  if (code == DTN_DATETIMECHANGE) return "DTN_DATETIMECHANGE";
  return "other";
}

std::string Describe(const std::vector<UINT>& codes) {
  std::string out;
  for (UINT c : codes) out += std::string(CodeName(c)) + " ";
  return out;
}

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NOTIFY) {
    const auto* nm = reinterpret_cast<const NMHDR*>(lp);
    EXPECT_EQ(nm->idFrom, static_cast<UINT>(kPickerId));
    EXPECT_EQ(wp, static_cast<WPARAM>(kPickerId));
    g_codes.push_back(nm->code);
    if (nm->code == DTN_DATETIMECHANGE) {
      const auto* change = reinterpret_cast<const NMDATETIMECHANGE*>(lp);
      g_changes.push_back(change->st);
      g_change_flags.push_back(change->dwFlags);
    }
    if (nm->code == DTN_DROPDOWN) g_monthcal_during_dropdown = SendMessageW(nm->hwndFrom, DTM_GETMONTHCAL, 0, 0);
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

POINT Centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

std::uint32_t Rgb(COLORREF c) { return (GetRValue(c) << 16) | (GetGValue(c) << 8) | GetBValue(c); }

// A white parent window with one picker at (10,28) 100x20 (times the scale),
// and a message loop that runs the queued actions one per idle moment.
class Harness {
 public:
  explicit Harness(int width = 240, int height = 320, POINT at = {10, 28}, DWORD style = 0)
      : platform_(Options(width, height)) {
    g_codes.clear();
    g_changes.clear();
    g_change_flags.clear();
    g_monthcal_during_dropdown = 0;
    k = platform_.session.screen().scale();
    WNDCLASSW wc{};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = platform_.instance;
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.lpszClassName = kParentClass;
    RegisterClassW(&wc);
    parent = CreateWindowExW(0, kParentClass, u"Parent", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                             CW_USEDEFAULT, nullptr, nullptr, platform_.instance, nullptr);
    picker = CreateWindowExW(0, DATETIMEPICK_CLASSW, u"", WS_CHILD | WS_VISIBLE | WS_BORDER | style, at.x * k, at.y * k,
                             100 * k, 20 * k, parent, reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(kPickerId)),
                             platform_.instance, nullptr);
  }

  static testing_support::PlatformOptions Options(int width, int height) {
    testing_support::PlatformOptions o;
    o.screen_width = width;
    o.screen_height = height;
    o.now = Date(2026, 12, 6, 10, 30);  // a Sunday
    return o;
  }

  platform::Session& session() { return platform_.session; }
  void then(std::function<void(platform::Session&)> action) { platform_.host.then(std::move(action)); }
  // Runs the actions, then notes the value and what the parent heard
  // before the host closes the program.
  void run() {
    then([this](auto&) {
      if (IsWindow(picker)) final_value = value();
      final_codes = g_codes;
    });
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }

  SYSTEMTIME value() const {
    SYSTEMTIME st{};
    EXPECT_EQ(SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)), GDT_VALID);
    return st;
  }
  bool set(const SYSTEMTIME& st) {
    return SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st)) != FALSE;
  }
  RECT screen_rect(HWND hwnd) const {
    RECT r{};
    GetWindowRect(hwnd, &r);
    return r;
  }
  void tap(POINT p) { platform::PostTap(platform_.session, p.x, p.y); }
  void tap_picker() { tap(Centre(screen_rect(picker))); }
  void tap_day(int day) {
    auto cell = DatePickerDayOnScreen(picker, day);
    ASSERT_TRUE(cell.has_value()) << "day " << day;
    tap(Centre(*cell));
  }
  void key(WORD vk) {
    platform::PostKey(platform_.session, vk, true);
    platform::PostKey(platform_.session, vk, false);
  }

  int k = 1;
  SYSTEMTIME final_value{};
  std::vector<UINT> final_codes;
  HWND parent = nullptr;
  HWND picker = nullptr;

 private:
  testing_support::TestPlatform platform_;
};

constexpr WORD kF4 = VK_F1 + 3;

// ------------------------------------------------------------------ notification sequences

TEST(DateTimePicker, TapOpensAndADayTapPicksTheNewDate) {
  Harness h;
  ASSERT_TRUE(h.set(Date(2026, 12, 6, 9, 15, 42, 500)));
  std::vector<UINT> codes;
  h.then([&](auto&) { h.tap_picker(); });
  h.then([&](auto&) {
    EXPECT_TRUE(DatePickerIsDroppedDown(h.picker));
    EXPECT_EQ(Describe(g_codes), "DTN_DROPDOWN ");
    h.tap_day(15);
  });
  h.then([&](auto&) { codes = g_codes; });
  h.run();
  EXPECT_EQ(Describe(codes), "DTN_DROPDOWN DTN_DATETIMECHANGE DTN_CLOSEUP ");
  ASSERT_EQ(g_changes.size(), 1u);
  EXPECT_EQ(Show(g_changes[0]), Show(WithWeekday(Date(2026, 12, 15, 9, 15, 42, 500), 2)));
  EXPECT_EQ(g_change_flags[0], static_cast<DWORD>(GDT_VALID));
}

TEST(DateTimePicker, PickingTheDateAlreadySetOnlyClosesUp) {
  Harness h;
  std::vector<UINT> codes;
  bool open_after = true;
  h.then([&](auto&) { h.tap_picker(); });
  h.then([&](auto&) { h.tap_day(6); });
  h.then([&](auto&) {
    codes = g_codes;
    open_after = DatePickerIsDroppedDown(h.picker);
  });
  h.run();
  EXPECT_EQ(Describe(codes), "DTN_DROPDOWN DTN_CLOSEUP ");
  EXPECT_FALSE(open_after);
}

TEST(DateTimePicker, ClosingWithoutAPickOnlyClosesUp) {
  struct Case {
    const char* name;
    std::function<void(Harness&)> close;
  };
  const Case cases[] = {
      {"tap on the parent outside the calendar",
       [](Harness& h) {
         h.tap({200 * h.k, 290 * h.k});
       }},
      {"tap on the picker itself",
       [](Harness& h) {
         h.tap({30 * h.k, Centre(h.screen_rect(h.picker)).y});
       }},
      {"Escape", [](Harness& h) { h.key(VK_ESCAPE); }},
      {"F4 again", [](Harness& h) { h.key(kF4); }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    SYSTEMTIME before = h.value();
    std::vector<UINT> codes;
    bool open_after = true;
    h.then([&](auto&) { h.tap_picker(); });
    h.then([&](auto&) {
      ASSERT_TRUE(DatePickerIsDroppedDown(h.picker));
      c.close(h);
    });
    h.then([&](auto&) {
      codes = g_codes;
      open_after = DatePickerIsDroppedDown(h.picker);
    });
    h.run();
    EXPECT_EQ(Describe(codes), "DTN_DROPDOWN DTN_CLOSEUP ");
    EXPECT_FALSE(open_after);
    EXPECT_EQ(Show(h.final_value), Show(before));
  }
}

TEST(DateTimePicker, UpAndDownOnTheClosedPickerStepADay) {
  struct Case {
    const char* name;
    SYSTEMTIME start;
    WORD key;
    SYSTEMTIME expected;
  };
  const Case cases[] = {
      {"up is the next day", Date(2026, 12, 6, 10, 30), VK_UP, WithWeekday(Date(2026, 12, 7, 10, 30), 1)},
      {"down is the day before", Date(2026, 12, 6, 10, 30), VK_DOWN, WithWeekday(Date(2026, 12, 5, 10, 30), 6)},
      {"up across the new year", Date(2026, 12, 31, 23, 59, 59, 999), VK_UP,
       WithWeekday(Date(2027, 1, 1, 23, 59, 59, 999), 5)},
      {"down into a leap day", Date(2024, 3, 1, 7), VK_DOWN, WithWeekday(Date(2024, 2, 29, 7), 4)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    ASSERT_TRUE(h.set(c.start));
    std::vector<UINT> codes;
    h.then([&](auto&) {
      SetFocus(h.picker);
      h.key(c.key);
    });
    h.then([&](auto&) { codes = g_codes; });
    h.run();
    EXPECT_EQ(Describe(codes), "DTN_DATETIMECHANGE ");
    ASSERT_EQ(g_changes.size(), 1u);
    EXPECT_EQ(Show(g_changes[0]), Show(c.expected));
    EXPECT_EQ(Show(h.final_value), Show(c.expected));
  }
}

TEST(DateTimePicker, KeysInTheOpenCalendarMoveTheHighlightAndEnterPicks) {
  Harness h;
  std::vector<UINT> codes;
  std::optional<std::pair<int, int>> month_after_up;
  h.then([&](auto&) {
    SetFocus(h.picker);
    h.key(kF4);
  });
  h.then([&](auto&) {
    EXPECT_EQ(g_monthcal_during_dropdown, SendMessageW(h.picker, DTM_GETMONTHCAL, 0, 0));
    h.key(VK_UP);  // Nov 29: the calendar follows into November
  });
  h.then([&](auto&) {
    month_after_up = DatePickerShownMonth(h.picker);
    h.key(VK_DOWN);   // Dec 6
    h.key(VK_DOWN);   // Dec 13
    h.key(VK_RIGHT);  // Dec 14
    h.key(VK_LEFT);   // Dec 13
    h.key(VK_RIGHT);  // Dec 14
    h.key(VK_RETURN);
  });
  h.then([&](auto&) { codes = g_codes; });
  h.run();
  EXPECT_NE(g_monthcal_during_dropdown, 0);
  EXPECT_EQ(month_after_up, std::make_pair(2026, 11));
  EXPECT_EQ(Describe(codes), "DTN_DROPDOWN DTN_DATETIMECHANGE DTN_CLOSEUP ");
  ASSERT_EQ(g_changes.size(), 1u);
  EXPECT_EQ(Show(g_changes[0]), Show(WithWeekday(Date(2026, 12, 14, 10, 30), 1)));
}

TEST(DateTimePicker, SettingTheValueByMessageSendsNothing) {
  Harness h;
  std::vector<UINT> codes{1};
  h.then([&](auto&) {
    SetFocus(h.picker);
    EXPECT_TRUE(h.set(WithWeekday(Date(2027, 3, 14, 8, 5), 3)));  // a wrong weekday is corrected
  });
  h.then([&](auto&) { codes = g_codes; });
  h.run();
  EXPECT_TRUE(codes.empty()) << Describe(codes);
  EXPECT_EQ(Show(h.final_value), Show(WithWeekday(Date(2027, 3, 14, 8, 5), 0)));
}

TEST(DateTimePicker, InvalidValuesAreRefusedAndTheValueStays) {
  Harness h;
  const SYSTEMTIME kept = WithWeekday(Date(2026, 7, 4, 12), 6);
  ASSERT_TRUE(h.set(kept));
  struct Case {
    const char* name;
    WPARAM flag;
    std::optional<SYSTEMTIME> value;
  };
  const Case cases[] = {
      {"February 30", GDT_VALID, Date(2026, 2, 30)}, {"month 13", GDT_VALID, Date(2026, 13, 1)},
      {"hour 24", GDT_VALID, Date(2026, 5, 1, 24)},  {"before 1601", GDT_VALID, Date(1600, 12, 31)},
      {"no record", GDT_VALID, std::nullopt},        {"none without DTS_SHOWNONE", GDT_NONE, Date(2026, 5, 1)},
      {"an unknown flag", 7, Date(2026, 5, 1)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    LPARAM lp = c.value ? reinterpret_cast<LPARAM>(&*c.value) : 0;
    EXPECT_EQ(SendMessageW(h.picker, DTM_SETSYSTEMTIME, c.flag, lp), FALSE);
    EXPECT_EQ(Show(h.value()), Show(kept));
  }
  EXPECT_EQ(SendMessageW(h.picker, DTM_GETSYSTEMTIME, 0, 0), GDT_ERROR);
}

TEST(DateTimePicker, NoneIsAValueOnlyWithShowNone) {
  Harness h(240, 320, {10, 28}, DTS_SHOWNONE);
  EXPECT_EQ(SendMessageW(h.picker, DTM_SETSYSTEMTIME, GDT_NONE, 0), TRUE);
  SYSTEMTIME st{};
  EXPECT_EQ(SendMessageW(h.picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)), GDT_NONE);
  EXPECT_TRUE(h.set(Date(2026, 1, 2)));
  EXPECT_EQ(SendMessageW(h.picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)), GDT_VALID);
}

TEST(DateTimePicker, StartsAtTheCurrentLocalTime) {
  Harness h;
  EXPECT_EQ(Show(h.value()).substr(0, 16), "2026-12-06 10:30");
}

TEST(DateTimePicker, APickKeepsTheTimeOfDay) {
  Harness h;
  ASSERT_TRUE(h.set(Date(2026, 12, 6, 13, 45, 30, 250)));
  h.then([&](auto&) { h.tap_picker(); });
  h.then([&](auto&) { h.tap_day(20); });
  h.run();
  EXPECT_EQ(Show(h.final_value), Show(WithWeekday(Date(2026, 12, 20, 13, 45, 30, 250), 0)));
}

TEST(DateTimePicker, AGreyedDayOfTheNextMonthIsPicked) {
  Harness h;
  h.then([&](auto&) { h.tap_picker(); });
  h.then([&](auto&) {
    auto dec31 = DatePickerDayOnScreen(h.picker, 31);  // a Thursday: 1 January sits right of it
    ASSERT_TRUE(dec31.has_value());
    POINT p = Centre(*dec31);
    p.x += dec31->right - dec31->left;
    h.tap(p);
  });
  h.run();
  EXPECT_EQ(Describe(g_codes), "DTN_DROPDOWN DTN_DATETIMECHANGE DTN_CLOSEUP ");
  EXPECT_EQ(Show(h.final_value), Show(WithWeekday(Date(2027, 1, 1, 10, 30), 5)));
}

TEST(DateTimePicker, TheTodayFooterPicksToday) {
  Harness h;
  ASSERT_TRUE(h.set(Date(2026, 11, 2, 8)));
  h.then([&](auto&) { h.tap_picker(); });
  h.then([&](auto&) {
    RECT popup = h.screen_rect(reinterpret_cast<HWND>(SendMessageW(h.picker, DTM_GETMONTHCAL, 0, 0)));
    h.tap({popup.left + 60 * h.k, popup.bottom - 9 * h.k});
  });
  h.run();
  EXPECT_EQ(Describe(g_codes), "DTN_DROPDOWN DTN_DATETIMECHANGE DTN_CLOSEUP ");
  EXPECT_EQ(Show(h.final_value), Show(WithWeekday(Date(2026, 12, 6, 8), 0)));
}

TEST(DateTimePicker, PreviousAndNextCrossTheYearWithoutClosing) {
  struct Case {
    const char* name;
    SYSTEMTIME start;
    std::vector<bool> next_taps;  // false = previous
    std::pair<int, int> expected;
  };
  const Case cases[] = {
      {"January back to December", Date(2027, 1, 10), {false}, {2026, 12}},
      {"December on to January", Date(2026, 12, 6), {true}, {2027, 1}},
      {"back twice and on once", Date(2027, 1, 10), {false, false, true}, {2026, 12}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    ASSERT_TRUE(h.set(c.start));
    std::optional<std::pair<int, int>> shown;
    std::vector<UINT> codes;
    h.then([&](auto&) { h.tap_picker(); });
    for (bool next : c.next_taps)
      h.then([&h, next](auto&) {
        auto button = next ? DatePickerNextMonthOnScreen(h.picker) : DatePickerPrevMonthOnScreen(h.picker);
        ASSERT_TRUE(button.has_value());
        h.tap(Centre(*button));
      });
    h.then([&](auto&) {
      shown = DatePickerShownMonth(h.picker);
      codes = g_codes;
    });
    h.run();
    EXPECT_EQ(shown, c.expected);
    EXPECT_EQ(Describe(codes), "DTN_DROPDOWN ");
  }
}

TEST(DateTimePicker, LosingTheFocusOrTheWindowClosesUp) {
  struct Case {
    const char* name;
    std::function<void(Harness&)> act;
    const char* expected;
  };
  const Case cases[] = {
      {"focus moves to the parent", [](Harness& h) { SetFocus(h.parent); }, "DTN_DROPDOWN DTN_CLOSEUP "},
      {"the picker is destroyed", [](Harness& h) { DestroyWindow(h.picker); }, "DTN_DROPDOWN DTN_CLOSEUP "},
      {"the parent is destroyed", [](Harness& h) { DestroyWindow(h.parent); }, "DTN_DROPDOWN "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h;
    HWND popup = nullptr;
    std::vector<UINT> codes;
    h.then([&](auto&) { h.tap_picker(); });
    h.then([&](auto&) {
      popup = reinterpret_cast<HWND>(SendMessageW(h.picker, DTM_GETMONTHCAL, 0, 0));
      ASSERT_TRUE(IsWindow(popup));
      c.act(h);
      codes = g_codes;
      EXPECT_FALSE(IsWindow(popup));
    });
    h.run();
    EXPECT_EQ(Describe(codes), c.expected);
  }
}

// ------------------------------------------------------------------ place and look

TEST(DateTimePicker, TheCalendarDropsBelowOrAboveAndStaysOnTheScreen) {
  struct Case {
    const char* name;
    POINT at;  // in the parent's client area
    bool above;
  };
  const Case cases[] = {
      {"room below", {10, 28}, false},
      {"no room below", {10, 250}, true},
      {"near the right edge", {150, 28}, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Harness h(240, 320, c.at);
    RECT popup{}, field{};
    EXPECT_EQ(SendMessageW(h.picker, DTM_GETMONTHCAL, 0, 0), 0);
    h.then([&](auto&) { h.tap_picker(); });
    h.then([&](auto&) {
      popup = h.screen_rect(reinterpret_cast<HWND>(SendMessageW(h.picker, DTM_GETMONTHCAL, 0, 0)));
      field = h.screen_rect(h.picker);
    });
    h.run();
    if (c.above)
      EXPECT_EQ(popup.bottom, field.top);
    else
      EXPECT_EQ(popup.top, field.bottom);
    EXPECT_GE(popup.left, 0);
    EXPECT_LE(popup.right, 240);
    EXPECT_LE(popup.bottom, 320);
    EXPECT_EQ(popup.left, std::min<LONG>(field.left, 240 - (popup.right - popup.left)));
    EXPECT_GE(popup.right - popup.left, 140);
    EXPECT_LE(popup.right - popup.left, 160);
    EXPECT_GE(popup.bottom - popup.top, 135);
    EXPECT_LE(popup.bottom - popup.top, 160);
  }
}

class DateTimePickerLook : public ::testing::TestWithParam<int> {};

TEST_P(DateTimePickerLook, TheOpenCalendarIsDrawn) {
  const int k = GetParam();
  Harness h(240 * k, 320 * k);
  ASSERT_TRUE(h.set(Date(2026, 12, 15, 10, 30)));
  std::uint32_t highlighted = 0, today_edge = 0, plain = 0, button_face = 0, frame_below = 0, button_outside = 0;
  RECT popup{}, field{};
  h.then([&](auto&) { h.tap_picker(); });
  h.then([&](auto& s) {
    auto day15 = DatePickerDayOnScreen(h.picker, 15);
    auto day6 = DatePickerDayOnScreen(h.picker, 6);
    auto day7 = DatePickerDayOnScreen(h.picker, 7);
    auto prev = DatePickerPrevMonthOnScreen(h.picker);
    ASSERT_TRUE(day15 && day6 && day7 && prev);
    highlighted = s.screen().pixel(day15->left + 2 * k, day15->top + 2 * k);
    today_edge = s.screen().pixel(day6->left, day6->top + 2 * k);
    plain = s.screen().pixel(day7->left + 2 * k, day7->top + 2 * k);
    button_face = s.screen().pixel(prev->left + 2 * k, prev->top + 2 * k);
    popup = h.screen_rect(reinterpret_cast<HWND>(SendMessageW(h.picker, DTM_GETMONTHCAL, 0, 0)));
    field = h.screen_rect(h.picker);
    frame_below = s.screen().pixel(popup.left + 20 * k, popup.bottom - 1);
    button_outside = s.screen().pixel(field.right - 2 - 2 * k, field.top + 3 * k);
    std::string error;
    EXPECT_TRUE(s.screen().write_png("/tmp/dtp-" + std::to_string(240 * k) + ".png", &error)) << error;
  });
  h.run();
  EXPECT_EQ(highlighted, Rgb(GetSysColor(COLOR_HIGHLIGHT)));
  EXPECT_EQ(today_edge, 0xE00000u);
  EXPECT_EQ(plain, Rgb(GetSysColor(COLOR_WINDOW)));
  EXPECT_EQ(button_face, Rgb(GetSysColor(COLOR_BTNFACE)));
  EXPECT_EQ(frame_below, 0u);
  EXPECT_EQ(button_outside, Rgb(GetSysColor(COLOR_BTNFACE)));
  EXPECT_EQ(popup.top, field.bottom);
  EXPECT_EQ(popup.right - popup.left, 150 * k + 2);  // the frame stays one pixel
}

INSTANTIATE_TEST_SUITE_P(BothScreens, DateTimePickerLook, ::testing::Values(1, 2));

TEST(DateTimePicker, ShowsTheShortDateOfTheLocale) {
  const SYSTEMTIME dates[] = {Date(2026, 12, 6), Date(2027, 1, 31, 23), Date(1999, 10, 9)};
  for (const auto& date : dates) {
    SCOPED_TRACE(Show(date));
    Harness h;
    ASSERT_TRUE(h.set(date));
    WCHAR expected[64] = {}, shown[64] = {};
    ASSERT_GT(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &date, nullptr, expected, 64), 0);
    EXPECT_EQ(SendMessageW(h.picker, WM_GETTEXT, 64, reinterpret_cast<LPARAM>(shown)),
              static_cast<LRESULT>(std::u16string(expected).size()));
    EXPECT_EQ(std::u16string(shown), std::u16string(expected));

    // The text is drawn where it should be: ink over its measured width, none after it.
    platform::FontSpec font = platform::GdiObjects::of(h.session()).font_spec(platform::GdiObjects::of(h.session()).system_font());
    int width = platform::MeasureText(font, expected).width;
    int ink_inside = 0, ink_after = 0;
    h.then([&](auto& s) {
      RECT field = h.screen_rect(h.picker);
      int left = field.left + 1 + 3 * h.k;
      for (int y = field.top + 1; y < field.bottom - 1; ++y) {
        for (int x = left; x < left + width; ++x) ink_inside += s.screen().pixel(x, y) != 0xFFFFFFu;
        for (int x = left + width + 2; x < field.right - 1 - 18 * h.k; ++x)
          ink_after += s.screen().pixel(x, y) != 0xFFFFFFu;
      }
    });
    h.run();
    EXPECT_GT(ink_inside, 10);
    EXPECT_EQ(ink_after, 0);
  }
}

}  // namespace
