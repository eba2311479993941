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
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/core/screen.h"
#include "platform/gdi/text.h"
#include "platform/hosts/input.h"
#include "support/message_log.h"

namespace {

using platform::Session;
using platform::controls::ComboBoxEntryOnScreen;
using platform::controls::ComboBoxIsDroppedDown;

constexpr WORD kVkF4 = VK_F1 + 3;

using testing_support::ExpectSequence;
using testing_support::Message;
using testing_support::parent;
using testing_support::sent;

// The parent's WM_COMMAND notifications, as a table for ExpectSequence.
std::vector<Message> Commands(const std::vector<WORD>& codes) {
  std::vector<Message> out;
  for (WORD code : codes) out.push_back({WM_COMMAND, sent | parent, code});
  return out;
}

RECT WindowRect(HWND hwnd) {
  RECT r{};
  GetWindowRect(hwnd, &r);
  return r;
}

HWND OpenList() { return FindWindowW(u"ComboLBox", nullptr); }

COLORREF PixelAt(Session& s, int x, int y) { return testing_support::ScreenPixel(s, x, y); }

// The rig's parent with one combo box on it; only WM_COMMAND and
// CB_SHOWDROPDOWN are logged.
struct Rig : testing_support::ControlRig {
  explicit Rig(int scale = 1) : ControlRig(testing_support::ScreenOf(scale)) {
    log.keep_only({WM_COMMAND, CB_SHOWDROPDOWN});
  }

  int k() { return platform.session.screen().scale(); }

  // Position and size in 240x320 pixels; twice as many on the larger screen.
  HWND MakeCombo(std::vector<std::u16string> entries, int x = 66, int y = 40, int w = 170, int h = 80,
                 DWORD style = 0) {
    HWND combo = create(u"COMBOBOX", CBS_DROPDOWNLIST | style, x, y, w, h);
    for (const auto& e : entries) SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(e.c_str()));
    log.clear();
    return combo;
  }

  void Run() { run(); }
  void Then(std::function<void(Session&)> action) { platform.host.then(std::move(action)); }
};

std::u16string Entry(HWND combo, int index) {
  std::u16string buf(64, u'\0');
  LRESULT n = SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf.data()));
  if (n == CB_ERR) return u"<error>";
  buf.resize(static_cast<size_t>(n));
  return buf;
}
std::vector<std::u16string> Entries(HWND combo) {
  std::vector<std::u16string> out;
  int n = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
  for (int i = 0; i < n; ++i) out.push_back(Entry(combo, i));
  return out;
}
std::u16string Text(HWND combo) {
  WCHAR buf[64] = u"junk";
  GetWindowTextW(combo, buf, 64);
  return buf;
}
int Selection(HWND combo) { return static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0)); }

// ---- taps and keys as a person gives them

using Step = std::function<void(Session&, HWND combo)>;

void TapCenter(Session& s, const RECT& r) { platform::PostTap(s, (r.left + r.right) / 2, (r.top + r.bottom) / 2); }

Step TapField() {
  return [](Session& s, HWND combo) { TapCenter(s, WindowRect(combo)); };
}
Step TapEntry(int index) {
  return [index](Session& s, HWND combo) {
    auto r = ComboBoxEntryOnScreen(combo, index);
    if (!r) {
      ADD_FAILURE() << "entry " << index << " is not on the screen";
      return;
    }
    TapCenter(s, *r);
  };
}
Step TapAt(int x, int y) {
  return [x, y](Session& s, HWND) { platform::PostTap(s, x * s.screen().scale(), y * s.screen().scale()); };
}
Step Keys(const char* keys) {
  return [keys](Session& s, HWND) { EXPECT_TRUE(platform::PostKeys(s, keys)); };
}
Step PressF4() {
  return [](Session& s, HWND) {
    platform::PostKey(s, kVkF4, true);
    platform::PostKey(s, kVkF4, false);
  };
}
Step Focus() {
  return [](Session&, HWND combo) { SetFocus(combo); };
}
Step SetCurSel(int index) {
  return [index](Session&, HWND combo) { SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0); };
}

struct SequenceCase {
  const char* name;
  int initial;
  std::vector<Step> steps;
  std::vector<WORD> expected;
  int final_selection;
};

