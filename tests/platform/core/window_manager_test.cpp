// The window manager through the Win32 calls: message sequences of creation
// and destruction, stale handles, sending and posting, geometry, focus,
// accelerators and line drawing.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "platform/core/message_queue.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/core/screen.h"
#include "support/message_log.h"
#include "support/test_host.h"

namespace {

// ------------------------------------------------------------------ message recording

struct Seen {
  HWND hwnd;
  UINT msg;
  bool operator==(const Seen&) const = default;
};

// What the test windows received, in the shared log of the window tests.
testing_support::MessageLog g_log;
// Per-test behaviour hooks: return true when the message was handled and set *result.
std::function<bool(HWND, UINT, WPARAM, LPARAM, LRESULT*)> g_hook;

LRESULT CALLBACK RecordingProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  g_log.record(hwnd, msg, wp, lp);
  LRESULT result = 0;
  if (g_hook && g_hook(hwnd, msg, wp, lp, &result)) return result;
  return DefWindowProcW(hwnd, msg, wp, lp);
}

const char* Name(UINT msg) {
  switch (msg) {
    case WM_NCCREATE: return "WM_NCCREATE";
    case WM_CREATE: return "WM_CREATE";
    case WM_SIZE: return "WM_SIZE";
    case WM_MOVE: return "WM_MOVE";
    case WM_SHOWWINDOW: return "WM_SHOWWINDOW";
    case WM_ACTIVATE: return "WM_ACTIVATE";
    case WM_SETFOCUS: return "WM_SETFOCUS";
    case WM_KILLFOCUS: return "WM_KILLFOCUS";
    case WM_DESTROY: return "WM_DESTROY";
    case WM_NCDESTROY: return "WM_NCDESTROY";
    case WM_CLOSE: return "WM_CLOSE";
    case WM_COMMAND: return "WM_COMMAND";
    case WM_PAINT: return "WM_PAINT";
    case WM_ERASEBKGND: return "WM_ERASEBKGND";
    default: return nullptr;
  }
}

std::string Describe(const std::vector<Seen>& seen, const std::vector<HWND>& names) {
  std::string out;
  for (const auto& s : seen) {
    std::string who = "?";
    for (size_t i = 0; i < names.size(); ++i)
      if (names[i] == s.hwnd) who = "w" + std::to_string(i);
    const char* n = Name(s.msg);
    out += who + ":" + (n ? n : std::to_string(s.msg)) + " ";
  }
  return out;
}

// The recorded messages of a kind in `kinds`, in order.
std::vector<Seen> Only(std::initializer_list<UINT> kinds) {
  std::vector<Seen> out;
  for (const auto& r : g_log.only(kinds)) out.push_back({r.hwnd, r.message});
  return out;
}

// Every recorded message, in order.
std::vector<Seen> All() {
  std::vector<Seen> out;
  for (const auto& r : g_log) out.push_back({r.hwnd, r.message});
  return out;
}

constexpr const char16_t* kClass = u"RecordingWindow";

class WindowTest : public ::testing::Test {
 protected:
  explicit WindowTest(platform::SessionOptions options = {}) : platform_(std::move(options)) {
    g_log.clear();
    g_hook = nullptr;
    WNDCLASSW wc{};
    wc.lpfnWndProc = RecordingProc;
    wc.hInstance = platform_.instance;
    wc.lpszClassName = kClass;
    EXPECT_NE(RegisterClassW(&wc), 0);
  }
  ~WindowTest() override { g_hook = nullptr; }

  void Clear() {
    g_log.clear();
  }

  HWND Create(DWORD style, HWND parent = nullptr, int x = 0, int y = 0, int w = 100, int h = 100, int id = 0) {
    return CreateWindowExW(0, kClass, u"title", style, x, y, w, h, parent,
                           reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(id)), platform_.instance, nullptr);
  }

  platform::Session& session() { return platform_.session; }

  testing_support::TestPlatform platform_;
};

// ------------------------------------------------------------------ creation

struct CreationCase {
  const char* name;
  DWORD style;
  bool child;
  std::vector<UINT> expected;
};

