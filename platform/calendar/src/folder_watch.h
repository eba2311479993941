// What changed in a calendar folder since the last look, as the kernel
// reports it (inotify): a look at a folder nobody touched costs one read
// that finds nothing, instead of a stat of every file in it.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

#include "atomic_file.h"

namespace platform::calendar::detail {

class FolderWatch {
 public:
  // Starts watching `folder`; the watch is off where the kernel cannot
  // report every change (no inotify, or a network or FUSE file system whose
  // other clients' changes it never hears of). Started before the folder is
  // first read, so that nothing that happens meanwhile is missed.
  explicit FolderWatch(const std::filesystem::path& folder);

  bool on() const { return static_cast<bool>(fd_); }
  // Turns the watch off for good: for a folder whose files may change where
  // the kernel would not report it to this watch (through a hard link in
  // another folder).
  void stop() { fd_ = UniqueFd(); }

  struct Changes {
    bool unknown = false;            // anything may have changed: read the whole folder
    std::vector<std::string> names;  // the entries changed, added, removed or renamed
  };
  // The changes reported since the last call (or since the watch started).
  // Unknown when the watch is off, when more changed than the kernel kept
  // account of, or when the watch was lost (the folder moved or went): then
  // it stays off and every later call says unknown.
  Changes take();

 private:
  UniqueFd fd_;
};

}  // namespace platform::calendar::detail
