#include "local_zone.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <map>
#include <mutex>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

#include "atomic_file.h"
#include "ical_handles.h"
#include "ical_time.h"
#include "platform/base/civil_date.h"

namespace platform::calendar::detail {

namespace {

namespace fs = std::filesystem;

// ------------------------------------------------------------------ POSIX rules

// "Mm.w.d/time": day d (0 = Sunday) of week w (5 = the last) of month m, at
// `seconds` of local time.
struct ChangeDay {
  int month = 0, week = 0, weekday = 0;
  int seconds = 2 * 3600;
};

struct PosixRule {
  std::string standard_name, summer_name;
  int standard_offset = 0;  // seconds east of UTC
  int summer_offset = 0;
  bool summer = false;
  ChangeDay summer_starts, summer_ends;
};

class RuleReader {
 public:
  explicit RuleReader(std::string_view text) : text_(text) {}

  std::optional<PosixRule> read() {
    PosixRule rule;
    int west = 0;
    if (!name(&rule.standard_name) || !clock_time(&west, 24)) return std::nullopt;
    rule.standard_offset = -west;
    if (done()) return rule;
    rule.summer = true;
    if (!name(&rule.summer_name)) return std::nullopt;
    rule.summer_offset = rule.standard_offset + 3600;
    if (!done() && peek() != ',') {
      if (!clock_time(&west, 24)) return std::nullopt;
      rule.summer_offset = -west;
    }
    // Without the days the C library takes them from a file of its own:
    // not read here.
    if (!take(',') || !change_day(&rule.summer_starts) || !take(',') || !change_day(&rule.summer_ends)) {
      return std::nullopt;
    }
    if (!done()) return std::nullopt;
    return rule;
  }

