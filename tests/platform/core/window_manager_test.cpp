// The window manager through the Win32 calls: message sequences of creation
// and destruction, stale handles, sending and posting, geometry, focus,
// accelerators and line drawing.
#include <algorithm>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "platform/core/message_queue.h"
#include "platform/core/screen.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "support/message_log.h"
#include "support/test_host.h"

namespace {

using testing_support::MessageLog;
using testing_support::Recorded;
using testing_support::WindowRect;

constexpr const char16_t* kClass = u"RecordingWindow";

std::string Str(const RECT& r) {
  return std::to_string(r.left) + "," + std::to_string(r.top) + "," + std::to_string(r.right) + "," +
         std::to_string(r.bottom);
}
RECT ClientRect(HWND hwnd) { RECT r{}; GetClientRect(hwnd, &r); return r; }
POINT ClientOrigin(HWND hwnd) { POINT p{0, 0}; ClientToScreen(hwnd, &p); return p; }

// Windows of a class whose procedure records into `log`, answering with
// log.reply where a test gives one.
class WindowTest : public ::testing::Test {
 protected:
  WindowTest() {
    WNDCLASSW wc{};
    wc.lpfnWndProc = &MessageLog::Proc;
    wc.hInstance = platform.instance;
    wc.lpszClassName = kClass;
    EXPECT_NE(RegisterClassW(&wc), 0);
  }

  HWND Create(DWORD style, HWND parent = nullptr, int x = 0, int y = 0, int w = 100, int h = 100, int id = 0) {
    return CreateWindowExW(0, kClass, u"title", style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(id)), platform.instance, nullptr);
  }

  // The recorded messages of `windows` (of `kinds` only, when given), as
  // "w0:WM_CREATE w1:WM_SIZE ..." with wN the Nth of `windows`; with
  // `params`, "w0:WM_ACTIVATE(0,w1)", a handle among `windows` named so.
  std::string Trace(const std::vector<HWND>& windows, std::initializer_list<UINT> kinds = {}, bool params = false) {
    auto name = [&](LPARAM v) {
      auto at = std::find(windows.begin(), windows.end(), reinterpret_cast<HWND>(v));
      return v && at != windows.end() ? "w" + std::to_string(at - windows.begin()) : std::to_string(v);
    };
    std::string out;
    for (const Recorded& r : log.entries) {
      if (std::find(windows.begin(), windows.end(), r.hwnd) == windows.end() ||
          (kinds.size() && std::find(kinds.begin(), kinds.end(), r.message) == kinds.end()))
        continue;
      out += name(reinterpret_cast<LPARAM>(r.hwnd)) + ":" + testing_support::Describe(r, false) +
             (params ? "(" + name(static_cast<LPARAM>(r.wparam)) + "," + name(r.lparam) + ") " : " ");
    }
    return out;
  }

  // Runs the queued actions, then the close, as the program's loop would.
  void Run() {
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
  }

  testing_support::TestPlatform platform;
  MessageLog log;
};

// ------------------------------------------------------------------ creation

