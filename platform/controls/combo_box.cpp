// The drop-down list box: see combo_box.h for what it supports.
//
// Sections: entries, selection, geometry, the drop-down list, painting,
// window procedures.
#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls/combo_box.h"
#include "platform/controls/control_class.h"
#include "platform/controls/control_probes.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/core/screen.h"
#include "platform/gdi/text.h"

namespace platform::controls {

namespace {

constexpr const char16_t* kComboClass = u"COMBOBOX";
constexpr const char16_t* kListClass = u"ComboLBox";
constexpr WPARAM kVkF4 = VK_F1 + 3;
constexpr int kMinRows = 3;  // a list never opens smaller than this, entries permitting

int Scale() { return Session::current().screen().scale(); }
int FieldHeight() { return 20 * Scale(); }
int RowHeight() { return 16 * Scale(); }
int ScrollBarWidth() { return GetSystemMetrics(SM_CXVSCROLL); }

char16_t Fold(char16_t c) { return (c >= u'A' && c <= u'Z') ? static_cast<char16_t>(c - u'A' + u'a') : c; }

// Entries match without regard to case, as the platform's list boxes do.
bool EqualIgnoringCase(std::u16string_view a, std::u16string_view b) {
  return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char16_t x, char16_t y) { return Fold(x) == Fold(y); });
}

void Notify(HWND combo, WORD code) {
  HWND parent = GetParent(combo);
  if (parent) SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), code), reinterpret_cast<LPARAM>(combo));
}

