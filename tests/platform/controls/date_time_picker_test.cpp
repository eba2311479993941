// The date-time picker as a program and a person use it: the parent's
// WM_NOTIFY sequences for taps and keys with the value they leave, the value
// messages, the drop-down's place on the screen and its look at both sizes.
#include <commctrl.h>
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/controls/control_probes.h"
#include "platform/core/screen.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/text.h"
#include "platform/hosts/input.h"
#include "support/message_log.h"

namespace {

using namespace testing_support;
using platform::controls::DatePickerDayOnScreen;
using platform::controls::DatePickerNextMonthOnScreen;
using platform::controls::DatePickerPrevMonthOnScreen;
using platform::controls::DatePickerShownMonth;

constexpr WORD kF4 = VK_F1 + 3;

SYSTEMTIME Wd(SYSTEMTIME st, int weekday) { st.wDayOfWeek = static_cast<WORD>(weekday); return st; }

// Date, time, milliseconds and weekday, so that a mismatch reads plainly.
std::string Show(const SYSTEMTIME& st) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04d-%02d-%02d %02d:%02d:%02d.%03d wd%d", st.wYear, st.wMonth, st.wDay, st.wHour,
                st.wMinute, st.wSecond, st.wMilliseconds, st.wDayOfWeek);
  return buf;
}

// The picker shows the locale's short date of `st`.
void ExpectShortDate(HWND picker, const SYSTEMTIME& st) {
  WCHAR expected[64] = {}, shown[64] = {};
  ASSERT_GT(GetDateFormatW(LOCALE_USER_DEFAULT, DATE_SHORTDATE, &st, nullptr, expected, 64), 0);
  EXPECT_EQ(GetWindowTextW(picker, shown, 64), static_cast<int>(std::u16string(expected).size()));
  EXPECT_EQ(std::u16string(shown), std::u16string(expected));
}

// The rig's parent, on a screen whose clock says Sunday 6 December 2026,
// 10:30, with a picker at `at` 100x20 (times the scale). The parent hears
// WM_NOTIFY only; the changes it is told of are kept in `changes`.
struct PickerRig : ControlRig {
  explicit PickerRig(int scale = 1, POINT at = {10, 28}) : ControlRig([scale] {
        PlatformOptions o = ScreenOf(scale);
        o.now = Time(2026, 12, 6, 10, 30);
        return o;
      }()) {
    log.keep_only({WM_NOTIFY});
    picker = create(DATETIMEPICK_CLASSW, WS_BORDER, at.x, at.y, 100, 20);
    log.entries.clear();
    log.reply = [this](HWND, UINT msg, WPARAM wp, LPARAM lp) -> std::optional<LRESULT> {
      const auto* nm = reinterpret_cast<const NMDATETIMECHANGE*>(lp);
      if (msg != WM_NOTIFY) return std::nullopt;
      EXPECT_EQ(wp, static_cast<WPARAM>(kControlId));
      EXPECT_EQ(nm->nmhdr.idFrom, static_cast<UINT_PTR>(kControlId));
      if (nm->nmhdr.code == static_cast<UINT>(DTN_DROPDOWN)) popup = monthcal();  // already there to be told of
      if (nm->nmhdr.code == static_cast<UINT>(DTN_DATETIMECHANGE)) {
        EXPECT_EQ(nm->dwFlags, static_cast<DWORD>(GDT_VALID));
        changes.push_back(nm->st);
      }
      return std::nullopt;
    };
  }

  SYSTEMTIME value() {
    SYSTEMTIME st{};
    EXPECT_EQ(SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st)), GDT_VALID);
    return st;
  }
  bool set(const SYSTEMTIME& st) { return SendMessageW(picker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st)); }
  HWND monthcal() { return reinterpret_cast<HWND>(SendMessageW(picker, DTM_GETMONTHCAL, 0, 0)); }
  void tap(POINT p) { platform::PostTap(session(), p.x, p.y); }
  void tap(const std::optional<RECT>& r) {
    ASSERT_TRUE(r.has_value());
    tap(Centre(*r));
  }
  void key(WORD vk) {
    platform::PostKey(session(), vk, true);
    platform::PostKey(session(), vk, false);
  }

  HWND picker = nullptr;
  HWND popup = nullptr;  // the drop-down as DTN_DROPDOWN found it
  std::vector<SYSTEMTIME> changes;
};