// A window refused (by its answer to WM_NCCREATE or WM_CREATE) or destroyed
// in its creation is not returned, and neither active nor focused.
TEST_F(WindowTest, CreationSendsTheMessagesInOrderUnlessRefused) {
  HWND host = Create(WS_VISIBLE);
  const std::string kMade = "w0:WM_NCCREATE w0:WM_CREATE w0:WM_SIZE w0:WM_MOVE ";
  const struct {
    DWORD style;
    bool child;
    UINT refused_in;  // answered with `answer`, after DestroyWindow if `destroy`
    LRESULT answer;
    bool destroy;
    std::string expected;  // messages to other windows (the one losing activation) left out
  } cases[] = {
      {WS_OVERLAPPED, false, 0, 0, false, kMade},
      {WS_VISIBLE, false, 0, 0, false, kMade + "w0:WM_SHOWWINDOW w0:WM_ACTIVATE w0:WM_SETFOCUS "},
      {WS_CHILD, true, 0, 0, false, kMade},
      {WS_CHILD | WS_VISIBLE, true, 0, 0, false, kMade + "w0:WM_SHOWWINDOW "},
      {WS_VISIBLE, false, WM_NCCREATE, FALSE, false, "w0:WM_NCCREATE w0:WM_NCDESTROY "},
      {WS_VISIBLE, false, WM_CREATE, -1, false, "w0:WM_NCCREATE w0:WM_CREATE w0:WM_NCDESTROY "},
      {WS_VISIBLE, false, WM_CREATE, 0, true, "w0:WM_NCCREATE w0:WM_CREATE w0:WM_NCDESTROY "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.expected);
    log.entries.clear();
    HWND seen = nullptr;
    log.reply = [&](HWND hwnd, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
      seen = msg == WM_NCCREATE ? hwnd : seen;
      if (!c.refused_in || msg != c.refused_in) return std::nullopt;
      if (c.destroy) DestroyWindow(hwnd);
      return c.answer;
    };
    HWND hwnd = Create(c.style, c.child ? host : nullptr);
    EXPECT_EQ(hwnd, c.refused_in ? nullptr : seen);
    EXPECT_EQ(c.refused_in ? Trace({seen}, {WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW, WM_ACTIVATE,
                                            WM_SETFOCUS, WM_NCDESTROY})
                           : Trace({seen}),
              c.expected);
    EXPECT_EQ(IsWindow(seen) != FALSE, !c.refused_in);
    EXPECT_TRUE(!c.refused_in || (GetActiveWindow() != seen && GetFocus() != seen));
    DestroyWindow(hwnd);
  }
}

TEST_F(WindowTest, TheNewestVisibleTopLevelIsActiveUntilDestroyed) {
  HWND first = Create(WS_VISIBLE);
  log.entries.clear();
  HWND second = Create(WS_VISIBLE);
  EXPECT_EQ(GetActiveWindow(), second);
  EXPECT_EQ(GetFocus(), second);
  // The window that loses activation is told so first, each with the other in lParam.
  EXPECT_EQ(Trace({first, second}, {WM_ACTIVATE}, true), "w0:WM_ACTIVATE(0,w1) w1:WM_ACTIVATE(1,w0) ");
  ASSERT_TRUE(DestroyWindow(second));
  EXPECT_EQ(GetActiveWindow(), first);
  EXPECT_EQ(GetFocus(), first);
}

TEST_F(WindowTest, CreationFindsClassesWhateverTheCase) {
  EXPECT_NE(CreateWindowExW(0, u"recordingwindow", u"", 0, 0, 0, 10, 10, nullptr, nullptr, platform.instance, nullptr),
            nullptr);
  WNDCLASSW again{};
  again.lpfnWndProc = &MessageLog::Proc;
  again.lpszClassName = u"RECORDINGWINDOW";
  EXPECT_EQ(RegisterClassW(&again), 0);
  EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", 0, 0, 0, 10, 10, nullptr, nullptr, platform.instance, nullptr),
            nullptr);
}

// ------------------------------------------------------------------ destruction

TEST_F(WindowTest, DestroyWindowSendsDestroyParentFirstAndNcDestroyChildrenFirst) {
  HWND parent = Create(WS_VISIBLE);
  HWND child_a = Create(WS_CHILD | WS_VISIBLE, parent);
  HWND grandchild = Create(WS_CHILD | WS_VISIBLE, child_a);
  HWND child_b = Create(WS_CHILD, parent);
  log.entries.clear();
  ASSERT_TRUE(DestroyWindow(parent));
  EXPECT_EQ(Trace({parent, child_a, grandchild, child_b}, {WM_DESTROY, WM_NCDESTROY}),
            "w0:WM_DESTROY w1:WM_DESTROY w2:WM_DESTROY w3:WM_DESTROY "
            "w2:WM_NCDESTROY w1:WM_NCDESTROY w3:WM_NCDESTROY w0:WM_NCDESTROY ");
  for (HWND h : {parent, child_a, grandchild, child_b}) EXPECT_FALSE(IsWindow(h));
}