bool Inside(const RECT& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

class ComboBox {
 public:
  // The control draws its own frame; a border or scroll bar style a program adds is dropped, as on the platform.
  ComboBox(HWND self, const CREATESTRUCTW& cs) : self_(self), style_(0), full_height_(cs.cy) {
    Window* w = Session::current().windows().get(self);
    w->style &= ~static_cast<DWORD>(WS_BORDER | WS_VSCROLL | WS_HSCROLL);
    style_ = w->style;
    adopt_height();
  }
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);
  void paint(cairo_t* cr, const FontSpec& font) const { paint_field(cr, font); }

  // ---- entries
  int count() const { return static_cast<int>(entries_.size()); }
  bool valid(int index) const { return index >= 0 && index < count(); }
  std::u16string_view entry(int index) const { return entries_[static_cast<size_t>(index)]; }

  int add(std::u16string text) { return insert(count(), std::move(text)); }

  int insert(int index, std::u16string text) {
    if (index == -1) index = count();
    if (index < 0 || index > count()) return CB_ERR;
    entries_.insert(entries_.begin() + index, std::move(text));
    if (selected_ >= index) ++selected_;
    if (dropped() && hot_ >= index) ++hot_;
    changed();
    return index;
  }

  int find(std::u16string_view text) const {
    for (int i = 0; i < count(); ++i)
      if (EqualIgnoringCase(entry(i), text)) return i;
    return CB_ERR;
  }

  LRESULT get_entry_text(int index, LPWSTR out) const {
    if (!valid(index) || !out) return CB_ERR;
    std::u16string_view text = entry(index);
    std::copy(text.begin(), text.end(), out);
    out[text.size()] = 0;
    return static_cast<LRESULT>(text.size());
  }

  // ---- selection
  int selection() const { return selected_; }
  std::u16string_view selected_text() const { return valid(selected_) ? entry(selected_) : std::u16string_view{}; }

  // Out of range clears the selection, as the real control does.
  LRESULT select(int index) {
    selected_ = valid(index) ? index : -1;
    if (dropped()) {
      hot_ = selected_;
      ensure_visible(hot_);
    }
    changed();
    return selected_ == -1 ? CB_ERR : selected_;
  }

  LRESULT get_text(int max, LPWSTR out) const {
    if (!out || max <= 0) return 0;
    std::u16string_view text = selected_text();
    int n = std::min(static_cast<int>(text.size()), max - 1);
    std::copy_n(text.begin(), n, out);
    out[n] = 0;
    return n;
  }

  LRESULT set_text(LPCWSTR text) {
    int index = find(text ? std::u16string_view(text) : std::u16string_view{});
    if (index == CB_ERR) return CB_ERR;
    select(index);
    return TRUE;
  }

  // ---- geometry: the window keeps the field's height, the rest is the list's
  void adopt_height() {
    Window* w = Session::current().windows().get(self_);
    if (!w || w->height() == FieldHeight()) return;
    full_height_ = w->height();
    w->rect.bottom = w->rect.top + FieldHeight();
  }

  // ---- the drop-down list
  bool dropped() const { return list_ != nullptr; }
  HWND list() const { return list_; }

  // Opens the list; by the stylus when it is still down on the field, so
  // that lifting it over an entry chooses that entry.
  enum class OpenBy { keys, stylus };
  void open(OpenBy by);
  // Closes the list, choosing `choice` when it is an entry.
  enum class Tell { parent, nobody };
  void close(int choice, Tell tell = Tell::parent);
  bool alive() const;

  void field_tap() {
    SetFocus(self_);
    if (alive()) open(OpenBy::stylus);
  }

  void key_down(WPARAM vk) {
    if (dropped()) {
      key_in_list(vk);
      return;
    }
    if (vk == kVkF4) {
      open(OpenBy::keys);
      return;
    }
    int next = step(selected_, vk);
    if (next == selected_ || !valid(next)) return;
    selected_ = next;
    changed();
    Notify(self_, CBN_SELCHANGE);
  }

  void list_mouse(UINT msg, int x, int y);
  std::optional<RECT> entry_on_screen(int index);

  void paint_field(cairo_t* cr, const FontSpec& font) const;
  void paint_list(cairo_t* cr, const FontSpec& font) const;

  // The list window went away without Close (destroyed with the combo box's owner chain).
  void list_gone() {
    list_ = nullptr;
    drag_ = Drag::none;
    InvalidateRect(self_, nullptr, FALSE);
  }

  void destroy_list() {
    HWND list = list_;
    if (!list) return;
    list_ = nullptr;
    drag_ = Drag::none;
    WindowManager& windows = Session::current().windows();
    if (windows.capture() == list) windows.release_capture();
    if (windows.is_window(list)) windows.destroy(list);
  }

 private:
  enum class Drag { none, from_field, entries, thumb };
  struct ScrollParts {
    RECT bar, up, down, thumb;
  };

  void show_list();
  void key_in_list(WPARAM vk) {
    if (vk == VK_ESCAPE || vk == kVkF4) {
      close(-1);
    } else if (vk == VK_RETURN) {
      close(hot_);
    } else {
      int next = step(hot_, vk);
      if (next != hot_ && valid(next)) {
        hot_ = next;
        ensure_visible(hot_);
        InvalidateRect(list_, nullptr, FALSE);
      }
    }
  }

  // The entry a navigation key leads to from `from`.
  int step(int from, WPARAM vk) const {
    int last = count() - 1;
    if (last < 0) return from;
    int page = std::max(1, rows_ - 1);
    switch (vk) {
      case VK_DOWN: return from < 0 ? 0 : std::min(from + 1, last);
      case VK_UP: return from < 0 ? 0 : std::max(from - 1, 0);
      case VK_HOME: return 0;
      case VK_END: return last;
      case VK_NEXT: return from < 0 ? 0 : std::min(from + page, last);
      case VK_PRIOR: return from < 0 ? 0 : std::max(from - page, 0);
      default: return from;
    }
  }

  void changed() {
    InvalidateRect(self_, nullptr, FALSE);
    if (!dropped()) return;
    scroll_to(top_);
    InvalidateRect(list_, nullptr, FALSE);
  }

  int max_top() const { return std::max(0, count() - rows_); }
  void scroll_to(int top) {
    top = std::clamp(top, 0, max_top());
    if (top == top_) return;
    top_ = top;
    if (list_) InvalidateRect(list_, nullptr, FALSE);
  }
  void ensure_visible(int index) {
    if (!valid(index)) return;
    if (index < top_) scroll_to(index);
    if (index >= top_ + rows_) scroll_to(index - rows_ + 1);
  }

  RECT list_client() const { return Session::current().windows().client_rect(list_); }
  // Entries lie inside the one-pixel frame, left of the scroll bar.
  RECT entries_area() const {
    RECT c = list_client();
    return {1, 1, c.right - 1 - (scroll_bar_ ? ScrollBarWidth() : 0), c.bottom - 1};
  }
  RECT entry_rect(int index) const {
    RECT a = entries_area();
    int y = a.top + (index - top_) * RowHeight();
    return {a.left, y, a.right, y + RowHeight()};
  }
  int entry_at(int y) const {
    RECT a = entries_area();
    if (y < a.top || y >= a.bottom) return -1;
    int index = top_ + (y - a.top) / RowHeight();
    return valid(index) ? index : -1;
  }
  ScrollParts parts() const {
    RECT c = list_client();
    ScrollParts p{};
    p.bar = {c.right - 1 - ScrollBarWidth(), 1, c.right - 1, c.bottom - 1};
    int arrow = std::min(ScrollBarWidth(), (p.bar.bottom - p.bar.top) / 3);
    p.up = {p.bar.left, p.bar.top, p.bar.right, p.bar.top + arrow};
    p.down = {p.bar.left, p.bar.bottom - arrow, p.bar.right, p.bar.bottom};
    int track = p.down.top - p.up.bottom;
    int n = std::max(1, count());
    int thumb = std::clamp(track * rows_ / n, std::min(track, 6 * Scale()), track);
    int range = max_top();
    int offset = range > 0 ? (track - thumb) * top_ / range : 0;
    p.thumb = {p.bar.left, p.up.bottom + offset, p.bar.right, p.up.bottom + offset + thumb};
    return p;
  }
  void drag_thumb_to(int y) {
    ScrollParts p = parts();
    int free = (p.down.top - p.up.bottom) - (p.thumb.bottom - p.thumb.top);
    if (free <= 0) return;
    int offset = y - thumb_grab_ - p.up.bottom;
    scroll_to((offset * max_top() + free / 2) / free);
  }
  void set_hot(int index) {
    if (index == hot_ || !valid(index)) return;
    hot_ = index;
    InvalidateRect(list_, nullptr, FALSE);
  }

  HWND self_;
  DWORD style_;
  std::vector<std::u16string> entries_;
  int selected_ = -1;
  int full_height_;

  HWND list_ = nullptr;
  int hot_ = -1;  // the highlighted entry of the open list
  int top_ = 0;   // the first entry in view
  int rows_ = 0;  // entries in view
  bool scroll_bar_ = false;
  Drag drag_ = Drag::none;
  int thumb_grab_ = 0;  // where on the thumb the stylus holds it
};

