#include "platform/core/message_queue.h"

#include <cstdio>

#include "platform/core/host.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/core/screen.h"

namespace platform {

void MessageQueue::post(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  MSG m{hwnd, msg, wp, lp, session_.clock().ticks(), {0, 0}};
  posted_.push_back(m);
}

void MessageQueue::post_front(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  MSG m{hwnd, msg, wp, lp, session_.clock().ticks(), {0, 0}};
  posted_.push_front(m);
}

void MessageQueue::post_quit(int code) {
  quit_posted_ = true;
  quit_code_ = code;
}

SHORT MessageQueue::key_state(int vk) const { return keys_[vk & 0xFF] ? static_cast<SHORT>(0x8000) : 0; }

bool MessageQueue::matches(const MSG& m, HWND filter, UINT min, UINT max) const {
  if (filter && m.hwnd != filter) return false;
  if (min == 0 && max == 0) return true;
  return m.message >= min && m.message <= max;
}

void MessageQueue::post_input(UINT msg, WPARAM wp, LPARAM lp) {
  MSG m{nullptr, msg, wp, lp, session_.clock().ticks(), {0, 0}};
  posted_.push_back(m);
}

bool MessageQueue::resolve_input(MSG& m) {
  WindowManager& windows = session_.windows();
  bool mouse = m.message >= WM_MOUSEFIRST && m.message <= WM_MOUSELAST;
  bool key = m.message >= WM_KEYFIRST && m.message <= WM_KEYLAST;
  if (!mouse && !key) return true;  // a thread message: delivered as posted
  if (mouse) {
    POINT pt{GET_X_LPARAM(m.lParam), GET_Y_LPARAM(m.lParam)};
    m.pt = pt;
    HWND target = windows.capture() ? windows.capture() : windows.hit_test(pt);
    if (!target) return false;
    Window* w = windows.get(target);
    if (!w->enabled() && !windows.capture()) return false;
    if (m.message == WM_LBUTTONDOWN && !windows.capture()) {
      HWND top = windows.top_level_of(target);
      Window* t = windows.get(top);
      if (top != windows.active() && t && !t->window_class->system && !(t->style & WS_POPUP))
        windows.activate(top, WA_CLICKACTIVE);
      if (!windows.is_window(target)) return false;
    }
    // Like the device's, a mouse message carries the modifier keys held when
    // it is taken from the queue, so Ctrl and Shift taps reach controls.
    if (keys_[VK_CONTROL]) m.wParam |= MK_CONTROL;
    if (keys_[VK_SHIFT]) m.wParam |= MK_SHIFT;
    POINT origin = windows.client_origin_on_screen(target);
    m.hwnd = target;
    m.lParam = MAKELPARAM(pt.x - origin.x, pt.y - origin.y);
    return true;
  }
  HWND target = windows.focus() ? windows.focus() : windows.active();
  if (!target) {
    note_retrieved(m);  // the key state still changes
    return false;
  }
  m.hwnd = target;
  return true;
}

void MessageQueue::note_retrieved(const MSG& m) {
  if (m.message == WM_KEYDOWN) keys_[m.wParam & 0xFF] = true;
  if (m.message == WM_KEYUP) keys_[m.wParam & 0xFF] = false;
}

bool MessageQueue::get(MSG* out, HWND filter, UINT min, UINT max, bool remove, bool wait, bool* got_quit) {
  WindowManager& windows = session_.windows();
  if (got_quit) *got_quit = false;
  for (;;) {
    for (auto it = posted_.begin(); it != posted_.end();) {
      if (!it->hwnd && !resolve_input(*it)) {
        it = posted_.erase(it);  // input that no window can take
        continue;
      }
      if (it->hwnd && !windows.is_window(it->hwnd)) {
        it = posted_.erase(it);  // its window is gone
        continue;
      }
      if (!matches(*it, filter, min, max)) {
        ++it;
        continue;
      }
      *out = *it;
      if (remove) {
        posted_.erase(it);
        note_retrieved(*out);
      }
      return true;
    }
    if (quit_posted_) {
      *out = MSG{nullptr, WM_QUIT, static_cast<WPARAM>(quit_code_), 0, session_.clock().ticks(), {0, 0}};
      if (remove) quit_posted_ = false;
      if (got_quit) *got_quit = true;
      return false;
    }
    HWND dirty = windows.next_to_paint();
    if (dirty && matches(MSG{dirty, WM_PAINT, 0, 0, 0, {0, 0}}, filter, min, max)) {
      *out = MSG{dirty, WM_PAINT, 0, 0, session_.clock().ticks(), {0, 0}};
      return true;
    }
    if (!wait) return false;
    idle();
  }
}

void MessageQueue::idle() {
  Screen& screen = session_.screen();
  Host* host = session_.host();
  if (screen.generation() != presented_generation_) {
    presented_generation_ = screen.generation();
    if (host) host->screen_updated(session_);
  }
  if (!host) {
    // Without anything to drive it, a program would wait forever: close it.
    for (HWND h : session_.windows().program_top_levels()) session_.windows().send(h, WM_CLOSE, 0, 0);
    if (posted_.empty() && !quit_posted_) post_quit(0);
    return;
  }
  host->wait_for_input(session_);
}

}  // namespace platform
