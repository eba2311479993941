// The report-view list view and image lists as a program and a person see
// them: the parent's WM_NOTIFY sequences for taps and program messages, the
// records the messages fill in, scrolling by stylus, scroll bar and keys,
// and the pixels of a selected row at both screen sizes.
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <commctrl.h>

#include "platform/controls/control_probes.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/core/screen.h"
#include "platform/gdi/text.h"
#include "platform/hosts/input.h"
#include "resources/resource.h"
#include "support/test_host.h"

using platform::Session;
using platform::controls::ListViewRowOnScreen;
using testing_support::TestPlatform;

namespace {

constexpr UINT kSelFoc = LVIS_SELECTED | LVIS_FOCUSED;

// ------------------------------------------------------------------ the parent's notifications

struct Note {
  UINT code;
  int item;
  UINT new_state;
  UINT old_state;
  LPARAM param;
  bool operator==(const Note&) const = default;
};

std::vector<Note> g_notes;
bool g_refuse_changes = false;

std::string CodeName(UINT code) {
  switch (code) {
    case NM_CLICK: return "NM_CLICK";
    case NM_SETFOCUS: return "NM_SETFOCUS";
    case NM_KILLFOCUS: return "NM_KILLFOCUS";
    case LVN_ITEMCHANGING: return "LVN_ITEMCHANGING";
    case LVN_ITEMCHANGED: return "LVN_ITEMCHANGED";
    case LVN_INSERTITEM: return "LVN_INSERTITEM";
    case LVN_DELETEITEM: return "LVN_DELETEITEM";
    case LVN_DELETEALLITEMS: return "LVN_DELETEALLITEMS";
    default: return std::to_string(static_cast<int>(code));
  }
}

std::string Describe(const std::vector<Note>& notes) {
  std::string out;
  for (const Note& n : notes)
    out += CodeName(n.code) + "(" + std::to_string(n.item) + "," + std::to_string(n.new_state) + "<-" +
           std::to_string(n.old_state) + ",p" + std::to_string(n.param) + ") ";
  return out;
}

// Only the codes, for sequences where the records do not matter.
std::vector<UINT> Codes(const std::vector<Note>& notes) {
  std::vector<UINT> out;
  for (const Note& n : notes) out.push_back(n.code);
  return out;
}

// Notes of the given codes only, in order.
std::vector<Note> Only(std::initializer_list<UINT> codes) {
  std::vector<Note> out;
  for (const Note& n : g_notes)
    for (UINT c : codes)
      if (n.code == c) out.push_back(n);
  return out;
}

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NOTIFY) {
    const NMHDR* header = reinterpret_cast<const NMHDR*>(lp);
    Note note{header->code, -1, 0, 0, 0};
    if (header->code != NM_SETFOCUS && header->code != NM_KILLFOCUS) {
      const NMLISTVIEW* nm = reinterpret_cast<const NMLISTVIEW*>(lp);
      note.item = nm->iItem;
      if (header->code == LVN_ITEMCHANGING || header->code == LVN_ITEMCHANGED) {
        note.new_state = nm->uNewState;
        note.old_state = nm->uOldState;
        EXPECT_EQ(nm->uChanged, static_cast<UINT>(LVIF_STATE));
      }
      if (header->code != NM_CLICK) note.param = nm->lParam;
    }
    g_notes.push_back(note);
    return header->code == LVN_ITEMCHANGING && g_refuse_changes ? TRUE : 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

// ------------------------------------------------------------------ a list on a white parent

constexpr int kParam = 1000;

class ListViewTest : public ::testing::Test {
 protected:
  explicit ListViewTest(int width = 240, int height = 320) : platform_(Options(width, height)) {
    g_notes.clear();
    g_refuse_changes = false;
  }

  static platform::SessionOptions Options(int width, int height) {
    platform::SessionOptions o;
    o.screen_width = width;
    o.screen_height = height;
    return o;
  }

  int k() { return platform_.session.screen().scale(); }

  // A parent filling the work area and the list at (2,23) 236x175 in it, two
  // columns, the program's two row icons, and `rows` rows.
  HWND Make(DWORD style, int rows, DWORD ex_style = LVS_EX_FULLROWSELECT) {
    WNDCLASSW wc{};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = platform_.instance;
    wc.hbrBackground = GetSysColorBrush(COLOR_WINDOW);
    wc.lpszClassName = u"ListViewTestParent";
    RegisterClassW(&wc);
    parent_ = CreateWindowExW(0, u"ListViewTestParent", u"Lists", WS_VISIBLE, 0, 26 * k(), 240 * k(), 268 * k(),
                              nullptr, nullptr, platform_.instance, nullptr);
    list_ = CreateWindowExW(0, WC_LISTVIEWW, u"", WS_VISIBLE | WS_BORDER | LVS_REPORT | style, 2 * k(), 23 * k(),
                            236 * k(), 175 * k(), parent_, nullptr, platform_.instance, nullptr);
    HIMAGELIST images = ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), ILC_MASK, 1, 1);
    for (int id : {IDI_COMPLETE, IDI_INCOMPLETE}) {
      HICON icon = LoadIconW(platform_.instance, MAKEINTRESOURCEW(id));
      ImageList_ReplaceIcon(images, -1, icon);
      DestroyIcon(icon);
    }
    SendMessageW(list_, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));
    RECT rc;
    GetClientRect(list_, &rc);
    AddColumn(0, u"Appointment", 110 * k());
    AddColumn(1, u"Details", rc.right - 110 * k());
    SendMessageW(list_, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, ex_style);
    for (int i = 0; i < rows; ++i) AddRow(i);
    g_notes.clear();
    return list_;
  }

  void AddColumn(int index, const char16_t* text, int width) {
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.cx = width;
    column.pszText = const_cast<LPWSTR>(text);
    SendMessageW(list_, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
  }

  int AddRow(int i, UINT state = 0) {
    std::u16string text = u"Meeting " + platform::FromUtf8(std::to_string(i));
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | (state ? LVIF_STATE : 0);
    item.iItem = i;
    item.pszText = text.data();
    item.iImage = i % 2;
    item.lParam = kParam + i;
    item.state = state;
    item.stateMask = state;
    int index = static_cast<int>(SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item)));
    std::u16string details = u"Room " + platform::FromUtf8(std::to_string(100 + i)) + u", with the whole team";
    item.mask = LVIF_TEXT;
    item.iItem = index;
    item.iSubItem = 1;
    item.pszText = details.data();
    SendMessageW(list_, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    return index;
  }

  void SetState(int row, UINT state, UINT mask) {
    LVITEMW item{};
    item.state = state;
    item.stateMask = mask;
    SendMessageW(list_, LVM_SETITEMSTATE, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(&item));
  }

  UINT State(int row) { return static_cast<UINT>(SendMessageW(list_, LVM_GETITEMSTATE, row, kSelFoc)); }
  int Send(UINT msg, WPARAM wp = 0, LPARAM lp = 0) { return static_cast<int>(SendMessageW(list_, msg, wp, lp)); }
  int Selected() { return Send(LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED); }

  POINT RowCentre(int row) {
    std::optional<RECT> r = ListViewRowOnScreen(list_, row);
    EXPECT_TRUE(r.has_value()) << "row " << row;
    if (!r) return {0, 0};
    return {(r->left + r->right) / 2, (r->top + r->bottom) / 2};
  }
  void TapRow(Session& s, int row) {
    POINT p = RowCentre(row);
    platform::PostTap(s, p.x, p.y);
  }
  RECT ListOnScreen() { return platform_.session.windows().client_rect_on_screen(list_); }

  void Run() {
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }

  TestPlatform platform_;
  HWND parent_ = nullptr;
  HWND list_ = nullptr;
};

