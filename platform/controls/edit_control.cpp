// The edit control: the "EDIT" class, single-line and ES_MULTILINE.
//
// A white field that holds its own text and a caret. A tap takes the focus
// and puts the caret at the nearest character boundary; while focused, the
// caret is drawn as a steady bar (it does not blink). Typing arrives as
// WM_CHAR: printable characters replace the selection or insert at the
// caret, Backspace deletes the selection or the character before the caret,
// Enter inserts a line break ("\r\n") in a multi-line control and is ignored
// in a single-line one. WM_KEYDOWN moves the caret: Left, Right, Home and End
// (of the line), Up and Down (multi-line), Ctrl+Home and Ctrl+End (of the
// text); Shift with any of them extends the selection; Delete removes the
// selection or the character after the caret. A single-line control scrolls
// sideways to keep the caret in view (without ES_AUTOHSCROLL it refuses text
// wider than the field instead); a multi-line control wraps words (unless
// ES_AUTOHSCROLL) and scrolls by whole lines to keep the caret's line in view.
// ES_NUMBER accepts digits only, ES_READONLY accepts no typing.
//
// Messages: WM_SETTEXT, WM_GETTEXT, WM_GETTEXTLENGTH, EM_SETSEL (-1 start
// clears the selection, -1 end means the end of the text), EM_GETSEL,
// EM_REPLACESEL, EM_GETLINECOUNT, WM_SETFONT. Notifications, as WM_COMMAND to
// the parent: EN_SETFOCUS, EN_KILLFOCUS, and EN_UPDATE then EN_CHANGE after
// each change made by the user or by EM_REPLACESEL, and after WM_SETTEXT in
// a single-line control only. A selection is drawn highlighted while the
// control has the focus, or always with ES_NOHIDESEL. EditCaretOnScreen
// tells hosts where the caret stands.
//
// Not supported yet: selecting by dragging the stylus, the clipboard (cut,
// copy, paste, undo), EM_LIMITTEXT, password and case styles, ES_CENTER and
// ES_RIGHT, drawn scroll bars (WS_VSCROLL/WS_HSCROLL are ignored),
// EM_LINESCROLL and WM_VSCROLL, tab characters (Tab is ignored), the input
// panel, WM_CTLCOLOREDIT colours, a blinking caret.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls/edit_control.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/core/screen.h"
#include "platform/gdi/text.h"

namespace platform::controls {

namespace {

constexpr const char16_t* kEditClass = u"EDIT";

int Scale() { return Session::current().screen().scale(); }
int Margin() { return 2 * Scale(); }

bool IsHighSurrogate(char16_t c) { return c >= 0xD800 && c <= 0xDBFF; }
bool IsLowSurrogate(char16_t c) { return c >= 0xDC00 && c <= 0xDFFF; }

void NotifyParent(HWND hwnd, WORD code) {
  HWND parent = GetParent(hwnd);
  if (parent) SendMessageW(parent, WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(hwnd), code), reinterpret_cast<LPARAM>(hwnd));
}

// One line as shown: [begin, end) of the text, without its line break.
struct VisualLine {
  size_t begin = 0;
  size_t end = 0;
};

class EditState : public WindowExtension {
 public:
  EditState(HWND self, DWORD style, std::u16string text) : self_(self), style_(style), text_(std::move(text)) {}

  bool multiline() const { return (style_ & ES_MULTILINE) != 0; }
  bool focused() const { return Session::current().windows().focus() == self_; }
  const std::u16string& text() const { return text_; }
  size_t sel_start() const { return std::min(anchor_, caret_); }
  size_t sel_end() const { return std::max(anchor_, caret_); }

  // ---- text set by the program
  void SetText(std::u16string text) {
    text_ = std::move(text);
    anchor_ = caret_ = 0;
    scroll_x_ = 0;
    first_line_ = 0;
    Changed();
  }

  void SetSelection(long start, long end) {
    long n = static_cast<long>(text_.size());
    if (start < 0) {
      anchor_ = caret_;  // -1 removes the selection and keeps the caret
    } else {
      if (end < 0 || end > n) end = n;
      start = std::min(start, n);
      anchor_ = Boundary(static_cast<size_t>(start));
      caret_ = Boundary(static_cast<size_t>(end));
    }
    Moved();
  }