TEST_F(WindowTest, CreationSendsTheMessagesInOrder) {
  HWND host = Create(WS_VISIBLE);
  ASSERT_NE(host, nullptr);
  const CreationCase cases[] = {
      {"hidden top-level", WS_OVERLAPPED, false, {WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}},
      {"visible top-level",
       WS_VISIBLE,
       false,
       {WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW, WM_ACTIVATE, WM_SETFOCUS}},
      {"hidden child", WS_CHILD, true, {WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE}},
      {"visible child", WS_CHILD | WS_VISIBLE, true, {WM_NCCREATE, WM_CREATE, WM_SIZE, WM_MOVE, WM_SHOWWINDOW}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    HWND hwnd = Create(c.style, c.child ? host : nullptr);
    ASSERT_NE(hwnd, nullptr);
    std::vector<Seen> expected;
    for (UINT m : c.expected) expected.push_back({hwnd, m});
    // Messages to other windows (the one losing activation) are not part of the table.
    std::vector<Seen> own;
    for (const Seen& s : All())
      if (s.hwnd == hwnd) own.push_back(s);
    EXPECT_EQ(own, expected) << Describe(own, {host, hwnd});
    DestroyWindow(hwnd);
  }
}

TEST_F(WindowTest, VisibleTopLevelBecomesActiveAndFocused) {
  HWND first = Create(WS_VISIBLE);
  ASSERT_NE(first, nullptr);
  Clear();
  HWND second = Create(WS_VISIBLE);
  ASSERT_NE(second, nullptr);
  EXPECT_EQ(GetActiveWindow(), second);
  EXPECT_EQ(GetFocus(), second);
  // The window that loses activation is told so, with the new one in lParam.
  std::vector<Seen> activations = Only({WM_ACTIVATE});
  ASSERT_EQ(activations.size(), 2u) << Describe(All(), {first, second});
  EXPECT_EQ(activations[0], (Seen{first, WM_ACTIVATE}));
  EXPECT_EQ(activations[1], (Seen{second, WM_ACTIVATE}));
  for (size_t i = 0; i < g_log.size(); ++i) {
    if (g_log[i].message != WM_ACTIVATE) continue;
    if (g_log[i].hwnd == first) {
      EXPECT_EQ(LOWORD(g_log[i].wparam), WA_INACTIVE);
      EXPECT_EQ(reinterpret_cast<HWND>(g_log[i].lparam), second);
    } else {
      EXPECT_EQ(LOWORD(g_log[i].wparam), WA_ACTIVE);
      EXPECT_EQ(reinterpret_cast<HWND>(g_log[i].lparam), first);
    }
  }
}

TEST_F(WindowTest, SizeAndMoveCarryTheClientAreaInParentCoordinates) {
  HWND parent = Create(WS_VISIBLE | WS_BORDER, nullptr, 10, 40, 200, 200);
  ASSERT_NE(parent, nullptr);
  struct Row {
    const char* name;
    DWORD style;
    int x, y, w, h;
    int client_w, client_h, move_x, move_y;
  } rows[] = {
      {"plain child", WS_CHILD, 5, 6, 50, 40, 50, 40, 5, 6},
      {"bordered child", WS_CHILD | WS_BORDER, 5, 6, 50, 40, 48, 38, 6, 7},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    Clear();
    HWND child = Create(r.style, parent, r.x, r.y, r.w, r.h);
    ASSERT_NE(child, nullptr);
    for (size_t i = 0; i < g_log.size(); ++i) {
      if (g_log[i].hwnd != child) continue;
      if (g_log[i].message == WM_SIZE) {
        EXPECT_EQ(LOWORD(g_log[i].lparam), r.client_w);
        EXPECT_EQ(HIWORD(g_log[i].lparam), r.client_h);
      }
      if (g_log[i].message == WM_MOVE) {
        EXPECT_EQ(static_cast<short>(LOWORD(g_log[i].lparam)), r.move_x);
        EXPECT_EQ(static_cast<short>(HIWORD(g_log[i].lparam)), r.move_y);
      }
    }
    EXPECT_EQ(Only({WM_SIZE}).size(), 1u);
    EXPECT_EQ(Only({WM_MOVE}).size(), 1u);
  }
}

TEST_F(WindowTest, WindowThatDestroysItselfInCreateIsNotReturned) {
  HWND created_inside = nullptr;
  g_hook = [&](HWND hwnd, UINT msg, WPARAM, LPARAM, LRESULT* result) {
    if (msg != WM_CREATE) return false;
    created_inside = hwnd;
    DestroyWindow(hwnd);
    *result = 0;
    return true;
  };
  HWND hwnd = Create(WS_VISIBLE);
  EXPECT_EQ(hwnd, nullptr);
  ASSERT_NE(created_inside, nullptr);
  g_hook = nullptr;

  // Destruction happened inside WM_CREATE; nothing follows it.
  ASSERT_FALSE(g_log.empty());
  EXPECT_EQ(All().back(), (Seen{created_inside, WM_NCDESTROY})) << Describe(All(), {created_inside});
  EXPECT_TRUE(Only({WM_SIZE, WM_MOVE, WM_SHOWWINDOW, WM_ACTIVATE}).empty()) << Describe(All(), {created_inside});

  // The handle seen inside is stale.
  Clear();
  EXPECT_FALSE(IsWindow(created_inside));
  EXPECT_EQ(SendMessageW(created_inside, WM_USER, 1, 2), 0);
  WCHAR text[16] = u"unchanged";
  EXPECT_EQ(GetWindowTextW(created_inside, text, 16), 0);
  EXPECT_EQ(text[0], 0);
  EXPECT_TRUE(g_log.empty()) << "a stale handle reached the window procedure";
  EXPECT_NE(GetActiveWindow(), created_inside);
  EXPECT_NE(GetFocus(), created_inside);
}

struct RefusalCase {
  const char* name;
  UINT refusing_msg;
  LRESULT refusal;
};

TEST_F(WindowTest, RefusingCreationReturnsNullAndEndsWithNcDestroy) {
  const RefusalCase cases[] = {
      {"WM_NCCREATE returns FALSE", WM_NCCREATE, FALSE},
      {"WM_CREATE returns -1", WM_CREATE, -1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Clear();
    HWND seen = nullptr;
    g_hook = [&](HWND hwnd, UINT msg, WPARAM, LPARAM, LRESULT* result) {
      if (msg != c.refusing_msg) return false;
      seen = hwnd;
      *result = c.refusal;
      return true;
    };
    EXPECT_EQ(Create(WS_VISIBLE), nullptr);
    g_hook = nullptr;
    ASSERT_NE(seen, nullptr);
    EXPECT_FALSE(IsWindow(seen));
    ASSERT_FALSE(g_log.empty());
    EXPECT_EQ(All().back(), (Seen{seen, WM_NCDESTROY})) << Describe(All(), {seen});
    if (c.refusing_msg == WM_NCCREATE) {
      EXPECT_TRUE(Only({WM_CREATE}).empty());
    }
    EXPECT_TRUE(Only({WM_SIZE, WM_MOVE, WM_SHOWWINDOW}).empty()) << Describe(All(), {seen});
  }
}

TEST_F(WindowTest, CreationFailsForUnknownClassOrStaleParent) {
  EXPECT_EQ(CreateWindowExW(0, u"NoSuchClass", u"", WS_VISIBLE, 0, 0, 10, 10, nullptr, nullptr, platform_.instance,
                            nullptr),
            nullptr);
  HWND parent = Create(0);
  ASSERT_TRUE(DestroyWindow(parent));
  Clear();
  EXPECT_EQ(Create(WS_CHILD, parent), nullptr);
  EXPECT_TRUE(g_log.empty()) << "a window with a stale parent was created";
}

TEST_F(WindowTest, ClassNamesAreCaseInsensitive) {
  HWND hwnd = CreateWindowExW(0, u"recordingwindow", u"", 0, 0, 0, 10, 10, nullptr, nullptr, platform_.instance,
                              nullptr);
  EXPECT_NE(hwnd, nullptr);
  WNDCLASSW again{};
  again.lpfnWndProc = RecordingProc;
  again.lpszClassName = u"RECORDINGWINDOW";
  EXPECT_EQ(RegisterClassW(&again), 0);
}

// ------------------------------------------------------------------ destruction

TEST_F(WindowTest, DestroyWindowSendsDestroyParentFirstAndNcDestroyChildrenFirst) {
  HWND parent = Create(WS_VISIBLE);
  HWND child_a = Create(WS_CHILD | WS_VISIBLE, parent);
  HWND grandchild = Create(WS_CHILD | WS_VISIBLE, child_a);
  HWND child_b = Create(WS_CHILD, parent);
  ASSERT_TRUE(parent && child_a && grandchild && child_b);
  Clear();
  ASSERT_TRUE(DestroyWindow(parent));

  std::vector<Seen> got = Only({WM_DESTROY, WM_NCDESTROY});
  std::vector<HWND> names{parent, child_a, grandchild, child_b};
  // WM_DESTROY: the parent before its children, down the tree.
  std::vector<HWND> destroy_order, ncdestroy_order;
  for (const auto& s : got) (s.msg == WM_DESTROY ? destroy_order : ncdestroy_order).push_back(s.hwnd);
  ASSERT_EQ(destroy_order.size(), 4u) << Describe(got, names);
  ASSERT_EQ(ncdestroy_order.size(), 4u) << Describe(got, names);
  auto pos = [](const std::vector<HWND>& v, HWND h) { return std::find(v.begin(), v.end(), h) - v.begin(); };
  EXPECT_EQ(destroy_order.front(), parent) << Describe(got, names);
  EXPECT_LT(pos(destroy_order, child_a), pos(destroy_order, grandchild)) << Describe(got, names);
  // WM_NCDESTROY: children before their parent, the parent last.
  EXPECT_EQ(ncdestroy_order.back(), parent) << Describe(got, names);
  EXPECT_LT(pos(ncdestroy_order, grandchild), pos(ncdestroy_order, child_a)) << Describe(got, names);
  // Every WM_DESTROY comes before any WM_NCDESTROY.
  EXPECT_EQ(got[3].msg, WM_DESTROY) << Describe(got, names);
  EXPECT_EQ(got[4].msg, WM_NCDESTROY) << Describe(got, names);

  for (HWND h : names) EXPECT_FALSE(IsWindow(h));
}

TEST_F(WindowTest, DestroyingAChildLeavesItsParentAndSiblings) {
  HWND parent = Create(WS_VISIBLE);
  HWND a = Create(WS_CHILD | WS_VISIBLE, parent, 0, 0, 10, 10, 101);
  HWND b = Create(WS_CHILD | WS_VISIBLE, parent, 0, 0, 10, 10, 102);
  ASSERT_TRUE(DestroyWindow(a));
  EXPECT_TRUE(IsWindow(parent));
  EXPECT_TRUE(IsWindow(b));
  EXPECT_EQ(GetDlgItem(parent, 101), nullptr);
  EXPECT_EQ(GetDlgItem(parent, 102), b);
  EXPECT_EQ(GetWindow(parent, GW_CHILD), b);
}

TEST_F(WindowTest, EveryCallRefusesAStaleHandle) {
  HWND hwnd = Create(WS_VISIBLE);
  ASSERT_NE(hwnd, nullptr);
  ASSERT_TRUE(DestroyWindow(hwnd));
  Clear();

  EXPECT_FALSE(IsWindow(hwnd));
  EXPECT_FALSE(IsWindowVisible(hwnd));
  EXPECT_EQ(SendMessageW(hwnd, WM_USER, 0, 0), 0);
  EXPECT_FALSE(PostMessageW(hwnd, WM_USER, 0, 0));
  EXPECT_FALSE(DestroyWindow(hwnd));
  WCHAR text[8] = u"xxxxxxx";
  EXPECT_EQ(GetWindowTextW(hwnd, text, 8), 0);
  EXPECT_EQ(text[0], 0);
  EXPECT_EQ(GetWindowTextLengthW(hwnd), 0);
  EXPECT_FALSE(SetWindowTextW(hwnd, u"new"));
  RECT r{1, 2, 3, 4};
  EXPECT_FALSE(GetClientRect(hwnd, &r));
  EXPECT_FALSE(GetWindowRect(hwnd, &r));
  EXPECT_EQ(SetFocus(hwnd), nullptr);
  EXPECT_NE(GetFocus(), hwnd);
  EXPECT_NE(GetActiveWindow(), hwnd);
  EXPECT_EQ(GetDC(hwnd), nullptr);
  EXPECT_TRUE(g_log.empty()) << "a stale handle reached the window procedure";

  // A new window does not bring the old handle back to life.
  HWND next = Create(0);
  ASSERT_NE(next, nullptr);
  EXPECT_NE(next, hwnd);
  EXPECT_FALSE(IsWindow(hwnd));
}

TEST_F(WindowTest, DestroyingTheActiveWindowActivatesTheNextOne) {
  HWND below = Create(WS_VISIBLE);
  HWND above = Create(WS_VISIBLE);
  ASSERT_EQ(GetActiveWindow(), above);
  Clear();
  ASSERT_TRUE(DestroyWindow(above));
  EXPECT_EQ(GetActiveWindow(), below);
  EXPECT_EQ(GetFocus(), below);
}

struct CloseCase {
  const char* name;
  bool handle_close;  // the procedure handles WM_CLOSE itself instead of passing it on
  bool destroyed;
};

TEST_F(WindowTest, DefaultCloseDestroysTheWindow) {
  const CloseCase cases[] = {
      {"passed to DefWindowProcW", false, true},
      {"handled by the window", true, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HWND hwnd = Create(WS_VISIBLE);
    ASSERT_NE(hwnd, nullptr);
    g_hook = [&](HWND, UINT msg, WPARAM, LPARAM, LRESULT* result) {
      if (msg != WM_CLOSE || !c.handle_close) return false;
      *result = 0;
      return true;
    };
    Clear();
    EXPECT_EQ(SendMessageW(hwnd, WM_CLOSE, 0, 0), 0);
    g_hook = nullptr;
    EXPECT_EQ(IsWindow(hwnd) == FALSE, c.destroyed);
    EXPECT_EQ(Only({WM_DESTROY}).size(), c.destroyed ? 1u : 0u);
    if (IsWindow(hwnd)) DestroyWindow(hwnd);
  }
}

// ------------------------------------------------------------------ sending and posting

TEST_F(WindowTest, NestedSendReturnsTheInnerResult) {
  HWND outer = Create(0);
  HWND inner = Create(0);
  ASSERT_TRUE(outer && inner);
  std::vector<std::string> order;
  g_hook = [&](HWND hwnd, UINT msg, WPARAM wp, LPARAM, LRESULT* result) {
    if (msg == WM_USER && hwnd == outer) {
      order.push_back("outer in");
      LRESULT r = SendMessageW(inner, WM_USER + 1, wp, 0);
      order.push_back("outer out");
      *result = r + 1;
      return true;
    }
    if (msg == WM_USER + 1 && hwnd == inner) {
      order.push_back("inner");
      *result = static_cast<LRESULT>(wp) * 10;
      return true;
    }
    return false;
  };
  for (WPARAM wp : {WPARAM{3}, WPARAM{7}}) {
    order.clear();
    EXPECT_EQ(SendMessageW(outer, WM_USER, wp, 0), static_cast<LRESULT>(wp) * 10 + 1);
    EXPECT_EQ(order, (std::vector<std::string>{"outer in", "inner", "outer out"}));
  }
  g_hook = nullptr;
}

TEST_F(WindowTest, SendReachesTheProcedureWithItsParameters) {
  HWND hwnd = Create(0);
  Clear();
  SendMessageW(hwnd, WM_USER + 5, 0x1234, 0x5678);
  ASSERT_EQ(g_log.size(), 1u);
  EXPECT_EQ(All()[0], (Seen{hwnd, WM_USER + 5}));
  EXPECT_EQ(g_log[0].wparam, 0x1234u);
  EXPECT_EQ(g_log[0].lparam, 0x5678);
}

TEST_F(WindowTest, PostedMessagesArriveInOrderThenQuitWithItsCode) {
  HWND a = Create(0);
  HWND b = Create(0);
  ASSERT_TRUE(a && b);
  // Quit is asked for first but only comes once the posted messages are gone.
  PostQuitMessage(7);
  ASSERT_TRUE(PostMessageW(a, WM_USER + 1, 11, 0));
  ASSERT_TRUE(PostMessageW(b, WM_USER + 2, 22, 0));
  ASSERT_TRUE(PostMessageW(nullptr, WM_USER + 3, 33, 0));
  ASSERT_TRUE(PostMessageW(a, WM_USER + 4, 44, 0));
  // Nothing is delivered while posting.
  EXPECT_TRUE(Only({WM_USER + 1, WM_USER + 2, WM_USER + 4}).empty());

  struct Expected {
    HWND hwnd;
    UINT msg;
    WPARAM wp;
  } expected[] = {{a, WM_USER + 1, 11}, {b, WM_USER + 2, 22}, {nullptr, WM_USER + 3, 33}, {a, WM_USER + 4, 44}};
  for (const auto& e : expected) {
    MSG msg{};
    ASSERT_EQ(GetMessageW(&msg, nullptr, 0, 0), TRUE);
    EXPECT_EQ(msg.hwnd, e.hwnd);
    EXPECT_EQ(msg.message, e.msg);
    EXPECT_EQ(msg.wParam, e.wp);
  }
  MSG msg{};
  EXPECT_EQ(GetMessageW(&msg, nullptr, 0, 0), FALSE);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_QUIT));
  EXPECT_EQ(msg.wParam, 7u);
}

TEST_F(WindowTest, DispatchDeliversPostedMessagesToTheirWindow) {
  HWND a = Create(0);
  HWND b = Create(0);
  PostMessageW(b, WM_USER + 1, 0, 0);
  PostMessageW(a, WM_USER + 2, 0, 0);
  PostQuitMessage(0);
  Clear();
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0)) DispatchMessageW(&msg);
  EXPECT_EQ(Only({WM_USER + 1, WM_USER + 2}), (std::vector<Seen>{{b, WM_USER + 1}, {a, WM_USER + 2}}));
}

