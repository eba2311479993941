#include "platform/desktop/desktop_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/base/utf.h"

namespace platform {

namespace {

constexpr int kReplyTimeoutMs = 2000;

class Fd {
 public:
  explicit Fd(int fd = -1) : fd_(fd) {}
  ~Fd() {
    if (fd_ >= 0) ::close(fd_);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

bool FillAddress(const std::filesystem::path& path, sockaddr_un* addr) {
  std::string p = path.string();
  if (p.size() >= sizeof(addr->sun_path)) return false;
  std::memset(addr, 0, sizeof *addr);
  addr->sun_family = AF_UNIX;
  std::memcpy(addr->sun_path, p.c_str(), p.size() + 1);
  return true;
}

bool WriteAll(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::send(fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// One line, waiting at most `timeout_ms` for all of it (not per byte, so a
// client that trickles bytes cannot hold the caller).
std::string ReadLine(int fd, int timeout_ms, bool* complete) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  std::string line;
  *complete = false;
  char buffer[512];
  while (line.size() < 4096) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() < 0) break;
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, static_cast<int>(left.count())) <= 0) break;
    ssize_t n = ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (n < 0 && (errno == EINTR || errno == EAGAIN)) continue;
    if (n <= 0) break;
    line.append(buffer, static_cast<size_t>(n));
    if (auto eol = line.find('\n'); eol != std::string::npos) {
      line.resize(eol);
      *complete = true;
      return line;
    }
  }
  return line;
}

// Makes `folder` if it is missing and checks that it is this user's own and
// private: a folder another user made (or could enter) would let them
// listen in our place or turn single-instance off.
bool PrivateFolder(const std::filesystem::path& folder, std::string* why) {
  ::mkdir(folder.c_str(), 0700);
  struct stat st {};
  if (::lstat(folder.c_str(), &st) != 0) {
    *why = std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(st.st_mode)) {
    *why = "it is not a folder";
    return false;
  }
  if (st.st_uid != ::getuid()) {
    *why = "another user owns it";
    return false;
  }
  if ((st.st_mode & 0077) != 0) {
    *why = "other users may enter it";
    return false;
  }
  return true;
}

// The folder used when the usual one cannot be: under the user's home.
std::filesystem::path FallbackFolder() {
  const char* home = std::getenv("HOME");
  if (!home || !*home) return {};
  std::filesystem::path cache = std::filesystem::path(home) / ".cache";
  ::mkdir(cache.c_str(), 0700);
  return cache / "tallyset-desktop";
}

long PidOfSocket(const std::filesystem::path& socket) {
  const std::string stem = socket.stem().string();
  const auto dot = stem.rfind('.');
  return std::strtol(stem.c_str() + (dot == std::string::npos ? 0 : dot + 1), nullptr, 10);
}

std::string Field(const std::u16string* text) { return text ? "1" + ToUtf8(*text) : "0"; }

}  // namespace

void InstallDesktopChannel(Session& session, std::filesystem::path folder, std::string scope) {
  session.set_remote_windows(&session.install<DesktopChannel>(session, std::move(folder), std::move(scope)));
}

std::filesystem::path DesktopChannel::DefaultFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return std::filesystem::path(runtime) / "tallyset-desktop";
  return std::filesystem::path("/tmp") / ("tallyset-desktop-" + std::to_string(::getuid()));
}

DesktopChannel::DesktopChannel(Session& session, std::filesystem::path folder, std::string scope)
    : session_(session), folder_(std::move(folder)), scope_(std::move(scope)) {
  std::string why;
  if (!PrivateFolder(folder_, &why)) {
    const std::filesystem::path fallback = FallbackFolder();
    std::string also;
    if (fallback.empty() || !PrivateFolder(fallback, &also)) {
      std::fprintf(stderr, "platform: %s cannot be used (%s); other running programs will not be found\n",
                   folder_.c_str(), why.c_str());
      folder_.clear();
      return;
    }
    std::fprintf(stderr, "platform: %s cannot be used (%s); using %s\n", folder_.c_str(), why.c_str(),
                 fallback.c_str());
    folder_ = fallback;
  }
  own_ = folder_ / (scope_ + "." + std::to_string(::getpid()) + ".sock");
  sockaddr_un addr;
  if (!FillAddress(own_, &addr)) return;
  ::unlink(own_.c_str());
  int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) return;
  mode_t old = ::umask(0077);
  bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 && ::listen(fd, 8) == 0;
  ::umask(old);
  if (!ok) {
    ::close(fd);
    return;
  }
  ::chmod(own_.c_str(), 0600);
  listener_ = fd;
}

DesktopChannel::~DesktopChannel() {
  if (listener_ >= 0) {
    ::close(listener_);
    ::unlink(own_.c_str());
  }
}

std::string DesktopChannel::ask(const std::filesystem::path& socket, const std::string& request, int timeout_ms,
                                Reach* reach) {
  *reach = Reach::gone;
  sockaddr_un addr;
  if (!FillAddress(socket, &addr)) return {};
  Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) return {};
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
  *reach = Reach::busy;
  if (!WriteAll(fd.get(), request + "\n")) return {};
  bool complete = false;
  std::string reply = ReadLine(fd.get(), timeout_ms, &complete);
  if (complete) *reach = Reach::answered;
  return reply;
}