  // Replaces the selection; returns false when the control refused the text.
  bool Replace(std::u16string_view with) {
    std::u16string next = text_;
    size_t at = sel_start();
    next.replace(at, sel_end() - at, with);
    if (!Fits(next)) return false;
    text_ = std::move(next);
    anchor_ = caret_ = at + with.size();
    Changed();
    return true;
  }

  // A change as the user makes it: the parent hears of it.
  void UserReplace(std::u16string_view with) {
    if (!Replace(with)) return;
    NotifyParent(self_, EN_UPDATE);
    NotifyParent(self_, EN_CHANGE);
  }

  int LineCount() {
    Layout();
    return static_cast<int>(lines_.size());
  }

  // ---- input
  void Char(char16_t c) {
    if (style_ & ES_READONLY) return;
    if (c == VK_BACK) {
      if (anchor_ == caret_) {
        if (caret_ == 0) return;
        anchor_ = Previous(caret_);
      }
      UserReplace(u"");
      return;
    }
    if (c == u'\r' || c == u'\n') {
      if (multiline()) UserReplace(u"\r\n");
      return;
    }
    if (c < 0x20 || c == 0x7F) return;  // Tab, Escape and control characters
    if ((style_ & ES_NUMBER) && (c < u'0' || c > u'9')) return;
    UserReplace(std::u16string_view(&c, 1));
  }

  void KeyDown(WPARAM vk) {
    bool shift = GetKeyState(VK_SHIFT) < 0;
    bool ctrl = GetKeyState(VK_CONTROL) < 0;
    switch (vk) {
      case VK_LEFT:
        MoveCaret(anchor_ != caret_ && !shift ? sel_start() : (caret_ > 0 ? Previous(caret_) : 0), shift);
        break;
      case VK_RIGHT:
        MoveCaret(anchor_ != caret_ && !shift ? sel_end() : Next(caret_), shift);
        break;
      case VK_HOME:
        MoveCaret(ctrl ? 0 : CurrentLine().begin, shift);
        break;
      case VK_END:
        MoveCaret(ctrl ? text_.size() : LineEndCaret(CurrentLine()), shift);
        break;
      case VK_UP:
      case VK_DOWN:
        if (multiline()) MoveCaret(VerticalNeighbour(vk == VK_UP ? -1 : 1), shift);
        break;
      case VK_DELETE:
        if (style_ & ES_READONLY) break;
        if (anchor_ == caret_) {
          if (caret_ >= text_.size()) break;
          anchor_ = Next(caret_);
        }
        UserReplace(u"");
        break;
      default:
        break;
    }
  }

  void Tap(int x, int y) {
    SetFocus(self_);
    Layout();
    int line_height = LineHeight();
    int index = multiline() ? first_line_ + std::max(0, y - Margin()) / std::max(1, line_height) : 0;
    index = std::clamp(index, 0, static_cast<int>(lines_.size()) - 1);
    MoveCaret(PositionAt(lines_[static_cast<size_t>(index)], x - TextLeft() + scroll_x_), false);
  }

  // ---- drawing
  void Paint(cairo_t* cr) {
    const FontSpec& font = font_;
    Layout();
    Session& s = Session::current();
    Window* w = s.windows().get(self_);
    RECT c = s.windows().client_rect(self_);
    bool enabled = w && w->enabled();
    bool grey = !enabled || (style_ & ES_READONLY);
    FillRectangle(cr, 0, 0, c.right, c.bottom, GetSysColor(grey ? COLOR_BTNFACE : COLOR_WINDOW));
    COLORREF ink = GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
    bool show_selection = anchor_ != caret_ && (focused() || (style_ & ES_NOHIDESEL));
    int height = LineHeight();
    cairo_save(cr);
    cairo_rectangle(cr, Margin(), 0, std::max(0, static_cast<int>(c.right) - 2 * Margin()), c.bottom);
    cairo_clip(cr);
    for (size_t i = static_cast<size_t>(first_line_); i < lines_.size(); ++i) {
      int top = LineTop(static_cast<int>(i));
      if (top >= c.bottom) break;
      const VisualLine& line = lines_[i];
      int left = TextLeft() - scroll_x_;
      std::u16string_view whole = std::u16string_view(text_).substr(line.begin, line.end - line.begin);
      size_t s0 = std::clamp(sel_start(), line.begin, line.end), s1 = std::clamp(sel_end(), line.begin, line.end);
      if (!show_selection || s0 == s1) {
        DrawTextLine(cr, font, whole, left, top, ink);
        continue;
      }
      int x0 = left + Width(line.begin, s0), x1 = left + Width(line.begin, s1);
      DrawTextLine(cr, font, whole.substr(0, s0 - line.begin), left, top, ink);
      FillRectangle(cr, x0, top, x1 - x0, height, GetSysColor(COLOR_HIGHLIGHT));
      DrawTextLine(cr, font, whole.substr(s0 - line.begin, s1 - s0), x0, top, GetSysColor(COLOR_HIGHLIGHTTEXT));
      DrawTextLine(cr, font, whole.substr(s1 - line.begin), x1, top, ink);
    }
    cairo_restore(cr);
    if (focused() && anchor_ == caret_) {
      int line = LineOf(caret_);
      const VisualLine& l = lines_[static_cast<size_t>(line)];
      int x = TextLeft() - scroll_x_ + Width(l.begin, caret_);
      int top = LineTop(line);
      if (line >= first_line_ && top < c.bottom) FillRectangle(cr, x, top, Scale(), height, ink);
    }
  }

