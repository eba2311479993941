// POSIX file reading and atomic replacement.
#include "atomic_file.h"
#include "platform/base/str_cat.h"
#include "work_aside.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstring>
#include <memory>
#include <random>

namespace platform::calendar::detail {

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.release();
  }
  return *this;
}

UniqueFd::~UniqueFd() {
  if (fd_ >= 0) ::close(fd_);
}

int UniqueFd::release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

namespace {

std::int64_t now_ns() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::system_clock::now().time_since_epoch())
      .count();
}

std::int64_t ns(const timespec& t) { return std::int64_t{t.tv_sec} * 1'000'000'000 + t.tv_nsec; }


// Timestamps are only as fine as the kernel's clock tick and the file
// system's granularity; a change within this window of the stamp may leave
// them all unchanged.
constexpr std::int64_t kRacyWindowNs = 2'000'000'000;
// On a local file system that keeps nanoseconds the kernel stamps files from
// its coarse clock, which is at most a tick (1 to 10 ms) behind the time: a
// change made after the stamp was taken shows in the stamps once the file's
// time lies further back than this.
constexpr std::int64_t kFineRacyWindowNs = 100'000'000;

// Whether `file` lies on a local file system whose stamps are the kernel's own
// (not a server's clock, as on NFS or SMB) and finer than seconds.
bool fine_local_stamps(const std::filesystem::path& file, const FileStamp& stamp) {
  if (stamp.mtime_ns % 1'000'000'000 == 0) return false;  // whole seconds: a coarse file system
  struct statfs fs {};
  if (::statfs(file.c_str(), &fs) != 0) return false;
  switch (static_cast<unsigned long>(fs.f_type)) {
    case 0xEF53:      // ext2/3/4
    case 0x58465342:  // XFS
    case 0x9123683E:  // Btrfs
    case 0x01021994:  // tmpfs
    case 0xF2F52010:  // F2FS
    case 0x794C7630:  // overlayfs
      return true;
    default:
      return false;
  }
}

int retry_eintr(const std::function<int()>& call) {
  int r;
  do {
    r = call();
  } while (r < 0 && errno == EINTR);
  return r;
}

// Temporary files are named ".NAME.tallyset-PID-xxxxxxxx": the target's
// name, the writing process and eight random characters from kDigits.
constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
constexpr int kRandomChars = 8;
// What the name adds to NAME: the dots, "tallyset-", up to ten digits of
// process id, a dash and the random characters.
constexpr std::size_t kTempOverhead = 1 + 10 + 10 + 1 + kRandomChars;
constexpr std::size_t kNameMax = 255;  // NAME_MAX of the usual file systems
constexpr std::size_t kKeptNameBytes = 200;

// NAME, or for a name too long to leave room for the rest, its first bytes
// and a hash of the whole name: the same for every save of the one file, so
// that stale temporary files are still found, and apart for other names.
std::string temp_name_part(const std::string& name) {
  if (name.size() + kTempOverhead <= kNameMax) return name;
  std::size_t keep = kKeptNameBytes;
  // Never half a UTF-8 sequence.
  while (keep > 0 && (static_cast<unsigned char>(name[keep]) & 0xC0) == 0x80) --keep;
  std::uint32_t hash = 2166136261u;  // FNV-1a
  for (const char c : name) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  char hex[9];
  std::snprintf(hex, sizeof hex, "%08x", hash);
  return str_cat({std::string_view(name).substr(0, keep), "~", hex});
}

std::string temp_prefix(const std::filesystem::path& target) {
  return str_cat({".", temp_name_part(target.filename().string()), ".tallyset-"});
}

std::string temp_name(const std::filesystem::path& target) {
  static std::mt19937_64 random{std::random_device{}()};
  std::string name = temp_prefix(target);
  name.append(std::to_string(::getpid())).push_back('-');  // a forked copy shares `random`'s state
  for (int i = 0; i < kRandomChars; ++i) name.push_back(kDigits[random() % 36]);
  return name;
}

// The process id in a temporary file's name after `prefix`, or 0 when the
// name is not exactly one temp_name gives.
pid_t temp_owner(std::string_view name, std::string_view prefix) {
  if (name.substr(0, prefix.size()) != prefix) return 0;
  name.remove_prefix(prefix.size());
  const std::size_t dash = name.find('-');
  if (dash == std::string_view::npos || dash == 0 || dash > 10 || name[0] == '0') return 0;
  long long pid = 0;
  for (const char c : name.substr(0, dash)) {
    if (c < '0' || c > '9') return 0;
    pid = pid * 10 + (c - '0');
  }
  if (pid > INT_MAX) return 0;
  const std::string_view random = name.substr(dash + 1);
  if (random.size() != kRandomChars) return 0;
  for (const char c : random) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'z'))) return 0;
  }
  return static_cast<pid_t>(pid);
}

}  // namespace

