// The label: where its text lands for each alignment, wrapping, repainting
// after WM_SETTEXT, and taps that neither focus it nor reach the parent.
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "platform/core/screen.h"
#include "platform/hosts/input.h"
#include "support/message_log.h"

namespace {

using platform::Session;
using testing_support::ControlRig;

// Dark (text) pixels of the label's client area in columns [left, right) and rows [top, bottom).
struct Area { int left, right, top, bottom; };
int DarkPixels(Session& s, HWND label, Area a) {
  POINT o{0, 0};
  ClientToScreen(label, &o);
  int dark = 0;
  for (int y = a.top; y < a.bottom; ++y)
    for (int x = a.left; x < a.right; ++x) {
      std::uint32_t p = s.screen().pixel(o.x + x, o.y + y);
      dark += ((p >> 16) & 0xff) + ((p >> 8) & 0xff) + (p & 0xff) < 3 * 128;
    }
  return dark;
}

TEST(StaticControl, TextLandsWhereTheStyleAndTheSizePutIt) {
  struct Case {
    const char* name;
    const char16_t* text;
    DWORD style;
    int w, h;
    std::vector<Area> ink, blank;
  } cases[] = {
      {"SS_LEFT", u"Customer:", SS_LEFT, 150, 20, {{0, 12, 0, 20}}, {{69, 81, 0, 20}, {138, 150, 0, 20}}},
      {"SS_CENTER", u"Customer:", SS_CENTER, 150, 20, {{69, 81, 0, 20}}, {{0, 12, 0, 20}, {138, 150, 0, 20}}},
      {"SS_RIGHT", u"Customer:", SS_RIGHT, 150, 20, {{138, 150, 0, 20}}, {{0, 12, 0, 20}, {69, 81, 0, 20}}},
      {"a tall label starts at the top", u"Customer:", SS_LEFT, 100, 60, {{0, 100, 0, 15}}, {{0, 100, 20, 60}}},
      {"long text wraps onto a second line", u"Northern Trading Company Limited", SS_LEFT, 90, 60,
       {{0, 90, 0, 14}, {0, 90, 15, 28}}, {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    ControlRig rig;
    HWND label = rig.create(u"STATIC", c.style, 5, 10, c.w, c.h, c.text);
    rig.then([&](Session& s) {
      for (const Area& a : c.ink) EXPECT_GT(DarkPixels(s, label, a), 0) << a.left << "," << a.top;
      for (const Area& a : c.blank) EXPECT_EQ(DarkPixels(s, label, a), 0) << a.left << "," << a.top;
    });
    rig.run();
  }
}

TEST(StaticControl, NewTextRepaintsAndTapsPassItBy) {
  ControlRig rig;
  HWND label = rig.create(u"STATIC", SS_LEFT, 5, 10, 100, 20, u"Customer:");
  const Area all{0, 100, 0, 20};
  HWND focus_before = GetFocus();
  rig.then([&](Session& s) {
    EXPECT_GT(DarkPixels(s, label, all), 0);
    EXPECT_TRUE(SetWindowTextW(label, u""));
    rig.log.entries.clear();
    POINT o{20, 10};
    ClientToScreen(label, &o);
    platform::PostTap(s, o.x, o.y);
  });
  rig.then([&](Session& s) {
    EXPECT_EQ(DarkPixels(s, label, all), 0) << "the old text was painted over";
    EXPECT_EQ(GetFocus(), focus_before);
    EXPECT_NE(GetFocus(), label);
    for (const auto& r : rig.log.only({WM_LBUTTONDOWN, WM_COMMAND}))
      EXPECT_NE(r.hwnd, rig.parent) << "the tap reached the parent";
  });
  rig.run();
}

}  // namespace