bool ComboBox::alive() const { return ControlClass<ComboBox>::of(self_) == this; }

// The combo box whose open list `list` is (its owner), held for the call.
std::shared_ptr<ComboBox> ComboOfList(HWND list) {
  Window* w = Session::current().windows().get(list);
  std::shared_ptr<ComboBox> st = w ? ControlClass<ComboBox>::keep(w->owner) : nullptr;
  return st && st->list() == list ? st : nullptr;
}

void ComboBox::open(OpenBy by) {
  if (dropped()) return;
  // The parent hears of it first: it may still fill the list.
  Notify(self_, CBN_DROPDOWN);
  if (!alive() || dropped()) return;
  show_list();
  if (dropped() && by == OpenBy::stylus) drag_ = Drag::from_field;
}

void ComboBox::show_list() {
  Session& s = Session::current();
  WindowManager& windows = s.windows();
  RECT field = windows.window_rect_on_screen(self_);
  int row = RowHeight();
  int n = count();
  int room_rows = std::max(kMinRows, (full_height_ - FieldHeight() - 2) / row);
  int rows = std::clamp(n, 1, room_rows);
  int height = rows * row + 2;
  int y = field.bottom;
  if (y + height > s.screen().height()) {
    int below = s.screen().height() - field.bottom;
    int above = field.top;
    if (height > above) {
      // Neither side holds it: take the larger one, as many rows as fit.
      rows = std::max(1, ((above > below ? above : below) - 2) / row);
      height = rows * row + 2;
    }
    y = height <= above ? field.top - height : field.bottom;
  }
  rows_ = rows;
  scroll_bar_ = n > rows;
  hot_ = selected_;
  top_ = 0;

  HWND list = CreateWindowExW(WS_EX_TOPMOST, kListClass, u"", WS_POPUP, field.left, y, field.right - field.left,
                              height, nullptr, nullptr, nullptr, nullptr);
  if (!list) return;
  windows.get(list)->owner = self_;
  list_ = list;
  ensure_visible(hot_);
  ShowWindow(list, SW_SHOWNA);
  SetCapture(list);
  InvalidateRect(self_, nullptr, FALSE);
}