 private:
  bool done() const { return at_ == text_.size(); }
  char peek() const { return done() ? '\0' : text_[at_]; }
  bool take(char c) {
    if (peek() != c) return false;
    ++at_;
    return true;
  }
  static bool alpha(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
  static bool digit(char c) { return c >= '0' && c <= '9'; }

  // "CET", or "<+03>" quoted.
  bool name(std::string* out) {
    const std::size_t from = at_;
    if (take('<')) {
      while (!done() && (alpha(peek()) || digit(peek()) || peek() == '+' || peek() == '-')) ++at_;
      *out = std::string(text_.substr(from + 1, at_ - from - 1));
      return take('>') && out->size() >= 3;
    }
    while (!done() && alpha(peek())) ++at_;
    *out = std::string(text_.substr(from, at_ - from));
    return out->size() >= 3;
  }

  bool number(int* out, int digits_at_most) {
    int value = 0, digits = 0;
    for (; digits < digits_at_most && digit(peek()); ++digits) value = value * 10 + (text_[at_++] - '0');
    *out = value;
    return digits > 0;
  }

  // [+|-]hh[:mm[:ss]] in seconds, hours at most `hours`.
  bool clock_time(int* seconds, int hours) {
    const bool negative = take('-');
    if (!negative) take('+');
    int h = 0, m = 0, s = 0;
    if (!number(&h, 2) || h > hours) return false;
    if (take(':') && (!number(&m, 2) || m > 59 || (take(':') && (!number(&s, 2) || s > 59)))) return false;
    *seconds = (negative ? -1 : 1) * (h * 3600 + m * 60 + s);
    return true;
  }

  // Only the "M" form: the Julian day forms ("Jn", "n") name days a yearly
  // iCalendar rule cannot.
  bool change_day(ChangeDay* day) {
    if (!take('M') || !number(&day->month, 2) || !take('.') || !number(&day->week, 1) || !take('.') ||
        !number(&day->weekday, 1)) {
      return false;
    }
    if (day->month < 1 || day->month > 12 || day->week < 1 || day->week > 5 || day->weekday > 6) return false;
    // A change at 24:00 or later, or before midnight, falls on another day
    // than the rule names.
    return !take('/') || (clock_time(&day->seconds, 23) && day->seconds >= 0);
  }

  std::string_view text_;
  std::size_t at_ = 0;
};

std::string utc_offset(int seconds) {
  const char sign = seconds < 0 ? '-' : '+';
  if (seconds < 0) seconds = -seconds;
  char text[16];
  if (seconds % 60 != 0) {
    std::snprintf(text, sizeof text, "%c%02d%02d%02d", sign, seconds / 3600, seconds / 60 % 60, seconds % 60);
  } else {
    std::snprintf(text, sizeof text, "%c%02d%02d", sign, seconds / 3600, seconds / 60 % 60);
  }
  return text;
}

// The observance the change day opens, from its day in 1970 on.
std::string observance(const char* kind, const ChangeDay& day, int from, int to, const std::string& name) {
  static constexpr const char* kDays[] = {"SU", "MO", "TU", "WE", "TH", "FR", "SA"};
  const int first = platform::day_of_week(1970, day.month, 1);
  int date = 1 + (day.weekday - first + 7) % 7 + 7 * (day.week - 1);
  while (date > platform::days_in_month(1970, day.month)) date -= 7;
  char start[32];
  std::snprintf(start, sizeof start, "1970%02d%02dT%02d%02d%02d", day.month, date, day.seconds / 3600,
                day.seconds / 60 % 60, day.seconds % 60);
  const std::string nth = day.week == 5 ? "-1" : std::to_string(day.week);
  return std::string("BEGIN:") + kind + "\r\nDTSTART:" + start + "\r\nRRULE:FREQ=YEARLY;BYMONTH=" +
         std::to_string(day.month) + ";BYDAY=" + nth + kDays[day.weekday] + "\r\nTZOFFSETFROM:" + utc_offset(from) +
         "\r\nTZOFFSETTO:" + utc_offset(to) + "\r\nTZNAME:" + name + "\r\nEND:" + kind + "\r\n";
}

std::string vtimezone_of(const PosixRule& rule) {
  std::string text = "BEGIN:VTIMEZONE\r\nTZID:Local\r\n";
  if (rule.summer) {
    text += observance("DAYLIGHT", rule.summer_starts, rule.standard_offset, rule.summer_offset, rule.summer_name);
    text += observance("STANDARD", rule.summer_ends, rule.summer_offset, rule.standard_offset, rule.standard_name);
  } else {
    const std::string offset = utc_offset(rule.standard_offset);
    text += "BEGIN:STANDARD\r\nDTSTART:19700101T000000\r\nTZOFFSETFROM:" + offset + "\r\nTZOFFSETTO:" + offset +
            "\r\nTZNAME:" + rule.standard_name + "\r\nEND:STANDARD\r\n";
  }
  return text + "END:VTIMEZONE\r\n";
}

// The zones made from rules live as long as the process, as libical's own
// built-in zones do; one per rule text.
icaltimezone* zone_of(const PosixRule& rule, const std::string& key) {
  static std::mutex lock;
  static std::map<std::string, TimezonePtr> made;
  const std::lock_guard<std::mutex> guard(lock);
  if (auto it = made.find(key); it != made.end()) return it->second.get();
  ComponentPtr component(icalparser_parse_string(vtimezone_of(rule).c_str()));
  TimezonePtr zone(icaltimezone_new());
  if (!component || !zone || icaltimezone_set_component(zone.get(), component.get()) == 0) return nullptr;
  component.release();  // the zone owns it now
  return made.emplace(key, std::move(zone)).first->second.get();
}

icaltimezone* zone_of_rule(std::string_view text) {
  const std::optional<PosixRule> rule = RuleReader(text).read();
  return rule ? zone_of(*rule, std::string(text)) : nullptr;
}

// ------------------------------------------------------------------ named zones

icaltimezone* named_zone(const std::string& name) {
  if (names_utc(name)) return icaltimezone_get_utc_timezone();
  return name.empty() ? nullptr : icaltimezone_get_builtin_timezone(name.c_str());
}

// The zone folder's "posix/" and "right/" copies name the zone they copy.
std::string without_copy_folder(std::string name) {
  for (std::string_view copies : {"posix/", "right/"}) {
    if (name.rfind(copies, 0) == 0) name.erase(0, copies.size());
  }
  return name;
}

// "/usr/share/zoneinfo/Europe/Berlin" names Europe/Berlin.
std::optional<std::string> name_in_zone_folder(const std::string& path) {
  const std::size_t at = path.find("zoneinfo/");
  if (at == std::string::npos) return std::nullopt;
  return without_copy_folder(path.substr(at + 9));
}

// The zone a path names: its own place in a zone folder, else that of the
// first link on the way from it that leads into one.
std::optional<std::string> name_by_path(fs::path file) {
  for (int hop = 0; hop < 16; ++hop) {
    file = file.lexically_normal();
    if (auto name = name_in_zone_folder(file.string())) return name;
    std::error_code ec;
    const fs::path target = fs::read_symlink(file, ec);
    if (ec) return std::nullopt;
    file = target.is_relative() ? file.parent_path() / target : target;
  }
  return std::nullopt;
}

// The bytes of a plain file of at most a megabyte (a zone file is a few
// kilobytes); read_file opens nothing else, and never waits on a FIFO.
std::optional<std::string> read_small_file(const fs::path& file) {
  constexpr std::size_t kMost = 1 << 20;
  ReadResult read = read_file(file);
  if (read.error != 0 || read.bytes.size() > kMost) return std::nullopt;
  return std::move(read.bytes);
}

// The zone of the folder's list whose file holds the same bytes.
std::optional<std::string> name_by_content(const std::string& bytes, const fs::path& zoneinfo) {
  const std::string list = read_small_file(zoneinfo / "zone.tab").value_or("");
  std::vector<std::string> names{"Etc/UTC"};
  for (std::size_t at = 0, end; at < list.size(); at = end + 1) {
    end = std::min(list.find('\n', at), list.size());
    const std::string_view line = std::string_view(list).substr(at, end - at);
    if (line.empty() || line[0] == '#') continue;
    // country code, coordinates, zone name, comments: tab-separated
    const std::size_t a = line.find('\t');
    const std::size_t b = a == std::string_view::npos ? a : line.find('\t', a + 1);
    if (b == std::string_view::npos) continue;
    names.emplace_back(line.substr(b + 1, line.find('\t', b + 1) - b - 1));
  }
  for (const std::string& name : names) {
    std::error_code ec;
    if (fs::file_size(zoneinfo / name, ec) != bytes.size() || ec) continue;
    if (read_small_file(zoneinfo / name) == bytes) return name;
  }
  return std::nullopt;
}

// The rule at the end of a zone file of version 2 on ("TZif2"): the rule
// that holds after its last listed change.
std::optional<std::string> rule_of_zone_file(const std::string& bytes) {
  if (bytes.size() < 6 || bytes.compare(0, 4, "TZif") != 0 || bytes[4] < '2') return std::nullopt;
  if (bytes.back() != '\n') return std::nullopt;
  const std::size_t begin = bytes.rfind('\n', bytes.size() - 2);
  if (begin == std::string::npos) return std::nullopt;
  return bytes.substr(begin + 1, bytes.size() - begin - 2);
}

// A zone at the offset the C library gives local time now, all year.
LocalZone fixed_at_present_offset(const std::string& what) {
  ::tzset();  // TZ as it is now
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  ::localtime_r(&now, &local);
  PosixRule rule;
  rule.standard_name = "Local";
  rule.standard_offset = static_cast<int>(local.tm_gmtoff);
  icaltimezone* zone = zone_of(rule, "fixed " + std::to_string(rule.standard_offset));
  if (zone == nullptr) zone = icaltimezone_get_utc_timezone();
  return {zone, "Local",
          "the local time zone (" + what + ") is not one this program can read; local times are reckoned at " +
              "its present offset from UTC (" + utc_offset(rule.standard_offset) + ") all year"};
}

// What the C library does with a file it cannot read as a zone file.
LocalZone utc_instead(const std::string& what, const std::string& why) {
  return {icaltimezone_get_utc_timezone(), "UTC",
          "the local time zone (" + what + ") " + why + "; local times are UTC, as the C library takes them"};
}

LocalZone of_file(const fs::path& file, const LocalZoneSources& sources, const std::string& what) {
  if (auto name = name_by_path(file)) {
    if (icaltimezone* zone = named_zone(*name)) return {zone, *name, {}};
  }
  if (file == sources.localtime) {
    if (std::optional<std::string> line = read_small_file(sources.timezone_file)) {
      line->erase(std::min(line->find_first_of(" \t\r\n"), line->size()));
      if (icaltimezone* zone = named_zone(*line)) return {zone, *line, {}};
    }
  }
  std::error_code ec;
  if (!fs::exists(file, ec)) return {icaltimezone_get_utc_timezone(), "UTC", {}};  // as the C library does
  const std::optional<std::string> bytes = read_small_file(file);
  if (!bytes) return utc_instead(what, "cannot be read as a zone file");
  if (auto name = name_by_content(*bytes, sources.zoneinfo)) {
    if (icaltimezone* zone = named_zone(*name)) return {zone, *name, {}};
  }
  if (auto rule = rule_of_zone_file(*bytes)) {
    if (icaltimezone* zone = zone_of_rule(*rule)) return {zone, *rule, {}};
  }
  if (bytes->compare(0, 4, "TZif") != 0) return utc_instead(what, "is not a zone file");
  return fixed_at_present_offset(what);
}

}  // namespace

LocalZoneSources LocalZoneSources::of_process() {
  LocalZoneSources sources;
  if (const char* tz = std::getenv("TZ")) sources.tz = tz;
  if (const char* dir = std::getenv("TZDIR"); dir != nullptr && *dir != '\0') sources.zoneinfo = dir;
  return sources;
}

LocalZone resolve_local_zone(const LocalZoneSources& sources) {
  if (!sources.tz) return of_file(sources.localtime, sources, sources.localtime.string());
  std::string spec = *sources.tz;
  const std::string what = "TZ=\"" + spec + "\"";
  if (!spec.empty() && spec.front() == ':') spec.erase(0, 1);
  if (spec.empty()) return {icaltimezone_get_utc_timezone(), "UTC", {}};
  if (spec.front() == '/') return of_file(spec, sources, what);
  spec = without_copy_folder(spec);
  if (icaltimezone* zone = named_zone(spec)) return {zone, names_utc(spec) ? "UTC" : spec, {}};
  std::error_code ec;
  if (fs::is_regular_file(sources.zoneinfo / spec, ec)) return of_file(sources.zoneinfo / spec, sources, what);
  if (icaltimezone* zone = zone_of_rule(spec)) return {zone, spec, {}};
  return fixed_at_present_offset(what);
}

}  // namespace platform::calendar::detail
