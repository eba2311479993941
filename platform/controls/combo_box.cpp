// The drop-down list box: the "COMBOBOX" class as a CBS_DROPDOWNLIST.
//
// The window is only the selection field (the selected entry's text and a
// drop-down button); the height a program gives it is the height of the
// field together with its list, kept for when the list opens. A tap on the
// field, or F4, opens the list as a pop-up window of the class "ComboLBox"
// below the field (above it when it does not fit on the screen); a tap on an
// entry or Enter chooses, a tap elsewhere or Escape closes without a change.
//
// Messages: CB_ADDSTRING (sorted with CBS_SORT), CB_INSERTSTRING,
// CB_DELETESTRING, CB_RESETCONTENT, CB_GETCOUNT, CB_GETLBTEXT,
// CB_GETLBTEXTLEN, CB_SETCURSEL, CB_GETCURSEL, CB_FINDSTRINGEXACT,
// CB_SHOWDROPDOWN, CB_GETDROPPEDSTATE, WM_GETTEXT and WM_GETTEXTLENGTH (the
// selected entry), WM_SETTEXT (selects the matching entry), WM_SETFONT.
// Notifications, as WM_COMMAND to the parent: CBN_DROPDOWN, CBN_CLOSEUP,
// CBN_SELCHANGE.
//
// Not supported yet: CBS_SIMPLE and CBS_DROPDOWN (there is no edit field;
// every combo box behaves as a drop-down list), owner drawing, item data,
// prefix search (CB_FINDSTRING, CB_SELECTSTRING), choosing by typing letters,
// CBN_SELENDOK, CBN_SELENDCANCEL, CBN_SETFOCUS, CBN_KILLFOCUS, CBN_DBLCLK,
// CB_SETITEMHEIGHT, CB_GETDROPPEDCONTROLRECT, auto-repeat while the stylus
// rests on a scroll arrow.
#include <commctrl.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

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

// Entries compare without regard to case, as the platform's list boxes do.
int CompareIgnoringCase(std::u16string_view a, std::u16string_view b) {
  size_t n = std::min(a.size(), b.size());
  for (size_t i = 0; i < n; ++i) {
    char16_t x = Fold(a[i]), y = Fold(b[i]);
    if (x != y) return x < y ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

void Notify(HWND combo, WORD code) {
  HWND parent = GetParent(combo);
  if (parent) SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(combo), code), reinterpret_cast<LPARAM>(combo));
}

bool Inside(const RECT& r, int x, int y) { return x >= r.left && x < r.right && y >= r.top && y < r.bottom; }

class ComboBoxState : public WindowExtension {
 public:
  ComboBoxState(HWND self, DWORD style, int full_height) : self_(self), style_(style), full_height_(full_height) {}

  // ---- entries
  int count() const { return static_cast<int>(entries_.size()); }
  bool valid(int index) const { return index >= 0 && index < count(); }
  std::u16string_view entry(int index) const { return entries_[static_cast<size_t>(index)]; }

  int Add(std::u16string text) {
    int index = count();
    if (style_ & CBS_SORT) {
      auto pos = std::upper_bound(entries_.begin(), entries_.end(), text, [](const auto& a, const auto& b) {
        return CompareIgnoringCase(a, b) < 0;
      });
      index = static_cast<int>(pos - entries_.begin());
    }
    return Insert(index, std::move(text));
  }

  int Insert(int index, std::u16string text) {
    if (index == -1) index = count();
    if (index < 0 || index > count()) return CB_ERR;
    entries_.insert(entries_.begin() + index, std::move(text));
    if (selected_ >= index) ++selected_;
    if (dropped() && hot_ >= index) ++hot_;
    Changed();
    return index;
  }

  int Delete(int index) {
    if (!valid(index)) return CB_ERR;
    entries_.erase(entries_.begin() + index);
    if (selected_ == index)
      selected_ = -1;
    else if (selected_ > index)
      --selected_;
    if (hot_ == index)
      hot_ = -1;
    else if (hot_ > index)
      --hot_;
    Changed();
    return count();
  }

  void Reset() {
    entries_.clear();
    selected_ = hot_ = -1;
    top_ = 0;
    Changed();
  }