TEST(ComboBox, NotifiesTheParentInTheRealControlsOrder) {
  const SequenceCase cases[] = {
      {"open and choose a different entry", 1, {TapField(), TapEntry(3)},
       {CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELCHANGE}, 3},
      {"choose the entry already selected", 1, {TapField(), TapEntry(1)}, {CBN_DROPDOWN, CBN_CLOSEUP}, 1},
      {"choose the empty entry", 2, {TapField(), TapEntry(0)}, {CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELCHANGE}, 0},
      {"tap outside closes without a change", 1, {TapField(), TapAt(10, 250)}, {CBN_DROPDOWN, CBN_CLOSEUP}, 1},
      {"tap on the field again closes", 1, {TapField(), TapField()}, {CBN_DROPDOWN, CBN_CLOSEUP}, 1},
      {"escape closes without a change", 1, {TapField(), Keys("down"), Keys("escape")},
       {CBN_DROPDOWN, CBN_CLOSEUP}, 1},
      {"down and enter in the open list", 1, {TapField(), Keys("down"), Keys("down"), Keys("enter")},
       {CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELCHANGE}, 3},
      {"F4 opens, escape closes", 1, {Focus(), PressF4(), Keys("escape")}, {CBN_DROPDOWN, CBN_CLOSEUP}, 1},
      {"down on the closed box", 1, {Focus(), Keys("down")}, {CBN_SELCHANGE}, 2},
      {"up on the closed box", 1, {Focus(), Keys("up")}, {CBN_SELCHANGE}, 0},
      {"down at the last entry changes nothing", 3, {Focus(), Keys("down")}, {}, 3},
      {"down without a selection selects the first", -1, {Focus(), Keys("down")}, {CBN_SELCHANGE}, 0},
      {"CB_SETCURSEL by the program", 1, {SetCurSel(2)}, {}, 2},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    HWND combo = rig.MakeCombo({u"", u"North Ltd", u"South plc", u"Westwind"});
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(c.initial), 0);
    rig.log.clear();
    for (const auto& step : c.steps) rig.Then([&step, combo](Session& s) { step(s, combo); });
    bool dropped = true;
    bool list_gone = false;
    int selection = -2;
    rig.Then([&](Session&) {
      dropped = ComboBoxIsDroppedDown(combo);
      list_gone = OpenList() == nullptr;
      selection = Selection(combo);
    });
    rig.Run();
    ExpectSequence(rig.log, Commands(c.expected), c.name);
    EXPECT_EQ(selection, c.final_selection);
    EXPECT_FALSE(dropped);
    EXPECT_TRUE(list_gone);
  }
}

TEST(ComboBox, LosingTheFocusClosesTheList) {
  Rig rig;
  HWND combo = rig.MakeCombo({u"North Ltd", u"South plc"});
  bool checked = false;
  rig.Then([&](Session& s) { TapCenter(s, WindowRect(combo)); });
  rig.Then([&](Session&) {
    checked = true;
    EXPECT_TRUE(ComboBoxIsDroppedDown(combo));
    SetFocus(rig.parent);
    EXPECT_FALSE(ComboBoxIsDroppedDown(combo));
    EXPECT_EQ(OpenList(), nullptr);
  });
  rig.Run();
  EXPECT_TRUE(checked);
  ExpectSequence(rig.log, Commands({CBN_DROPDOWN, CBN_CLOSEUP}), "focus lost");
}

TEST(ComboBox, DestroyingTheOpenComboTakesItsListAlong) {
  Rig rig;
  HWND combo = rig.MakeCombo({u"North Ltd", u"South plc"});
  EXPECT_TRUE(SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0));
  ASSERT_NE(OpenList(), nullptr);
  DestroyWindow(combo);
  EXPECT_EQ(OpenList(), nullptr);
  static const Message kOpenThenGone[] = {{CB_SHOWDROPDOWN, sent}, {WM_COMMAND, sent | parent, CBN_DROPDOWN}, {0}};
  ExpectSequence(rig.log, kOpenThenGone, "the list goes without a CBN_CLOSEUP");
}

