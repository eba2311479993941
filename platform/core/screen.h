// The device screen: one ARGB surface that every window paints into, and
// the fixed geometry of the Pocket PC shell on it (navigation bar on top,
// menu bar at the bottom). A screen wider or taller than 320 pixels is a
// high-resolution screen: the shell's pieces and fonts are twice the size.
#pragma once

#include <cstdint>
#include <string>

#include <windows.h>

#include "platform/core/cairo_handles.h"

namespace platform {

class Screen {
 public:
  Screen(int width, int height);

  int width() const { return width_; }
  int height() const { return height_; }
  int scale() const { return scale_; }
  int nav_bar_height() const { return 26 * scale_; }
  int menu_bar_height() const { return 26 * scale_; }
  int dpi() const { return 96 * scale_; }

  cairo_surface_t* surface() const { return surface_.get(); }
  // The pixel at (x, y) as 0xRRGGBB; 0 outside the screen.
  std::uint32_t pixel(int x, int y) const;
  void fill(COLORREF color);
  bool write_png(const std::string& path, std::string* error) const;
  // Number of changes drawn so far; hosts compare it to know when to present.
  std::uint64_t generation() const { return generation_; }
  void touch() { ++generation_; }

 private:
  int width_;
  int height_;
  int scale_;
  CairoSurface surface_;
  std::uint64_t generation_ = 0;
};

}  // namespace platform
