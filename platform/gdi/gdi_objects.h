// GDI objects behind the handles: brushes, pens and fonts (with the stock
// ones that can never be deleted), icons, and device contexts. A device
// context draws into the screen surface through Cairo, translated to a
// window's client origin and clipped to what of that window is visible.
#pragma once

#include <memory>
#include <variant>
#include <vector>

#include <windows.h>

#include "platform/core/cairo_handles.h"
#include "platform/core/handle_table.h"
#include "platform/core/resources.h"
#include "platform/core/session.h"
#include "platform/gdi/text.h"

namespace platform {

struct Brush {
  COLORREF color = 0;
  bool hollow = false;
};
struct Pen {
  COLORREF color = 0;
  int width = 1;
  bool hollow = false;
};
struct Font {
  FontSpec spec;
};
struct GdiObject {
  std::variant<Brush, Pen, Font> value;
  bool stock = false;
};

struct Icon {
  std::vector<res::IconImage> images;
  // The best picture for a size: the exact size if there is one, else the largest.
  const res::IconImage* best(int size) const;
};

struct DeviceContext {
  HWND hwnd = nullptr;
  CairoContext cr;
  POINT origin{};     // client origin on the screen
  RECT clip{};        // on the screen
  POINT position{};   // current position, client coordinates
  HGDIOBJ pen = nullptr;
  HGDIOBJ brush = nullptr;
  HGDIOBJ font = nullptr;
  COLORREF text_color = RGB(0, 0, 0);
  COLORREF bk_color = RGB(255, 255, 255);
  int bk_mode = OPAQUE;
  bool for_paint = false;
};

class GdiObjects : public Service {
 public:
  explicit GdiObjects(Session& session);
  static GdiObjects& of(Session& session) { return session.service<GdiObjects>(); }

  HGDIOBJ stock(int index) const;
  HGDIOBJ add(GdiObject object);
  GdiObject* object(HGDIOBJ h) const;
  bool remove(HGDIOBJ h);

  // The default font of windows and controls: the platform's 8-point UI font.
  HFONT system_font() const { return static_cast<HFONT>(stock(SYSTEM_FONT)); }
  FontSpec font_spec(HGDIOBJ font) const;

  HICON add_icon(Icon icon);
  Icon* icon(HICON h) const;
  bool remove_icon(HICON h);
  size_t icon_count() const;

  HDC create_dc(HWND hwnd, const RECT* clip_client, bool for_paint);
  DeviceContext* dc(HDC h) const;
  bool release_dc(HDC h);
  size_t dc_count() const;

 private:
  Session& session_;
  HandleTable<GdiObject> objects_{HandleKind::gdi_object};
  HandleTable<Icon> icons_{HandleKind::icon};
  HandleTable<DeviceContext> dcs_{HandleKind::device_context};
  std::vector<HGDIOBJ> stock_;
  size_t icons_alive_ = 0;
  size_t dcs_alive_ = 0;
};

// Installs the GDI floor: stock objects, icons and device contexts.
void InstallGdi(Session& session);

// Drawing helpers shared by the platform's own windows.
void SetSourceColor(cairo_t* cr, COLORREF color);
void FillRectangle(cairo_t* cr, int x, int y, int w, int h, COLORREF color);
// The rectangle (0, 0, w, h) shaded from `top` at its top edge to `bottom` at its bottom edge.
void FillVerticalGradient(cairo_t* cr, int w, int h, COLORREF top, COLORREF bottom);
void FrameRectangle(cairo_t* cr, int x, int y, int w, int h, COLORREF color);
void DrawIconImage(cairo_t* cr, const res::IconImage& image, int x, int y, int w, int h);

}  // namespace platform
