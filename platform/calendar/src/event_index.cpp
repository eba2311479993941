// Scanning a calendar file into an event index without building libical's
// component tree: a 100k-event calendar is read at line-scanning speed, and
// libical is asked only about the values that need its rules.
#include "event_index.h"

#include <algorithm>
#include <limits>

#include "wall_time.h"
#include "content_line.h"
#include "text_codec.h"
#include "platform/base/str_cat.h"

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

constexpr std::size_t kNone = std::string_view::npos;

// The property names the scan acts on. Told apart by first letter and length,
// so that the common line costs one switch and at most one full compare.
enum class Known { Other, Begin, End, Dtstart, Dtend, Duration, Uid, RecurrenceId, Rrule, Rdate, Summary,
                   Description, Categories };

Known known_name(std::string_view n) {
  if (n.size() < 3) return Known::Other;
  auto is = [n](std::string_view want, Known k) { return iequals(n, want) ? k : Known::Other; };
  switch (n[0] | 0x20) {  // ASCII letters to lower case
    case 'b':
      return n.size() == 5 ? is("BEGIN", Known::Begin) : Known::Other;
    case 'c':
      return n.size() == 10 ? is("CATEGORIES", Known::Categories) : Known::Other;
    case 'd':
      switch (n.size()) {
        case 5: return is("DTEND", Known::Dtend);
        case 7: return is("DTSTART", Known::Dtstart);
        case 8: return is("DURATION", Known::Duration);
        case 11: return is("DESCRIPTION", Known::Description);
        default: return Known::Other;
      }
    case 'e':
      return n.size() == 3 ? is("END", Known::End) : Known::Other;
    case 'r':
      if (n.size() == 13) return is("RECURRENCE-ID", Known::RecurrenceId);
      if (n.size() != 5) return Known::Other;
      return (n[1] | 0x20) == 'r' ? is("RRULE", Known::Rrule) : is("RDATE", Known::Rdate);
    case 's':
      return n.size() == 7 ? is("SUMMARY", Known::Summary) : Known::Other;
    case 'u':
      return n.size() == 3 ? is("UID", Known::Uid) : Known::Other;
    default:
      return Known::Other;
  }
}

// What the pass over the file notes about one event: where its lines of
// interest start. The index entry is made from it once every VTIMEZONE of
// the file is known; the draft is small, so that the list of drafts costs
// little beside the index.
struct EventDraft {
  std::size_t begin = 0, end = 0;
  std::size_t dtstart = kNone, dtend = kNone, duration = kNone, uid = kNone, recurrence_id = kNone;
  TextLines text;
  int first_line = 0;
  bool recurring = false;
  bool seen_summary = false;
};

// RECURRENCE-ID's value and TZID, as written; empty when it has neither.
std::string recurrence_of(std::string_view line) {
  std::string id;
  if (auto p = parse_property(line)) {
    id = std::string(p->value);
    if (auto tzid = find_param(*p, "TZID")) id += str_cat({";", *tzid});
  }
  return id;
}

// One property line of the event itself (not of a VALARM inside it).
void gather(Known name, const LogicalLine& line, EventDraft& draft) {
  auto keep = [&](std::size_t& at) {
    if (at == kNone) at = line.begin;
  };
  auto mark = [&](std::uint32_t& at) {
    const std::size_t offset = line.begin - draft.begin;
    if (offset >= kNoLine) {
      draft.text.whole = true;
    } else {
      at = static_cast<std::uint32_t>(offset);
    }
  };
  switch (name) {
    case Known::Dtstart:
      keep(draft.dtstart);
      return;
    case Known::Dtend:
      keep(draft.dtend);
      return;
    case Known::Duration:
      keep(draft.duration);
      return;
    case Known::Uid:
      keep(draft.uid);
      return;
    default:
      break;
  }
  if (name == Known::RecurrenceId) {
    // The first one that says something.
    if (draft.recurrence_id == kNone && !recurrence_of(line.text).empty()) draft.recurrence_id = line.begin;
  } else if (name == Known::Rrule || name == Known::Rdate) {
    draft.recurring = true;
  } else if (name == Known::Summary) {
    if (!draft.seen_summary) {
      draft.seen_summary = true;
      mark(draft.text.summary);
      // Only when this first SUMMARY is the one that counts: it can be read.
      if (const auto p = parse_property(line.text)) {
        if (const auto hash = plain_text_hash(p->value)) {
          draft.text.subject_hashed = true;
          draft.text.subject_hash = *hash;
        }
      }
    }
  } else if (name == Known::Description) {
    if (draft.text.description == kNoLine) mark(draft.text.description);
  } else if (name == Known::Categories) {
    if (draft.text.categories == kNoLine) {
      mark(draft.text.categories);
    } else {
      draft.text.more_categories = true;
    }
  }
}

