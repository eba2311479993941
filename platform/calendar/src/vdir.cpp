#include "vdir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <random>

namespace platform::calendar::detail {

FileStamp object_stamp(const std::filesystem::path& path) {
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return {};
  return stamp_of(st);
}

FileStamp folder_stamp(const std::filesystem::path& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) return {};
  return stamp_of(st);
}

bool operator==(const FolderFile& a, const FolderFile& b) {
  return a.name == b.name && same_file(a.stamp, b.stamp);
}

bool is_object_name(std::string_view name) {
  constexpr std::string_view kExt = ".ics";
  return name.size() > kExt.size() && name.front() != '.' &&
         name.substr(name.size() - kExt.size()) == kExt;
}

std::string printable_name(std::string_view name) {
  std::string out;
  for (std::size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    std::size_t length = c < 0x80 ? 1 : (c >> 5) == 6 ? 2 : (c >> 4) == 14 ? 3 : (c >> 3) == 30 ? 4 : 0;
    bool valid = length > 0 && i + length <= name.size();
    for (std::size_t k = 1; valid && k < length; ++k) valid = (static_cast<unsigned char>(name[i + k]) & 0xC0) == 0x80;
    if (!valid || c < 0x20 || c == 0x7F) {
      char hex[5];
      std::snprintf(hex, sizeof hex, "\\x%02x", c);
      out += hex;
      continue;
    }
    out.append(name.substr(i, length));
    i += length - 1;
  }
  return out;
}

namespace {

// Sorts an order of small indices and moves each entry once: the entries
// are large, and a folder can hold tens of thousands of them.
void sort_by_name(std::vector<FolderFile>& files) {
  std::vector<std::uint32_t> order(files.size());
  for (std::uint32_t i = 0; i < order.size(); ++i) order[i] = i;
  std::sort(order.begin(), order.end(),
            [&files](std::uint32_t a, std::uint32_t b) { return files[a].name < files[b].name; });
  std::vector<FolderFile> sorted;
  sorted.reserve(files.size());
  for (const std::uint32_t i : order) sorted.push_back(std::move(files[i]));
  files = std::move(sorted);
}

}  // namespace

FolderListing list_folder(const std::filesystem::path& folder, Stamps stamps) {
  FolderListing listing;
  listing.dir = UniqueFd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
  // The stream reads through a second descriptor; `listing.dir` stays open.
  UniqueFd stream(listing.dir ? ::fcntl(listing.dir.get(), F_DUPFD_CLOEXEC, 0) : -1);
  DIR* dir = stream ? ::fdopendir(stream.get()) : nullptr;
  if (dir == nullptr) {
    listing.error = errno;
    listing.dir = UniqueFd();
    return listing;  // `stream` closes the copy, if any
  }
  stream.release();  // closedir closes it
  struct Closer {
    DIR* dir;
    ~Closer() { ::closedir(dir); }
  } closer{dir};
  const int at = listing.dir.get();
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (!is_object_name(name)) {
      if (name.front() == '.' && name.find(".tallyset-") != std::string_view::npos) listing.temporary.emplace_back(name);
      continue;
    }
    mode_t mode = DTTOIF(entry->d_type);
    struct stat st {};
    const bool known = entry->d_type != DT_UNKNOWN;
    if (!known || (S_ISREG(mode) && stamps == Stamps::Taken)) {
      if (::fstatat(at, entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
      mode = st.st_mode;
      if (S_ISREG(mode) && st.st_nlink > 1) listing.linked = true;
    }
    if (!S_ISREG(mode)) {
      listing.refused.push_back(printable_name(name) + " is " + mode_kind(mode));
      continue;
    }
    listing.files.push_back({std::string(name), stamps == Stamps::Taken ? stamp_of(st) : FileStamp{}});
  }
  sort_by_name(listing.files);
  std::sort(listing.refused.begin(), listing.refused.end());
  return listing;
}

int append_object(int dir, const std::string& name, std::string& bytes, FileStamp& stamp, bool* linked) {
  // O_NONBLOCK: a FIFO put in the file's place meanwhile cannot hang the open.
  const UniqueFd fd(::openat(dir, name.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
  if (!fd) return errno == ELOOP ? kNotRegularFile : errno;
  struct stat st {};
  if (::fstat(fd.get(), &st) != 0) return errno;
  if (!S_ISREG(st.st_mode)) return kNotRegularFile;
  stamp = stamp_of(st);
  if (st.st_nlink > 1) *linked = true;
  const std::size_t base = bytes.size();
  // One byte more than the file holds: a read that stops short of it has
  // reached the end.
  std::size_t want = static_cast<std::size_t>(st.st_size) + 1;
  std::size_t got = 0;
  while (true) {
    bytes.resize(base + got + want);
    const ssize_t n = ::read(fd.get(), bytes.data() + base + got, want);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      const int error = errno;
      bytes.resize(base);
      return error;
    }
    got += static_cast<std::size_t>(n);
    if (n == 0 || (got == static_cast<std::size_t>(st.st_size) && static_cast<std::size_t>(n) < want)) break;
    want = std::max<std::size_t>(4096, want - static_cast<std::size_t>(n));
  }
  bytes.resize(base + got);
  // Written while it was read: the stamp cannot vouch for these bytes.
  if (got != static_cast<std::size_t>(st.st_size)) stamp.mtime_ns = -1;
  return 0;
}

bool same_file(const FileStamp& a, const FileStamp& b) {
  return a.exists == b.exists && a.device == b.device && a.inode == b.inode && a.size == b.size &&
         a.mtime_ns == b.mtime_ns && a.ctime_ns == b.ctime_ns;
}

std::string new_uuid() {
  static std::mt19937_64 random{std::random_device{}()};
  unsigned char bytes[16];
  for (int i = 0; i < 16; i += 8) {
    const std::uint64_t r = random();
    for (int k = 0; k < 8; ++k) bytes[i + k] = static_cast<unsigned char>(r >> (8 * k));
  }
  bytes[6] = static_cast<unsigned char>((bytes[6] & 0x0F) | 0x40);  // version 4
  bytes[8] = static_cast<unsigned char>((bytes[8] & 0x3F) | 0x80);  // RFC 4122 variant
  static constexpr char kHex[] = "0123456789abcdef";
  std::string uuid;
  for (int i = 0; i < 16; ++i) {
    if (i == 4 || i == 6 || i == 8 || i == 10) uuid.push_back('-');
    uuid.push_back(kHex[bytes[i] >> 4]);
    uuid.push_back(kHex[bytes[i] & 0x0F]);
  }
  return uuid;
}

bool holds_no_component(std::string_view calendar) {
  std::size_t at = 0;
  while (at < calendar.size()) {
    std::size_t eol = calendar.find('\n', at);
    if (eol == std::string_view::npos) eol = calendar.size();
    std::string line(calendar.substr(at, eol - at));
    at = eol + 1;
    while (!line.empty() && (line.back() == '\r' || line.back() == ' ' || line.back() == '\t')) line.pop_back();
    for (char& c : line) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    if (line.rfind("BEGIN:", 0) != 0) continue;
    const std::string_view component = std::string_view(line).substr(6);
    if (component != "VCALENDAR" && component != "VTIMEZONE" && component != "STANDARD" && component != "DAYLIGHT") {
      return false;
    }
  }
  return true;
}

int remove_object(const std::filesystem::path& folder, const std::string& name) {
  const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir < 0) return errno;
  UniqueFd owned(dir);
  if (::unlinkat(dir, name.c_str(), 0) != 0) return errno;
  return ::fsync(dir) != 0 ? errno : 0;
}

}  // namespace platform::calendar::detail
