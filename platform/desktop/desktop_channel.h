// The user's desktop across processes: every running program of this
// platform listens on a private Unix socket in a per-user folder (mode
// 0700, owned by the user; another user's or an open folder is never used),
// so FindWindowW finds the top-level windows of the user's other programs
// and SetForegroundWindow can ask their owner to bring one to the front.
//
// Programs meet only within a scope (a program may name one per document,
// so two copies on different documents run side by side). A socket left
// behind by a killed process is recognised (nobody accepts) and removed; it
// never blocks a new start. A program that accepts but is busy (loading a
// large file) is waited for, within a bound, rather than taken for gone.
// Answering never holds the program's thread for more than a few
// milliseconds, whatever a client sends or fails to send.
#pragma once

#include <filesystem>
#include <string>

#include <windows.h>

#include "platform/core/handle_table.h"
#include "platform/core/host.h"
#include "platform/core/remote_windows.h"
#include "platform/core/session.h"

namespace platform {

struct RemoteWindow {
  std::filesystem::path socket;
  std::uintptr_t handle = 0;  // the handle in its own process
};

class DesktopChannel : public Service, public RemoteWindows {
 public:
  // Opens the channel in `folder` (made if missing) within `scope` (letters,
  // digits, '-' and '_'). A folder that is not this user's own private
  // folder is refused with a message and a private one in the user's cache
  // folder is used instead; when none can be had the program simply does not
  // take part in the search (a message says why).
  DesktopChannel(Session& session, std::filesystem::path folder, std::string scope = "any");
  ~DesktopChannel() override;
  // The session's channel; nullptr when it takes no part in the desktop.
  static DesktopChannel* of(Session& session) { return session.find_service<DesktopChannel>(); }
  DesktopChannel(const DesktopChannel&) = delete;
  DesktopChannel& operator=(const DesktopChannel&) = delete;

  // The per-user folder: $XDG_RUNTIME_DIR/tallyset-desktop, else a folder in /tmp named after the user id.
  static std::filesystem::path DefaultFolder();

  HWND find(const std::u16string* class_name, const std::u16string* title) override;
  bool bring_to_front(HWND remote, Front front) override;
  // Answers the requests that other programs have sent; hosts call it when idle.
  void serve();
  // The process that a FRONT request of ours was answered by, 0 when none.
  long brought_forward() const { return brought_forward_; }
  // How long `find` waits for a program that accepts but does not answer.
  static constexpr int kBusyWaitMs = 20000;
  // How many times another program brought one of our windows to the front.
  int front_requests() const { return front_requests_; }

 private:
  enum class Reach { gone, busy, answered };
  std::string ask(const std::filesystem::path& socket, const std::string& request, int timeout_ms, Reach* reach);
  std::string answer(const std::string& request);
  bool own_socket_name(const std::filesystem::path& path) const;

  Session& session_;
  std::filesystem::path folder_;
  std::filesystem::path own_;
  int listener_ = -1;
  std::string scope_;
  int front_requests_ = 0;
  long brought_forward_ = 0;
  HandleTable<RemoteWindow> remotes_{HandleKind::remote_window};
};

// Lets the session take part in the user's desktop through a channel in
// `folder`, so its window search and foreground requests reach other programs.
void InstallDesktopChannel(Session& session, std::filesystem::path folder, std::string scope = "any");

}  // namespace platform