TEST(ComboBox, ShowDropDownByProgramNotifiesAndReportsTheState) {
  Rig rig;
  HWND combo = rig.MakeCombo({u"North Ltd"});
  SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  EXPECT_EQ(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0), TRUE);
  SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
  EXPECT_EQ(SendMessageW(combo, CB_GETDROPPEDSTATE, 0, 0), FALSE);
  static const Message kByProgram[] = {{CB_SHOWDROPDOWN, sent},
                                       {WM_COMMAND, sent | parent, CBN_DROPDOWN},
                                       {CB_SHOWDROPDOWN, sent},  // already open: nothing more
                                       {CB_SHOWDROPDOWN, sent},
                                       {WM_COMMAND, sent | parent, CBN_CLOSEUP},
                                       {0}};
  ExpectSequence(rig.log, kByProgram, "CB_SHOWDROPDOWN opens and closes the list");
}

// ---- entries and the window text

TEST(ComboBox, GetLbTextOutOfRangeWritesNothing) {
  Rig rig;
  HWND combo = rig.MakeCombo({u"North Ltd", u"South plc"});
  for (int index : {-1, 2, 40}) {
    SCOPED_TRACE(index);
    std::u16string buf(16, u'\xABCD');
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(buf.data())),
              CB_ERR);
    EXPECT_EQ(buf, std::u16string(16, u'\xABCD'));
    EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0), CB_ERR);
  }
  std::u16string buf(16, u'\xABCD');
  EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXT, 1, reinterpret_cast<LPARAM>(buf.data())), 9);
  EXPECT_EQ(buf.substr(0, 10), std::u16string(u"South plc") + u'\0');
  EXPECT_EQ(SendMessageW(combo, CB_GETLBTEXTLEN, 1, 0), 9);
}

TEST(ComboBox, WindowTextIsTheSelectedEntry) {
  Rig rig;
  HWND combo = rig.MakeCombo({u"North Ltd", u"South plc"});
  EXPECT_EQ(Text(combo), u"");
  EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 1, 0), 1);
  EXPECT_EQ(Text(combo), u"South plc");
  EXPECT_EQ(GetWindowTextLengthW(combo), 9);

  WCHAR small[6];
  EXPECT_EQ(GetWindowTextW(combo, small, 6), 5);
  EXPECT_EQ(std::u16string(small), u"South");

  EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0), CB_ERR);
  EXPECT_EQ(Text(combo), u"");
  EXPECT_EQ(GetWindowTextLengthW(combo), 0);
  EXPECT_EQ(Selection(combo), CB_ERR);

  // Out of range clears the selection too, as the real control does.
  SendMessageW(combo, CB_SETCURSEL, 0, 0);
  EXPECT_EQ(SendMessageW(combo, CB_SETCURSEL, 7, 0), CB_ERR);
  EXPECT_EQ(Selection(combo), CB_ERR);
  EXPECT_EQ(Text(combo), u"");
}

TEST(ComboBox, SetWindowTextSelectsTheMatchingEntryOnly) {
  Rig rig;
  HWND combo = rig.MakeCombo({u"North Ltd", u"South plc"});
  EXPECT_TRUE(SetWindowTextW(combo, u"south PLC"));
  EXPECT_EQ(Selection(combo), 1);
  EXPECT_EQ(Text(combo), u"South plc");
  EXPECT_EQ(SendMessageW(combo, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(u"Nowhere")), CB_ERR);
  EXPECT_EQ(Selection(combo), 1);
  EXPECT_TRUE(rig.log.empty()) << rig.log.describe();
}

TEST(ComboBox, InsertStringMovesLaterEntriesAndTheSelectionDown) {
  Rig rig;
  HWND combo = rig.MakeCombo({u"North", u"South"});
  SendMessageW(combo, CB_SETCURSEL, 1, 0);
  EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(u"")), 0);
  EXPECT_EQ(Entries(combo), (std::vector<std::u16string>{u"", u"North", u"South"}));
  EXPECT_EQ(Selection(combo), 2);
  EXPECT_EQ(Text(combo), u"South");

  EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(u"West")), 3);
  EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 9, reinterpret_cast<LPARAM>(u"Far")), CB_ERR);
  EXPECT_EQ(Entries(combo), (std::vector<std::u16string>{u"", u"North", u"South", u"West"}));
  EXPECT_EQ(Selection(combo), 2);
}

struct DeleteCase {
  const char* name;
  int selected;
  int remove;
  LRESULT result;
  std::vector<std::u16string> left;
  int selection_after;
};

