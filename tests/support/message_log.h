// One recorder for every window test: the messages that watched windows
// receive, sent or posted, and a comparison with a table of the expected
// sequence, as Wine's ok_sequence does:
//
//   static const Message kDropDown[] = {{CB_SHOWDROPDOWN, sent},
//                                       {WM_COMMAND, sent | parent, CBN_DROPDOWN}, {0}};
//   ExpectSequence(log, kDropDown, "tap on the arrow opens the list");
//
// A log keeps only the kinds of message it is told to (keep_only), so a
// table lists what the test is about and nothing else. ControlRig is the
// parent window that control tests put their control on.
#pragma once

#include <gtest/gtest.h>

#include <commctrl.h>
#include <windows.h>

#include <functional>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "support/test_host.h"

namespace testing_support {

enum MessageFlags : unsigned {
  sent = 1u << 0,    // through SendMessage or a platform call
  posted = 1u << 1,  // through the queue
  parent = 1u << 2,  // received by the control's parent
  wparam = 1u << 3,  // `code` is the wParam to compare
  item = 1u << 4,    // a list view notification: compare item, new_state and old_state
};

// One line of an expected sequence; a line whose message is 0 ends it.
// `code` is WM_COMMAND's notification, WM_NOTIFY's NMHDR code, or with
// `wparam` the wParam itself.
struct Message {
  UINT message = 0;
  unsigned flags = 0;
  UINT code = 0;
  int item = 0;
  UINT new_state = 0;
  UINT old_state = 0;
};

// A message as received; what lParam points to is read at once, while it lives.
struct Recorded {
  HWND hwnd = nullptr;
  UINT message = 0;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
  unsigned flags = 0;
  UINT code = 0;
  int item = 0;
  UINT new_state = 0;
  UINT old_state = 0;
  LPARAM item_param = 0;  // NMLISTVIEW::lParam
};

inline std::string MessageName(UINT msg) {
  switch (msg) {
#define TALLYSET_NAME(m) \
  case m:                \
    return #m;
    TALLYSET_NAME(WM_NCCREATE) TALLYSET_NAME(WM_CREATE) TALLYSET_NAME(WM_SIZE) TALLYSET_NAME(WM_MOVE)
    TALLYSET_NAME(WM_SHOWWINDOW) TALLYSET_NAME(WM_ACTIVATE) TALLYSET_NAME(WM_SETFOCUS) TALLYSET_NAME(WM_KILLFOCUS)
    TALLYSET_NAME(WM_DESTROY) TALLYSET_NAME(WM_NCDESTROY) TALLYSET_NAME(WM_CLOSE) TALLYSET_NAME(WM_COMMAND)
    TALLYSET_NAME(WM_NOTIFY) TALLYSET_NAME(WM_PAINT) TALLYSET_NAME(WM_ERASEBKGND) TALLYSET_NAME(WM_LBUTTONDOWN)
    TALLYSET_NAME(WM_LBUTTONUP) TALLYSET_NAME(WM_MOUSEMOVE) TALLYSET_NAME(WM_KEYDOWN) TALLYSET_NAME(WM_CHAR)
    TALLYSET_NAME(WM_CAPTURECHANGED) TALLYSET_NAME(WM_SETTEXT) TALLYSET_NAME(CB_SHOWDROPDOWN)
#undef TALLYSET_NAME
    default:
      return std::to_string(msg);
  }
}

class MessageLog {
 public:
  MessageLog() { current_ = this; }
  ~MessageLog() {
    if (current_ == this) current_ = nullptr;
  }
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

  // The log that window procedures record into: one per test at a time.
  static MessageLog* current() { return current_; }

  // Records only these kinds from now on; an empty list records every kind.
  void keep_only(std::initializer_list<UINT> kinds) { kinds_ = kinds; }
  void set_parent(HWND hwnd) { parent_ = hwnd; }

  // Puts a recorder in front of `hwnd`'s window procedure.
  void watch(HWND hwnd) {
    platform::Window* w = platform::Session::current().windows().get(hwnd);
    if (!w || w->proc == &WatchedProc) return;
    procs_[hwnd] = w->proc;
    w->proc = &WatchedProc;
  }

  // For window procedures of test windows: records one received message.
  void record(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    bool was_posted = posting_ && posting_->hwnd == hwnd && posting_->message == msg;
    if (was_posted) posting_.reset();  // only the first arrival is the posted one
    if (!kinds_.empty() && !kinds_.count(msg)) return;
    Recorded r{hwnd, msg, wp, lp, was_posted ? posted : sent};
    if (hwnd == parent_) r.flags |= parent;
    if (msg == WM_COMMAND) r.code = HIWORD(wp);
    if (msg == WM_NOTIFY && lp) {
      const auto* header = reinterpret_cast<const NMHDR*>(lp);
      r.code = header->code;
      if (IsListViewNotification(header->code)) {
        const auto* nm = reinterpret_cast<const NMLISTVIEW*>(lp);
        r.item = nm->iItem;
        r.new_state = nm->uNewState;
        r.old_state = nm->uOldState;
        r.item_param = nm->lParam;
      }
    }
    entries_.push_back(r);
  }

  // Dispatches a message taken from the queue, marking it posted.
  void dispatch(const MSG& m) {
    posting_ = m;
    DispatchMessageW(&m);
    posting_.reset();
  }

  void clear() { entries_.clear(); }
  const std::vector<Recorded>& entries() const { return entries_; }
  size_t size() const { return entries_.size(); }
  bool empty() const { return entries_.empty(); }
  const Recorded& operator[](size_t i) const { return entries_[i]; }
  const Recorded& back() const { return entries_.back(); }
  auto begin() const { return entries_.begin(); }
  auto end() const { return entries_.end(); }

