// Runs Tallyset in-process under a script, exactly as `--script` does, and
// gives back what it printed and what the calendar file holds afterwards.
#pragma once

#include <gtest/gtest.h>

#include <fstream>
#include <functional>
#include <sstream>
#include <string>

#include "automation/command_line.h"
#include "platform/com/com_state.h"
#include "platform/hosts/headless_host.h"
#include "automation/script_runner.h"
#include "support/app_run.h"

namespace testing_support {

struct ScriptResult {
  int exit_code = 0;
  std::string printed;
  std::string calendar;
  std::string error;  // the script's own error, if any
};

struct ScriptSetup {
  ScriptSetup(std::string calendar_text, std::string script_text, std::string now_text = "2026-12-04 16:20",
              int w = 240, int h = 320, std::vector<FaultSetter> injected = {})
      : calendar(std::move(calendar_text)), script(std::move(script_text)), now(std::move(now_text)), width(w),
        height(h), faults(std::move(injected)) {}
  std::string calendar, script, now;
  int width, height;
  std::vector<FaultSetter> faults;
  // Another program's change to the calendar file, made just before the
  // script's line `meanwhile_line` runs.
  std::function<void(const std::filesystem::path&)> meanwhile;
  int meanwhile_line = 0;
};

inline ScriptResult RunScript(const ScriptSetup& setup) {
  ScriptResult result;
  PlatformOptions options = OptionsFor(setup.calendar, setup.width, setup.height);
  options.now = tallyset::ParseDateTime(setup.now);
  std::string problem;
  auto commands = tallyset::ParseScript(setup.script, &problem);
  if (!commands) {
    ADD_FAILURE() << problem;
    return result;
  }
  std::ostringstream out;
  {
    TestPlatform t(options);
    for (const FaultSetter& inject : setup.faults) inject(t.session.faults());
    tallyset::ScriptRunner runner(std::move(*commands), out);
    bool changed = false;
    platform::HeadlessHost host(
        [&](platform::Session& s) {
          if (setup.meanwhile && !changed && runner.pending_line() >= setup.meanwhile_line) {
            changed = true;
            setup.meanwhile(options.calendar);
          }
          return runner.step(s);
        },
        std::nullopt);
    t.session.set_host(&host);
    result.exit_code = RunTallyset(t);
    // Whatever the script did, every Outlook object fetched was released and
    // every string Outlook handed out was freed.
    EXPECT_EQ(platform::ComState::of(t.session).live_objects, 0) << "a Pocket Outlook object was never released";
    EXPECT_EQ(platform::ComState::of(t.session).live_strings, 0) << "an automation string was never freed";
    if (runner.error()) result.error = *runner.error();
  }
  result.printed = out.str();
  result.calendar = ReadWhole(options.calendar);
  return result;
}

// Runs a script that must end without an error.
inline ScriptResult RunOk(const ScriptSetup& setup) {
  ScriptResult r = RunScript(setup);
  EXPECT_EQ(r.exit_code, 0) << r.error;
  EXPECT_TRUE(r.error.empty()) << r.error;
  return r;
}

// The lines of what a script printed, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::stringstream ss(text);
  for (std::string line; std::getline(ss, line);) lines.push_back(line);
  return lines;
}

// What a script that must end without an error printed, as `count` lines;
// a line missing reads as "", so that the checks on it fail and not the run.
inline std::vector<std::string> PrintedLines(const ScriptSetup& setup, size_t count) {
  ScriptResult r = RunOk(setup);
  std::vector<std::string> lines = Lines(r.printed);
  EXPECT_EQ(lines.size(), count) << r.printed;
  lines.resize(count);
  return lines;
}

// A calendar with the settings appointment and the given events, each
// "START|MINUTES|SUMMARY|CATEGORIES" with START as YYYYMMDDTHHMMSS.
inline std::string Calendar(const std::string& settings_body, const std::vector<std::string>& events) {
  std::string text = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n";
  text += "BEGIN:VEVENT\r\nUID:settings@test\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20500101T090000\r\n"
          "DURATION:PT30M\r\nSUMMARY:Outlook Tallyset 3 Personal Settings\r\nDESCRIPTION:" +
          settings_body + "\r\nEND:VEVENT\r\n";
  int n = 0;
  for (const std::string& e : events) {
    std::vector<std::string> parts;
    std::stringstream ss(e);
    std::string part;
    while (std::getline(ss, part, '|')) parts.push_back(part);
    while (parts.size() < 4) parts.push_back("");
    text += "BEGIN:VEVENT\r\nUID:e" + std::to_string(++n) + "@test\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:" + parts[0] +
            "\r\nDURATION:PT" + parts[1] + "M\r\nSUMMARY:" + parts[2] + "\r\n";
    if (!parts[3].empty()) text += "CATEGORIES:" + parts[3] + "\r\n";
    text += "END:VEVENT\r\n";
  }
  return text + "END:VCALENDAR\r\n";
}

// The event with this summary as it stands in the file, "" when there is none.
inline std::string EventOf(const std::string& calendar, const std::string& summary) {
  size_t at = calendar.find("SUMMARY:" + summary + "\r\n");
  if (at == std::string::npos) return "";
  size_t begin = calendar.rfind("BEGIN:VEVENT", at);
  return calendar.substr(begin, calendar.find("END:VEVENT", at) - begin);
}

// The CATEGORIES value of the event with this summary, "" when it has none.
inline std::string CategoriesOf(const std::string& calendar, const std::string& summary) {
  const std::string event = EventOf(calendar, summary);
  if (event.empty()) return "<no such event>";
  size_t at = event.find("CATEGORIES:");
  return at == std::string::npos ? "" : event.substr(at + 11, event.find("\r\n", at) - at - 11);
}

// Six free header lines, then the field lines, as the settings body's text.
inline std::string SettingsBody(const std::vector<std::string>& fields) {
  std::string body = "H1\\nH2\\nH3\\nH4\\nH5\\nH6";
  for (const auto& f : fields) {
    body += "\\n";
    // Text values escape their semicolons and commas in the file.
    for (char c : f) {
      if (c == ';' || c == ',') body += '\\';
      body += c;
    }
  }
  return body;
}

}  // namespace testing_support
