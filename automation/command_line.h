// The program's command line.
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

namespace tallyset {

struct CommandLine {
  std::optional<std::filesystem::path> calendar;
  int screen_width = 240;
  int screen_height = 320;
  std::optional<SYSTEMTIME> now;
  bool headless = false;
  std::optional<std::string> script;  // a path, or "-" for standard input
  std::optional<std::string> screenshot;
  int zoom = 1;
  bool help = false;     // --help, -h: the rest of the line is not read
  bool version = false;  // --version
};

// Every option and subcommand, for --help.
extern const char kUsageText[];
// The one usage line that follows a usage error.
extern const char kUsageLine[];
// An option's value: the next argument, unless there is none or it is itself
// an option ("--calendar --headless"); "-" alone is a value (standard input).
// On a usage error returns false and sets *error.
bool TakeValue(const std::vector<std::string>& args, size_t* i, std::string* out, std::string* error);

// Parses argv; on a usage error returns nullopt and sets *error to one line.
std::optional<CommandLine> ParseCommandLine(const std::vector<std::string>& args, std::string* error);
// --calendar, else $TALLYSET_CALENDAR, else $XDG_DATA_HOME/tallyset/calendar.ics (~/.local/share/...).
std::filesystem::path CalendarPath(const CommandLine& cl);
// Whether `text` is `shape` with each '9' of it an ASCII digit and every
// other character itself: "9999-99-99" is the shape of a date.
bool HasShape(std::string_view text, std::string_view shape);
// Whether `text` is one or more ASCII digits.
bool AllDigits(std::string_view text);
// "YYYY-MM-DD HH:MM" as a local time; nullopt when it is not a valid time.
std::optional<SYSTEMTIME> ParseDateTime(const std::string& text);
std::optional<SYSTEMTIME> ParseDate(const std::string& text);

}  // namespace tallyset