Note Changing(int item, UINT now, UINT was) { return {LVN_ITEMCHANGING, item, now, was, kParam + item}; }
Note Changed(int item, UINT now, UINT was) { return {LVN_ITEMCHANGED, item, now, was, kParam + item}; }
Note Click(int item) { return {NM_CLICK, item, 0, 0, 0}; }
const Note kSetFocus{NM_SETFOCUS, -1, 0, 0, 0};

// ------------------------------------------------------------------ taps

TEST_F(ListViewTest, TapOnARowWithNothingSelectedSelectsAndFocusesIt) {
  Make(LVS_SHOWSELALWAYS, 10);
  platform_.host.then([&](Session& s) { TapRow(s, 2); });
  platform_.host.then([&](Session&) {
    std::vector<Note> expected = {kSetFocus, Changing(2, kSelFoc, 0), Changed(2, kSelFoc, 0), Click(2)};
    EXPECT_EQ(g_notes, expected) << Describe(g_notes);
    EXPECT_EQ(GetFocus(), list_);
    EXPECT_EQ(Send(LVM_GETSELECTIONMARK), 2);
    EXPECT_EQ(Send(LVM_GETSELECTEDCOUNT), 1);
  });
  Run();
}

TEST_F(ListViewTest, TapOnAnotherRowDeselectsTheOldRowFirst) {
  Make(LVS_SHOWSELALWAYS, 10);
  platform_.host.then([&](Session& s) { TapRow(s, 1); });
  platform_.host.then([&](Session& s) {
    g_notes.clear();
    TapRow(s, 3);
  });
  platform_.host.then([&](Session&) {
    std::vector<Note> expected = {Changing(1, 0, kSelFoc), Changed(1, 0, kSelFoc), Changing(3, kSelFoc, 0),
                                  Changed(3, kSelFoc, 0), Click(3)};
    EXPECT_EQ(g_notes, expected) << Describe(g_notes);
    EXPECT_EQ(State(1), 0u);
    EXPECT_EQ(State(3), kSelFoc);
  });
  Run();
}

