// The edit control: see edit_control.h for what it supports.
//
// Sections: text set by the program, input, drawing, positions, geometry,
// layout, changes, window procedure.
#include <algorithm>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls/edit_control.h"

#include "platform/controls/control_class.h"
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

FontSpec WindowFont(HWND hwnd) {
  Session& s = Session::current();
  Window* w = s.windows().get(hwnd);
  GdiObjects& gdi = GdiObjects::of(s);
  return gdi.font_spec(w && w->font ? static_cast<HGDIOBJ>(w->font) : gdi.system_font());
}

// One line as shown: [begin, end) of the text, without its line break.
struct VisualLine {
  size_t begin = 0;
  size_t end = 0;
};

class EditControl {
 public:
  EditControl(HWND self, const CREATESTRUCTW& cs)
      : self_(self), style_(static_cast<DWORD>(cs.style)), text_(cs.lpszName ? cs.lpszName : u"") {
    style_ = Session::current().windows().get(self)->style;
    set_font(WindowFont(self));
  }
  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp);

  bool multiline() const { return (style_ & ES_MULTILINE) != 0; }
  bool focused() const { return Session::current().windows().focus() == self_; }
  const std::u16string& text() const { return text_; }
  size_t sel_start() const { return std::min(anchor_, caret_); }
  size_t sel_end() const { return std::max(anchor_, caret_); }

  // ---- text set by the program
  void set_text(std::u16string text) {
    text_ = std::move(text);
    anchor_ = caret_ = 0;
    scroll_x_ = 0;
    first_line_ = 0;
    changed();
  }

  void set_selection(long start, long end) {
    long n = static_cast<long>(text_.size());
    if (start < 0) {
      anchor_ = caret_;  // -1 removes the selection and keeps the caret
    } else {
      if (end < 0 || end > n) end = n;
      start = std::min(start, n);
      anchor_ = boundary(static_cast<size_t>(start));
      caret_ = boundary(static_cast<size_t>(end));
    }
    moved();
  }

  // Replaces the selection; returns false when the control refused the text.
  bool replace(std::u16string_view with) {
    std::u16string next = text_;
    size_t at = sel_start();
    next.replace(at, sel_end() - at, with);
    if (!fits(next)) return false;
    text_ = std::move(next);
    anchor_ = caret_ = at + with.size();
    changed();
    return true;
  }

  // A change as the user makes it: the parent hears of it.
  void user_replace(std::u16string_view with) {
    if (!replace(with)) return;
    NotifyParent(self_, EN_UPDATE);
    NotifyParent(self_, EN_CHANGE);
  }

  int line_count() {
    layout();
    return static_cast<int>(lines_.size());
  }

  // ---- input
  void on_char(char16_t c) {
    if (style_ & ES_READONLY) return;
    if (c == VK_BACK) {
      if (anchor_ == caret_) {
        if (caret_ == 0) return;
        anchor_ = previous(caret_);
      }
      user_replace(u"");
      return;
    }
    if (c == u'\r' || c == u'\n') {
      if (multiline()) user_replace(u"\r\n");
      return;
    }
    if (c < 0x20 || c == 0x7F) return;  // Tab, Escape and control characters
    if ((style_ & ES_NUMBER) && (c < u'0' || c > u'9')) return;
    user_replace(std::u16string_view(&c, 1));
  }

  void key_down(WPARAM vk) {
    bool shift = GetKeyState(VK_SHIFT) < 0;
    bool ctrl = GetKeyState(VK_CONTROL) < 0;
    switch (vk) {
      case VK_LEFT:
        move_caret(anchor_ != caret_ && !shift ? sel_start() : (caret_ > 0 ? previous(caret_) : 0), shift);
        break;
      case VK_RIGHT:
        move_caret(anchor_ != caret_ && !shift ? sel_end() : next(caret_), shift);
        break;
      case VK_HOME:
        move_caret(ctrl ? 0 : current_line().begin, shift);
        break;
      case VK_END:
        move_caret(ctrl ? text_.size() : line_end_caret(current_line()), shift);
        break;
      case VK_UP:
      case VK_DOWN:
        if (multiline()) move_caret(vertical_neighbour(vk == VK_UP ? -1 : 1), shift);
        break;
      case VK_DELETE:
        if (style_ & ES_READONLY) break;
        if (anchor_ == caret_) {
          if (caret_ >= text_.size()) break;
          anchor_ = next(caret_);
        }
        user_replace(u"");
        break;
      default:
        break;
    }
  }

  void tap(int x, int y) {
    SetFocus(self_);
    layout();
    int height = line_height();
    int index = multiline() ? first_line_ + std::max(0, y - Margin()) / std::max(1, height) : 0;
    index = std::clamp(index, 0, static_cast<int>(lines_.size()) - 1);
    move_caret(position_at(lines_[static_cast<size_t>(index)], x - text_left() + scroll_x_), false);
  }

  // ---- drawing
  // The control lays its text out in its own font, the one WM_SETFONT gave.
  void paint(cairo_t* cr, const FontSpec&) {
    const FontSpec& font = font_;
    layout();
    Session& s = Session::current();
    Window* w = s.windows().get(self_);
    RECT c = s.windows().client_rect(self_);
    bool enabled = w && w->enabled();
    bool grey = !enabled || (style_ & ES_READONLY);
    FillRectangle(cr, 0, 0, c.right, c.bottom, GetSysColor(grey ? COLOR_BTNFACE : COLOR_WINDOW));
    COLORREF ink = GetSysColor(enabled ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
    bool show_selection = anchor_ != caret_ && (focused() || (style_ & ES_NOHIDESEL));
    int height = line_height();
    cairo_save(cr);
    cairo_rectangle(cr, Margin(), 0, std::max(0, static_cast<int>(c.right) - 2 * Margin()), c.bottom);
    cairo_clip(cr);
    for (size_t i = static_cast<size_t>(first_line_); i < lines_.size(); ++i) {
      int top = line_top(static_cast<int>(i));
      if (top >= c.bottom) break;
      const VisualLine& line = lines_[i];
      int left = text_left() - scroll_x_;
      std::u16string_view whole = std::u16string_view(text_).substr(line.begin, line.end - line.begin);
      size_t s0 = std::clamp(sel_start(), line.begin, line.end), s1 = std::clamp(sel_end(), line.begin, line.end);
      if (!show_selection || s0 == s1) {
        DrawTextLine(cr, font, whole, left, top, ink);
        continue;
      }
      int x0 = left + span_width(line.begin, s0), x1 = left + span_width(line.begin, s1);
      DrawTextLine(cr, font, whole.substr(0, s0 - line.begin), left, top, ink);
      FillRectangle(cr, x0, top, x1 - x0, height, GetSysColor(COLOR_HIGHLIGHT));
      DrawTextLine(cr, font, whole.substr(s0 - line.begin, s1 - s0), x0, top, GetSysColor(COLOR_HIGHLIGHTTEXT));
      DrawTextLine(cr, font, whole.substr(s1 - line.begin), x1, top, ink);
    }
    cairo_restore(cr);
    if (focused() && anchor_ == caret_) {
      int line = line_of(caret_);
      const VisualLine& l = lines_[static_cast<size_t>(line)];
      int x = text_left() - scroll_x_ + span_width(l.begin, caret_);
      int top = line_top(line);
      if (line >= first_line_ && top < c.bottom) FillRectangle(cr, x, top, Scale(), height, ink);
    }
  }

  // The caret's position in client coordinates, for tests and hosts.
  POINT caret_point() {
    layout();
    int line = line_of(caret_);
    const VisualLine& l = lines_[static_cast<size_t>(line)];
    return {text_left() - scroll_x_ + span_width(l.begin, caret_), line_top(line)};
  }

  void set_font(const FontSpec& font) {
    font_ = font;
    changed();
  }
  void resized() { changed(); }

 private:
  // ---- positions: a line break "\r\n" and a surrogate pair are one step
  size_t next(size_t pos) const {
    if (pos >= text_.size()) return text_.size();
    if (text_[pos] == u'\r' && pos + 1 < text_.size() && text_[pos + 1] == u'\n') return pos + 2;
    if (IsHighSurrogate(text_[pos]) && pos + 1 < text_.size() && IsLowSurrogate(text_[pos + 1])) return pos + 2;
    return pos + 1;
  }
  size_t previous(size_t pos) const {
    if (pos == 0) return 0;
    if (pos >= 2 && text_[pos - 1] == u'\n' && text_[pos - 2] == u'\r') return pos - 2;
    if (pos >= 2 && IsLowSurrogate(text_[pos - 1]) && IsHighSurrogate(text_[pos - 2])) return pos - 2;
    return pos - 1;
  }
  // A position a program gives may fall inside a step; it moves to the step's start.
  size_t boundary(size_t pos) const {
    if (pos > 0 && pos < text_.size() &&
        ((text_[pos - 1] == u'\r' && text_[pos] == u'\n') ||
         (IsHighSurrogate(text_[pos - 1]) && IsLowSurrogate(text_[pos]))))
      return pos - 1;
    return pos;
  }

  // ---- geometry
  int line_height() const { return std::max(1, MeasureText(font_, u"Xg").height); }
  int text_left() const { return Margin(); }
  int client_width() const { return Session::current().windows().client_rect(self_).right; }
  int client_height() const { return Session::current().windows().client_rect(self_).bottom; }
  int text_width() const { return std::max(1, client_width() - 2 * Margin()); }
  int visible_lines() const { return std::max(1, (client_height() - Margin()) / line_height()); }
  int line_top(int line) const {
    if (!multiline()) return (client_height() - line_height()) / 2;
    return Margin() / 2 + (line - first_line_) * line_height();
  }
  int span_width(size_t begin, size_t end) const {
    return end <= begin ? 0 : MeasureText(font_, std::u16string_view(text_).substr(begin, end - begin)).width;
  }

  // Whether `text` may stand in the control: a single line without
  // ES_AUTOHSCROLL keeps to the width of the field, as on the platform.
  bool fits(const std::u16string& text) const {
    if (multiline() || (style_ & ES_AUTOHSCROLL)) return true;
    return MeasureText(font_, text).width <= text_width();
  }

  bool wraps() const { return multiline() && !(style_ & ES_AUTOHSCROLL); }

  void layout() {
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
      wrap_paragraph(start, para_end);
      if (nl == std::u16string::npos) break;
      start = nl + 1;
    }
  }

  void wrap_paragraph(size_t begin, size_t end) {
    if (!wraps()) {
      lines_.push_back({begin, end});
      return;
    }
    int width = text_width();
    while (span_width(begin, end) > width) {
      // The longest prefix that fits, then back to the last blank in it.
      size_t lo = next(begin), hi = end;
      while (lo < hi) {
        size_t mid = boundary(lo + (hi - lo + 1) / 2);
        if (mid <= lo) mid = next(lo);
        if (span_width(begin, mid) <= width)
          lo = mid;
        else
          hi = previous(mid);
      }
      size_t cut = lo;
      size_t blank = text_.rfind(u' ', cut - 1);
      if (blank != std::u16string::npos && blank >= begin) cut = blank + 1;
      if (cut <= begin) cut = next(begin);
      lines_.push_back({begin, cut});
      begin = cut;
    }
    lines_.push_back({begin, end});
  }

  int line_of(size_t pos) const {
    int found = 0;
    for (size_t i = 0; i < lines_.size(); ++i)
      if (lines_[i].begin <= pos) found = static_cast<int>(i);
    return found;
  }

  VisualLine current_line() {
    layout();
    return lines_[static_cast<size_t>(line_of(caret_))];
  }

  size_t position_at(const VisualLine& line, int x) const {
    size_t best = line.begin;
    int best_distance = std::abs(x);
    for (size_t p = next(line.begin); p <= line.end && p > line.begin; p = next(p)) {
      int distance = std::abs(span_width(line.begin, p) - x);
      if (distance < best_distance) {
        best = p;
        best_distance = distance;
      }
      if (p >= line.end) break;
    }
    return best == line.end ? line_end_caret(line) : best;
  }

  // At a wrap, the end of a line is the start of the next one: the caret
  // stays before the wrap so that it remains on this line.
  size_t line_end_caret(const VisualLine& line) const {
    size_t end = line.end;
    if (wraps() && end > line.begin && end < text_.size() && text_[end] != u'\r' && text_[end] != u'\n')
      return previous(end);
    return end;
  }

  size_t vertical_neighbour(int step) {
    layout();
    int line = line_of(caret_);
    int target = line + step;
    if (target < 0 || target >= static_cast<int>(lines_.size())) return caret_;
    const VisualLine& from = lines_[static_cast<size_t>(line)];
    return position_at(lines_[static_cast<size_t>(target)], span_width(from.begin, caret_));
  }

  // ---- changes
  void move_caret(size_t pos, bool extend) {
    caret_ = std::min(pos, text_.size());
    if (!extend) anchor_ = caret_;
    moved();
  }


  void changed() {
    laid_out_ = false;
    moved();
  }

  // Scrolls so that the caret stands in view, then repaints.
  void moved() {
    layout();
    int line = line_of(caret_);
    if (multiline()) {
      if (line < first_line_) first_line_ = line;
      if (line >= first_line_ + visible_lines()) first_line_ = line - visible_lines() + 1;
      first_line_ = std::clamp(first_line_, 0, std::max(0, static_cast<int>(lines_.size()) - 1));
    }
    if (wraps()) {
      scroll_x_ = 0;
    } else {
      const VisualLine& l = lines_[static_cast<size_t>(line)];
      int x = span_width(l.begin, caret_);
      int width = text_width();
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

}  // namespace

LRESULT EditControl::handle(UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_NCCREATE:
      return TRUE;  // the text is the control's own
    case WM_SIZE:
      resized();
      return 0;
    case WM_SETFONT:
      DefWindowProcW(self_, msg, wp, lp);
      set_font(WindowFont(self_));
      return 0;
    case WM_LBUTTONDOWN:
      tap(GET_X_LPARAM(lp), GET_Y_LPARAM(lp));
      return 0;
    case WM_CHAR:
      on_char(static_cast<char16_t>(wp));
      return 0;
    case WM_KEYDOWN:
      key_down(wp);
      return 0;
    case WM_SETFOCUS:
      InvalidateRect(self_, nullptr, FALSE);
      NotifyParent(self_, EN_SETFOCUS);
      return 0;
    case WM_KILLFOCUS:
      InvalidateRect(self_, nullptr, FALSE);
      NotifyParent(self_, EN_KILLFOCUS);
      return 0;
    case WM_ENABLE:
      InvalidateRect(self_, nullptr, FALSE);
      return 0;
    case WM_SETTEXT: {
      set_text(lp ? std::u16string(reinterpret_cast<LPCWSTR>(lp)) : std::u16string());
      // A multi-line control does not report text set this way; a single-line one does, as on the platform.
      if (!multiline()) {
        NotifyParent(self_, EN_UPDATE);
        NotifyParent(self_, EN_CHANGE);
      }
      return TRUE;
    }
    case WM_GETTEXT: {
      auto* out = reinterpret_cast<LPWSTR>(lp);
      int room = static_cast<int>(wp);
      if (!out || room <= 0) return 0;
      int n = std::min(static_cast<int>(text().size()), room - 1);
      std::copy_n(text().data(), n, out);
      out[n] = 0;
      return n;
    }
    case WM_GETTEXTLENGTH:
      return static_cast<LRESULT>(text().size());
    case EM_GETSEL: {
      auto start = static_cast<DWORD>(sel_start()), end = static_cast<DWORD>(sel_end());
      if (wp) *reinterpret_cast<DWORD*>(wp) = start;
      if (lp) *reinterpret_cast<DWORD*>(lp) = end;
      return static_cast<LRESULT>(MAKELONG(std::min<DWORD>(start, 0xFFFF), std::min<DWORD>(end, 0xFFFF)));
    }
    case EM_SETSEL:
      set_selection(static_cast<long>(static_cast<INT_PTR>(wp)), static_cast<long>(lp));
      return 0;
    case EM_REPLACESEL:
      user_replace(lp ? std::u16string_view(reinterpret_cast<LPCWSTR>(lp)) : std::u16string_view());
      return 0;
    case EM_GETLINECOUNT:
      return line_count();
    default:
      return DefWindowProcW(self_, msg, wp, lp);
  }
}


void RegisterEditClass() { ControlClass<EditControl>::register_class(kEditClass); }

std::optional<POINT> EditCaretOnScreen(HWND edit) {
  EditControl* st = ControlClass<EditControl>::of(edit);
  if (!st) return std::nullopt;
  POINT p = st->caret_point();
  POINT o = Session::current().windows().client_origin_on_screen(edit);
  return POINT{p.x + o.x, p.y + o.y};
}

}  // namespace platform::controls
