// The soft-key menu bar along the bottom of the screen, built by
// SHCreateMenuBar from a program's menu-bar resource: a menu id, a button
// count, then seven 16-bit words per button (image, command, state, style,
// string id, unused, pop-up index or NOMENU).
// The platform's own windows build theirs from keys given in code
// (CreateMenuBarFromKeys).
//
// Supported: TB_GETBUTTONINFOW and TB_SETBUTTONINFOW (by command or by
// index, state, style, command, text), TB_BUTTONCOUNT, TB_ISBUTTONENABLED,
// TB_ENABLEBUTTON; a tap on a button sends WM_COMMAND to the parent, a tap
// on a drop-down button opens its pop-up menu above it; a disabled button
// is drawn grey and does nothing. Not supported yet: button images, the
// input panel button, SHCMBF_HMENU.
#include <aygshell.h>

#include <algorithm>
#include <optional>

#include "platform/core/module_registry.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/paint_window.h"
#include "platform/core/screen.h"
#include "platform/shell/menu_bar.h"
#include "platform/shell/popup_menu.h"
#include "platform/shell/shell_state.h"

namespace platform {

namespace {

constexpr const char16_t* kMenuBarClass = u"menu_worker";

struct MenuBarButton {
  int image = I_IMAGENONE;
  int command = 0;
  BYTE state = 0;
  BYTE style = 0;
  std::u16string text;
  WORD popup = NOMENU;
  DWORD_PTR param = 0;
};

class MenuBarState : public WindowExtension {
 public:
  HWND parent = nullptr;
  HMENU menu = nullptr;
  std::vector<MenuBarButton> buttons;
  int pressed = -1;

