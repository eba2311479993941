// The pop-up menu window and its tracking loop.
//
// Supported: plain items, separators, grayed items, taps, Up/Down/Enter and
// Escape. Not supported yet: cascading sub-menus, check marks, mnemonics.
#include "platform/shell/popup_menu.h"

#include <algorithm>

#include "platform/core/message_queue.h"
#include "platform/core/module_registry.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/paint_window.h"
#include "platform/core/screen.h"
#include "platform/shell/shell_state.h"

namespace platform {

namespace {

constexpr const char16_t* kPopupClass = u"platform_popupmenu";

class PopupMenuState : public WindowExtension {
 public:
  std::vector<res::MenuItem> items;
  int hot = -1;
  bool done = false;
  UINT chosen = 0;
  int item_height = 0;
  int separator_height = 0;
};

PopupMenuState* StateOf(HWND hwnd) {
  Window* w = Session::current().windows().get(hwnd);
  return w ? static_cast<PopupMenuState*>(w->extension.get()) : nullptr;
}

int ItemAt(PopupMenuState& st, int y) {
  int top = 1;
  for (size_t i = 0; i < st.items.size(); ++i) {
    bool sep = st.items[i].text.empty() && !st.items[i].is_popup;
    int h = sep ? st.separator_height : st.item_height;
    if (y >= top && y < top + h) return sep ? -1 : static_cast<int>(i);
    top += h;
  }
  return -1;
}

void Paint(HWND hwnd, PopupMenuState& st, cairo_t* cr) {
  Session& s = Session::current();
  RECT rc = s.windows().client_rect(hwnd);
  int k = s.screen().scale();
  FillRectangle(cr, 0, 0, rc.right, rc.bottom, RGB(255, 255, 255));
  FrameRectangle(cr, 0, 0, rc.right, rc.bottom, RGB(0, 0, 0));
  FontSpec font = platform::GdiObjects::of(s).font_spec(platform::GdiObjects::of(s).system_font());
  int top = 1;
  for (size_t i = 0; i < st.items.size(); ++i) {
    const auto& item = st.items[i];
    bool sep = item.text.empty() && !item.is_popup;
    if (sep) {
      FillRectangle(cr, 2 * k, top + st.separator_height / 2, rc.right - 4 * k, 1, RGB(0x80, 0x80, 0x80));
      top += st.separator_height;
      continue;
    }
    bool hot = static_cast<int>(i) == st.hot;
    if (hot) FillRectangle(cr, 1, top, rc.right - 2, st.item_height, GetSysColor(COLOR_HIGHLIGHT));
    COLORREF color = item.grayed ? GetSysColor(COLOR_GRAYTEXT) : (hot ? RGB(255, 255, 255) : RGB(0, 0, 0));
    TextExtent e = MeasureText(font, item.text);
    DrawTextLine(cr, font, item.text, 8 * k, top + (st.item_height - e.height) / 2, color);
    top += st.item_height;
  }
}

void Choose(PopupMenuState& st, int index) {
  if (index < 0 || index >= static_cast<int>(st.items.size())) return;
  const auto& item = st.items[static_cast<size_t>(index)];
  if (item.grayed || item.is_popup) return;
  st.chosen = item.command;
  st.done = true;
}

LRESULT CALLBACK PopupProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  PopupMenuState* st = StateOf(hwnd);
  switch (msg) {
    case WM_PAINT:
      PaintWindow(hwnd, [&](cairo_t* cr, const FontSpec&) {
        if (st) Paint(hwnd, *st, cr);
      });
      return 0;
    case WM_LBUTTONDOWN:
    case WM_MOUSEMOVE:
    case WM_LBUTTONUP: {
      if (!st) return 0;
      RECT rc = Session::current().windows().client_rect(hwnd);
      int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
      bool inside = x >= 0 && y >= 0 && x < rc.right && y < rc.bottom;
      if (!inside) {
        // A tap outside the menu dismisses it.
        if (msg == WM_LBUTTONDOWN) st->done = true;
        return 0;
      }
      int index = ItemAt(*st, y);
      if (index != st->hot) {
        st->hot = index;
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      if (msg == WM_LBUTTONUP) Choose(*st, index);
      return 0;
    }
    case WM_KEYDOWN: {
      if (!st) return 0;
      int n = static_cast<int>(st->items.size());
      auto selectable = [&](int i) { return !st->items[static_cast<size_t>(i)].text.empty(); };
      if (wp == VK_ESCAPE) st->done = true;
      if (wp == VK_RETURN) Choose(*st, st->hot);
      if ((wp == VK_DOWN || wp == VK_UP) && n > 0) {
        int step = wp == VK_DOWN ? 1 : -1;
        int i = st->hot;
        for (int tries = 0; tries < n; ++tries) {
          i = ((i < 0 ? (step > 0 ? -1 : n) : i) + step + n) % n;
          if (selectable(i)) break;
        }
        st->hot = i;
        InvalidateRect(hwnd, nullptr, FALSE);
      }
      return 0;
    }
    case WM_CAPTURECHANGED:
      if (st && reinterpret_cast<HWND>(lp) != hwnd) st->done = true;
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

}  // namespace

void RegisterPopupMenuClass() { Session::current().windows().register_system_class(kPopupClass, PopupProc); }

UINT TrackPopupMenu(HMENU menu_handle, int x, int bottom_y, HWND owner) {
  Session& s = Session::current();
  Menu* menu = s.modules().menu(menu_handle);
  if (!menu || platform::ShellState::of(s).open_menu_window) return 0;
  WindowManager& windows = s.windows();
  int k = s.screen().scale();

  auto state = std::make_unique<PopupMenuState>();
  state->items = menu->items;
  state->item_height = 20 * k;
  state->separator_height = 6 * k;
  FontSpec font = platform::GdiObjects::of(s).font_spec(platform::GdiObjects::of(s).system_font());
  int width = 60 * k, height = 2;
  for (const auto& item : state->items) {
    bool sep = item.text.empty() && !item.is_popup;
    height += sep ? state->separator_height : state->item_height;
    width = std::max(width, MeasureText(font, item.text).width + 24 * k);
  }
  int left = std::clamp(x, 0, std::max(0, s.screen().width() - width));
  int top = std::max(0, bottom_y - height);

  CreateParams p;
  p.class_name = kPopupClass;
  p.style = WS_POPUP;
  p.ex_style = WS_EX_TOPMOST;
  p.x = left;
  p.y = top;
  p.width = width;
  p.height = height;
  HWND hwnd = windows.create(p);
  if (!hwnd) return 0;
  PopupMenuState* st = state.get();
  windows.get(hwnd)->extension = std::move(state);
  windows.get(hwnd)->owner = owner;
  windows.show(hwnd, SW_SHOWNA);
  windows.set_capture(hwnd);

  // Publish where each item is, so that scripts can tap it as a person would.
  platform::ShellState::of(s).open_menu_window = hwnd;
  platform::ShellState::of(s).open_menu.clear();
  int y = top + 1;
  for (const auto& item : st->items) {
    bool sep = item.text.empty() && !item.is_popup;
    int h = sep ? st->separator_height : st->item_height;
    if (!sep) platform::ShellState::of(s).open_menu.push_back({item.text, item.command, {left, y, left + width, y + h}, !item.grayed});
    y += h;
  }

  MSG msg;
  bool quit = false;
  while (!st->done && windows.is_window(hwnd) && (!owner || windows.is_window(owner))) {
    if (!GetMessageW(&msg, nullptr, 0, 0)) {
      quit = true;
      break;
    }
    if (msg.message == WM_KEYDOWN || msg.message == WM_CHAR || msg.message == WM_KEYUP) {
      // While the menu is open, the keyboard belongs to it.
      if (msg.message == WM_KEYDOWN) windows.send(hwnd, WM_KEYDOWN, msg.wParam, msg.lParam);
      continue;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  UINT chosen = windows.is_window(hwnd) ? st->chosen : 0;
  platform::ShellState::of(s).open_menu.clear();
  platform::ShellState::of(s).open_menu_window = nullptr;
  if (windows.capture() == hwnd) windows.release_capture();
  if (windows.is_window(hwnd)) windows.destroy(hwnd);
  if (quit) PostQuitMessage(static_cast<int>(msg.wParam));
  return chosen;
}

}  // namespace platform

BOOL WINAPI TrackPopupMenuEx(HMENU hMenu, UINT uFlags, int x, int y, HWND hWnd, LPVOID) {
  UINT cmd = platform::TrackPopupMenu(hMenu, x, y, hWnd);
  if (uFlags & TPM_RETURNCMD) return static_cast<BOOL>(cmd);
  if (cmd && hWnd) PostMessageW(hWnd, WM_COMMAND, MAKEWPARAM(cmd, 0), 0);
  return TRUE;
}