TEST_F(WindowTest, EveryCallRefusesAStaleHandle) {
  HWND hwnd = Create(WS_VISIBLE);
  ASSERT_TRUE(DestroyWindow(hwnd));
  log.entries.clear();
  RECT r{1, 2, 3, 4};
  WCHAR text[8] = u"xxxxxxx";
  // Each call answers FALSE, 0 or null; no child is made of a stale parent.
  EXPECT_FALSE(IsWindow(hwnd) || IsWindowVisible(hwnd) || SendMessageW(hwnd, WM_USER, 0, 0) ||
               PostMessageW(hwnd, WM_USER, 0, 0) || DestroyWindow(hwnd) || GetWindowTextW(hwnd, text, 8) || text[0] ||
               GetWindowTextLengthW(hwnd) || SetWindowTextW(hwnd, u"new") || GetClientRect(hwnd, &r) ||
               GetWindowRect(hwnd, &r) || SetFocus(hwnd) || GetDC(hwnd) || Create(WS_CHILD, hwnd));
  EXPECT_TRUE(GetFocus() != hwnd && GetActiveWindow() != hwnd);
  EXPECT_TRUE(log.entries.empty()) << "a stale handle reached the window procedure";
  HWND next = Create(0);
  EXPECT_NE(next, hwnd) << "a new window brings the old handle back to life";
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(WindowTest, DefaultTextIsCutToTheBufferAndTerminated) {
  HWND hwnd = Create(0);
  EXPECT_EQ(GetWindowTextLengthW(hwnd), 5);
  WCHAR buf[4] = u"xxx";
  EXPECT_EQ(GetWindowTextW(hwnd, buf, 4), 3);
  EXPECT_EQ(std::u16string(buf), u"tit");
  EXPECT_TRUE(SetWindowTextW(hwnd, u""));
  EXPECT_EQ(GetWindowTextW(hwnd, buf, 4), 0);
  EXPECT_EQ(buf[0], 0);
}

// The children of `parent`, top first, as GetWindow walks them.
std::vector<HWND> TopDown(HWND parent) {
  std::vector<HWND> out;
  for (HWND h = GetWindow(parent, GW_CHILD); h; h = GetWindow(h, GW_HWNDNEXT)) out.push_back(h);
  return out;
}

// A destroyed child also leaves its parent, its siblings and the focus.
TEST_F(WindowTest, RaisingLoweringAndDestroyingChildrenKeepTheOthersInOrder) {
  HWND parent = Create(WS_VISIBLE, nullptr, 0, 30);
  HWND a = Create(WS_CHILD | WS_VISIBLE, parent, 0, 0, 10, 10, 101);
  HWND b = Create(WS_CHILD | WS_VISIBLE, parent, 0, 0, 10, 10, 102);
  HWND c = Create(WS_CHILD | WS_VISIBLE, parent, 0, 0, 10, 10, 103);
  EXPECT_EQ(TopDown(parent), (std::vector<HWND>{c, b, a}));
  SetWindowPos(a, HWND_TOP, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(TopDown(parent), (std::vector<HWND>{a, c, b}));
  SetWindowPos(c, HWND_BOTTOM, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE);
  EXPECT_EQ(TopDown(parent), (std::vector<HWND>{a, b, c}));
  SetFocus(b);
  ASSERT_TRUE(DestroyWindow(b));
  EXPECT_NE(GetFocus(), b);
  EXPECT_TRUE(IsWindow(parent));
  EXPECT_EQ(TopDown(parent), (std::vector<HWND>{a, c}));
  EXPECT_EQ(GetWindow(c, GW_HWNDPREV), a);
  EXPECT_EQ(GetDlgItem(parent, 102), nullptr);
  EXPECT_EQ(GetDlgItem(parent, 103), c);
}

TEST_F(WindowTest, AChildWhollyOffTheScreenPaintsOnlyOnceItComesIntoView) {
  HWND parent = Create(WS_VISIBLE, nullptr, 0, 30);
  HWND shown = Create(WS_CHILD | WS_VISIBLE, parent, 0, 0, 100, 20),
       hidden = Create(WS_CHILD | WS_VISIBLE, parent, 0, -500, 100, 20);
  platform.host.then([&](platform::Session&) {
    EXPECT_NE(Trace({shown}, {WM_PAINT}), "");
    EXPECT_EQ(Trace({hidden}, {WM_PAINT}), "");
    MoveWindow(hidden, 0, 40, 100, 20, TRUE);
  });
  platform.host.then([&](platform::Session&) { EXPECT_NE(Trace({hidden}, {WM_PAINT}), ""); });
  Run();
}

// ------------------------------------------------------------------ sending and posting

TEST_F(WindowTest, PostedMessagesArriveInOrderThenQuitWithItsCode) {
  HWND a = Create(0);
  HWND b = Create(0);
  HWND gone = Create(0);
  // Quit is asked for first but only comes once the posted messages are gone.
  PostQuitMessage(7);
  ASSERT_TRUE(PostMessageW(a, WM_USER + 1, 11, 0));
  ASSERT_TRUE(PostMessageW(gone, WM_USER + 9, 99, 0));
  ASSERT_TRUE(PostMessageW(b, WM_USER + 2, 22, 0));
  ASSERT_TRUE(PostMessageW(nullptr, WM_USER + 3, 33, 0));
  ASSERT_TRUE(PostMessageW(a, WM_USER + 4, 44, 0));
  DestroyWindow(gone);  // its message is dropped
  log.entries.clear();
  std::string got;
  MSG msg{};
  while (GetMessageW(&msg, nullptr, 0, 0)) {
    got += (msg.hwnd == a ? "a:" : msg.hwnd == b ? "b:" : msg.hwnd ? "?:" : "-:") +
           std::to_string(msg.message - WM_USER) + "=" + std::to_string(msg.wParam) + " ";
    DispatchMessageW(&msg);
  }
  EXPECT_EQ(got, "a:1=11 b:2=22 -:3=33 a:4=44 ");
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
  EXPECT_EQ(Trace({a, b}, {WM_USER + 1, WM_USER + 2, WM_USER + 4}), "w0:1025 w1:1026 w0:1028 ");
}

TEST_F(WindowTest, PeekMessageLeavesOrRemovesTheMessageInTheRange) {
  HWND hwnd = Create(0);
  PostMessageW(hwnd, WM_USER, 1, 0);
  for (UINT remove : {PM_NOREMOVE, PM_REMOVE}) {
    MSG msg{};
    ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, remove));
    EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
    EXPECT_EQ(msg.wParam, 1u);
  }
  MSG msg{};
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE)) << "message 0x" << std::hex << msg.message;

  // A window needs painting: does the range let WM_PAINT through?
  HWND painted = Create(WS_VISIBLE, nullptr, 0, 26, 100, 100);
  const struct { UINT min, max; bool paint; } ranges[] = {{0, 0, true},
                {WM_PAINT, WM_PAINT, true},
                {WM_MOVE, WM_CLOSE, true},
                {WM_USER, WM_USER + 10, false},
                {WM_KEYDOWN, WM_CHAR, false}};
  for (const auto& r : ranges) {
    InvalidateRect(painted, nullptr, TRUE);
    msg = MSG{};
    EXPECT_EQ(PeekMessageW(&msg, nullptr, r.min, r.max, PM_NOREMOVE) != FALSE, r.paint) << std::hex << r.min;
    EXPECT_EQ(msg.message, r.paint ? static_cast<UINT>(WM_PAINT) : 0u) << std::hex << r.min;
  }
}