  // The entries of the given kinds, in order.
  std::vector<Recorded> only(std::initializer_list<UINT> kinds) const {
    std::vector<Recorded> out;
    for (const Recorded& r : entries_)
      for (UINT k : kinds)
        if (r.message == k) out.push_back(r);
    return out;
  }

  std::string describe() const {
    std::string out;
    for (const Recorded& r : entries_) out += Describe(r) + " ";
    return out;
  }

  static std::string Describe(const Recorded& r) {
    std::string out = MessageName(r.message);
    if (r.flags & parent) out = "parent:" + out;
    if (r.flags & posted) out += "(posted)";
    if (r.message == WM_COMMAND || r.message == WM_NOTIFY) out += "[" + std::to_string(static_cast<int>(r.code)) + "]";
    if (r.message == WM_NOTIFY && IsListViewNotification(r.code))
      out += "(" + std::to_string(r.item) + "," + std::to_string(r.new_state) + "<-" + std::to_string(r.old_state) + ")";
    return out;
  }

 private:
  static bool IsListViewNotification(UINT code) {
    return code == LVN_ITEMCHANGING || code == LVN_ITEMCHANGED || code == LVN_INSERTITEM || code == LVN_DELETEITEM ||
           code == LVN_DELETEALLITEMS || code == NM_CLICK;
  }

  static LRESULT CALLBACK WatchedProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    MessageLog* log = current_;
    if (!log) return DefWindowProcW(hwnd, msg, wp, lp);
    auto it = log->procs_.find(hwnd);
    if (it == log->procs_.end()) return DefWindowProcW(hwnd, msg, wp, lp);
    WNDPROC original = it->second;
    log->record(hwnd, msg, wp, lp);
    return CallWindowProcW(original, hwnd, msg, wp, lp);
  }

  static inline MessageLog* current_ = nullptr;
  std::vector<Recorded> entries_;
  std::set<UINT> kinds_;
  HWND parent_ = nullptr;
  std::map<HWND, WNDPROC> procs_;
  std::optional<MSG> posting_;
};

// Compares the log with `expected` (ended by a {0} line), line by line.
inline void ExpectSequence(const MessageLog& log, const Message* expected, const std::string& context) {
  size_t n = 0;
  while (expected[n].message) ++n;
  std::string got = log.describe();
  ASSERT_EQ(log.size(), n) << context << ": got " << got;
  for (size_t i = 0; i < n; ++i) {
    const Message& e = expected[i];
    const Recorded& r = log[i];
    SCOPED_TRACE(context + ", message " + std::to_string(i) + " of " + got);
    EXPECT_EQ(r.message, e.message) << MessageName(e.message);
    EXPECT_EQ(r.flags & (sent | posted | parent), e.flags & (sent | posted | parent));
    if (e.message == WM_COMMAND || e.message == WM_NOTIFY) {
      EXPECT_EQ(r.code, e.code);
    }
    if (e.flags & wparam) {
      EXPECT_EQ(r.wparam, static_cast<WPARAM>(e.code));
    }
    if (e.flags & item) {
      EXPECT_EQ(r.item, e.item);
      EXPECT_EQ(r.new_state, e.new_state);
      EXPECT_EQ(r.old_state, e.old_state);
    }
  }
}

inline void ExpectSequence(const MessageLog& log, std::vector<Message> expected, const std::string& context) {
  expected.push_back({});
  ExpectSequence(log, expected.data(), context);
}

// A control on a white parent that fills the work area, with the parent's
// and the control's messages recorded in `log`. One rig per test (or per
// table row), as only one platform runs at a time.
struct ControlRig {
  static constexpr int kControlId = 101;

  explicit ControlRig(PlatformOptions options = {}) : platform(std::move(options)) {
    current() = this;
    parent = CreateParentWindow(platform, u"ControlRigParent", &ParentProc, u"Controls");
    log.set_parent(parent);
  }
  ~ControlRig() { current() = nullptr; }
  ControlRig(const ControlRig&) = delete;
  ControlRig& operator=(const ControlRig&) = delete;

  int k() { return platform.session.screen().scale(); }
  platform::Session& session() { return platform.session; }

  // A visible child control of the parent, at a position in 240x320 pixels
  // times the scale, watched by the log.
  HWND create(const char16_t* cls, DWORD style, int x, int y, int w, int h, const char16_t* text = u"") {
    HWND hwnd = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x * k(), y * k(), w * k(), h * k(), parent,
                                reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(kControlId)), platform.instance,
                                nullptr);
    EXPECT_NE(hwnd, nullptr);
    log.watch(hwnd);
    return hwnd;
  }

  // Runs the actions given to platform.host, one per idle moment, with
  // every message taken from the queue recorded as posted.
  void run() {
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0)) {
      TranslateMessage(&m);
      log.dispatch(m);
    }
  }

  TestPlatform platform;
  MessageLog log;
  HWND parent = nullptr;
  // The parent's answer to a message, when the test wants another than
  // DefWindowProcW's (a TRUE to refuse LVN_ITEMCHANGING, say).
  std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)> reply;

 private:
  static ControlRig*& current() {
    static ControlRig* rig = nullptr;
    return rig;
  }

  static LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (MessageLog* log = MessageLog::current()) log->record(hwnd, msg, wp, lp);
    if (ControlRig* rig = current(); rig && rig->reply)
      if (std::optional<LRESULT> answer = rig->reply(hwnd, msg, wp, lp)) return *answer;
    return DefWindowProcW(hwnd, msg, wp, lp);
  }
};

}  // namespace testing_support
