// The report-view list view and image lists as a program and a person see
// them: the parent's WM_NOTIFY sequences for taps (with Ctrl and Shift) and
// program messages, the records the messages fill in, scrolling by stylus,
// scroll bar and keys, and the pixels of a selected row at both screen sizes.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <commctrl.h>

#include "platform/controls/control_probes.h"
#include "platform/controls/list_view.h"
#include "platform/core/message_queue.h"
#include "platform/core/screen.h"
#include "platform/gdi/text.h"
#include "platform/hosts/input.h"
#include "resources/resource.h"
#include "support/message_log.h"

using platform::Session;
using platform::controls::ListViewRowOnScreen;
using namespace testing_support;

namespace {

constexpr UINT kSelFoc = LVIS_SELECTED | LVIS_FOCUSED;
constexpr UINT kSel = LVIS_SELECTED;
constexpr UINT kFoc = LVIS_FOCUSED;
constexpr int kParam = 1000;
// The look: a header 18 pixels high over rows of 17 (16-pixel icons and one), times the scale.
constexpr int kHeader = 18;
constexpr int kRow = 17;

Message Note(UINT code, int row = -1, UINT now = 0, UINT was = 0) {
  return {WM_NOTIFY, parent | (row < 0 && code != NM_CLICK ? 0u : item), code, row, now, was};
}
Message Changing(int row, UINT now, UINT was) { return Note(LVN_ITEMCHANGING, row, now, was); }
Message Changed(int row, UINT now, UINT was) { return Note(LVN_ITEMCHANGED, row, now, was); }

// A list at (2,23) 236x175 on the rig's parent: two columns, the program's
// two row icons, and `rows` rows "Meeting i" with lParam kParam + i.
struct ListRig : ControlRig {
  explicit ListRig(DWORD style, int rows, PlatformOptions options = {}) : ControlRig(std::move(options)) {
    log.keep_only({WM_NOTIFY});
    list = create(WC_LISTVIEWW, WS_BORDER | LVS_REPORT | style, 2, 23, 236, 175);
    HIMAGELIST images = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), ILC_MASK, 1, 1);
    for (int id : {IDI_COMPLETE, IDI_INCOMPLETE}) {
      HICON icon = LoadIconW(platform.instance, MAKEINTRESOURCEW(id));
      ImageList_ReplaceIcon(images, -1, icon);
      DestroyIcon(icon);
    }
    send(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    RECT rc;
    GetClientRect(list, &rc);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    for (int i : {0, 1}) {
      column.cx = i ? rc.right - 110 * k() : 110 * k();
      column.pszText = const_cast<LPWSTR>(i ? u"Details" : u"Appointment");
      send(LVM_INSERTCOLUMNW, static_cast<WPARAM>(i), reinterpret_cast<LPARAM>(&column));
    }
    send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
    for (int i = 0; i < rows; ++i) add_row(i);
    log.entries.clear();
  }

