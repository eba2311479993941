// One recorder for every window test: the messages that test windows and
// watched controls receive, and a comparison with a table of the expected
// sequence, as Wine's ok_sequence does:
//
//   ExpectSequence(rig.log, {{CB_SHOWDROPDOWN}, {WM_COMMAND, parent, CBN_DROPDOWN}}, "the list opens");
//
// A log keeps only the kinds of message it is told to (keep_only), so a
// table lists what the test is about and nothing else. ControlRig is the
// parent window that control tests put their control on.
#pragma once

#include <gtest/gtest.h>

#include <commctrl.h>
#include <windows.h>

#include <algorithm>
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
  parent = 1u << 0,  // received by the log's parent window
  item = 1u << 1,    // a list view notification: compare item, new_state and old_state too
};

// One line of an expected sequence. `code` is WM_COMMAND's notification or
// WM_NOTIFY's NMHDR code.
struct Message {
  UINT message = 0;
  unsigned flags = 0;
  UINT code = 0;
  int item = 0;
  UINT new_state = 0, old_state = 0;
};

// A message as received; what lParam points to is read at once, while it lives.
struct Recorded : Message {
  HWND hwnd = nullptr;
  WPARAM wparam = 0;
  LPARAM lparam = 0;
};

inline std::string Describe(const Message& m, bool items) {
#define TALLYSET_NAME(m) {m, #m},
  static const std::map<UINT, const char*> kNames = {
      TALLYSET_NAME(WM_NCCREATE) TALLYSET_NAME(WM_CREATE) TALLYSET_NAME(WM_SIZE) TALLYSET_NAME(WM_MOVE)
      TALLYSET_NAME(WM_SHOWWINDOW) TALLYSET_NAME(WM_ACTIVATE) TALLYSET_NAME(WM_SETFOCUS) TALLYSET_NAME(WM_KILLFOCUS)
      TALLYSET_NAME(WM_DESTROY) TALLYSET_NAME(WM_NCDESTROY) TALLYSET_NAME(WM_CLOSE) TALLYSET_NAME(WM_COMMAND)
      TALLYSET_NAME(WM_NOTIFY) TALLYSET_NAME(WM_PAINT) TALLYSET_NAME(WM_ERASEBKGND) TALLYSET_NAME(WM_CAPTURECHANGED) TALLYSET_NAME(CB_SHOWDROPDOWN)};
#undef TALLYSET_NAME
  auto name = kNames.find(m.message);
  std::string out = (m.flags & parent ? "parent:" : "") +
                    (name != kNames.end() ? std::string(name->second) : std::to_string(m.message));
  if (m.message == WM_COMMAND || m.message == WM_NOTIFY) out += "[" + std::to_string(static_cast<int>(m.code)) + "]";
  if (items) out += "(" + std::to_string(m.item) + "," + std::to_string(m.new_state) + "<-" + std::to_string(m.old_state) + ")";
  return out;
}

class MessageLog {
 public:
  MessageLog() { current_ = this; }
  ~MessageLog() { current_ = current_ == this ? nullptr : current_; }
  MessageLog(const MessageLog&) = delete;
  MessageLog& operator=(const MessageLog&) = delete;

  // Records only these kinds from now on; an empty list records every kind.
  void keep_only(std::initializer_list<UINT> kinds) { kinds_ = kinds; }
  void set_parent(HWND hwnd) { parent_ = hwnd; }

  // Puts the recorder in front of `hwnd`'s window procedure.
  void watch(HWND hwnd) {
    platform::Window* w = platform::Session::current().windows().get(hwnd);
    if (!w || w->proc == &WatchedProc) return;
    originals_[hwnd] = w->proc;
    w->proc = &WatchedProc;
  }

