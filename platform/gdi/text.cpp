#include "platform/gdi/text.h"

#include <glib.h>

#include "platform/gdi/font_setup.h"

#include <future>
#include <system_error>
#include <unordered_map>

namespace platform {

namespace {

// A Pango context whose font options never depend on the surface drawn to,
// with a font map of its own (Pango's default map is per thread).
PangoContext* MakeContext() {
  UseLeanFontConfig();
  PangoFontMap* map = pango_cairo_font_map_new();
  PangoContext* ctx = pango_font_map_create_context(map);
  g_object_unref(map);  // the context keeps it
  cairo_font_options_t* options = cairo_font_options_create();
  cairo_font_options_set_antialias(options, CAIRO_ANTIALIAS_GRAY);
  cairo_font_options_set_hint_style(options, CAIRO_HINT_STYLE_SLIGHT);
  cairo_font_options_set_hint_metrics(options, CAIRO_HINT_METRICS_ON);
  pango_cairo_context_set_font_options(ctx, options);
  cairo_font_options_destroy(options);
  pango_cairo_context_set_resolution(ctx, 96);
  return ctx;
}

PangoLayoutPtr MakeLayout(PangoContext* context, const FontSpec& font, std::u16string_view text);

// The context is made, and the regular face loaded with the glyphs of
// plain text (most of what a screen draws), on a thread of its own from
// process start: that overlaps reading the calendar instead of holding up
// the first text. The first use takes the context over once the thread is
// done. (Bold text is rarer: loading its glyphs too cost more time on the
// other core than it saved.)
std::future<PangoContext*>& ContextBeingMade() {
  static std::future<PangoContext*> made = [] {
    const auto make = [] {
      PangoContext* ctx = MakeContext();
      std::u16string ascii;
      for (char16_t c = u' '; c <= u'~'; ++c) ascii.push_back(c);
      PangoLayoutPtr layout = MakeLayout(ctx, FontSpec{}, ascii);
      pango_layout_get_pixel_extents(layout.get(), nullptr, nullptr);
      return ctx;
    };
    try {
      return std::async(std::launch::async, make);
    } catch (const std::system_error&) {
      return std::async(std::launch::deferred, make);  // no thread to be had: made at first use
    }
  }();
  return made;
}

PangoContext* SharedContext() {
  static PangoContext* context = ContextBeingMade().get();
  return context;
}

PangoLayoutPtr MakeLayout(PangoContext* context, const FontSpec& font, std::u16string_view text) {
  PangoLayoutPtr layout(pango_layout_new(context));
  PangoFontDescriptionPtr desc(pango_font_description_new());
  pango_font_description_set_family(desc.get(), font.family.c_str());
  pango_font_description_set_absolute_size(desc.get(), font.pixel_size * PANGO_SCALE);
  pango_font_description_set_weight(desc.get(), font.bold ? PANGO_WEIGHT_BOLD : PANGO_WEIGHT_NORMAL);
  pango_layout_set_font_description(layout.get(), desc.get());
  std::string utf8 = ToUtf8(text);
  pango_layout_set_text(layout.get(), utf8.c_str(), static_cast<int>(utf8.size()));
  pango_layout_set_single_paragraph_mode(layout.get(), TRUE);
  return layout;
}

}  // namespace

// Lists repaint the same texts in the same fonts over and over; shaping a
// text costs far more than looking its size up. The caches are bounded and
// start afresh when full.
namespace {

constexpr size_t kCacheLimit = 8192;

std::string CacheKey(const FontSpec& font, std::u16string_view text, int width) {
  std::string key = font.family;
  key += '\0';
  key += std::to_string(font.pixel_size);
  key += font.bold ? 'b' : 'r';
  key += std::to_string(width);
  key += '\0';
  key.append(reinterpret_cast<const char*>(text.data()), text.size() * sizeof(char16_t));
  return key;
}

std::u16string EllipsizeUncached(const FontSpec& font, std::u16string_view text, int width);

}  // namespace

void StartFontSetup() { ContextBeingMade(); }

TextExtent MeasureText(const FontSpec& font, std::u16string_view text) {
  static std::unordered_map<std::string, TextExtent> cache;
  std::string key = CacheKey(font, text, -1);
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  PangoLayoutPtr layout = MakeLayout(SharedContext(), font, text);
  PangoRectangle logical;
  pango_layout_get_pixel_extents(layout.get(), nullptr, &logical);
  TextExtent extent{logical.width, logical.height};
  if (cache.size() >= kCacheLimit) cache.clear();
  cache.emplace(std::move(key), extent);
  return extent;
}

void DrawTextLine(cairo_t* cr, const FontSpec& font, std::u16string_view text, double x, double y, COLORREF color) {
  PangoLayoutPtr layout = MakeLayout(SharedContext(), font, text);
  cairo_save(cr);
  cairo_set_source_rgb(cr, GetRValue(color) / 255.0, GetGValue(color) / 255.0, GetBValue(color) / 255.0);
  cairo_move_to(cr, x, y);
  pango_cairo_show_layout(cr, layout.get());
  cairo_restore(cr);
}

std::u16string EllipsizeToWidth(const FontSpec& font, std::u16string_view text, int width) {
  if (MeasureText(font, text).width <= width) return std::u16string(text);
  static std::unordered_map<std::string, std::u16string> cache;
  std::string key = CacheKey(font, text, width);
  if (auto it = cache.find(key); it != cache.end()) return it->second;
  std::u16string cut = EllipsizeUncached(font, text, width);
  if (cache.size() >= kCacheLimit) cache.clear();
  cache.emplace(std::move(key), cut);
  return cut;
}

namespace {

std::u16string EllipsizeUncached(const FontSpec& font, std::u16string_view text, int width) {
  std::u16string ellipsis = u"...";
  size_t lo = 0, hi = text.size();
  while (lo < hi) {
    size_t mid = (lo + hi + 1) / 2;
    std::u16string candidate(text.substr(0, mid));
    candidate += ellipsis;
    if (MeasureText(font, candidate).width <= width)
      lo = mid;
    else
      hi = mid - 1;
  }
  return std::u16string(text.substr(0, lo)) + ellipsis;
}

}  // namespace

}  // namespace platform