  LRESULT send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return SendMessageW(list, msg, wp, lp); }
  void add_row(int i, UINT state = 0) {
    std::u16string text = u"Meeting " + platform::FromUtf8(std::to_string(i));
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | (state ? LVIF_STATE : 0);
    item.iItem = i;
    item.pszText = text.data();
    item.iImage = i % 2;
    item.lParam = kParam + i;
    item.state = item.stateMask = state;
    int index = static_cast<int>(send(LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    std::u16string details = u"Room " + platform::FromUtf8(std::to_string(100 + i)) + u", with the whole team";
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.iSubItem = 1;
    item.pszText = details.data();
    send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  }
  LRESULT set_state(int row, UINT state, UINT mask) {
    LVITEMW item{};
    item.state = state;
    item.stateMask = mask;
    return send(LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }
  UINT state(int row) { return static_cast<UINT>(send(LVM_GETITEMSTATE, static_cast<WPARAM>(row), kSelFoc)); }
  int next(int from, UINT flags) { return static_cast<int>(send(LVM_GETNEXTITEM, static_cast<WPARAM>(from), flags)); }
  int mark() { return static_cast<int>(send(LVM_GETSELECTIONMARK)); }
  int top() { return static_cast<int>(send(LVM_GETTOPINDEX)); }
  std::vector<int> selected() {
    std::vector<int> rows;
    for (int i = next(-1, LVNI_SELECTED); i >= 0; i = next(i, LVNI_SELECTED)) rows.push_back(i);
    return rows;
  }
  RECT on_screen() { return session().windows().client_rect_on_screen(list); }

  // A tap on a row (below the last one for -1) with MK_CONTROL / MK_SHIFT in `keys`.
  void tap(int row, WPARAM keys = 0) {
    POINT p{on_screen().left + 40 * k(), on_screen().bottom - 5 * k()};
    if (row >= 0) {
      std::optional<RECT> r = ListViewRowOnScreen(list, row);
      ASSERT_TRUE(r.has_value()) << "row " << row << " is not on the screen";
      p = Centre(*r);
    }
    session().queue().post_input(WM_LBUTTONDOWN, MK_LBUTTON | keys, MAKELPARAM(p.x, p.y));
    session().queue().post_input(WM_LBUTTONUP, keys, MAKELPARAM(p.x, p.y));
  }

  HWND list = nullptr;
};

// ------------------------------------------------------------------ taps and program messages

// A change of a row's state, told by LVN_ITEMCHANGING and then LVN_ITEMCHANGED.
struct Change { int row; UINT now, was; };
void Add(std::vector<Message>& out, const std::vector<Change>& changes, bool refused = false) {
  for (const Change& c : changes) {
    out.push_back(Changing(c.row, c.now, c.was));
    if (!refused) out.push_back(Changed(c.row, c.now, c.was));
  }
}

struct Tap { int row; WPARAM keys = 0; };

TEST(ListView, TapsSelectAsTheRealControlDoes) {
  struct Case {
    const char* name;
    DWORD style;
    std::vector<Tap> before;
    Tap tap;
    bool first_focus;  // NM_SETFOCUS comes first
    std::vector<Change> changes;
    std::vector<int> selected;
    int mark;
    bool refuse = false;
  } cases[] = {
      {"a tap selects and focuses the row", 0, {}, {2}, true, {{2, kSelFoc, 0}}, {2}, 2},
      {"a tap on another row deselects the old row first", 0, {{1}}, {3}, false,
       {{1, 0, kSelFoc}, {3, kSelFoc, 0}}, {3}, 3},
      {"a tap on the selected row changes nothing", 0, {{4}}, {4}, false, {}, {4}, 4},
      {"a tap below the last row deselects and keeps the mark", 0, {{1}}, {-1}, false, {{1, kFoc, kSelFoc}}, {}, 1},
      {"ctrl+tap adds the row; the old one gives up the focus", 0, {{1}}, {3, MK_CONTROL}, false,
       {{1, kSel, kSelFoc}, {3, kSelFoc, 0}}, {1, 3}, 3},
      {"ctrl+tap on a selected row deselects it", 0, {{1}, {3, MK_CONTROL}}, {1, MK_CONTROL}, false,
       {{3, kSel, kSelFoc}, {1, kFoc, kSel}}, {3}, 1},
      {"shift+tap selects the range from the mark, one change per row", 0, {{1}}, {3, MK_SHIFT}, false,
       {{1, kSel, kSelFoc}, {2, kSel, 0}, {3, kSelFoc, 0}}, {1, 2, 3}, 1},
      {"shift+tap upwards deselects the rows outside the range", 0, {{0}, {4, MK_CONTROL}}, {2, MK_SHIFT}, false,
       {{0, 0, kSel}, {4, kSel, kSelFoc}, {3, kSel, 0}, {2, kSelFoc, 0}}, {2, 3, 4}, 4},
      {"shift+tap without a mark is a plain tap", 0, {}, {2, MK_SHIFT}, true, {{2, kSelFoc, 0}}, {2}, 2},
      {"LVS_SINGLESEL ignores Ctrl", LVS_SINGLESEL, {{1}}, {3, MK_CONTROL}, false,
       {{1, 0, kSelFoc}, {3, kSelFoc, 0}}, {3}, 3},
      {"LVS_SINGLESEL ignores Shift", LVS_SINGLESEL, {{1}}, {3, MK_SHIFT}, false,
       {{1, 0, kSelFoc}, {3, kSelFoc, 0}}, {3}, 3},
      {"a refused change keeps the state and the mark", 0, {}, {2}, true, {{2, kSelFoc, 0}}, {}, -1, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ListRig rig(LVS_SHOWSELALWAYS | c.style, 5);
    int mark_when_told = -2;
    rig.log.reply = [&](HWND, UINT msg, WPARAM, LPARAM lp) -> std::optional<LRESULT> {
      auto* nm = reinterpret_cast<const NMLISTVIEW*>(lp);
      if (msg != WM_NOTIFY) return std::nullopt;
      if (nm->hdr.code == LVN_ITEMCHANGING && c.refuse) return TRUE;
      if (nm->hdr.code == LVN_ITEMCHANGED && nm->iItem == c.tap.row) mark_when_told = rig.mark();
      return std::nullopt;
    };
    for (const Tap& t : c.before) rig.then([&rig, t](Session&) { rig.tap(t.row, t.keys); });
    rig.then([&](Session&) {
      rig.log.entries.clear();
      mark_when_told = -2;
      rig.tap(c.tap.row, c.tap.keys);
    });
    rig.then([&](Session&) {
      std::vector<Message> expected;
      if (c.first_focus) expected.push_back(Note(NM_SETFOCUS));
      Add(expected, c.changes, c.refuse);
      expected.push_back(Note(NM_CLICK, c.tap.row));
      ExpectSequence(rig.log, expected, c.name);
      EXPECT_EQ(rig.selected(), c.selected);
      EXPECT_EQ(static_cast<size_t>(rig.send(LVM_GETSELECTEDCOUNT)), c.selected.size());
      EXPECT_EQ(rig.mark(), c.mark);
      EXPECT_EQ(rig.next(-1, LVNI_FOCUSED), c.refuse ? -1 : c.tap.row >= 0 ? c.tap.row : c.mark);
      // The mark moves before the change is reported: the app reads it then.
      EXPECT_EQ(mark_when_told, !c.refuse && !c.changes.empty() && c.changes.back().row == c.tap.row ? c.mark : -2);
    });
    rig.run();
  }
}

TEST(ListView, ProgramStateChangesAreNotified) {
  struct Case {
    const char* name;
    DWORD style;
    int row;
    UINT state, mask;
    std::vector<Change> changes;
    std::vector<int> selected;
    bool done = true;  // what the message answers
  } cases[] = {
      {"select another row: the focus moves first", 0, 3, kSelFoc, kSelFoc, {{1, kSel, kSelFoc}, {3, kSelFoc, 0}},
       {1, 3}},
      {"add a selection", 0, 4, kSel, kSel, {{4, kSel, 0}}, {1, 4}},
      {"a single-selection list drops the old selection", LVS_SINGLESEL, 4, kSel, kSel,
       {{1, kFoc, kSelFoc}, {4, kSel, 0}}, {4}},
      {"deselect every row", 0, -1, 0, kSel, {{1, kFoc, kSelFoc}}, {}},
      {"the state it already has", 0, 1, kSelFoc, kSelFoc, {}, {1}},
      {"focus every row is refused", 0, -1, kFoc, kFoc, {}, {1}, false},
      {"select every row of a single-selection list is refused", LVS_SINGLESEL, -1, kSel, kSel, {}, {1}, false},
      {"a row past the last is refused", 0, 6, kSel, kSel, {}, {1}, false},
      {"a row before the first is refused", 0, -2, kSel, kSel, {}, {1}, false},
  };
  for (const Case& c : cases) {
    ListRig rig(c.style, 6);
    rig.set_state(1, kSelFoc, kSelFoc);
    rig.log.entries.clear();
    EXPECT_EQ(rig.set_state(c.row, c.state, c.mask), c.done ? TRUE : FALSE) << c.name;
    std::vector<Message> expected;
    Add(expected, c.changes);
    ExpectSequence(rig.log, expected, c.name);
    EXPECT_EQ(rig.selected(), c.selected) << c.name;
  }
}

// The mark follows the first focused row and the rows inserted before it;
// deleting every row clears it.
TEST(ListView, RowsComeAndGoWithTheirNotifications) {
  ListRig rig(0, 0);
  rig.add_row(0);
  rig.add_row(1, kSel);  // a state given with the row is set silently
  rig.add_row(2);
  EXPECT_EQ(rig.state(1), kSel);
  EXPECT_EQ(rig.mark(), -1);
  rig.set_state(2, kFoc, kFoc);
  EXPECT_EQ(rig.mark(), 2);
  LVITEMW row{};
  row.mask = LVIF_STATE | LVIF_TEXT;  // a state set with the texts is notified
  row.iItem = 0;
  row.pszText = const_cast<LPWSTR>(u"Now selected");
  row.state = row.stateMask = kSel;
  EXPECT_TRUE(rig.send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&row)));
  rig.add_row(0);
  EXPECT_EQ(rig.mark(), 3);
  EXPECT_TRUE(rig.send(LVM_DELETEALLITEMS));
  EXPECT_EQ(rig.mark(), -1);
  EXPECT_EQ(rig.top(), 0);
  Message insert = Note(LVN_INSERTITEM);
  ExpectSequence(rig.log,
                 {insert, insert, insert, Changing(2, kFoc, 0), Changed(2, kFoc, 0), Changing(0, kSel, 0),
                  Changed(0, kSel, 0), insert, Note(LVN_DELETEALLITEMS),
                  Note(LVN_DELETEITEM, 3), Note(LVN_DELETEITEM, 2), Note(LVN_DELETEITEM, 1), Note(LVN_DELETEITEM, 0)},
                 "insert, set, insert, delete all");
  EXPECT_EQ(rig.send(LVM_GETITEMCOUNT), 0);
}

TEST(ListView, GetItemFillsOnlyWhatWasAskedAndOnlyForARow) {
  ListRig rig(0, 3);
  rig.set_state(1, kSel, kSel);
  for (int row : {-1, 3, 1}) {
    SCOPED_TRACE(row);
    char16_t buffer[8];
    std::memset(buffer, 0xA5, sizeof buffer);
    LVITEMW item;
    std::memset(&item, 0xA5, sizeof item);
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    item.iItem = row;
    item.iSubItem = 0;
    item.pszText = buffer;
    item.cchTextMax = 8;  // "Meeting 1" is cut to seven characters and a terminator
    item.stateMask = kSelFoc;
    LVITEMW before = item;
    bool found = rig.send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)) != 0;
    EXPECT_EQ(found, row == 1);
    if (!found) {
      EXPECT_EQ(std::memcmp(&before, &item, sizeof item), 0);
      EXPECT_EQ(buffer[0], 0xA5A5);
      continue;
    }
    EXPECT_EQ(std::u16string(buffer), u"Meeting");
    EXPECT_EQ(item.iImage, 1);
    EXPECT_EQ(item.lParam, kParam + 1);
    EXPECT_EQ(item.state, kSel);
  }
}