// ------------------------------------------------------------------ geometry

TEST(DefaultGeometry, TopLevelFillsTheScreenBelowTheNavigationBar) {
  const struct {
    int width, height;
    RECT window;
  } cases[] = {{240, 320, {0, 26, 240, 320}}, {480, 640, {0, 52, 480, 640}}, {320, 240, {0, 26, 320, 240}}};
  for (const auto& c : cases) {
    testing_support::PlatformOptions options;
    options.screen_width = c.width;
    options.screen_height = c.height;
    testing_support::TestPlatform platform(options);
    HWND hwnd = testing_support::CreateParentWindow(platform, u"Plain", DefWindowProcW, u"");
    EXPECT_EQ(Str(WindowRect(hwnd)), Str(c.window)) << c.width;
    EXPECT_EQ(Str(ClientRect(hwnd)), Str({0, 0, c.window.right - c.window.left, c.window.bottom - c.window.top}));
  }
}

// A window sits in its parent's client area (the screen's without one) and
// moves with it; a border takes one pixel each side of its client area.
// WM_SIZE and WM_MOVE carry the client area, in the parent's client coordinates.
TEST_F(WindowTest, AWindowSitsInItsParentsClientAreaInsideItsBorder) {
  for (int parent_style : {-1, 0, int{WS_BORDER}})
    for (DWORD style : {DWORD{0}, DWORD{WS_BORDER}, DWORD{WS_CHILD}, DWORD{WS_CHILD | WS_BORDER}}) {
      SCOPED_TRACE(testing::Message() << parent_style << " " << style);
      HWND parent = parent_style < 0 ? nullptr : Create(WS_VISIBLE | parent_style, nullptr, 20, 50, 150, 150);
      if (!parent && (style & WS_CHILD)) continue;
      const int inset = style & WS_BORDER ? 1 : 0;
      log.entries.clear();
      HWND hwnd = Create(style | WS_VISIBLE, parent, 7, 9, 30, 20);
      std::vector<Recorded> got = log.only({WM_SIZE, WM_MOVE});
      ASSERT_EQ(Trace({hwnd}, {WM_SIZE, WM_MOVE}), "w0:WM_SIZE w0:WM_MOVE ");
      EXPECT_EQ(got[0].lparam, MAKELPARAM(30 - 2 * inset, 20 - 2 * inset));
      EXPECT_EQ(got[1].lparam, MAKELPARAM(7 + inset, 9 + inset));
      EXPECT_EQ(Str(ClientRect(hwnd)), Str({0, 0, 30 - 2 * inset, 20 - 2 * inset}));
      EXPECT_EQ(GetParent(hwnd), parent);
      for (int move = 0; move < (parent ? 2 : 1); ++move) {
        if (move) ASSERT_TRUE(MoveWindow(parent, 30, 60, 150, 150, TRUE));
        POINT o = parent ? ClientOrigin(parent) : POINT{0, 0}, origin = ClientOrigin(hwnd);
        EXPECT_EQ(Str(WindowRect(hwnd)), Str({o.x + 7, o.y + 9, o.x + 37, o.y + 29}));
        EXPECT_TRUE(origin.x == o.x + 7 + inset && origin.y == o.y + 9 + inset);
        EXPECT_TRUE(ScreenToClient(hwnd, &origin) && origin.x == 0 && origin.y == 0);
      }
      DestroyWindow(parent ? parent : hwnd);
      EXPECT_FALSE(IsWindow(hwnd));
    }
}

