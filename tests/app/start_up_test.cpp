// Start-up and shutdown of Tallyset through the platform: every way start-up
// can fail, the single-instance rule within one desktop, and the order of
// the Outlook session calls.
#include <gtest/gtest.h>

#include "platform/base/utf.h"
#include "platform/com/com_state.h"
#include "platform/controls/control_probes.h"
#include "platform/pocket_outlook/poom_objects.h"
#include "platform/core/window_manager.h"
#include "platform/shell/shell_state.h"
#include "support/app_run.h"
#include "support/script_run.h"

using testing_support::Inject;
using testing_support::kSettingsCalendar;
using testing_support::OptionsFor;
using testing_support::RunTallyset;
using testing_support::TestPlatform;

namespace {

// However the run ended: COM ended once, the application object and the
// calendar's items released, no Pocket Outlook object left alive.
void ExpectEverythingReleased(TestPlatform& t) {
  EXPECT_EQ(t.session.calls().count("CoUninitialize"), 1);
  EXPECT_EQ(g_app.outlookApp, nullptr);
  EXPECT_EQ(g_app.calendarItems, nullptr);
  EXPECT_EQ(platform::ComState::of(t.session).live_objects, 0);
}

// only_the_main_window: the fault hits the program's own class only. Then
// whether CoInitializeEx, CoCreateInstance and CreateWindowExW were called,
// and whether the session held an application object when it closed (Logoff).
struct StartFailure {
  const char* name;
  testing_support::FaultSetter inject;
  bool only_the_main_window, expect_com_start, expect_create_app, expect_window_call, expect_logoff;
};

class StartFailureTest : public ::testing::TestWithParam<StartFailure> {};

TEST_P(StartFailureTest, ExitsWithZeroShowsNothingAndEndsCom) {
  const StartFailure& f = GetParam();
  TestPlatform t(OptionsFor(kSettingsCalendar));
  f.inject(t.session.faults());
  if (f.only_the_main_window) t.session.faults().create_window_class = u"TALLYSET";

  EXPECT_EQ(RunTallyset(t), 0);

  auto& calls = t.session.calls();
  EXPECT_EQ(calls.called("CoInitializeEx"), f.expect_com_start);
  EXPECT_EQ(calls.called("CoCreateInstance"), f.expect_create_app);
  EXPECT_EQ(calls.called("CreateWindowExW"), f.expect_window_call);
  EXPECT_TRUE(t.session.windows().program_top_levels().empty());
  EXPECT_FALSE(calls.called("Logon"));
  EXPECT_EQ(calls.called("Logoff"), f.expect_logoff);
  ExpectEverythingReleased(t);
  EXPECT_TRUE(platform::ShellState::of(t.session).notifications.empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryStartFailure, StartFailureTest,
    ::testing::Values(StartFailure{"CommonControls", Inject(platform::ControlsFault::init_common_controls), false, false, false, false, false},
                      StartFailure{"ComStart", Inject(platform::ComFault::co_initialize), false, true, false, false, false},
                      StartFailure{"AppObject", Inject(platform::ComFault::co_create_instance), false, true, true, false, false},
                      StartFailure{"AppObjectWithoutReference", Inject(platform::ComFault::co_create_no_object), false, true, true, false, false},
                      StartFailure{"ClassRegistration", Inject(platform::CoreFault::register_class), false, true, true, false, true},
                      StartFailure{"MainWindow", Inject(platform::CoreFault::create_window), true, true, true, true, true}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(StartUp, NormalCloseReleasesBothObjectsWithoutLogoffAndEndsCom) {
  TestPlatform t(OptionsFor(kSettingsCalendar));
  t.host.then([](platform::Session&) {
    EXPECT_NE(g_app.outlookApp, nullptr);
    EXPECT_NE(g_app.calendarItems, nullptr);
    SendMessageW(g_app.mainWindow, WM_CLOSE, 0, 0);
  });
  EXPECT_EQ(RunTallyset(t), 0);
  auto& calls = t.session.calls();
  EXPECT_EQ(calls.count("Logon"), 1);
  EXPECT_FALSE(calls.called("Logoff"));
  ExpectEverythingReleased(t);
  EXPECT_FALSE(IsWindow(g_app.mainWindow));
  EXPECT_FALSE(IsWindow(g_app.menuBar));
}

TEST(StartUp, SecondStartBringsTheFirstWindowForwardAndCreatesNothing) {
  TestPlatform t(OptionsFor(kSettingsCalendar));
  // A window of the same class and title already stands on the desktop.
  WNDCLASSW wc{};
  wc.lpfnWndProc = DefWindowProcW;
  wc.lpszClassName = u"TALLYSET";
  RegisterClassW(&wc);
  HWND first = CreateWindowExW(0, u"TALLYSET", u"Tallyset", 0, 0, 26, 240, 294, nullptr, nullptr, nullptr, nullptr);
  ASSERT_NE(first, nullptr);
  t.session.calls().clear();

  EXPECT_EQ(RunTallyset(t), 0);

  auto& calls = t.session.calls();
  EXPECT_TRUE(calls.called("CoCreateInstance"));
  EXPECT_TRUE(calls.called("SetForegroundWindow"));
  EXPECT_FALSE(calls.called("RegisterClassW"));
  EXPECT_FALSE(calls.called("CreateWindowExW"));
  EXPECT_FALSE(calls.called("Logon"));
  EXPECT_EQ(t.session.windows().active(), first);
  ExpectEverythingReleased(t);
}

TEST(StartUp, MissingSettingsPostsTheNoticeAndEndsWithoutShowingTheWindow) {
  TestPlatform t(OptionsFor(testing_support::kEmptyCalendar));
  EXPECT_EQ(RunTallyset(t), 0);
  const auto& notes = platform::ShellState::of(t.session).notifications;
  ASSERT_EQ(notes.size(), 1u);
  EXPECT_EQ(notes[0].title, u"Tallyset for Pocket Outlook");
  EXPECT_EQ(notes[0].duration_seconds, 15u);
  EXPECT_NE(notes[0].plain.find(u"No Tallyset for Pocket Outlook settings found."), std::u16string::npos);
  EXPECT_EQ(notes[0].plain.find(u"<"), std::u16string::npos);
  EXPECT_TRUE(t.session.windows().program_top_levels().empty());
  EXPECT_FALSE(t.session.calls().called("SetForegroundWindow"));
  // The window was gone before its creation returned: the loop never began.
  EXPECT_FALSE(t.session.calls().called("LoadAcceleratorsW"));
  ExpectEverythingReleased(t);
}

// A logon that fails, injected or on a broken calendar file, leaves the bare
// window without a calendar and a notice that says why (naming the file and
// line Pocket Outlook gave); the file stays as it was.
TEST(StartUp, FailedLogonLeavesTheBareWindowANoticeAndTheFileUntouched) {
  const std::string broken = "BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:no end\r\n";
  for (const std::string& calendar : {std::string(kSettingsCalendar), broken}) {
    TestPlatform t(OptionsFor(calendar));
    if (calendar != broken) t.session.faults().inject(platform::OutlookFault::logon);
    const std::string reason =
        calendar == broken ? ": " + t.calendar.string() + ": line 2: BEGIN:VEVENT is never closed." : ".";
    t.host.then([&reason](platform::Session& s) {
      EXPECT_TRUE(IsWindowVisible(g_app.mainWindow));
      EXPECT_NE(g_app.menuBar, nullptr);
      EXPECT_EQ(g_app.calendarItems, nullptr);
      const auto& notes = platform::ShellState::of(s).notifications;
      ASSERT_EQ(notes.size(), 1u);
      EXPECT_EQ(platform::ToUtf8(notes[0].plain), "The calendar could not be opened" + reason +
                                                       " Tallyset shows no appointments and changes nothing in it.");
    });
    EXPECT_EQ(RunTallyset(t), 0);
    EXPECT_EQ(testing_support::ReadWhole(t.calendar), calendar);
  }
}

}  // namespace