  // The window procedure of test windows: records the message, then answers
  // with `reply` when it has an answer (a TRUE to refuse LVN_ITEMCHANGING,
  // say), else with DefWindowProcW.
  static LRESULT CALLBACK Proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (MessageLog* log = current_) {
      log->record(hwnd, msg, wp, lp);
      if (log->reply)
        if (std::optional<LRESULT> answer = log->reply(hwnd, msg, wp, lp)) return *answer;
    }
    return DefWindowProcW(hwnd, msg, wp, lp);
  }

  void record(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (!kinds_.empty() && !kinds_.count(msg)) return;
    Recorded r{{msg, hwnd == parent_ ? unsigned{parent} : 0u}, hwnd, wp, lp};
    if (msg == WM_COMMAND) r.code = HIWORD(wp);
    if (msg == WM_NOTIFY && lp) {
      const auto* nm = reinterpret_cast<const NMLISTVIEW*>(lp);
      r.code = nm->hdr.code;
      if (r.code == LVN_ITEMCHANGING || r.code == LVN_ITEMCHANGED || r.code == LVN_DELETEITEM || r.code == NM_CLICK) {
        r.item = nm->iItem;
        r.new_state = nm->uNewState;
        r.old_state = nm->uOldState;
      }
    }
    entries.push_back(r);
  }

  // The entries of the given kinds, in order.
  std::vector<Recorded> only(std::initializer_list<UINT> kinds) const {
    std::vector<Recorded> out;
    std::copy_if(entries.begin(), entries.end(), std::back_inserter(out),
                 [&](const Recorded& r) { return std::find(kinds.begin(), kinds.end(), r.message) != kinds.end(); });
    return out;
  }

  std::vector<Recorded> entries;
  std::function<std::optional<LRESULT>(HWND, UINT, WPARAM, LPARAM)> reply;

 private:
  static LRESULT CALLBACK WatchedProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (current_) current_->record(hwnd, msg, wp, lp);
    return CallWindowProcW(originals_.at(hwnd), hwnd, msg, wp, lp);
  }

  static inline MessageLog* current_ = nullptr;
  static inline std::map<HWND, WNDPROC> originals_;  // outlives the log: the windows may too
  std::set<UINT> kinds_;
  HWND parent_ = nullptr;
};

// WM_COMMAND notifications to the parent, in order.
inline std::vector<Message> Commands(const std::vector<WORD>& codes) {
  std::vector<Message> out;
  for (WORD code : codes) out.push_back({WM_COMMAND, parent, code});
  return out;
}

inline RECT WindowRect(HWND hwnd) { RECT r{}; GetWindowRect(hwnd, &r); return r; }
inline POINT Centre(const RECT& r) { return {(r.left + r.right) / 2, (r.top + r.bottom) / 2}; }

// Compares the log with `expected`, both written out, so that a mismatch
// shows the two whole sequences.
inline void ExpectSequence(const MessageLog& log, const std::vector<Message>& expected, const std::string& context) {
  std::string want, got;
  for (size_t i = 0; i < std::max(expected.size(), log.entries.size()); ++i) {
    bool items = i < expected.size() && (expected[i].flags & item);
    if (i < expected.size()) want += Describe(expected[i], items) + " ";
    if (i < log.entries.size()) got += Describe(log.entries[i], items) + " ";
  }
  EXPECT_EQ(got, want) << context;
}

// A control on a white parent that fills the work area, with the parent's
// and the control's messages recorded in `log`. One rig at a time, as only
// one platform runs at a time.
struct ControlRig {
  static constexpr int kControlId = 101;

  explicit ControlRig(PlatformOptions options = {}) : platform(std::move(options)) {
    log.set_parent(parent = CreateParentWindow(platform, u"ControlRigParent", &MessageLog::Proc, u"Controls"));
    log.entries.clear();
  }

  int k() { return platform.session.screen().scale(); }
  platform::Session& session() { return platform.session; }

  // A visible child control of the parent at a place in 240x320 pixels
  // times the scale, watched by the log.
  HWND create(const char16_t* cls, DWORD style, int x, int y, int w, int h, const char16_t* text = u"") {
    HWND hwnd = CreateWindowExW(0, cls, text, WS_CHILD | WS_VISIBLE | style, x * k(), y * k(), w * k(), h * k(), parent,
                                reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(kControlId)), platform.instance,
                                nullptr);
    EXPECT_NE(hwnd, nullptr);
    log.watch(hwnd);
    return hwnd;
  }

  // Queues an action for an idle moment of run().
  void then(std::function<void(platform::Session&)> action) { platform.host.then(std::move(action)); }
  // Runs the queued actions, one per idle moment, until the program closes.
  void run() {
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }

  TestPlatform platform;
  MessageLog log;
  HWND parent = nullptr;
};

}  // namespace testing_support
