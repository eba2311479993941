// The label: where its text lands for each alignment, wrapping, repainting
// after WM_SETTEXT, and taps that neither focus it nor reach the parent.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "platform/core/session.h"
#include "platform/core/screen.h"
#include "platform/hosts/input.h"
#include "support/test_host.h"

namespace {

using platform::Session;

constexpr const char16_t* kParentClass = u"StaticTestParent";

int g_parent_clicks = 0;

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_LBUTTONDOWN || msg == WM_COMMAND) ++g_parent_clicks;
  return DefWindowProcW(hwnd, msg, wp, lp);
}

struct Band {
  int left, right;  // label client columns, right exclusive
};

class StaticControlTest : public ::testing::Test {
 protected:
  StaticControlTest() {
    g_parent_clicks = 0;
    WNDCLASSW wc{};
    wc.lpfnWndProc = ParentProc;
    wc.hInstance = platform_.instance;
    wc.lpszClassName = kParentClass;
    wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOW + 1));
    EXPECT_NE(RegisterClassW(&wc), 0);
    parent_ = CreateWindowExW(0, kParentClass, u"Static test", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, platform_.instance, nullptr);
    EXPECT_NE(parent_, nullptr);
  }

  HWND MakeLabel(const char16_t* text, DWORD style, int x, int y, int w, int h) {
    HWND label = CreateWindowExW(0, u"STATIC", text, WS_CHILD | WS_VISIBLE | style, x, y, w, h, parent_, nullptr,
                                 platform_.instance, nullptr);
    EXPECT_NE(label, nullptr);
    return label;
  }

  // Dark (text) pixels of the label's client area within columns `band` and rows [top, bottom).
  static int DarkPixels(Session& s, HWND label, Band band, int top, int bottom) {
    POINT o{0, 0};
    ClientToScreen(label, &o);
    int dark = 0;
    for (int y = top; y < bottom; ++y)
      for (int x = band.left; x < band.right; ++x) {
        std::uint32_t p = s.screen().pixel(o.x + x, o.y + y);
        int sum = static_cast<int>(((p >> 16) & 0xff) + ((p >> 8) & 0xff) + (p & 0xff));
        if (sum < 3 * 128) ++dark;
      }
    return dark;
  }

  void Run() {
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }

  testing_support::TestPlatform platform_;
  HWND parent_ = nullptr;
};

struct AlignCase {
  const char* name;
  DWORD style;
  bool left, middle, right;  // where text is expected
};

TEST_F(StaticControlTest, TextFollowsTheAlignmentStyle) {
  constexpr int kWidth = 150, kHeight = 20;
  const AlignCase cases[] = {
      {"SS_LEFT", SS_LEFT, true, false, false},
      {"SS_CENTER", SS_CENTER, false, true, false},
      {"SS_RIGHT", SS_RIGHT, false, false, true},
      {"SS_RIGHT with SS_NOPREFIX", SS_RIGHT | SS_NOPREFIX, false, false, true},
  };
  std::vector<HWND> labels;
  int y = 10;
  for (const auto& c : cases) {
    labels.push_back(MakeLabel(u"Customer:", c.style, 5, y, kWidth, kHeight));
    y += 30;
  }
  bool checked = false;
  platform_.host.then([&](Session& s) {
    checked = true;
    const Band left{0, 12}, middle{kWidth / 2 - 6, kWidth / 2 + 6}, right{kWidth - 12, kWidth};
    for (size_t i = 0; i < labels.size(); ++i) {
      const auto& c = cases[i];
      SCOPED_TRACE(c.name);
      EXPECT_EQ(DarkPixels(s, labels[i], left, 0, kHeight) > 0, c.left);
      EXPECT_EQ(DarkPixels(s, labels[i], middle, 0, kHeight) > 0, c.middle);
      EXPECT_EQ(DarkPixels(s, labels[i], right, 0, kHeight) > 0, c.right);
    }
  });
  Run();
  EXPECT_TRUE(checked);
}

TEST_F(StaticControlTest, TextStartsAtTheTop) {
  HWND label = MakeLabel(u"Customer:", SS_LEFT, 5, 10, 100, 60);
  bool checked = false;
  platform_.host.then([&](Session& s) {
    checked = true;
    EXPECT_GT(DarkPixels(s, label, {0, 100}, 0, 15), 0);
    EXPECT_EQ(DarkPixels(s, label, {0, 100}, 20, 60), 0);
  });
  Run();
  EXPECT_TRUE(checked);
}

TEST_F(StaticControlTest, LongTextWrapsOntoTheNextLine) {
  HWND label = MakeLabel(u"Northern Trading Company Limited", SS_LEFT, 5, 10, 90, 60);
  bool checked = false;
  platform_.host.then([&](Session& s) {
    checked = true;
    EXPECT_GT(DarkPixels(s, label, {0, 90}, 0, 14), 0);
    EXPECT_GT(DarkPixels(s, label, {0, 90}, 15, 28), 0) << "a second line";
  });
  Run();
  EXPECT_TRUE(checked);
}

TEST_F(StaticControlTest, SetTextChangesTheTextAndRepaints) {
  HWND label = MakeLabel(u"Customer:", SS_LEFT, 5, 10, 100, 20);
  bool checked = false;
  platform_.host.then([&](Session& s) {
    EXPECT_GT(DarkPixels(s, label, {0, 100}, 0, 20), 0);
    EXPECT_TRUE(SetWindowTextW(label, u""));
    WCHAR buf[32] = u"junk";
    EXPECT_EQ(GetWindowTextW(label, buf, 32), 0);
    EXPECT_EQ(std::u16string(buf), u"");
    SetWindowTextW(label, u"Supplier:");
    EXPECT_EQ(GetWindowTextW(label, buf, 32), 9);
    EXPECT_EQ(std::u16string(buf), u"Supplier:");
    SetWindowTextW(label, u"");
  });
  platform_.host.then([&](Session& s) {
    checked = true;
    EXPECT_EQ(DarkPixels(s, label, {0, 100}, 0, 20), 0) << "the old text was painted over";
  });
  Run();
  EXPECT_TRUE(checked);
}

TEST_F(StaticControlTest, TapsNeitherFocusTheLabelNorReachTheParent) {
  HWND label = MakeLabel(u"Customer:", SS_LEFT, 5, 10, 100, 20);
  HWND focus_before = nullptr;
  HWND focus_after = nullptr;
  platform_.host.then([&](Session& s) {
    focus_before = GetFocus();
    POINT o{20, 10};
    ClientToScreen(label, &o);
    platform::PostTap(s, o.x, o.y);
  });
  platform_.host.then([&](Session&) { focus_after = GetFocus(); });
  Run();
  EXPECT_NE(focus_after, label);
  EXPECT_EQ(focus_after, focus_before);
  EXPECT_EQ(g_parent_clicks, 0);
}

}  // namespace