TEST_F(WindowTest, MovingAndSizingSendsMoveAndSizeOnlyForWhatChanged) {
  HWND hwnd = Create(0, nullptr, 10, 40, 100, 100);
  const struct { RECT to; std::string expected; } rows[] = {
      {{20, 50, 120, 150}, "w0:WM_MOVE "},
      {{20, 50, 100, 110}, "w0:WM_SIZE "},
      {{0, 30, 90, 100}, "w0:WM_SIZE w0:WM_MOVE "},
      {{0, 30, 90, 100}, ""},
  };
  for (const auto& r : rows) {
    log.entries.clear();
    ASSERT_TRUE(MoveWindow(hwnd, r.to.left, r.to.top, r.to.right - r.to.left, r.to.bottom - r.to.top, FALSE));
    EXPECT_EQ(Trace({hwnd}, {WM_SIZE, WM_MOVE}), r.expected) << Str(r.to);
    EXPECT_EQ(Str(WindowRect(hwnd)), Str(r.to));
  }
}

// ------------------------------------------------------------------ focus

TEST_F(WindowTest, SetFocusTellsTheOldWindowThenTheNewOneAndActivatesItsTopLevel) {
  HWND top = Create(WS_VISIBLE);
  HWND a = Create(WS_CHILD | WS_VISIBLE, top, 0, 0, 20, 20);
  HWND b = Create(WS_CHILD | WS_VISIBLE, top, 0, 30, 20, 20);
  EXPECT_EQ(SetFocus(a), top);
  log.entries.clear();
  EXPECT_EQ(SetFocus(b), a);
  EXPECT_EQ(GetFocus(), b);
  EXPECT_EQ(Trace({top, a, b}, {WM_KILLFOCUS, WM_SETFOCUS}, true), "w1:WM_KILLFOCUS(w2,0) w2:WM_SETFOCUS(w1,0) ");
  log.entries.clear();
  EXPECT_EQ(SetFocus(b), b);
  EXPECT_TRUE(log.only({WM_KILLFOCUS, WM_SETFOCUS}).empty()) << "focusing the focused window sends nothing";
  HWND second = Create(WS_VISIBLE);
  ASSERT_EQ(GetActiveWindow(), second);
  SetFocus(a);
  EXPECT_EQ(GetActiveWindow(), top);
  EXPECT_EQ(GetFocus(), a);
}

