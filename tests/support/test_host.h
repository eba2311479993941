// A host for tests: runs the given actions one per idle moment, then closes
// the program as its Exit command would.
#pragma once

#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/core/host.h"
#include "platform/core/module_registry.h"
#include "platform/core/session.h"
#include "platform/hosts/headless_host.h"

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

// A fresh platform with the program's resources loaded, for one test.
struct TestPlatform {
  explicit TestPlatform(platform::SessionOptions options = {}) : session(std::move(options)) {
    instance = session.modules().add(ProgramResources());
    session.set_host(&host);
  }
  platform::Session session;
  ActionHost host;
  HINSTANCE instance = nullptr;
};

}  // namespace testing_support