int open_for_reading(const std::filesystem::path& file, UniqueFd& fd, struct stat& st) {
  fd = UniqueFd(retry_eintr([&] { return ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK); }));
  if (!fd) {
    const int error = errno;
    // A socket cannot be opened at all; say what it is rather than ENXIO.
    if (error == ENXIO && ::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode)) return kNotRegularFile;
    return error;
  }
  if (::fstat(fd.get(), &st) != 0) return errno;
  if (S_ISDIR(st.st_mode)) return EISDIR;
  if (!S_ISREG(st.st_mode)) return kNotRegularFile;
  return 0;
}

FileStamp stamp_of(const struct stat& st) {
  FileStamp s;
  s.exists = true;
  s.device = st.st_dev;
  s.inode = st.st_ino;
  s.size = st.st_size;
  s.mtime_ns = ns(st.st_mtim);
  s.ctime_ns = ns(st.st_ctim);
  s.taken_ns = now_ns();
  return s;
}

const char* mode_kind(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  if (S_ISDIR(mode)) return "a folder";
  if (S_ISLNK(mode)) return "a symbolic link";
  return S_ISREG(mode) ? "a plain file" : "not a plain file";
}

const char* file_kind(const std::filesystem::path& file) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return "a file that cannot be examined";
  return mode_kind(st.st_mode);
}

void reserve_on_huge_pages(std::string& bytes, std::size_t wanted) {
  constexpr std::size_t kHuge = std::size_t{2} << 20;
  if (wanted < 2 * kHuge) {
    bytes.reserve(wanted);
    return;
  }
  // malloc keeps a few bytes of its own before the buffer, and the string
  // one after it for its terminator.
  constexpr std::size_t kBeside = 64;
  bytes.reserve((wanted + kBeside + kHuge - 1) / kHuge * kHuge - kBeside);
#ifdef MADV_HUGEPAGE
  // A huge page that only those bytes beside the buffer share with it is the
  // buffer's; had malloc placed it otherwise, the advice only lets a
  // neighbour's pages be huge too.
  const auto begin = reinterpret_cast<std::uintptr_t>(bytes.data());
  const auto end = begin + bytes.capacity();
  std::uintptr_t first = begin & ~(kHuge - 1);
  if (begin - first > kBeside) first += kHuge;
  std::uintptr_t last = end & ~(kHuge - 1);
  if (end != last && last + kHuge - end <= kBeside) last += kHuge;
  if (last <= first) return;
  (void)::madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE);
  // malloc's header, written before the advice, put a small page in the
  // first: that one is made huge at once (Linux 6.1 on; older kernels refuse
  // and it fills a small page at a time).
  constexpr int kCollapse = 25;  // MADV_COLLAPSE, not in every libc's headers
  if (first < begin) (void)::madvise(reinterpret_cast<void*>(first), kHuge, kCollapse);
#endif
}

