// Reading the calendar file and replacing it atomically and durably: the
// new bytes go to a temporary file in the same folder, are synced, and are
// renamed over the original, so that at every moment the file on disk is
// either wholly the old calendar or wholly the new one.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/calendar/calendar_store.h"

namespace platform::calendar::detail {

// Owns a file descriptor.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(int fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  ~UniqueFd();
  int get() const { return fd_; }
  int release();
  explicit operator bool() const { return fd_ >= 0; }

 private:
  int fd_ = -1;
};

// What the file looked like when the store last read or wrote it.
struct FileStamp {
  bool exists = false;
  dev_t device = 0;
  ino_t inode = 0;
  std::int64_t size = 0;
  std::int64_t mtime_ns = 0;
  std::int64_t ctime_ns = 0;
  std::int64_t taken_ns = 0;  // when the stamp was taken
};

// The error of a read or a write whose file is not a plain file (a FIFO, a
// device, a socket): never opened for reading in earnest, since a FIFO would
// block and a device may never end. Not an errno value.
inline constexpr int kNotRegularFile = -1;
// What the file at `file` is ("a FIFO", "a character device", ...), for messages.
const char* file_kind(const std::filesystem::path& file);
// The same for a file type already read by stat or lstat.
const char* mode_kind(mode_t mode);
// The stamp of a stat or lstat result, taken now.
FileStamp stamp_of(const struct stat& st);

// Opens a file to read it whole; 0 or the errno that stops the read.
// O_NONBLOCK, so that a FIFO in the calendar's place cannot hang the open:
// anything but a plain file is then refused (kNotRegularFile) before a byte
// is read.
int open_for_reading(const std::filesystem::path& file, UniqueFd& fd, struct stat& st);

struct ReadResult {
  int error = 0;  // errno; ENOENT for a missing file
  std::string bytes;
  FileStamp stamp;
};
// `spare(size)` bytes of capacity are reserved beyond the file's size (they
// stay untouched, so they cost address space only), so that later edits of
// the bytes in memory need not move them into a larger buffer.
using SpareRoom = std::size_t (*)(std::size_t size);

// A large calendar's buffer is filled a page at a time, and at 4 KiB a page
// the faults cost about as much as reading the file. Asking for huge pages
// where the kernel gives them on request makes that 512 times fewer faults.
// Reserves room for at least `wanted` bytes in `bytes` (which is empty) and,
// from two huge pages on, asks for them: the room is then rounded up so that
// malloc maps it apart as whole huge pages, which Linux places on a huge
// page's boundary, so that every one of them, the first and the last too, is
// the buffer's own. Room never used costs address space only.
void reserve_on_huge_pages(std::string& bytes, std::size_t wanted);

ReadResult read_file(const std::filesystem::path& file, SpareRoom spare = nullptr);
// The same for a file open_for_reading opened, as `st` found it.
ReadResult read_opened(const UniqueFd& fd, const struct stat& st, SpareRoom spare = nullptr);

// Whether `file` holds exactly `expected`. The file is read in small chunks,
// so that checking a large calendar never holds a second copy of it.
struct ContentCheck {
  int error = 0;      // errno; ENOENT for a missing file
  bool same = false;
  FileStamp stamp;    // of the file compared, when same
};
ContentCheck compare_content(const std::filesystem::path& file, std::string_view expected);

enum class Freshness { Same, Changed, Unsure };
// Unsure when the metadata matches but the file was modified too close to
// the stamp for its timestamps to prove that nothing changed since.
Freshness compare_stamp(const std::filesystem::path& file, const FileStamp& stamp);

using FaultHook = std::function<int(WriteStep)>;

struct WriteResult {
  int error = 0;
  bool replaced = false;                   // the rename happened
  bool conflict = false;                   // refused: the original changed meanwhile
  bool read_only = false;                  // refused: the original may not be written
  FileStamp stamp;                         // of the new file, when replaced
};

// Whether the original is still what the caller last read or wrote.
using UnchangedCheck = std::function<bool()>;

// Writes the concatenation of `pieces` in place of `file`. A symbolic link
// is followed, so the user's link stays a link. The original's permission
// bits and owner are carried over; an original without write permission is
// refused (EACCES) even where its folder would allow replacing it. Just
// before the rename `unchanged` (when given) is asked once more; if it says
// no, nothing is replaced and the result is a conflict. `complete` (when
// given) is called with the temporary file's path once it is written,
// synced and closed, before the rename: nobody else has it open yet.
using CompleteHook = std::function<void(const std::filesystem::path& temp)>;
WriteResult replace_file(const std::filesystem::path& file,
                         const std::vector<std::string_view>& pieces, const FaultHook& fault,
                         const UnchangedCheck& unchanged = {}, const CompleteHook& complete = {});

// The file a write to `file` lands in (links followed).
std::filesystem::path write_target(const std::filesystem::path& file);

// Removes the temporary files that saves of `file` left in its folder when
// the process making them died half way: those named exactly as
// replace_file names them for this file, whose process id is not a running
// process. Never the file of this process or of any live one. Best effort;
// returns how many were removed.
int remove_stale_temp_files(const std::filesystem::path& file);

// The same for the temporary files of saves of any file in the open folder
// `folder`, among `names` (read from it by the caller), whose process has
// ended.
int remove_stale_temp_files_in(int folder, const std::vector<std::string>& names);

}  // namespace platform::calendar::detail
