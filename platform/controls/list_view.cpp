// The list view "SysListView32" in report view: a header of columns over
// rows of an optional small icon and one text per column, with selection,
// a vertical scroll bar drawn inside the client area, stylus drag scrolling
// and keyboard navigation.
//
// Messages: LVM_SETIMAGELIST, LVM_GETIMAGELIST, LVM_GETITEMCOUNT,
// LVM_INSERTITEMW, LVM_SETITEMW, LVM_GETITEMW, LVM_SETITEMTEXTW,
// LVM_GETITEMTEXTW, LVM_DELETEITEM, LVM_DELETEALLITEMS, LVM_INSERTCOLUMNW,
// LVM_SETCOLUMNW, LVM_GETCOLUMNW, LVM_GETCOLUMNWIDTH, LVM_SETCOLUMNWIDTH,
// LVM_SETEXTENDEDLISTVIEWSTYLE, LVM_GETEXTENDEDLISTVIEWSTYLE,
// LVM_GETSELECTIONMARK, LVM_SETSELECTIONMARK, LVM_GETNEXTITEM,
// LVM_SETITEMSTATE, LVM_GETITEMSTATE, LVM_GETSELECTEDCOUNT,
// LVM_ENSUREVISIBLE, LVM_GETTOPINDEX; taps, drags, Up/Down/Home/End/
// PageUp/PageDown.
// Notifications (WM_NOTIFY to the parent): NM_SETFOCUS, NM_KILLFOCUS,
// NM_CLICK, LVN_ITEMCHANGING (a TRUE reply refuses the change) and
// LVN_ITEMCHANGED for selection and focus changes only, LVN_INSERTITEM,
// LVN_DELETEITEM, LVN_DELETEALLITEMS (a TRUE reply suppresses the
// per-row LVN_DELETEITEM).
// Not supported yet: the icon, small-icon and list views (every view draws
// as a report), sorting styles, label editing, check boxes, grid lines,
// callback texts and images, sub-item images, column resizing by dragging
// the header, header clicks, horizontal scrolling, Ctrl/Shift multiple
// selection by stylus or keyboard, a focus rectangle.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <commctrl.h>

#include "platform/controls/control_probes.h"
#include "platform/controls/image_list.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/core/screen.h"
#include "platform/gdi/text.h"

namespace platform::controls {

namespace {

constexpr UINT kSelectionBits = LVIS_SELECTED | LVIS_FOCUSED;

struct Row {
  std::vector<std::u16string> texts;  // [0] the item's label, [k] sub-item k
  int image = 0;                      // the real control shows image 0 when none is given
  LPARAM param = 0;
  UINT state = 0;
};

struct Column {
  int fmt = LVCFMT_LEFT;
  int width = 0;
  std::u16string text;
  int sub_item = 0;
};

// Where things are, in client coordinates, for the current size and contents.
struct Layout {
  int k = 1;
  int width = 0;
  int height = 0;
  int header_height = 0;
  int row_height = 1;
  int text_height = 0;
  int bar_width = 0;  // 0 while every row fits
  int list_width = 0;
  int visible_rows = 1;
  int max_top = 0;
  // The scroll bar's track and thumb, valid when bar_width > 0.
  int track_top = 0;
  int track_length = 0;
  int thumb_top = 0;
  int thumb_length = 0;
};

enum class Press { none, row, arrow_up, arrow_down, page_up, page_down, thumb };

std::u16string TextOf(LPCWSTR text) { return text ? std::u16string(text) : std::u16string(); }

int CopyOut(const std::u16string& text, LPWSTR out, int capacity) {
  if (!out || capacity <= 0) return 0;
  int n = std::min(static_cast<int>(text.size()), capacity - 1);
  std::copy_n(text.begin(), n, out);
  out[n] = 0;
  return n;
}

class ListViewState : public WindowExtension {
 public:
  explicit ListViewState(HWND hwnd) : hwnd_(hwnd) {}

  // ---- image lists
  HIMAGELIST SetImageList(int which, HIMAGELIST list);
  HIMAGELIST GetImageList(int which) const { return which == LVSIL_SMALL ? small_ : which == LVSIL_NORMAL ? normal_ : nullptr; }
  void DestroyOwnedImageLists();

  // ---- rows
  int Count() const { return static_cast<int>(rows_.size()); }
  int InsertItem(const LVITEMW& item);
  bool SetItem(const LVITEMW& item);
  bool GetItem(LVITEMW& item) const;
  bool SetItemText(int row, const LVITEMW& item);
  int GetItemText(int row, LVITEMW& item) const;
  bool DeleteItem(int row);
  bool DeleteAllItems();

  // ---- columns
  int InsertColumn(int index, const LVCOLUMNW& column);
  bool SetColumn(int index, const LVCOLUMNW& column);
  bool GetColumn(int index, LVCOLUMNW& column) const;
  int ColumnWidth(int index) const;
  bool SetColumnWidth(int index, int width);

  DWORD SetExtendedStyle(DWORD mask, DWORD style);
  DWORD ExtendedStyle() const { return ex_style_; }

