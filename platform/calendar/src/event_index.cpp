// Scanning a calendar file into an event index without building libical's
// component tree: a 100k-event calendar is read at line-scanning speed, and
// libical is asked only about the values that need its rules.
#include "event_index.h"

#include <algorithm>
#include <limits>

#include "civil_date.h"
#include "content_line.h"
#include "text_codec.h"
#include "str_cat.h"

namespace platform::calendar::detail {

namespace {

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) {
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 32);
  }
  return out;
}

// "BEGIN:VEVENT" → "VEVENT"; the component name is compared case-blind.
std::string component_of(std::string_view line) {
  const std::size_t colon = line.find(':');
  std::string_view name = colon == std::string_view::npos ? std::string_view() : line.substr(colon + 1);
  while (!name.empty() && (name.back() == ' ' || name.back() == '\t')) name.remove_suffix(1);
  return upper(name);
}

std::string shorten(std::string_view s) {
  constexpr std::size_t kMax = 40;
  return s.size() <= kMax ? std::string(s) : std::string(s.substr(0, kMax)) + "...";
}

struct Open {
  std::string name;
  int line;
  std::size_t begin;
};

std::size_t skip_bom(std::string_view bytes) {
  return bytes.substr(0, 3) == "\xEF\xBB\xBF" ? 3 : 0;
}

bool blank(std::string_view s) {
  return std::all_of(s.begin(), s.end(), [](char c) { return c == ' ' || c == '\t' || c == '\r'; });
}

struct EventSpan {
  std::size_t begin, end;
  int line;
};

}  // namespace

TimeForm time_form_of(const Property& p, const TimeZones& zones) {
  TimeForm form;
  const auto value_type = find_param(p, "VALUE");
  if ((value_type && iequals(*value_type, "DATE")) || p.value.size() == 8) {
    form.kind = TimeForm::Kind::Date;
  } else if (!p.value.empty() && (p.value.back() == 'Z' || p.value.back() == 'z')) {
    form.kind = TimeForm::Kind::Utc;
  } else if (const auto tzid = find_param(p, "TZID")) {
    form.kind = TimeForm::Kind::Zoned;
    form.tzid = std::string(*tzid);
    form.zone = zones.find(*tzid);
  }
  return form;
}

ScanResult scan_calendar(std::string_view bytes, TimeZones& zones) {
  ScanResult result;
  CalendarScan scan;
  scan.eol = std::string(detect_eol(bytes));
  std::vector<Open> stack;
  std::vector<EventSpan> events;
  std::vector<std::pair<std::size_t, std::size_t>> timezones;
  LineScanner lines(bytes, skip_bom(bytes), bytes.size(), 1);
  LogicalLine line;
  bool seen_calendar = false;
  while (lines.next(line)) {
    if (blank(line.text)) continue;
    const std::string_view name = property_name(line.text);
    if (iequals(name, "BEGIN")) {
      std::string component = component_of(line.text);
      if (component.empty()) {
        result.error = {line.line_number, "BEGIN without a component name"};
        return result;
      }
      if (stack.empty() && component != "VCALENDAR") {
        result.error = {line.line_number, seen_calendar
                                              ? str_cat({"\"", shorten(line.text), "\" is outside the calendar"})
                                              : "not an iCalendar file (it does not start with BEGIN:VCALENDAR)"};
        return result;
      }
      if (!stack.empty() && component == "VCALENDAR") {
        result.error = {line.line_number, "a calendar inside a calendar"};
        return result;
      }
      if (component == "VEVENT" && stack.back().name != "VCALENDAR") {
        result.error = {line.line_number, str_cat({"VEVENT inside ", stack.back().name})};
        return result;
      }
      seen_calendar = true;
      stack.push_back({std::move(component), line.line_number, line.begin});
    } else if (iequals(name, "END")) {
      const std::string component = component_of(line.text);
      if (stack.empty()) {
        result.error = {line.line_number, str_cat({"END:", shorten(component), " without a BEGIN"})};
        return result;
      }
      if (component != stack.back().name) {
        result.error = {line.line_number, str_cat({"END:", shorten(component), " does not close BEGIN:",
                                                       stack.back().name, " of line ",
                                                       std::to_string(stack.back().line)})};
        return result;
      }
      if (component == "VEVENT") {
        events.push_back({stack.back().begin, line.end, stack.back().line});
      } else if (component == "VTIMEZONE" && stack.size() == 2) {
        timezones.emplace_back(stack.back().begin, line.end);
      } else if (component == "VCALENDAR") {
        scan.insert_at = line.begin;
      }
      stack.pop_back();
    } else if (stack.empty()) {
      result.error = {line.line_number,
                      seen_calendar ? str_cat({"\"", shorten(line.text), "\" is outside the calendar"})
                                    : "not an iCalendar file (it does not start with BEGIN:VCALENDAR)"};
      return result;
    }
  }
  if (!stack.empty()) {
    result.error = {stack.back().line, str_cat({"BEGIN:", stack.back().name, " is never closed"})};
    return result;
  }
  // Time zones may be defined after the events that use them.
  for (const auto& [begin, end] : timezones) zones.add_vtimezone(bytes.substr(begin, end - begin));
  scan.events.reserve(events.size());
  for (const EventSpan& span : events) {
    EventResult event = index_event(bytes, span.begin, span.end, span.line, zones);
    if (!event.event) {
      result.error = std::move(event.error);
      return result;
    }
    scan.events.push_back(std::move(*event.event));
  }
  result.scan = std::move(scan);
  return result;
}

