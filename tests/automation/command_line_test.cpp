// The command line's option values: what each takes and what it refuses.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "automation/command_line.h"

namespace {

// `error` empty: the line is taken, with the screen, zoom and clock given;
// otherwise the usage error must mention it.
struct OptionCase {
  std::vector<std::string> args;
  std::string error;
  int width = 240, height = 320, zoom = 1, hour = -1;
};

TEST(CommandLine, OptionValuesHaveTheirShapeAndRange) {
  const OptionCase cases[] = {
      {{"--screen", "480x640"}, "", 480, 640},
      {{"--screen", "2048x160"}, "", 2048, 160},
      {{"--screen", "120x2049"}, "outside"},
      {{"--screen", "119x320"}, "outside"},
      {{"--screen", "240x32000"}, "WIDTHxHEIGHT"},
      {{"--screen", "2x320"}, "WIDTHxHEIGHT"},
      {{"--screen", "240X320"}, "WIDTHxHEIGHT"},
      {{"--screen", "240x"}, "WIDTHxHEIGHT"},
      {{"--screen", "240x32a"}, "WIDTHxHEIGHT"},
      {{"--zoom", "8"}, "", 240, 320, 8},
      {{"--zoom", "1"}, "", 240, 320, 1},
      {{"--zoom", "9"}, "--zoom"},
      {{"--zoom", "0"}, "--zoom"},
      {{"--zoom", "12"}, "--zoom"},
      {{"--now", "2026-12-04 16:20"}, "", 240, 320, 1, 16},
      {{"--now", "2026-12-04 23:59"}, "", 240, 320, 1, 23},
      {{"--now", "2026-12-04 24:00"}, "--now"},
      {{"--now", "2026-12-04 10:60"}, "--now"},
      {{"--now", "2026-02-29 10:00"}, "--now"},
      {{"--now", "2026-12-4 16:20"}, "--now"},
      {{"--now", "2026-12-04T16:20"}, "--now"},
      {{"--now", "2026-12-04 16:20 "}, "--now"},
  };
  for (const OptionCase& c : cases) {
    SCOPED_TRACE(c.args[0] + " " + c.args[1]);
    std::string error;
    const auto line = tallyset::ParseCommandLine(c.args, &error);
    if (!c.error.empty()) {
      EXPECT_FALSE(line);
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      continue;
    }
    ASSERT_TRUE(line) << error;
    EXPECT_EQ(line->screen_width, c.width);
    EXPECT_EQ(line->screen_height, c.height);
    EXPECT_EQ(line->zoom, c.zoom);
    EXPECT_EQ(line->now ? line->now->wHour : -1, c.hour);
  }
}

}  // namespace
