// The device: a screen wider or taller than 320 pixels is a high-resolution
// one, and hardware input as the queue delivers it (a tap carries the
// modifier keys held at that moment, so Ctrl and Shift taps reach controls),
// and icons drawn from rows of characters.
#include <gtest/gtest.h>

#include <windows.h>

#include "platform/core/resources.h"
#include "platform/core/screen.h"
#include "platform/hosts/input.h"
#include "support/test_host.h"

namespace {

WPARAM g_down_keys = 0;

LRESULT CALLBACK RecordTap(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_LBUTTONDOWN) g_down_keys = wp;
  return DefWindowProcW(hwnd, msg, wp, lp);
}

TEST(Screen, HighResolutionBeyond320PixelsEitherWay) {
  struct Row { int width, height, scale; } rows[] = {
      {240, 320, 1}, {320, 320, 1}, {321, 240, 2}, {240, 321, 2}, {480, 640, 2}};
  for (const Row& r : rows) {
    const platform::Screen screen(r.width, r.height);
    EXPECT_EQ(screen.scale(), r.scale) << r.width << "x" << r.height;
    EXPECT_EQ(screen.nav_bar_height(), 26 * r.scale);
  }
}

TEST(Input, ATapCarriesTheModifierKeysHeldAtThatMoment) {
  struct Case {
    bool ctrl, shift;
    WPARAM expected;
  };
  const Case cases[] = {{false, false, MK_LBUTTON},
                        {true, false, MK_LBUTTON | MK_CONTROL},
                        {false, true, MK_LBUTTON | MK_SHIFT},
                        {true, true, MK_LBUTTON | MK_CONTROL | MK_SHIFT}};
  testing_support::TestPlatform t;
  testing_support::CreateParentWindow(t, u"TapTarget", RecordTap, u"Taps");
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "ctrl " << c.ctrl << " shift " << c.shift);
    g_down_keys = 0;
    if (c.ctrl) platform::PostKey(t.session, VK_CONTROL, true);
    if (c.shift) platform::PostKey(t.session, VK_SHIFT, true);
    platform::PostTap(t.session, 100, 100);
    if (c.shift) platform::PostKey(t.session, VK_SHIFT, false);
    if (c.ctrl) platform::PostKey(t.session, VK_CONTROL, false);
    MSG m;
    while (PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&m);
    EXPECT_EQ(g_down_keys, c.expected);
  }
}

// A row longer than the first is cut to the first's width, not spilled
// into the row below.
TEST(IconFromRows, EveryRowIsCutToTheFirstRowsWidth) {
  const auto icon = platform::res::IconFromRows({"..", "..X", ".."}, {{'X', 0xFF000000u}});
  EXPECT_EQ(icon.argb, std::vector<std::uint32_t>(6, 0u));
}

}  // namespace