// The logical line that starts at `at` inside the draft's event.
class LineAt {
 public:
  LineAt(std::string_view bytes, const EventDraft& draft, std::size_t at)
      : scanner_(bytes, at, draft.end, 0) {
    scanner_.next(line_);
  }
  std::string_view text() const { return line_.text; }

 private:
  LineScanner scanner_;
  LogicalLine line_;
};

// The number of the line starting at `at`, for messages.
int line_number(std::string_view bytes, const EventDraft& draft, std::size_t at) {
  return draft.first_line +
         static_cast<int>(std::count(bytes.begin() + static_cast<std::ptrdiff_t>(draft.begin),
                                     bytes.begin() + static_cast<std::ptrdiff_t>(at), '\n'));
}

// The index entry for the draft's event: its identity, and its start and
// length decoded from the lines the draft found.
bool finish_event(std::string_view bytes, const EventDraft& draft, const TimeZones& zones,
                  IndexedEvent& event, ScanError* error) {
  event.begin = draft.begin;
  event.end = draft.end;
  event.text = draft.text;
  if (!draft.seen_summary) {
    event.text.subject_hashed = true;
    event.text.subject_hash = text_hash(u"");
  }
  event.recurring = draft.recurring;
  if (draft.uid != kNone) {
    // A folded line's text lives in the LineAt.
    const LineAt line(bytes, draft, draft.uid);
    if (auto p = parse_property(line.text())) event.uid = std::string(p->value);
  }
  if (draft.recurrence_id != kNone) {
    const LineAt line(bytes, draft, draft.recurrence_id);
    event.recurrence_id = recurrence_of(line.text());
    if (const auto p = parse_property(line.text())) {
      const TimeForm form = time_form_of(*p, zones);
      if (const auto v = parse_date_time(p->value, form.kind == TimeForm::Kind::Date)) {
        event.recurrence_instant = to_epoch_seconds(*v, form, zones);
      }
    }
  }
  if (draft.dtstart == kNone) {
    *error = {draft.first_line, "the event has no DTSTART"};
    return false;
  }
  struct Decoded {
    DateTimeValue value;
    TimeForm form;
  };
  auto decode = [&](std::size_t at, const char* what) -> std::optional<Decoded> {
    const LineAt line(bytes, draft, at);
    const auto p = parse_property(line.text());
    if (!p) {
      *error = {line_number(bytes, draft, at), str_cat({what, " is not a valid content line"})};
      return std::nullopt;
    }
    Decoded d;
    d.form = time_form_of(*p, zones);
    const auto v = parse_date_time(p->value, d.form.kind == TimeForm::Kind::Date);
    if (!v) {
      *error = {line_number(bytes, draft, at),
                str_cat({what, " \"", shorten(p->value), "\" is not a valid date or date-time"})};
      return std::nullopt;
    }
    d.value = *v;
    return d;
  };
  const auto start = decode(draft.dtstart, "DTSTART");
  if (!start) return false;
  event.timing.start = to_local(start->value, start->form, zones);
  event.timing.all_day = start->value.is_date;

  std::int64_t minutes = event.timing.all_day ? 1440 : 0;
  if (draft.dtend != kNone) {
    const auto finish = decode(draft.dtend, "DTEND");
    if (!finish) return false;
    if (start->value.is_date && finish->value.is_date) {
      minutes = (days_from_civil(finish->value.year, finish->value.month, finish->value.day) -
                 days_from_civil(start->value.year, start->value.month, start->value.day)) *
                1440;
    } else {
      minutes = floor_div(to_epoch_seconds(finish->value, finish->form, zones) -
                              to_epoch_seconds(start->value, start->form, zones),
                          60);
    }
  } else if (draft.duration != kNone) {
    const LineAt line(bytes, draft, draft.duration);
    const auto p = parse_property(line.text());
    const auto seconds = p ? parse_duration_seconds(p->value) : std::nullopt;
    if (!seconds) {
      *error = {line_number(bytes, draft, draft.duration),
                str_cat({"DURATION \"", shorten(p ? p->value : line.text()), "\" is not a valid duration"})};
      return false;
    }
    minutes = floor_div(*seconds, 60);
  }
  // An end before the start is a writer's slip, not a reason to refuse the file.
  event.timing.duration_minutes = static_cast<std::int32_t>(
      std::clamp<std::int64_t>(minutes, 0, std::numeric_limits<std::int32_t>::max()));
  return true;
}

