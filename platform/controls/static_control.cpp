// The label: the "STATIC" class with text styles.
//
// Draws its window text in the window's font (the system font unless
// WM_SETFONT gave another) on the white window background, aligned left,
// centred or right by SS_LEFT, SS_CENTER or SS_RIGHT and from the top of the
// client area; words wrap onto further lines when the text is wider than the
// label, and a line break in the text starts a new line. WM_SETTEXT repaints
// (the text itself is kept by DefWindowProcW). The label never takes the
// focus and swallows taps.
//
// Not supported yet: the picture styles (SS_ICON, SS_BITMAP, the frames and
// rectangles), SS_NOTIFY and its STN_ notifications, WM_CTLCOLORSTATIC
// colours, mnemonics: '&' is always drawn as it is, as with SS_NOPREFIX.
#include <algorithm>
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

void Paint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  Session& s = Session::current();
  Window* w = s.windows().get(hwnd);
  DeviceContext* dc = platform::GdiObjects::of(s).dc(hdc);
  if (w && dc) {
    cairo_t* cr = dc->cr.get();
    RECT c = s.windows().client_rect(hwnd);
    FillRectangle(cr, 0, 0, c.right, c.bottom, GetSysColor(COLOR_WINDOW));
    FontSpec font = platform::GdiObjects::of(s).font_spec(dc->font);
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
  EndPaint(hwnd, &ps);
}

LRESULT CALLBACK StaticProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT:
      Paint(hwnd);
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_SETTEXT: {
      LRESULT done = DefWindowProcW(hwnd, msg, wp, lp);
      InvalidateRect(hwnd, nullptr, TRUE);
      return done;
    }
    case WM_ENABLE:
      InvalidateRect(hwnd, nullptr, TRUE);
      return 0;
    case WM_LBUTTONDOWN:
    case WM_LBUTTONUP:
    case WM_MOUSEMOVE:
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterStaticClass() {
  WNDCLASSW wc{};
  wc.lpfnWndProc = StaticProc;
  wc.lpszClassName = kStaticClass;
  Session::current().windows().register_class(wc, true);
}

}  // namespace platform::controls