bool DesktopChannel::own_socket_name(const std::filesystem::path& path) const {
  const std::string name = path.filename().string();
  return path != own_ && path.extension() == ".sock" && name.rfind(scope_ + ".", 0) == 0;
}

HWND DesktopChannel::find(const std::u16string* class_name, const std::u16string* title) {
  if (folder_.empty()) return nullptr;
  const std::string request = "FIND\t" + Field(class_name) + "\t" + Field(title);
  const auto give_up = std::chrono::steady_clock::now() + std::chrono::milliseconds(kBusyWaitMs);
  bool said_waiting = false;
  for (;;) {
    std::filesystem::path busy;
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
      const auto& path = entry.path();
      if (!own_socket_name(path)) continue;
      Reach reach = Reach::gone;
      std::string reply = ask(path, request, kReplyTimeoutMs, &reach);
      if (reach == Reach::gone) {
        // Nobody accepts: the program that left it has ended.
        ::unlink(path.c_str());
        continue;
      }
      if (reach == Reach::busy) {
        busy = path;
        continue;
      }
      if (reply.rfind("HWND ", 0) == 0) {
        auto remote = std::make_unique<RemoteWindow>();
        remote->socket = path;
        remote->handle = std::strtoull(reply.c_str() + 5, nullptr, 10);
        return reinterpret_cast<HWND>(remotes_.add(std::move(remote)));
      }
    }
    if (busy.empty()) return nullptr;
    // A program that accepts but does not answer is busy (loading, saving):
    // it may well hold the window searched for, so it is waited for rather
    // than taken for gone. Past the bound it still counts as found, so that
    // no second program starts beside one that may be writing.
    if (std::chrono::steady_clock::now() >= give_up) {
      std::fprintf(stderr, "platform: the program with process id %ld does not answer; taking it as still running\n",
                   PidOfSocket(busy));
      auto remote = std::make_unique<RemoteWindow>();
      remote->socket = busy;
      return reinterpret_cast<HWND>(remotes_.add(std::move(remote)));
    }
    if (!said_waiting) {
      std::fprintf(stderr, "platform: waiting for the busy program with process id %ld\n", PidOfSocket(busy));
      said_waiting = true;
    }
  }
}

bool DesktopChannel::bring_to_front(HWND hwnd, Front front) {
  RemoteWindow* remote = remotes_.get(reinterpret_cast<std::uintptr_t>(hwnd));
  if (!remote || remote->handle == 0) return false;
  Reach reach = Reach::gone;
  const std::string request =
      "FRONT\t" + std::to_string(remote->handle) + (front == Front::last_active_popup ? "\tPOPUP" : "");
  if (ask(remote->socket, request, kReplyTimeoutMs, &reach) != "OK") return false;
  brought_forward_ = PidOfSocket(remote->socket);
  return true;
}

std::string DesktopChannel::answer(const std::string& request) {
  WindowManager& windows = session_.windows();
  auto tab = request.find('\t');
  std::string verb = request.substr(0, tab);
  std::string rest = tab == std::string::npos ? "" : request.substr(tab + 1);
  if (verb == "FIND") {
    auto t2 = rest.find('\t');
    if (t2 == std::string::npos) return "NONE";
    std::string a = rest.substr(0, t2), b = rest.substr(t2 + 1);
    std::u16string cls = a.size() > 1 ? FromUtf8(a.substr(1)) : u"";
    std::u16string title = b.size() > 1 ? FromUtf8(b.substr(1)) : u"";
    HWND found = windows.find_top_level(!a.empty() && a[0] == '1' ? &cls : nullptr,
                                        !b.empty() && b[0] == '1' ? &title : nullptr);
    if (!found || windows.get(found)->window_class->system) return "NONE";
    return "HWND " + std::to_string(reinterpret_cast<std::uintptr_t>(found));
  }
  if (verb == "FRONT") {
    HWND hwnd = reinterpret_cast<HWND>(static_cast<std::uintptr_t>(std::strtoull(rest.c_str(), nullptr, 10)));
    if (!windows.is_window(hwnd)) return "GONE";
    const bool popup = rest.size() > 6 && rest.compare(rest.size() - 6, 6, "\tPOPUP") == 0;
    windows.activate(popup ? windows.last_active_popup(hwnd) : hwnd, WA_ACTIVE);
    // The request came from the user's desktop: the real window comes up too.
    if (Host* host = session_.host()) host->bring_to_front(session_);
    ++front_requests_;
    return "OK";
  }
  return "UNKNOWN";
}

void DesktopChannel::serve() {
  if (listener_ < 0) return;
  // A few requests a call, each given a few milliseconds: a client that
  // sends slowly or never reads its answer loses its turn, not our time.
  constexpr int kRequestsPerCall = 8;
  constexpr int kRequestMs = 5;
  for (int i = 0; i < kRequestsPerCall; ++i) {
    Fd client(::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC | SOCK_NONBLOCK));
    if (client.get() < 0) return;
    bool complete = false;
    std::string request = ReadLine(client.get(), kRequestMs, &complete);
    if (!complete) continue;
    const std::string reply = answer(request) + "\n";
    (void)::send(client.get(), reply.data(), reply.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
  }
}

}  // namespace platform
