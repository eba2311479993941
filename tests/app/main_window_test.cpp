// The main window as a person and the platform see it: its size, the arrow
// it paints, the Save key, and where notifications, commands and keys go.
#include <gtest/gtest.h>

#include <commctrl.h>

#include <tuple>

#include "app/app_feedback.h"
#include "app/main_window.h"
#include "platform/core/message_queue.h"
#include "platform/core/window_manager.h"
#include "platform/core/screen.h"
#include "platform/hosts/input.h"
#include "platform/shell/menu_bar.h"
#include "platform/shell/shell_state.h"
#include "resources/resource.h"
#include "support/app_run.h"

using platform::Session;
using testing_support::kSettingsCalendar;
using testing_support::OptionsFor;
using testing_support::RunTallyset;
using testing_support::TestPlatform;

namespace {

bool SaveEnabled() {
  TBBUTTONINFOW info{};
  info.cbSize = sizeof info;
  info.dwMask = TBIF_STATE;
  SendMessageW(g_app.menuBar, TB_GETBUTTONINFOW, CMD_SAVE, reinterpret_cast<LPARAM>(&info));
  return (info.fsState & TBSTATE_ENABLED) != 0;
}

// The main window alone: without an application object it stops after the menu bar.
HWND BareMainWindow(TestPlatform& t, DWORD style, int y, int w, int h) {
  g_app = AppState{};
  g_app.instance = t.instance;
  EXPECT_NE(RegisterMainWindowClass(t.instance, u"TALLYSET"), 0);
  return CreateWindowExW(0, u"TALLYSET", u"Tallyset", style, 0, y, w, h, nullptr, nullptr, t.instance, nullptr);
}

// Without a menu bar the window keeps its height and stands over the bar's
// room. (With one it ends above it: the client sizes of the Layout tests.)
TEST(MainWindow, WithoutAMenuBarFillsTheScreenBelowTheNavigationBar) {
  TestPlatform t(OptionsFor(kSettingsCalendar));
  t.session.faults().inject(platform::ShellFault::create_menu_bar);
  t.host.then([&](Session&) {
    RECT rc;
    GetWindowRect(g_app.mainWindow, &rc);
    EXPECT_EQ(std::tuple(rc.left, rc.top, rc.right, rc.bottom), std::tuple(0, 26, 240, 320));
    EXPECT_EQ(g_app.menuBar, nullptr);
  });
  EXPECT_EQ(RunTallyset(t), 0);
}

TEST(MainWindow, ScaleDoublesOnlyAboveThreeHundredTwentyPixels) {
  struct Case { int w, h, scale; } cases[] = {
      {240, 294, 1}, {320, 320, 1}, {321, 100, 2}, {100, 321, 2}, {480, 588, 2}};
  for (const Case& c : cases) {
    TestPlatform t;
    HWND hwnd = BareMainWindow(t, 0, 0, c.w, c.h);
    ASSERT_NE(hwnd, nullptr);
    EXPECT_EQ(g_app.scale, c.scale) << c.w << "x" << c.h;
    DestroyWindow(hwnd);
  }
}

// That a line's end point is not drawn is the window tests' (LinesDrawnInPaintAppearOnTheScreen).
TEST(MainWindow, PaintsARightArrowInTheMiddle) {
  for (int width : {240, 241}) {
    TestPlatform t;
    HWND hwnd = BareMainWindow(t, WS_VISIBLE, 26, width, 268);
    ASSERT_NE(hwnd, nullptr);
    UpdateWindow(hwnd);
    auto& screen = t.session.screen();
    auto black = [&](int x, int y) { return screen.pixel(x, 26 + y) == 0x000000; };
    for (int x = 115; x <= 125; ++x) EXPECT_TRUE(black(x, 10)) << x;
    EXPECT_FALSE(black(114, 10));
    EXPECT_FALSE(black(126, 10));
    EXPECT_TRUE(black(124, 9));   // first pixel of the upper barb after its start
    EXPECT_TRUE(black(124, 11));  // and of the lower one
    EXPECT_EQ(screen.pixel(20, 26 + 100), 0xFFFFFFu);  // the white class background
    DestroyWindow(hwnd);
  }
}

// Save starts disabled, and its key then does nothing; other notifications
// and commands change nothing. (A closed-up picker's refresh disables it:
// AppointmentList.RefreshClearsTheSelectionAndDisablesSave.)
TEST(MainWindow, SaveStartsDisabledAndOtherNotificationsLeaveIt) {
  TestPlatform t(OptionsFor(kSettingsCalendar));
  t.host.then([](Session& s) {
    EXPECT_FALSE(SaveEnabled());
    auto right = platform::MenuBarButtonOnScreen(g_app.menuBar, 1);
    ASSERT_TRUE(right);
    testing_support::TapCentre(s, *right);
  });
  t.host.then([](Session&) {
    EXPECT_FALSE(SaveEnabled());
    SetSaveEnabled(TRUE);
    ASSERT_TRUE(SaveEnabled());
    for (UINT code : {0u, NM_CLICK, LVN_ITEMCHANGING, DTN_DATETIMECHANGE, DTN_DROPDOWN}) {
      NMHDR header{g_app.menuBar, 7, code};
      EXPECT_EQ(SendMessageW(g_app.mainWindow, WM_NOTIFY, 7, reinterpret_cast<LPARAM>(&header)), 0);
    }
    for (WORD id : {WORD{CMD_OPTIONS}, WORD{CMD_NOTHING}, WORD{1004}})
      EXPECT_EQ(SendMessageW(g_app.mainWindow, WM_COMMAND, MAKEWPARAM(id, 0), 0), 0);
    EXPECT_TRUE(IsWindow(g_app.mainWindow));
    EXPECT_TRUE(SaveEnabled());
  });
  EXPECT_EQ(RunTallyset(t), 0);
}

// That Exit ends the program is the command line's test (tests/cli: menu Exit).
TEST(MainWindow, TheOptionsMenuOffersNewEditAndExit) {
  TestPlatform t(OptionsFor(kSettingsCalendar));
  t.host.then([](Session& s) {
    auto left = platform::MenuBarButtonOnScreen(g_app.menuBar, 0);
    ASSERT_TRUE(left);
    testing_support::TapCentre(s, *left);
  });
  t.host.then([](Session& s) {
    std::vector<std::u16string> items;
    for (const auto& item : platform::ShellState::of(s).open_menu) items.push_back(item.text);
    EXPECT_EQ(items, (std::vector<std::u16string>{u"New Item", u"Edit Item", u"Exit"}));
  });
  EXPECT_EQ(RunTallyset(t), 0);
}

}  // namespace
