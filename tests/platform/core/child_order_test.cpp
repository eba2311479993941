// The stacking of a window's children as SetWindowPos and DestroyWindow
// change it, and paints only for children that have pixels on the screen.
#include <algorithm>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "support/message_log.h"
#include "support/test_host.h"

namespace {

using testing_support::MessageLog;

class ChildOrderTest : public ::testing::Test {
 protected:
  ChildOrderTest() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &MessageLog::Proc;
    wc.hInstance = platform.instance;
    wc.lpszClassName = u"OrderWindow";
    EXPECT_NE(RegisterClassW(&wc), 0);
  }
  HWND Create(HWND parent, int y) {
    return CreateWindowExW(0, u"OrderWindow", u"", WS_VISIBLE | (parent ? WS_CHILD : 0), 0, y, 100, 20, parent,
                           nullptr, platform.instance, nullptr);
  }
  // The children of `parent`, top first, as GetWindow walks them.
  static std::vector<HWND> TopDown(HWND parent) {
    std::vector<HWND> out;
    for (HWND h = GetWindow(parent, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) out.push_back(h);
    return out;
  }
  int Paints(HWND hwnd) {
    return static_cast<int>(std::count_if(log.entries.begin(), log.entries.end(), [&](const auto& r) {
      return r.hwnd == hwnd && r.message == WM_PAINT;
    }));
  }

  testing_support::TestPlatform platform;
  MessageLog log;
};

TEST_F(ChildOrderTest, RaisingLoweringAndDestroyingKeepTheOthersInOrder) {
  HWND parent = Create(nullptr, 30);
  HWND a = Create(parent, 0), b = Create(parent, 0), c = Create(parent, 0);
  EXPECT_EQ(TopDown(parent), (std::vector<HWND>{c, b, a}));
  SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(TopDown(parent), (std::vector<HWND>{a, c, b}));
  SetWindowPos(c, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(TopDown(parent), (std::vector<HWND>{a, b, c}));
  DestroyWindow(b);
  EXPECT_EQ(TopDown(parent), (std::vector<HWND>{a, c}));
  EXPECT_EQ(GetWindow(c, GW_HWNDPREV), a);
}

TEST_F(ChildOrderTest, AChildWhollyOffTheScreenPaintsOnlyOnceItComesIntoView) {
  HWND parent = Create(nullptr, 30);
  HWND shown = Create(parent, 0), hidden = Create(parent, -500);
  platform.host.then([&](platform::Session&) {
    EXPECT_GT(Paints(shown), 0);
    EXPECT_EQ(Paints(hidden), 0);
    MoveWindow(hidden, 0, 40, 100, 20, TRUE);
  });
  platform.host.then([&](platform::Session&) { EXPECT_GT(Paints(hidden), 0); });
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
}

}  // namespace