TEST_F(ListViewTest, TapOnTheSelectedRowChangesNothing) {
  Make(LVS_SHOWSELALWAYS, 10);
  platform_.host.then([&](Session& s) { TapRow(s, 4); });
  platform_.host.then([&](Session& s) {
    g_notes.clear();
    TapRow(s, 4);
  });
  platform_.host.then([&](Session&) { EXPECT_EQ(g_notes, std::vector<Note>{Click(4)}) << Describe(g_notes); });
  Run();
}

TEST_F(ListViewTest, TapBelowTheLastRowDeselectsAllAndKeepsTheMark) {
  Make(LVS_SHOWSELALWAYS, 3);
  platform_.host.then([&](Session& s) { TapRow(s, 1); });
  platform_.host.then([&](Session& s) {
    g_notes.clear();
    RECT list = ListOnScreen();
    platform::PostTap(s, list.left + 40 * k(), list.bottom - 5 * k());
  });
  platform_.host.then([&](Session&) {
    // The row keeps the focus; only the selection goes.
    std::vector<Note> expected = {Changing(1, LVIS_FOCUSED, kSelFoc), Changed(1, LVIS_FOCUSED, kSelFoc), Click(-1)};
    EXPECT_EQ(g_notes, expected) << Describe(g_notes);
    EXPECT_EQ(Send(LVM_GETSELECTIONMARK), 1);
    EXPECT_EQ(Send(LVM_GETSELECTEDCOUNT), 0);
  });
  Run();
}

TEST_F(ListViewTest, ParentRefusingTheChangeKeepsTheState) {
  Make(LVS_SHOWSELALWAYS, 5);
  platform_.host.then([&](Session& s) {
    g_refuse_changes = true;
    TapRow(s, 2);
  });
  platform_.host.then([&](Session&) {
    EXPECT_EQ(Only({LVN_ITEMCHANGING, LVN_ITEMCHANGED}), std::vector<Note>{Changing(2, kSelFoc, 0)})
        << Describe(g_notes);
    EXPECT_EQ(State(2), 0u);
  });
  Run();
}

// ------------------------------------------------------------------ program messages

TEST_F(ListViewTest, InsertingSettingTextsAndIconsAndDeletingAllSendNoItemChanged) {
  Make(LVS_SHOWSELALWAYS, 0);
  AddRow(0);
  AddRow(1, LVIS_SELECTED | LVIS_FOCUSED);  // a state given with the row is set silently
  AddRow(2);
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM;
  item.iItem = 0;
  item.pszText = const_cast<LPWSTR>(u"Renamed");
  item.iImage = 1;
  item.lParam = 77;
  Send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  item.mask = LVIF_TEXT;
  item.iSubItem = 1;
  Send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
  EXPECT_EQ(State(1), kSelFoc);
  Send(LVM_DELETEALLITEMS);
  std::vector<UINT> expected = {LVN_INSERTITEM,     LVN_INSERTITEM, LVN_INSERTITEM, LVN_DELETEALLITEMS,
                                LVN_DELETEITEM,     LVN_DELETEITEM, LVN_DELETEITEM};
  EXPECT_EQ(Codes(g_notes), expected) << Describe(g_notes);
  EXPECT_EQ(Send(LVM_GETITEMCOUNT), 0);
}