TEST(ComboBox, DeleteStringKeepsTheSelectionOnItsEntry) {
  const DeleteCase cases[] = {
      {"before the selection", 2, 0, 2, {u"B", u"C"}, 1},
      {"the selection itself", 1, 1, 2, {u"A", u"C"}, CB_ERR},
      {"after the selection", 0, 2, 2, {u"A", u"B"}, 0},
      {"out of range", 1, 3, CB_ERR, {u"A", u"B", u"C"}, 1},
  };
  Rig rig;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HWND combo = rig.MakeCombo({u"A", u"B", u"C"});
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(c.selected), 0);
    EXPECT_EQ(SendMessageW(combo, CB_DELETESTRING, static_cast<WPARAM>(c.remove), 0), c.result);
    EXPECT_EQ(Entries(combo), c.left);
    EXPECT_EQ(Selection(combo), c.selection_after);
    DestroyWindow(combo);
  }
}

TEST(ComboBox, ResetContentEmptiesTheListAndTheSelection) {
  Rig rig;
  HWND combo = rig.MakeCombo({u"A", u"B"});
  SendMessageW(combo, CB_SETCURSEL, 1, 0);
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  EXPECT_EQ(SendMessageW(combo, CB_GETCOUNT, 0, 0), 0);
  EXPECT_EQ(Selection(combo), CB_ERR);
  EXPECT_EQ(Text(combo), u"");
}

TEST(ComboBox, SortedComboAddsInOrderButInsertsWhereTold) {
  Rig rig;
  HWND combo = rig.MakeCombo({}, 66, 40, 170, 80, CBS_SORT);
  const std::pair<const char16_t*, LRESULT> adds[] = {{u"South", 0}, {u"north", 0}, {u"East", 0}, {u"West", 3}};
  for (const auto& [text, index] : adds)
    EXPECT_EQ(SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)), index) << platform::ToUtf8(text);
  EXPECT_EQ(SendMessageW(combo, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(u"Zulu")), 0);
  EXPECT_EQ(Entries(combo), (std::vector<std::u16string>{u"Zulu", u"East", u"north", u"South", u"West"}));
}

struct FindCase {
  const char* name;
  int after;
  const char16_t* text;
  LRESULT expected;
};

TEST(ComboBox, FindStringExactIgnoresCaseAndWrapsAround) {
  Rig rig;
  HWND combo = rig.MakeCombo({u"North", u"South", u"north", u""});
  const FindCase cases[] = {
      {"from the start", -1, u"NORTH", 0},
      {"after the first match", 0, u"north", 2},
      {"wraps to the beginning", 2, u"North", 0},
      {"the empty entry", -1, u"", 3},
      {"a prefix is no match", -1, u"Nor", CB_ERR},
      {"absent", -1, u"West", CB_ERR},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(SendMessageW(combo, CB_FINDSTRINGEXACT, static_cast<WPARAM>(c.after), reinterpret_cast<LPARAM>(c.text)),
              c.expected);
  }
}

// ---- geometry, at both screen sizes

class ComboBoxAtScale : public ::testing::TestWithParam<int> {};

TEST_P(ComboBoxAtScale, WindowIsTheFieldWhileTheGivenHeightSizesTheList) {
  Rig rig(GetParam());
  const int k = rig.k();
  std::vector<std::u16string> many;
  for (int i = 0; i < 30; ++i) many.push_back(u"Entry " + std::u16string(1, static_cast<char16_t>(u'A' + i % 26)));
  HWND combo = rig.MakeCombo(many, 66, 40, 170, 120);
  RECT field = WindowRect(combo);
  EXPECT_EQ(field.bottom - field.top, 20 * k);
  EXPECT_EQ(field.right - field.left, 170 * k);

  // The list's height in 240x320 pixels when the combo was given `stored`.
  auto list_height_for = [&](int stored) {
    MoveWindow(combo, 66 * k, 40 * k, 170 * k, stored * k, TRUE);
    RECT f = WindowRect(combo);
    EXPECT_EQ(f.bottom - f.top, 20 * k) << "stored " << stored;
    SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
    HWND list = OpenList();
    EXPECT_NE(list, nullptr);
    RECT r = WindowRect(list);
    EXPECT_EQ(r.top, f.bottom);
    EXPECT_EQ(r.left, f.left);
    EXPECT_EQ(r.right, f.right);
    SendMessageW(combo, CB_SHOWDROPDOWN, FALSE, 0);
    return (r.bottom - r.top) / k;
  };
  for (int stored : {120, 200}) {
    int h = list_height_for(stored);
    // Whole rows of entries fill the room below the field.
    EXPECT_LE(h, stored - 20) << "stored " << stored;
    EXPECT_GT(h, stored - 20 - 16) << "stored " << stored;
  }
  // A tiny height still opens a list of a few rows.
  EXPECT_GE(list_height_for(30), 3 * 16);
}

