// The thread's message queue: posted messages in order, the quit request,
// the keyboard state as of the last key message retrieved, and the
// retrieval rule of the platform: posted messages first, then the quit
// message, then paint requests; when there is nothing at all, the host is
// asked for input.
#pragma once

#include <array>
#include <deque>

#include <windows.h>

namespace platform {

class Session;

// A key message's lParam bit (one of the bits the platform leaves reserved):
// the host delivers this key's character itself, as WM_CHAR from the
// desktop's text input, so TranslateMessage makes none and nothing is typed
// twice. Only the interactive host sets it.
constexpr LPARAM kKeyCharFromHost = LPARAM{1} << 25;

class MessageQueue {
 public:
  explicit MessageQueue(Session& session) : session_(session) {}

  void post(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  // Put a message at the front: the character that a key press produces is
  // the next message after that key press.
  void post_front(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);
  void post_quit(int code);
  // Hardware input: mouse messages carry screen coordinates and go to the
  // window under the point (or the capture) when they are retrieved; key
  // messages go to the focus window then, as on the platform.
  void post_input(UINT msg, WPARAM wp, LPARAM lp);
  bool quit_posted() const { return quit_posted_; }

  // GetMessageW (wait = true) and PeekMessageW (wait = false). Returns false
  // when no message was retrieved, or when the message is WM_QUIT (then
  // `*got_quit` is set).
  bool get(MSG* msg, HWND filter, UINT min, UINT max, bool remove, bool wait, bool* got_quit);

  SHORT key_state(int vk) const;
  void set_key_down(int vk, bool down) { keys_[vk & 0xFF] = down; }

  bool empty() const { return posted_.empty() && !quit_posted_; }
  size_t size() const { return posted_.size(); }

 private:
  bool matches(const MSG& m, HWND filter, UINT min, UINT max) const;
  void note_retrieved(const MSG& m);
  bool resolve_input(MSG& m);
  void idle();

  Session& session_;
  std::deque<MSG> posted_;
  bool quit_posted_ = false;
  int quit_code_ = 0;
  std::array<bool, 256> keys_{};
  std::uint64_t presented_generation_ = ~0ULL;
};

}  // namespace platform
