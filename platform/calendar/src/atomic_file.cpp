// POSIX file reading and atomic replacement.
#include "atomic_file.h"
#include "str_cat.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <climits>
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

// Timestamps are only as fine as the kernel's clock tick and the file
// system's granularity; a change within this window of the stamp may leave
// them all unchanged.
constexpr std::int64_t kRacyWindowNs = 2'000'000'000;

int retry_eintr(const std::function<int()>& call) {
  int r;
  do {
    r = call();
  } while (r < 0 && errno == EINTR);
  return r;
}

std::string temp_name(const std::filesystem::path& target) {
  static std::mt19937_64 random{std::random_device{}()};
  static constexpr char kDigits[] = "0123456789abcdefghijklmnopqrstuvwxyz";
  std::string name = str_cat({".", target.filename().string(), ".tallyset-"});
  name.append(std::to_string(::getpid())).push_back('-');  // a forked copy shares `random`'s state
  for (int i = 0; i < 8; ++i) name.push_back(kDigits[random() % 36]);
  return name;
}

}  // namespace

ReadResult read_file(const std::filesystem::path& file) {
  ReadResult r;
  UniqueFd fd(retry_eintr([&] { return ::open(file.c_str(), O_RDONLY | O_CLOEXEC); }));
  if (!fd) {
    r.error = errno;
    return r;
  }
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) {
    r.error = errno;
    return r;
  }
  if (S_ISDIR(st.st_mode)) {
    r.error = EISDIR;
    return r;
  }
  r.stamp = stamp_of(st);
  // Read into a buffer of exactly the file's size: a calendar can be tens of
  // megabytes, and growing the buffer would briefly need twice that.
  r.bytes.resize(static_cast<std::size_t>(st.st_size));
  std::size_t got = 0;
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

Freshness compare_stamp(const std::filesystem::path& file, const FileStamp& stamp) {
  struct stat st {};
  if (::stat(file.c_str(), &st) != 0) return stamp.exists ? Freshness::Changed : Freshness::Same;
  if (!stamp.exists) return Freshness::Changed;
  if (st.st_dev != stamp.device || st.st_ino != stamp.inode || st.st_size != stamp.size ||
      ns(st.st_mtim) != stamp.mtime_ns || ns(st.st_ctim) != stamp.ctime_ns) {
    return Freshness::Changed;
  }
  return stamp.mtime_ns + kRacyWindowNs >= stamp.taken_ns ? Freshness::Unsure : Freshness::Same;
}

std::filesystem::path write_target(const std::filesystem::path& file) {
  std::error_code ec;
  if (std::filesystem::is_symlink(file, ec)) {
    const auto resolved = std::filesystem::canonical(file, ec);
    if (!ec) return resolved;
  }
  return file;
}

WriteResult replace_file(const std::filesystem::path& file,
                         const std::vector<std::string_view>& pieces, const FaultHook& fault) {
  WriteResult result;
  const std::filesystem::path target = write_target(file);
  std::filesystem::path folder = target.parent_path();
  if (folder.empty()) folder = ".";
  auto failed = [&](WriteStep step, int error) {
    result.step = step;
    result.error = error;
    return result;
  };
  auto injected = [&](WriteStep step) { return fault ? fault(step) : 0; };

  struct stat original {};
  const bool had_original = ::stat(target.c_str(), &original) == 0;

  // Unlinks the temporary file on every path that does not rename it.
  struct TempFile {
    std::filesystem::path path;
    bool armed = false;
    ~TempFile() {
      if (armed) ::unlink(path.c_str());
    }
  } temp;
  UniqueFd fd;
  for (int attempt = 0; attempt < 100 && !fd; ++attempt) {
    if (const int e = injected(WriteStep::CreateTemp)) return failed(WriteStep::CreateTemp, e);
    temp.path = folder / temp_name(target);
    fd = UniqueFd(retry_eintr([&] {
      return ::open(temp.path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    }));
    if (!fd && errno != EEXIST) return failed(WriteStep::CreateTemp, errno);
  }
  if (!fd) return failed(WriteStep::CreateTemp, EEXIST);
  temp.armed = true;
  if (had_original) {
    // Best effort: only root may give a file away, and a group may not apply.
    (void)!::fchown(fd.get(), original.st_uid, original.st_gid);
    if (::fchmod(fd.get(), original.st_mode & 07777) != 0) return failed(WriteStep::CreateTemp, errno);
  }

  for (std::string_view piece : pieces) {
    while (!piece.empty()) {
      if (const int e = injected(WriteStep::Write)) return failed(WriteStep::Write, e);
      const ssize_t n = ::write(fd.get(), piece.data(), std::min<std::size_t>(piece.size(), 1 << 30));
      if (n < 0 && errno == EINTR) continue;
      if (n < 0) return failed(WriteStep::Write, errno);
      piece.remove_prefix(static_cast<std::size_t>(n));
    }
  }
  if (const int e = injected(WriteStep::SyncFile)) return failed(WriteStep::SyncFile, e);
  if (retry_eintr([&] { return ::fsync(fd.get()); }) != 0) return failed(WriteStep::SyncFile, errno);
  struct stat written {};
  if (::fstat(fd.get(), &written) != 0) return failed(WriteStep::SyncFile, errno);
  // close() can report a deferred write error (NFS); the data must be safe first.
  if (::close(fd.release()) != 0) return failed(WriteStep::SyncFile, errno);

  if (const int e = injected(WriteStep::Rename)) return failed(WriteStep::Rename, e);
  if (::rename(temp.path.c_str(), target.c_str()) != 0) return failed(WriteStep::Rename, errno);
  temp.armed = false;
  result.replaced = true;
  result.stamp = stamp_of(written);
  // rename() changes the ctime of the file it moves on some file systems.
  struct stat after {};
  if (::stat(target.c_str(), &after) == 0 && after.st_ino == written.st_ino) {
    result.stamp = stamp_of(after);
  }

  // Without this the rename itself may not survive a power cut.
  if (const int e = injected(WriteStep::SyncFolder)) return failed(WriteStep::SyncFolder, e);
  UniqueFd dir(retry_eintr([&] { return ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
  if (!dir) return failed(WriteStep::SyncFolder, errno);
  if (retry_eintr([&] { return ::fsync(dir.get()); }) != 0) return failed(WriteStep::SyncFolder, errno);
  return result;
}

}  // namespace platform::calendar::detail
