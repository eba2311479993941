// The drop-down list box: the parent's WM_COMMAND notifications for taps and
// keys (recorded and compared with a table, as Wine's combo tests do), the
// entry messages, the window text, the field and list geometry, scrolling a
// long list, and how the open list looks.
#include <algorithm>
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <commctrl.h>
#include <windows.h>

#include "platform/controls/control_probes.h"
#include "platform/core/screen.h"
#include "platform/gdi/text.h"
#include "platform/hosts/input.h"
#include "support/message_log.h"

namespace {

using platform::Session;
using platform::controls::ComboBoxEntryOnScreen;
using platform::controls::ComboBoxIsDroppedDown;
using namespace testing_support;

HWND OpenList() { return FindWindowW(u"ComboLBox", nullptr); }

// The rig's parent with one combo box on it; only WM_COMMAND and
// CB_SHOWDROPDOWN are logged. Places are in 240x320 pixels times the scale.
struct Rig : ControlRig {
  explicit Rig(int scale = 1) : ControlRig(ScreenOf(scale)) { log.keep_only({WM_COMMAND, CB_SHOWDROPDOWN}); }
  HWND combo(std::vector<std::u16string> entries, int x = 66, int y = 40, int w = 170, int h = 80, DWORD style = 0) {
    HWND combo = create(u"COMBOBOX", CBS_DROPDOWNLIST | style, x, y, w, h);
    for (const auto& e : entries) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.c_str()));
    log.entries.clear();
    return combo;
  }
};

