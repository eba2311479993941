#include "automation/command_line.h"

#include <cstdlib>
#include <regex>

#include "platform/core/clock.h"

namespace tallyset {

using namespace platform;

std::optional<SYSTEMTIME> ParseDate(const std::string& text) {
  static const std::regex re(R"((\d{4})-(\d{2})-(\d{2}))");
  std::smatch m;
  if (!std::regex_match(text, m, re)) return std::nullopt;
  int y = std::stoi(m[1]), mo = std::stoi(m[2]), d = std::stoi(m[3]);
  if (!IsValidDate(y, mo, d)) return std::nullopt;
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(mo);
  st.wDay = static_cast<WORD>(d);
  st.wDayOfWeek = static_cast<WORD>(DayOfWeek(y, mo, d));
  return st;
}

std::optional<SYSTEMTIME> ParseDateTime(const std::string& text) {
  static const std::regex re(R"((\d{4}-\d{2}-\d{2}) (\d{2}):(\d{2}))");
  std::smatch m;
  if (!std::regex_match(text, m, re)) return std::nullopt;
  auto st = ParseDate(m[1]);
  int h = std::stoi(m[2]), min = std::stoi(m[3]);
  if (!st || h > 23 || min > 59) return std::nullopt;
  st->wHour = static_cast<WORD>(h);
  st->wMinute = static_cast<WORD>(min);
  return st;
}

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string* error) {
  CommandLine cl;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* out) {
      if (i + 1 >= args.size()) {
        *error = a + " needs a value";
        return false;
      }
      *out = args[++i];
      return true;
    };
    std::string v;
    if (a == "--headless") {
      cl.headless = true;
    } else if (a == "--calendar") {
      if (!value(&v)) return std::nullopt;
      cl.calendar = v;
    } else if (a == "--screen") {
      if (!value(&v)) return std::nullopt;
      static const std::regex re(R"((\d{2,4})x(\d{2,4}))");
      std::smatch m;
      if (!std::regex_match(v, m, re)) {
        *error = "--screen wants WIDTHxHEIGHT, such as 240x320, not '" + v + "'";
        return std::nullopt;
      }
      cl.screen_width = std::stoi(m[1]);
      cl.screen_height = std::stoi(m[2]);
      if (cl.screen_width < 120 || cl.screen_height < 160 || cl.screen_width > 2048 || cl.screen_height > 2048) {
        *error = "--screen " + v + " is outside 120x160 to 2048x2048";
        return std::nullopt;
      }
    } else if (a == "--now") {
      if (!value(&v)) return std::nullopt;
      cl.now = ParseDateTime(v);
      if (!cl.now) {
        *error = "--now wants \"YYYY-MM-DD HH:MM\", not '" + v + "'";
        return std::nullopt;
      }
    } else if (a == "--script") {
      if (!value(&v)) return std::nullopt;
      cl.script = v;
    } else if (a == "--screenshot") {
      if (!value(&v)) return std::nullopt;
      cl.screenshot = v;
    } else if (a == "--zoom") {
      if (!value(&v)) return std::nullopt;
      static const std::regex re(R"([1-8])");
      if (!std::regex_match(v, re)) {
        *error = "--zoom wants a whole number from 1 to 8, not '" + v + "'";
        return std::nullopt;
      }
      cl.zoom = std::stoi(v);
    } else {
      *error = "unknown option '" + a + "'";
      return std::nullopt;
    }
  }
  return cl;
}

std::filesystem::path CalendarPath(const CommandLine& cl) {
  if (cl.calendar) return *cl.calendar;
  if (const char* env = std::getenv("TALLYSET_CALENDAR"); env && *env) return env;
  if (const char* data = std::getenv("XDG_DATA_HOME"); data && *data)
    return std::filesystem::path(data) / "tallyset" / "calendar.ics";
  const char* home = std::getenv("HOME");
  return std::filesystem::path(home ? home : ".") / ".local" / "share" / "tallyset" / "calendar.ics";
}

}  // namespace tallyset
