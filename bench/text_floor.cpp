// The floor under the fixed cost of a start: a program that loads what a
// first screen needs (Cairo and Pango for its text, libical for the
// calendar, the C++ library) and draws one line of text, nothing more.
// tools/bench.py sets its CPU time and peak memory beside Tallyset's start to
// the first list on a calendar of the settings appointment alone.
#include <libical/ical.h>
#include <pango/pangocairo.h>

#include <string>

int main() {
  // One call into libical keeps it, and ICU under it, loaded.
  const icaltimetype today = icaltime_today();
  const std::string text = "Customer  Task  10:00  Weekly review";

  cairo_surface_t* surface = cairo_image_surface_create(CAIRO_FORMAT_RGB24, 240, 320);
  cairo_t* cr = cairo_create(surface);
  PangoLayout* layout = pango_cairo_create_layout(cr);
  PangoFontDescription* font = pango_font_description_from_string("Sans 8");
  pango_layout_set_font_description(layout, font);
  pango_layout_set_text(layout, text.c_str(), static_cast<int>(text.size()));
  pango_cairo_show_layout(cr, layout);
  cairo_surface_flush(surface);

  pango_font_description_free(font);
  g_object_unref(layout);
  cairo_destroy(cr);
  cairo_surface_destroy(surface);
  return icaltime_is_null_time(today) ? 1 : 0;
}
