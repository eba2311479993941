// The list view: see list_view.h for what it supports.
//
// Sections: geometry, image lists, notifications, rows, columns, selection,
// input, painting, window procedure.
#include "platform/controls/list_view.h"

#include <algorithm>
#include <cstdlib>
#include <memory>

#include "platform/controls/control_class.h"
#include "platform/controls/control_probes.h"
#include "platform/controls/image_list.h"
#include "platform/core/screen.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"

namespace platform::controls {

namespace {

constexpr UINT kSelectionBits = LVIS_SELECTED | LVIS_FOCUSED;

std::u16string TextOf(LPCWSTR text) { return text ? std::u16string(text) : std::u16string(); }

int CopyOut(const std::u16string& text, LPWSTR out, int capacity) {
  if (!out || capacity <= 0) return 0;
  int n = std::min(static_cast<int>(text.size()), capacity - 1);
  std::copy_n(text.begin(), n, out);
  out[n] = 0;
  return n;
}

}  // namespace

// ------------------------------------------------------------------ geometry

DWORD ListView::style() const {
  Window* w = Session::current().windows().get(hwnd_);
  return w ? w->style : 0;
}

bool ListView::alive() const { return ControlClass<ListView>::of(hwnd_) == this; }

FontSpec ListView::font() const {
  Session& s = Session::current();
  Window* w = s.windows().get(hwnd_);
  return platform::GdiObjects::of(s).font_spec(w && w->font ? w->font : platform::GdiObjects::of(s).system_font());
}

ListView::Layout ListView::layout() const {
  Session& s = Session::current();
  Layout l;
  l.k = s.screen().scale();
  RECT rc = s.windows().client_rect(hwnd_);
  l.width = rc.right;
  l.height = rc.bottom;
  l.text_height = MeasureText(font(), u"Ay").height;
  int icon_height = 0;
  if (ImageList* list = ImageLists::of(s).get(small_)) icon_height = list->cy;
  l.row_height = std::max({16 * l.k, l.text_height + 2 * l.k, icon_height + l.k});
  l.header_height = (style() & LVS_NOCOLUMNHEADER) ? 0 : std::max(18 * l.k, l.text_height + 4 * l.k);
  int area = std::max(0, l.height - l.header_height);
  int whole = area / l.row_height;
  l.visible_rows = std::max(1, whole);
  l.max_top = std::max(0, count() - l.visible_rows);
  l.list_width = l.width;
  if (count() > whole) {
    l.bar_width = GetSystemMetrics(SM_CXVSCROLL);
    l.list_width = std::max(0, l.width - l.bar_width);
    int arrow = l.bar_width;
    l.track_top = arrow;
    l.track_length = std::max(0, l.height - 2 * arrow);
    int minimum = std::min(l.track_length, 8 * l.k);
    l.thumb_length = std::clamp(l.track_length * l.visible_rows / std::max(1, count()), minimum, l.track_length);
    int travel = l.track_length - l.thumb_length;
    l.thumb_top = l.track_top + (l.max_top > 0 ? travel * std::min(top_, l.max_top) / l.max_top : 0);
  }
  return l;
}

int ListView::row_at(const Layout& l, int x, int y) const {
  if (y < l.header_height || x < 0 || x >= l.list_width) return -1;
  int row = top_ + (y - l.header_height) / l.row_height;
  if (row >= count()) return -1;
  if (!(ex_style_ & LVS_EX_FULLROWSELECT)) {
    // Without full-row select only the first column's item answers a tap.
    int first = columns_.empty() ? l.list_width : columns_[0].width;
    if (x >= first) return -1;
  }
  return row;
}

std::optional<RECT> ListView::row_rect(int row) const {
  if (row < 0 || row >= count()) return std::nullopt;
  Layout l = layout();
  int y = l.header_height + (row - top_) * l.row_height;
  return RECT{0, y, l.list_width, y + l.row_height};
}

void ListView::scroll_to(int top) {
  Layout l = layout();
  int clamped = std::clamp(top, 0, l.max_top);
  if (clamped != top_) {
    top_ = clamped;
    invalidate();
  }
}

bool ListView::ensure_visible(int row) {
  if (row < 0 || row >= count()) return false;
  Layout l = layout();
  if (row < top_)
    scroll_to(row);
  else if (row >= top_ + l.visible_rows)
    scroll_to(row - l.visible_rows + 1);
  return true;
}

// ------------------------------------------------------------------ image lists

HIMAGELIST ListView::image_list(int which) const {
  return which == LVSIL_SMALL ? small_ : which == LVSIL_NORMAL ? normal_ : nullptr;
}

HIMAGELIST ListView::set_image_list(int which, HIMAGELIST list) {
  HIMAGELIST* slot = which == LVSIL_SMALL ? &small_ : which == LVSIL_NORMAL ? &normal_ : nullptr;
  if (!slot) return nullptr;
  HIMAGELIST old = *slot;
  *slot = list;
  scroll_to(top_);  // the row height follows the icons
  invalidate();
  return old;
}

void ListView::destroy_owned_image_lists() {
  // The control owns its image lists, as the real one does without LVS_SHAREIMAGELISTS.
  ImageLists& lists = ImageLists::of(Session::current());
  if (small_) lists.remove(small_);
  if (normal_ && normal_ != small_) lists.remove(normal_);
  small_ = normal_ = nullptr;
}

// ------------------------------------------------------------------ notifications

LRESULT ListView::notify(UINT code, NMLISTVIEW& nm) const {
  HWND parent = GetParent(hwnd_);
  if (!parent) return 0;
  nm.hdr.hwndFrom = hwnd_;
  nm.hdr.idFrom = static_cast<UINT>(GetDlgCtrlID(hwnd_));
  nm.hdr.code = code;
  return SendMessageW(parent, WM_NOTIFY, nm.hdr.idFrom, reinterpret_cast<LPARAM>(&nm));
}

bool ListView::change_row_state(int row, UINT state, UINT mask) {
  if (row < 0 || row >= count()) return false;
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
  if (notify(LVN_ITEMCHANGING, nm)) return false;
  if (!alive() || row >= count()) return false;
  Row& r = rows_[static_cast<size_t>(row)];
  r.state = (r.state & ~mask) | (state & mask);
  if ((new_state & LVIS_FOCUSED) && !(old_state & LVIS_FOCUSED)) {
    // Only one row holds the focus.
    for (size_t i = 0; i < rows_.size(); ++i)
      if (static_cast<int>(i) != row) rows_[i].state &= ~static_cast<UINT>(LVIS_FOCUSED);
  }
  invalidate();
  notify(LVN_ITEMCHANGED, nm);
  return alive();
}

// ------------------------------------------------------------------ rows

int ListView::insert_item(const LVITEMW& item) {
  if (item.iSubItem != 0 || item.iItem < 0) return -1;
  int index = std::min(item.iItem, count());
  Row row;
  row.texts.resize(1);
  if (item.mask & LVIF_TEXT) row.texts[0] = TextOf(item.pszText);
  if (item.mask & LVIF_IMAGE) row.image = item.iImage;
  if (item.mask & LVIF_PARAM) row.param = item.lParam;
  if (item.mask & LVIF_STATE) row.state = item.state & item.stateMask;
  // A state given with the row is taken silently, with no notification.
  if (row.state & LVIS_FOCUSED)
    for (Row& other : rows_) other.state &= ~static_cast<UINT>(LVIS_FOCUSED);
  if ((row.state & LVIS_SELECTED) && (style() & LVS_SINGLESEL))
    for (Row& other : rows_) other.state &= ~static_cast<UINT>(LVIS_SELECTED);
  LPARAM param = row.param;
  rows_.insert(rows_.begin() + index, std::move(row));
  if (mark_ >= index) ++mark_;
  invalidate();
  NMLISTVIEW nm{};
  nm.iItem = index;
  nm.lParam = param;
  notify(LVN_INSERTITEM, nm);
  return index;
}

bool ListView::set_item(const LVITEMW& item) {
  if (item.iItem < 0 || item.iItem >= count()) return false;
  if (item.iSubItem < 0) return false;
  if (item.iSubItem > 0) {
    if (item.iSubItem >= static_cast<int>(columns_.size())) return false;
    return (item.mask & LVIF_TEXT) ? set_item_text(item.iItem, item) : true;
  }
  Row& row = rows_[static_cast<size_t>(item.iItem)];
  // Texts, images and params change without notification.
  if (item.mask & LVIF_TEXT) row.texts[0] = TextOf(item.pszText);
  if (item.mask & LVIF_IMAGE) row.image = item.iImage;
  if (item.mask & LVIF_PARAM) row.param = item.lParam;
  invalidate();
  if (item.mask & LVIF_STATE) return set_item_state(item.iItem, item.state, item.stateMask);
  return true;
}

bool ListView::get_item(LVITEMW& item) const {
  if (item.iItem < 0 || item.iItem >= count()) return false;
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

bool ListView::set_item_text(int index, const LVITEMW& item) {
  if (index < 0 || index >= count() || item.iSubItem < 0) return false;
  if (item.iSubItem > 0 && item.iSubItem >= static_cast<int>(columns_.size())) return false;
  Row& row = rows_[static_cast<size_t>(index)];
  size_t sub = static_cast<size_t>(item.iSubItem);
  if (row.texts.size() <= sub) row.texts.resize(sub + 1);
  row.texts[sub] = TextOf(item.pszText);
  invalidate();
  return true;
}

bool ListView::delete_all_items() {
  // Selection and focus go silently.
  for (Row& row : rows_) row.state &= ~kSelectionBits;
  mark_ = -1;
  NMLISTVIEW nm{};
  nm.iItem = -1;
  bool suppress = notify(LVN_DELETEALLITEMS, nm) != 0;
  if (!alive()) return false;
  std::vector<Row> gone = std::move(rows_);
  rows_.clear();
  top_ = 0;
  press_ = Press::none;
  invalidate();
  if (!suppress) {
    for (int i = static_cast<int>(gone.size()) - 1; i >= 0; --i) {
      NMLISTVIEW each{};
      each.iItem = i;
      each.lParam = gone[static_cast<size_t>(i)].param;
      notify(LVN_DELETEITEM, each);
      if (!alive()) break;
    }
  }
  return true;
}

// ------------------------------------------------------------------ columns

int ListView::insert_column(int index, const LVCOLUMNW& in) {
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
  invalidate();
  return index;
}

bool ListView::set_column(int index, const LVCOLUMNW& in) {
  if (index < 0 || index >= static_cast<int>(columns_.size())) return false;
  Column& column = columns_[static_cast<size_t>(index)];
  if (in.mask & LVCF_FMT) column.fmt = in.fmt;
  if (in.mask & LVCF_WIDTH) column.width = std::max(0, in.cx);
  if (in.mask & LVCF_TEXT) column.text = TextOf(in.pszText);
  if (in.mask & LVCF_SUBITEM) column.sub_item = in.iSubItem;
  invalidate();
  return true;
}

int ListView::column_width(int index) const {
  if (index < 0 || index >= static_cast<int>(columns_.size())) return 0;
  return columns_[static_cast<size_t>(index)].width;
}

DWORD ListView::set_extended_style(DWORD mask, DWORD style) {
  DWORD old = ex_style_;
  if (mask == 0) mask = ~DWORD{0};
  ex_style_ = (ex_style_ & ~mask) | (style & mask);
  invalidate();
  return old;
}

// ------------------------------------------------------------------ selection

int ListView::next_item(int start, UINT flags) const {
  UINT wanted = 0;
  if (flags & LVNI_SELECTED) wanted |= LVIS_SELECTED;
  if (flags & LVNI_FOCUSED) wanted |= LVIS_FOCUSED;
  for (int i = std::max(-1, start) + 1; i < count(); ++i)
    if ((rows_[static_cast<size_t>(i)].state & wanted) == wanted) return i;
  return -1;
}

bool ListView::set_item_state(int row, UINT state, UINT mask) {
  if (row == -1) {
    // Selecting every row of a single-selection list, or focusing every row, is refused.
    if ((state & mask & LVIS_SELECTED) && (style() & LVS_SINGLESEL)) return false;
    if (state & mask & LVIS_FOCUSED) return false;
    bool ok = true;
    for (int i = 0; i < count(); ++i) {
      if (!change_row_state(i, state, mask)) ok = false;
      if (!alive()) return false;
    }
    return ok;
  }
  if (row < 0 || row >= count()) return false;
  UINT gained = state & mask & ~rows_[static_cast<size_t>(row)].state;
  // The rows that lose out change first, then the row itself.
  if ((gained & LVIS_SELECTED) && (style() & LVS_SINGLESEL)) {
    for (int i = 0; i < count(); ++i) {
      if (i != row && (rows_[static_cast<size_t>(i)].state & LVIS_SELECTED)) change_row_state(i, 0, LVIS_SELECTED);
      if (!alive()) return false;
    }
  }
  if (gained & LVIS_FOCUSED) {
    int focused = next_item(-1, LVNI_FOCUSED);
    // The mark follows the first focused row when none was set, as on the real control.
    if (focused == -1 && mark_ == -1) mark_ = row;
    if (focused != -1 && focused != row) change_row_state(focused, 0, LVIS_FOCUSED);
    if (!alive()) return false;
  }
  if (row >= count()) return false;
  return change_row_state(row, state, mask);
}

UINT ListView::item_state(int row, UINT mask) const {
  if (row < 0 || row >= count()) return 0;
  return rows_[static_cast<size_t>(row)].state & mask;
}

int ListView::selected_count() const {
  return static_cast<int>(std::count_if(rows_.begin(), rows_.end(), [](const Row& r) { return (r.state & LVIS_SELECTED) != 0; }));
}

bool ListView::change_rows(const std::vector<UINT>& targets, int except) {
  for (int pass : {0, 1}) {  // losses, then gains
    for (int i = 0; i < std::min(count(), static_cast<int>(targets.size())); ++i) {
      UINT have = rows_[static_cast<size_t>(i)].state & kSelectionBits;
      UINT lost = have & ~targets[static_cast<size_t>(i)], gained = targets[static_cast<size_t>(i)] & ~have;
      if (i != except && (pass == 0 ? lost : gained)) change_row_state(i, targets[static_cast<size_t>(i)], kSelectionBits);
      if (!alive()) return false;
    }
  }
  return true;
}

void ListView::choose_row(int row, WPARAM keys) {
  if (style() & LVS_SINGLESEL) keys = 0;
  bool ctrl = (keys & MK_CONTROL) != 0;
  // Shift ranges from the mark, which stays put as the range's anchor, as on the real control.
  bool range = (keys & MK_SHIFT) && mark_ >= 0 && mark_ < count();
  int low = range ? std::min(mark_, row) : row, high = range ? std::max(mark_, row) : row;
  std::vector<UINT> targets(rows_.size());
  for (int i = 0; i < count(); ++i) {
    bool selected = (rows_[static_cast<size_t>(i)].state & LVIS_SELECTED) != 0;
    bool want = (i >= low && i <= high) || (ctrl && selected);
    if (ctrl && !range && i == row) want = !selected;  // Ctrl alone toggles the row
    targets[static_cast<size_t>(i)] = (want ? LVIS_SELECTED : 0u) | (i == row ? LVIS_FOCUSED : 0u);
  }
  if (!change_rows(targets, row) || row >= count()) return;
  // The mark moves before the change is reported, so a parent that reads
  // the mark when told of the change finds the row that was just chosen.
  int previous_mark = mark_;
  if (!range) mark_ = row;
  UINT target = targets[static_cast<size_t>(row)];
  if (!change_row_state(row, target, kSelectionBits) && alive() && row < count() &&
      (rows_[static_cast<size_t>(row)].state & LVIS_SELECTED) != (target & LVIS_SELECTED))
    mark_ = previous_mark;  // the parent refused the change
}

void ListView::deselect_all() {
  for (int i = 0; i < count(); ++i) {
    if (rows_[static_cast<size_t>(i)].state & LVIS_SELECTED) change_row_state(i, 0, LVIS_SELECTED);
    if (!alive()) return;
  }
}

// ------------------------------------------------------------------ input

void ListView::on_focus(Focus change) {
  invalidate();  // without LVS_SHOWSELALWAYS the highlight shows only with the focus
  NMLISTVIEW nm{};
  nm.iItem = -1;
  notify(change == Focus::gained ? NM_SETFOCUS : NM_KILLFOCUS, nm);
}

void ListView::on_button_down(int x, int y, WPARAM keys) {
  if (GetFocus() != hwnd_) SetFocus(hwnd_);
  if (!alive()) return;
  Layout l = layout();
  press_point_ = {x, y};
  press_keys_ = keys & (MK_CONTROL | MK_SHIFT);
  press_top_ = top_;
  dragging_ = false;
  press_ = Press::none;
  if (l.bar_width > 0 && x >= l.list_width) {
    if (y < l.track_top) {
      press_ = Press::arrow_up;
      scroll_to(top_ - 1);
    } else if (y >= l.track_top + l.track_length) {
      press_ = Press::arrow_down;
      scroll_to(top_ + 1);
    } else if (y < l.thumb_top) {
      press_ = Press::page_up;
      scroll_to(top_ - l.visible_rows);
    } else if (y >= l.thumb_top + l.thumb_length) {
      press_ = Press::page_down;
      scroll_to(top_ + l.visible_rows);
    } else {
      press_ = Press::thumb;
      thumb_grab_ = y - l.thumb_top;
    }
  } else if (y >= l.header_height) {
    press_ = Press::row;
  }
  if (press_ != Press::none) SetCapture(hwnd_);
}

void ListView::on_mouse_move(int x, int y) {
  if (press_ == Press::thumb) {
    Layout l = layout();
    int travel = l.track_length - l.thumb_length;
    if (travel <= 0) return;
    int offset = std::clamp(y - thumb_grab_ - l.track_top, 0, travel);
    scroll_to((offset * l.max_top + travel / 2) / travel);
    return;
  }
  if (press_ != Press::row) return;
  Layout l = layout();
  int slop = 4 * l.k;
  if (!dragging_ && std::abs(y - press_point_.y) <= slop && std::abs(x - press_point_.x) <= slop) return;
  // A stylus moved across the rows scrolls them instead of selecting.
  dragging_ = true;
  int moved = press_point_.y - y;
  int rows = (moved >= 0 ? moved + l.row_height / 2 : moved - l.row_height / 2) / l.row_height;
  scroll_to(press_top_ + rows);
}

void ListView::on_button_up(int x, int y) {
  Press press = press_;
  press_ = Press::none;
  if (GetCapture() == hwnd_) ReleaseCapture();
  if (press != Press::row || dragging_) return;
  Layout l = layout();
  int row = row_at(l, press_point_.x, press_point_.y);
  if (row >= 0)
    choose_row(row, press_keys_);
  else if (!(press_keys_ & MK_CONTROL))
    deselect_all();  // the selection mark stays, as on the real control
  if (!alive()) return;
  NMLISTVIEW nm{};
  nm.iItem = row;
  nm.ptAction = {x, y};
  if (row >= 0) nm.lParam = rows_[static_cast<size_t>(row)].param;
  notify(NM_CLICK, nm);
}

void ListView::on_key_down(WPARAM key) {
  if (rows_.empty()) return;
  int focused = next_item(-1, LVNI_FOCUSED);
  int page = std::max(1, layout().visible_rows - 1);
  int target;
  switch (key) {
    case VK_UP: target = focused < 0 ? 0 : focused - 1; break;
    case VK_DOWN: target = focused < 0 ? 0 : focused + 1; break;
    case VK_PRIOR: target = focused < 0 ? 0 : focused - page; break;
    case VK_NEXT: target = focused < 0 ? 0 : focused + page; break;
    case VK_HOME: target = 0; break;
    case VK_END: target = count() - 1; break;
    default: return;
  }
  target = std::clamp(target, 0, count() - 1);
  choose_row(target, 0);
  if (alive()) ensure_visible(target);
}

// ------------------------------------------------------------------ painting

bool ListView::highlighted(const Row& row) const {
  if (!(row.state & LVIS_SELECTED)) return false;
  return GetFocus() == hwnd_ || (style() & LVS_SHOWSELALWAYS);
}

void ListView::paint(cairo_t* cr, const FontSpec& font) const {
  Layout l = layout();
  FillRectangle(cr, 0, 0, l.width, l.height, GetSysColor(COLOR_WINDOW));
  for (int i = top_; i < count(); ++i) {
    int y = l.header_height + (i - top_) * l.row_height;
    if (y >= l.height) break;
    paint_row(cr, l, font, i, y);
  }
  if (l.header_height > 0) paint_header(cr, l, font);
  if (l.bar_width > 0) paint_scroll_bar(cr, l);
}

void ListView::paint_header(cairo_t* cr, const Layout& l, const FontSpec& font) const {
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

void ListView::paint_row(cairo_t* cr, const Layout& l, const FontSpec& font, int index, int y) const {
  Session& s = Session::current();
  int k = l.k;
  const Row& row = rows_[static_cast<size_t>(index)];
  bool lit = highlighted(row);
  ImageList* icons = ImageLists::of(s).get(small_);
  int icon_width = icons ? icons->cx : 0;
  int total = 0;
  for (const Column& column : columns_) total += column.width;
  if (columns_.empty()) total = l.list_width;
  int first_width = columns_.empty() ? l.list_width : columns_[0].width;
  int label_left = icons ? 2 * k + icon_width + k : 0;
  if (lit) {
    bool full = (ex_style_ & LVS_EX_FULLROWSELECT) != 0;
    int left = full ? 0 : label_left;
    int right = full ? total : std::min(first_width, label_left + 4 * k + MeasureText(font, row.texts[0]).width);
    FillRectangle(cr, left, y, std::min(right, l.list_width) - left, l.row_height, GetSysColor(COLOR_HIGHLIGHT));
  }
  COLORREF color = GetSysColor(lit ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
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

static void DrawArrow(cairo_t* cr, int x, int y, int size, bool up, COLORREF color) {
  // A small filled triangle centred in a square button.
  int half = std::max(2, size / 4);
  int cx = x + size / 2;
  int cy = y + size / 2;
  for (int i = 0; i < half; ++i) {
    int row = up ? cy - half / 2 + i : cy + half / 2 - i;
    FillRectangle(cr, cx - i, row, 2 * i + 1, 1, color);
  }
}

void ListView::paint_scroll_bar(cairo_t* cr, const Layout& l) const {
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

namespace {

template <typename T>
T& Record(LPARAM lp) {
  return *reinterpret_cast<T*>(lp);
}

}  // namespace

LRESULT ListView::handle(UINT msg, WPARAM wp, LPARAM lp) {
  int index = static_cast<int>(wp);
  switch (msg) {
    case WM_SIZE:
      scroll_to(top_);
      return 0;
    case WM_SETFOCUS:
      on_focus(Focus::gained);
      return 0;
    case WM_KILLFOCUS:
      on_focus(Focus::lost);
      return 0;
    case WM_LBUTTONDOWN:
      on_button_down(GET_X_LPARAM(lp), GET_Y_LPARAM(lp), wp);
      return 0;
    case WM_MOUSEMOVE:
      on_mouse_move(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_LBUTTONUP:
      on_button_up(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_CAPTURECHANGED:
      if (reinterpret_cast<HWND>(lp) != hwnd_) press_ = Press::none;
      return 0;
    case WM_KEYDOWN:
      on_key_down(wp);
      return 0;
    case WM_DESTROY:
      destroy_owned_image_lists();
      return 0;

    case LVM_SETIMAGELIST:
      return reinterpret_cast<LRESULT>(set_image_list(index, reinterpret_cast<HIMAGELIST>(lp)));
    case LVM_GETIMAGELIST:
      return reinterpret_cast<LRESULT>(image_list(index));
    case LVM_GETITEMCOUNT:
      return count();
    case LVM_INSERTITEMW:
      return lp ? insert_item(Record<const LVITEMW>(lp)) : -1;
    case LVM_SETITEMW:
      return lp && set_item(Record<const LVITEMW>(lp));
    case LVM_GETITEMW:
      return lp && get_item(Record<LVITEMW>(lp));
    case LVM_SETITEMTEXTW:
      return lp && set_item_text(index, Record<const LVITEMW>(lp));
    case LVM_DELETEALLITEMS:
      return delete_all_items();
    case LVM_INSERTCOLUMNW:
      return lp ? insert_column(index, Record<const LVCOLUMNW>(lp)) : -1;
    case LVM_SETCOLUMNW:
      return lp && set_column(index, Record<const LVCOLUMNW>(lp));
    case LVM_GETCOLUMNWIDTH:
      return column_width(index);
    case LVM_SETEXTENDEDLISTVIEWSTYLE:
      return static_cast<LRESULT>(set_extended_style(static_cast<DWORD>(wp), static_cast<DWORD>(lp)));
    case LVM_GETSELECTIONMARK:
      return selection_mark();
    case LVM_GETNEXTITEM:
      return next_item(index, LOWORD(lp));
    case LVM_SETITEMSTATE:
      return lp && set_item_state(index, Record<const LVITEMW>(lp).state, Record<const LVITEMW>(lp).stateMask);
    case LVM_GETITEMSTATE:
      return static_cast<LRESULT>(item_state(index, static_cast<UINT>(lp)));
    case LVM_GETSELECTEDCOUNT:
      return selected_count();
    case LVM_ENSUREVISIBLE:
      return ensure_visible(index);
    case LVM_GETTOPINDEX:
      return top_index();
    default:
      return DefWindowProcW(hwnd_, msg, wp, lp);
  }
}

void RegisterListViewClass() { ControlClass<ListView>::register_class(WC_LISTVIEWW); }

std::optional<RECT> ListViewRowOnScreen(HWND list, int row) {
  ListView* st = ControlClass<ListView>::of(list);
  if (!st || !st->ensure_visible(row)) return std::nullopt;
  std::optional<RECT> rect = st->row_rect(row);
  if (!rect) return std::nullopt;
  POINT origin = Session::current().windows().client_origin_on_screen(list);
  return RECT{rect->left + origin.x, rect->top + origin.y, rect->right + origin.x, rect->bottom + origin.y};
}

}  // namespace platform::controls