TEST_F(WindowTest, MessagesPostedToADestroyedWindowAreDropped) {
  HWND gone = Create(0);
  HWND stays = Create(0);
  PostMessageW(gone, WM_USER + 1, 0, 0);
  PostMessageW(stays, WM_USER + 2, 0, 0);
  DestroyWindow(gone);
  PostQuitMessage(3);
  MSG msg{};
  ASSERT_TRUE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.hwnd, stays);
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER + 2));
  EXPECT_FALSE(GetMessageW(&msg, nullptr, 0, 0));
  EXPECT_EQ(msg.wParam, 3u);
}

TEST_F(WindowTest, PeekMessageLeavesOrRemovesTheMessage) {
  HWND hwnd = Create(0);
  PostMessageW(hwnd, WM_USER, 1, 0);
  MSG msg{};
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_NOREMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  EXPECT_EQ(msg.wParam, 1u);
  ASSERT_TRUE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE));
  EXPECT_EQ(msg.message, static_cast<UINT>(WM_USER));
  EXPECT_EQ(msg.wParam, 1u);
  msg = MSG{};
  EXPECT_FALSE(PeekMessageW(&msg, nullptr, WM_USER, WM_USER, PM_REMOVE))
      << "returned message 0x" << std::hex << msg.message;
}