// The window that loses the capture is told who took it (nobody, when it is
// released); taking it again tells nobody.
TEST_F(WindowTest, CaptureTellsTheWindowThatLosesIt) {
  HWND top = Create(WS_VISIBLE);
  HWND a = Create(WS_CHILD | WS_VISIBLE, top, 0, 0, 20, 20);
  HWND b = Create(WS_CHILD | WS_VISIBLE, top, 0, 30, 20, 20);
  EXPECT_EQ(SetCapture(a), nullptr);
  EXPECT_EQ(SetCapture(a), a);
  EXPECT_EQ(SetCapture(b), a);
  EXPECT_EQ(GetCapture(), b);
  ReleaseCapture();
  EXPECT_EQ(GetCapture(), nullptr);
  EXPECT_EQ(Trace({top, a, b}, {WM_CAPTURECHANGED}, true), "w1:WM_CAPTURECHANGED(0,w2) w2:WM_CAPTURECHANGED(0,0) ");
}

// A tap goes to the topmost visible window under it: a hidden one above it
// is passed over until it is shown.
TEST_F(WindowTest, ATapGoesToTheTopmostVisibleWindowUnderIt) {
  HWND top = Create(WS_VISIBLE, nullptr, 0, 100);  // clear of the navigation bar
  HWND under = Create(WS_CHILD | WS_VISIBLE, top, 0, 0, 50, 50);
  HWND over = Create(WS_CHILD, top, 0, 0, 50, 50);
  POINT p{10, 10};
  ClientToScreen(top, &p);
  const auto tap = [&](platform::Session& s) {
    log.entries.clear();
    platform::PostMouse(s, WM_LBUTTONDOWN, p.x, p.y);
    platform::PostMouse(s, WM_LBUTTONUP, p.x, p.y);
  };
  platform.host.then(tap);
  platform.host.then([&](platform::Session& s) {
    EXPECT_EQ(Trace({top, under, over}, {WM_LBUTTONDOWN}), "w1:513 ");
    ShowWindow(over, SW_SHOW);
    tap(s);
  });
  platform.host.then([&](platform::Session&) { EXPECT_EQ(Trace({top, under, over}, {WM_LBUTTONDOWN}), "w2:513 "); });
  Run();
}

// ------------------------------------------------------------------ accelerators

