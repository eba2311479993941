// Writes the program's own icon as the PNG files a desktop menu uses, one per
// size (icon_export FOLDER writes FOLDER/NxN/tallyset.png). Each size is the
// pixel art enlarged by a whole factor from the 16x16 or 32x32 picture, so
// the menu shows exactly the icon the program shows.
#include <cairo.h>

#include <cstdio>
#include <filesystem>
#include <string>

#include "platform/core/resources.h"
#include "resources/resource.h"

namespace {

const platform::res::IconImage* AppImage(int width) {
  for (const auto& icon : ProgramResources().icons)
    if (icon.id == IDI_APP)
      for (const auto& image : icon.images)
        if (image.width == width) return &image;
  return nullptr;
}

bool WriteScaled(const platform::res::IconImage& image, int factor, const std::filesystem::path& file) {
  const int size = image.width * factor;
  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_ARGB32, size, size);
  cairo_surface_flush(surface);
  unsigned char* data = cairo_image_surface_get_data(surface);
  const int stride = cairo_image_surface_get_stride(surface);
  for (int y = 0; y < size; ++y) {
    auto* row = reinterpret_cast<std::uint32_t*>(data + y * stride);
    for (int x = 0; x < size; ++x) {
      const std::uint32_t p = image.argb[static_cast<size_t>((y / factor) * image.width + x / factor)];
      const std::uint32_t a = p >> 24;
      // Cairo keeps premultiplied alpha.
      auto channel = [&](int shift) { return ((((p >> shift) & 0xFF) * a + 127) / 255) << shift; };
      row[x] = (a << 24) | channel(16) | channel(8) | channel(0);
    }
  }
  cairo_surface_mark_dirty(surface);
  const bool ok = cairo_surface_write_to_png(surface, file.c_str()) == CAIRO_STATUS_SUCCESS;
  cairo_surface_destroy(surface);
  return ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: icon_export FOLDER\n");
    return 2;
  }
  const platform::res::IconImage* small = AppImage(16);
  const platform::res::IconImage* large = AppImage(32);
  if (!small || !large) {
    std::fprintf(stderr, "icon_export: the program has no 16x16 and 32x32 application icon\n");
    return 1;
  }
  // size, picture, factor
  const struct { int size; const platform::res::IconImage* image; int factor; } sizes[] = {
      {16, small, 1}, {32, large, 1}, {48, small, 3}, {64, large, 2}, {128, large, 4}, {256, large, 8}};
  for (const auto& s : sizes) {
    const std::filesystem::path folder =
        std::filesystem::path(argv[1]) / (std::to_string(s.size) + "x" + std::to_string(s.size));
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec || !WriteScaled(*s.image, s.factor, folder / "tallyset.png")) {
      std::fprintf(stderr, "icon_export: cannot write %s\n", (folder / "tallyset.png").c_str());
      return 1;
    }
  }
  return 0;
}