// The text fields in `which` from the lines of `bytes` starting at `from`,
// where the component depth is `depth`. With `stop_early` the scan ends once
// the wanted fields are read: `from` is then the first line of the earliest
// of them, and CATEGORIES is known to occur `more_categories` more than once.
EventText scan_text(std::string_view bytes, std::size_t from, int depth, unsigned which,
                    bool stop_early, bool more_categories) {
  EventText text;
  bool have_summary = false, have_description = false, have_categories = false;
  bool seen_categories = false;
  LineScanner lines(bytes, from, bytes.size(), 1);
  LogicalLine line;
  while (lines.next(line)) {
    const std::string_view name = line.name;
    if (iequals(name, "BEGIN")) {
      ++depth;
      continue;
    }
    if (iequals(name, "END")) {
      --depth;
      continue;
    }
    if (depth != 1) continue;
    const bool summary = (which & kSummary) && !have_summary && iequals(name, "SUMMARY");
    const bool description = (which & kDescription) && !have_description && iequals(name, "DESCRIPTION");
    const bool categories = (which & kCategories) && iequals(name, "CATEGORIES");
    if (!summary && !description && !categories) continue;
    if (categories) seen_categories = true;
    if (const auto p = parse_property(line.text)) {
      if (summary) {
        text.summary = unescape_text(p->value);
        have_summary = true;
      } else if (description) {
        text.description = unescape_text(p->value);
        have_description = true;
      } else {
        for (const std::string& value : split_text_list(p->value)) {
          if (have_categories) text.categories.push_back(',');
          append_category(text.categories, value);
          have_categories = true;
        }
      }
    }
    if (stop_early && (!(which & kSummary) || have_summary) &&
        (!(which & kDescription) || have_description) &&
        (!(which & kCategories) || (seen_categories && !more_categories))) {
      break;
    }
  }
  return text;
}

}  // namespace

TimeForm time_form_of(const Property& p, const TimeZones& zones) { return time_form_of(p, p.value, zones); }

TimeForm time_form_of(const Property& p, std::string_view value, const TimeZones& zones) {
  TimeForm form;
  const auto value_type = find_param(p, "VALUE");
  if ((value_type && iequals(*value_type, "DATE")) || value.size() == 8) {
    form.kind = TimeForm::Kind::Date;
  } else if (!value.empty() && (value.back() == 'Z' || value.back() == 'z')) {
    form.kind = TimeForm::Kind::Utc;
  } else if (const auto tzid = find_param(p, "TZID")) {
    form.kind = TimeForm::Kind::Zoned;
    form.tzid = std::string(*tzid);
    form.zone = zones.find(*tzid);
  }
  return form;
}