using Step = std::function<void(PickerRig&)>;
const Step kOpen = [](PickerRig& r) { r.tap(Centre(WindowRect(r.picker))); };
Step Day(int day) {
  return [day](PickerRig& r) { r.tap(DatePickerDayOnScreen(r.picker, day)); };
}
Step Keys(std::vector<WORD> keys, bool focus = false) {
  return [keys, focus](PickerRig& r) {
    if (focus) SetFocus(r.picker);
    for (WORD k : keys) r.key(k);
  };
}
Step Month(bool next) {
  return [next](PickerRig& r) {
    r.tap(next ? DatePickerNextMonthOnScreen(r.picker) : DatePickerPrevMonthOnScreen(r.picker));
  };
}

const Message kDropDown{WM_NOTIFY, parent, static_cast<UINT>(DTN_DROPDOWN)};
const Message kChange{WM_NOTIFY, parent, static_cast<UINT>(DTN_DATETIMECHANGE)};
const Message kCloseUp{WM_NOTIFY, parent, static_cast<UINT>(DTN_CLOSEUP)};

TEST(DateTimePicker, TapsAndKeysNotifyTheParentAndLeaveTheValue) {
  const SYSTEMTIME kStart = Wd(Time(2026, 12, 6, 9, 15, 42, 500), 0);
  struct Case {
    const char* name;
    SYSTEMTIME start;
    std::vector<Step> steps;  // one per idle moment
    std::vector<Message> expected;
    std::optional<SYSTEMTIME> value;           // none: the picker is gone
    std::optional<std::pair<int, int>> shown = std::nullopt;  // the month the still open drop-down shows
  } cases[] = {
      {"a tap on another day picks it and keeps the time", kStart, {kOpen, Day(15)},
       {kDropDown, kChange, kCloseUp}, Wd(Time(2026, 12, 15, 9, 15, 42, 500), 2)},
      {"the day already set only closes up", kStart, {kOpen, Day(6)}, {kDropDown, kCloseUp}, kStart},
      {"a greyed day of the next month, right of Thursday 31st", kStart,
       {kOpen,
        [](PickerRig& r) {
          std::optional<RECT> dec31 = DatePickerDayOnScreen(r.picker, 31);
          ASSERT_TRUE(dec31.has_value());
          r.tap(POINT{Centre(*dec31).x + dec31->right - dec31->left, Centre(*dec31).y});
        }},
       {kDropDown, kChange, kCloseUp}, Wd(Time(2027, 1, 1, 9, 15, 42, 500), 5)},
      {"the today footer picks today", Time(2026, 11, 2, 8),
       {kOpen,
        [](PickerRig& r) {
          RECT popup = WindowRect(r.monthcal());
          r.tap(POINT{popup.left + 60 * r.k(), popup.bottom - 9 * r.k()});
        }},
       {kDropDown, kChange, kCloseUp}, Wd(Time(2026, 12, 6, 8), 0)},
      {"keys move the highlight across the month, enter picks", kStart,
       {Keys({kF4}, true), Keys({VK_UP}),
        [](PickerRig& r) {
          EXPECT_EQ(DatePickerShownMonth(r.picker), std::make_pair(2026, 11)) << "up went to 29 November";
          for (WORD k : {VK_DOWN, VK_DOWN, VK_RIGHT, VK_LEFT, VK_RIGHT, VK_RETURN}) r.key(k);
        }},
       {kDropDown, kChange, kCloseUp}, Wd(Time(2026, 12, 14, 9, 15, 42, 500), 1)},
      {"a tap on the parent outside the calendar", kStart,
       {kOpen, [](PickerRig& r) { r.tap(POINT{200, 290}); }}, {kDropDown, kCloseUp}, kStart},
      {"a tap on the picker itself", kStart,
       {kOpen, [](PickerRig& r) { r.tap(POINT{30, Centre(WindowRect(r.picker)).y}); }}, {kDropDown, kCloseUp}, kStart},
      {"escape", kStart, {kOpen, Keys({VK_ESCAPE})}, {kDropDown, kCloseUp}, kStart},
      {"F4 again", kStart, {kOpen, Keys({kF4})}, {kDropDown, kCloseUp}, kStart},
      {"a press sent to the picker while open", kStart,
       {kOpen, [](PickerRig& r) { SendMessageW(r.picker, WM_LBUTTONDOWN, MK_LBUTTON, 0); }}, {kDropDown, kCloseUp}, kStart},
      {"the focus moves to the parent", kStart, {kOpen, [](PickerRig& r) { SetFocus(r.parent); }},
       {kDropDown, kCloseUp}, kStart},
      {"the picker destroyed while open", kStart, {kOpen, [](PickerRig& r) { DestroyWindow(r.picker); }},
       {kDropDown, kCloseUp}, std::nullopt},
      {"the parent destroyed while open", kStart, {kOpen, [](PickerRig& r) { DestroyWindow(r.parent); }},
       {kDropDown}, std::nullopt},
      {"December on to January", kStart, {kOpen, Month(true)}, {kDropDown}, kStart, std::pair{2027, 1}},
      {"back twice across the new year and on once", Time(2027, 1, 10), {kOpen, Month(false), Month(false), Month(true)}, {kDropDown},
       Wd(Time(2027, 1, 10), 0), std::pair{2026, 12}},
      {"on to the last month there is", Time(30827, 11, 2), {kOpen, Month(true)}, {kDropDown}, Wd(Time(30827, 11, 2), 2),
       std::pair{30827, 12}},
      {"and no further", Time(30827, 12, 2), {kOpen, Month(true)}, {kDropDown}, Wd(Time(30827, 12, 2), 4),
       std::pair{30827, 12}},
      {"up on the closed picker is the next day", kStart, {Keys({VK_UP}, true)}, {kChange},
       Wd(Time(2026, 12, 7, 9, 15, 42, 500), 1)},
      {"down is the day before", kStart, {Keys({VK_DOWN}, true)}, {kChange}, Wd(Time(2026, 12, 5, 9, 15, 42, 500), 6)},
      {"a value set by message is not notified; its weekday is put right", Wd(Time(2027, 3, 14, 8, 5), 3),
       {Keys({}, true)}, {}, Wd(Time(2027, 3, 14, 8, 5), 0)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PickerRig rig;
    ASSERT_TRUE(rig.set(c.start));
    EXPECT_EQ(rig.monthcal(), nullptr);
    for (const Step& step : c.steps) rig.then([&rig, &step](auto&) { step(rig); });
    rig.then([&](auto&) {
      ExpectSequence(rig.log, c.expected, c.name);
      EXPECT_EQ(IsWindow(rig.popup) != FALSE, c.shown.has_value()) << "the drop-down is open";
      EXPECT_EQ(DatePickerShownMonth(rig.picker), c.shown);
      EXPECT_TRUE(c.expected.empty() || c.expected[0].code != kDropDown.code || rig.popup) << "told too early";
      EXPECT_EQ(IsWindow(rig.picker) != FALSE, c.value.has_value());
      if (!c.value) return;
      EXPECT_EQ(Show(rig.value()), Show(*c.value));
      ExpectShortDate(rig.picker, *c.value);
      EXPECT_EQ(Show(rig.changes.empty() ? *c.value : rig.changes.back()), Show(*c.value)) << "the value told";
    });
    rig.run();
  }
}

TEST(DateTimePicker, ValueMessagesRefuseWhatIsNotADate) {
  PickerRig rig;
  EXPECT_EQ(Show(rig.value()).substr(0, 16), "2026-12-06 10:30") << "it starts at the local time";
  const SYSTEMTIME kept = Wd(Time(2026, 7, 4, 12), 6);
  ASSERT_TRUE(rig.set(kept));
  // Which dates exist is the kernel's to say (SystemTime.InvalidTimesAreRefusedByBothConversions).
  struct Case { const char* name; WPARAM flag; std::optional<SYSTEMTIME> value; } cases[] = {
      {"February 30", GDT_VALID, Time(2026, 2, 30)}, {"no record", GDT_VALID, std::nullopt},
      {"none", GDT_NONE, Time(2026, 5, 1)},          {"an unknown flag", 7, Time(2026, 5, 1)},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SendMessageW(rig.picker, DTM_SETSYSTEMTIME, c.flag, c.value ? reinterpret_cast<LPARAM>(&*c.value) : 0),
              FALSE);
    EXPECT_EQ(Show(rig.value()), Show(kept));
  }
  EXPECT_EQ(SendMessageW(rig.picker, DTM_GETSYSTEMTIME, 0, 0), GDT_ERROR);
  EXPECT_TRUE(rig.log.entries.empty());
}

