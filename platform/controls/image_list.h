// Image lists: a row of equally sized pictures behind an HIMAGELIST, kept in
// the session's GDI object tables. Icons added to a list are copied, so the
// caller may destroy the icon at once, as on the real platform.
#pragma once

#include <vector>

#include <commctrl.h>

#include "platform/core/resources.h"
#include "platform/gdi/cairo_handles.h"

namespace platform {

struct ImageList {
  int cx = 0;
  int cy = 0;
  UINT flags = 0;
  std::vector<res::IconImage> images;
};

// Draws picture `index` of `list` scaled to the list's size; false for a bad index.
bool DrawImageListImage(cairo_t* cr, const ImageList& list, int index, int x, int y);

}  // namespace platform