std::vector<std::u16string> Entries(HWND combo) {
  std::vector<std::u16string> out(static_cast<size_t>(SendMessageW(combo, CB_GETCOUNT, 0, 0)), std::u16string(64, 0));
  for (size_t i = 0; i < out.size(); ++i)
    out[i].resize(static_cast<size_t>(SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(out[i].data()))));
  return out;
}
std::u16string Text(HWND combo) {
  WCHAR buf[64] = u"junk";
  GetWindowTextW(combo, buf, 64);
  return buf;
}
int Selection(HWND combo) { return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

std::vector<std::u16string> Numbered(int n) {
  std::vector<std::u16string> out;
  for (int i = 0; i < n; ++i) out.push_back(u"Customer " + platform::FromUtf8(std::to_string(10 + i)));
  return out;
}

// ---- taps and keys as a person gives them

using Step = std::function<void(Session&, HWND combo)>;
const Step kTapField = [](Session& s, HWND combo) { TapCentre(s, WindowRect(combo)); };
const Step kFocus = [](Session&, HWND combo) { SetFocus(combo); };
Step TapEntry(int index) {
  return [index](Session& s, HWND combo) {
    auto r = ComboBoxEntryOnScreen(combo, index);
    ASSERT_TRUE(r.has_value()) << "entry " << index;
    TapCentre(s, *r);
  };
}
const Step kF4 = [](Session& s, HWND) {
  platform::PostKey(s, VK_F1 + 3, true);
  platform::PostKey(s, VK_F1 + 3, false);
};
Step Keys(const char* keys) {
  return [keys](Session& s, HWND) { EXPECT_TRUE(platform::PostKeys(s, keys)); };
}

TEST(ComboBox, NotifiesTheParentInTheRealControlsOrder) {
  struct Case {
    const char* name;
    int initial;
    std::vector<Step> steps;
    std::vector<WORD> expected;
    int final_selection;
  } cases[] = {
      {"open and choose a different entry", 1, {kTapField, TapEntry(3)}, {CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELCHANGE}, 3},
      {"choose the entry already selected", 1, {kTapField, TapEntry(1)}, {CBN_DROPDOWN, CBN_CLOSEUP}, 1},
      {"choose the empty entry", 2, {kTapField, TapEntry(0)}, {CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELCHANGE}, 0},
      {"tap outside closes without a change", 1,
       {kTapField, [](Session& s, HWND) { platform::PostTap(s, 10, 250); }}, {CBN_DROPDOWN, CBN_CLOSEUP}, 1},
      {"tap on the field again closes", 1, {kTapField, kTapField}, {CBN_DROPDOWN, CBN_CLOSEUP}, 1},
      {"losing the focus closes", 1, {kTapField, [](Session&, HWND c) { SetFocus(GetParent(c)); }},
       {CBN_DROPDOWN, CBN_CLOSEUP}, 1},
      {"escape closes without a change", 1, {kTapField, Keys("down"), Keys("escape")}, {CBN_DROPDOWN, CBN_CLOSEUP}, 1},
      {"down and enter in the open list", 1, {kTapField, Keys("down"), Keys("down"), Keys("enter")},
       {CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELCHANGE}, 3},
      {"F4 opens, escape closes", 1, {kFocus, kF4, Keys("escape")}, {CBN_DROPDOWN, CBN_CLOSEUP}, 1},
      {"down on the closed box", 1, {kFocus, Keys("down")}, {CBN_SELCHANGE}, 2},
      {"up on the closed box", 1, {kFocus, Keys("up")}, {CBN_SELCHANGE}, 0},
      {"down at the last entry changes nothing", 3, {kFocus, Keys("down")}, {}, 3},
      {"up at the first entry changes nothing", 0, {kFocus, Keys("up")}, {}, 0},
      {"down without a selection selects the first", -1, {kFocus, Keys("down")}, {CBN_SELCHANGE}, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    HWND combo = rig.combo({u"", u"North Ltd", u"South plc", u"Westwind"});
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(c.initial), 0);
    rig.log.entries.clear();
    for (const auto& step : c.steps) rig.then([&step, combo](Session& s) { step(s, combo); });
    rig.then([&](Session&) {
      ExpectSequence(rig.log, Commands(c.expected), c.name);
      EXPECT_EQ(Selection(combo), c.final_selection);
      EXPECT_FALSE(ComboBoxIsDroppedDown(combo));
      EXPECT_EQ(OpenList(), nullptr);
    });
    rig.run();
  }
}

TEST(ComboBox, ShowDropDownByProgramAndDestroyingTheOpenCombo) {
  Rig rig;
  HWND combo = rig.combo({u"North Ltd"});
  for (BOOL show : {TRUE, TRUE, FALSE, TRUE}) {
    SendMessageW(combo, CB_SHOWDROPDOWN, show, 0);
    EXPECT_EQ(ComboBoxIsDroppedDown(combo), show != FALSE);
    EXPECT_EQ(OpenList() != nullptr, show != FALSE);
  }
  DestroyWindow(combo);
  EXPECT_EQ(OpenList(), nullptr) << "the list goes with the combo";
  ExpectSequence(rig.log,
                 {{CB_SHOWDROPDOWN}, {WM_COMMAND, parent, CBN_DROPDOWN}, {CB_SHOWDROPDOWN},  // already open: nothing
                  {CB_SHOWDROPDOWN}, {WM_COMMAND, parent, CBN_CLOSEUP}, {CB_SHOWDROPDOWN},
                  {WM_COMMAND, parent, CBN_DROPDOWN}},  // and no CBN_CLOSEUP when destroyed
                 "CB_SHOWDROPDOWN opens and closes the list");
}

// ---- entries and the window text

TEST(ComboBox, EntriesInsertsAndTheWindowTextFollowTheSelection) {
  Rig rig;
  HWND combo = rig.combo({u"North Ltd", u"South plc"});
  for (int index : {-1, 2, 40}) {
    std::u16string buf(16, u'\xABCD');
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf.data())),
              CB_ERR);
    EXPECT_EQ(buf, std::u16string(16, u'\xABCD')) << index;
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0), CB_ERR) << index;
  }
  std::u16string buf(16, u'\xABCD');
  EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(buf.data())), 9);
  EXPECT_EQ(buf.substr(0, 10), std::u16string(u"South plc") + u'\0');
  EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, 1, 0), 9);

  EXPECT_EQ(Text(combo), u"");
  const struct { UINT msg; WPARAM wp; const char16_t* text; LRESULT result; int selection; std::u16string shown; } cases[] = {
      {CB_SETCURSEL, 1, nullptr, 1, 1, u"South plc"},
      {CB_SETCURSEL, static_cast<WPARAM>(-1), nullptr, CB_ERR, CB_ERR, u""},
      {CB_SETCURSEL, 0, nullptr, 0, 0, u"North Ltd"},
      {CB_SETCURSEL, 7, nullptr, CB_ERR, CB_ERR, u""},      // out of range clears the selection too
      {WM_SETTEXT, 0, u"south PLC", TRUE, 1, u"South plc"},  // the entry that matches, whatever the case
      {WM_SETTEXT, 0, u"Nowhere", CB_ERR, 1, u"South plc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(SendMessageW(combo, c.msg, c.wp, reinterpret_cast<LPARAM>(c.text)), c.result);
    EXPECT_EQ(Selection(combo), c.selection);
    EXPECT_EQ(Text(combo), c.shown);
    EXPECT_EQ(GetWindowTextLengthW(combo), static_cast<int>(c.shown.size()));
  }
  WCHAR small[6];
  EXPECT_EQ(GetWindowTextW(combo, small, 6), 5);
  EXPECT_EQ(std::u16string(small), u"South");
  // An insert keeps the selection on its entry.
  EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(u"")), 0);
  EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"West")), 3);
  EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 9, reinterpret_cast<LPARAM>(u"Far")), CB_ERR);
  EXPECT_EQ(Entries(combo), (std::vector<std::u16string>{u"", u"North Ltd", u"South plc", u"West"}));
  EXPECT_EQ(Selection(combo), 2);
  EXPECT_EQ(Text(combo), u"South plc");
  EXPECT_TRUE(rig.log.entries.empty()) << "the program's changes are not notified";
}

