// Image lists: a row of equally sized pictures behind an HIMAGELIST, kept in
// a table of the session's controls floor. Icons added to a list are copied, so the
// caller may destroy the icon at once, as on the real platform.
#pragma once

#include <memory>
#include <vector>

#include <commctrl.h>

#include "platform/core/cairo_handles.h"
#include "platform/core/handle_table.h"
#include "platform/core/resources.h"
#include "platform/core/session.h"

namespace platform {

struct ImageList {
  int cx = 0;
  int cy = 0;
  UINT flags = 0;
  std::vector<res::IconImage> images;
};

class ImageLists : public Service {
 public:
  static ImageLists& of(Session& session) { return session.service<ImageLists>(); }
  HIMAGELIST add(std::unique_ptr<ImageList> list) {
    return reinterpret_cast<HIMAGELIST>(lists_.add(std::move(list)));
  }
  ImageList* get(HIMAGELIST h) const { return lists_.get(reinterpret_cast<std::uintptr_t>(h)); }
  bool remove(HIMAGELIST h) { return lists_.remove(reinterpret_cast<std::uintptr_t>(h)) != nullptr; }

 private:
  HandleTable<ImageList> lists_{HandleKind::image_list};
};

// Draws picture `index` of `list` scaled to the list's size; false for a bad index.
bool DrawImageListImage(cairo_t* cr, const ImageList& list, int index, int x, int y);

}  // namespace platform
