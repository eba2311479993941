// Rewriting one VEVENT's lines for the fields the user changed.
#include "event_editor.h"

#include <charconv>

#include "wall_time.h"
#include "content_line.h"
#include "event_index.h"
#include "text_codec.h"
#include "platform/base/str_cat.h"

namespace platform::calendar::detail {

namespace {

// Keeps DURATION's seconds within libical's int.
constexpr std::int32_t kMaxDurationMinutes = 30'000'000;

std::string text_value(std::u16string_view s) { return escape_text(ToUtf8(s)); }

// Each value of the Categories string becomes one TEXT value of the list,
// so "A,B," stays three values and "Smith\, Jones" one.
std::string categories_value(std::u16string_view s) {
  std::string out;
  bool first = true;
  for (const std::string& value : split_categories(ToUtf8(s))) {
    if (!first) out.push_back(',');
    out += escape_text(value);
    first = false;
  }
  return out;
}

bool same_form(const TimeForm& a, const TimeForm& b) {
  return a.kind == b.kind && (a.kind != TimeForm::Kind::Zoned || a.tzid == b.tzid);
}

std::string quoted_if_needed(std::string_view v) {
  if (v.find_first_of(":;,") == std::string_view::npos) return std::string(v);
  return str_cat({"\"", v, "\""});
}

// Name and parameters for a date-time property written in `form`. Parameters
// other than VALUE and TZID are kept as written.
std::string time_head(const std::optional<Property>& old, std::string_view name,
                      const TimeForm& old_form, const TimeForm& form) {
  if (old && same_form(old_form, form)) return std::string(old->head);
  std::string head(old ? old->name : name);
  if (old) {
    for (const Param& p : old->params) {
      if (iequals(p.name, "VALUE") || iequals(p.name, "TZID")) continue;
      head += ';';
      head += p.name;
      head += '=';
      head += p.raw_value;
    }
  }
  if (form.kind == TimeForm::Kind::Date) head += ";VALUE=DATE";
  if (form.kind == TimeForm::Kind::Zoned) head += str_cat({";TZID=", quoted_if_needed(form.tzid)});
  return head;
}

std::string line(std::string_view head, std::string_view value, std::string_view eol) {
  std::string text(head);
  text.push_back(':');
  text.append(value);
  return fold_line(text, eol);
}

LocalDateTime end_of(const AppointmentFields& f) {
  return from_wall_seconds(wall_seconds(f.start) + std::int64_t{f.duration_minutes} * 60);
}

std::string time_value(const LocalDateTime& t, const TimeForm& form, const EditContext& ctx) {
  return format_date_time(from_local(t, form, *ctx.zones));
}

// DTEND for `f` (a night shift from 22:00 for eight hours ends at 07:00 on
// the night the clocks go forward).
std::string end_value(const AppointmentFields& f, const TimeForm& start_form, const TimeForm& end_form,
                      const EditContext& ctx) {
  const TimeZones& zones = *ctx.zones;
  const std::int64_t start = to_epoch_seconds(from_local(f.start, start_form, zones), start_form, zones);
  return format_date_time(written_end(f.start, start, f.duration_minutes, start_form, end_form, zones));
}

// What an event has before it is edited.
struct Existing {
  std::optional<Property> dtstart, dtend;
  std::string dtstart_text, dtend_text;  // the properties' views point here
  TimeForm dtstart_form, dtend_form;
  bool has_duration = false, has_summary = false, has_description = false,
       has_categories = false;
};

Existing survey(std::string_view event_bytes, const TimeZones& zones) {
  Existing e;
  LineScanner lines(event_bytes, 0, event_bytes.size(), 1);
  LogicalLine l;
  int depth = 0;
  while (lines.next(l)) {
    const std::string_view name = l.name;
    if (iequals(name, "BEGIN")) {
      ++depth;
    } else if (iequals(name, "END")) {
      --depth;
    } else if (depth == 1) {
      if (iequals(name, "DTSTART") && e.dtstart_text.empty()) {
        e.dtstart_text = l.text;
      } else if (iequals(name, "DTEND") && e.dtend_text.empty()) {
        e.dtend_text = l.text;
      } else if (iequals(name, "DURATION")) {
        e.has_duration = true;
      } else if (iequals(name, "SUMMARY")) {
        e.has_summary = true;
      } else if (iequals(name, "DESCRIPTION")) {
        e.has_description = true;
      } else if (iequals(name, "CATEGORIES")) {
        e.has_categories = true;
      }
    }
  }
  if (!e.dtstart_text.empty()) {
    e.dtstart = parse_property(e.dtstart_text);
    if (e.dtstart) e.dtstart_form = time_form_of(*e.dtstart, zones);
  }
  if (!e.dtend_text.empty()) {
    e.dtend = parse_property(e.dtend_text);
    if (e.dtend) e.dtend_form = time_form_of(*e.dtend, zones);
  }
  return e;
}

}  // namespace

ChangeSet diff_fields(const AppointmentFields& before, const AppointmentFields& after) {
  ChangeSet c;
  c.subject = before.subject != after.subject;
  c.body = before.body != after.body;
  c.categories = before.categories != after.categories;
  c.start = before.start != after.start || before.all_day != after.all_day;
  c.duration = before.duration_minutes != after.duration_minutes;
  return c;
}

std::optional<AppointmentFields> normalize_fields(const AppointmentFields& fields,
                                                  std::string* error) {
  AppointmentFields f = fields;
  const LocalDateTime& s = f.start;
  if (!is_valid_date(s.year, s.month, s.day) || !is_valid_time(s.hour, s.minute, s.second) ||
      s.second == 60) {
    *error = str_cat({"the start ", std::to_string(s.year), "-", std::to_string(s.month), "-",
                      std::to_string(s.day), " ", std::to_string(s.hour), ":",
                      std::to_string(s.minute), ":", std::to_string(s.second),
                      " is not a valid time"});
    return std::nullopt;
  }
  if (f.duration_minutes < 0 || f.duration_minutes > kMaxDurationMinutes) {
    *error = str_cat({"a duration of ", std::to_string(f.duration_minutes), " minutes is not possible"});
    return std::nullopt;
  }
  if (f.all_day) {
    f.start.hour = f.start.minute = f.start.second = 0;
    std::int32_t days = (f.duration_minutes + 1439) / 1440;
    f.duration_minutes = (days < 1 ? 1 : days) * 1440;
  }
  // DTEND has four digits of year: an end past the last day would be
  // written as a year the file cannot hold (or wrap around in a reader).
  const LocalDateTime end = end_of(f);
  if (end.year > 9999) {
    *error = str_cat({"an appointment of ", std::to_string(f.duration_minutes),
                      " minutes from that start would end after 9999-12-31"});
    return std::nullopt;
  }
  return f;
}

std::string rewrite_event(std::string_view event_bytes, const AppointmentFields& want,
                          const ChangeSet& changes, const EditContext& ctx) {
  const Existing e = survey(event_bytes, *ctx.zones);
  const bool timing = changes.start || changes.duration;

  TimeForm start_form = e.dtstart_form;
  if (want.all_day) {
    start_form = TimeForm{TimeForm::Kind::Date, {}, nullptr};
  } else if (start_form.kind == TimeForm::Kind::Date) {
    start_form = ctx.timed_form;
  }
  TimeForm end_form = e.dtend_form;
  if (want.all_day) {
    end_form = start_form;
  } else if (end_form.kind == TimeForm::Kind::Date || !e.dtend) {
    end_form = start_form;
  }
  const std::int32_t implied = want.all_day ? 1440 : 0;
  const bool add_dtend =
      timing && !e.dtend && !e.has_duration && want.duration_minutes != implied;
  const std::string stamp = format_utc_stamp(ctx.now_utc);

  std::string out;
  out.reserve(event_bytes.size() + 256);
  LineScanner lines(event_bytes, 0, event_bytes.size(), 1);
  LogicalLine l;
  int depth = 0;
  bool inserted = false, did_summary = false, did_description = false, did_categories = false,
       did_dtstart = false, did_dtend = false, did_duration = false;
  auto copy = [&] { out.append(event_bytes.substr(l.begin, l.end - l.begin)); };
  // New properties go after the event's own, before any VALARM.
  auto insert_missing = [&](std::string_view eol) {
    inserted = true;
    if (changes.subject && !e.has_summary && !want.subject.empty()) {
      out += line("SUMMARY", text_value(want.subject), eol);
    }
    if (changes.body && !e.has_description && !want.body.empty()) {
      out += line("DESCRIPTION", text_value(want.body), eol);
    }
    if (changes.categories && !e.has_categories && !want.categories.empty()) {
      out += line("CATEGORIES", categories_value(want.categories), eol);
    }
  };
  while (lines.next(l)) {
    const std::string_view name = l.name;
    const std::string_view eol = l.eol.empty() ? ctx.eol : l.eol;
    const bool begin = iequals(name, "BEGIN"), end = iequals(name, "END");
    if (begin || end) {
      if (depth == 1 && !inserted) insert_missing(eol);
      depth += begin ? 1 : -1;
      copy();
      continue;
    }
    if (depth != 1) {
      copy();
      continue;
    }
    std::optional<Property> p;
    auto head = [&]() -> std::string_view {
      p = parse_property(l.text);
      return p ? p->head : name;
    };
    if (changes.subject && !did_summary && iequals(name, "SUMMARY")) {
      did_summary = true;
      if (!want.subject.empty()) out += line(head(), text_value(want.subject), eol);
    } else if (changes.body && !did_description && iequals(name, "DESCRIPTION")) {
      did_description = true;
      if (!want.body.empty()) out += line(head(), text_value(want.body), eol);
    } else if (changes.categories && iequals(name, "CATEGORIES")) {
      // Several CATEGORIES lines become the one line that holds the new list.
      if (!did_categories && !want.categories.empty()) {
        out += line(head(), categories_value(want.categories), eol);
      }
      did_categories = true;
    } else if (iequals(name, "DTSTART") && !did_dtstart) {
      did_dtstart = true;
      if (changes.start) {
        out += line(time_head(e.dtstart, "DTSTART", e.dtstart_form, start_form),
                    time_value(want.start, start_form, ctx), eol);
      } else {
        copy();
      }
      if (add_dtend) {
        out += line(time_head(std::nullopt, "DTEND", start_form, start_form),
                    end_value(want, start_form, start_form, ctx), eol);
      }
    } else if (timing && !did_dtend && iequals(name, "DTEND")) {
      did_dtend = true;
      out += line(time_head(e.dtend, "DTEND", e.dtend_form, end_form), end_value(want, start_form, end_form, ctx),
                  eol);
    } else if (changes.duration && !did_duration && iequals(name, "DURATION")) {
      did_duration = true;
      out += line(head(), format_duration_minutes(want.duration_minutes), eol);
    } else if (iequals(name, "DTSTAMP") || iequals(name, "LAST-MODIFIED")) {
      out += line(head(), stamp, eol);
    } else if (timing && iequals(name, "SEQUENCE")) {
      const std::string_view h = head();
      long long sequence = 0;
      const std::string_view v = p ? p->value : std::string_view();
      const auto [ptr, ec] = std::from_chars(v.data(), v.data() + v.size(), sequence);
      if (p && ec == std::errc() && ptr == v.data() + v.size() && sequence >= 0 &&
          sequence < (1LL << 31) - 1) {
        out += line(h, std::to_string(sequence + 1), eol);
      } else {
        copy();
      }
    } else {
      copy();
    }
  }
  return out;
}

std::string build_event(const AppointmentFields& want, std::string_view uid,
                        const EditContext& ctx) {
  const TimeForm form = want.all_day ? TimeForm{TimeForm::Kind::Date, {}, nullptr} : ctx.timed_form;
  const std::string_view eol = ctx.eol;
  std::string out;
  out += line("BEGIN", "VEVENT", eol);
  out += line("UID", uid, eol);
  out += line("DTSTAMP", format_utc_stamp(ctx.now_utc), eol);
  out += line(time_head(std::nullopt, "DTSTART", form, form), time_value(want.start, form, ctx), eol);
  if (want.duration_minutes != (want.all_day ? 1440 : 0)) {
    out += line(time_head(std::nullopt, "DTEND", form, form), end_value(want, form, form, ctx), eol);
  }
  if (!want.subject.empty()) out += line("SUMMARY", text_value(want.subject), eol);
  if (!want.body.empty()) out += line("DESCRIPTION", text_value(want.body), eol);
  if (!want.categories.empty()) out += line("CATEGORIES", categories_value(want.categories), eol);
  out += line("END", "VEVENT", eol);
  return out;
}

}  // namespace platform::calendar::detail