void ComboBox::close(int choice, Tell tell) {
  if (!dropped()) return;
  HWND self = self_;
  destroy_list();
  bool changed = valid(choice) && choice != selected_;
  if (changed) selected_ = choice;
  InvalidateRect(self, nullptr, FALSE);
  if (tell == Tell::nobody) return;
  // Wine's combo.c rolls the list up (CBN_CLOSEUP) before it reports the
  // new selection (CBN_SELCHANGE); the order here is the same.
  Notify(self, CBN_CLOSEUP);
  if (changed && IsWindow(self)) Notify(self, CBN_SELCHANGE);
}

void ComboBox::list_mouse(UINT msg, int x, int y) {
  RECT client = list_client();
  RECT area = entries_area();
  bool inside = Inside(client, x, y);
  switch (msg) {
    case WM_LBUTTONDOWN: {
      if (!inside) {
        close(-1);
        return;
      }
      if (scroll_bar_ && x >= area.right) {
        ScrollParts p = parts();
        if (Inside(p.up, x, y)) {
          scroll_to(top_ - 1);
        } else if (Inside(p.down, x, y)) {
          scroll_to(top_ + 1);
        } else if (Inside(p.thumb, x, y)) {
          drag_ = Drag::thumb;
          thumb_grab_ = y - p.thumb.top;
        } else if (y < p.thumb.top) {
          scroll_to(top_ - std::max(1, rows_ - 1));
        } else if (y >= p.thumb.bottom) {
          scroll_to(top_ + std::max(1, rows_ - 1));
        }
        return;
      }
      drag_ = Drag::entries;
      set_hot(entry_at(y));
      return;
    }
    case WM_MOUSEMOVE: {
      if (drag_ == Drag::thumb) {
        drag_thumb_to(y);
      } else if (drag_ == Drag::entries && y < area.top) {
        // Dragging past an edge of the list scrolls it, as in a list box.
        scroll_to(top_ - 1);
        set_hot(top_);
      } else if (drag_ == Drag::entries && y >= area.bottom) {
        scroll_to(top_ + 1);
        set_hot(std::min(count() - 1, top_ + rows_ - 1));
      } else if (drag_ != Drag::none && Inside(area, x, y)) {
        set_hot(entry_at(y));
      }
      return;
    }
    case WM_LBUTTONUP: {
      Drag was = drag_;
      drag_ = Drag::none;
      if ((was == Drag::entries || was == Drag::from_field) && Inside(area, x, y) && entry_at(y) >= 0)
        close(entry_at(y));
      return;
    }
    default:
      return;
  }
}

std::optional<RECT> ComboBox::entry_on_screen(int index) {
  if (!dropped() || !valid(index)) return std::nullopt;
  ensure_visible(index);
  RECT r = entry_rect(index);
  POINT o = Session::current().windows().client_origin_on_screen(list_);
  return RECT{r.left + o.x, r.top + o.y, r.right + o.x, r.bottom + o.y};
}

