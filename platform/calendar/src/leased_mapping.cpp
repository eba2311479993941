#include "leased_mapping.h"

#include <fcntl.h>
#include <pthread.h>
#include <signal.h>
#include <sys/mman.h>
#include <sys/signalfd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <future>
#include <mutex>
#include <system_error>
#include <thread>
#include <vector>

namespace platform::calendar::detail {

struct LeasedMapping::Region {
  UniqueFd fd;  // holds the lease while `leased`
  char* address = nullptr;
  std::size_t length = 0;  // of the mapping: the size rounded up to whole pages
  std::size_t size = 0;
  bool leased = false;
};

namespace {

using Region = LeasedMapping::Region;

// The thread told when a lease is to be broken, and the regions it may be
// told about. A lease names the thread its signal goes to, which keeps that
// signal blocked and reads it from a signalfd: no other thread ever sees it.
// It lives as long as the process.
struct Watcher {
  std::mutex mutex;
  std::vector<Region*> regions;  // under `mutex`
  int signal = 0;
  pid_t thread = 0;  // 0 where it could not be started: no leases then
};

// Copies the region's bytes into memory of the process's own and moves that
// over the mapping, at the same addresses, so that a reader sees the same
// bytes before and after; then lets the lease go, which lets the writer on.
void copy_out(Region& r) {
  void* copy = ::mmap(nullptr, r.length, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  if (copy != MAP_FAILED) {
    std::memcpy(copy, r.address, r.size);
    (void)::mprotect(copy, r.length, PROT_READ);
    if (::mremap(copy, r.length, r.length, MREMAP_MAYMOVE | MREMAP_FIXED, r.address) == MAP_FAILED) {
      ::munmap(copy, r.length);
    }
  }
  // Without memory for the copy the lease goes all the same: holding it
  // would only make the writer wait for the kernel to break it.
  (void)::fcntl(r.fd.get(), F_SETLEASE, F_UNLCK);
  r.fd = UniqueFd();
  r.leased = false;
}

void watch(Watcher& w, std::promise<pid_t> ready) {
  // Where the signal cannot be queued (too many pending) the kernel sends a
  // plain SIGIO instead, which would end the process: it is taken here too,
  // and then every lease goes.
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, w.signal);
  sigaddset(&set, SIGIO);
  const int events = pthread_sigmask(SIG_BLOCK, &set, nullptr) == 0 ? ::signalfd(-1, &set, SFD_CLOEXEC) : -1;
  ready.set_value(events >= 0 ? ::gettid() : 0);
  if (events < 0) return;
  while (true) {
    signalfd_siginfo info{};
    const ssize_t n = ::read(events, &info, sizeof info);
    if (n < 0 && errno == EINTR) continue;
    if (n != static_cast<ssize_t>(sizeof info)) return;
    std::lock_guard lock(w.mutex);
    for (Region* r : w.regions) {
      const bool named = static_cast<int>(info.ssi_signo) == w.signal && r->fd.get() == info.ssi_fd;
      if (r->leased && (named || info.ssi_signo == SIGIO)) copy_out(*r);
    }
  }
}

Watcher* the_watcher = nullptr;

// A child of fork() has no watcher thread: it takes no leases, and those of
// the mappings it inherits stay the parent's, which letting go of in the
// child would end for the parent too.
void before_fork() { the_watcher->mutex.lock(); }
void after_fork_in_parent() { the_watcher->mutex.unlock(); }
void after_fork_in_child() {
  the_watcher->thread = 0;
  for (Region* r : the_watcher->regions) r->leased = false;
  the_watcher->mutex.unlock();
}

Watcher& watcher() {
  // Never destroyed: its thread may be told of a lease to break until the
  // process ends, and a mapping may outlive static destructors.
  static Watcher* const w = [] {
    auto* made = new Watcher;
    the_watcher = made;
    (void)pthread_atfork(before_fork, after_fork_in_parent, after_fork_in_child);
    made->signal = SIGRTMAX - 3;
    std::promise<pid_t> ready;
    std::future<pid_t> thread = ready.get_future();
    try {
      std::thread(watch, std::ref(*made), std::move(ready)).detach();
      made->thread = thread.get();
    } catch (const std::system_error&) {
      made->thread = 0;
    }
    return made;
  }();
  return *w;
}

void unmap(Region& r) {
  if (r.address != nullptr) ::munmap(r.address, r.length);
  if (r.leased) (void)::fcntl(r.fd.get(), F_SETLEASE, F_UNLCK);
  r.address = nullptr;
  r.leased = false;
}

}  // namespace

std::optional<LeasedMapping> LeasedMapping::map(int file, bool whole, FileStamp* stamp) {
  Watcher& w = watcher();
  if (w.thread == 0) return std::nullopt;
  // The lease is the open file's; the descriptor kept for it is this one's.
  auto region = std::make_unique<Region>();
  region->fd = UniqueFd(::fcntl(file, F_DUPFD_CLOEXEC, 0));
  if (!region->fd) return std::nullopt;
  const int fd = region->fd.get();
  struct stat st {};
  const f_owner_ex owner{F_OWNER_TID, w.thread};
  std::lock_guard lock(w.mutex);
  if (::fcntl(fd, F_SETSIG, w.signal) != 0 || ::fcntl(fd, F_SETOWN_EX, &owner) != 0 ||
      ::fcntl(fd, F_SETLEASE, F_RDLCK) != 0) {
    return std::nullopt;
  }
  region->leased = true;
  // From here on nobody writes the file: what it holds now is what is mapped.
  if (::fstat(fd, &st) != 0 || st.st_size <= 0) {
    unmap(*region);
    return std::nullopt;
  }
  const auto page = static_cast<std::size_t>(::sysconf(_SC_PAGESIZE));
  region->size = static_cast<std::size_t>(st.st_size);
  region->length = (region->size + page - 1) / page * page;
  void* at = ::mmap(nullptr, region->length, PROT_READ, MAP_PRIVATE | (whole ? MAP_POPULATE : 0), fd, 0);
  if (at == MAP_FAILED) {
    unmap(*region);
    return std::nullopt;
  }
  region->address = static_cast<char*>(at);
  w.regions.push_back(region.get());
  *stamp = stamp_of(st);
  return LeasedMapping(std::move(region));
}

LeasedMapping::LeasedMapping(std::unique_ptr<Region> region) : region_(std::move(region)) {}
LeasedMapping::LeasedMapping(LeasedMapping&&) noexcept = default;
LeasedMapping& LeasedMapping::operator=(LeasedMapping&& other) noexcept {
  LeasedMapping gone(std::move(*this));
  region_ = std::move(other.region_);
  return *this;
}

LeasedMapping::~LeasedMapping() {
  if (!region_) return;
  Watcher& w = watcher();
  std::lock_guard lock(w.mutex);
  w.regions.erase(std::remove(w.regions.begin(), w.regions.end(), region_.get()), w.regions.end());
  unmap(*region_);
}

std::string_view LeasedMapping::bytes() const { return {region_->address, region_->size}; }

void LeasedMapping::map_all() {
  constexpr int kPopulateRead = 22;  // MADV_POPULATE_READ, not in every libc's headers
  (void)::madvise(region_->address, region_->length, kPopulateRead);
}

}  // namespace platform::calendar::detail