TEST_P(ComboBoxAtScale, ListOpensAboveWhenItDoesNotFitBelow) {
  Rig rig(GetParam());
  HWND combo = rig.MakeCombo({u"A", u"B", u"C", u"D", u"E"}, 20, 250, 150, 100);
  SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  HWND list = OpenList();
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(WindowRect(list).bottom, WindowRect(combo).top);
  EXPECT_GE(WindowRect(list).top, 0);
}

TEST_P(ComboBoxAtScale, FewEntriesGetAListJustTallEnough) {
  Rig rig(GetParam());
  HWND combo = rig.MakeCombo({u"A", u"B"}, 20, 40, 150, 200);
  SendMessageW(combo, CB_SHOWDROPDOWN, TRUE, 0);
  ASSERT_NE(OpenList(), nullptr);
  RECT list = WindowRect(OpenList());
  auto last = ComboBoxEntryOnScreen(combo, 1);
  ASSERT_TRUE(last.has_value());
  EXPECT_LE(list.bottom - last->bottom, 2);
  EXPECT_EQ(last->right, list.right - 1) << "no scroll bar when all entries fit";
}

// ---- the look, and the pictures for the lead

TEST_P(ComboBoxAtScale, OpenListHighlightsTheSelection) {
  Rig rig(GetParam());
  const int k = rig.k();
  HWND label = CreateWindowExW(0, u"STATIC", u"Customer:", WS_CHILD | WS_VISIBLE | SS_RIGHT, 5 * k, 200 * k, 58 * k,
                               20 * k, rig.parent, nullptr, rig.platform.instance, nullptr);
  ASSERT_NE(label, nullptr);
  HWND combo = rig.MakeCombo({u"", u"North Ltd", u"South plc", u"Westwind"}, 66, 200, 170, 80);
  SendMessageW(combo, CB_SETCURSEL, 1, 0);
  bool checked = false;
  rig.Then([&](Session& s) { TapCenter(s, WindowRect(combo)); });
  rig.Then([&](Session& s) {
    checked = true;
    ASSERT_TRUE(ComboBoxIsDroppedDown(combo));
    auto selected = ComboBoxEntryOnScreen(combo, 1);
    auto other = ComboBoxEntryOnScreen(combo, 2);
    ASSERT_TRUE(selected && other);
    EXPECT_EQ(PixelAt(s, selected->left + 1, selected->top + 1), GetSysColor(COLOR_HIGHLIGHT));
    EXPECT_EQ(PixelAt(s, other->left + 1, other->top + 1), GetSysColor(COLOR_WINDOW));
    // The field: a white text area, a button face at its right end.
    RECT f = WindowRect(combo);
    EXPECT_EQ(PixelAt(s, f.left + 2 * k, f.top + 2 * k), GetSysColor(COLOR_WINDOW));
    EXPECT_EQ(PixelAt(s, f.right - 3 * k, f.top + 3 * k), GetSysColor(COLOR_BTNFACE));
    std::string path = "/tmp/cb-" + std::to_string(s.screen().width()) + ".png";
    std::string error;
    EXPECT_TRUE(s.screen().write_png(path, &error)) << error;
  });
  rig.Run();
  EXPECT_TRUE(checked);
}

INSTANTIATE_TEST_SUITE_P(Screens, ComboBoxAtScale, ::testing::Values(1, 2),
                         [](const auto& info) { return info.param == 1 ? "QVGA" : "VGA"; });

// ---- a long list

HWND MakeLongCombo(Rig& rig) {
  std::vector<std::u16string> entries;
  for (int i = 0; i < 30; ++i)
    entries.push_back(u"Customer " + std::u16string(1, static_cast<char16_t>(u'0' + i / 10)) +
                      std::u16string(1, static_cast<char16_t>(u'0' + i % 10)));
  return rig.MakeCombo(entries, 66, 40, 170, 80);
}

