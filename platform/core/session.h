// One running platform: the screen, the clock, the windows and their queue,
// the GDI objects, the loaded resources, the shell and COM state. The Win32
// functions act on the current session; tests create a fresh one per case,
// and the process entry creates exactly one.
#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include <windows.h>

#include "platform/core/clock.h"
#include "platform/core/faults.h"

namespace platform {

class Host;
class WindowManager;
class MessageQueue;
class Screen;
class GdiObjects;
class ModuleRegistry;
class ShellState;
class ComState;
class DesktopChannel;

struct SessionOptions {
  int screen_width = 240;
  int screen_height = 320;
  std::optional<SYSTEMTIME> now;          // --now; none = real local time
  std::filesystem::path calendar;         // the calendar store's file
  bool shared_desktop = false;            // take part in the per-user window search across processes
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
  GdiObjects& gdi() { return *gdi_; }
  ModuleRegistry& modules() { return *modules_; }
  ShellState& shell() { return *shell_; }
  ComState& com() { return *com_; }
  DesktopChannel* desktop_channel() { return channel_.get(); }

  Host* host() const { return host_; }
  void set_host(Host* host) { host_ = host; }

  DWORD last_error = 0;

 private:
  SessionOptions options_;
  Clock clock_;
  Faults faults_;
  CallLog calls_;
  std::unique_ptr<Screen> screen_;
  std::unique_ptr<GdiObjects> gdi_;
  std::unique_ptr<ModuleRegistry> modules_;
  std::unique_ptr<WindowManager> windows_;
  std::unique_ptr<MessageQueue> queue_;
  std::unique_ptr<ShellState> shell_;
  std::unique_ptr<ComState> com_;
  std::unique_ptr<DesktopChannel> channel_;
  Host* host_ = nullptr;
};

}  // namespace platform
