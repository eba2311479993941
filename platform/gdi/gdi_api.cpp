// The GDI calls: painting a window, device contexts, lines, text, stock
// objects, icons and system colours.
#include <algorithm>
#include <cstdlib>

#include <windows.h>

#include "platform/core/module_registry.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/core/screen.h"

using platform::DeviceContext;
using platform::Session;

namespace {

DeviceContext* Dc(HDC hdc) { return platform::GdiObjects::of(Session::current()).dc(hdc); }

std::u16string_view TextOf(LPCWSTR text, int count) {
  if (!text) return {};
  if (count < 0) return std::u16string_view(text);
  return std::u16string_view(text, static_cast<size_t>(count));
}

COLORREF PenColor(DeviceContext* dc, bool* hollow) {
  auto* o = platform::GdiObjects::of(Session::current()).object(dc->pen);
  if (o)
    if (auto* pen = std::get_if<platform::Pen>(&o->value)) {
      *hollow = pen->hollow;
      return pen->color;
    }
  *hollow = false;
  return RGB(0, 0, 0);
}

// The window's one-pixel frame, drawn outside its client area.
void PaintFrame(HWND hwnd) {
  Session& s = Session::current();
  auto& windows = s.windows();
  platform::Window* w = windows.get(hwnd);
  if (!w || !w->has_border()) return;
  RECT r = windows.window_rect_on_screen(hwnd);
  platform::CairoContext cr(cairo_create(s.screen().surface()));
  if (w->parent) {
    for (HWND h = w->parent; h; h = windows.get(h)->parent) {
      RECT c = windows.client_rect_on_screen(h);
      cairo_rectangle(cr.get(), c.left, c.top, c.right - c.left, c.bottom - c.top);
      cairo_clip(cr.get());
    }
  }
  platform::FrameRectangle(cr.get(), r.left, r.top, r.right - r.left, r.bottom - r.top, GetSysColor(COLOR_WINDOWFRAME));
  s.screen().touch();
}

}  // namespace

HDC WINAPI BeginPaint(HWND hWnd, LPPAINTSTRUCT lpPaint) {
  Session& s = Session::current();
  platform::Window* w = s.windows().get(hWnd);
  if (!w || !lpPaint) return nullptr;
  RECT update = w->needs_paint ? w->update : s.windows().client_rect(hWnd);
  bool erase = w->needs_erase || !w->needs_paint;
  s.windows().validate(hWnd);
  PaintFrame(hWnd);
  HDC hdc = platform::GdiObjects::of(s).create_dc(hWnd, &update, true);
  *lpPaint = PAINTSTRUCT{};
  lpPaint->hdc = hdc;
  lpPaint->rcPaint = update;
  lpPaint->fErase = TRUE;
  if (erase) lpPaint->fErase = s.windows().send(hWnd, WM_ERASEBKGND, reinterpret_cast<WPARAM>(hdc), 0) ? FALSE : TRUE;
  return hdc;
}

BOOL WINAPI EndPaint(HWND hWnd, const PAINTSTRUCT* lpPaint) {
  Session& s = Session::current();
  if (!lpPaint) return FALSE;
  platform::GdiObjects::of(s).release_dc(lpPaint->hdc);
  s.windows().after_paint(hWnd);
  return TRUE;
}

HDC WINAPI GetDC(HWND hWnd) {
  Session& s = Session::current();
  if (hWnd && !s.windows().is_window(hWnd)) return nullptr;
  return platform::GdiObjects::of(s).create_dc(hWnd, nullptr, false);
}

int WINAPI ReleaseDC(HWND, HDC hDC) { return platform::GdiObjects::of(Session::current()).release_dc(hDC) ? 1 : 0; }

BOOL WINAPI MoveToEx(HDC hdc, int X, int Y, LPPOINT lpPoint) {
  DeviceContext* dc = Dc(hdc);
  if (!dc) return FALSE;
  if (lpPoint) *lpPoint = dc->position;
  dc->position = {X, Y};
  return TRUE;
}

