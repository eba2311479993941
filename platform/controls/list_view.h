// The list view "SysListView32" in report view: a header of columns over
// rows of an optional small icon and one text per column, with selection of
// one row or (without LVS_SINGLESEL) several, a vertical scroll bar drawn
// inside the client area, stylus drag scrolling and keyboard navigation.
//
// Messages: LVM_SETIMAGELIST, LVM_GETIMAGELIST, LVM_GETITEMCOUNT,
// LVM_INSERTITEMW, LVM_SETITEMW, LVM_GETITEMW, LVM_SETITEMTEXTW,
// LVM_DELETEALLITEMS, LVM_INSERTCOLUMNW, LVM_SETCOLUMNW, LVM_GETCOLUMNWIDTH,
// LVM_SETEXTENDEDLISTVIEWSTYLE, LVM_GETSELECTIONMARK, LVM_GETNEXTITEM (LVNI_ALL,
// LVNI_SELECTED, LVNI_FOCUSED), LVM_SETITEMSTATE, LVM_GETITEMSTATE,
// LVM_GETSELECTEDCOUNT, LVM_ENSUREVISIBLE, LVM_GETTOPINDEX; taps (with
// MK_CONTROL to toggle a row, MK_SHIFT to select the range from the
// selection mark), drags, Up/Down/Home/End/PageUp/PageDown.
// Notifications (WM_NOTIFY to the parent): NM_SETFOCUS, NM_KILLFOCUS,
// NM_CLICK, LVN_ITEMCHANGING (a TRUE reply refuses the change) and
// LVN_ITEMCHANGED for selection and focus changes only, one per row that
// changes, LVN_INSERTITEM, LVN_DELETEITEM, LVN_DELETEALLITEMS (a TRUE reply
// suppresses the per-row LVN_DELETEITEM). The control owns its image lists.
// Not supported: LVM_DELETEITEM, LVM_GETITEMTEXTW, LVM_GETCOLUMNW,
// LVM_SETCOLUMNWIDTH, LVM_GETEXTENDEDLISTVIEWSTYLE, LVM_SETSELECTIONMARK and
// LVS_SHAREIMAGELISTS (nothing here uses them), the icon, small-icon and
// list views (every view draws as a report), sorting styles, label editing, check boxes, grid lines,
// callback texts and images, sub-item images, column resizing by dragging
// the header, header clicks, horizontal scrolling, multiple selection by
// keyboard or by dragging, a focus rectangle.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <commctrl.h>
#include <windows.h>

#include "platform/core/cairo_handles.h"
#include "platform/gdi/text.h"


namespace platform::controls {

void RegisterListViewClass();

class ListView {
 public:
  ListView(HWND hwnd, const CREATESTRUCTW&) : hwnd_(hwnd) {}
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);
  void paint(cairo_t* cr, const FontSpec& font) const;

  // ---- image lists
  HIMAGELIST set_image_list(int which, HIMAGELIST list);
  HIMAGELIST image_list(int which) const;

  // ---- rows
  int count() const { return static_cast<int>(rows_.size()); }
  int insert_item(const LVITEMW& item);
  bool set_item(const LVITEMW& item);
  bool get_item(LVITEMW& item) const;
  bool set_item_text(int row, const LVITEMW& item);
  bool delete_all_items();

  // ---- columns
  int insert_column(int index, const LVCOLUMNW& column);
  bool set_column(int index, const LVCOLUMNW& column);
  int column_width(int index) const;
  DWORD set_extended_style(DWORD mask, DWORD style);

  // ---- selection
  int selection_mark() const { return mark_; }
  int next_item(int start, UINT flags) const;
  bool set_item_state(int row, UINT state, UINT mask);
  UINT item_state(int row, UINT mask) const;
  int selected_count() const;

  // ---- scrolling
  int top_index() const { return top_; }
  bool ensure_visible(int row);
  std::optional<RECT> row_rect(int row) const;

 private:
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
  enum class Focus { gained, lost };

  // ---- input
  void on_focus(Focus change);
  void on_button_down(int x, int y, WPARAM keys);
  void on_mouse_move(int x, int y);
  void on_button_up(int x, int y);
  void on_key_down(WPARAM key);

  Layout layout() const;
  FontSpec font() const;
  DWORD style() const;
  bool alive() const;
  bool highlighted(const Row& row) const;
  int row_at(const Layout& layout, int x, int y) const;
  void destroy_owned_image_lists();

  LRESULT notify(UINT code, NMLISTVIEW& nm) const;
  // Moves one row's state under `mask` to `state`, asking the parent first.
  // False when the parent refused or the window went away meanwhile.
  bool change_row_state(int row, UINT state, UINT mask);
  // Brings each row but `except` to its selection and focus in `targets`,
  // one notified change per row: the rows that lose a state first, then
  // those that gain one. False when the window went away meanwhile.
  bool change_rows(const std::vector<UINT>& targets, int except);
  // A tap or key on a row, with MK_CONTROL / MK_SHIFT in `keys`: without
  // them the row alone is selected; the row takes the focus and the mark.
  void choose_row(int row, WPARAM keys);
  void deselect_all();

  void scroll_to(int top);
  void invalidate() const { InvalidateRect(hwnd_, nullptr, FALSE); }

  void paint_header(cairo_t* cr, const Layout& l, const FontSpec& font) const;
  void paint_row(cairo_t* cr, const Layout& l, const FontSpec& font, int index, int y) const;
  void paint_scroll_bar(cairo_t* cr, const Layout& l) const;

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
  WPARAM press_keys_ = 0;  // MK_CONTROL and MK_SHIFT as the stylus went down
  int press_top_ = 0;
  int thumb_grab_ = 0;  // where in the thumb the stylus took it
  bool dragging_ = false;
};

}  // namespace platform::controls
