// What drives a running program from outside: a host waits for input when
// the thread has nothing to do, and is told when the screen is up to date.
// The interactive window, the headless script runner and the tests are
// hosts; all of them enter input as messages through the same queue.
#pragma once

namespace platform {

class Session;

class Host {
 public:
  virtual ~Host() = default;
  // The queue is empty and nothing needs painting. Post input, let time
  // pass, or close the program; returning without doing any of these is
  // allowed only when something else will wake the thread.
  virtual void wait_for_input(Session& session) = 0;
  // Every window is painted: a good moment to show or capture the screen.
  virtual void screen_updated(Session&) {}
  // Another program asked for this one's window: show it above the user's
  // other windows and give it the keyboard.
  virtual void bring_to_front(Session&) {}
};

}  // namespace platform