  // ---- selection
  int SelectionMark() const { return mark_; }
  int SetSelectionMark(int mark);
  int NextItem(int start, UINT flags) const;
  bool SetItemState(int row, UINT state, UINT mask);
  UINT ItemState(int row, UINT mask) const;
  int SelectedCount() const;

  // ---- scrolling
  int TopIndex() const { return top_; }
  bool EnsureVisible(int row);
  std::optional<RECT> RowRect(int row) const;

  // ---- input and painting
  void OnFocus(bool gained);
  void OnButtonDown(int x, int y);
  void OnMouseMove(int x, int y);
  void OnButtonUp(int x, int y);
  void OnCaptureLost() { press_ = Press::none; }
  void OnKeyDown(WPARAM key);
  void OnSize() { ScrollTo(top_); }
  void Paint(cairo_t* cr) const;

 private:
  Layout ComputeLayout() const;
  FontSpec Font() const;
  DWORD Style() const;
  bool Alive() const;
  bool Highlighted(const Row& row) const;
  int RowAt(const Layout& layout, int x, int y) const;

  LRESULT Notify(UINT code, NMLISTVIEW& nm) const;
  // Moves one row's state under `mask` to `state`, asking the parent first.
  // False when the parent refused or the window went away meanwhile.
  bool ChangeRowState(int row, UINT state, UINT mask);
  // A tap or key on a row: it alone is selected and focused, and marked.
  void SelectOnly(int row);
  void DeselectAll();

  void ScrollTo(int top);
  void Invalidate() const { InvalidateRect(hwnd_, nullptr, FALSE); }

  void PaintHeader(cairo_t* cr, const Layout& l, const FontSpec& font) const;
  void PaintRow(cairo_t* cr, const Layout& l, const FontSpec& font, int index, int y) const;
  void PaintScrollBar(cairo_t* cr, const Layout& l) const;

  HWND hwnd_;
  std::vector<Row> rows_;
  std::vector<Column> columns_;
  HIMAGELIST small_ = nullptr;
  HIMAGELIST normal_ = nullptr;
  DWORD ex_style_ = 0;
  int mark_ = -1;
  int top_ = 0;

