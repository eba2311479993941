#include "platform/core/session.h"

#include <cstdio>
#include <cstdlib>

#include "platform/core/message_queue.h"
#include "platform/core/module_registry.h"
#include "platform/core/screen.h"
#include "platform/core/window_manager.h"

namespace platform {

namespace {
Session* g_current = nullptr;
}

Session::Session(SessionOptions options) : options_(std::move(options)), clock_(options_.now) {
  if (g_current) {
    std::fprintf(stderr, "platform: only one session may run at a time\n");
    std::abort();
  }
  g_current = this;
  screen_ = std::make_unique<Screen>(options_.screen_width, options_.screen_height);
  modules_ = std::make_unique<ModuleRegistry>();
  windows_ = std::make_unique<WindowManager>(*this);
  queue_ = std::make_unique<MessageQueue>(*this);
}

Session::~Session() {
  remote_windows_ = nullptr;
  // Windows go before the services they draw and notify with.
  windows_.reset();
  queue_.reset();
  while (!services_.empty()) services_.pop_back();
  g_current = nullptr;
}

void Session::add_service(std::type_index type, std::unique_ptr<Service> service) {
  if (find_service(type)) {
    std::fprintf(stderr, "platform: %s is installed twice\n", type.name());
    std::abort();
  }
  services_.emplace_back(type, std::move(service));
}

Service* Session::find_service(std::type_index type) {
  for (auto& [t, service] : services_)
    if (t == type) return service.get();
  return nullptr;
}

Service& Session::require_service(std::type_index type) {
  Service* service = find_service(type);
  if (!service) {
    std::fprintf(stderr, "platform: %s is used but its floor was not installed in this session\n", type.name());
    std::abort();
  }
  return *service;
}

Session& Session::current() {
  if (!g_current) {
    std::fprintf(stderr, "platform: a platform call was made with no platform running\n");
    std::abort();
  }
  return *g_current;
}

Session* Session::get() { return g_current; }

}  // namespace platform
