// The report as a horizontal bar chart: one bar per row, its length in
// proportion to the row's minutes, the row's values to its left and its
// hours to its right. Drawn with Cairo and Pango onto an image surface
// (PNG) or an SVG surface.
//
// Not supported yet: colours per value, more than kMaxBars bars (the rest
// are counted in a closing line), right-to-left layout.
#include <cairo-svg.h>

#include <algorithm>

#include "automation/report.h"
#include "platform/core/cairo_handles.h"
#include "platform/gdi/pango_handles.h"

namespace tallyset {

namespace {

using platform::CairoContext;
using platform::CairoSurface;
using platform::PangoFontDescriptionPtr;
using platform::PangoLayoutPtr;

constexpr int kWidth = 720;
constexpr int kMargin = 12;
constexpr int kTitleHeight = 34;
constexpr int kRowHeight = 26;
constexpr int kBarHeight = 16;
constexpr int kGap = 10;
constexpr size_t kMaxBars = 200;
constexpr double kBarRgb[] = {0x3a / 255.0, 0x6e / 255.0, 0xa5 / 255.0};
constexpr double kTextRgb[] = {0x22 / 255.0, 0x22 / 255.0, 0x22 / 255.0};

std::string RowLabel(const ReportRow& row) {
  std::string label;
  for (size_t i = 0; i < row.values.size(); ++i) {
    if (i) label += " \xC2\xB7 ";  // a middle dot between values
    label += row.values[i].empty() ? "(none)" : row.values[i];
  }
  return label.empty() ? "All appointments" : label;
}

std::string Title(const Report& report) {
  std::string title = "Hours per ";
  for (size_t i = 0; i < report.by.size(); ++i) title += (i ? " \xC2\xB7 " : "") + report.by[i];
  if (report.by.empty()) title += "appointment";
  return title + ", " + report.from + " to " + report.to;
}

std::string HoursLabel(long long minutes) { return FormatHours(minutes) + " h"; }

class ChartText {
 public:
  explicit ChartText(cairo_t* cr) : layout_(pango_cairo_create_layout(cr)) {
    font_.reset(pango_font_description_from_string("DejaVu Sans 10"));
    pango_layout_set_font_description(layout_.get(), font_.get());
  }
  // Width in pixels of `text` as it would be drawn.
  int measure(const std::string& text) {
    pango_layout_set_width(layout_.get(), -1);
    pango_layout_set_text(layout_.get(), text.c_str(), -1);
    int width = 0, height = 0;
    pango_layout_get_pixel_size(layout_.get(), &width, &height);
    return width;
  }
  // Drawn with its vertical middle at `middle`, cut with an ellipsis beyond `width` (-1: never).
  void draw(cairo_t* cr, const std::string& text, double x, double middle, int width) {
    pango_layout_set_width(layout_.get(), width < 0 ? -1 : width * PANGO_SCALE);
    pango_layout_set_ellipsize(layout_.get(), PANGO_ELLIPSIZE_END);
    pango_layout_set_text(layout_.get(), text.c_str(), -1);
    int w = 0, h = 0;
    pango_layout_get_pixel_size(layout_.get(), &w, &h);
    cairo_set_source_rgb(cr, kTextRgb[0], kTextRgb[1], kTextRgb[2]);
    cairo_move_to(cr, x, middle - h / 2.0);
    pango_cairo_show_layout(cr, layout_.get());
  }

 private:
  PangoLayoutPtr layout_;
  PangoFontDescriptionPtr font_;
};

void Draw(cairo_t* cr, const Report& report, size_t bars, int height) {
  cairo_set_source_rgb(cr, 1, 1, 1);
  cairo_paint(cr);
  ChartText text(cr);
  text.draw(cr, Title(report), kMargin, kTitleHeight / 2.0, kWidth - 2 * kMargin);

  int label_width = 0, hours_width = 0;
  long long most = 0;
  for (size_t r = 0; r < bars; ++r) {
    label_width = std::max(label_width, text.measure(RowLabel(report.rows[r])));
    hours_width = std::max(hours_width, text.measure(HoursLabel(report.rows[r].tally.minutes)));
    most = std::max(most, report.rows[r].tally.minutes);
  }
  label_width = std::min(label_width, kWidth * 2 / 5);
  const int bar_left = kMargin + label_width + kGap;
  const int bar_room = std::max(1, kWidth - kMargin - hours_width - kGap - bar_left);

  // Whole pixels and no antialiasing, so a bar is exactly as long as its share.
  cairo_set_antialias(cr, CAIRO_ANTIALIAS_NONE);
  for (size_t r = 0; r < bars; ++r) {
    const ReportRow& row = report.rows[r];
    const int top = kTitleHeight + static_cast<int>(r) * kRowHeight;
    const double middle = top + kRowHeight / 2.0;
    const int length = most > 0 ? static_cast<int>((row.tally.minutes * bar_room + most / 2) / most) : 0;
    text.draw(cr, RowLabel(row), kMargin, middle, label_width);
    if (length > 0) {
      cairo_set_source_rgb(cr, kBarRgb[0], kBarRgb[1], kBarRgb[2]);
      cairo_rectangle(cr, bar_left, top + (kRowHeight - kBarHeight) / 2, length, kBarHeight);
      cairo_fill(cr);
    }
    text.draw(cr, HoursLabel(row.tally.minutes), bar_left + length + kGap / 2, middle, -1);
  }
  if (bars < report.rows.size()) {
    text.draw(cr, "and " + std::to_string(report.rows.size() - bars) + " more rows", kMargin,
              height - kMargin - kRowHeight / 2.0, -1);
  }
}

}  // namespace

bool DrawReportChart(const Report& report, const std::filesystem::path& file, ChartFormat format,
                     std::string* error) {
  const size_t bars = std::min(report.rows.size(), kMaxBars);
  const int height = kTitleHeight + static_cast<int>(std::max<size_t>(bars, 1)) * kRowHeight +
                     (bars < report.rows.size() ? kRowHeight : 0) + kMargin;
  const bool svg = format == ChartFormat::Svg;
  CairoSurface surface(svg ? cairo_svg_surface_create(file.c_str(), kWidth, height)
                           : cairo_image_surface_create(CAIRO_FORMAT_RGB24, kWidth, height));
  if (cairo_surface_status(surface.get()) == CAIRO_STATUS_SUCCESS) {
    CairoContext cr(cairo_create(surface.get()));
    Draw(cr.get(), report, bars, height);
  }
  cairo_status_t status = cairo_surface_status(surface.get());
  if (status == CAIRO_STATUS_SUCCESS) {
    if (svg) {
      cairo_surface_finish(surface.get());
      status = cairo_surface_status(surface.get());
    } else {
      status = cairo_surface_write_to_png(surface.get(), file.c_str());
    }
  }
  if (status != CAIRO_STATUS_SUCCESS) {
    *error = "cannot write the chart " + file.string() + ": " + cairo_status_to_string(status);
    return false;
  }
  return true;
}

}  // namespace tallyset