  ~MenuBarState() override {
    if (menu && Session::get()) Session::current().modules().remove_menu(menu);
  }
};

MenuBarState* StateOf(HWND hwnd) {
  Window* w = Session::current().windows().get(hwnd);
  return w ? dynamic_cast<MenuBarState*>(w->extension.get()) : nullptr;
}

// Soft keys share the bar: each button gets an equal part of its width.
RECT ButtonRect(HWND hwnd, const MenuBarState& st, int index) {
  RECT rc = Session::current().windows().client_rect(hwnd);
  int n = std::max<int>(1, static_cast<int>(st.buttons.size()));
  int w = rc.right / n;
  int left = index * w;
  int right = index == n - 1 ? rc.right : left + w;
  return {left, 0, right, rc.bottom};
}

int FindButton(const MenuBarState& st, WPARAM id, bool by_index) {
  if (by_index) return id < st.buttons.size() ? static_cast<int>(id) : -1;
  for (size_t i = 0; i < st.buttons.size(); ++i)
    if (st.buttons[i].command == static_cast<int>(id)) return static_cast<int>(i);
  return -1;
}

void Paint(HWND hwnd, MenuBarState& st, cairo_t* cr) {
  Session& s = Session::current();
  RECT rc = s.windows().client_rect(hwnd);
  int k = s.screen().scale();
  FillVerticalGradient(cr, rc.right, rc.bottom, RGB(0xf4, 0xf4, 0xf4), RGB(0xc8, 0xd0, 0xdc));
  FillRectangle(cr, 0, 0, rc.right, k, RGB(0x80, 0x80, 0x80));

  FontSpec font = platform::GdiObjects::of(s).font_spec(platform::GdiObjects::of(s).system_font());
  font.bold = true;
  for (size_t i = 0; i < st.buttons.size(); ++i) {
    const MenuBarButton& b = st.buttons[i];
    if (b.state & TBSTATE_HIDDEN) continue;
    RECT r = ButtonRect(hwnd, st, static_cast<int>(i));
    bool enabled = (b.state & TBSTATE_ENABLED) != 0;
    if (static_cast<int>(i) == st.pressed && enabled)
      FillRectangle(cr, r.left, r.top + k, r.right - r.left, r.bottom - r.top - k, GetSysColor(COLOR_HIGHLIGHT));
    if (i > 0) FillRectangle(cr, r.left, r.top + 4 * k, k, r.bottom - r.top - 8 * k, RGB(0xa0, 0xa0, 0xa0));
    COLORREF color = !enabled ? RGB(0xa0, 0xa0, 0xa0)
                              : (static_cast<int>(i) == st.pressed ? RGB(255, 255, 255) : RGB(0, 0, 0));
    TextExtent e = MeasureText(font, b.text);
    int arrow = (b.style & TBSTYLE_DROPDOWN) ? 8 * k : 0;
    int x = r.left + (r.right - r.left - e.width - arrow) / 2;
    int y = r.top + (r.bottom - r.top - e.height) / 2 + k / 2;
    DrawTextLine(cr, font, b.text, x, y, color);
    if (arrow) {
      // A small triangle pointing up: the menu opens upwards.
      int ax = x + e.width + 3 * k, ay = r.top + (r.bottom - r.top) / 2 + 2 * k;
      for (int row = 0; row < 3 * k; ++row) FillRectangle(cr, ax + row, ay - row, 6 * k - 2 * row, 1, color);
    }
  }
}

void Press(HWND hwnd, MenuBarState& st, int index) {
  Session& s = Session::current();
  MenuBarButton b = st.buttons[static_cast<size_t>(index)];
  if (!(b.state & TBSTATE_ENABLED)) return;
  HWND parent = st.parent;
  if ((b.style & TBSTYLE_DROPDOWN) && b.popup != NOMENU && st.menu) {
    HMENU popup = GetSubMenu(st.menu, b.popup);
    RECT r = ButtonRect(hwnd, st, index);
    POINT o = s.windows().client_origin_on_screen(hwnd);
    st.pressed = index;
    InvalidateRect(hwnd, nullptr, FALSE);
    UINT cmd = TrackPopupMenu(popup, o.x + r.left, o.y, parent);
    DestroyMenu(popup);
    if (MenuBarState* still = StateOf(hwnd)) {
      still->pressed = -1;
      InvalidateRect(hwnd, nullptr, FALSE);
    }
    if (cmd && IsWindow(parent)) PostMessageW(parent, WM_COMMAND, MAKEWPARAM(cmd, 0), 0);
    return;
  }
  if (IsWindow(parent)) SendMessageW(parent, WM_COMMAND, MAKEWPARAM(b.command, 0), reinterpret_cast<LPARAM>(hwnd));
}

LRESULT GetButtonInfo(MenuBarState& st, WPARAM wp, TBBUTTONINFOW* info) {
  if (!info || info->cbSize != sizeof(TBBUTTONINFOW)) return -1;
  int i = FindButton(st, wp, (info->dwMask & TBIF_BYINDEX) != 0);
  if (i < 0) return -1;
  const MenuBarButton& b = st.buttons[static_cast<size_t>(i)];
  if (info->dwMask & TBIF_COMMAND) info->idCommand = b.command;
  if (info->dwMask & TBIF_IMAGE) info->iImage = b.image;
  if (info->dwMask & TBIF_STATE) info->fsState = b.state;
  if (info->dwMask & TBIF_STYLE) info->fsStyle = b.style;
  if (info->dwMask & TBIF_LPARAM) info->lParam = b.param;
  if ((info->dwMask & TBIF_TEXT) && info->pszText && info->cchText > 0) {
    int n = std::min(static_cast<int>(b.text.size()), info->cchText - 1);
    std::copy_n(b.text.data(), n, info->pszText);
    info->pszText[n] = 0;
  }
  return i;
}

LRESULT SetButtonInfo(HWND hwnd, MenuBarState& st, WPARAM wp, const TBBUTTONINFOW* info) {
  if (!info || info->cbSize != sizeof(TBBUTTONINFOW)) return FALSE;
  int i = FindButton(st, wp, (info->dwMask & TBIF_BYINDEX) != 0);
  if (i < 0) return FALSE;
  MenuBarButton& b = st.buttons[static_cast<size_t>(i)];
  if (info->dwMask & TBIF_COMMAND) b.command = info->idCommand;
  if (info->dwMask & TBIF_IMAGE) b.image = info->iImage;
  if (info->dwMask & TBIF_STATE) b.state = info->fsState;
  if (info->dwMask & TBIF_STYLE) b.style = info->fsStyle;
  if (info->dwMask & TBIF_LPARAM) b.param = info->lParam;
  if ((info->dwMask & TBIF_TEXT) && info->pszText) b.text = info->pszText;
  InvalidateRect(hwnd, nullptr, FALSE);
  return TRUE;
}

LRESULT CALLBACK MenuBarProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  MenuBarState* st = StateOf(hwnd);
  if (!st) return DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_PAINT:
      PaintWindow(hwnd, [&](cairo_t* cr, const FontSpec&) { Paint(hwnd, *st, cr); });
      return 0;
    case WM_LBUTTONDOWN: {
      int x = GET_X_LPARAM(lp);
      for (size_t i = 0; i < st->buttons.size(); ++i) {
        RECT r = ButtonRect(hwnd, *st, static_cast<int>(i));
        if (x >= r.left && x < r.right && (st->buttons[i].state & TBSTATE_ENABLED)) st->pressed = static_cast<int>(i);
      }
      SetCapture(hwnd);
      InvalidateRect(hwnd, nullptr, FALSE);
      return 0;
    }
    case WM_LBUTTONUP: {
      int pressed = st->pressed;
      st->pressed = -1;
      if (GetCapture() == hwnd) ReleaseCapture();
      InvalidateRect(hwnd, nullptr, FALSE);
      int x = GET_X_LPARAM(lp), y = GET_Y_LPARAM(lp);
      if (pressed < 0) return 0;
      RECT r = ButtonRect(hwnd, *st, pressed);
      if (x >= r.left && x < r.right && y >= r.top && y < r.bottom) Press(hwnd, *st, pressed);
      return 0;
    }
    case TB_GETBUTTONINFOW:
      return GetButtonInfo(*st, wp, reinterpret_cast<TBBUTTONINFOW*>(lp));
    case TB_SETBUTTONINFOW:
      return SetButtonInfo(hwnd, *st, wp, reinterpret_cast<const TBBUTTONINFOW*>(lp));
    case TB_BUTTONCOUNT:
      return static_cast<LRESULT>(st->buttons.size());
    case TB_ISBUTTONENABLED: {
      int i = FindButton(*st, wp, false);
      return i >= 0 && (st->buttons[static_cast<size_t>(i)].state & TBSTATE_ENABLED) ? TRUE : FALSE;
    }
    case TB_ENABLEBUTTON: {
      int i = FindButton(*st, wp, false);
      if (i < 0) return FALSE;
      BYTE& state = st->buttons[static_cast<size_t>(i)].state;
      state = LOWORD(lp) ? (state | TBSTATE_ENABLED) : (state & ~TBSTATE_ENABLED);
      InvalidateRect(hwnd, nullptr, FALSE);
      return TRUE;
    }
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// Reads the menu-bar resource; false when it is missing or malformed.
bool ParseMenuBar(const res::ModuleResources& resources, HINSTANCE instance, UINT id, MenuBarState& st) {
  const res::RawResource* raw = FindRaw(resources, MAKEINTRESOURCEW(id), RT_RCDATA);
  if (!raw || raw->bytes.size() < 4) return false;
  auto word = [&](size_t i) {
    return static_cast<WORD>(raw->bytes[2 * i] | (raw->bytes[2 * i + 1] << 8));
  };
  size_t words = raw->bytes.size() / 2;
  WORD menu_id = word(0);
  WORD count = word(1);
  if (words < 2 + 7u * count) return false;
  st.menu = LoadMenuW(instance, MAKEINTRESOURCEW(menu_id));
  for (WORD b = 0; b < count; ++b) {
    size_t base = 2 + 7u * b;
    MenuBarButton button;
    button.image = static_cast<SHORT>(word(base));
    button.command = word(base + 1);
    button.state = static_cast<BYTE>(word(base + 2));
    button.style = static_cast<BYTE>(word(base + 3));
    WCHAR text[100];
    if (LoadStringW(instance, word(base + 4), text, 100) > 0) button.text = text;
    button.popup = word(base + 6);
    st.buttons.push_back(button);
  }
  return true;
}

// The bar along the bottom of the screen, owned by the window it serves.
HWND CreateMenuBarWindow(std::unique_ptr<MenuBarState> state, bool visible) {
  Session& s = Session::current();
  const Screen& screen = s.screen();
  CreateParams p;
  p.class_name = kMenuBarClass;
  p.style = WS_POPUP | (visible ? WS_VISIBLE : 0);
  p.ex_style = WS_EX_TOPMOST;
  p.x = 0;
  p.y = screen.height() - screen.menu_bar_height();
  p.width = screen.width();
  p.height = screen.menu_bar_height();
  HWND hwnd = s.windows().create(p);
  if (!hwnd) return nullptr;
  Window* w = s.windows().get(hwnd);
  w->owner = state->parent;
  w->extension = std::move(state);
  return hwnd;
}

}  // namespace

HWND CreateMenuBarFromKeys(HWND parent, const std::vector<SoftKey>& keys) {
  Session& s = Session::current();
  if (!s.windows().is_window(parent)) return nullptr;
  auto state = std::make_unique<MenuBarState>();
  state->parent = parent;
  Menu menu;
  for (const SoftKey& key : keys) {
    MenuBarButton button;
    button.text = key.text;
    button.command = key.command;
    button.state = TBSTATE_ENABLED;
    button.style = TBSTYLE_BUTTON | TBSTYLE_AUTOSIZE;
    if (!key.popup.empty()) {
      button.style |= TBSTYLE_DROPDOWN;
      button.popup = static_cast<WORD>(menu.items.size());
      res::MenuItem item;
      item.text = key.text;
      item.is_popup = true;
      item.popup = key.popup;
      menu.items.push_back(std::move(item));
    }
    state->buttons.push_back(std::move(button));
  }
  if (!menu.items.empty()) state->menu = s.modules().add_menu(std::move(menu));
  return CreateMenuBarWindow(std::move(state), true);
}

void RegisterMenuBarClass() { Session::current().windows().register_system_class(kMenuBarClass, MenuBarProc); }

}  // namespace platform

BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* pmbi) {
  using namespace platform;
  Session& s = Session::current();
  s.calls().record("SHCreateMenuBar");
  if (!pmbi || pmbi->cbSize != sizeof(SHMENUBARINFO)) return FALSE;
  pmbi->hwndMB = nullptr;
  if (s.faults().active(ShellFault::create_menu_bar)) return FALSE;
  const res::ModuleResources* resources = s.modules().resources(pmbi->hInstRes);
  if (!resources || !s.windows().is_window(pmbi->hwndParent)) return FALSE;
  auto state = std::make_unique<MenuBarState>();
  state->parent = pmbi->hwndParent;
  if (!(pmbi->dwFlags & SHCMBF_EMPTYBAR) && !ParseMenuBar(*resources, pmbi->hInstRes, pmbi->nToolBarId, *state))
    return FALSE;
  pmbi->hwndMB = CreateMenuBarWindow(std::move(state), (pmbi->dwFlags & SHCMBF_HIDDEN) == 0);
  return pmbi->hwndMB ? TRUE : FALSE;
}

namespace platform {

std::optional<RECT> MenuBarButtonOnScreen(HWND menu_bar, int index) {
  MenuBarState* st = StateOf(menu_bar);
  if (!st || index < 0 || index >= static_cast<int>(st->buttons.size())) return std::nullopt;
  RECT r = ButtonRect(menu_bar, *st, index);
  POINT o = Session::current().windows().client_origin_on_screen(menu_bar);
  return RECT{r.left + o.x, r.top + o.y, r.right + o.x, r.bottom + o.y};
}

}  // namespace platform