// ------------------------------------------------------------------ place and look

TEST(DateTimePicker, TheCalendarDropsBelowOrAboveOnTheScreenAndIsDrawn) {
  struct Case {
    const char* name;
    int scale;
    POINT at;  // in the parent's client area
    bool above;
  } cases[] = {
      {"room below", 1, {10, 28}, false},
      {"room below, larger screen", 2, {10, 28}, false},
      {"no room below", 1, {10, 250}, true},
      {"near the right edge", 1, {130, 28}, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    PickerRig rig(c.scale, c.at);
    const int k = c.scale;
    ASSERT_TRUE(rig.set(Time(2026, 12, 15, 10, 30)));
    rig.then([&](auto&) { kOpen(rig); });
    rig.then([&](platform::Session& s) {
      RECT popup = WindowRect(rig.monthcal()), field = WindowRect(rig.picker);
      EXPECT_EQ(c.above ? popup.bottom : popup.top, c.above ? field.top : field.bottom);
      EXPECT_EQ(popup.right - popup.left, 150 * k + 2) << "the frame stays one pixel";
      EXPECT_EQ(popup.left, std::min<LONG>(field.left, 240 * k - (popup.right - popup.left)));
      EXPECT_TRUE(popup.left >= 0 && popup.top >= 0 && popup.right <= 240 * k && popup.bottom <= 320 * k);
      EXPECT_GE(popup.bottom - popup.top, 135 * k);
      EXPECT_LE(popup.bottom - popup.top, 160 * k);
      auto day15 = DatePickerDayOnScreen(rig.picker, 15), day6 = DatePickerDayOnScreen(rig.picker, 6),
           day7 = DatePickerDayOnScreen(rig.picker, 7), prev = DatePickerPrevMonthOnScreen(rig.picker);
      ASSERT_TRUE(day15 && day6 && day7 && prev);
      auto pixel = [&](int x, int y) { return ScreenPixel(s, x, y); };
      EXPECT_EQ(pixel(day15->left + 2 * k, day15->top + 2 * k), GetSysColor(COLOR_HIGHLIGHT)) << "the value";
      EXPECT_EQ(pixel(day6->left, day6->top + 2 * k), RGB(0xE0, 0, 0)) << "today's red edge";
      EXPECT_EQ(pixel(day7->left + 2 * k, day7->top + 2 * k), GetSysColor(COLOR_WINDOW));
      EXPECT_EQ(pixel(prev->left + 2 * k, prev->top + 2 * k), GetSysColor(COLOR_BTNFACE));
      EXPECT_EQ(pixel(popup.left + 20 * k, popup.bottom - 1), RGB(0, 0, 0)) << "the frame";
      EXPECT_EQ(pixel(field.right - 2 - 2 * k, field.top + 3 * k), GetSysColor(COLOR_BTNFACE)) << "the field's button";
      // The short date: ink over the text's measured width, none after it up to the button.
      auto& gdi = platform::GdiObjects::of(s);
      int width = k * platform::MeasureText(gdi.font_spec(gdi.system_font()), WindowText(rig.picker)).width;
      int ink_inside = 0, ink_after = 0, left = field.left + 1 + 3 * k;
      for (int y = field.top + 1; y < field.bottom - 1; ++y) {
        for (int x = left; x < left + width; ++x) ink_inside += s.screen().pixel(x, y) != 0xFFFFFFu;
        for (int x = left + width + 2; x < field.right - 1 - 18 * k; ++x) ink_after += s.screen().pixel(x, y) != 0xFFFFFFu;
      }
      EXPECT_GT(ink_inside, 10);
      EXPECT_EQ(ink_after, 0);
    });
    rig.run();
  }
}

}  // namespace
