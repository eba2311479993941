// One running platform: the screen, the clock, the windows and their queue,
// the loaded resources, and the services that the floors above core add
// (GDI objects, the shell, COM, Pocket Outlook, the desktop channel). The
// Win32 functions act on the current session; tests create a fresh one per
// case, and the process entry creates exactly one and wires it together.
#pragma once

#include <memory>
#include <optional>
#include <typeindex>
#include <utility>
#include <vector>

#include <windows.h>

#include "platform/core/clock.h"
#include "platform/core/faults.h"

namespace platform {

class Host;
class WindowManager;
class MessageQueue;
class Screen;
class ModuleRegistry;
class RemoteWindows;

struct SessionOptions {
  int screen_width = 240;
  int screen_height = 320;
  std::optional<SYSTEMTIME> now;  // --now; none = real local time
  // The process ends when this session does (the program's own process, not
  // a test running sessions one after another): what the program still holds
  // when it closes may be left for the operating system to take back.
  bool process_ends_with_session = false;
};

// What a floor above core keeps per session. Services live until the
// session ends: after every window is gone, in the reverse order of their
// installation, so a floor's windows can still use the floors below them
// while they are destroyed.
class Service {
 public:
  virtual ~Service() = default;
};

class Session {
 public:
  explicit Session(SessionOptions options);
  ~Session();
  Session(const Session&) = delete;
  Session& operator=(const Session&) = delete;

  // The session that the Win32 functions act on. Aborts with a clear
  // message when there is none: platform calls need a running platform.
  static Session& current();
  static Session* get();

  const SessionOptions& options() const { return options_; }
  Clock& clock() { return clock_; }
  Faults& faults() { return faults_; }
  CallLog& calls() { return calls_; }
  WindowManager& windows() { return *windows_; }
  MessageQueue& queue() { return *queue_; }
  Screen& screen() { return *screen_; }
  ModuleRegistry& modules() { return *modules_; }

  // Installs a floor's service; one of each type per session.
  template <class T, class... Args>
  T& install(Args&&... args) {
    auto service = std::make_unique<T>(std::forward<Args>(args)...);
    T& ref = *service;
    add_service(typeid(T), std::move(service));
    return ref;
  }
  // The installed service of a type; aborts naming it when the floor that
  // provides it was not installed (a wiring mistake, not a runtime state).
  template <class T>
  T& service() {
    return static_cast<T&>(require_service(typeid(T)));
  }
  template <class T>
  T* find_service() {
    return static_cast<T*>(find_service(typeid(T)));
  }

  // The user's other programs, where a floor above provides them.
  RemoteWindows* remote_windows() const { return remote_windows_; }
  void set_remote_windows(RemoteWindows* remote) { remote_windows_ = remote; }

  Host* host() const { return host_; }
  void set_host(Host* host) { host_ = host; }

  DWORD last_error = 0;

 private:
  void add_service(std::type_index type, std::unique_ptr<Service> service);
  Service* find_service(std::type_index type);
  Service& require_service(std::type_index type);

  SessionOptions options_;
  Clock clock_;
  Faults faults_;
  CallLog calls_;
  std::unique_ptr<Screen> screen_;
  std::unique_ptr<ModuleRegistry> modules_;
  std::unique_ptr<WindowManager> windows_;
  std::unique_ptr<MessageQueue> queue_;
  std::vector<std::pair<std::type_index, std::unique_ptr<Service>>> services_;
  RemoteWindows* remote_windows_ = nullptr;
  Host* host_ = nullptr;
};

}  // namespace platform
