// Where the controls of the time-card screen stand, for every client size
// and both scales, and what the date pickers hold at start.
#include <gtest/gtest.h>

#include <commctrl.h>

#include "platform/core/window_manager.h"
#include "support/script_run.h"

using platform::Session;
using testing_support::Calendar;
using testing_support::RunScript;
using testing_support::SettingsBody;
using testing_support::TestPlatform;

namespace {

RECT Placed(Session& s, HWND hwnd) { return s.windows().get(hwnd)->rect; }

void ExpectRect(const RECT& r, int x, int y, int w, int h, const char* what) {
  EXPECT_EQ(std::tuple(r.left, r.top, r.right - r.left, r.bottom - r.top), std::tuple(x, y, w, h)) << what;
}

int ColumnWidth(int column) { return static_cast<int>(SendMessageW(g_app.listView, LVM_GETCOLUMNWIDTH, column, 0)); }

void ExpectColumnsFillTheList() {
  RECT client;
  GetClientRect(g_app.listView, &client);
  EXPECT_EQ(ColumnWidth(0), 110 * g_app.scale);
  EXPECT_EQ(ColumnWidth(0) + ColumnWidth(1), client.right);
}

// Resizes the main window's client area, as a screen rotation would.
void ResizeClient(int w, int h) {
  RECT window, client;
  GetWindowRect(g_app.mainWindow, &window);
  GetClientRect(g_app.mainWindow, &client);
  MoveWindow(g_app.mainWindow, window.left, window.top, w + (window.right - window.left) - client.right,
             h + (window.bottom - window.top) - client.bottom, TRUE);
}

// The widest label stands in the middle.
const std::string kThreeRows = SettingsBody({"Task:Travel;", "Customer:North;South;", "Rate:Day;"});

// from and to as x, y, w, h; box_left two pixels past the widest label, "Customer:".
struct Geometry { int screen_w, screen_h, scale, client_w, client_h; RECT from, to; int first_row_y, box_left; };

TEST(Layout, PickersListAndRowsStandWhereTheFormulasPutThem) {
  const Geometry cases[] = {
      {240, 320, 1, 240, 268, {10, 2, 100, 20}, {130, 2, 100, 20}, 200, 66},
      {480, 640, 2, 480, 536, {20, 2, 200, 40}, {260, 2, 200, 40}, 536 - 44 * 3 - 2, 121},
  };
  for (const Geometry& g : cases) {
    TestPlatform t(testing_support::OptionsFor(Calendar(kThreeRows, {}), g.screen_w, g.screen_h));
    t.host.then([&](Session& s) {
      ASSERT_EQ(g_app.scale, g.scale);
      RECT client;
      GetClientRect(g_app.mainWindow, &client);
      ASSERT_EQ(std::pair(client.right, client.bottom), std::pair(g.client_w, g.client_h));
      ExpectRect(Placed(s, g_app.fromPicker), g.from.left, g.from.top, g.from.right, g.from.bottom, "from picker");
      ExpectRect(Placed(s, g_app.toPicker), g.to.left, g.to.top, g.to.right, g.to.bottom, "to picker");
      int pitch = 22 * g.scale;
      ASSERT_EQ(g_app.choiceBoxes.size(), 3u);
      for (int i = 0; i < 3; ++i) {
        RECT label = Placed(s, g_app.fieldLabels[i]), box = Placed(s, g_app.choiceBoxes[i]);
        EXPECT_EQ(std::tuple(label.left, label.top, label.bottom - label.top),
                  std::tuple(5, g.first_row_y + pitch * i, 19 * g.scale));
        // Every box ends where the list ends.
        EXPECT_EQ(std::tuple(box.left, box.top, box.right),
                  std::tuple(g.box_left, g.first_row_y + pitch * i, g.client_w - 4));
      }
      int list_top = 20 * g.scale + 3;
      ExpectRect(Placed(s, g_app.listView), 2, list_top, g.client_w - 4, g.first_row_y - 2 - list_top, "list");
      ExpectColumnsFillTheList();
    });
    EXPECT_EQ(testing_support::RunTallyset(t), 0);
  }
}

TEST(Layout, EverySizeChangePlacesEverythingAgain) {
  struct Case { int w, h, from_x, to_x; } cases[] = {
      {241, 268, 10, 130}, {150, 268, -12, 63}, {320, 240, 30, 190}, {240, 268, 10, 130}};
  TestPlatform t(testing_support::OptionsFor(Calendar(kThreeRows, {})));
  for (const Case& c : cases) {
    t.host.then([c](Session&) { ResizeClient(c.w, c.h); });
    t.host.then([c](Session& s) {
      EXPECT_EQ(Placed(s, g_app.fromPicker).left, c.from_x) << c.w;
      EXPECT_EQ(Placed(s, g_app.toPicker).left, c.to_x) << c.w;
      EXPECT_EQ(Placed(s, g_app.fieldLabels[2]).top, c.h - 22 - 2) << c.w;  // the last row
      ExpectColumnsFillTheList();
    });
  }
  EXPECT_EQ(testing_support::RunTallyset(t), 0);
}

TEST(Layout, WithoutFieldRowsTheListReachesNearlyTheBottom) {
  TestPlatform t(testing_support::OptionsFor(Calendar(SettingsBody({}), {})));
  t.host.then([](Session& s) {
    RECT client;
    GetClientRect(g_app.mainWindow, &client);
    EXPECT_EQ(Placed(s, g_app.listView).bottom, client.bottom - 4);
  });
  EXPECT_EQ(testing_support::RunTallyset(t), 0);
}

TEST(Layout, PickersStartSevenDaysApartAtTheSameTimeOfDay) {
  struct Case { const char* now; const char* printed; } cases[] = {
      {"2026-12-03 09:10", "2026-11-26 09:10\t2026-12-03 09:10\n"},
      {"2026-03-05 23:59", "2026-02-26 23:59\t2026-03-05 23:59\n"},
      {"2028-03-01 00:00", "2028-02-23 00:00\t2028-03-01 00:00\n"},
      {"2027-01-03 12:00", "2026-12-27 12:00\t2027-01-03 12:00\n"}};
  for (const Case& c : cases)
    EXPECT_EQ(RunScript({Calendar(kThreeRows, {}), "print pickers\n", c.now}).printed, c.printed) << c.now;
}

}  // namespace