BOOL WINAPI LineTo(HDC hdc, int nXEnd, int nYEnd) {
  DeviceContext* dc = Dc(hdc);
  if (!dc) return FALSE;
  bool hollow;
  COLORREF color = PenColor(dc, &hollow);
  int x0 = dc->position.x, y0 = dc->position.y;
  dc->position = {nXEnd, nYEnd};
  if (hollow) return TRUE;
  cairo_t* cr = dc->cr.get();
  platform::SetSourceColor(cr, color);
  // Bresenham's line from the current position up to, not including, the end point.
  int dx = std::abs(nXEnd - x0), sx = x0 < nXEnd ? 1 : -1;
  int dy = -std::abs(nYEnd - y0), sy = y0 < nYEnd ? 1 : -1;
  int err = dx + dy;
  int x = x0, y = y0;
  while (!(x == nXEnd && y == nYEnd)) {
    cairo_rectangle(cr, x, y, 1, 1);
    int e2 = 2 * err;
    if (e2 >= dy) {
      err += dy;
      x += sx;
    }
    if (e2 <= dx) {
      err += dx;
      y += sy;
    }
  }
  cairo_fill(cr);
  return TRUE;
}

BOOL WINAPI Polyline(HDC hdc, const POINT* lppt, int cPoints) {
  if (!lppt || cPoints < 2) return FALSE;
  DeviceContext* dc = Dc(hdc);
  if (!dc) return FALSE;
  POINT saved = dc->position;
  MoveToEx(hdc, lppt[0].x, lppt[0].y, nullptr);
  for (int i = 1; i < cPoints; ++i) LineTo(hdc, lppt[i].x, lppt[i].y);
  dc->position = saved;
  return TRUE;
}

int WINAPI DrawTextW(HDC hDC, LPCWSTR lpString, int nCount, LPRECT lpRect, UINT uFormat) {
  DeviceContext* dc = Dc(hDC);
  if (!dc || !lpRect) return 0;
  Session& s = Session::current();
  platform::FontSpec font = platform::GdiObjects::of(s).font_spec(dc->font);
  std::u16string text(TextOf(lpString, nCount));
  platform::TextExtent extent = platform::MeasureText(font, text);
  if (extent.height == 0) extent.height = platform::MeasureText(font, u"X").height;
  if (uFormat & DT_CALCRECT) {
    lpRect->right = lpRect->left + extent.width;
    lpRect->bottom = lpRect->top + extent.height;
    return extent.height;
  }
  int width = lpRect->right - lpRect->left;
  if ((uFormat & DT_END_ELLIPSIS) && extent.width > width) {
    text = platform::EllipsizeToWidth(font, text, width);
    extent = platform::MeasureText(font, text);
  }
  int x = lpRect->left;
  if (uFormat & DT_RIGHT) x = lpRect->right - extent.width;
  if (uFormat & DT_CENTER) x = lpRect->left + (width - extent.width) / 2;
  int y = lpRect->top;
  if ((uFormat & DT_SINGLELINE) && (uFormat & DT_VCENTER))
    y = lpRect->top + (lpRect->bottom - lpRect->top - extent.height) / 2;
  else if ((uFormat & DT_SINGLELINE) && (uFormat & DT_BOTTOM))
    y = lpRect->bottom - extent.height;
  cairo_t* cr = dc->cr.get();
  cairo_save(cr);
  if (!(uFormat & DT_NOCLIP)) {
    cairo_rectangle(cr, lpRect->left, lpRect->top, width, lpRect->bottom - lpRect->top);
    cairo_clip(cr);
  }
  if (dc->bk_mode == OPAQUE) platform::FillRectangle(cr, x, y, extent.width, extent.height, dc->bk_color);
  platform::DrawTextLine(cr, font, text, x, y, dc->text_color);
  cairo_restore(cr);
  return extent.height;
}