// The first row of the open list, from the list window, not from the probe.
POINT FirstRow(HWND list) {
  RECT r = WindowRect(list);
  int k = Session::current().screen().scale();
  return {r.left + 20 * k, r.top + 1 + 8 * k};
}

RECT ScrollBar(HWND list) {
  RECT r = WindowRect(list);
  int w = GetSystemMetrics(SM_CXVSCROLL);
  return {r.right - 1 - w, r.top + 1, r.right - 1, r.bottom - 1};
}

TEST(ComboBoxLongList, ProbeScrollsEntryIntoViewAndATapChoosesIt) {
  Rig rig;
  HWND combo = MakeLongCombo(rig);
  int selection = -2;
  rig.Then([&](Session& s) { TapCenter(s, WindowRect(combo)); });
  rig.Then([&](Session& s) {
    HWND list = OpenList();
    ASSERT_NE(list, nullptr);
    auto r = ComboBoxEntryOnScreen(combo, 25);
    ASSERT_TRUE(r.has_value());
    RECT l = WindowRect(list);
    EXPECT_GE(r->top, l.top);
    EXPECT_LE(r->bottom, l.bottom);
    EXPECT_EQ(r->right, l.right - 1 - GetSystemMetrics(SM_CXVSCROLL)) << "entries leave room for the scroll bar";
    TapCenter(s, *r);
  });
  rig.Then([&](Session&) { selection = Selection(combo); });
  rig.Run();
  EXPECT_EQ(selection, 25);
  ExpectSequence(rig.log, Commands({CBN_DROPDOWN, CBN_CLOSEUP, CBN_SELCHANGE}), "a tap on an entry scrolled into view");
}

struct ScrollCase {
  const char* name;
  std::function<void(Session&, HWND list)> scroll;
  int first_row_entry;  // the entry a tap on the first row then chooses
};

TEST(ComboBoxLongList, ScrollBarAndDraggingMoveTheList) {
  const int rows = 3;  // an 80-pixel combo leaves room for three rows of entries
  const ScrollCase cases[] = {
      {"no scrolling", [](Session&, HWND) {}, 0},
      {"down arrow twice",
       [](Session& s, HWND list) {
         RECT b = ScrollBar(list);
         int x = (b.left + b.right) / 2;
         platform::PostTap(s, x, b.bottom - 3);
         platform::PostTap(s, x, b.bottom - 3);
       },
       2},
      {"thumb dragged to the bottom",
       [](Session& s, HWND list) {
         RECT b = ScrollBar(list);
         int x = (b.left + b.right) / 2;
         int thumb_top = b.top + std::min(GetSystemMetrics(SM_CXVSCROLL), (b.bottom - b.top) / 3) + 1;
         platform::PostMouse(s, WM_LBUTTONDOWN, x, thumb_top);
         platform::PostMouse(s, WM_MOUSEMOVE, x, b.bottom + 40);
         platform::PostMouse(s, WM_LBUTTONUP, x, b.bottom + 40);
       },
       30 - rows},
      {"stylus dragged past the bottom edge",
       [](Session& s, HWND list) {
         POINT p = FirstRow(list);
         RECT r = WindowRect(list);
         platform::PostMouse(s, WM_LBUTTONDOWN, p.x, p.y);
         for (int i = 0; i < 4; ++i) platform::PostMouse(s, WM_MOUSEMOVE, p.x, r.bottom + 5);
         platform::PostMouse(s, WM_LBUTTONUP, p.x, r.bottom + 5);
       },
       4},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    HWND combo = MakeLongCombo(rig);
    int selection = -2;
    rig.Then([&](Session& s) { TapCenter(s, WindowRect(combo)); });
    rig.Then([&](Session& s) { c.scroll(s, OpenList()); });
    rig.Then([&](Session& s) {
      ASSERT_TRUE(ComboBoxIsDroppedDown(combo)) << "scrolling keeps the list open";
      POINT p = FirstRow(OpenList());
      platform::PostTap(s, p.x, p.y);
    });
    rig.Then([&](Session&) { selection = Selection(combo); });
    rig.Run();
    EXPECT_EQ(selection, c.first_row_entry);
  }
}

}  // namespace