namespace {

// One pass over the file. Streaming, each event is indexed as soon as it
// ends, with the VTIMEZONEs seen before it: writers put them first, and then
// no list of the events' line positions is kept (at a million events that
// list alone is a fifth of the file). A VTIMEZONE after an event ends a
// streaming pass with nullopt: the file is then read again with every event
// indexed at the end, once all its zones are known.
std::optional<ScanResult> scan_pass(std::string_view bytes, TimeZones& zones, bool streaming) {
  ScanResult result;
  CalendarScan scan;
  scan.eol = std::string(detect_eol(bytes));
  std::vector<Open> stack;
  std::vector<EventDraft> drafts;  // in file order; streaming, only the open event
  std::vector<std::pair<std::size_t, std::size_t>> timezones;
  if (streaming) {
    zones.begin_file();
    // Room for an event every 256 bytes (generated and exported calendars
    // run 400 to 2,000 bytes an event): growing the index would copy it and
    // fault its pages in twice; room never used costs address space only.
    scan.events.reserve(bytes.size() / 256 + 16);
  } else {
    drafts.reserve(bytes.size() / 256 + 16);
  }
  const auto fail = [&](ScanError error) {
    if (streaming) zones.drop_file();
    result.error = std::move(error);
    return result;
  };
  const auto finish = [&](const EventDraft& draft) {
    ScanError error;
    if (!finish_event(bytes, draft, zones, scan.events.emplace_back(), &error)) {
      scan.events.pop_back();
      scan.skipped.push_back({draft.begin, draft.end, std::move(error)});
    }
  };
  LineScanner lines(bytes, skip_bom(bytes), bytes.size(), 1);
  LogicalLine line;
  bool seen_calendar = false;
  bool seen_event = false;
  bool in_event = false;  // the innermost open component is a VEVENT
  while (lines.next(line)) {
    if (blank(line.text)) continue;
    const Known name = known_name(line.name);
    if (name == Known::Begin) {
      std::string component = component_of(line.text);
      if (component.empty()) return fail({line.line_number, "BEGIN without a component name"});
      if (stack.empty() && component != "VCALENDAR") {
        return fail({line.line_number, seen_calendar
                                           ? str_cat({"\"", shorten(line.text), "\" is outside the calendar"})
                                           : "not an iCalendar file (it does not start with BEGIN:VCALENDAR)"});
      }
      if (!stack.empty() && component == "VCALENDAR") {
        return fail({line.line_number, "a calendar inside a calendar"});
      }
      if (stack.size() == 1 && component == "VTIMEZONE") {
        // The same bytes as a zone indexed before are the same lines: the
        // block is passed over whole, unless what follows it would continue
        // its last line or be split into lines another way.
        const std::size_t after = line.begin + zones.known_block_at(bytes.substr(line.begin));
        const std::string_view block = bytes.substr(line.begin, after - line.begin);
        const std::string_view rest = bytes.substr(after);
        if (after > line.begin && block.find('\n') != std::string_view::npos &&
            (rest.empty() || (rest.front() != ' ' && rest.front() != '\t')) &&
            (rest.find('\n') != std::string_view::npos || rest.find('\r') == std::string_view::npos)) {
          timezones.emplace_back(line.begin, after);
          const auto physical = static_cast<int>(std::count(block.begin(), block.end(), '\n'));
          lines = LineScanner(bytes, after, bytes.size(), line.line_number + physical);
          continue;
        }
      }
      in_event = component == "VEVENT";
      if (in_event) {
        if (stack.back().name != "VCALENDAR") {
          return fail({line.line_number, str_cat({"VEVENT inside ", stack.back().name})});
        }
        // Only ever directly inside the calendar: the open event is the last one.
        EventDraft& draft = drafts.emplace_back();
        draft.begin = line.begin;
        draft.first_line = line.line_number;
        seen_event = true;
      }
      seen_calendar = true;
      stack.push_back({std::move(component), line.line_number, line.begin});
    } else if (name == Known::End) {
      const std::string component = component_of(line.text);
      if (stack.empty()) {
        return fail({line.line_number, str_cat({"END:", shorten(component), " without a BEGIN"})});
      }
      if (component != stack.back().name) {
        return fail({line.line_number, str_cat({"END:", shorten(component), " does not close BEGIN:",
                                                stack.back().name, " of line ",
                                                std::to_string(stack.back().line)})});
      }
      if (component == "VEVENT") {
        drafts.back().end = line.end;
        if (streaming) {
          finish(drafts.back());
          drafts.pop_back();
        }
      } else if (component == "VTIMEZONE" && stack.size() == 2) {
        if (!streaming) {
          timezones.emplace_back(stack.back().begin, line.end);
        } else if (seen_event) {
          zones.drop_file();
          return std::nullopt;
        } else {
          zones.add_vtimezone(bytes.substr(stack.back().begin, line.end - stack.back().begin));
        }
      } else if (component == "VCALENDAR") {
        scan.insert_at = line.begin;
      }
      stack.pop_back();
      in_event = !stack.empty() && stack.back().name == "VEVENT";
    } else if (stack.empty()) {
      return fail({line.line_number,
                   seen_calendar ? str_cat({"\"", shorten(line.text), "\" is outside the calendar"})
                                 : "not an iCalendar file (it does not start with BEGIN:VCALENDAR)"});
    } else if (in_event) {
      gather(name, line, drafts.back());
    }
  }
  if (!stack.empty()) {
    return fail({stack.back().line, str_cat({"BEGIN:", stack.back().name, " is never closed"})});
  }
  if (!streaming) {
    // Time zones may be defined after the events that use them.
    zones.begin_file();
    for (const auto& [begin, end] : timezones) zones.add_vtimezone(bytes.substr(begin, end - begin));
    // Room for the events later saves add, so that the first one does not copy
    // the whole index into a buffer twice its size.
    scan.events.reserve(drafts.size() + drafts.size() / 64 + 16);
    for (const EventDraft& draft : drafts) finish(draft);
  }
  zones.end_file();
  result.scan = std::move(scan);
  return result;
}

}  // namespace