namespace {

// From 8 MiB on a file is read in two halves at once.
constexpr std::size_t kReadInTwoFrom = std::size_t{8} << 20;

// Has the kernel give memory to the whole pages of [at, at + size), which
// are not in use yet, as writing to them would (Linux 5.14 on; elsewhere
// writing does it later).
void populate(char* at, std::size_t size) {
  constexpr int kPopulateWrite = 23;  // MADV_POPULATE_WRITE, not in every libc's headers
  const auto page = static_cast<std::uintptr_t>(::sysconf(_SC_PAGESIZE));
  const std::uintptr_t first = (reinterpret_cast<std::uintptr_t>(at) + page - 1) / page * page;
  const std::uintptr_t last = (reinterpret_cast<std::uintptr_t>(at) + size) / page * page;
  if (last > first) (void)::madvise(reinterpret_cast<void*>(first), last - first, kPopulateWrite);
}

// Up to `size` bytes of the file at `offset` into `into`; fewer only at the
// file's end, none with `*error` set.
std::size_t read_at(int fd, char* into, std::size_t size, std::size_t offset, int* error) {
  std::size_t got = 0;
  while (got < size) {
    const ssize_t n = ::pread(fd, into + got, size - got, static_cast<off_t>(offset + got));
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      *error = errno;
      return 0;
    }
    if (n == 0) break;
    got += static_cast<std::size_t>(n);
  }
  return got;
}

}  // namespace

ReadResult read_file(const std::filesystem::path& file, SpareRoom spare) {
  UniqueFd fd;
  struct stat st {};
  if (const int error = open_for_reading(file, fd, st); error != 0) return {error, {}, {}};
  return read_opened(fd, st, spare);
}

ReadResult read_opened(const UniqueFd& fd, const struct stat& st, SpareRoom spare) {
  ReadResult r;
  r.stamp = stamp_of(st);
  // Read into a buffer of the file's size (and the spare room asked for): a
  // calendar can be tens of megabytes, and growing the buffer would briefly
  // need twice that.
  const auto size = static_cast<std::size_t>(st.st_size);
  reserve_on_huge_pages(r.bytes, size + (spare != nullptr ? spare(size) : 0));
  if (size >= kReadInTwoFrom) {
    // The kernel clears each page of the buffer as it is first touched: the
    // two halves' pages are had on two threads before the buffer is filled.
    WorkAside aside([&] { populate(r.bytes.data() + size / 2, size - size / 2); });
    populate(r.bytes.data(), size / 2);
    aside.wait();
  }
  r.bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
  if (size >= kReadInTwoFrom) {
    // Copying a large file out of the page cache is most of reading it: the
    // second half is copied on another thread meanwhile. A file cut short
    // while being read is read again from the start, below.
    const std::size_t mid = size / 2;
    int first_error = 0, second_error = 0;
    std::size_t second = 0;
    {
      WorkAside aside([&] { second = read_at(fd.get(), r.bytes.data() + mid, size - mid, mid, &second_error); });
      got = read_at(fd.get(), r.bytes.data(), mid, 0, &first_error);
      aside.wait();
    }
    if (first_error != 0 || second_error != 0) {
      r.error = first_error != 0 ? first_error : second_error;
      r.bytes.clear();
      return r;
    }
    got = got == mid && second == size - mid ? size : 0;
    if (::lseek(fd.get(), static_cast<off_t>(got), SEEK_SET) < 0) {
      r.error = errno;
      r.bytes.clear();
      return r;
    }
  }
  char spill[4096];
  while (true) {
    const bool full = got == r.bytes.size();
    char* into = full ? spill : r.bytes.data() + got;
    const std::size_t room = full ? sizeof spill : r.bytes.size() - got;
    const ssize_t n = ::read(fd.get(), into, room);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      r.error = errno;
      r.bytes.clear();
      return r;
    }
    if (n == 0) break;
    if (full) r.bytes.append(spill, static_cast<std::size_t>(n));  // it grew while we read
    got += static_cast<std::size_t>(n);
  }
  r.bytes.resize(got);
  if (got != static_cast<std::size_t>(st.st_size)) {
    // Someone wrote while we read: stamp what we actually have as unsure.
    r.stamp.mtime_ns = -1;
  }
  return r;
}

