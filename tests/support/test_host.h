// A host for tests: runs the given actions one per idle moment, then closes
// the program as its Exit command would.
#pragma once

#include <gtest/gtest.h>

#include <deque>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/host.h"
#include "platform/core/module_registry.h"
#include "platform/core/session.h"
#include "platform/core/screen.h"
#include "platform/hosts/headless_host.h"
#include "platform/hosts/input.h"
#include "platform/hosts/platform_floors.h"

namespace testing_support {

class ActionHost : public platform::Host {
 public:
  void then(std::function<void(platform::Session&)> action) { actions_.push_back(std::move(action)); }
  void wait_for_input(platform::Session& session) override {
    if (!actions_.empty()) {
      auto action = std::move(actions_.front());
      actions_.pop_front();
      action(session);
      return;
    }
    if (closed_) {
      PostQuitMessage(0);
      return;
    }
    closed_ = true;
    platform::CloseProgram(session);
  }

 private:
  std::deque<std::function<void(platform::Session&)>> actions_;
  bool closed_ = false;
};

// A session's options and the calendar that Pocket Outlook logs on to.
struct PlatformOptions : platform::SessionOptions {
  PlatformOptions(const platform::SessionOptions& session = {}) : platform::SessionOptions(session) {}
  std::filesystem::path calendar;
};

// A fresh platform, every floor installed, with the program's resources
// loaded, for one test.
struct TestPlatform {
  explicit TestPlatform(PlatformOptions options = {}) : session(options), calendar(options.calendar) {
    platform::InstallPlatform(session, calendar);
    instance = session.modules().add(ProgramResources());
    session.set_host(&host);
  }
  platform::Session session;
  std::filesystem::path calendar;
  ActionHost host;
  HINSTANCE instance = nullptr;
};

// A screen of 240x320 pixels times `scale`.
inline PlatformOptions ScreenOf(int scale) {
  PlatformOptions options;
  options.screen_width = 240 * scale;
  options.screen_height = 320 * scale;
  return options;
}

// The parent a control test watches: a visible white top-level window
// filling the work area, of a class registered with `proc`.
inline HWND CreateParentWindow(TestPlatform& t, const char16_t* class_name, WNDPROC proc, const char16_t* title) {
  WNDCLASSW wc{};
  wc.lpfnWndProc = proc;
  wc.hInstance = t.instance;
  wc.lpszClassName = class_name;
  wc.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<std::uintptr_t>(COLOR_WINDOW + 1));
  EXPECT_NE(RegisterClassW(&wc), 0);
  HWND parent = CreateWindowExW(0, class_name, title, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, nullptr, nullptr, t.instance, nullptr);
  EXPECT_NE(parent, nullptr);
  return parent;
}

// A fault of any floor, to inject into a session.
using FaultSetter = std::function<void(platform::Faults&)>;
template <class E>
FaultSetter Inject(E fault) {
  return [fault](platform::Faults& faults) { faults.inject(fault); };
}

inline std::string ReadWhole(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A window's text, up to 511 characters.
inline std::u16string WindowText(HWND hwnd) {
  WCHAR buffer[512] = {0};
  GetWindowTextW(hwnd, buffer, 512);
  return buffer;
}

// A tap at the centre of a rectangle on the screen.
inline void TapCentre(platform::Session& s, const RECT& r) {
  platform::PostTap(s, (r.left + r.right) / 2, (r.top + r.bottom) / 2);
}

// A time record; the weekday left 0.
inline SYSTEMTIME Time(int y, int mo, int d, int h = 0, int mi = 0, int s = 0, int ms = 0) {
  auto w = [](int v) { return static_cast<WORD>(v); };
  return SYSTEMTIME{w(y), w(mo), 0, w(d), w(h), w(mi), w(s), w(ms)};
}

// A screen pixel in the form GetSysColor gives colours.
inline COLORREF ScreenPixel(platform::Session& s, int x, int y) {
  std::uint32_t p = s.screen().pixel(x, y);
  return RGB((p >> 16) & 0xff, (p >> 8) & 0xff, p & 0xff);
}

}  // namespace testing_support
