// Bringing a program forward: SetForegroundWindow with the owned-windows bit
// brings the dialog the program has open, not the window behind it, both
// within the process and when another program asks over the desktop channel,
// and the host is told to raise its real window.
#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <string>

#include <windows.h>

#include "platform/core/session.h"
#include "platform/core/window.h"
#include "platform/core/window_manager.h"
#include "platform/desktop/desktop_channel.h"
#include "support/test_host.h"

namespace {

HWND WithBit(HWND hwnd) { return reinterpret_cast<HWND>(reinterpret_cast<std::uintptr_t>(hwnd) | 1); }

// A program's main window with its dialog open, and another top-level
// window that was activated after them.
struct Desk {
  Desk() {
    main = testing_support::CreateParentWindow(t, u"FrontMain", DefWindowProcW, u"Main");
    // Owned as the appointment editor is owned by the program it serves.
    dialog = CreateWindowExW(0, u"FrontMain", u"Dialog", WS_POPUP | WS_VISIBLE, 10, 10, 100, 100, nullptr, nullptr,
                             t.instance, nullptr);
    t.session.windows().get(dialog)->owner = main;
    other = CreateWindowExW(0, u"FrontMain", u"Other", WS_POPUP | WS_VISIBLE, 0, 0, 50, 50, nullptr, nullptr,
                            t.instance, nullptr);
    SetActiveWindow(dialog);
    SetActiveWindow(other);
  }
  testing_support::TestPlatform t;
  HWND main = nullptr, dialog = nullptr, other = nullptr;
};

TEST(FrontRequest, TheOwnedBitBringsTheLastActiveDialog) {
  enum class Change { none, hide, disable, destroy };
  struct Case { const char* what; Change change; bool bit; bool dialog_comes; } cases[] = {
      {"with the bit", Change::none, true, true},
      {"without the bit", Change::none, false, false},
      {"a hidden dialog", Change::hide, true, false},
      {"a disabled dialog", Change::disable, true, false},
      {"a closed dialog", Change::destroy, true, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    Desk d;
    if (c.change == Change::hide) ShowWindow(d.dialog, SW_HIDE);
    if (c.change == Change::disable) EnableWindow(d.dialog, FALSE);
    if (c.change == Change::destroy) DestroyWindow(d.dialog);
    EXPECT_TRUE(SetForegroundWindow(c.bit ? WithBit(d.main) : d.main));
    EXPECT_EQ(GetForegroundWindow(), c.dialog_comes ? d.dialog : d.main);
  }
}

class RaiseCounter : public testing_support::ActionHost {
 public:
  void bring_to_front(platform::Session&) override { ++raised; }
  int raised = 0;
};

// The answer to another program's request, as that program sends it.
std::string Ask(platform::DesktopChannel& channel, const std::filesystem::path& folder, const std::string& request) {
  std::filesystem::path socket_path;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) socket_path = entry.path();
  int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, socket_path.c_str(), sizeof address.sun_path - 1);
  EXPECT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
  const std::string line = request + "\n";
  EXPECT_EQ(::send(fd, line.data(), line.size(), 0), static_cast<ssize_t>(line.size()));
  channel.serve();
  char reply[64] = {0};
  const ssize_t n = ::recv(fd, reply, sizeof reply - 1, 0);
  ::close(fd);
  return std::string(reply, n > 0 ? static_cast<size_t>(n) : 0);
}

TEST(FrontRequest, AnotherProgramsRequestRaisesTheHostAndTheDialog) {
  struct Case { const char* suffix; bool dialog_comes; } cases[] = {{"\tPOPUP", true}, {"", false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.suffix);
    Desk d;
    RaiseCounter host;
    d.t.session.set_host(&host);
    const auto folder = std::filesystem::temp_directory_path() / ("tallyset-front-" + std::to_string(::getpid()));
    std::filesystem::remove_all(folder);
    {
      platform::DesktopChannel channel(d.t.session, folder, "front");
      const std::string handle = std::to_string(reinterpret_cast<std::uintptr_t>(d.main));
      EXPECT_EQ(Ask(channel, folder, "FRONT\t" + handle + c.suffix), "OK\n");
      EXPECT_EQ(GetForegroundWindow(), c.dialog_comes ? d.dialog : d.main);
      EXPECT_EQ(host.raised, 1);
      EXPECT_EQ(channel.front_requests(), 1);
    }
    d.t.session.set_host(&d.t.host);
    std::filesystem::remove_all(folder);
  }
}

}  // namespace