  int FindExact(int after, std::u16string_view text) const {
    int n = count();
    int start = valid(after) ? after + 1 : 0;
    for (int k = 0; k < n; ++k) {
      int i = (start + k) % n;
      if (CompareIgnoringCase(entry(i), text) == 0) return i;
    }
    return CB_ERR;
  }

  LRESULT GetEntryText(int index, LPWSTR out) const {
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
  LRESULT Select(int index) {
    selected_ = valid(index) ? index : -1;
    if (dropped()) {
      hot_ = selected_;
      EnsureVisible(hot_);
    }
    Changed();
    return selected_ == -1 ? CB_ERR : selected_;
  }

  LRESULT GetText(int max, LPWSTR out) const {
    if (!out || max <= 0) return 0;
    std::u16string_view text = selected_text();
    int n = std::min(static_cast<int>(text.size()), max - 1);
    std::copy_n(text.begin(), n, out);
    out[n] = 0;
    return n;
  }

  LRESULT SetText(LPCWSTR text) {
    int index = FindExact(-1, text ? std::u16string_view(text) : std::u16string_view{});
    if (index == CB_ERR) return CB_ERR;
    Select(index);
    return TRUE;
  }

  // ---- geometry: the window keeps the field's height, the rest is the list's
  void AdoptHeight() {
    Window* w = Session::current().windows().get(self_);
    if (!w || w->height() == FieldHeight()) return;
    full_height_ = w->height();
    w->rect.bottom = w->rect.top + FieldHeight();
  }

  // ---- the drop-down list
  bool dropped() const { return list_ != nullptr; }
  HWND list() const { return list_; }

  // Opens the list; `by_stylus` when the stylus is still down on the field,
  // so that lifting it over an entry chooses that entry.
  static void Open(HWND self, bool by_stylus);
  // Closes the list, choosing `choice` when it is an entry.
  static void Close(HWND self, int choice, bool notify = true);

  void FieldTap() {
    HWND self = self_;
    SetFocus(self);
    Open(self, true);
  }

  void KeyDown(WPARAM vk) {
    if (dropped()) {
      KeyInList(vk);
      return;
    }
    if (vk == kVkF4) {
      Open(self_, false);
      return;
    }
    int next = Step(selected_, vk);
    if (next == selected_ || !valid(next)) return;
    selected_ = next;
    Changed();
    Notify(self_, CBN_SELCHANGE);
  }

  void ListMouse(UINT msg, int x, int y);
  std::optional<RECT> EntryOnScreen(int index);

  void PaintField(cairo_t* cr, const FontSpec& font) const;
  void PaintList(cairo_t* cr, const FontSpec& font) const;

  // The list window went away without Close (destroyed with the combo box's owner chain).
  void ListGone() {
    list_ = nullptr;
    drag_ = Drag::none;
    InvalidateRect(self_, nullptr, FALSE);
  }

  void DestroyList() {
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

  void ShowList();
  void KeyInList(WPARAM vk) {
    if (vk == VK_ESCAPE || vk == kVkF4) {
      Close(self_, -1);
    } else if (vk == VK_RETURN) {
      Close(self_, hot_);
    } else {
      int next = Step(hot_, vk);
      if (next != hot_ && valid(next)) {
        hot_ = next;
        EnsureVisible(hot_);
        InvalidateRect(list_, nullptr, FALSE);
      }
    }
  }

  // The entry a navigation key leads to from `from`.
  int Step(int from, WPARAM vk) const {
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

  void Changed() {
    InvalidateRect(self_, nullptr, FALSE);
    if (!dropped()) return;
    ScrollTo(top_);
    InvalidateRect(list_, nullptr, FALSE);
  }

  int MaxTop() const { return std::max(0, count() - rows_); }
  void ScrollTo(int top) {
    top = std::clamp(top, 0, MaxTop());
    if (top == top_) return;
    top_ = top;
    if (list_) InvalidateRect(list_, nullptr, FALSE);
  }
  void EnsureVisible(int index) {
    if (!valid(index)) return;
    if (index < top_) ScrollTo(index);
    if (index >= top_ + rows_) ScrollTo(index - rows_ + 1);
  }

  RECT ListClient() const { return Session::current().windows().client_rect(list_); }
  // Entries lie inside the one-pixel frame, left of the scroll bar.
  RECT EntriesArea() const {
    RECT c = ListClient();
    return {1, 1, c.right - 1 - (scroll_bar_ ? ScrollBarWidth() : 0), c.bottom - 1};
  }
  RECT EntryRect(int index) const {
    RECT a = EntriesArea();
    int y = a.top + (index - top_) * RowHeight();
    return {a.left, y, a.right, y + RowHeight()};
  }
  int EntryAt(int y) const {
    RECT a = EntriesArea();
    if (y < a.top || y >= a.bottom) return -1;
    int index = top_ + (y - a.top) / RowHeight();
    return valid(index) ? index : -1;
  }
  ScrollParts Parts() const {
    RECT c = ListClient();
    ScrollParts p{};
    p.bar = {c.right - 1 - ScrollBarWidth(), 1, c.right - 1, c.bottom - 1};
    int arrow = std::min(ScrollBarWidth(), (p.bar.bottom - p.bar.top) / 3);
    p.up = {p.bar.left, p.bar.top, p.bar.right, p.bar.top + arrow};
    p.down = {p.bar.left, p.bar.bottom - arrow, p.bar.right, p.bar.bottom};
    int track = p.down.top - p.up.bottom;
    int n = std::max(1, count());
    int thumb = std::clamp(track * rows_ / n, std::min(track, 6 * Scale()), track);
    int range = MaxTop();
    int offset = range > 0 ? (track - thumb) * top_ / range : 0;
    p.thumb = {p.bar.left, p.up.bottom + offset, p.bar.right, p.up.bottom + offset + thumb};
    return p;
  }
  void DragThumbTo(int y) {
    ScrollParts p = Parts();
    int free = (p.down.top - p.up.bottom) - (p.thumb.bottom - p.thumb.top);
    if (free <= 0) return;
    int offset = y - thumb_grab_ - p.up.bottom;
    ScrollTo((offset * MaxTop() + free / 2) / free);
  }
  void SetHot(int index) {
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

// The pop-up list's own window only knows its combo box.
class DropListLink : public WindowExtension {
 public:
  explicit DropListLink(HWND combo) : combo(combo) {}
  HWND combo;
};

ComboBoxState* StateOf(HWND hwnd) {
  Window* w = Session::current().windows().get(hwnd);
  return w ? dynamic_cast<ComboBoxState*>(w->extension.get()) : nullptr;
}

ComboBoxState* ComboOfList(HWND list) {
  Window* w = Session::current().windows().get(list);
  auto* link = w ? dynamic_cast<DropListLink*>(w->extension.get()) : nullptr;
  ComboBoxState* st = link ? StateOf(link->combo) : nullptr;
  return st && st->list() == list ? st : nullptr;
}

void ComboBoxState::Open(HWND self, bool by_stylus) {
  ComboBoxState* st = StateOf(self);
  if (!st || st->dropped()) return;
  // The parent hears of it first: it may still fill the list.
  Notify(self, CBN_DROPDOWN);
  st = StateOf(self);
  if (!st || st->dropped()) return;
  st->ShowList();
  if (st->dropped() && by_stylus) st->drag_ = Drag::from_field;
}

void ComboBoxState::ShowList() {
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
  windows.get(list)->extension = std::make_unique<DropListLink>(self_);
  list_ = list;
  EnsureVisible(hot_);
  ShowWindow(list, SW_SHOWNA);
  SetCapture(list);
  InvalidateRect(self_, nullptr, FALSE);
}

void ComboBoxState::Close(HWND self, int choice, bool notify) {
  ComboBoxState* st = StateOf(self);
  if (!st || !st->dropped()) return;
  st->DestroyList();
  bool changed = st->valid(choice) && choice != st->selected_;
  if (changed) st->selected_ = choice;
  InvalidateRect(self, nullptr, FALSE);
  if (!notify) return;
  // Wine's combo.c rolls the list up (CBN_CLOSEUP) before it reports the
  // new selection (CBN_SELCHANGE); the order here is the same.
  Notify(self, CBN_CLOSEUP);
  if (changed && IsWindow(self)) Notify(self, CBN_SELCHANGE);
}

void ComboBoxState::ListMouse(UINT msg, int x, int y) {
  RECT client = ListClient();
  RECT area = EntriesArea();
  bool inside = Inside(client, x, y);
  switch (msg) {
    case WM_LBUTTONDOWN: {
      if (!inside) {
        Close(self_, -1);
        return;
      }
      if (scroll_bar_ && x >= area.right) {
        ScrollParts p = Parts();
        if (Inside(p.up, x, y)) {
          ScrollTo(top_ - 1);
        } else if (Inside(p.down, x, y)) {
          ScrollTo(top_ + 1);
        } else if (Inside(p.thumb, x, y)) {
          drag_ = Drag::thumb;
          thumb_grab_ = y - p.thumb.top;
        } else if (y < p.thumb.top) {
          ScrollTo(top_ - std::max(1, rows_ - 1));
        } else if (y >= p.thumb.bottom) {
          ScrollTo(top_ + std::max(1, rows_ - 1));
        }
        return;
      }
      drag_ = Drag::entries;
      SetHot(EntryAt(y));
      return;
    }
    case WM_MOUSEMOVE: {
      if (drag_ == Drag::thumb) {
        DragThumbTo(y);
      } else if (drag_ == Drag::entries && y < area.top) {
        // Dragging past an edge of the list scrolls it, as in a list box.
        ScrollTo(top_ - 1);
        SetHot(top_);
      } else if (drag_ == Drag::entries && y >= area.bottom) {
        ScrollTo(top_ + 1);
        SetHot(std::min(count() - 1, top_ + rows_ - 1));
      } else if (drag_ != Drag::none && Inside(area, x, y)) {
        SetHot(EntryAt(y));
      }
      return;
    }
    case WM_LBUTTONUP: {
      Drag was = drag_;
      drag_ = Drag::none;
      if ((was == Drag::entries || was == Drag::from_field) && Inside(area, x, y) && EntryAt(y) >= 0)
        Close(self_, EntryAt(y));
      return;
    }
    default:
      return;
  }
}

std::optional<RECT> ComboBoxState::EntryOnScreen(int index) {
  if (!dropped() || !valid(index)) return std::nullopt;
  EnsureVisible(index);
  RECT r = EntryRect(index);
  POINT o = Session::current().windows().client_origin_on_screen(list_);
  return RECT{r.left + o.x, r.top + o.y, r.right + o.x, r.bottom + o.y};
}

void ComboBoxState::PaintField(cairo_t* cr, const FontSpec& font) const {
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

void ComboBoxState::PaintList(cairo_t* cr, const FontSpec& font) const {
  RECT c = ListClient();
  int k = Scale();
  FillRectangle(cr, 0, 0, c.right, c.bottom, GetSysColor(COLOR_WINDOW));
  FrameRectangle(cr, 0, 0, c.right, c.bottom, GetSysColor(COLOR_WINDOWFRAME));
  RECT area = EntriesArea();
  for (int i = top_; i < std::min(count(), top_ + rows_); ++i) {
    RECT r = EntryRect(i);
    bool hot = i == hot_;
    if (hot) FillRectangle(cr, r.left, r.top, r.right - r.left, r.bottom - r.top, GetSysColor(COLOR_HIGHLIGHT));
    std::u16string text = EllipsizeToWidth(font, entry(i), area.right - area.left - 5 * k);
    TextExtent e = MeasureText(font, text);
    DrawTextLine(cr, font, text, r.left + 2 * k, r.top + (RowHeight() - e.height) / 2,
                 GetSysColor(hot ? COLOR_HIGHLIGHTTEXT : COLOR_WINDOWTEXT));
  }
  if (!scroll_bar_) return;

  ScrollParts p = Parts();
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

template <typename PaintFn>
void PaintWith(HWND hwnd, PaintFn paint) {
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  Session& s = Session::current();
  if (DeviceContext* dc = platform::GdiObjects::of(s).dc(hdc)) paint(dc->cr.get(), platform::GdiObjects::of(s).font_spec(dc->font));
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK ComboProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
    Window* w = Session::current().windows().get(hwnd);
    // The control draws its own frame; a border or scroll bar style a program adds is dropped, as on the platform.
    w->style &= ~static_cast<DWORD>(WS_BORDER | WS_VSCROLL | WS_HSCROLL);
    w->extension = std::make_unique<ComboBoxState>(hwnd, w->style, cs->cy);
    static_cast<ComboBoxState*>(w->extension.get())->AdoptHeight();
    return TRUE;  // the window text is the selection's, never its own
  }
  ComboBoxState* st = StateOf(hwnd);
  if (!st) return DefWindowProcW(hwnd, msg, wp, lp);
  int index = static_cast<int>(static_cast<INT_PTR>(wp));
  auto text_arg = [lp] { return lp ? std::u16string(reinterpret_cast<LPCWSTR>(lp)) : std::u16string(); };
  switch (msg) {
    case WM_PAINT:
      PaintWith(hwnd, [st](cairo_t* cr, const FontSpec& font) { st->PaintField(cr, font); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      st->AdoptHeight();
      return 0;
    case WM_LBUTTONDOWN:
      st->FieldTap();
      return 0;
    case WM_KEYDOWN:
      st->KeyDown(wp);
      return 0;
    case WM_SETFOCUS:
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_KILLFOCUS:
      ComboBoxState::Close(hwnd, -1);
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_DESTROY:
      ComboBoxState::Close(hwnd, -1, /*notify=*/false);
      return 0;
    case WM_GETTEXT:
      return st->GetText(index, reinterpret_cast<LPWSTR>(lp));
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(st->selected_text().size());
    case WM_SETTEXT:
      return st->SetText(reinterpret_cast<LPCWSTR>(lp));
    case CB_ADDSTRING:
      return st->Add(text_arg());
    case CB_INSERTSTRING:
      return st->Insert(index, text_arg());
    case CB_DELETESTRING:
      return st->Delete(index);
    case CB_RESETCONTENT:
      st->Reset();
      return CB_OKAY;
    case CB_GETCOUNT:
      return st->count();
    case CB_GETLBTEXT:
      return st->GetEntryText(index, reinterpret_cast<LPWSTR>(lp));
    case CB_GETLBTEXTLEN:
      return st->valid(index) ? static_cast<LRESULT>(st->entry(index).size()) : CB_ERR;
    case CB_SETCURSEL:
      return st->Select(index);
    case CB_GETCURSEL:
      return st->selection();
    case CB_FINDSTRINGEXACT:
      return st->FindExact(index, lp ? std::u16string_view(reinterpret_cast<LPCWSTR>(lp)) : std::u16string_view{});
    case CB_SHOWDROPDOWN:
      if (wp)
        ComboBoxState::Open(hwnd, false);
      else
        ComboBoxState::Close(hwnd, -1);
      return TRUE;
    case CB_GETDROPPEDSTATE:
      return st->dropped() ? TRUE : FALSE;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

LRESULT CALLBACK ListProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT: {
      ComboBoxState* st = ComboOfList(hwnd);
      PaintWith(hwnd, [st](cairo_t* cr, const FontSpec& font) {
        if (st) st->PaintList(cr, font);
      });
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP:
      if (ComboBoxState* st = ComboOfList(hwnd)) st->ListMouse(msg, GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_CAPTURECHANGED: {
      // Losing the stylus to another window closes the list without a choice;
      // a list destroyed with its combo box closes without notifications.
      Window* w = Session::current().windows().get(hwnd);
      auto* link = w ? dynamic_cast<DropListLink*>(w->extension.get()) : nullptr;
      if (link && !w->destroying && reinterpret_cast<HWND>(lp) != hwnd && ComboOfList(hwnd))
        ComboBoxState::Close(link->combo, -1);
      return 0;
    }
    case WM_DESTROY:
      if (ComboBoxState* st = ComboOfList(hwnd)) st->ListGone();
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterComboBoxClass() {
  WindowManager& windows = Session::current().windows();
  WNDCLASSW wc{};
  wc.lpfnWndProc = ComboProc;
  wc.lpszClassName = kComboClass;
  windows.register_class(wc, true);
  WNDCLASSW list{};
  list.lpfnWndProc = ListProc;
  list.lpszClassName = kListClass;
  windows.register_class(list, true);
}

bool ComboBoxIsDroppedDown(HWND combo) {
  ComboBoxState* st = StateOf(combo);
  return st && st->dropped();
}

std::optional<RECT> ComboBoxEntryOnScreen(HWND combo, int index) {
  ComboBoxState* st = StateOf(combo);
  return st ? st->EntryOnScreen(index) : std::nullopt;
}

}  // namespace platform::controls
