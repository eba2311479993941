// `tallyset report`.
//
//   1. The command line: options, the date range, the output format.
//   2. Adding up: the settings, the grouping fields, one pass over the range.
//   3. Writing: table, CSV, JSON.
//   4. RunReport: the steps in order, each failure with its exit code.
#include "automation/report.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <map>
#include <optional>
#include <ostream>

#include "automation/command_line.h"
#include "outlook/field_settings.h"
#include "platform/base/civil_date.h"
#include "platform/base/short_date.h"
#include "platform/base/utf.h"
#include "platform/calendar/calendar_store.h"
#include "platform/core/clock.h"

namespace tallyset {

namespace {

using platform::calendar::CalendarStore;
using platform::calendar::Oid;

constexpr int kDone = 0;
constexpr int kNoSettings = 1;
constexpr int kUsage = 2;

constexpr const char* kReportUsage =
    "usage: tallyset report [--calendar PATH] [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--by LABEL[,LABEL]...]\n"
    "                       [--format table|csv|json] [--chart FILE.png|FILE.svg] [--now \"YYYY-MM-DD HH:MM\"]";

// ---- 1. The command line ------------------------------------------------

struct ReportOptions {
  CommandLine program;  // --calendar and --now, read as the program reads them
  std::optional<SYSTEMTIME> from, to;
  std::vector<std::string> by;
  bool by_given = false;
  ReportFormat format = ReportFormat::Table;
  std::optional<std::filesystem::path> chart;
  ChartFormat chart_format = ChartFormat::Png;
  bool help = false;
};

bool EndsWith(std::string text, const std::string& suffix) {
  std::transform(text.begin(), text.end(), text.begin(), [](unsigned char c) { return std::tolower(c); });
  return text.size() >= suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(), suffix) == 0;
}

std::optional<ReportOptions> ParseReportOptions(const std::vector<std::string>& args, std::string* error) {
  ReportOptions options;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    // A value that is another option is a forgotten value, as for the program's own options.
    auto value = [&](std::string* out) { return TakeValue(args, &i, out, error); };
    std::string v;
    if (a == "--help" || a == "-h") {
      options.help = true;
    } else if (a == "--calendar") {
      if (!value(&v)) return std::nullopt;
      options.program.calendar = v;
    } else if (a == "--now") {
      if (!value(&v)) return std::nullopt;
      options.program.now = ParseDateTime(v);
      if (!options.program.now) {
        *error = "--now wants \"YYYY-MM-DD HH:MM\", not '" + v + "'";
        return std::nullopt;
      }
    } else if (a == "--from" || a == "--to") {
      if (!value(&v)) return std::nullopt;
      auto date = ParseDate(v);
      if (!date) {
        *error = a + " wants a date YYYY-MM-DD, not '" + v + "'";
        return std::nullopt;
      }
      (a == "--from" ? options.from : options.to) = date;
    } else if (a == "--by") {
      if (!value(&v)) return std::nullopt;
      options.by_given = true;
      for (size_t start = 0;;) {
        size_t comma = v.find(',', start);
        options.by.push_back(v.substr(start, comma == std::string::npos ? std::string::npos : comma - start));
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else if (a == "--format") {
      if (!value(&v)) return std::nullopt;
      if (v == "table") {
        options.format = ReportFormat::Table;
      } else if (v == "csv") {
        options.format = ReportFormat::Csv;
      } else if (v == "json") {
        options.format = ReportFormat::Json;
      } else {
        *error = "--format wants table, csv or json, not '" + v + "'";
        return std::nullopt;
      }
    } else if (a == "--chart") {
      if (!value(&v)) return std::nullopt;
      if (EndsWith(v, ".svg")) {
        options.chart_format = ChartFormat::Svg;
      } else if (!EndsWith(v, ".png")) {
        *error = "--chart wants a file name ending in .png or .svg, not '" + v + "'";
        return std::nullopt;
      }
      options.chart = v;
    } else {
      *error = "unknown option '" + a + "'";
      return std::nullopt;
    }
  }
  return options;
}

struct Day {
  int year = 0, month = 0, day = 0;
};

std::int64_t DayNumber(const Day& d) { return platform::days_from_civil(d.year, d.month, d.day); }

Day FromDayNumber(std::int64_t n) {
  // Never before the first day a date can name.
  n = std::max(n, platform::days_from_civil(1, 1, 1));
  platform::CivilDay c = platform::civil_from_days(n);
  return {c.year, c.month, c.day};
}

Day DayOf(const SYSTEMTIME& st) { return {st.wYear, st.wMonth, st.wDay}; }

std::string IsoDate(const Day& d) {
  char text[16];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d", d.year, d.month, d.day);
  return text;
}

// ---- 2. Adding up -------------------------------------------------------

struct Grouping {
  std::vector<size_t> fields;  // indexes into the settings' fields, in `--by` order
  std::vector<std::string> labels;
};

// The default is every field in settings order; a label names the first
// field that carries it.
std::optional<Grouping> ResolveGrouping(const std::vector<FieldSetting>& fields, const ReportOptions& options,
                                        std::string* error) {
  std::vector<std::string> names;
  for (const FieldSetting& field : fields) names.push_back(platform::ToUtf8(FieldName(field)));
  Grouping grouping;
  if (!options.by_given) {
    for (size_t i = 0; i < fields.size(); ++i) grouping.fields.push_back(i);
    grouping.labels = names;
    return grouping;
  }
  for (const std::string& label : options.by) {
    auto found = std::find(names.begin(), names.end(), label);
    if (found == names.end()) {
      *error = "--by: no field is labelled '" + label + "'; the fields are ";
      if (names.empty()) *error += "none (the settings define no field)";
      for (size_t i = 0; i < names.size(); ++i) *error += (i ? ", '" : "'") + names[i] + "'";
      return std::nullopt;
    }
    if (std::find(grouping.labels.begin(), grouping.labels.end(), label) != grouping.labels.end()) {
      *error = "--by names the field '" + label + "' twice";
      return std::nullopt;
    }
    grouping.fields.push_back(static_cast<size_t>(found - names.begin()));
    grouping.labels.push_back(label);
  }
  return grouping;
}

// Every appointment that starts from 00:00 of the first day to 23:59 of the
// last is counted whole (the store compares starts in whole minutes, as the
// list's own restriction does); each occurrence the store yields is one.
std::optional<Report> AddUp(const CalendarStore& store, Oid settings, const std::vector<FieldSetting>& fields,
                            const Grouping& grouping, const Day& from, const Day& to) {
  Report report;
  report.from = IsoDate(from);
  report.to = IsoDate(to);
  report.by = grouping.labels;
  const std::u16string restriction = u"[Start] >= \"" + platform::FormatShortDate(from.year, from.month, from.day) +
                                     u" 00:00\" AND [Start] <= \"" +
                                     platform::FormatShortDate(to.year, to.month, to.day) + u" 23:59\"";
  auto oids = store.find(restriction);
  if (!oids) return std::nullopt;

  // Keyed by the values' text: an empty choice and no value both read "".
  std::map<std::vector<WideString>, ReportTally> tallies;
  std::vector<WideString> key(grouping.fields.size());
  for (Oid oid : *oids) {
    if (oid == settings) continue;
    auto item = store.get(oid);
    if (!item) continue;
    if (item->all_day) {
      ++report.all_day;
      continue;
    }
    const long long minutes = item->duration_minutes;
    const std::vector<size_t> found = MatchFieldValues(item->categories, fields);
    if (std::find(found.begin(), found.end(), kNoChoice) != found.end()) {
      report.incomplete.minutes += minutes;
      ++report.incomplete.appointments;
    }
    for (size_t g = 0; g < grouping.fields.size(); ++g) {
      const size_t f = grouping.fields[g];
      key[g] = found[f] == kNoChoice ? WideString() : fields[f].choices[found[f]];
    }
    ReportTally& tally = tallies[key];
    tally.minutes += minutes;
    ++tally.appointments;
    report.total.minutes += minutes;
    ++report.total.appointments;
  }

  for (const auto& [values, tally] : tallies) {
    ReportRow row;
    for (const WideString& value : values) row.values.push_back(platform::ToUtf8(value));
    row.tally = tally;
    report.rows.push_back(std::move(row));
  }
  std::sort(report.rows.begin(), report.rows.end(), [](const ReportRow& a, const ReportRow& b) {
    if (a.tally.minutes != b.tally.minutes) return a.tally.minutes > b.tally.minutes;
    return a.values < b.values;
  });
  return report;
}

// ---- 3. Writing ---------------------------------------------------------

std::string CsvField(const std::string& text) {
  if (text.find_first_of(",\"\r\n") == std::string::npos) return text;
  std::string quoted = "\"";
  for (char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + "\"";
}

void WriteCsv(const Report& report, std::ostream& out) {
  for (const std::string& label : report.by) out << CsvField(label) << ',';
  out << "minutes,hours,appointments\r\n";
  for (const ReportRow& row : report.rows) {
    for (const std::string& value : row.values) out << CsvField(value) << ',';
    out << row.tally.minutes << ',' << FormatHours(row.tally.minutes) << ',' << row.tally.appointments << "\r\n";
  }
}

std::string JsonString(const std::string& text) {
  std::string json = "\"";
  for (char c : text) {
    const unsigned char u = static_cast<unsigned char>(c);
    if (c == '"' || c == '\\') {
      json += '\\';
      json += c;
    } else if (u < 0x20) {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", u);
      json += escape;
    } else {
      json += c;
    }
  }
  return json + "\"";
}

std::string JsonTally(const ReportTally& tally) {
  return "{\"minutes\": " + std::to_string(tally.minutes) + ", \"appointments\": " +
         std::to_string(tally.appointments) + "}";
}

void WriteJson(const Report& report, std::ostream& out) {
  out << "{\"from\": " << JsonString(report.from) << ", \"to\": " << JsonString(report.to) << ", \"by\": [";
  for (size_t i = 0; i < report.by.size(); ++i) out << (i ? ", " : "") << JsonString(report.by[i]);
  out << "],\n \"rows\": [";
  for (size_t r = 0; r < report.rows.size(); ++r) {
    const ReportRow& row = report.rows[r];
    out << (r ? ",\n  " : "\n  ") << "{\"values\": {";
    for (size_t i = 0; i < row.values.size(); ++i)
      out << (i ? ", " : "") << JsonString(report.by[i]) << ": " << JsonString(row.values[i]);
    out << "}, \"minutes\": " << row.tally.minutes << ", \"appointments\": " << row.tally.appointments << "}";
  }
  out << "],\n \"total\": " << JsonTally(report.total) << ",\n \"incomplete\": " << JsonTally(report.incomplete)
      << ",\n \"all_day\": " << report.all_day << "}\n";
}

// Columns are as wide as their widest text in characters (UTF-8 lead bytes).
size_t TextWidth(const std::string& text) {
  return static_cast<size_t>(std::count_if(text.begin(), text.end(), [](char c) { return (c & 0xC0) != 0x80; }));
}

void WriteTable(const Report& report, std::ostream& out) {
  // A leading name column when no field groups, so the total lines have a place for their name.
  const bool named = !report.by.empty();
  const size_t values = named ? report.by.size() : 1;
  std::vector<std::vector<std::string>> lines;
  std::vector<std::string> header = named ? report.by : std::vector<std::string>{""};
  for (const char* title : {"hours", "minutes", "appointments"}) header.push_back(title);
  lines.push_back(header);
  auto numbers = [](std::vector<std::string> cells, const ReportTally& tally) {
    cells.push_back(FormatHours(tally.minutes));
    cells.push_back(std::to_string(tally.minutes));
    cells.push_back(std::to_string(tally.appointments));
    return cells;
  };
  for (const ReportRow& row : report.rows) {
    std::vector<std::string> cells;
    for (const std::string& value : row.values) cells.push_back(value.empty() ? "-" : value);
    if (!named) cells.push_back("all");
    lines.push_back(numbers(cells, row.tally));
  }
  std::vector<std::string> total(values, ""), incomplete(values, "");
  total[0] = "Total";
  incomplete[0] = "Incomplete";
  const size_t rule = lines.size();
  lines.push_back(numbers(total, report.total));
  lines.push_back(numbers(incomplete, report.incomplete));

  std::vector<size_t> widths(header.size(), 0);
  for (const auto& cells : lines)
    for (size_t c = 0; c < cells.size(); ++c) widths[c] = std::max(widths[c], TextWidth(cells[c]));
  size_t line_width = 0;
  for (size_t w : widths) line_width += w + 2;

  out << "Time card " << report.from << " to " << report.to << "\n\n";
  for (size_t l = 0; l < lines.size(); ++l) {
    if (l == rule) out << std::string(line_width - 2, '-') << '\n';
    std::string text;
    for (size_t c = 0; c < lines[l].size(); ++c) {
      const std::string pad(widths[c] - TextWidth(lines[l][c]), ' ');
      // Values to the left, numbers to the right.
      text += c < values ? lines[l][c] + pad : pad + lines[l][c];
      if (c + 1 < lines[l].size()) text += "  ";
    }
    while (!text.empty() && text.back() == ' ') text.pop_back();
    out << text << '\n';
  }
  out << "\nAll-day appointments (no hours counted): " << report.all_day << '\n';
}

}  // namespace

// Integer arithmetic, so that no minute count ever rounds the other way.
std::string FormatHours(long long minutes) {
  const long long hundredths = (minutes * 100 + 30) / 60;
  char text[32];
  std::snprintf(text, sizeof text, "%lld.%02lld", hundredths / 100, hundredths % 100);
  return text;
}

void WriteReport(const Report& report, ReportFormat format, std::ostream& out) {
  switch (format) {
    case ReportFormat::Table: WriteTable(report, out); break;
    case ReportFormat::Csv: WriteCsv(report, out); break;
    case ReportFormat::Json: WriteJson(report, out); break;
  }
}

// ---- 4. RunReport -------------------------------------------------------

int RunReport(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
  std::string error;
  auto options = ParseReportOptions(args, &error);
  if (!options) {
    err << "tallyset report: " << error << '\n' << kReportUsage << '\n';
    return kUsage;
  }
  if (options->help) {
    out << kReportUsage << '\n';
    return kDone;
  }

  // The range: the screen's, seven days back from today, unless given.
  const Day today = DayOf(platform::Clock(options->program.now).local_now());
  const Day to = options->to ? DayOf(*options->to) : today;
  const Day from = options->from ? DayOf(*options->from) : FromDayNumber(DayNumber(to) - 7);
  if (DayNumber(to) < DayNumber(from)) {
    err << "tallyset report: the range ends (" << IsoDate(to) << ") before it starts (" << IsoDate(from) << ")\n";
    return kUsage;
  }

  const std::filesystem::path calendar = CalendarPath(options->program);
  auto store = CalendarStore::open(calendar, &error);
  if (!store) {
    err << "tallyset report: " << error << '\n';
    return kUsage;
  }
  auto settings = store->find(kSettingsRestriction);
  if (!settings || settings->empty()) {
    std::error_code ec;
    const bool exists = std::filesystem::exists(calendar, ec);
    err << "tallyset report: " << calendar.string() << (exists ? " has no settings appointment" : " does not exist")
        << ", so there are no fields to add up.\n"
        << "Add the settings with `tallyset init --calendar " << calendar.string()
        << " --field \"Customer:North;South;\"`, or add an appointment with the subject "
           "\"Outlook Tallyset 3 Personal Settings\" whose body has six lines of free text and then one line "
           "per field, such as \"Customer:North;South;\".\n";
    return kNoSettings;
  }
  const Oid settings_oid = settings->front();
  auto settings_item = store->get(settings_oid);
  const std::vector<FieldSetting> fields = ParseFieldSettings(settings_item ? settings_item->body : WideString());

  auto grouping = ResolveGrouping(fields, *options, &error);
  if (!grouping) {
    err << "tallyset report: " << error << '\n';
    return kUsage;
  }
  auto report = AddUp(*store, settings_oid, fields, *grouping, from, to);
  if (!report) {
    err << "tallyset report: the calendar cannot be searched from " << IsoDate(from) << " to " << IsoDate(to)
        << '\n';
    return kUsage;
  }
  WriteReport(*report, options->format, out);
  out.flush();
  if (options->chart && !DrawReportChart(*report, *options->chart, options->chart_format, &error)) {
    err << "tallyset report: " << error << '\n';
    return kUsage;
  }
  return kDone;
}

}  // namespace tallyset
