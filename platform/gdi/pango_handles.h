// Owning handles for Pango objects.
#pragma once

#include <memory>

#include <pango/pangocairo.h>

namespace platform {

struct GObjectDeleter {
  void operator()(void* o) const { g_object_unref(o); }
};
struct PangoFontDescriptionDeleter {
  void operator()(PangoFontDescription* d) const { pango_font_description_free(d); }
};

using PangoLayoutPtr = std::unique_ptr<PangoLayout, GObjectDeleter>;
using PangoFontDescriptionPtr = std::unique_ptr<PangoFontDescription, PangoFontDescriptionDeleter>;

}  // namespace platform
