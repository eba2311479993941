#include "platform/core/screen.h"

namespace platform {

Screen::Screen(int width, int height)
    : width_(width),
      height_(height),
      scale_(width > 320 || height > 320 ? 2 : 1),
      surface_(cairo_image_surface_create(CAIRO_FORMAT_RGB24, width, height)) {
  fill(RGB(0x1c, 0x3f, 0x7c));
}

std::uint32_t Screen::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= width_ || y >= height_) return 0;
  cairo_surface_flush(surface_.get());
  const unsigned char* data = cairo_image_surface_get_data(surface_.get());
  int stride = cairo_image_surface_get_stride(surface_.get());
  auto p = reinterpret_cast<const std::uint32_t*>(data + y * stride)[x];
  return p & 0xFFFFFF;
}

void Screen::fill(COLORREF color) {
  CairoContext cr(cairo_create(surface_.get()));
  cairo_set_source_rgb(cr.get(), GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
  cairo_paint(cr.get());
  touch();
}

bool Screen::write_png(const std::string& path, std::string* error) const {
  cairo_surface_flush(surface_.get());
  cairo_status_t status = cairo_surface_write_to_png(surface_.get(), path.c_str());
  if (status != CAIRO_STATUS_SUCCESS) {
    if (error) *error = "cannot write " + path + ": " + cairo_status_to_string(status);
    return false;
  }
  return true;
}

}  // namespace platform
