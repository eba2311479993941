#include "platform/gdi/gdi_objects.h"

#include <algorithm>
#include <cmath>

#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/core/screen.h"

namespace platform {

const res::IconImage* Icon::best(int size) const {
  const res::IconImage* found = nullptr;
  for (const auto& image : images) {
    if (image.width == size) return &image;
    if (!found || image.width > found->width) found = &image;
  }
  return found;
}

void InstallGdi(Session& session) { session.install<GdiObjects>(session); }

GdiObjects::GdiObjects(Session& session) : session_(session) {
  stock_.resize(SYSTEM_FONT + 1, nullptr);
  auto brush = [&](int i, COLORREF c, bool hollow = false) { stock_[i] = add({Brush{c, hollow}, true}); };
  brush(WHITE_BRUSH, RGB(255, 255, 255));
  brush(LTGRAY_BRUSH, RGB(192, 192, 192));
  brush(GRAY_BRUSH, RGB(128, 128, 128));
  brush(DKGRAY_BRUSH, RGB(64, 64, 64));
  brush(BLACK_BRUSH, RGB(0, 0, 0));
  brush(NULL_BRUSH, 0, true);
  stock_[WHITE_PEN] = add({Pen{RGB(255, 255, 255), 1, false}, true});
  stock_[BLACK_PEN] = add({Pen{RGB(0, 0, 0), 1, false}, true});
  stock_[NULL_PEN] = add({Pen{0, 1, true}, true});
  FontSpec system;
  system.pixel_size = 11 * session.screen().scale();
  stock_[SYSTEM_FONT] = add({Font{system}, true});
}

HGDIOBJ GdiObjects::stock(int index) const {
  if (index < 0 || index >= static_cast<int>(stock_.size())) return nullptr;
  return stock_[index];
}

HGDIOBJ GdiObjects::add(GdiObject object) {
  return reinterpret_cast<HGDIOBJ>(objects_.add(std::make_unique<GdiObject>(std::move(object))));
}

GdiObject* GdiObjects::object(HGDIOBJ h) const { return objects_.get(reinterpret_cast<std::uintptr_t>(h)); }

bool GdiObjects::remove(HGDIOBJ h) {
  GdiObject* o = object(h);
  if (!o) return false;
  if (o->stock) return true;  // deleting a stock object is allowed and does nothing
  objects_.remove(reinterpret_cast<std::uintptr_t>(h));
  return true;
}

FontSpec GdiObjects::font_spec(HGDIOBJ font) const {
  if (GdiObject* o = object(font))
    if (auto* f = std::get_if<Font>(&o->value)) return f->spec;
  return std::get<Font>(object(system_font())->value).spec;
}

HICON GdiObjects::add_icon(Icon icon) {
  ++icons_alive_;
  return reinterpret_cast<HICON>(icons_.add(std::make_unique<Icon>(std::move(icon))));
}

Icon* GdiObjects::icon(HICON h) const { return icons_.get(reinterpret_cast<std::uintptr_t>(h)); }

bool GdiObjects::remove_icon(HICON h) {
  if (!icons_.remove(reinterpret_cast<std::uintptr_t>(h))) return false;
  --icons_alive_;
  return true;
}

size_t GdiObjects::icon_count() const { return icons_alive_; }

HDC GdiObjects::create_dc(HWND hwnd, const RECT* clip_client, bool for_paint) {
  auto dc = std::make_unique<DeviceContext>();
  Screen& screen = session_.screen();
  WindowManager& windows = session_.windows();
  dc->hwnd = hwnd;
  dc->cr.reset(cairo_create(screen.surface()));
  RECT clip{0, 0, screen.width(), screen.height()};
  if (hwnd) {
    dc->origin = windows.client_origin_on_screen(hwnd);
    // Children are clipped to every ancestor's client area.
    for (HWND h = hwnd; h; h = windows.get(h)->parent) {
      RECT c = windows.client_rect_on_screen(h);
      clip.left = std::max(clip.left, c.left);
      clip.top = std::max(clip.top, c.top);
      clip.right = std::min(clip.right, c.right);
      clip.bottom = std::min(clip.bottom, c.bottom);
    }
    if (clip_client) {
      clip.left = std::max<LONG>(clip.left, clip_client->left + dc->origin.x);
      clip.top = std::max<LONG>(clip.top, clip_client->top + dc->origin.y);
      clip.right = std::min<LONG>(clip.right, clip_client->right + dc->origin.x);
      clip.bottom = std::min<LONG>(clip.bottom, clip_client->bottom + dc->origin.y);
    }
  }
  if (clip.right < clip.left) clip.right = clip.left;
  if (clip.bottom < clip.top) clip.bottom = clip.top;
  dc->clip = clip;
  cairo_rectangle(dc->cr.get(), clip.left, clip.top, clip.right - clip.left, clip.bottom - clip.top);
  cairo_clip(dc->cr.get());
  cairo_translate(dc->cr.get(), dc->origin.x, dc->origin.y);
  cairo_set_antialias(dc->cr.get(), CAIRO_ANTIALIAS_NONE);
  dc->pen = stock(BLACK_PEN);
  dc->brush = stock(WHITE_BRUSH);
  dc->font = hwnd && windows.get(hwnd)->font ? windows.get(hwnd)->font : system_font();
  dc->for_paint = for_paint;
  ++dcs_alive_;
  return reinterpret_cast<HDC>(dcs_.add(std::move(dc)));
}

DeviceContext* GdiObjects::dc(HDC h) const { return dcs_.get(reinterpret_cast<std::uintptr_t>(h)); }

bool GdiObjects::release_dc(HDC h) {
  auto dc = dcs_.remove(reinterpret_cast<std::uintptr_t>(h));
  if (!dc) return false;
  cairo_surface_flush(cairo_get_target(dc->cr.get()));
  session_.screen().touch();
  --dcs_alive_;
  return true;
}

size_t GdiObjects::dc_count() const { return dcs_alive_; }

void SetSourceColor(cairo_t* cr, COLORREF color) {
  cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
}

void FillVerticalGradient(cairo_t* cr, int w, int h, COLORREF top, COLORREF bottom) {
  auto stop = [](cairo_pattern_t* p, double at, COLORREF c) {
    cairo_pattern_add_color_stop_rgb(p, at, GetRValue(c) / 255.0, GetGValue(c) / 255.0, GetBValue(c) / 255.0);
  };
  cairo_pattern_t* gradient = cairo_pattern_create_linear(0, 0, 0, h);
  stop(gradient, 0, top);
  stop(gradient, 1, bottom);
  cairo_set_source(cr, gradient);
  cairo_rectangle(cr, 0, 0, w, h);
  cairo_fill(cr);
  cairo_pattern_destroy(gradient);
}

void FillRectangle(cairo_t* cr, int x, int y, int w, int h, COLORREF color) {
  if (w <= 0 || h <= 0) return;
  SetSourceColor(cr, color);
  cairo_rectangle(cr, x, y, w, h);
  cairo_fill(cr);
}

void FrameRectangle(cairo_t* cr, int x, int y, int w, int h, COLORREF color) {
  if (w <= 0 || h <= 0) return;
  FillRectangle(cr, x, y, w, 1, color);
  FillRectangle(cr, x, y + h - 1, w, 1, color);
  FillRectangle(cr, x, y, 1, h, color);
  FillRectangle(cr, x + w - 1, y, 1, h, color);
}

void DrawIconImage(cairo_t* cr, const res::IconImage& image, int x, int y, int w, int h) {
  if (image.width <= 0 || image.height <= 0) return;
  CairoSurface surface(cairo_image_surface_create(CAIRO_FORMAT_ARGB32, image.width, image.height));
  cairo_surface_flush(surface.get());
  unsigned char* data = cairo_image_surface_get_data(surface.get());
  int stride = cairo_image_surface_get_stride(surface.get());
  for (int row = 0; row < image.height; ++row) {
    auto* out = reinterpret_cast<std::uint32_t*>(data + row * stride);
    for (int col = 0; col < image.width; ++col) {
      std::uint32_t p = image.argb[static_cast<size_t>(row * image.width + col)];
      std::uint32_t a = p >> 24;
      auto premultiply = [a](std::uint32_t c) { return (c * a + 127) / 255; };
      out[col] = (a << 24) | (premultiply((p >> 16) & 0xFF) << 16) | (premultiply((p >> 8) & 0xFF) << 8) |
                 premultiply(p & 0xFF);
    }
  }
  cairo_surface_mark_dirty(surface.get());
  cairo_save(cr);
  cairo_translate(cr, x, y);
  cairo_scale(cr, static_cast<double>(w) / image.width, static_cast<double>(h) / image.height);
  cairo_set_source_surface(cr, surface.get(), 0, 0);
  cairo_pattern_set_filter(cairo_get_source(cr), CAIRO_FILTER_NEAREST);
  cairo_paint(cr);
  cairo_restore(cr);
}

}  // namespace platform
