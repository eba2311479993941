#include "automation/command_line.h"

#include <cstdlib>

#include "platform/core/clock.h"

namespace tallyset {

using namespace platform;

// Start-up reads these: a few compares, where building the std::regex
// objects cost 3% of a small calendar's whole start.
bool HasShape(std::string_view text, std::string_view shape) {
  if (text.size() != shape.size()) return false;
  for (size_t i = 0; i < text.size(); ++i) {
    const bool digit = text[i] >= '0' && text[i] <= '9';
    if (shape[i] == '9' ? !digit : text[i] != shape[i]) return false;
  }
  return true;
}

bool AllDigits(std::string_view text) {
  return !text.empty() && HasShape(text, std::string(text.size(), '9'));
}

std::optional<SYSTEMTIME> ParseDate(const std::string& text) {
  if (!HasShape(text, "9999-99-99")) return std::nullopt;
  int y = std::stoi(text.substr(0, 4)), mo = std::stoi(text.substr(5, 2)), d = std::stoi(text.substr(8, 2));
  if (!IsValidDate(y, mo, d)) return std::nullopt;
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(y);
  st.wMonth = static_cast<WORD>(mo);
  st.wDay = static_cast<WORD>(d);
  st.wDayOfWeek = static_cast<WORD>(DayOfWeek(y, mo, d));
  return st;
}

std::optional<SYSTEMTIME> ParseDateTime(const std::string& text) {
  if (!HasShape(text, "9999-99-99 99:99")) return std::nullopt;
  auto st = ParseDate(text.substr(0, 10));
  int h = std::stoi(text.substr(11, 2)), min = std::stoi(text.substr(14, 2));
  if (!st || h > 23 || min > 59) return std::nullopt;
  st->wHour = static_cast<WORD>(h);
  st->wMinute = static_cast<WORD>(min);
  return st;
}

const char kUsageLine[] =
    "usage: tallyset [--calendar PATH] [--screen WxH] [--now \"YYYY-MM-DD HH:MM\"] [--headless] [--script FILE|-] "
    "[--screenshot FILE] [--zoom N]\n"
    "       tallyset init|report [OPTIONS]; tallyset --help for more";

const char kUsageText[] =
    "usage: tallyset [--calendar PATH] [--screen WxH] [--now \"YYYY-MM-DD HH:MM\"]\n"
    "                [--headless] [--script FILE|-] [--screenshot FILE] [--zoom N]\n"
    "       tallyset init [--calendar PATH] [--field \"LABEL:CHOICE;CHOICE;\"]...\n"
    "       tallyset report [--calendar PATH] [--from YYYY-MM-DD] [--to YYYY-MM-DD] [--by LABEL[,LABEL]...]\n"
    "                       [--format table|csv|json] [--chart FILE.png|FILE.svg] [--now \"YYYY-MM-DD HH:MM\"]\n"
    "       tallyset --help | --version\n"
    "\n"
    "Turns the appointments of an iCalendar calendar into a time card.\n"
    "\n"
    "Options:\n"
    "  --calendar PATH     the calendar: an iCalendar file (default $TALLYSET_CALENDAR,\n"
    "                      else $XDG_DATA_HOME/tallyset/calendar.ics)\n"
    "  --screen WxH        the device screen in pixels (default 240x320; 480x640 is high resolution)\n"
    "  --now \"YYYY-MM-DD HH:MM\"  the local time the clock starts from (default: now)\n"
    "  --headless          no window; the screen is kept in memory\n"
    "  --script FILE|-     run the script (- reads standard input), then close; always headless\n"
    "  --screenshot FILE   write the screen as PNG once start-up (and the script) is done\n"
    "  --zoom N            show each screen pixel as NxN pixels in the window (1 to 8)\n"
    "  -h, --help          show this text\n"
    "  --version           show the version\n"
    "\n"
    "Subcommands:\n"
    "  init                add a settings appointment (the time card's fields) to the calendar,\n"
    "                      creating the calendar file if needed; --field adds one field line each,\n"
    "                      otherwise an example is written\n"
    "  report              minutes per field value over a range of days, as a table, CSV or JSON,\n"
    "                      optionally with a bar chart\n"
    "\n"
    "Script commands (one a line): tap X Y, key KEYS, focus WHAT, softkey left|right, menu \"TEXT\",\n"
    "select ROW, choose FIELD \"TEXT\", date from|to DATE, closeup from|to, editor ok|cancel|delete ...,\n"
    "resize W H, print list|fields|save|pickers|focus|notification, screenshot FILE, sleep MS, wait front MS.\n"
    "\n"
    "Exit status: 0 done, 1 (init, report) the calendar's settings stop the command, 2 usage or script error.\n"
    "The settings format is described in the README, section \"Your fields\".\n";

bool TakeValue(const std::vector<std::string>& args, size_t* i, std::string* out, std::string* error) {
  const std::string& option = args[*i];
  if (*i + 1 >= args.size()) {
    *error = option + " needs a value";
    return false;
  }
  const std::string& next = args[*i + 1];
  if (next.size() > 1 && next[0] == '-') {
    *error = option + " needs a value, not the option '" + next + "' (write ./" + next + " for a file of that name)";
    return false;
  }
  *out = next;
  ++*i;
  return true;
}

std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string* error) {
  CommandLine cl;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& a = args[i];
    auto value = [&](std::string* out) { return TakeValue(args, &i, out, error); };
    std::string v;
    if (a == "--help" || a == "-h") {
      cl.help = true;
      return cl;
    } else if (a == "--version") {
      cl.version = true;
      return cl;
    } else if (a == "--headless") {
      cl.headless = true;
    } else if (a == "--calendar") {
      if (!value(&v)) return std::nullopt;
      cl.calendar = v;
    } else if (a == "--screen") {
      if (!value(&v)) return std::nullopt;
      const size_t x = v.find('x');
      const auto side = [&v](size_t from, size_t count) {
        return count >= 2 && count <= 4 && AllDigits(std::string_view(v).substr(from, count));
      };
      if (x == std::string::npos || !side(0, x) || !side(x + 1, v.size() - x - 1)) {
        *error = "--screen wants WIDTHxHEIGHT, such as 240x320, not '" + v + "'";
        return std::nullopt;
      }
      cl.screen_width = std::stoi(v.substr(0, x));
      cl.screen_height = std::stoi(v.substr(x + 1));
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
      if (v.size() != 1 || v[0] < '1' || v[0] > '8') {
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