struct FilterCase {
  const char* name;
  UINT min, max;
  bool paint_expected;  // a window needs painting; does the range let WM_PAINT through?
};

TEST_F(WindowTest, MessageRangeFilterAppliesToPaintRequests) {
  HWND hwnd = Create(WS_VISIBLE, nullptr, 0, 26, 100, 100);
  ASSERT_NE(hwnd, nullptr);
  const FilterCase cases[] = {
      {"no range", 0, 0, true},
      {"exactly WM_PAINT", WM_PAINT, WM_PAINT, true},
      {"range around WM_PAINT", WM_MOVE, WM_CLOSE, true},
      {"user messages only", WM_USER, WM_USER + 10, false},
      {"keyboard messages only", WM_KEYDOWN, WM_CHAR, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    InvalidateRect(hwnd, nullptr, TRUE);
    MSG msg{};
    BOOL got = PeekMessageW(&msg, nullptr, c.min, c.max, PM_NOREMOVE);
    EXPECT_EQ(got != FALSE, c.paint_expected) << "message 0x" << std::hex << msg.message;
    if (got) {
      EXPECT_EQ(msg.message, static_cast<UINT>(WM_PAINT));
    }
  }
}

// ------------------------------------------------------------------ geometry

struct ScreenCase {
  int width, height;
  RECT window;
};

TEST(DefaultGeometry, TopLevelFillsTheScreenBelowTheNavigationBar) {
  const ScreenCase cases[] = {
      {240, 320, {0, 26, 240, 320}},
      {480, 640, {0, 52, 480, 640}},
      {320, 240, {0, 26, 320, 240}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(testing::Message() << c.width << "x" << c.height);
    platform::SessionOptions options;
    options.screen_width = c.width;
    options.screen_height = c.height;
    testing_support::TestPlatform platform(options);
    WNDCLASSW wc{};
    wc.lpfnWndProc = DefWindowProcW;
    wc.lpszClassName = u"Plain";
    ASSERT_NE(RegisterClassW(&wc), 0);
    HWND hwnd = CreateWindowExW(0, u"Plain", u"", WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                                CW_USEDEFAULT, nullptr, nullptr, platform.instance, nullptr);
    ASSERT_NE(hwnd, nullptr);
    RECT r{};
    ASSERT_TRUE(GetWindowRect(hwnd, &r));
    EXPECT_EQ(r.left, c.window.left);
    EXPECT_EQ(r.top, c.window.top);
    EXPECT_EQ(r.right, c.window.right);
    EXPECT_EQ(r.bottom, c.window.bottom);
    RECT client{};
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.top, 0);
    EXPECT_EQ(client.right, c.window.right - c.window.left);
    EXPECT_EQ(client.bottom, c.window.bottom - c.window.top);
  }
}

struct BorderCase {
  const char* name;
  DWORD style;
  int inset;  // pixels the client area loses on each side
};

TEST_F(WindowTest, BorderShrinksTheClientAreaByOnePixelEachSide) {
  HWND parent = Create(WS_VISIBLE, nullptr, 0, 30, 200, 200);
  const BorderCase cases[] = {
      {"child without border", WS_CHILD | WS_VISIBLE, 0},
      {"child with border", WS_CHILD | WS_VISIBLE | WS_BORDER, 1},
      {"top-level with border", WS_VISIBLE | WS_BORDER, 1},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    bool child = (c.style & WS_CHILD) != 0;
    HWND hwnd = Create(c.style, child ? parent : nullptr, 10, 20, 60, 40);
    ASSERT_NE(hwnd, nullptr);
    RECT client{};
    ASSERT_TRUE(GetClientRect(hwnd, &client));
    EXPECT_EQ(client.left, 0);
    EXPECT_EQ(client.top, 0);
    EXPECT_EQ(client.right, 60 - 2 * c.inset);
    EXPECT_EQ(client.bottom, 40 - 2 * c.inset);
    RECT window{};
    ASSERT_TRUE(GetWindowRect(hwnd, &window));
    POINT origin{0, 0};
    ASSERT_TRUE(ClientToScreen(hwnd, &origin));
    EXPECT_EQ(origin.x, window.left + c.inset);
    EXPECT_EQ(origin.y, window.top + c.inset);
    POINT back = origin;
    ASSERT_TRUE(ScreenToClient(hwnd, &back));
    EXPECT_EQ(back.x, 0);
    EXPECT_EQ(back.y, 0);
    DestroyWindow(hwnd);
  }
}

struct PlacementCase {
  const char* name;
  DWORD parent_style;
  DWORD child_style;
};

TEST_F(WindowTest, WindowWithAParentIsPlacedInTheParentsClientCoordinates) {
  const PlacementCase cases[] = {
      {"child", WS_VISIBLE, WS_CHILD | WS_VISIBLE},
      {"parent but no WS_CHILD", WS_VISIBLE, WS_VISIBLE},
      {"bordered parent", WS_VISIBLE | WS_BORDER, WS_CHILD | WS_VISIBLE},
      {"bordered parent, no WS_CHILD", WS_VISIBLE | WS_BORDER, WS_VISIBLE},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    HWND parent = Create(c.parent_style, nullptr, 20, 50, 150, 150);
    ASSERT_NE(parent, nullptr);
    HWND hwnd = Create(c.child_style, parent, 7, 9, 30, 20);
    ASSERT_NE(hwnd, nullptr);
    POINT parent_origin{0, 0};
    ASSERT_TRUE(ClientToScreen(parent, &parent_origin));
    RECT r{};
    ASSERT_TRUE(GetWindowRect(hwnd, &r));
    EXPECT_EQ(r.left, parent_origin.x + 7);
    EXPECT_EQ(r.top, parent_origin.y + 9);
    EXPECT_EQ(r.right - r.left, 30);
    EXPECT_EQ(r.bottom - r.top, 20);
    EXPECT_EQ(GetParent(hwnd), parent);
    // Moving the parent moves the window with it.
    ASSERT_TRUE(MoveWindow(parent, 30, 60, 150, 150, TRUE));
    POINT moved_origin{0, 0};
    ASSERT_TRUE(ClientToScreen(parent, &moved_origin));
    ASSERT_TRUE(GetWindowRect(hwnd, &r));
    EXPECT_EQ(r.left, moved_origin.x + 7);
    EXPECT_EQ(r.top, moved_origin.y + 9);
    DestroyWindow(parent);
    EXPECT_FALSE(IsWindow(hwnd));
  }
}

TEST_F(WindowTest, MovingAndSizingSendsMoveAndSizeOnlyForWhatChanged) {
  HWND hwnd = Create(0, nullptr, 10, 40, 100, 100);
  struct Row {
    const char* name;
    int x, y, w, h;
    std::vector<UINT> expected;
  } rows[] = {
      {"move only", 20, 50, 100, 100, {WM_MOVE}},
      {"size only", 20, 50, 80, 60, {WM_SIZE}},
      {"both", 0, 30, 90, 70, {WM_SIZE, WM_MOVE}},
      {"nothing", 0, 30, 90, 70, {}},
  };
  for (const auto& r : rows) {
    SCOPED_TRACE(r.name);
    Clear();
    ASSERT_TRUE(MoveWindow(hwnd, r.x, r.y, r.w, r.h, FALSE));
    std::vector<Seen> got = Only({WM_SIZE, WM_MOVE});
    std::vector<Seen> expected;
    for (UINT m : r.expected) expected.push_back({hwnd, m});
    EXPECT_EQ(got, expected) << Describe(got, {hwnd});
    RECT rect{};
    GetWindowRect(hwnd, &rect);
    EXPECT_EQ(rect.left, r.x);
    EXPECT_EQ(rect.top, r.y);
    EXPECT_EQ(rect.right, r.x + r.w);
    EXPECT_EQ(rect.bottom, r.y + r.h);
  }
}

// ------------------------------------------------------------------ focus

TEST_F(WindowTest, SetFocusTellsTheOldWindowThenTheNewOne) {
  HWND top = Create(WS_VISIBLE);
  HWND a = Create(WS_CHILD | WS_VISIBLE, top, 0, 0, 20, 20);
  HWND b = Create(WS_CHILD | WS_VISIBLE, top, 0, 30, 20, 20);
  ASSERT_TRUE(top && a && b);
  EXPECT_EQ(SetFocus(a), top);
  ASSERT_EQ(GetFocus(), a);

  Clear();
  EXPECT_EQ(SetFocus(b), a);
  EXPECT_EQ(GetFocus(), b);
  std::vector<Seen> got = Only({WM_KILLFOCUS, WM_SETFOCUS});
  ASSERT_EQ(got, (std::vector<Seen>{{a, WM_KILLFOCUS}, {b, WM_SETFOCUS}})) << Describe(got, {top, a, b});
  for (size_t i = 0; i < g_log.size(); ++i) {
    if (g_log[i].message == WM_KILLFOCUS) {
      EXPECT_EQ(reinterpret_cast<HWND>(g_log[i].wparam), b);
    }
    if (g_log[i].message == WM_SETFOCUS) {
      EXPECT_EQ(reinterpret_cast<HWND>(g_log[i].wparam), a);
    }
  }

  // Focusing the window that has it already sends nothing.
  Clear();
  EXPECT_EQ(SetFocus(b), b);
  EXPECT_TRUE(Only({WM_KILLFOCUS, WM_SETFOCUS}).empty());
}

TEST_F(WindowTest, DestroyingTheFocusedWindowLeavesNoStaleFocus) {
  HWND top = Create(WS_VISIBLE);
  HWND a = Create(WS_CHILD | WS_VISIBLE, top);
  SetFocus(a);
  ASSERT_EQ(GetFocus(), a);
  DestroyWindow(a);
  EXPECT_NE(GetFocus(), a);
}

TEST_F(WindowTest, FocusingAWindowOfAnotherTopLevelActivatesIt) {
  HWND first = Create(WS_VISIBLE);
  HWND first_child = Create(WS_CHILD | WS_VISIBLE, first);
  HWND second = Create(WS_VISIBLE);
  ASSERT_EQ(GetActiveWindow(), second);
  SetFocus(first_child);
  EXPECT_EQ(GetActiveWindow(), first);
  EXPECT_EQ(GetFocus(), first_child);
}

// ------------------------------------------------------------------ accelerators

struct AcceleratorCase {
  const char* name;
  UINT message;
  WPARAM key;
  bool ctrl, shift;
  int translated;
  WORD command;  // expected WM_COMMAND id when translated
};

TEST_F(WindowTest, TranslateAcceleratorSendsTheCommandToTheGivenWindow) {
  HWND target = Create(WS_VISIBLE);
  HWND key_window = Create(WS_CHILD | WS_VISIBLE, target);
  ASSERT_TRUE(target && key_window);
  HACCEL accel = LoadAcceleratorsW(platform_.instance, MAKEINTRESOURCEW(2));
  ASSERT_NE(accel, nullptr);
  const AcceleratorCase cases[] = {
      {"ctrl+Q", WM_KEYDOWN, 'Q', true, false, 1, 40000},
      {"ctrl+A", WM_KEYDOWN, 'A', true, false, 1, 40002},
      {"Q without ctrl", WM_KEYDOWN, 'Q', false, false, 0, 0},
      {"ctrl+shift+Q", WM_KEYDOWN, 'Q', true, true, 0, 0},
      {"ctrl+B has no entry", WM_KEYDOWN, 'B', true, false, 0, 0},
      {"key up of ctrl+Q", WM_KEYUP, 'Q', true, false, 0, 0},
      {"character message", WM_CHAR, 'Q', true, false, 0, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    session().queue().set_key_down(VK_CONTROL, c.ctrl);
    session().queue().set_key_down(VK_SHIFT, c.shift);
    Clear();
    MSG msg{key_window, c.message, c.key, 0, 0, {0, 0}};
    EXPECT_EQ(TranslateAcceleratorW(target, accel, &msg), c.translated);
    std::vector<Seen> commands = Only({WM_COMMAND});
    if (c.translated) {
      ASSERT_EQ(commands, (std::vector<Seen>{{target, WM_COMMAND}}));
      for (size_t i = 0; i < g_log.size(); ++i) {
        if (g_log[i].message != WM_COMMAND) continue;
        EXPECT_EQ(g_log[i].wparam, MAKEWPARAM(c.command, 1));
        EXPECT_EQ(g_log[i].lparam, 0);
      }
    } else {
      EXPECT_TRUE(commands.empty());
    }
  }
  session().queue().set_key_down(VK_CONTROL, false);
  session().queue().set_key_down(VK_SHIFT, false);
  EXPECT_TRUE(DestroyAcceleratorTable(accel));
}

TEST_F(WindowTest, TranslateAcceleratorRefusesAStaleTable) {
  HWND target = Create(WS_VISIBLE);
  HACCEL accel = LoadAcceleratorsW(platform_.instance, MAKEINTRESOURCEW(2));
  ASSERT_NE(accel, nullptr);
  ASSERT_TRUE(DestroyAcceleratorTable(accel));
  session().queue().set_key_down(VK_CONTROL, true);
  Clear();
  MSG msg{target, WM_KEYDOWN, 'Q', 0, 0, {0, 0}};
  EXPECT_EQ(TranslateAcceleratorW(target, accel, &msg), 0);
  EXPECT_TRUE(Only({WM_COMMAND}).empty());
  session().queue().set_key_down(VK_CONTROL, false);
}

// ------------------------------------------------------------------ lines

struct LineCase {
  const char* name;
  POINT from, to;
};

constexpr std::uint32_t kWhite = 0xFFFFFF;
constexpr std::uint32_t kBlack = 0x000000;

// Pixels a line from `from` to `to` covers, end excluded, for the straight
// and 45-degree lines of the table.
std::vector<POINT> ExpectedPixels(POINT from, POINT to) {
  std::vector<POINT> out;
  int dx = (to.x > from.x) - (to.x < from.x);
  int dy = (to.y > from.y) - (to.y < from.y);
  for (POINT p = from; !(p.x == to.x && p.y == to.y); p.x += dx, p.y += dy) out.push_back(p);
  return out;
}

const LineCase kLines[] = {
    {"horizontal right", {10, 10}, {20, 10}},
    {"horizontal left", {20, 12}, {10, 12}},
    {"vertical down", {30, 5}, {30, 15}},
    {"vertical up", {32, 15}, {32, 5}},
    {"diagonal down-right", {40, 5}, {46, 11}},
    {"diagonal up-left", {56, 11}, {50, 5}},
    {"single step", {60, 5}, {61, 5}},
};

void CheckLine(const platform::Screen& screen, POINT origin, const LineCase& c) {
  std::vector<POINT> on = ExpectedPixels(c.from, c.to);
  for (POINT p : on)
    EXPECT_EQ(screen.pixel(origin.x + p.x, origin.y + p.y), kBlack) << "(" << p.x << "," << p.y << ") not drawn";
  EXPECT_EQ(screen.pixel(origin.x + c.to.x, origin.y + c.to.y), kWhite) << "end point drawn";
  // The point before the start stays untouched.
  int bx = c.from.x - ((c.to.x > c.from.x) - (c.to.x < c.from.x));
  int by = c.from.y - ((c.to.y > c.from.y) - (c.to.y < c.from.y));
  EXPECT_EQ(screen.pixel(origin.x + bx, origin.y + by), kWhite) << "drawn before the start";
}

TEST_F(WindowTest, LineToDrawsFromTheStartUpToButNotIncludingTheEnd) {
  HWND hwnd = Create(WS_VISIBLE | WS_BORDER, nullptr, 5, 40, 120, 60);
  ASSERT_NE(hwnd, nullptr);
  for (const auto& c : kLines) {
    SCOPED_TRACE(c.name);
    HDC dc = GetDC(hwnd);
    ASSERT_NE(dc, nullptr);
    RECT client;
    GetClientRect(hwnd, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    ASSERT_TRUE(MoveToEx(dc, c.from.x, c.from.y, nullptr));
    ASSERT_TRUE(LineTo(dc, c.to.x, c.to.y));
    // The current position is now the end point.
    POINT pos{-1, -1};
    MoveToEx(dc, 0, 0, &pos);
    EXPECT_EQ(pos.x, c.to.x);
    EXPECT_EQ(pos.y, c.to.y);
    ReleaseDC(hwnd, dc);
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    CheckLine(session().screen(), origin, c);
  }
}

TEST_F(WindowTest, LinesDrawnInPaintAppearOnTheScreen) {
  HWND hwnd = nullptr;
  g_hook = [&](HWND h, UINT msg, WPARAM, LPARAM, LRESULT* result) {
    if (msg != WM_PAINT) return false;
    PAINTSTRUCT ps;
    HDC dc = BeginPaint(h, &ps);
    RECT client;
    GetClientRect(h, &client);
    FillRect(dc, &client, static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH)));
    for (const auto& c : kLines) {
      MoveToEx(dc, c.from.x, c.from.y, nullptr);
      LineTo(dc, c.to.x, c.to.y);
    }
    EndPaint(h, &ps);
    *result = 0;
    return true;
  };
  hwnd = Create(WS_VISIBLE, nullptr, 0, 26, 200, 100);
  ASSERT_NE(hwnd, nullptr);
  bool checked = false;
  platform_.host.then([&](platform::Session& s) {
    checked = true;
    POINT origin{0, 0};
    ClientToScreen(hwnd, &origin);
    for (const auto& c : kLines) {
      SCOPED_TRACE(c.name);
      CheckLine(s.screen(), origin, c);
    }
  });
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0)) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  g_hook = nullptr;
  EXPECT_TRUE(checked);
  EXPECT_GT(Only({WM_PAINT}).size(), 0u);
}

}  // namespace
