// The ImageList_* functions over the session's table of image lists.
//
// Supported: creating, adding and replacing icons (a copy of the icon's
// picture closest to the list's size), counting, sizes, destroying; the list
// view draws the images (ImageList_Draw is left out: nothing else draws them).
// Not supported yet: bitmaps and masks (ImageList_Add), overlay images,
// blending styles (ILD_SELECTED/ILD_FOCUS), removing images.
#include "platform/controls/image_list.h"

#include <memory>

#include "platform/core/session.h"
#include "platform/gdi/gdi_objects.h"

namespace platform {

bool DrawImageListImage(cairo_t* cr, const ImageList& list, int index, int x, int y) {
  if (index < 0 || index >= static_cast<int>(list.images.size())) return false;
  DrawIconImage(cr, list.images[static_cast<size_t>(index)], x, y, list.cx, list.cy);
  return true;
}

}  // namespace platform

namespace {

platform::ImageList* ListOf(HIMAGELIST himl) { return platform::ImageLists::of(platform::Session::current()).get(himl); }

}  // namespace

HIMAGELIST WINAPI ImageList_Create(int cx, int cy, UINT flags, int cInitial, int) {
  if (cx <= 0 || cy <= 0) return nullptr;
  auto list = std::make_unique<platform::ImageList>();
  list->cx = cx;
  list->cy = cy;
  list->flags = flags;
  if (cInitial > 0) list->images.reserve(static_cast<size_t>(cInitial));
  return platform::ImageLists::of(platform::Session::current()).add(std::move(list));
}

BOOL WINAPI ImageList_Destroy(HIMAGELIST himl) {
  return platform::ImageLists::of(platform::Session::current()).remove(himl) ? TRUE : FALSE;
}

int WINAPI ImageList_ReplaceIcon(HIMAGELIST himl, int i, HICON hicon) {
  platform::ImageList* list = ListOf(himl);
  platform::Icon* icon = platform::GdiObjects::of(platform::Session::current()).icon(hicon);
  if (!list || !icon) return -1;
  const platform::res::IconImage* picture = icon->best(list->cx);
  if (!picture) return -1;
  if (i < 0) {
    list->images.push_back(*picture);
    return static_cast<int>(list->images.size()) - 1;
  }
  if (i >= static_cast<int>(list->images.size())) return -1;
  list->images[static_cast<size_t>(i)] = *picture;
  return i;
}

int WINAPI ImageList_GetImageCount(HIMAGELIST himl) {
  platform::ImageList* list = ListOf(himl);
  return list ? static_cast<int>(list->images.size()) : 0;
}

BOOL WINAPI ImageList_GetIconSize(HIMAGELIST himl, int* cx, int* cy) {
  platform::ImageList* list = ListOf(himl);
  if (!list || !cx || !cy) return FALSE;
  *cx = list->cx;
  *cy = list->cy;
  return TRUE;
}
