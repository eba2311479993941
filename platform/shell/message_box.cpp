#include "platform/shell/message_box.h"

#include <algorithm>
#include <string>
#include <vector>

#include "platform/core/screen.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/paint_window.h"

namespace platform {

namespace {

constexpr const char16_t* kMessageBoxClass = u"platform_messagebox";

struct Button {
  int result;
  std::u16string text;
  RECT rect;  // client coordinates
};

class MessageBoxState : public WindowExtension {
 public:
  std::u16string caption, text;
  std::vector<Button> buttons;
  int caption_height = 0;
  int result = 0;
};

MessageBoxState* StateOf(HWND hwnd) {
  Window* w = Session::current().windows().get(hwnd);
  return w ? static_cast<MessageBoxState*>(w->extension.get()) : nullptr;
}

void Paint(HWND hwnd, MessageBoxState& st, cairo_t* cr) {
  Session& s = Session::current();
  RECT rc = s.windows().client_rect(hwnd);
  const int k = s.screen().scale();
  FontSpec font = GdiObjects::of(s).font_spec(GdiObjects::of(s).system_font());
  FontSpec bold = font;
  bold.bold = true;
  FillRectangle(cr, 0, 0, rc.right, rc.bottom, RGB(255, 255, 255));
  FrameRectangle(cr, 0, 0, rc.right, rc.bottom, RGB(0, 0, 0));
  FillRectangle(cr, 1, 1, rc.right - 2, st.caption_height, GetSysColor(COLOR_HIGHLIGHT));
  DrawTextLine(cr, bold, st.caption, 6 * k, 1 + (st.caption_height - MeasureText(bold, st.caption).height) / 2,
               RGB(255, 255, 255));
  DrawTextLine(cr, font, EllipsizeToWidth(font, st.text, rc.right - 12 * k), 6 * k, st.caption_height + 8 * k,
               RGB(0, 0, 0));
  for (const Button& b : st.buttons) {
    const int w = b.rect.right - b.rect.left, h = b.rect.bottom - b.rect.top;
    FrameRectangle(cr, b.rect.left, b.rect.top, w, h, RGB(0, 0, 0));
    const TextExtent e = MeasureText(font, b.text);
    DrawTextLine(cr, font, b.text, b.rect.left + (w - e.width) / 2, b.rect.top + (h - e.height) / 2, RGB(0, 0, 0));
  }
}

LRESULT CALLBACK MessageBoxProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  MessageBoxState* st = StateOf(hwnd);
  switch (msg) {
    case WM_PAINT:
      PaintWindow(hwnd, [&](cairo_t* cr, const FontSpec&) {
        if (st) Paint(hwnd, *st, cr);
      });
      return 0;
    case WM_LBUTTONUP:
      if (!st) return 0;
      for (const Button& b : st->buttons) {
        const int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
        if (x >= b.rect.left && x < b.rect.right && y >= b.rect.top && y < b.rect.bottom) st->result = b.result;
      }
      return 0;
    case WM_KEYDOWN:
      if (st && !st->buttons.empty() && wp == VK_RETURN) st->result = st->buttons.front().result;
      if (st && !st->buttons.empty() && wp == VK_ESCAPE) st->result = st->buttons.back().result;
      return 0;
    case WM_CLOSE:
      if (st && !st->buttons.empty()) st->result = st->buttons.back().result;
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterMessageBoxClass() {
  Session::current().windows().register_system_class(kMessageBoxClass, MessageBoxProc);
}

HWND OpenMessageBox() {
  std::u16string cls = kMessageBoxClass;
  return Session::current().windows().find_top_level(&cls, nullptr);
}

std::optional<RECT> MessageBoxButtonOnScreen(int result) {
  HWND box = OpenMessageBox();
  MessageBoxState* st = box ? StateOf(box) : nullptr;
  if (!st) return std::nullopt;
  const POINT origin = Session::current().windows().client_origin_on_screen(box);
  for (const Button& b : st->buttons)
    if (b.result == result)
      return RECT{b.rect.left + origin.x, b.rect.top + origin.y, b.rect.right + origin.x, b.rect.bottom + origin.y};
  return std::nullopt;
}

}  // namespace platform

int WINAPI MessageBoxW(HWND hWnd, LPCWSTR lpText, LPCWSTR lpCaption, UINT uType) {
  using namespace platform;
  Session& s = Session::current();
  WindowManager& windows = s.windows();
  const int k = s.screen().scale();
  auto state = std::make_unique<MessageBoxState>();
  state->caption = lpCaption ? lpCaption : u"Error";
  state->text = lpText ? lpText : u"";
  state->caption_height = 20 * k;
  if ((uType & 0xF) == MB_YESNO)
    state->buttons = {{IDYES, u"Yes", {}}, {IDNO, u"No", {}}};
  else
    state->buttons = {{IDOK, u"ok", {}}};

  const RECT work = windows.work_area();
  const int width = (work.right - work.left) - 16 * k;
  const int height = state->caption_height + 64 * k;
  const int button_width = 56 * k, button_height = 22 * k, gap = 8 * k;
  const int row = static_cast<int>(state->buttons.size()) * (button_width + gap) - gap;
  int x = (width - row) / 2;
  for (auto& b : state->buttons) {
    b.rect = {x, height - button_height - 8 * k, x + button_width, height - 8 * k};
    x += button_width + gap;
  }

  CreateParams p;
  p.class_name = kMessageBoxClass;
  p.text = state->caption;
  p.style = WS_POPUP;
  p.ex_style = WS_EX_TOPMOST;
  p.x = work.left + 8 * k;
  p.y = work.top + ((work.bottom - work.top) - height) / 2;
  p.width = width;
  p.height = height;
  HWND box = windows.create(p);
  if (!box) return 0;
  MessageBoxState* st = state.get();
  windows.get(box)->extension = std::move(state);
  windows.get(box)->owner = hWnd;
  const bool owner_was_enabled = hWnd && windows.is_window(hWnd) && IsWindowEnabled(hWnd);
  if (owner_was_enabled) EnableWindow(hWnd, FALSE);
  windows.show(box, SW_SHOW);
  windows.activate(box, WA_ACTIVE);
  windows.set_focus(box);

  MSG msg;
  bool quit = false;
  while (!st->result && windows.is_window(box)) {
    if (!GetMessageW(&msg, nullptr, 0, 0)) {
      quit = true;
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  // Asked to quit meanwhile: the last button (No, ok) answers.
  const int result = windows.is_window(box) && st->result ? st->result : (uType & 0xF) == MB_YESNO ? IDNO : IDOK;
  if (owner_was_enabled && windows.is_window(hWnd)) EnableWindow(hWnd, TRUE);
  if (windows.is_window(box)) windows.destroy(box);
  if (hWnd && windows.is_window(hWnd)) {
    windows.activate(hWnd, WA_ACTIVE);
  }
  if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
  return result;
}