TEST(ListView, GetNextItemWalksRowsByState) {
  ListRig rig(0, 8);
  rig.set_state(2, kSel, kSel);
  rig.set_state(5, kSelFoc, kSelFoc);
  rig.set_state(6, kSel, kSel);
  // Walking the selected rows alone is what selected() does in every test.
  struct Case { int start; UINT flags; int found; } cases[] = {
      {5, LVNI_FOCUSED, -1}, {-1, LVNI_SELECTED | LVNI_FOCUSED, 5}, {-1, LVNI_ALL, 0}, {6, LVNI_ALL, 7}, {7, LVNI_ALL, -1},
  };
  for (const Case& c : cases) EXPECT_EQ(rig.next(c.start, c.flags), c.found) << c.start << " " << c.flags;
}

// ------------------------------------------------------------------ image lists

// The list keeps copies of the icons; the list view owns the list it is
// given and hands back the one it replaces.
TEST(ListView, ImageListsKeepIconCopiesAndGoWithTheList) {
  ListRig rig(0, 0);
  HIMAGELIST list = ImageList_Create(16, 16, ILC_MASK, 1, 1);
  ASSERT_NE(list, nullptr);
  HICON complete = LoadIconW(rig.platform.instance, MAKEINTRESOURCEW(IDI_COMPLETE));
  HICON warning = LoadIconW(rig.platform.instance, MAKEINTRESOURCEW(IDI_NOTICE));
  EXPECT_EQ(ImageList_ReplaceIcon(list, -1, complete), 0);
  EXPECT_EQ(ImageList_ReplaceIcon(list, -1, complete), 1);
  DestroyIcon(complete);
  EXPECT_EQ(ImageList_ReplaceIcon(list, 1, warning), 1);
  EXPECT_EQ(ImageList_ReplaceIcon(list, 2, warning), -1);
  EXPECT_EQ(ImageList_ReplaceIcon(list, -1, complete), -1);  // a destroyed icon
  DestroyIcon(warning);
  EXPECT_EQ(ImageList_GetImageCount(list), 2);  // the copies outlive the icons
  HIMAGELIST first = reinterpret_cast<HIMAGELIST>(rig.send(LVM_GETIMAGELIST, LVSIL_SMALL));
  EXPECT_EQ(reinterpret_cast<HIMAGELIST>(rig.send(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(list))), first);
  EXPECT_TRUE(ImageList_Destroy(first)) << "the replaced list is the program's again";
  EXPECT_FALSE(ImageList_Destroy(first));
  DestroyWindow(rig.list);
  EXPECT_FALSE(ImageList_Destroy(list)) << "destroyed with the list";
}