TEST_F(WindowTest, TranslateAcceleratorSendsTheCommandToTheGivenWindow) {
  HWND target = Create(WS_VISIBLE);
  HWND key_window = Create(WS_CHILD | WS_VISIBLE, target);
  HACCEL accel = LoadAcceleratorsW(platform.instance, MAKEINTRESOURCEW(2));
  ASSERT_NE(accel, nullptr);
  const struct {
    const char* name;
    UINT message;
    WPARAM key;
    bool ctrl, shift;
    WORD command;  // the WM_COMMAND id, 0 when not translated
  } cases[] = {
      {"ctrl+Q", WM_KEYDOWN, 'Q', true, false, 40000},   {"ctrl+A", WM_KEYDOWN, 'A', true, false, 40002},
      {"Q without ctrl", WM_KEYDOWN, 'Q', false, false, 0}, {"ctrl+shift+Q", WM_KEYDOWN, 'Q', true, true, 0},
      {"ctrl+B has no entry", WM_KEYDOWN, 'B', true, false, 0}, {"key up of ctrl+Q", WM_KEYUP, 'Q', true, false, 0},
      {"character message", WM_CHAR, 'Q', true, false, 0},
  };
  auto& queue = platform.session.queue();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    queue.set_key_down(VK_CONTROL, c.ctrl);
    queue.set_key_down(VK_SHIFT, c.shift);
    log.entries.clear();
    MSG msg{key_window, c.message, c.key, 0, 0, {0, 0}};
    EXPECT_EQ(TranslateAcceleratorW(target, accel, &msg), c.command ? 1 : 0);
    EXPECT_EQ(Trace({target, key_window}, {WM_COMMAND}, true),
              c.command ? "w0:WM_COMMAND[1](" + std::to_string(MAKEWPARAM(c.command, 1)) + ",0) " : "");
  }
  queue.set_key_down(VK_SHIFT, false);
  queue.set_key_down(VK_CONTROL, false);
}

// ------------------------------------------------------------------ lines

struct LineCase { const char* name; POINT from, to; };

const LineCase kLines[] = {
    {"horizontal right", {10, 10}, {20, 10}},   {"horizontal left", {20, 12}, {10, 12}},
    {"vertical down", {30, 5}, {30, 15}},       {"vertical up", {32, 15}, {32, 5}},
    {"diagonal down-right", {40, 5}, {46, 11}}, {"diagonal up-left", {56, 11}, {50, 5}},
    {"single step", {60, 5}, {61, 5}},
};

// The straight and 45-degree lines of the table are drawn from the start up
// to the end, not on it, and not before the start.
void CheckLine(const platform::Screen& screen, POINT origin, const LineCase& c) {
  SCOPED_TRACE(c.name);
  int dx = (c.to.x > c.from.x) - (c.to.x < c.from.x), dy = (c.to.y > c.from.y) - (c.to.y < c.from.y);
  auto pixel = [&](int x, int y) { return screen.pixel(origin.x + x, origin.y + y); };
  for (POINT p = c.from; p.x != c.to.x || p.y != c.to.y; p.x += dx, p.y += dy)
    EXPECT_EQ(pixel(p.x, p.y), 0u) << "(" << p.x << "," << p.y << ") not drawn";
  EXPECT_EQ(pixel(c.to.x, c.to.y), 0xFFFFFFu) << "end point drawn";
  EXPECT_EQ(pixel(c.from.x - dx, c.from.y - dy), 0xFFFFFFu) << "drawn before the start";
}

void DrawLines(HDC dc, HWND hwnd) {
  RECT client = ClientRect(hwnd);
  FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
  for (const auto& c : kLines) {
    ASSERT_TRUE(MoveToEx(dc, c.from.x, c.from.y, nullptr));
    ASSERT_TRUE(LineTo(dc, c.to.x, c.to.y));
    POINT pos{-1, -1};
    MoveToEx(dc, 0, 0, &pos);
    EXPECT_TRUE(pos.x == c.to.x && pos.y == c.to.y) << "the current position is the end point";
  }
}

TEST_F(WindowTest, LinesDrawnInPaintAppearOnTheScreen) {
  log.reply = [&](HWND h, UINT msg, WPARAM, LPARAM) -> std::optional<LRESULT> {
    if (msg != WM_PAINT) return std::nullopt;
    PAINTSTRUCT ps;
    DrawLines(BeginPaint(h, &ps), h);
    EndPaint(h, &ps);
    return 0;
  };
  HWND painted = Create(WS_VISIBLE, nullptr, 0, 26, 200, 100);
  platform.host.then([&](platform::Session& s) {
    EXPECT_NE(Trace({painted}, {WM_PAINT}), "");
    for (const auto& c : kLines) CheckLine(s.screen(), ClientOrigin(painted), c);
  });
  Run();
}

}  // namespace
