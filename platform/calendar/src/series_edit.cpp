// Writing overrides and EXDATEs into a series' lines.
#include "series_edit.h"

#include "content_line.h"
#include "event_index.h"
#include "text_codec.h"

namespace platform::calendar::detail {

namespace {

bool recurrence_line(std::string_view name) {
  return iequals(name, "RRULE") || iequals(name, "RDATE") || iequals(name, "EXDATE") ||
         iequals(name, "EXRULE");
}

// "NAME;TZID=...:value" naming the occurrence the way DTSTART is written.
std::string occurrence_line(std::string_view name, const SeriesRule& rule, std::int64_t instant,
                            const TimeZones& zones, std::string_view eol) {
  std::string text(name);
  if (rule.form.kind == TimeForm::Kind::Date) text += ";VALUE=DATE";
  if (rule.form.kind == TimeForm::Kind::Zoned) {
    const bool quote = rule.form.tzid.find_first_of(":;,") != std::string::npos;
    text += quote ? ";TZID=\"" + rule.form.tzid + "\"" : ";TZID=" + rule.form.tzid;
  }
  text += ':';
  text += format_date_time(value_at(instant, rule.form, zones));
  return fold_line(text, eol);
}

}  // namespace

std::string build_override(std::string_view master, const SeriesRule& rule, std::int64_t instant,
                           const AppointmentFields& shown, const TimeZones& zones, std::string_view eol) {
  std::string out;
  out.reserve(master.size() + 64);
  LineScanner lines(master, 0, master.size(), 1);
  LogicalLine l;
  int depth = 0;
  bool did_start = false, did_end = false;
  while (lines.next(l)) {
    const std::string_view name = l.name;
    const std::string_view line_eol = l.eol.empty() ? eol : l.eol;
    if (iequals(name, "BEGIN") || iequals(name, "END")) {
      depth += iequals(name, "BEGIN") ? 1 : -1;
    } else if (depth == 1 && recurrence_line(name)) {
      continue;
    } else if (depth == 1 && !did_start && iequals(name, "DTSTART")) {
      did_start = true;
      if (const auto p = parse_property(l.text)) {
        out += fold_line(std::string(p->head) + ":" + format_date_time(value_at(instant, rule.form, zones)),
                         line_eol);
        out += occurrence_line("RECURRENCE-ID", rule, instant, zones, line_eol);
        continue;
      }
    } else if (depth == 1 && !did_end && iequals(name, "DTEND")) {
      did_end = true;
      if (const auto p = parse_property(l.text)) {
        const TimeForm form = time_form_of(*p, zones);
        const DateTimeValue end = written_end(shown.start, instant, shown.duration_minutes, rule.form, form, zones);
        out += fold_line(std::string(p->head) + ":" + format_date_time(end), line_eol);
        continue;
      }
    }
    out.append(master.substr(l.begin, l.end - l.begin));
  }
  return out;
}

std::string add_exdate(std::string_view master, const SeriesRule& rule, std::int64_t instant,
                       const TimeZones& zones, std::string_view eol) {
  std::size_t at = std::string_view::npos;
  std::string_view at_eol = eol;
  LineScanner lines(master, 0, master.size(), 1);
  LogicalLine l;
  int depth = 0;
  while (lines.next(l)) {
    const std::string_view name = l.name;
    if (iequals(name, "BEGIN") || iequals(name, "END")) {
      depth += iequals(name, "BEGIN") ? 1 : -1;
    } else if (depth == 1 && (recurrence_line(name) || (at == std::string_view::npos && iequals(name, "DTSTART")))) {
      at = l.end;
      if (!l.eol.empty()) at_eol = l.eol;
    }
  }
  if (at == std::string_view::npos) return std::string(master);
  std::string out(master.substr(0, at));
  out += occurrence_line("EXDATE", rule, instant, zones, at_eol);
  out.append(master.substr(at));
  return out;
}

}  // namespace platform::calendar::detail