  // The caret's position in client coordinates, for tests and hosts.
  POINT CaretPoint() {
    Layout();
    int line = LineOf(caret_);
    const VisualLine& l = lines_[static_cast<size_t>(line)];
    return {TextLeft() - scroll_x_ + Width(l.begin, caret_), LineTop(line)};
  }

  void SetFont(const FontSpec& font) {
    font_ = font;
    Changed();
  }
  void Resized() { Changed(); }

 private:
  // ---- positions: a line break "\r\n" and a surrogate pair are one step
  size_t Next(size_t pos) const {
    if (pos >= text_.size()) return text_.size();
    if (text_[pos] == u'\r' && pos + 1 < text_.size() && text_[pos + 1] == u'\n') return pos + 2;
    if (IsHighSurrogate(text_[pos]) && pos + 1 < text_.size() && IsLowSurrogate(text_[pos + 1])) return pos + 2;
    return pos + 1;
  }
  size_t Previous(size_t pos) const {
    if (pos == 0) return 0;
    if (pos >= 2 && text_[pos - 1] == u'\n' && text_[pos - 2] == u'\r') return pos - 2;
    if (pos >= 2 && IsLowSurrogate(text_[pos - 1]) && IsHighSurrogate(text_[pos - 2])) return pos - 2;
    return pos - 1;
  }
  // A position a program gives may fall inside a step; it moves to the step's start.
  size_t Boundary(size_t pos) const {
    if (pos > 0 && pos < text_.size() &&
        ((text_[pos - 1] == u'\r' && text_[pos] == u'\n') ||
         (IsHighSurrogate(text_[pos - 1]) && IsLowSurrogate(text_[pos]))))
      return pos - 1;
    return pos;
  }

  // ---- geometry
  int LineHeight() const { return std::max(1, MeasureText(font_, u"Xg").height); }
  int TextLeft() const { return Margin(); }
  int ClientWidth() const { return Session::current().windows().client_rect(self_).right; }
  int ClientHeight() const { return Session::current().windows().client_rect(self_).bottom; }
  int TextWidth() const { return std::max(1, ClientWidth() - 2 * Margin()); }
  int VisibleLines() const { return std::max(1, (ClientHeight() - Margin()) / LineHeight()); }
  int LineTop(int line) const {
    if (!multiline()) return (ClientHeight() - LineHeight()) / 2;
    return Margin() / 2 + (line - first_line_) * LineHeight();
  }
  int Width(size_t begin, size_t end) const {
    return end <= begin ? 0 : MeasureText(font_, std::u16string_view(text_).substr(begin, end - begin)).width;
  }

  // Whether `text` may stand in the control: a single line without
  // ES_AUTOHSCROLL keeps to the width of the field, as on the platform.
  bool Fits(const std::u16string& text) const {
    if (multiline() || (style_ & ES_AUTOHSCROLL)) return true;
    return MeasureText(font_, text).width <= TextWidth();
  }

  bool Wraps() const { return multiline() && !(style_ & ES_AUTOHSCROLL); }