TEST_F(ListViewTest, ProgramStateChangesAreNotified) {
  struct Case {
    const char* name;
    int row;
    UINT state, mask;
    std::vector<Note> expected;
  };
  // Each case starts from row 1 selected and focused, by program.
  std::vector<Case> cases = {
      {"select another row: focus moves first", 3, kSelFoc, kSelFoc,
       {Changing(1, LVIS_SELECTED, kSelFoc), Changed(1, LVIS_SELECTED, kSelFoc), Changing(3, kSelFoc, 0),
        Changed(3, kSelFoc, 0)}},
      {"add a selection", 4, LVIS_SELECTED, LVIS_SELECTED,
       {Changing(4, LVIS_SELECTED, 0), Changed(4, LVIS_SELECTED, 0)}},
      {"deselect every row", -1, 0, LVIS_SELECTED,
       {Changing(1, LVIS_FOCUSED, kSelFoc), Changed(1, LVIS_FOCUSED, kSelFoc)}},
      {"the state it already has", 1, kSelFoc, kSelFoc, {}},
      {"focus every row is refused", -1, LVIS_FOCUSED, LVIS_FOCUSED, {}},
  };
  Make(LVS_SHOWSELALWAYS, 6);
  for (const Case& c : cases) {
    SetState(-1, 0, kSelFoc);
    SetState(1, kSelFoc, kSelFoc);
    g_notes.clear();
    SetState(c.row, c.state, c.mask);
    EXPECT_EQ(g_notes, c.expected) << c.name << ": " << Describe(g_notes);
  }
}