// ------------------------------------------------------------------ scrolling

// A press at `from`, `moves` even steps to `to`, and the release there.
void Drag(Session& s, POINT from, POINT to, int moves = 1) {
  platform::PostMouse(s, WM_LBUTTONDOWN, from.x, from.y);
  for (int i = 1; i <= moves; ++i)
    platform::PostMouse(s, WM_MOUSEMOVE, from.x + (to.x - from.x) * i / moves, from.y + (to.y - from.y) * i / moves);
  platform::PostMouse(s, WM_LBUTTONUP, to.x, to.y);
}

// Scroll bar and drags scroll without selecting; keys and a tap after a drag
// select the row they come to.
TEST(ListView, ScrollBarDragsAndKeysScrollAndOnlyKeysAndTapsSelect) {
  ListRig rig(LVS_SHOWSELALWAYS, 40);
  RECT list = rig.on_screen();
  const int x = list.left + 60, bar_x = list.right - GetSystemMetrics(SM_CXVSCROLL) / 2 - 1, visible = (175 - 2 - kHeader) / kRow;
  auto tap_bar = [&](int y) { return [&, y](Session& s) { platform::PostTap(s, bar_x, y); }; };
  auto keys = [](const char* k, int n = 1) {
    return [k, n](Session& s) {
      for (int i = 0; i < n; ++i) platform::PostKeys(s, k);
    };
  };
  struct Step {
    const char* name;
    std::function<void(Session&)> act;
    int top;
    int selected;  // -1: none
    std::vector<Message> expected = {};  // when given
  } steps[] = {
      {"down arrow", tap_bar(list.bottom - 3), 1, -1},
      {"track below the thumb", tap_bar(list.bottom - 20), 1 + visible, -1},
      {"up arrow", tap_bar(list.top + 3), visible, -1},
      {"thumb dragged to the bottom",
       [&](Session& s) {
         rig.send(LVM_ENSUREVISIBLE, 0);
         Drag(s, {bar_x, list.top + GetSystemMetrics(SM_CXVSCROLL) + 3}, {bar_x, list.bottom + 40});
       },
       40 - visible, -1},
      {"end", keys("end"), 40 - visible, 39},
      {"up", keys("up"), 40 - visible, 38,
       {Changing(39, 0, kSelFoc), Changed(39, 0, kSelFoc), Changing(38, kSelFoc, 0), Changed(38, kSelFoc, 0)}},
      {"home", keys("home"), 0, 0},
      {"down past the last visible row", keys("down", visible + 2), 3, visible + 2},
      {"a drag up the rows", [&](Session& s) { Drag(s, {x, list.bottom - 10}, {x, list.bottom - 10 - 5 * kRow}, 21); }, 8,
       visible + 2},
      {"a tap on the eighth row shown", [&](Session& s) { platform::PostTap(s, x, list.top + kHeader + 7 * kRow + 8); },
       8, 15},
      {"a tap that wiggles within the slop",
       [&](Session& s) {
         const int y = list.top + kHeader + 8 * kRow + 8;
         Drag(s, {x, y}, {x + 3, y + 3});
       },
       8, 16},
  };
  rig.then([&](Session&) { SetFocus(rig.list); });
  int before = -1;
  for (const Step& step : steps) {
    rig.then([&](Session& s) {
      rig.log.entries.clear();
      step.act(s);
    });
    rig.then([&](Session&) {
      SCOPED_TRACE(step.name);
      for (const Recorded& r : rig.log.entries) {
        EXPECT_TRUE(step.selected != before || r.code != LVN_ITEMCHANGED) << "the selection changed";
      }
      before = step.selected;
      EXPECT_EQ(rig.top(), step.top);
      EXPECT_EQ(rig.selected(), step.selected < 0 ? std::vector<int>{} : std::vector<int>{step.selected});
      EXPECT_EQ(rig.mark(), step.selected);
      if (!step.expected.empty()) ExpectSequence(rig.log, step.expected, step.name);
    });
  }
  rig.run();
}