BOOL WINAPI ExtTextOutW(HDC hdc, int X, int Y, UINT, const RECT*, LPCWSTR lpString, UINT cbCount, const int*) {
  DeviceContext* dc = Dc(hdc);
  if (!dc) return FALSE;
  platform::FontSpec font = platform::GdiObjects::of(Session::current()).font_spec(dc->font);
  std::u16string_view text = TextOf(lpString, static_cast<int>(cbCount));
  if (dc->bk_mode == OPAQUE) {
    platform::TextExtent e = platform::MeasureText(font, text);
    platform::FillRectangle(dc->cr.get(), X, Y, e.width, e.height, dc->bk_color);
  }
  platform::DrawTextLine(dc->cr.get(), font, text, X, Y, dc->text_color);
  return TRUE;
}

BOOL WINAPI GetTextExtentPoint32W(HDC hdc, LPCWSTR lpString, int c, LPSIZE lpSize) {
  DeviceContext* dc = Dc(hdc);
  if (!dc || !lpSize) return FALSE;
  platform::TextExtent e = platform::MeasureText(platform::GdiObjects::of(Session::current()).font_spec(dc->font), TextOf(lpString, c));
  lpSize->cx = e.width;
  lpSize->cy = e.height;
  return TRUE;
}

HGDIOBJ WINAPI GetStockObject(int fnObject) { return platform::GdiObjects::of(Session::current()).stock(fnObject); }

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ hgdiobj) {
  DeviceContext* dc = Dc(hdc);
  auto* o = platform::GdiObjects::of(Session::current()).object(hgdiobj);
  if (!dc || !o) return nullptr;
  HGDIOBJ old = nullptr;
  if (std::holds_alternative<platform::Brush>(o->value)) {
    old = dc->brush;
    dc->brush = hgdiobj;
  } else if (std::holds_alternative<platform::Pen>(o->value)) {
    old = dc->pen;
    dc->pen = hgdiobj;
  } else {
    old = dc->font;
    dc->font = hgdiobj;
  }
  return old;
}

BOOL WINAPI DeleteObject(HGDIOBJ hObject) { return platform::GdiObjects::of(Session::current()).remove(hObject) ? TRUE : FALSE; }

HBRUSH WINAPI CreateSolidBrush(COLORREF crColor) {
  return static_cast<HBRUSH>(platform::GdiObjects::of(Session::current()).add({platform::Brush{crColor, false}, false}));
}

HPEN WINAPI CreatePen(int, int nWidth, COLORREF crColor) {
  return static_cast<HPEN>(platform::GdiObjects::of(Session::current()).add({platform::Pen{crColor, nWidth, false}, false}));
}

int WINAPI FillRect(HDC hDC, const RECT* lprc, HBRUSH hbr) {
  DeviceContext* dc = Dc(hDC);
  if (!dc || !lprc) return 0;
  Session& s = Session::current();
  COLORREF color;
  auto* o = platform::GdiObjects::of(s).object(hbr);
  if (o && std::holds_alternative<platform::Brush>(o->value)) {
    const auto& brush = std::get<platform::Brush>(o->value);
    if (brush.hollow) return 1;
    color = brush.color;
  } else if (reinterpret_cast<std::uintptr_t>(hbr) >= 1 && reinterpret_cast<std::uintptr_t>(hbr) <= 31) {
    color = GetSysColor(static_cast<int>(reinterpret_cast<std::uintptr_t>(hbr)) - 1);  // COLOR_x + 1
  } else {
    return 0;
  }
  platform::FillRectangle(dc->cr.get(), lprc->left, lprc->top, lprc->right - lprc->left, lprc->bottom - lprc->top,
                          color);
  return 1;
}

COLORREF WINAPI SetTextColor(HDC hdc, COLORREF crColor) {
  DeviceContext* dc = Dc(hdc);
  if (!dc) return 0;
  COLORREF old = dc->text_color;
  dc->text_color = crColor;
  return old;
}

COLORREF WINAPI SetBkColor(HDC hdc, COLORREF crColor) {
  DeviceContext* dc = Dc(hdc);
  if (!dc) return 0;
  COLORREF old = dc->bk_color;
  dc->bk_color = crColor;
  return old;
}

int WINAPI SetBkMode(HDC hdc, int iBkMode) {
  DeviceContext* dc = Dc(hdc);
  if (!dc) return 0;
  int old = dc->bk_mode;
  dc->bk_mode = iBkMode;
  return old;
}