  void Layout() {
    if (laid_out_) return;
    laid_out_ = true;
    lines_.clear();
    if (!multiline()) {
      lines_.push_back({0, text_.size()});
      return;
    }
    size_t start = 0;
    for (;;) {
      size_t nl = text_.find(u'\n', start);
      size_t para_end = nl == std::u16string::npos ? text_.size() : nl;
      if (para_end > start && text_[para_end - 1] == u'\r' && nl != std::u16string::npos) --para_end;
      WrapParagraph(start, para_end);
      if (nl == std::u16string::npos) break;
      start = nl + 1;
    }
  }

  void WrapParagraph(size_t begin, size_t end) {
    if (!Wraps()) {
      lines_.push_back({begin, end});
      return;
    }
    int width = TextWidth();
    while (Width(begin, end) > width) {
      // The longest prefix that fits, then back to the last blank in it.
      size_t lo = Next(begin), hi = end;
      while (lo < hi) {
        size_t mid = Boundary(lo + (hi - lo + 1) / 2);
        if (mid <= lo) mid = Next(lo);
        if (Width(begin, mid) <= width)
          lo = mid;
        else
          hi = Previous(mid);
      }
      size_t cut = lo;
      size_t blank = text_.rfind(u' ', cut - 1);
      if (blank != std::u16string::npos && blank >= begin) cut = blank + 1;
      if (cut <= begin) cut = Next(begin);
      lines_.push_back({begin, cut});
      begin = cut;
    }
    lines_.push_back({begin, end});
  }

  int LineOf(size_t pos) const {
    int found = 0;
    for (size_t i = 0; i < lines_.size(); ++i)
      if (lines_[i].begin <= pos) found = static_cast<int>(i);
    return found;
  }

  VisualLine CurrentLine() {
    Layout();
    return lines_[static_cast<size_t>(LineOf(caret_))];
  }

  size_t PositionAt(const VisualLine& line, int x) const {
    size_t best = line.begin;
    int best_distance = std::abs(x);
    for (size_t p = Next(line.begin); p <= line.end && p > line.begin; p = Next(p)) {
      int distance = std::abs(Width(line.begin, p) - x);
      if (distance < best_distance) {
        best = p;
        best_distance = distance;
      }
      if (p >= line.end) break;
    }
    return best == line.end ? LineEndCaret(line) : best;
  }

  // At a wrap, the end of a line is the start of the next one: the caret
  // stays before the wrap so that it remains on this line.
  size_t LineEndCaret(const VisualLine& line) const {
    size_t end = line.end;
    if (Wraps() && end > line.begin && end < text_.size() && text_[end] != u'\r' && text_[end] != u'\n')
      return Previous(end);
    return end;
  }

  size_t VerticalNeighbour(int step) {
    Layout();
    int line = LineOf(caret_);
    int target = line + step;
    if (target < 0 || target >= static_cast<int>(lines_.size())) return caret_;
    const VisualLine& from = lines_[static_cast<size_t>(line)];
    return PositionAt(lines_[static_cast<size_t>(target)], Width(from.begin, caret_));
  }

  // ---- changes
  void MoveCaret(size_t pos, bool extend) {
    caret_ = std::min(pos, text_.size());
    if (!extend) anchor_ = caret_;
    Moved();
  }


  void Changed() {
    laid_out_ = false;
    Moved();
  }

  // Scrolls so that the caret stands in view, then repaints.
  void Moved() {
    Layout();
    int line = LineOf(caret_);
    if (multiline()) {
      if (line < first_line_) first_line_ = line;
      if (line >= first_line_ + VisibleLines()) first_line_ = line - VisibleLines() + 1;
      first_line_ = std::clamp(first_line_, 0, std::max(0, static_cast<int>(lines_.size()) - 1));
    }
    if (Wraps()) {
      scroll_x_ = 0;
    } else {
      const VisualLine& l = lines_[static_cast<size_t>(line)];
      int x = Width(l.begin, caret_);
      int width = TextWidth();
      // Jump by a quarter of the field, as the platform's edit controls do.
      if (x - scroll_x_ > width - Scale()) scroll_x_ = x - width + width / 4;
      if (x < scroll_x_) scroll_x_ = std::max(0, x - width / 4);
    }
    InvalidateRect(self_, nullptr, FALSE);
  }

