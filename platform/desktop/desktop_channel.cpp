#include "platform/desktop/desktop_channel.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
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

// One line, waiting at most `timeout_ms` for it.
std::string ReadLine(int fd, int timeout_ms) {
  std::string line;
  char c;
  while (line.size() < 4096) {
    pollfd p{fd, POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0) break;
    ssize_t n = ::recv(fd, &c, 1, 0);
    if (n <= 0) break;
    if (c == '\n') return line;
    line += c;
  }
  return line;
}

std::string Field(const std::u16string* text) { return text ? "1" + ToUtf8(*text) : "0"; }

}  // namespace

void InstallDesktopChannel(Session& session, std::filesystem::path folder) {
  session.set_remote_windows(&session.install<DesktopChannel>(session, std::move(folder)));
}

std::filesystem::path DesktopChannel::DefaultFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime) return std::filesystem::path(runtime) / "tallyset-desktop";
  return std::filesystem::path("/tmp") / ("tallyset-desktop-" + std::to_string(::getuid()));
}

DesktopChannel::DesktopChannel(Session& session, std::filesystem::path folder)
    : session_(session), folder_(std::move(folder)) {
  ::mkdir(folder_.c_str(), 0700);
  struct stat st {};
  if (::lstat(folder_.c_str(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != ::getuid() ||
      (st.st_mode & 0077) != 0) {
    std::fprintf(stderr, "platform: %s is not a private folder of this user; other running programs will not be found\n",
                 folder_.c_str());
    return;
  }
  own_ = folder_ / (std::to_string(::getpid()) + ".sock");
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

std::string DesktopChannel::ask(const std::filesystem::path& socket, const std::string& request, bool* reachable) {
  *reachable = false;
  sockaddr_un addr;
  if (!FillAddress(socket, &addr)) return {};
  Fd fd(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (fd.get() < 0) return {};
  if (::connect(fd.get(), reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) return {};
  *reachable = true;
  if (!WriteAll(fd.get(), request + "\n")) return {};
  return ReadLine(fd.get(), kReplyTimeoutMs);
}

HWND DesktopChannel::find(const std::u16string* class_name, const std::u16string* title) {
  std::error_code ec;
  for (const auto& entry : std::filesystem::directory_iterator(folder_, ec)) {
    const auto& path = entry.path();
    if (path == own_ || path.extension() != ".sock") continue;
    bool reachable = false;
    std::string reply = ask(path, "FIND\t" + Field(class_name) + "\t" + Field(title), &reachable);
    if (!reachable) {
      // Nobody listens: the program that left it has ended.
      ::unlink(path.c_str());
      continue;
    }
    if (reply.rfind("HWND ", 0) == 0) {
      auto remote = std::make_unique<RemoteWindow>();
      remote->socket = path;
      remote->handle = std::strtoull(reply.c_str() + 5, nullptr, 10);
      return reinterpret_cast<HWND>(remotes_.add(std::move(remote)));
    }
  }
  return nullptr;
}

bool DesktopChannel::bring_to_front(HWND hwnd) {
  RemoteWindow* remote = remotes_.get(reinterpret_cast<std::uintptr_t>(hwnd));
  if (!remote) return false;
  bool reachable = false;
  return ask(remote->socket, "FRONT\t" + std::to_string(remote->handle), &reachable) == "OK";
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
    windows.activate(hwnd, WA_ACTIVE);
    ++front_requests_;
    return "OK";
  }
  return "UNKNOWN";
}

void DesktopChannel::serve() {
  if (listener_ < 0) return;
  for (;;) {
    Fd client(::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC));
    if (client.get() < 0) return;
    std::string request = ReadLine(client.get(), 500);
    WriteAll(client.get(), answer(request) + "\n");
  }
}

}  // namespace platform