COLORREF WINAPI GetPixel(HDC hdc, int nXPos, int nYPos) {
  DeviceContext* dc = Dc(hdc);
  if (!dc) return 0xFFFFFFFF;
  std::uint32_t p = Session::current().screen().pixel(dc->origin.x + nXPos, dc->origin.y + nYPos);
  return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

BOOL WINAPI DrawIconEx(HDC hdc, int xLeft, int yTop, HICON hIcon, int cxWidth, int cyWidth, UINT, HBRUSH, UINT) {
  DeviceContext* dc = Dc(hdc);
  platform::Icon* icon = platform::GdiObjects::of(Session::current()).icon(hIcon);
  if (!dc || !icon) return FALSE;
  const platform::res::IconImage* image = icon->best(cxWidth > 0 ? cxWidth : 32);
  if (!image) return FALSE;
  int w = cxWidth > 0 ? cxWidth : image->width;
  int h = cyWidth > 0 ? cyWidth : image->height;
  platform::DrawIconImage(dc->cr.get(), *image, xLeft, yTop, w, h);
  return TRUE;
}

BOOL WINAPI DrawIcon(HDC hDC, int X, int Y, HICON hIcon) {
  return DrawIconEx(hDC, X, Y, hIcon, GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON), 0, nullptr, DI_NORMAL);
}

DWORD WINAPI GetSysColor(int nIndex) {
  switch (nIndex) {
    case COLOR_WINDOW:
    case COLOR_MENU:
      return RGB(255, 255, 255);
    case COLOR_WINDOWTEXT:
    case COLOR_BTNTEXT:
      return RGB(0, 0, 0);
    case COLOR_WINDOWFRAME:
      return RGB(0, 0, 0);
    case COLOR_HIGHLIGHT:
      return RGB(0x31, 0x6a, 0xc5);
    case COLOR_HIGHLIGHTTEXT:
      return RGB(255, 255, 255);
    case COLOR_BTNFACE:
    case COLOR_SCROLLBAR:
      return RGB(0xd6, 0xd3, 0xce);
    case COLOR_BTNSHADOW:
    case COLOR_GRAYTEXT:
      return RGB(0x80, 0x80, 0x80);
    case COLOR_BACKGROUND:
      return RGB(0x1c, 0x3f, 0x7c);
    default:
      return RGB(0xc0, 0xc0, 0xc0);
  }
}

HBRUSH WINAPI GetSysColorBrush(int nIndex) {
  // System colour brushes are identified by the colour index plus one, as
  // window classes may name them; FillRect understands that form.
  return reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(nIndex + 1));
}

int WINAPI GetSystemMetrics(int nIndex) {
  Session& s = Session::current();
  int scale = s.screen().scale();
  switch (nIndex) {
    case SM_CXSCREEN:
      return s.screen().width();
    case SM_CYSCREEN:
      return s.screen().height();
    case SM_CXICON:
    case SM_CYICON:
      return 32 * scale;
    case SM_CXSMICON:
    case SM_CYSMICON:
      return 16 * scale;
    case SM_CXVSCROLL:
    case SM_CYHSCROLL:
      return 13 * scale;
    default:
      return 0;
  }
}

// Icons are GDI objects made from a module's icon resources.
HICON WINAPI LoadIconW(HINSTANCE hInstance, LPCWSTR lpIconName) {
  const auto* images = platform::FindIconImages(hInstance, lpIconName);
  if (!images) return nullptr;
  return platform::GdiObjects::of(Session::current()).add_icon(platform::Icon{*images});
}

HANDLE WINAPI LoadImageW(HINSTANCE hinst, LPCWSTR lpszName, UINT uType, int, int, UINT) {
  if (uType != IMAGE_ICON) return nullptr;
  return LoadIconW(hinst, lpszName);
}

BOOL WINAPI DestroyIcon(HICON hIcon) {
  return platform::GdiObjects::of(Session::current()).remove_icon(hIcon) ? TRUE : FALSE;
}