ScanResult scan_calendar(std::string_view bytes, TimeZones& zones) {
  if (auto streamed = scan_pass(bytes, zones, true)) return std::move(*streamed);
  return std::move(*scan_pass(bytes, zones, false));
}

EventResult index_event(std::string_view bytes, std::size_t begin, std::size_t end, int first_line,
                        const TimeZones& zones) {
  EventResult result;
  EventDraft draft;
  draft.begin = begin;
  draft.end = end;
  draft.first_line = first_line;
  LineScanner lines(bytes, begin, end, first_line);
  LogicalLine line;
  int depth = 0;
  while (lines.next(line)) {
    const Known name = known_name(line.name);
    if (name == Known::Begin) {
      ++depth;
    } else if (name == Known::End) {
      --depth;
    } else if (depth == 1) {  // VALARM and friends have DESCRIPTIONs of their own
      gather(name, line, draft);
    }
  }
  IndexedEvent event;
  if (!finish_event(bytes, draft, zones, event, &result.error)) return result;
  result.event = std::move(event);
  return result;
}

EventText read_event_text(std::string_view event_bytes, const TextLines& at, unsigned which) {
  if (at.whole) {
    EventText text = scan_text(event_bytes, 0, 0, which, false, true);
    return text;
  }
  // Only the fields the event has; the earliest of them is where to start.
  std::size_t from = kNoLine;
  unsigned present = 0;
  auto want = [&](unsigned field, std::uint32_t line) {
    if ((which & field) && line != kNoLine && line < event_bytes.size()) {
      present |= field;
      from = std::min<std::size_t>(from, line);
    }
  };
  want(kSummary, at.summary);
  want(kDescription, at.description);
  want(kCategories, at.categories);
  if (present == 0) return {};
  return scan_text(event_bytes, from, 1, present, true, at.more_categories);
}

EventText read_event_text(std::string_view event_bytes) {
  return scan_text(event_bytes, 0, 0, kAllText, false, true);
}

}  // namespace platform::calendar::detail
