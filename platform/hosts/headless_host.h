// Runs the program against the screen in memory: a driver, if any (a
// script), enters input one step at a time; when it is done (or at once
// without one) the screenshot is taken and the program is closed as its
// Exit command would.
#pragma once

#include <functional>
#include <optional>
#include <string>

#include "platform/core/host.h"

namespace platform {

class HeadlessHost : public Host {
 public:
  // Enters the next piece of input; false once it has nothing more to do.
  using Driver = std::function<bool(Session&)>;
  HeadlessHost(Driver driver, std::optional<std::string> screenshot);
  void wait_for_input(Session& session) override;

  bool screenshot_failed() const { return screenshot_failed_; }
  bool closed() const { return closed_; }

 private:
  Driver driver_;
  std::optional<std::string> screenshot_;
  bool closed_ = false;
  bool screenshot_failed_ = false;
};

// Sends WM_CLOSE to the program's top-level windows, as its own Exit does,
// and makes sure the message loop ends even if a window refuses.
void CloseProgram(Session& session);

}  // namespace platform