ContentCheck compare_content(const std::filesystem::path& file, std::string_view expected) {
  ContentCheck r;
  UniqueFd fd;
  struct stat st {};
  if ((r.error = open_for_reading(file, fd, st)) != 0) return r;
  if (static_cast<std::uint64_t>(st.st_size) != expected.size()) return r;
  constexpr std::size_t kChunk = 256 * 1024;
  const auto chunk = std::make_unique<char[]>(kChunk);
  std::size_t got = 0;
  while (true) {
    const ssize_t n = ::read(fd.get(), chunk.get(), kChunk);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      r.error = errno;
      return r;
    }
    if (n == 0) break;
    const auto count = static_cast<std::size_t>(n);
    // Longer than expected (it grew while we read) or different: not the same.
    if (count > expected.size() - got ||
        std::memcmp(chunk.get(), expected.data() + got, count) != 0) {
      return r;
    }
    got += count;
  }
  if (got != expected.size()) return r;  // it shrank while we read
  r.same = true;
  r.stamp = stamp_of(st);
  return r;
}

Freshness compare_stamp(const std::filesystem::path& file, const FileStamp& stamp) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return stamp.exists ? Freshness::Changed : Freshness::Same;
  if (!stamp.exists) return Freshness::Changed;
  if (st.st_dev != stamp.device || st.st_ino != stamp.inode || st.st_size != stamp.size ||
      ns(st.st_mtim) != stamp.mtime_ns || ns(st.st_ctim) != stamp.ctime_ns) {
    return Freshness::Changed;
  }
  const std::int64_t window = fine_local_stamps(file, stamp) ? kFineRacyWindowNs : kRacyWindowNs;
  return stamp.mtime_ns + window >= stamp.taken_ns ? Freshness::Unsure : Freshness::Same;
}

std::filesystem::path write_target(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::is_symlink(file, ec)) {
    const auto resolved = std::filesystem::canonical(file, ec);
    if (!ec) return resolved;
  }
  return file;
}

namespace {

// Of `names` in the folder `dir`, removes those that `owner_of` names a
// process of, when that process is not running.
int remove_stale(int dir, const std::vector<std::string>& names,
                 const std::function<pid_t(std::string_view)>& owner_of) {
  const pid_t self = ::getpid();
  int removed = 0;
  for (const std::string& name : names) {
    const pid_t owner = owner_of(name);
    if (owner <= 0 || owner == self) continue;
    // EPERM means the process exists (it is another user's): keep its file.
    if (::kill(owner, 0) == 0 || errno != ESRCH) continue;
    // Only plain files, never what a link points at nor a folder.
    struct stat st {};
    if (::fstatat(dir, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode)) continue;
    if (::unlinkat(dir, name.c_str(), 0) == 0) ++removed;
  }
  return removed;
}

// The same for every entry of `folder`.
int remove_stale(const std::filesystem::path& folder, const std::function<pid_t(std::string_view)>& owner_of) {
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) return 0;
  struct Closer {
    DIR* dir;
    ~Closer() { ::closedir(dir); }
  } closer{dir};
  std::vector<std::string> names;
  while (const dirent* entry = ::readdir(dir)) {
    if (owner_of(entry->d_name) > 0) names.emplace_back(entry->d_name);
  }
  return remove_stale(::dirfd(dir), names, owner_of);
}

// The process id in the name of a temporary file of a save of any file.
pid_t any_temp_owner(std::string_view name) {
  constexpr std::string_view kMark = ".tallyset-";
  const std::size_t mark = name.rfind(kMark);
  if (name.empty() || name.front() != '.' || mark == std::string_view::npos || mark < 2) return 0;
  return temp_owner(name, name.substr(0, mark + kMark.size()));
}

}  // namespace

int remove_stale_temp_files(const std::filesystem::path& file) {
  const std::filesystem::path target = write_target(file);
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  const std::string prefix = temp_prefix(target);
  return remove_stale(folder, [&](std::string_view name) { return temp_owner(name, prefix); });
}

int remove_stale_temp_files_in(int folder, const std::vector<std::string>& names) {
  return remove_stale(folder, names, any_temp_owner);
}

