// Text through Pango: one font description per GDI font, measured and drawn
// with the same font options so that a measured width is the drawn width.
#pragma once

#include <string>
#include <string_view>

#include <windows.h>

#include "platform/base/utf.h"
#include "platform/core/cairo_handles.h"
#include "platform/gdi/pango_handles.h"

namespace platform {

struct FontSpec {
  std::string family = "DejaVu Sans";
  int pixel_size = 11;  // the em size in pixels
  bool bold = false;
};

struct TextExtent {
  int width = 0;
  int height = 0;  // the line height
};

// Starts reading the font configuration, which Pango does on a thread of its
// own: called at process start, that work overlaps whatever the program does
// before its first text (opening the calendar) instead of holding up the
// first measurement. Later calls do nothing.
void StartFontSetup();

TextExtent MeasureText(const FontSpec& font, std::u16string_view text);
// Draws one line of text with its top-left corner at (x, y) in `cr`'s space.
void DrawTextLine(cairo_t* cr, const FontSpec& font, std::u16string_view text, double x, double y, COLORREF color);
// The longest prefix of `text` that, followed by an ellipsis, fits `width`.
std::u16string EllipsizeToWidth(const FontSpec& font, std::u16string_view text, int width);

}  // namespace platform
