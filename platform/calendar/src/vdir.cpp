#include "vdir.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cctype>
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

FolderListing list_folder(const std::filesystem::path& folder) {
  FolderListing listing;
  DIR* dir = ::opendir(folder.c_str());
  if (dir == nullptr) {
    listing.error = errno;
    return listing;
  }
  struct Closer {
    DIR* dir;
    ~Closer() { ::closedir(dir); }
  } closer{dir};
  while (const dirent* entry = ::readdir(dir)) {
    const std::string_view name = entry->d_name;
    if (!is_object_name(name)) continue;
    struct stat st {};
    if (::fstatat(::dirfd(dir), entry->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    if (!S_ISREG(st.st_mode)) {
      listing.refused.push_back(printable_name(name) + " is " + mode_kind(st.st_mode));
      continue;
    }
    listing.files.push_back({std::string(name), stamp_of(st)});
  }
  std::sort(listing.files.begin(), listing.files.end(),
            [](const FolderFile& a, const FolderFile& b) { return a.name < b.name; });
  std::sort(listing.refused.begin(), listing.refused.end());
  return listing;
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