// ------------------------------------------------------------------ pixels

TEST(ListView, TheSelectedRowIsHighlightedAcrossTheRowWithItsIcon) {
  const std::uint32_t highlight = 0x316ac5, white = 0xffffff, outline = 0x008000;
  struct Case {
    const char* name;
    int scale;
    DWORD style;
    bool tapped;  // else selected by the program, with the focus elsewhere
    std::uint32_t colour;
  } cases[] = {
      {"tapped", 1, LVS_SHOWSELALWAYS, true, highlight},
      {"tapped, larger screen", 2, LVS_SHOWSELALWAYS, true, highlight},
      {"without the focus", 1, LVS_SHOWSELALWAYS, false, highlight},
      {"without the focus and LVS_SHOWSELALWAYS", 1, 0, false, white},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    ListRig rig(c.style, 15, ScreenOf(c.scale));
    rig.then([&](Session&) {
      if (c.tapped) return rig.tap(6);
      rig.set_state(6, kSel, kSel);
      SetFocus(rig.parent);
    });
    std::optional<RECT> last;
    rig.then([&](Session&) { last = ListViewRowOnScreen(rig.list, 14); });  // the probe scrolls it into view
    rig.then([&](Session& s) {
      const int k = rig.k();
      ASSERT_EQ(rig.selected(), std::vector<int>{6});
      RECT list = rig.on_screen();
      EXPECT_GT(rig.top(), 0);
      ASSERT_TRUE(last.has_value());
      EXPECT_GE(last->top, list.top + kHeader * k);
      EXPECT_LE(last->bottom, list.bottom);
      EXPECT_EQ(last->bottom - last->top, kRow * k);
      EXPECT_FALSE(ListViewRowOnScreen(rig.list, 15).has_value());
      EXPECT_FALSE(ListViewRowOnScreen(rig.parent, 0).has_value());
      int row_top = list.top + (kHeader + (6 - rig.top()) * kRow) * k;
      auto pixel = [&](int x, int y) { return s.screen().pixel(list.left + x * k, row_top + y * k); };
      // Full-row select: the highlight runs across both columns; the row below is white.
      EXPECT_EQ(pixel(1, 1), c.colour);
      EXPECT_EQ(pixel(115, 1), c.colour);
      EXPECT_EQ(pixel(220, kRow - 2), c.colour);
      EXPECT_EQ(pixel(115, kRow + 1), white);
      // The icon: its square's outline at 2 + 2 from the left, inside the white square.
      EXPECT_EQ(pixel(4, 8), outline);
      EXPECT_EQ(pixel(7, 12), white);
      EXPECT_EQ(s.screen().pixel(list.left + 100 * k, list.top + 3 * k), 0xd6d3ceu) << "the header";
    });
    rig.run();
  }
}

}  // namespace
