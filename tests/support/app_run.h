// Runs Tallyset's WinMain in-process against a fresh platform, with a
// calendar file written for the test.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "app/app_state.h"
#include "support/test_host.h"

namespace testing_support {

inline const char* kSettingsCalendar =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
    "BEGIN:VEVENT\r\nUID:settings@test\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20500101T090000\r\n"
    "DTEND:20500101T093000\r\nSUMMARY:Outlook Tallyset 3 Personal Settings\r\n"
    "DESCRIPTION:1\\n2\\n3\\n4\\n5\\n6\\nCustomer:North;South;\r\nEND:VEVENT\r\n"
    "END:VCALENDAR\r\n";

inline const char* kEmptyCalendar = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\nEND:VCALENDAR\r\n";

inline std::filesystem::path WriteCalendar(const std::string& content) {
  const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
  auto dir = std::filesystem::temp_directory_path() / "tallyset-tests";
  std::filesystem::create_directories(dir);
  auto path = dir / (std::string(info->test_suite_name()) + "-" + info->name() + ".ics");
  std::ofstream(path, std::ios::binary) << content;
  return path;
}

inline PlatformOptions OptionsFor(const std::string& calendar, int width = 240, int height = 320) {
  PlatformOptions options;
  options.calendar = WriteCalendar(calendar);
  options.screen_width = width;
  options.screen_height = height;
  return options;
}

inline int RunTallyset(TestPlatform& t) {
  g_app = AppState{};
  return WinMain(t.instance, nullptr, nullptr, SW_SHOW);
}

}  // namespace testing_support