  HWND self_;
  DWORD style_;
  std::u16string text_;
  size_t anchor_ = 0;  // the fixed end of the selection
  size_t caret_ = 0;   // the moving end, where the caret stands
  int scroll_x_ = 0;
  int first_line_ = 0;
  FontSpec font_;
  bool laid_out_ = false;
  std::vector<VisualLine> lines_;
};

EditState* StateOf(HWND hwnd) {
  Window* w = Session::current().windows().get(hwnd);
  return w ? dynamic_cast<EditState*>(w->extension.get()) : nullptr;
}

FontSpec FontOf(HWND hwnd) {
  Session& s = Session::current();
  Window* w = s.windows().get(hwnd);
  return platform::GdiObjects::of(s).font_spec(w && w->font ? static_cast<HGDIOBJ>(w->font) : platform::GdiObjects::of(s).system_font());
}

LRESULT CALLBACK EditProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_NCCREATE) {
    auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
    Window* w = Session::current().windows().get(hwnd);
    auto state = std::make_unique<EditState>(hwnd, w->style, cs && cs->lpszName ? cs->lpszName : u"");
    state->SetFont(FontOf(hwnd));
    w->extension = std::move(state);
    return TRUE;
  }
  EditState* st = StateOf(hwnd);
  if (!st) return DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_PAINT: {
      PAINTSTRUCT ps;
      HDC hdc = BeginPaint(hwnd, &ps);
      Session& s = Session::current();
      if (DeviceContext* dc = platform::GdiObjects::of(s).dc(hdc)) st->Paint(dc->cr.get());
      EndPaint(hwnd, &ps);
      return 0;
    }
    case WM_ERASEBKGND:
      return 1;
    case WM_SIZE:
      st->Resized();
      return 0;
    case WM_SETFONT:
      DefWindowProcW(hwnd, msg, wp, lp);
      st->SetFont(FontOf(hwnd));
      return 0;
    case WM_LBUTTONDOWN:
      st->Tap(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_CHAR:
      st->Char(static_cast<char16_t>(wp));
      return 0;
    case WM_KEYDOWN:
      st->KeyDown(wp);
      return 0;
    case WM_SETFOCUS:
      InvalidateRect(hwnd, nullptr, FALSE);
      NotifyParent(hwnd, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      InvalidateRect(hwnd, nullptr, FALSE);
      NotifyParent(hwnd, EN_KILLFOCUS);
      return 0;
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    case WM_SETTEXT: {
      st->SetText(lp ? std::u16string(reinterpret_cast<LPCWSTR>(lp)) : std::u16string());
      // A multi-line control does not report text set this way; a single-line one does, as on the platform.
      if (!st->multiline()) {
        NotifyParent(hwnd, EN_UPDATE);
        NotifyParent(hwnd, EN_CHANGE);
      }
      return TRUE;
    }
    case WM_GETTEXT: {
      auto* out = reinterpret_cast<LPWSTR>(lp);
      int room = static_cast<int>(wp);
      if (!out || room <= 0) return 0;
      int n = std::min(static_cast<int>(st->text().size()), room - 1);
      std::copy_n(st->text().data(), n, out);
      out[n] = 0;
      return n;
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(st->text().size());
    case EM_GETSEL: {
      auto start = static_cast<DWORD>(st->sel_start()), end = static_cast<DWORD>(st->sel_end());
      if (wp) *reinterpret_cast<DWORD*>(wp) = start;
      if (lp) *reinterpret_cast<DWORD*>(lp) = end;
      return static_cast<LRESULT>(MAKELONG(std::min<DWORD>(start, 0xFFFF), std::min<DWORD>(end, 0xFFFF)));
    }
    case EM_SETSEL:
      st->SetSelection(static_cast<long>(static_cast<INT_PTR>(wp)), static_cast<long>(lp));
      return 0;
    case EM_REPLACESEL:
      st->UserReplace(lp ? std::u16string_view(reinterpret_cast<LPCWSTR>(lp)) : std::u16string_view());
      return 0;
    case EM_GETLINECOUNT:
      return st->LineCount();
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterEditClass() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = EditProc;
  wc.lpszClassName = kEditClass;
  Session::current().windows().register_class(wc, true);
}

std::optional<POINT> EditCaretOnScreen(HWND edit) {
  EditState* st = StateOf(edit);
  if (!st) return std::nullopt;
  POINT p = st->CaretPoint();
  POINT o = Session::current().windows().client_origin_on_screen(edit);
  return POINT{p.x + o.x, p.y + o.y};
}

}  // namespace platform::controls