TEST_F(ListViewTest, SetItemWithAStateIsNotified) {
  Make(LVS_SHOWSELALWAYS, 4);
  LVITEMW item{};
  item.mask = LVIF_STATE | LVIF_TEXT;
  item.iItem = 2;
  item.pszText = const_cast<LPWSTR>(u"Now selected");
  item.state = LVIS_SELECTED;
  item.stateMask = LVIS_SELECTED;
  EXPECT_TRUE(Send(LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  EXPECT_EQ(g_notes, (std::vector<Note>{Changing(2, LVIS_SELECTED, 0), Changed(2, LVIS_SELECTED, 0)}))
      << Describe(g_notes);
}

TEST_F(ListViewTest, SingleSelectionClearsTheOtherRowsMultipleKeepsThem) {
  struct Case {
    DWORD style;
    int selected_count;
    UINT first_row_state;
  } cases[] = {{LVS_SINGLESEL, 1, 0}, {0, 2, LVIS_SELECTED}};
  for (const Case& c : cases) {
    DestroyWindow(parent_);
    Make(c.style, 6);
    SetState(2, LVIS_SELECTED, LVIS_SELECTED);
    g_notes.clear();
    SetState(5, LVIS_SELECTED, LVIS_SELECTED);
    EXPECT_EQ(Send(LVM_GETSELECTEDCOUNT), c.selected_count) << c.style;
    EXPECT_EQ(State(2), c.first_row_state) << c.style;
    EXPECT_EQ(Only({LVN_ITEMCHANGED}).back(), Changed(5, LVIS_SELECTED, 0)) << Describe(g_notes);
  }
}

TEST_F(ListViewTest, SelectionMarkFollowsTapsAndIsClearedByDeleteAll) {
  Make(LVS_SHOWSELALWAYS, 8);
  EXPECT_EQ(Send(LVM_GETSELECTIONMARK), -1);
  platform_.host.then([&](Session& s) { TapRow(s, 5); });
  platform_.host.then([&](Session& s) {
    EXPECT_EQ(Send(LVM_GETSELECTIONMARK), 5);
    TapRow(s, 2);
  });
  platform_.host.then([&](Session&) {
    EXPECT_EQ(Send(LVM_GETSELECTIONMARK), 2);
    EXPECT_EQ(Send(LVM_SETSELECTIONMARK, 0, 6), 2);
    EXPECT_EQ(Send(LVM_GETSELECTIONMARK), 6);
    Send(LVM_DELETEITEM, 0);  // rows after the deleted one move up, and the mark with them
    EXPECT_EQ(Send(LVM_GETSELECTIONMARK), 5);
    EXPECT_TRUE(Send(LVM_DELETEALLITEMS));
    EXPECT_EQ(Send(LVM_GETSELECTIONMARK), -1);
    EXPECT_EQ(Send(LVM_GETTOPINDEX), 0);
  });
  Run();
}

TEST_F(ListViewTest, GetItemOutOfRangeWritesNothing) {
  Make(0, 3);
  for (int row : {-1, 3, 100}) {
    LVITEMW item;
    std::memset(&item, 0xA5, sizeof item);
    char16_t buffer[16];
    std::memset(buffer, 0xA5, sizeof buffer);
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    item.iItem = row;
    item.iSubItem = 0;
    item.pszText = buffer;
    item.cchTextMax = 16;
    item.stateMask = kSelFoc;
    LVITEMW before;
    std::memcpy(&before, &item, sizeof item);
    EXPECT_FALSE(Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) << row;
    EXPECT_EQ(std::memcmp(&before, &item, sizeof item), 0) << row;
    for (char16_t c : buffer) EXPECT_EQ(c, 0xA5A5) << row;
  }
}

TEST_F(ListViewTest, GetItemReturnsWhatWasSet) {
  Make(0, 3);
  SetState(1, LVIS_SELECTED, LVIS_SELECTED);
  char16_t buffer[8];
  LVITEMW item{};
  item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
  item.iItem = 1;
  item.pszText = buffer;
  item.cchTextMax = 8;  // "Meeting 1" is cut to seven characters and a terminator
  item.stateMask = kSelFoc;
  ASSERT_TRUE(Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  EXPECT_EQ(std::u16string(buffer), u"Meeting");
  EXPECT_EQ(item.iImage, 1);
  EXPECT_EQ(item.lParam, kParam + 1);
  EXPECT_EQ(item.state, static_cast<UINT>(LVIS_SELECTED));
  char16_t details[64];
  item.mask = LVIF_TEXT;
  item.iSubItem = 1;
  item.pszText = details;
  item.cchTextMax = 64;
  ASSERT_TRUE(Send(LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item)));
  EXPECT_EQ(std::u16string(details), u"Room 101, with the whole team");
}

TEST_F(ListViewTest, SetColumnWithOnlyTheWidthChangesOnlyTheWidth) {
  Make(0, 0);
  LVCOLUMNW column{};
  column.mask = LVCF_WIDTH;
  column.cx = 60;
  column.pszText = nullptr;
  column.fmt = LVCFMT_RIGHT;
  EXPECT_TRUE(Send(LVM_SETCOLUMNW, 0, reinterpret_cast<LPARAM>(&column)));
  EXPECT_EQ(Send(LVM_GETCOLUMNWIDTH, 0), 60);
  char16_t text[32] = {};
  LVCOLUMNW got{};
  got.mask = LVCF_WIDTH | LVCF_TEXT | LVCF_FMT;
  got.pszText = text;
  got.cchTextMax = 32;
  EXPECT_TRUE(Send(LVM_GETCOLUMNW, 0, reinterpret_cast<LPARAM>(&got)));
  EXPECT_EQ(got.cx, 60);
  EXPECT_EQ(got.fmt, LVCFMT_LEFT);
  EXPECT_EQ(std::u16string(text), u"Appointment");
  EXPECT_TRUE(Send(LVM_SETCOLUMNWIDTH, 1, MAKELPARAM(90, 0)));
  EXPECT_EQ(Send(LVM_GETCOLUMNWIDTH, 1), 90);
  EXPECT_FALSE(Send(LVM_SETCOLUMNW, 2, reinterpret_cast<LPARAM>(&column)));
  EXPECT_EQ(Send(LVM_GETCOLUMNWIDTH, 2), 0);
}

TEST_F(ListViewTest, ExtendedStyleMaskSelectsTheBitsToChange) {
  struct Case {
    DWORD before, mask, style, after;
  } cases[] = {
      {0, 0, LVS_EX_FULLROWSELECT, LVS_EX_FULLROWSELECT},
      {LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES, 0, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES},
      {LVS_EX_FULLROWSELECT, LVS_EX_GRIDLINES, LVS_EX_GRIDLINES, LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES},
      {LVS_EX_FULLROWSELECT | LVS_EX_GRIDLINES, LVS_EX_GRIDLINES, 0, LVS_EX_FULLROWSELECT},
  };
  Make(0, 0);
  for (const Case& c : cases) {
    Send(LVM_SETEXTENDEDLISTVIEWSTYLE, 0, static_cast<LPARAM>(c.before));
    EXPECT_EQ(static_cast<DWORD>(Send(LVM_SETEXTENDEDLISTVIEWSTYLE, c.mask, static_cast<LPARAM>(c.style))), c.before);
    EXPECT_EQ(static_cast<DWORD>(Send(LVM_GETEXTENDEDLISTVIEWSTYLE)), c.after);
  }
}

TEST_F(ListViewTest, GetNextItemFindsRowsByState) {
  Make(0, 8);
  SetState(2, LVIS_SELECTED, LVIS_SELECTED);
  SetState(5, kSelFoc, kSelFoc);
  struct Case {
    int start;
    UINT flags;
    int found;
  } cases[] = {
      {-1, LVNI_SELECTED, 2}, {2, LVNI_SELECTED, 5}, {5, LVNI_SELECTED, -1}, {-1, LVNI_FOCUSED, 5},
      {-1, LVNI_SELECTED | LVNI_FOCUSED, 5}, {-1, LVNI_ALL, 0}, {6, LVNI_ALL, 7}, {7, LVNI_ALL, -1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(Send(LVM_GETNEXTITEM, static_cast<WPARAM>(c.start), c.flags), c.found) << c.start << " " << c.flags;
}

TEST_F(ListViewTest, DeletingASelectedRowNotifiesItsDeselectionThenItsDeletion) {
  Make(0, 4);
  SetState(1, kSelFoc, kSelFoc);
  g_notes.clear();
  EXPECT_TRUE(Send(LVM_DELETEITEM, 1));
  std::vector<Note> expected = {Changing(1, 0, kSelFoc), Changed(1, 0, kSelFoc), {LVN_DELETEITEM, 1, 0, 0, kParam + 1}};
  EXPECT_EQ(g_notes, expected) << Describe(g_notes);
  EXPECT_EQ(Send(LVM_GETITEMCOUNT), 3);
  EXPECT_FALSE(Send(LVM_DELETEITEM, 3));
}

// ------------------------------------------------------------------ image lists

TEST(ListViewImageList, KeepsACopyOfEachIconAndReplacesByIndex) {
  TestPlatform t;
  HIMAGELIST list = ImageList_Create(16, 16, ILC_MASK, 1, 1);
  ASSERT_NE(list, nullptr);
  HICON complete = LoadIconW(t.instance, MAKEINTRESOURCEW(IDI_COMPLETE));
  HICON warning = LoadIconW(t.instance, MAKEINTRESOURCEW(IDI_NOTICE));
  EXPECT_EQ(ImageList_ReplaceIcon(list, -1, complete), 0);
  EXPECT_EQ(ImageList_ReplaceIcon(list, -1, complete), 1);
  DestroyIcon(complete);
  EXPECT_EQ(ImageList_GetImageCount(list), 2);
  EXPECT_EQ(ImageList_ReplaceIcon(list, 1, warning), 1);
  EXPECT_EQ(ImageList_ReplaceIcon(list, 2, warning), -1);
  EXPECT_EQ(ImageList_ReplaceIcon(list, -1, complete), -1);  // a destroyed icon
  EXPECT_EQ(ImageList_GetImageCount(list), 2);
  int cx = 0, cy = 0;
  EXPECT_TRUE(ImageList_GetIconSize(list, &cx, &cy));
  EXPECT_EQ(cx, 16);
  EXPECT_EQ(cy, 16);

  // Drawn scaled to the list's size, the copies survive the icon.
  HDC dc = GetDC(nullptr);
  EXPECT_TRUE(ImageList_Draw(list, 0, dc, 10, 10, ILD_NORMAL));
  EXPECT_FALSE(ImageList_Draw(list, 2, dc, 10, 10, ILD_NORMAL));
  ReleaseDC(nullptr, dc);
  EXPECT_EQ(t.session.screen().pixel(12, 12), 0x008000u);  // the square's outline

  EXPECT_TRUE(ImageList_Destroy(list));
  EXPECT_FALSE(ImageList_Destroy(list));
  EXPECT_EQ(ImageList_GetImageCount(list), 0);
  DestroyIcon(warning);
}

TEST_F(ListViewTest, SetImageListReturnsThePreviousOne) {
  Make(0, 0);
  HIMAGELIST first = reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_SMALL));
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(ImageList_GetImageCount(first), 2);
  HIMAGELIST second = ImageList_Create(16, 16, ILC_MASK, 1, 1);
  EXPECT_EQ(reinterpret_cast<HIMAGELIST>(Send(LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(second))), first);
  EXPECT_EQ(reinterpret_cast<HIMAGELIST>(Send(LVM_GETIMAGELIST, LVSIL_SMALL)), second);
  ImageList_Destroy(first);
  // The list owns the image list it holds when it goes, unless it shares them.
  DestroyWindow(list_);
  EXPECT_EQ(ImageList_GetImageCount(second), 0);
  EXPECT_FALSE(ImageList_Destroy(second));
}

// ------------------------------------------------------------------ scrolling

// The look: a header 18 pixels high over rows of 17 (16-pixel icons and one), times the scale.
constexpr int kHeader = 18;
constexpr int kRow = 17;

TEST_F(ListViewTest, DragOnTheRowsScrollsAndALaterTapHitsTheRowUnderIt) {
  Make(LVS_SHOWSELALWAYS, 40);
  RECT list = ListOnScreen();
  int x = list.left + 60;
  platform_.host.then([&](Session& s) {
    platform::PostMouse(s, WM_LBUTTONDOWN, x, list.bottom - 10);
    for (int y = list.bottom - 14; y >= list.bottom - 10 - 5 * kRow; y -= 4) platform::PostMouse(s, WM_MOUSEMOVE, x, y);
    platform::PostMouse(s, WM_LBUTTONUP, x, list.bottom - 10 - 5 * kRow);
  });
  platform_.host.then([&](Session& s) {
    EXPECT_EQ(Send(LVM_GETTOPINDEX), 5);
    EXPECT_EQ(Only({LVN_ITEMCHANGED}).size(), 0u) << Describe(g_notes);
    platform::PostTap(s, x, list.top + kHeader + 7 * kRow + 8);
  });
  platform_.host.then([&](Session& s) {
    EXPECT_EQ(Selected(), 12);
    EXPECT_EQ(Only({LVN_ITEMCHANGED}), std::vector<Note>{Changed(12, kSelFoc, 0)}) << Describe(g_notes);
    // And the highlight is drawn where the stylus was.
    EXPECT_EQ(s.screen().pixel(x + 100, list.top + kHeader + 7 * kRow + 8), 0x316ac5u);
  });
  Run();
}

TEST_F(ListViewTest, ScrollBarArrowsTrackAndThumbScroll) {
  Make(LVS_SHOWSELALWAYS, 40);
  RECT list = ListOnScreen();
  int bar_x = list.right - GetSystemMetrics(SM_CXVSCROLL) / 2 - 1;
  int visible = (175 - 2 - kHeader) / kRow;
  platform_.host.then([&](Session& s) { platform::PostTap(s, bar_x, list.bottom - 3); });  // down arrow
  platform_.host.then([&](Session& s) {
    EXPECT_EQ(Send(LVM_GETTOPINDEX), 1);
    platform::PostTap(s, bar_x, list.bottom - 20);  // the track below the thumb
  });
  platform_.host.then([&](Session& s) {
    EXPECT_EQ(Send(LVM_GETTOPINDEX), 1 + visible);
    platform::PostTap(s, bar_x, list.top + 3);  // up arrow
  });
  platform_.host.then([&](Session& s) {
    EXPECT_EQ(Send(LVM_GETTOPINDEX), visible);
    Send(LVM_ENSUREVISIBLE, 0);
    EXPECT_EQ(Send(LVM_GETTOPINDEX), 0);
    // The thumb sits at the top of the track; drag it to the bottom.
    int thumb_y = list.top + GetSystemMetrics(SM_CXVSCROLL) + 3;
    platform::PostMouse(s, WM_LBUTTONDOWN, bar_x, thumb_y);
    platform::PostMouse(s, WM_MOUSEMOVE, bar_x, list.bottom + 40);
    platform::PostMouse(s, WM_LBUTTONUP, bar_x, list.bottom + 40);
  });
  platform_.host.then([&](Session&) {
    EXPECT_EQ(Send(LVM_GETTOPINDEX), 40 - visible);
    EXPECT_EQ(Send(LVM_GETSELECTEDCOUNT), 0);  // taps on the bar select nothing
  });
  Run();
}

TEST_F(ListViewTest, KeysMoveTheSelectionAndKeepItVisible) {
  Make(LVS_SHOWSELALWAYS, 40);
  int visible = (175 - 2 - kHeader) / kRow;
  platform_.host.then([&](Session& s) {
    SetFocus(list_);
    platform::PostKeys(s, "end");
  });
  platform_.host.then([&](Session& s) {
    EXPECT_EQ(Selected(), 39);
    EXPECT_EQ(Send(LVM_GETTOPINDEX), 40 - visible);
    g_notes.clear();
    platform::PostKeys(s, "up");
  });
  platform_.host.then([&](Session& s) {
    std::vector<Note> expected = {Changed(39, 0, kSelFoc), Changed(38, kSelFoc, 0)};
    EXPECT_EQ(Only({LVN_ITEMCHANGED}), expected) << Describe(g_notes);
    EXPECT_EQ(Send(LVM_GETSELECTIONMARK), 38);
    platform::PostKeys(s, "home");
  });
  platform_.host.then([&](Session& s) {
    EXPECT_EQ(Selected(), 0);
    EXPECT_EQ(Send(LVM_GETTOPINDEX), 0);
    for (int i = 0; i < visible + 2; ++i) platform::PostKeys(s, "down");
  });
  platform_.host.then([&](Session&) {
    EXPECT_EQ(Selected(), visible + 2);
    EXPECT_EQ(Send(LVM_GETTOPINDEX), 3);
  });
  Run();
}

TEST_F(ListViewTest, RowProbeScrollsTheRowIntoView) {
  Make(0, 40);
  EXPECT_FALSE(ListViewRowOnScreen(list_, 40).has_value());
  EXPECT_FALSE(ListViewRowOnScreen(parent_, 0).has_value());
  std::optional<RECT> r = ListViewRowOnScreen(list_, 30);
  ASSERT_TRUE(r.has_value());
  RECT list = ListOnScreen();
  EXPECT_GT(Send(LVM_GETTOPINDEX), 0);
  EXPECT_GE(r->top, list.top + kHeader);
  EXPECT_LE(r->bottom, list.bottom);
  EXPECT_EQ(r->bottom - r->top, kRow);
}

// ------------------------------------------------------------------ pixels

struct Screen {
  int width, height;
  const char* png;
};

class ListViewPixels : public ListViewTest, public ::testing::WithParamInterface<Screen> {
 protected:
  ListViewPixels() : ListViewTest(GetParam().width, GetParam().height) {}
};

TEST_P(ListViewPixels, SelectedRowIsHighlightedAcrossTheRowAndShowsItsIcon) {
  Make(LVS_SHOWSELALWAYS, 15);
  platform_.host.then([&](Session& s) { TapRow(s, 6); });
  platform_.host.then([&](Session&) { Send(LVM_ENSUREVISIBLE, 14); });
  platform_.host.then([&](Session& s) {
    int scale = k();
    ASSERT_EQ(Selected(), 6);
    RECT list = ListOnScreen();
    int top = Send(LVM_GETTOPINDEX);
    EXPECT_GT(top, 0);
    int row_top = list.top + (kHeader + (6 - top) * kRow) * scale;
    auto pixel = [&](int x, int y) { return s.screen().pixel(list.left + x * scale, row_top + y * scale); };
    const std::uint32_t highlight = 0x316ac5, white = 0xffffff, outline = 0x008000;
    // Full-row select: the highlight runs across both columns.
    EXPECT_EQ(pixel(1, 1), highlight);
    EXPECT_EQ(pixel(115, 1), highlight);
    EXPECT_EQ(pixel(220, kRow - 2), highlight);
    // The row below is white.
    EXPECT_EQ(pixel(115, kRow + 1), white);
    // The icon: its square's outline at 2 + 2 from the left, inside the white square.
    EXPECT_EQ(pixel(4, 8), outline);
    EXPECT_EQ(pixel(7, 12), white);
    // The header is button face.
    EXPECT_EQ(s.screen().pixel(list.left + 100 * scale, list.top + 3 * scale), 0xd6d3ceu);
    std::string error;
    EXPECT_TRUE(s.screen().write_png(GetParam().png, &error)) << error;
  });
  Run();
}

INSTANTIATE_TEST_SUITE_P(ListView, ListViewPixels,
                         ::testing::Values(Screen{240, 320, "/tmp/lv-240.png"}, Screen{480, 640, "/tmp/lv-480.png"}));

TEST_F(ListViewTest, HighlightWithoutFocusNeedsShowSelAlways) {
  struct Case {
    DWORD style;
    std::uint32_t colour;
  } cases[] = {{LVS_SHOWSELALWAYS, 0x316ac5}, {0, 0xffffff}};
  for (const Case& c : cases) {
    if (parent_) DestroyWindow(parent_);
    Make(c.style, 5);
    SetState(1, LVIS_SELECTED, LVIS_SELECTED);
    SetFocus(parent_);
    platform_.host.then([&, c](Session& s) {
      RECT list = ListOnScreen();
      EXPECT_EQ(s.screen().pixel(list.left + 150, list.top + kHeader + kRow + 2), c.colour) << c.style;
      PostQuitMessage(0);
    });
    Run();
  }
}

}  // namespace
