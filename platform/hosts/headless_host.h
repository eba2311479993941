// Runs the program against the screen in memory: a script, if any, drives
// it; when the script is done (or at once without one) the screenshot is
// taken and the program is closed as its Exit command would.
#pragma once

#include <optional>
#include <string>

#include "platform/core/host.h"
#include "platform/hosts/script_runner.h"

namespace platform {

class HeadlessHost : public Host {
 public:
  HeadlessHost(ScriptRunner* script, std::optional<std::string> screenshot);
  void wait_for_input(Session& session) override;

  bool screenshot_failed() const { return screenshot_failed_; }
  bool closed() const { return closed_; }

 private:
  ScriptRunner* script_;
  std::optional<std::string> screenshot_;
  bool closed_ = false;
  bool screenshot_failed_ = false;
};

// Sends WM_CLOSE to the program's top-level windows, as its own Exit does,
// and makes sure the message loop ends even if a window refuses.
void CloseProgram(Session& session);

}  // namespace platform