void ComboBox::paint_field(cairo_t* cr, const FontSpec& font) const {
  Session& s = Session::current();
  RECT c = s.windows().client_rect(self_);
  int k = Scale();
  bool enabled = IsWindowEnabled(self_);
  FillRectangle(cr, 0, 0, c.right, c.bottom, GetSysColor(COLOR_WINDOW));
  FrameRectangle(cr, 0, 0, c.right, c.bottom, GetSysColor(COLOR_WINDOWFRAME));

  int button = ScrollBarWidth();
  int bx = c.right - 1 - button;
  FillRectangle(cr, bx, 1, button, c.bottom - 2, GetSysColor(COLOR_BTNFACE));
  FillRectangle(cr, bx - 1, 1, 1, c.bottom - 2, GetSysColor(COLOR_WINDOWFRAME));
  double tw = 7 * k, th = 4 * k;
  double tx = bx + (button - tw) / 2.0, ty = (c.bottom - th) / 2.0;
  cairo_move_to(cr, tx, ty);
  cairo_line_to(cr, tx + tw, ty);
  cairo_line_to(cr, tx + tw / 2.0, ty + th);
  cairo_close_path(cr);
  SetSourceColor(cr, GetSysColor(enabled ? COLOR_BTNTEXT : COLOR_GRAYTEXT));
  cairo_fill(cr);

  // With the focus and the list closed, the field shows the selection highlighted.
  bool highlighted = enabled && GetFocus() == self_ && !dropped();
  int text_right = bx - 1;
  if (highlighted) FillRectangle(cr, 2, 2, text_right - 3, c.bottom - 4, GetSysColor(COLOR_HIGHLIGHT));
  std::u16string text = EllipsizeToWidth(font, selected_text(), text_right - 5 * k);
  if (text.empty()) return;
  TextExtent e = MeasureText(font, text);
  COLORREF color = !enabled ? GetSysColor(COLOR_GRAYTEXT)
                            : GetSysColor(highlighted ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT);
  DrawTextLine(cr, font, text, 3 * k, (c.bottom - e.height) / 2, color);
}

void ComboBox::paint_list(cairo_t* cr, const FontSpec& font) const {
  RECT c = list_client();
  int k = Scale();
  FillRectangle(cr, 0, 0, c.right, c.bottom, GetSysColor(COLOR_WINDOW));
  FrameRectangle(cr, 0, 0, c.right, c.bottom, GetSysColor(COLOR_WINDOWFRAME));
  RECT area = entries_area();
  for (int i = top_; i < std::min(count(), top_ + rows_); ++i) {
    RECT r = entry_rect(i);
    bool hot = i == hot_;
    if (hot) FillRectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top, GetSysColor(COLOR_HIGHLIGHT));
    std::u16string text = EllipsizeToWidth(font, entry(i), area.right - area.left - 5 * k);
    TextExtent e = MeasureText(font, text);
    DrawTextLine(cr, font, text, r.left + 2 * k, r.top + (RowHeight() - e.height) / 2,
                 GetSysColor(hot ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  }
  if (!scroll_bar_) return;

  ScrollParts p = parts();
  COLORREF frame = GetSysColor(COLOR_WINDOWFRAME);
  FillRectangle(cr, p.bar.left, p.bar.top, p.bar.right - p.bar.left, p.bar.bottom - p.bar.top, RGB(0xe8, 0xe8, 0xe8));
  FillRectangle(cr, p.bar.left - 1, p.bar.top, 1, p.bar.bottom - p.bar.top, frame);
  auto button = [&](const RECT& r, bool up) {
    FillRectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top, GetSysColor(COLOR_BTNFACE));
    FrameRectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top, GetSysColor(COLOR_BTNSHADOW));
    double w = 5 * k, h = 3 * k;
    double x = r.left + (r.right - r.left - w) / 2.0, y = r.top + (r.bottom - r.top - h) / 2.0;
    cairo_move_to(cr, x, up ? y + h : y);
    cairo_line_to(cr, x + w, up ? y + h : y);
    cairo_line_to(cr, x + w / 2.0, up ? y : y + h);
    cairo_close_path(cr);
    SetSourceColor(cr, GetSysColor(COLOR_BTNTEXT));
    cairo_fill(cr);
  };
  button(p.up, true);
  button(p.down, false);
  FillRectangle(cr, p.thumb.left, p.thumb.top, p.thumb.right - p.thumb.left, p.thumb.bottom - p.thumb.top,
                GetSysColor(COLOR_BTNFACE));
  FrameRectangle(cr, p.thumb.left, p.thumb.top, p.thumb.right - p.thumb.left, p.thumb.bottom - p.thumb.top,
                 GetSysColor(COLOR_BTNSHADOW));
}

}  // namespace