// ---- geometry and look, at both screen sizes

class ComboBoxAtScale : public ::testing::TestWithParam<int> {};

TEST_P(ComboBoxAtScale, TheWindowIsTheFieldAndTheGivenHeightSizesTheList) {
  const int k = GetParam();
  struct Case {
    const char* name;
    int entries, y, given;  // the height MoveWindow gives, field and list together
    bool above;
    int min_h, max_h;  // the list's height in 240x320 pixels
    int scroll_bar;    // with a scroll bar at the right 1, without 0, either -1
  } cases[] = {
      {"whole rows fill the room below the field", 30, 40, 120, false, 120 - 20 - 15, 120 - 20, 1},
      {"more room, more rows", 30, 40, 200, false, 200 - 20 - 15, 200 - 20, 1},
      {"a tiny height still opens a few rows", 30, 40, 30, false, 3 * 16, 320, 1},
      {"no room below opens above", 5, 250, 100, true, 16, 100, -1},
      {"few entries get a list just tall enough, no scroll bar", 2, 40, 200, false, 16, 200, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig(k);
    HWND combo = rig.combo(Numbered(c.entries), 66, c.y, 170, 80);
    MoveWindow(combo, 66 * k, c.y * k, 170 * k, c.given * k, TRUE);
    RECT field = WindowRect(combo);
    EXPECT_EQ(field.bottom - field.top, 20 * k);
    EXPECT_EQ(field.right - field.left, 170 * k);
    SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    ASSERT_NE(OpenList(), nullptr);
    RECT list = WindowRect(OpenList());
    EXPECT_EQ(c.above ? list.bottom : list.top, c.above ? field.top : field.bottom);
    EXPECT_GE(list.top, 0);
    EXPECT_EQ(list.left, field.left);
    EXPECT_EQ(list.right, field.right);
    EXPECT_GE(list.bottom - list.top, c.min_h * k);
    EXPECT_LE(list.bottom - list.top, c.max_h * k);
    auto last = ComboBoxEntryOnScreen(combo, c.entries - 1);  // scrolled into view
    ASSERT_TRUE(last.has_value());
    EXPECT_GE(last->top, list.top);
    EXPECT_LE(last->bottom, list.bottom);
    EXPECT_EQ(last->right, c.scroll_bar < 0 ? last->right : list.right - 1 - c.scroll_bar * GetSystemMetrics(SM_CXVSCROLL));
    EXPECT_LE(c.scroll_bar == 0 ? list.bottom - last->bottom : 0, 2) << "a list without a bar ends at its last entry";
  }
}

TEST_P(ComboBoxAtScale, TheOpenListHighlightsTheSelection) {
  Rig rig(GetParam());
  const int k = rig.k();
  HWND combo = rig.combo({u"", u"North Ltd", u"South plc", u"Westwind"}, 66, 200, 170, 80);
  SendMessageW(combo, CB_SETCURSEL, 1, 0);
  rig.then([&](Session& s) { kTapField(s, combo); });
  rig.then([&](Session& s) {
    ASSERT_TRUE(ComboBoxIsDroppedDown(combo));
    auto selected = ComboBoxEntryOnScreen(combo, 1), other = ComboBoxEntryOnScreen(combo, 2);
    ASSERT_TRUE(selected && other);
    EXPECT_EQ(ScreenPixel(s, selected->left + 1, selected->top + 1), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(ScreenPixel(s, other->left + 1, other->top + 1), GetSysColor(COLOR_WINDOW));
    // The field: a white text area, a button face at its right end.
    RECT f = WindowRect(combo);
    EXPECT_EQ(ScreenPixel(s, f.left + 2 * k, f.top + 2 * k), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(ScreenPixel(s, f.right - 3 * k, f.top + 3 * k), GetSysColor(COLOR_BTNFACE));
  });
  rig.run();
}

INSTANTIATE_TEST_SUITE_P(Screens, ComboBoxAtScale, ::testing::Values(1, 2),
                         [](const auto& info) { return info.param == 1 ? "QVGA" : "VGA"; });

// ---- a long list: thirty entries, three rows shown

TEST(ComboBox, ALongListScrollsByBarStylusAndProbe) {
  constexpr int kRows = 3;
  using Scroll = std::function<void(Session&, HWND combo, HWND list)>;
  auto bar = [](HWND list) {
    RECT r = WindowRect(list);
    return RECT{r.right - 1 - GetSystemMetrics(SM_CXVSCROLL), r.top + 1, r.right - 1, r.bottom - 1};
  };
  // The first row of the open list, from the list window, not from the probe.
  auto first_row = [](HWND list) { return POINT{WindowRect(list).left + 20, WindowRect(list).top + 1 + 8}; };
  const Scroll down_twice = [&](Session& s, HWND, HWND list) {
    RECT b = bar(list);
    for (int i = 0; i < 2; ++i) platform::PostTap(s, (b.left + b.right) / 2, b.bottom - 3);
  };
  struct Case {
    const char* name;
    Scroll scroll;
    int chosen;  // the entry a tap on the first row, or on the probed entry, then chooses
    bool by_probe = false;
  } cases[] = {
      {"no scrolling", [](Session&, HWND, HWND) {}, 0},
      {"down arrow twice", down_twice, 2},
      {"thumb dragged to the bottom",
       [&](Session& s, HWND, HWND list) {
         RECT b = bar(list);
         int x = (b.left + b.right) / 2;
         platform::PostMouse(s, WM_LBUTTONDOWN, x, b.top + std::min<int>(GetSystemMetrics(SM_CXVSCROLL), (b.bottom - b.top) / 3) + 1);
         platform::PostMouse(s, WM_MOUSEMOVE, x, b.bottom + 40);
         platform::PostMouse(s, WM_LBUTTONUP, x, b.bottom + 40);
       },
       30 - kRows},
      {"stylus dragged past the bottom edge",
       [&](Session& s, HWND, HWND list) {
         POINT p = first_row(list);
         int below = WindowRect(list).bottom + 5;
         platform::PostMouse(s, WM_LBUTTONDOWN, p.x, p.y);
         for (int i = 0; i < 4; ++i) platform::PostMouse(s, WM_MOUSEMOVE, p.x, below);
         platform::PostMouse(s, WM_LBUTTONUP, p.x, below);
       },
       4},
      {"down arrow twice, then the stylus dragged past the top edge",
       [&](Session& s, HWND combo, HWND list) {
         down_twice(s, combo, list);
         POINT p = first_row(list);
         platform::PostMouse(s, WM_LBUTTONDOWN, p.x, p.y);
         platform::PostMouse(s, WM_MOUSEMOVE, p.x, WindowRect(list).top - 5);
         platform::PostMouse(s, WM_LBUTTONUP, p.x, WindowRect(list).top - 5);
       },
       1},
      {"the probe scrolls entry 25 into view", [](Session&, HWND, HWND) {}, 25, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    HWND combo = rig.combo(Numbered(30));
    rig.then([&](Session& s) { kTapField(s, combo); });
    rig.then([&](Session& s) { c.scroll(s, combo, OpenList()); });
    rig.then([&](Session& s) {
      ASSERT_TRUE(ComboBoxIsDroppedDown(combo)) << "scrolling keeps the list open";
      if (c.by_probe) return TapEntry(c.chosen)(s, combo);
      POINT p = first_row(OpenList());
      platform::PostTap(s, p.x, p.y);
    });
    rig.then([&](Session&) {
      EXPECT_EQ(Selection(combo), c.chosen);
      ExpectSequence(rig.log, Commands({CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELCHANGE}), c.name);
    });
    rig.run();
  }
}

}  // namespace