EventResult index_event(std::string_view bytes, std::size_t begin, std::size_t end, int first_line,
                        const TimeZones& zones) {
  EventResult result;
  IndexedEvent event;
  event.begin = begin;
  event.end = end;
  struct Wanted {
    std::string text;
    int line = 0;
  };
  Wanted dtstart, dtend, duration;
  bool have_uid = false;
  LineScanner lines(bytes, begin, end, first_line);
  LogicalLine line;
  int depth = 0;
  while (lines.next(line)) {
    const std::string_view name = property_name(line.text);
    if (iequals(name, "BEGIN")) {
      ++depth;
      continue;
    }
    if (iequals(name, "END")) {
      --depth;
      continue;
    }
    if (depth != 1) continue;  // VALARM and friends have DESCRIPTIONs of their own
    auto keep = [&](Wanted& w) {
      if (w.line == 0) w = {std::string(line.text), line.line_number};
    };
    if (iequals(name, "DTSTART")) {
      keep(dtstart);
    } else if (iequals(name, "DTEND")) {
      keep(dtend);
    } else if (iequals(name, "DURATION")) {
      keep(duration);
    } else if (iequals(name, "UID") && !have_uid) {
      if (auto p = parse_property(line.text)) event.uid = std::string(p->value);
      have_uid = true;
    } else if (iequals(name, "RECURRENCE-ID") && event.recurrence_id.empty()) {
      if (auto p = parse_property(line.text)) {
        event.recurrence_id = std::string(p->value);
        if (auto tzid = find_param(*p, "TZID")) event.recurrence_id += str_cat({";", *tzid});
      }
    } else if (iequals(name, "RRULE") || iequals(name, "RDATE")) {
      event.recurring = true;
    }
  }

  if (dtstart.line == 0) {
    result.error = {first_line, "the event has no DTSTART"};
    return result;
  }
  struct Decoded {
    DateTimeValue value;
    TimeForm form;
  };
  auto decode = [&](const Wanted& w, const char* what) -> std::optional<Decoded> {
    const auto p = parse_property(w.text);
    if (!p) {
      result.error = {w.line, str_cat({what, " is not a valid content line"})};
      return std::nullopt;
    }
    Decoded d;
    d.form = time_form_of(*p, zones);
    const auto v = parse_date_time(p->value, d.form.kind == TimeForm::Kind::Date);
    if (!v) {
      result.error = {w.line, str_cat({what, " \"", shorten(p->value), "\" is not a valid date or date-time"})};
      return std::nullopt;
    }
    d.value = *v;
    return d;
  };
  const auto start = decode(dtstart, "DTSTART");
  if (!start) return result;
  event.timing.start = to_local(start->value, start->form, zones);
  event.timing.all_day = start->value.is_date;

  std::int64_t minutes = event.timing.all_day ? 1440 : 0;
  if (dtend.line != 0) {
    const auto finish = decode(dtend, "DTEND");
    if (!finish) return result;
    if (start->value.is_date && finish->value.is_date) {
      minutes = (days_from_civil(finish->value.year, finish->value.month, finish->value.day) -
                 days_from_civil(start->value.year, start->value.month, start->value.day)) *
                1440;
    } else {
      minutes = floor_div(to_epoch_seconds(finish->value, finish->form, zones) -
                              to_epoch_seconds(start->value, start->form, zones),
                          60);
    }
  } else if (duration.line != 0) {
    const auto p = parse_property(duration.text);
    const auto seconds = p ? parse_duration_seconds(p->value) : std::nullopt;
    if (!seconds) {
      result.error = {duration.line, str_cat({"DURATION \"", shorten(p ? p->value : duration.text),
                                                  "\" is not a valid duration"})};
      return result;
    }
    minutes = floor_div(*seconds, 60);
  }
  // An end before the start is a writer's slip, not a reason to refuse the file.
  event.timing.duration_minutes = static_cast<std::int32_t>(
      std::clamp<std::int64_t>(minutes, 0, std::numeric_limits<std::int32_t>::max()));
  result.event = std::move(event);
  return result;
}

EventText read_event_text(std::string_view event_bytes) {
  EventText text;
  bool have_summary = false, have_description = false, have_categories = false;
  LineScanner lines(event_bytes, 0, event_bytes.size(), 1);
  LogicalLine line;
  int depth = 0;
  while (lines.next(line)) {
    const std::string_view name = property_name(line.text);
    if (iequals(name, "BEGIN")) {
      ++depth;
      continue;
    }
    if (iequals(name, "END")) {
      --depth;
      continue;
    }
    if (depth != 1) continue;
    const bool summary = !have_summary && iequals(name, "SUMMARY");
    const bool description = !have_description && iequals(name, "DESCRIPTION");
    const bool categories = iequals(name, "CATEGORIES");
    if (!summary && !description && !categories) continue;
    const auto p = parse_property(line.text);
    if (!p) continue;
    if (summary) {
      text.summary = unescape_text(p->value);
      have_summary = true;
    } else if (description) {
      text.description = unescape_text(p->value);
      have_description = true;
    } else {
      for (const std::string& value : split_text_list(p->value)) {
        if (have_categories) text.categories.push_back(',');
        text.categories += value;
        have_categories = true;
      }
    }
  }
  return text;
}

}  // namespace platform::calendar::detail