LRESULT ComboBox::handle(UINT msg, WPARAM wp, LPARAM lp) {
  int index = static_cast<int>(static_cast<INT_PTR>(wp));
  auto text_arg = [lp] { return lp ? std::u16string(reinterpret_cast<LPCWSTR>(lp)) : std::u16string(); };
  switch (msg) {
    case WM_NCCREATE:
      return TRUE;  // the window text is the selection's, never its own
    case WM_SIZE:
      adopt_height();
      return 0;
    case WM_LBUTTONDOWN:
      field_tap();
      return 0;
    case WM_KEYDOWN:
      key_down(wp);
      return 0;
    case WM_SETFOCUS:
    case WM_ENABLE:
      InvalidateRect(self_, nullptr, FALSE);
      return 0;
    case WM_KILLFOCUS:
      close(-1);
      InvalidateRect(self_, nullptr, FALSE);
      return 0;
    case WM_DESTROY:
      close(-1, Tell::nobody);
      return 0;
    case WM_GETTEXT:
      return get_text(index, reinterpret_cast<LPWSTR>(lp));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(selected_text().size());
    case WM_SETTEXT:
      return set_text(reinterpret_cast<LPCWSTR>(lp));
    case CB_ADDSTRING:
      return add(text_arg());
    case CB_INSERTSTRING:
      return insert(index, text_arg());
    case CB_GETCOUNT:
      return count();
    case CB_GETLBTEXT:
      return get_entry_text(index, reinterpret_cast<LPWSTR>(lp));
    case CB_GETLBTEXTLEN:
      return valid(index) ? static_cast<LRESULT>(entry(index).size()) : CB_ERR;
    case CB_SETCURSEL:
      return select(index);
    case CB_GETCURSEL:
      return selection();
    case CB_SHOWDROPDOWN:
      if (wp)
        open(OpenBy::keys);
      else
        close(-1);
      return TRUE;
    default:
      return DefWindowProcW(self_, msg, wp, lp);
  }
}

namespace {

// The drop-down list's window: everything it shows and does is its combo box's.
LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      std::shared_ptr<ComboBox> st = ComboOfList(hwnd);
      PaintWindow(hwnd, [&](cairo_t* cr, const FontSpec& font) {
        if (st) st->paint_list(cr, font);
      });
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
      if (std::shared_ptr<ComboBox> st = ComboOfList(hwnd)) st->list_mouse(msg, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_CAPTURECHANGED: {
      // Losing the stylus to another window closes the list without a choice;
      // a list destroyed with its combo box closes without notifications.
      Window* w = Session::current().windows().get(hwnd);
      if (w && !w->destroying && reinterpret_cast<HWND>(lp) != hwnd)
        if (std::shared_ptr<ComboBox> st = ComboOfList(hwnd)) st->close(-1);
      return 0;
    }
    case WM_DESTROY:
      if (std::shared_ptr<ComboBox> st = ComboOfList(hwnd)) st->list_gone();
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterComboBoxClass() {
  ControlClass<ComboBox>::register_class(kComboClass);
  Session::current().windows().register_system_class(kListClass, ListProc);
}

bool ComboBoxIsDroppedDown(HWND combo) {
  ComboBox* st = ControlClass<ComboBox>::of(combo);
  return st && st->dropped();
}

std::optional<RECT> ComboBoxEntryOnScreen(HWND combo, int index) {
  ComboBox* st = ControlClass<ComboBox>::of(combo);
  return st ? st->entry_on_screen(index) : std::nullopt;
}

}  // namespace platform::controls