  Press press_ = Press::none;
  POINT press_point_{};
  int press_top_ = 0;
  int thumb_grab_ = 0;  // where in the thumb the stylus took it
  bool dragging_ = false;
};

ListViewState* StateOf(HWND hwnd) {
  Window* w = Session::current().windows().get(hwnd);
  return w ? dynamic_cast<ListViewState*>(w->extension.get()) : nullptr;
}

// ------------------------------------------------------------------ geometry

DWORD ListViewState::Style() const {
  Window* w = Session::current().windows().get(hwnd_);
  return w ? w->style : 0;
}

bool ListViewState::Alive() const { return StateOf(hwnd_) == this; }

FontSpec ListViewState::Font() const {
  Session& s = Session::current();
  Window* w = s.windows().get(hwnd_);
  return platform::GdiObjects::of(s).font_spec(w && w->font ? w->font : platform::GdiObjects::of(s).system_font());
}

Layout ListViewState::ComputeLayout() const {
  Session& s = Session::current();
  Layout l;
  l.k = s.screen().scale();
  RECT rc = s.windows().client_rect(hwnd_);
  l.width = rc.right;
  l.height = rc.bottom;
  l.text_height = MeasureText(Font(), u"Ay").height;
  int icon_height = 0;
  if (ImageList* list = ImageLists::of(s).get(small_)) icon_height = list->cy;
  l.row_height = std::max({16 * l.k, l.text_height + 2 * l.k, icon_height + l.k});
  l.header_height = (Style() & LVS_NOCOLUMNHEADER) ? 0 : std::max(18 * l.k, l.text_height + 4 * l.k);
  int area = std::max(0, l.height - l.header_height);
  int whole = area / l.row_height;
  l.visible_rows = std::max(1, whole);
  l.max_top = std::max(0, Count() - l.visible_rows);
  l.list_width = l.width;
  if (Count() > whole) {
    l.bar_width = GetSystemMetrics(SM_CXVSCROLL);
    l.list_width = std::max(0, l.width - l.bar_width);
    int arrow = l.bar_width;
    l.track_top = arrow;
    l.track_length = std::max(0, l.height - 2 * arrow);
    int minimum = std::min(l.track_length, 8 * l.k);
    l.thumb_length = std::clamp(l.track_length * l.visible_rows / std::max(1, Count()), minimum, l.track_length);
    int travel = l.track_length - l.thumb_length;
    l.thumb_top = l.track_top + (l.max_top > 0 ? travel * std::min(top_, l.max_top) / l.max_top : 0);
  }
  return l;
}

int ListViewState::RowAt(const Layout& l, int x, int y) const {
  if (y < l.header_height || x < 0 || x >= l.list_width) return -1;
  int row = top_ + (y - l.header_height) / l.row_height;
  if (row >= Count()) return -1;
  if (!(ex_style_ & LVS_EX_FULLROWSELECT)) {
    // Without full-row select only the first column's item answers a tap.
    int first = columns_.empty() ? l.list_width : columns_[0].width;
    if (x >= first) return -1;
  }
  return row;
}

std::optional<RECT> ListViewState::RowRect(int row) const {
  if (row < 0 || row >= Count()) return std::nullopt;
  Layout l = ComputeLayout();
  int y = l.header_height + (row - top_) * l.row_height;
  return RECT{0, y, l.list_width, y + l.row_height};
}

void ListViewState::ScrollTo(int top) {
  Layout l = ComputeLayout();
  int clamped = std::clamp(top, 0, l.max_top);
  if (clamped != top_) {
    top_ = clamped;
    Invalidate();
  }
}

bool ListViewState::EnsureVisible(int row) {
  if (row < 0 || row >= Count()) return false;
  Layout l = ComputeLayout();
  if (row < top_)
    ScrollTo(row);
  else if (row >= top_ + l.visible_rows)
    ScrollTo(row - l.visible_rows + 1);
  return true;
}

// ------------------------------------------------------------------ image lists

HIMAGELIST ListViewState::SetImageList(int which, HIMAGELIST list) {
  HIMAGELIST* slot = which == LVSIL_SMALL ? &small_ : which == LVSIL_NORMAL ? &normal_ : nullptr;
  if (!slot) return nullptr;
  HIMAGELIST old = *slot;
  *slot = list;
  ScrollTo(top_);  // the row height follows the icons
  Invalidate();
  return old;
}

void ListViewState::DestroyOwnedImageLists() {
  // Without LVS_SHAREIMAGELISTS the control owns its image lists, as the real one does.
  if (Style() & LVS_SHAREIMAGELISTS) return;
  ImageLists& lists = ImageLists::of(Session::current());
  if (small_) lists.remove(small_);
  if (normal_ && normal_ != small_) lists.remove(normal_);
  small_ = normal_ = nullptr;
}

// ------------------------------------------------------------------ notifications

LRESULT ListViewState::Notify(UINT code, NMLISTVIEW& nm) const {
  HWND parent = GetParent(hwnd_);
  if (!parent) return 0;
  nm.hdr.hwndFrom = hwnd_;
  nm.hdr.idFrom = static_cast<UINT>(GetDlgCtrlID(hwnd_));
  nm.hdr.code = code;
  return SendMessageW(parent, WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
}

bool ListViewState::ChangeRowState(int row, UINT state, UINT mask) {
  if (row < 0 || row >= Count()) return false;
  UINT old_state = rows_[static_cast<size_t>(row)].state;
  UINT new_state = (old_state & ~mask) | (state & mask);
  if (new_state == old_state) return true;
  NMLISTVIEW nm{};
  nm.iItem = row;
  nm.uNewState = new_state;
  nm.uOldState = old_state;
  nm.uChanged = LVIF_STATE;
  nm.ptAction = {-1, -1};
  nm.lParam = rows_[static_cast<size_t>(row)].param;
  if (Notify(LVN_ITEMCHANGING, nm)) return false;
  if (!Alive() || row >= Count()) return false;
  Row& r = rows_[static_cast<size_t>(row)];
  r.state = (r.state & ~mask) | (state & mask);
  if ((new_state & LVIS_FOCUSED) && !(old_state & LVIS_FOCUSED)) {
    // Only one row holds the focus.
    for (size_t i = 0; i < rows_.size(); ++i)
      if (static_cast<int>(i) != row) rows_[i].state &= ~static_cast<UINT>(LVIS_FOCUSED);
  }
  Invalidate();
  Notify(LVN_ITEMCHANGED, nm);
  return Alive();
}

// ------------------------------------------------------------------ rows

int ListViewState::InsertItem(const LVITEMW& item) {
  if (item.iSubItem != 0 || item.iItem < 0) return -1;
  int index = std::min(item.iItem, Count());
  Row row;
  row.texts.resize(1);
  if (item.mask & LVIF_TEXT) row.texts[0] = TextOf(item.pszText);
  if (item.mask & LVIF_IMAGE) row.image = item.iImage;
  if (item.mask & LVIF_PARAM) row.param = item.lParam;
  if (item.mask & LVIF_STATE) row.state = item.state & item.stateMask;
  // A state given with the row is taken silently, with no notification.
  if (row.state & LVIS_FOCUSED)
    for (Row& other : rows_) other.state &= ~static_cast<UINT>(LVIS_FOCUSED);
  if ((row.state & LVIS_SELECTED) && (Style() & LVS_SINGLESEL))
    for (Row& other : rows_) other.state &= ~static_cast<UINT>(LVIS_SELECTED);
  LPARAM param = row.param;
  rows_.insert(rows_.begin() + index, std::move(row));
  if (mark_ >= index) ++mark_;
  Invalidate();
  NMLISTVIEW nm{};
  nm.iItem = index;
  nm.lParam = param;
  Notify(LVN_INSERTITEM, nm);
  return index;
}

bool ListViewState::SetItem(const LVITEMW& item) {
  if (item.iItem < 0 || item.iItem >= Count()) return false;
  if (item.iSubItem < 0) return false;
  if (item.iSubItem > 0) {
    if (item.iSubItem >= static_cast<int>(columns_.size())) return false;
    return (item.mask & LVIF_TEXT) ? SetItemText(item.iItem, item) : true;
  }
  Row& row = rows_[static_cast<size_t>(item.iItem)];
  // Texts, images and params change without notification.
  if (item.mask & LVIF_TEXT) row.texts[0] = TextOf(item.pszText);
  if (item.mask & LVIF_IMAGE) row.image = item.iImage;
  if (item.mask & LVIF_PARAM) row.param = item.lParam;
  Invalidate();
  if (item.mask & LVIF_STATE) return SetItemState(item.iItem, item.state, item.stateMask);
  return true;
}

bool ListViewState::GetItem(LVITEMW& item) const {
  if (item.iItem < 0 || item.iItem >= Count()) return false;
  if (item.iSubItem < 0 || item.iSubItem >= std::max<int>(1, static_cast<int>(columns_.size()))) return false;
  const Row& row = rows_[static_cast<size_t>(item.iItem)];
  if (item.mask & LVIF_TEXT) {
    size_t sub = static_cast<size_t>(item.iSubItem);
    CopyOut(sub < row.texts.size() ? row.texts[sub] : std::u16string(), item.pszText, item.cchTextMax);
  }
  if (item.iSubItem > 0) return true;
  if (item.mask & LVIF_IMAGE) item.iImage = row.image;
  if (item.mask & LVIF_PARAM) item.lParam = row.param;
  if (item.mask & LVIF_STATE) item.state = row.state & item.stateMask;
  return true;
}

bool ListViewState::SetItemText(int index, const LVITEMW& item) {
  if (index < 0 || index >= Count() || item.iSubItem < 0) return false;
  if (item.iSubItem > 0 && item.iSubItem >= static_cast<int>(columns_.size())) return false;
  Row& row = rows_[static_cast<size_t>(index)];
  size_t sub = static_cast<size_t>(item.iSubItem);
  if (row.texts.size() <= sub) row.texts.resize(sub + 1);
  row.texts[sub] = TextOf(item.pszText);
  Invalidate();
  return true;
}

int ListViewState::GetItemText(int index, LVITEMW& item) const {
  if (index < 0 || index >= Count() || item.iSubItem < 0) return 0;
  const Row& row = rows_[static_cast<size_t>(index)];
  size_t sub = static_cast<size_t>(item.iSubItem);
  return CopyOut(sub < row.texts.size() ? row.texts[sub] : std::u16string(), item.pszText, item.cchTextMax);
}

bool ListViewState::DeleteItem(int index) {
  if (index < 0 || index >= Count()) return false;
  // The row gives up selection and focus first, with notification, as on the real control.
  if (!ChangeRowState(index, 0, kSelectionBits) && !Alive()) return false;
  if (index >= Count()) return false;
  NMLISTVIEW nm{};
  nm.iItem = index;
  nm.lParam = rows_[static_cast<size_t>(index)].param;
  Notify(LVN_DELETEITEM, nm);
  if (!Alive() || index >= Count()) return false;
  rows_.erase(rows_.begin() + index);
  // The mark stays on the position it had, now the next row, as the real control's does.
  if (mark_ > index) --mark_;
  if (mark_ >= Count()) mark_ = -1;
  ScrollTo(top_);
  Invalidate();
  return true;
}

bool ListViewState::DeleteAllItems() {
  // Selection and focus go silently.
  for (Row& row : rows_) row.state &= ~kSelectionBits;
  mark_ = -1;
  NMLISTVIEW nm{};
  nm.iItem = -1;
  bool suppress = Notify(LVN_DELETEALLITEMS, nm) != 0;
  if (!Alive()) return false;
  std::vector<Row> gone = std::move(rows_);
  rows_.clear();
  top_ = 0;
  press_ = Press::none;
  Invalidate();
  if (!suppress) {
    HWND self = hwnd_;
    for (int i = static_cast<int>(gone.size()) - 1; i >= 0; --i) {
      NMLISTVIEW each{};
      each.iItem = i;
      each.lParam = gone[static_cast<size_t>(i)].param;
      Notify(LVN_DELETEITEM, each);
      if (StateOf(self) != this) break;
    }
  }
  return true;
}

// ------------------------------------------------------------------ columns

int ListViewState::InsertColumn(int index, const LVCOLUMNW& in) {
  if (index < 0) return -1;
  index = std::min(index, static_cast<int>(columns_.size()));
  Column column;
  column.sub_item = index;
  if (in.mask & LVCF_FMT) column.fmt = in.fmt;
  if (in.mask & LVCF_WIDTH) column.width = std::max(0, in.cx);
  if (in.mask & LVCF_TEXT) column.text = TextOf(in.pszText);
  if (in.mask & LVCF_SUBITEM) column.sub_item = in.iSubItem;
  columns_.insert(columns_.begin() + index, std::move(column));
  // Sub-item texts follow their columns.
  if (index > 0)
    for (Row& row : rows_)
      if (row.texts.size() > static_cast<size_t>(index)) row.texts.insert(row.texts.begin() + index, std::u16string());
  Invalidate();
  return index;
}

bool ListViewState::SetColumn(int index, const LVCOLUMNW& in) {
  if (index < 0 || index >= static_cast<int>(columns_.size())) return false;
  Column& column = columns_[static_cast<size_t>(index)];
  if (in.mask & LVCF_FMT) column.fmt = in.fmt;
  if (in.mask & LVCF_WIDTH) column.width = std::max(0, in.cx);
  if (in.mask & LVCF_TEXT) column.text = TextOf(in.pszText);
  if (in.mask & LVCF_SUBITEM) column.sub_item = in.iSubItem;
  Invalidate();
  return true;
}

bool ListViewState::GetColumn(int index, LVCOLUMNW& out) const {
  if (index < 0 || index >= static_cast<int>(columns_.size())) return false;
  const Column& column = columns_[static_cast<size_t>(index)];
  if (out.mask & LVCF_FMT) out.fmt = column.fmt;
  if (out.mask & LVCF_WIDTH) out.cx = column.width;
  if (out.mask & LVCF_TEXT) CopyOut(column.text, out.pszText, out.cchTextMax);
  if (out.mask & LVCF_SUBITEM) out.iSubItem = column.sub_item;
  return true;
}

int ListViewState::ColumnWidth(int index) const {
  if (index < 0 || index >= static_cast<int>(columns_.size())) return 0;
  return columns_[static_cast<size_t>(index)].width;
}

bool ListViewState::SetColumnWidth(int index, int width) {
  if (index < 0 || index >= static_cast<int>(columns_.size()) || width < 0) return false;
  columns_[static_cast<size_t>(index)].width = width;
  Invalidate();
  return true;
}

DWORD ListViewState::SetExtendedStyle(DWORD mask, DWORD style) {
  DWORD old = ex_style_;
  if (mask == 0) mask = ~DWORD{0};
  ex_style_ = (ex_style_ & ~mask) | (style & mask);
  Invalidate();
  return old;
}

// ------------------------------------------------------------------ selection

int ListViewState::SetSelectionMark(int mark) {
  int old = mark_;
  mark_ = mark < Count() ? std::max(-1, mark) : -1;
  return old;
}

int ListViewState::NextItem(int start, UINT flags) const {
  UINT wanted = 0;
  if (flags & LVNI_SELECTED) wanted |= LVIS_SELECTED;
  if (flags & LVNI_FOCUSED) wanted |= LVIS_FOCUSED;
  for (int i = std::max(-1, start) + 1; i < Count(); ++i)
    if ((rows_[static_cast<size_t>(i)].state & wanted) == wanted) return i;
  return -1;
}

bool ListViewState::SetItemState(int row, UINT state, UINT mask) {
  HWND self = hwnd_;
  if (row == -1) {
    // Selecting every row of a single-selection list, or focusing every row, is refused.
    if ((state & mask & LVIS_SELECTED) && (Style() & LVS_SINGLESEL)) return false;
    if (state & mask & LVIS_FOCUSED) return false;
    bool ok = true;
    for (int i = 0; i < Count(); ++i) {
      if (!ChangeRowState(i, state, mask)) ok = false;
      if (StateOf(self) != this) return false;
    }
    return ok;
  }
  if (row < 0 || row >= Count()) return false;
  UINT gained = state & mask & ~rows_[static_cast<size_t>(row)].state;
  // The rows that lose out change first, then the row itself.
  if ((gained & LVIS_SELECTED) && (Style() & LVS_SINGLESEL)) {
    for (int i = 0; i < Count(); ++i) {
      if (i != row && (rows_[static_cast<size_t>(i)].state & LVIS_SELECTED)) ChangeRowState(i, 0, LVIS_SELECTED);
      if (StateOf(self) != this) return false;
    }
  }
  if (gained & LVIS_FOCUSED) {
    int focused = NextItem(-1, LVNI_FOCUSED);
    // The mark follows the first focused row when none was set, as on the real control.
    if (focused == -1 && mark_ == -1) mark_ = row;
    if (focused != -1 && focused != row) ChangeRowState(focused, 0, LVIS_FOCUSED);
    if (StateOf(self) != this) return false;
  }
  if (row >= Count()) return false;
  return ChangeRowState(row, state, mask);
}

UINT ListViewState::ItemState(int row, UINT mask) const {
  if (row < 0 || row >= Count()) return 0;
  return rows_[static_cast<size_t>(row)].state & mask;
}

int ListViewState::SelectedCount() const {
  return static_cast<int>(std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return (r.state & LVIS_SELECTED) != 0; }));
}

void ListViewState::SelectOnly(int row) {
  HWND self = hwnd_;
  for (int i = 0; i < Count(); ++i) {
    if (i != row && (rows_[static_cast<size_t>(i)].state & kSelectionBits)) ChangeRowState(i, 0, kSelectionBits);
    if (StateOf(self) != this) return;
  }
  if (row >= Count()) return;
  // The mark moves before the change is reported, so a parent that reads
  // the mark when told of the change finds the row that was just chosen.
  int previous_mark = mark_;
  mark_ = row;
  if (!ChangeRowState(row, kSelectionBits, kSelectionBits) && StateOf(self) == this && row < Count() &&
      !(rows_[static_cast<size_t>(row)].state & LVIS_SELECTED))
    mark_ = previous_mark;  // the parent refused the change
}

void ListViewState::DeselectAll() {
  HWND self = hwnd_;
  for (int i = 0; i < Count(); ++i) {
    if (rows_[static_cast<size_t>(i)].state & LVIS_SELECTED) ChangeRowState(i, 0, LVIS_SELECTED);
    if (StateOf(self) != this) return;
  }
}

// ------------------------------------------------------------------ input

void ListViewState::OnFocus(bool gained) {
  Invalidate();  // without LVS_SHOWSELALWAYS the highlight shows only with the focus
  NMLISTVIEW nm{};
  nm.iItem = -1;
  Notify(gained ? NM_SETFOCUS : NM_KILLFOCUS, nm);
}

void ListViewState::OnButtonDown(int x, int y) {
  HWND self = hwnd_;
  if (GetFocus() != hwnd_) SetFocus(hwnd_);
  if (StateOf(self) != this) return;
  Layout l = ComputeLayout();
  press_point_ = {x, y};
  press_top_ = top_;
  dragging_ = false;
  press_ = Press::none;
  if (l.bar_width > 0 && x >= l.list_width) {
    if (y < l.track_top) {
      press_ = Press::arrow_up;
      ScrollTo(top_ - 1);
    } else if (y >= l.track_top + l.track_length) {
      press_ = Press::arrow_down;
      ScrollTo(top_ + 1);
    } else if (y < l.thumb_top) {
      press_ = Press::page_up;
      ScrollTo(top_ - l.visible_rows);
    } else if (y >= l.thumb_top + l.thumb_length) {
      press_ = Press::page_down;
      ScrollTo(top_ + l.visible_rows);
    } else {
      press_ = Press::thumb;
      thumb_grab_ = y - l.thumb_top;
    }
  } else if (y >= l.header_height) {
    press_ = Press::row;
  }
  if (press_ != Press::none) SetCapture(hwnd_);
}

void ListViewState::OnMouseMove(int x, int y) {
  if (press_ == Press::thumb) {
    Layout l = ComputeLayout();
    int travel = l.track_length - l.thumb_length;
    if (travel <= 0) return;
    int offset = std::clamp(y - thumb_grab_ - l.track_top, 0, travel);
    ScrollTo((offset * l.max_top + travel / 2) / travel);
    return;
  }
  if (press_ != Press::row) return;
  Layout l = ComputeLayout();
  int slop = 4 * l.k;
  if (!dragging_ && std::abs(y - press_point_.y) <= slop && std::abs(x - press_point_.x) <= slop) return;
  // A stylus moved across the rows scrolls them instead of selecting.
  dragging_ = true;
  int moved = press_point_.y - y;
  int rows = (moved >= 0 ? moved + l.row_height / 2 : moved - l.row_height / 2) / l.row_height;
  ScrollTo(press_top_ + rows);
}

void ListViewState::OnButtonUp(int x, int y) {
  Press press = press_;
  press_ = Press::none;
  if (GetCapture() == hwnd_) ReleaseCapture();
  if (press != Press::row || dragging_) return;
  HWND self = hwnd_;
  Layout l = ComputeLayout();
  int row = RowAt(l, press_point_.x, press_point_.y);
  if (row >= 0)
    SelectOnly(row);
  else
    DeselectAll();  // the selection mark stays, as on the real control
  if (StateOf(self) != this) return;
  NMLISTVIEW nm{};
  nm.iItem = row;
  nm.ptAction = {x, y};
  if (row >= 0) nm.lParam = rows_[static_cast<size_t>(row)].param;
  Notify(NM_CLICK, nm);
}

void ListViewState::OnKeyDown(WPARAM key) {
  if (rows_.empty()) return;
  int focused = NextItem(-1, LVNI_FOCUSED);
  int page = std::max(1, ComputeLayout().visible_rows - 1);
  int target;
  switch (key) {
    case VK_UP: target = focused < 0 ? 0 : focused - 1; break;
    case VK_DOWN: target = focused < 0 ? 0 : focused + 1; break;
    case VK_PRIOR: target = focused < 0 ? 0 : focused - page; break;
    case VK_NEXT: target = focused < 0 ? 0 : focused + page; break;
    case VK_HOME: target = 0; break;
    case VK_END: target = Count() - 1; break;
    default: return;
  }
  target = std::clamp(target, 0, Count() - 1);
  HWND self = hwnd_;
  SelectOnly(target);
  if (StateOf(self) == this) EnsureVisible(target);
}

// ------------------------------------------------------------------ painting

bool ListViewState::Highlighted(const Row& row) const {
  if (!(row.state & LVIS_SELECTED)) return false;
  return GetFocus() == hwnd_ || (Style() & LVS_SHOWSELALWAYS);
}

void ListViewState::Paint(cairo_t* cr) const {
  Layout l = ComputeLayout();
  FontSpec font = Font();
  FillRectangle(cr, 0, 0, l.width, l.height, GetSysColor(COLOR_WINDOW));
  for (int i = top_; i < Count(); ++i) {
    int y = l.header_height + (i - top_) * l.row_height;
    if (y >= l.height) break;
    PaintRow(cr, l, font, i, y);
  }
  if (l.header_height > 0) PaintHeader(cr, l, font);
  if (l.bar_width > 0) PaintScrollBar(cr, l);
}

void ListViewState::PaintHeader(cairo_t* cr, const Layout& l, const FontSpec& font) const {
  int k = l.k;
  COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  FillRectangle(cr, 0, 0, l.list_width, l.header_height, GetSysColor(COLOR_BTNFACE));
  FillRectangle(cr, 0, l.header_height - 1, l.list_width, 1, shadow);
  cairo_save(cr);
  cairo_rectangle(cr, 0, 0, l.list_width, l.header_height);
  cairo_clip(cr);
  int x = 0;
  int text_y = (l.header_height - l.text_height) / 2;
  for (const Column& column : columns_) {
    std::u16string text = EllipsizeToWidth(font, column.text, column.width - 10 * k);
    if (column.width > 10 * k) DrawTextLine(cr, font, text, x + 5 * k, text_y, GetSysColor(COLOR_BTNTEXT));
    int right = x + column.width;
    FillRectangle(cr, right - 1, 2 * k, 1, l.header_height - 4 * k, shadow);
    FillRectangle(cr, right, 2 * k, 1, l.header_height - 4 * k, GetSysColor(COLOR_WINDOW));
    x = right;
  }
  cairo_restore(cr);
}

void ListViewState::PaintRow(cairo_t* cr, const Layout& l, const FontSpec& font, int index, int y) const {
  Session& s = Session::current();
  int k = l.k;
  const Row& row = rows_[static_cast<size_t>(index)];
  bool highlighted = Highlighted(row);
  ImageList* icons = ImageLists::of(s).get(small_);
  int icon_width = icons ? icons->cx : 0;
  int total = 0;
  for (const Column& column : columns_) total += column.width;
  if (columns_.empty()) total = l.list_width;
  int first_width = columns_.empty() ? l.list_width : columns_[0].width;
  int label_left = icons ? 2 * k + icon_width + k : 0;
  if (highlighted) {
    bool full = (ex_style_ & LVS_EX_FULLROWSELECT) != 0;
    int left = full ? 0 : label_left;
    int right = full ? total : std::min(first_width, label_left + 4 * k + MeasureText(font, row.texts[0]).width);
    FillRectangle(cr, left, y, std::min(right, l.list_width) - left, l.row_height, GetSysColor(COLOR_HIGHLIGHT));
  }
  COLORREF color = GetSysColor(highlighted ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
  int text_y = y + (l.row_height - l.text_height) / 2;
  int x = 0;
  size_t count = std::max<size_t>(1, columns_.size());
  for (size_t c = 0; c < count; ++c) {
    int width = columns_.empty() ? l.list_width : columns_[c].width;
    int fmt = columns_.empty() ? LVCFMT_LEFT : columns_[c].fmt;
    cairo_save(cr);
    cairo_rectangle(cr, x, y, std::max(0, std::min(width, l.list_width - x)), l.row_height);
    cairo_clip(cr);
    int text_left = x + 6 * k;
    if (c == 0) {
      if (icons) DrawImageListImage(cr, *icons, row.image, x + 2 * k, y + (l.row_height - icons->cy) / 2);
      text_left = x + label_left + 2 * k;
    }
    // The last visible pixel of the column: the scroll bar covers the list's right edge.
    int room = std::min(x + width, l.list_width) - 3 * k - text_left;
    const std::u16string empty;
    const std::u16string& full_text = c < row.texts.size() ? row.texts[c] : empty;
    if (room > 0 && !full_text.empty()) {
      std::u16string text = EllipsizeToWidth(font, full_text, room);
      int text_x = text_left;
      if (c > 0 && (fmt & (LVCFMT_RIGHT | LVCFMT_CENTER))) {
        int slack = room - MeasureText(font, text).width;
        text_x += (fmt & LVCFMT_RIGHT) ? slack : slack / 2;
      }
      DrawTextLine(cr, font, text, text_x, text_y, color);
    }
    cairo_restore(cr);
    x += width;
  }
}

void DrawArrow(cairo_t* cr, int x, int y, int size, bool up, COLORREF color) {
  // A small filled triangle centred in a square button.
  int half = std::max(2, size / 4);
  int cx = x + size / 2;
  int cy = y + size / 2;
  for (int i = 0; i < half; ++i) {
    int row = up ? cy - half / 2 + i : cy + half / 2 - i;
    FillRectangle(cr, cx - i, row, 2 * i + 1, 1, color);
  }
}

void ListViewState::PaintScrollBar(cairo_t* cr, const Layout& l) const {
  int x = l.list_width;
  int w = l.bar_width;
  COLORREF face = GetSysColor(COLOR_BTNFACE);
  COLORREF shadow = GetSysColor(COLOR_BTNSHADOW);
  COLORREF arrow = GetSysColor(top_ > 0 ? COLOR_BTNTEXT : COLOR_GRAYTEXT);
  // The track, lighter than the buttons, as the handheld draws it.
  FillRectangle(cr, x, 0, w, l.height, RGB(0xee, 0xed, 0xea));
  FillRectangle(cr, x, 0, 1, l.height, shadow);
  auto button = [&](int top, int height) {
    FillRectangle(cr, x, top, w, height, face);
    FrameRectangle(cr, x, top, w, height, shadow);
  };
  button(0, l.track_top);
  DrawArrow(cr, x, 0, w, true, arrow);
  int down_top = l.track_top + l.track_length;
  button(down_top, l.height - down_top);
  DrawArrow(cr, x, down_top, w, false, GetSysColor(top_ < l.max_top ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  if (l.thumb_length > 0) {
    button(l.thumb_top, l.thumb_length);
    FillRectangle(cr, x + 1, l.thumb_top + 1, w - 2, 1, GetSysColor(COLOR_WINDOW));
  }
}

// ------------------------------------------------------------------ window procedure

template <typename T>
T* Record(LPARAM lp) {
  return reinterpret_cast<T*>(lp);
}

LRESULT CALLBACK ListViewProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    Session::current().windows().get(hwnd)->extension = std::make_unique<ListViewState>(hwnd);
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
  ListViewState* st = StateOf(hwnd);
  if (!st) return DefWindowProcW(hwnd, msg, wp, lp);
  int index = static_cast<int>(wp);
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hwnd, &ps);
      if (DeviceContext* dc = platform::GdiObjects::of(Session::current()).dc(hdc)) st->Paint(dc->cr.get());
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;  // the paint covers everything
    case WM_SIZE:
      st->OnSize();
      return 0;
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      st->OnFocus(msg == WM_SETFOCUS);
      return 0;
    case WM_LBUTTONDOWN:
      st->OnButtonDown(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_MOUSEMOVE:
      st->OnMouseMove(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_LBUTTONUP:
      st->OnButtonUp(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lp) != hwnd) st->OnCaptureLost();
      return 0;
    case WM_KEYDOWN:
      st->OnKeyDown(wp);
      return 0;
    case WM_DESTROY:
      st->DestroyOwnedImageLists();
      return 0;

    case LVM_SETIMAGELIST:
      return reinterpret_cast<LRESULT>(st->SetImageList(index, reinterpret_cast<HIMAGELIST>(lp)));
    case LVM_GETIMAGELIST:
      return reinterpret_cast<LRESULT>(st->GetImageList(index));
    case LVM_GETITEMCOUNT:
      return st->Count();
    case LVM_INSERTITEMW:
      return lp ? st->InsertItem(*Record<const LVITEMW>(lp)) : -1;
    case LVM_SETITEMW:
      return lp && st->SetItem(*Record<const LVITEMW>(lp));
    case LVM_GETITEMW:
      return lp && st->GetItem(*Record<LVITEMW>(lp));
    case LVM_SETITEMTEXTW:
      return lp && st->SetItemText(index, *Record<const LVITEMW>(lp));
    case LVM_GETITEMTEXTW:
      return lp ? st->GetItemText(index, *Record<LVITEMW>(lp)) : 0;
    case LVM_DELETEITEM:
      return st->DeleteItem(index);
    case LVM_DELETEALLITEMS:
      return st->DeleteAllItems();
    case LVM_INSERTCOLUMNW:
      return lp ? st->InsertColumn(index, *Record<const LVCOLUMNW>(lp)) : -1;
    case LVM_SETCOLUMNW:
      return lp && st->SetColumn(index, *Record<const LVCOLUMNW>(lp));
    case LVM_GETCOLUMNW:
      return lp && st->GetColumn(index, *Record<LVCOLUMNW>(lp));
    case LVM_GETCOLUMNWIDTH:
      return st->ColumnWidth(index);
    case LVM_SETCOLUMNWIDTH:
      return st->SetColumnWidth(index, static_cast<short>(LOWORD(lp)));
    case LVM_SETEXTENDEDLISTVIEWSTYLE:
      return static_cast<LRESULT>(st->SetExtendedStyle(static_cast<DWORD>(wp), static_cast<DWORD>(lp)));
    case LVM_GETEXTENDEDLISTVIEWSTYLE:
      return static_cast<LRESULT>(st->ExtendedStyle());
    case LVM_GETSELECTIONMARK:
      return st->SelectionMark();
    case LVM_SETSELECTIONMARK:
      return st->SetSelectionMark(static_cast<int>(lp));
    case LVM_GETNEXTITEM:
      return st->NextItem(index, LOWORD(lp));
    case LVM_SETITEMSTATE: {
      if (!lp) return FALSE;
      const LVITEMW& item = *Record<const LVITEMW>(lp);
      return st->SetItemState(index, item.state, item.stateMask);
    }
    case LVM_GETITEMSTATE:
      return static_cast<LRESULT>(st->ItemState(index, static_cast<UINT>(lp)));
    case LVM_GETSELECTEDCOUNT:
      return st->SelectedCount();
    case LVM_ENSUREVISIBLE:
      return st->EnsureVisible(index);
    case LVM_GETTOPINDEX:
      return st->TopIndex();
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterListViewClass() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = ListViewProc;
  wc.lpszClassName = WC_LISTVIEWW;
  Session::current().windows().register_class(wc, /*system=*/true);
}

std::optional<RECT> ListViewRowOnScreen(HWND list, int row) {
  ListViewState* st = StateOf(list);
  if (!st || !st->EnsureVisible(row)) return std::nullopt;
  std::optional<RECT> rect = st->RowRect(row);
  if (!rect) return std::nullopt;
  POINT origin = Session::current().windows().client_origin_on_screen(list);
  return RECT{rect->left + origin.x, rect->top + origin.y, rect->right + origin.x, rect->bottom + origin.y};
}

}  // namespace platform::controls
