// Work done on a thread of its own while the caller goes on: reading the
// second half of a large calendar.
#pragma once

#include <exception>
#include <functional>
#include <system_error>
#include <thread>
#include <utility>

namespace platform::calendar::detail {

class WorkAside {
 public:
  // Starts `work`; where no thread can be had, does it at once instead.
  explicit WorkAside(std::function<void()> work) : work_(std::move(work)) {
    try {
      thread_ = std::jthread([this] { run(); });
    } catch (const std::system_error&) {
      run();
    }
  }
  WorkAside(const WorkAside&) = delete;
  WorkAside& operator=(const WorkAside&) = delete;

  // Waits for the work to end, and throws what it threw.
  void wait() {
    if (thread_.joinable()) thread_.join();
    if (failure_) std::rethrow_exception(failure_);
  }

 private:
  void run() {
    try {
      work_();
    } catch (...) {
      failure_ = std::current_exception();
    }
  }

  std::function<void()> work_;
  std::exception_ptr failure_;
  std::jthread thread_;  // last, so that it is joined first however this ends
};

}  // namespace platform::calendar::detail
