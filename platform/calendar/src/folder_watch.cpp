#include "folder_watch.h"

#include <sys/inotify.h>
#include <sys/vfs.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace platform::calendar::detail {
namespace {

// File systems on which every change goes through this machine's kernel.
bool reports_every_change(const std::filesystem::path& folder) {
  struct statfs fs {};
  if (::statfs(folder.c_str(), &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53UL:      // ext2, ext3, ext4
    case 0x58465342UL:  // xfs
    case 0x9123683EUL:  // btrfs
    case 0x01021994UL:  // tmpfs
    case 0x858458F6UL:  // ramfs
    case 0xF2F52010UL:  // f2fs
    case 0x2FC12FC1UL:  // zfs
    case 0x794C7630UL:  // overlayfs
      return true;
    default:
      return false;
  }
}

constexpr std::uint32_t kMask = IN_ATTRIB | IN_MODIFY | IN_CLOSE_WRITE | IN_CREATE | IN_DELETE | IN_MOVED_FROM |
                                IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

}  // namespace

FolderWatch::FolderWatch(const std::filesystem::path& folder) {
  if (!reports_every_change(folder)) return;
  UniqueFd fd(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC));
  if (!fd || ::inotify_add_watch(fd.get(), folder.c_str(), kMask) < 0) return;
  fd_ = std::move(fd);
}

FolderWatch::Changes FolderWatch::take() {
  Changes changes;
  changes.unknown = !on();
  alignas(inotify_event) char buffer[16 * 1024];
  while (on()) {
    const ssize_t n = ::read(fd_.get(), buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      if (n < 0 && errno != EAGAIN) {
        changes.unknown = true;
        fd_ = UniqueFd();
      }
      break;
    }
    for (ssize_t at = 0; at < n;) {
      inotify_event event;
      std::memcpy(&event, buffer + at, sizeof event);
      const char* name = buffer + at + sizeof event;
      at += static_cast<ssize_t>(sizeof event + event.len);
      if ((event.mask & IN_Q_OVERFLOW) != 0) changes.unknown = true;
      if ((event.mask & (IN_IGNORED | IN_DELETE_SELF | IN_MOVE_SELF | IN_UNMOUNT)) != 0) {
        // The folder itself went away or moved: the watch is over.
        changes.unknown = true;
        fd_ = UniqueFd();
        break;
      }
      if (event.len > 0) changes.names.emplace_back(name, ::strnlen(name, event.len));
    }
  }
  std::sort(changes.names.begin(), changes.names.end());
  changes.names.erase(std::unique(changes.names.begin(), changes.names.end()), changes.names.end());
  return changes;
}

}  // namespace platform::calendar::detail
