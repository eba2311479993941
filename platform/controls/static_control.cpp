// The label: see static_control.h for what it supports.
#include <algorithm>
#include <string>
#include <string_view>
#include <vector>

#include "platform/controls/control_class.h"
#include "platform/controls/static_control.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/core/screen.h"
#include "platform/gdi/text.h"

namespace platform::controls {

namespace {

constexpr const char16_t* kStaticClass = u"STATIC";
constexpr DWORD kAlignMask = SS_LEFT | SS_CENTER | SS_RIGHT;

// Breaks `text` into lines no wider than `width`, at blanks where it can.
std::vector<std::u16string> WrapLines(const FontSpec& font, std::u16string_view text, int width) {
  std::vector<std::u16string> lines;
  size_t start = 0;
  for (;;) {
    size_t end = text.find(u'\n', start);
    std::u16string_view paragraph = text.substr(start, end == std::u16string_view::npos ? end : end - start);
    if (!paragraph.empty() && paragraph.back() == u'\r') paragraph.remove_suffix(1);
    std::u16string line;
    size_t pos = 0;
    while (pos <= paragraph.size()) {
      size_t blank = paragraph.find(u' ', pos);
      size_t word_end = blank == std::u16string_view::npos ? paragraph.size() : blank;
      std::u16string candidate = line;
      if (!candidate.empty()) candidate += u' ';
      candidate += paragraph.substr(pos, word_end - pos);
      if (!line.empty() && MeasureText(font, candidate).width > width) {
        lines.push_back(line);
        line = std::u16string(paragraph.substr(pos, word_end - pos));
      } else {
        line = candidate;
      }
      pos = word_end + 1;
    }
    lines.push_back(line);
    if (end == std::u16string_view::npos) break;
    start = end + 1;
  }
  return lines;
}

// The label keeps nothing of its own: text, style and font are the window's.
class StaticControl {
 public:
  StaticControl(HWND hwnd, const CREATESTRUCTW&) : hwnd_(hwnd) {}

  LRESULT handle(UINT msg, WPARAM wp, LPARAM lp) {
    switch (msg) {
      case WM_SETTEXT: {
        LRESULT done = DefWindowProcW(hwnd_, msg, wp, lp);
        InvalidateRect(hwnd_, nullptr, TRUE);
        return done;
      }
      case WM_ENABLE:
        InvalidateRect(hwnd_, nullptr, TRUE);
        return 0;
      case WM_LBUTTONDOWN:
      case WM_LBUTTONUP:
      case WM_MOUSEMOVE:
        return 0;
      default:
        return DefWindowProcW(hwnd_, msg, wp, lp);
    }
  }

  void paint(cairo_t* cr, const FontSpec& font) const {
    Session& s = Session::current();
    Window* w = s.windows().get(hwnd_);
    if (!w) return;
    RECT c = s.windows().client_rect(hwnd_);
    FillRectangle(cr, 0, 0, c.right, c.bottom, GetSysColor(COLOR_WINDOW));
    COLORREF color = GetSysColor(w->enabled() ? COLOR_WINDOWTEXT : COLOR_GRAYTEXT);
    DWORD align = w->style & kAlignMask;
    int y = 0;
    for (const auto& line : WrapLines(font, w->text, c.right)) {
      TextExtent e = MeasureText(font, line);
      int x = 0;
      if (align == SS_RIGHT) x = c.right - e.width;
      if (align == SS_CENTER) x = (c.right - e.width) / 2;
      DrawTextLine(cr, font, line, x, y, color);
      y += std::max(e.height, 1);
      if (y >= c.bottom) break;
    }
  }

 private:
  HWND hwnd_;
};

}  // namespace

void RegisterStaticClass() { ControlClass<StaticControl>::register_class(kStaticClass); }

}  // namespace platform::controls