WriteResult replace_file(const std::filesystem::path& file,
                         const std::vector<std::string_view>& pieces, const FaultHook& fault,
                         const UnchangedCheck& unchanged, const CompleteHook& complete) {
  WriteResult result;
  const std::filesystem::path target = write_target(file);
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  auto failed = [&](int error) {
    result.error = error;
    return result;
  };
  auto injected = [&](WriteStep step) { return fault ? fault(step) : 0; };

  struct stat original {};
  const bool had_original = ::stat(target.c_str(), &original) == 0;
  if (had_original && !S_ISREG(original.st_mode)) return failed(kNotRegularFile);
  // The folder would let the file be replaced, but a file its owner made
  // read-only (or that this user may not write) is not ours to change. Root
  // passes the access check, so the mode bits are asked as well.
  if (had_original && ((original.st_mode & 0222) == 0 ||
                       ::faccessat(AT_FDCWD, target.c_str(), W_OK, AT_EACCESS) != 0)) {
    result.read_only = true;
    return failed(EACCES);
  }
  const mode_t final_mode = original.st_mode & 07777;

  // Unlinks the temporary file on every path that does not rename it.
  struct TempFile {
    std::filesystem::path path;
    bool armed = false;
    ~TempFile() {
      if (armed) ::unlink(path.c_str());
    }
  } temp;
  // A copy of a private calendar must never be readable by others, not even
  // for a moment: it is made at most owner-readable and writable and gets the
  // original's mode only once it is complete. A new file gets 0666 less the
  // umask, its final mode, at once.
  const mode_t create_mode = had_original ? (final_mode & 0600) : 0666;
  UniqueFd fd;
  for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
    if (const int e = injected(WriteStep::CreateTemp)) return failed(e);
    temp.path = folder / temp_name(target);
    fd = UniqueFd(retry_eintr([&] {
      return ::open(temp.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, create_mode);
    }));
    if (!fd && errno != EEXIST) return failed(errno);
  }
  if (!fd) return failed(EEXIST);
  temp.armed = true;
  // Best effort: only root may give a file away, and a group may not apply.
  if (had_original) (void)!::fchown(fd.get(), original.st_uid, original.st_gid);

  for (std::string_view piece : pieces) {
    while (!piece.empty()) {
      if (const int e = injected(WriteStep::Write)) return failed(e);
      const ssize_t n = ::write(fd.get(), piece.data(), std::min<std::size_t>(piece.size(), 1 << 30));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return failed(errno);
      piece.remove_prefix(static_cast<std::size_t>(n));
    }
  }
  // After fchown, which clears set-id bits; before the sync, which keeps it.
  if (had_original && ::fchmod(fd.get(), final_mode) != 0) return failed(errno);
  if (const int e = injected(WriteStep::SyncFile)) return failed(e);
  if (retry_eintr([&] { return ::fsync(fd.get()); }) != 0) return failed(errno);
  struct stat written {};
  if (::fstat(fd.get(), &written) != 0) return failed(errno);
  // close() can report a deferred write error (NFS); the data must be safe first.
  if (::close(fd.release()) != 0) return failed(errno);
  if (complete) complete(temp.path);

  if (const int e = injected(WriteStep::Rename)) return failed(e);
  // Writing a large file takes a while; another program may have saved the
  // original meanwhile, and renaming over it would lose that change unseen.
  if (unchanged && !unchanged()) {
    result.conflict = true;
    return failed(0);
  }
  if (::rename(temp.path.c_str(), target.c_str()) != 0) return failed(errno);
  temp.armed = false;
  result.replaced = true;
  result.stamp = stamp_of(written);
  // rename() changes the ctime of the file it moves on some file systems.
  struct stat after {};
  if (::stat(target.c_str(), &after) == 0 && after.st_ino == written.st_ino) {
    result.stamp = stamp_of(after);
  }

  // Without this the rename itself may not survive a power cut.
  if (const int e = injected(WriteStep::SyncFolder)) return failed(e);
  UniqueFd dir(retry_eintr([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!dir) return failed(errno);
  if (retry_eintr([&] { return ::fsync(dir.get()); }) != 0) return failed(errno);
  return result;
}

}  // namespace platform::calendar::detail
