// Owning handles for Cairo objects.
#pragma once

#include <memory>

#include <cairo.h>

namespace platform {

struct CairoSurfaceDeleter {
  void operator()(cairo_surface_t* s) const { cairo_surface_destroy(s); }
};
struct CairoDeleter {
  void operator()(cairo_t* c) const { cairo_destroy(c); }
};

using CairoSurface = std::unique_ptr<cairo_surface_t, CairoSurfaceDeleter>;
using CairoContext = std::unique_ptr<cairo_t, CairoDeleter>;

}  // namespace platform
