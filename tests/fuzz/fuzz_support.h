// Shared by the fuzz targets: a scratch folder on a memory file system
// where there is one (saves fsync), a check that aborts with a message
// (libFuzzer keeps the input), and the UTF-8 reading of fuzz bytes.
#pragma once

#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>

namespace fuzz {

[[noreturn]] inline void fail(const char* what, const char* file, int line) {
  std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, what);
  std::abort();
}

#define FUZZ_CHECK(condition) \
  do {                        \
    if (!(condition)) ::fuzz::fail(#condition, __FILE__, __LINE__); \
  } while (false)

// One folder for the whole process, removed at exit.
class ScratchFolder {
 public:
  ScratchFolder() {
    std::error_code ec;
    std::filesystem::path base = "/dev/shm";
    if (!std::filesystem::is_directory(base, ec)) base = std::filesystem::temp_directory_path();
    std::string pattern = (base / "tallyset-fuzz-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) fail("mkdtemp", __FILE__, __LINE__);
    path_ = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
  }
  ScratchFolder(const ScratchFolder&) = delete;
  ScratchFolder& operator=(const ScratchFolder&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

inline ScratchFolder& scratch() {
  static ScratchFolder folder;
  return folder;
}

inline void write_bytes(const std::filesystem::path& file, std::string_view bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) fail("cannot write the scratch file", __FILE__, __LINE__);
}

inline std::string read_bytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Fuzz bytes as UTF-16: valid UTF-8 is decoded (so seeds stay readable),
// every other byte b becomes the lone surrogate 0xDC00 + b.
inline std::u16string lenient_utf16(std::string_view in) {
  std::u16string out;
  std::size_t i = 0;
  while (i < in.size()) {
    const auto b = static_cast<unsigned char>(in[i]);
    std::size_t len = b < 0x80 ? 1 : (b >> 5) == 6 ? 2 : (b >> 4) == 14 ? 3 : (b >> 3) == 30 ? 4 : 0;
    char32_t cp = len == 1 ? b : len == 2 ? (b & 0x1F) : len == 3 ? (b & 0x0F) : (b & 0x07);
    bool ok = len != 0 && i + len <= in.size();
    for (std::size_t k = 1; ok && k < len; ++k) {
      const auto c = static_cast<unsigned char>(in[i + k]);
      ok = (c >> 6) == 2;
      cp = (cp << 6) | (c & 0x3F);
    }
    if (!ok) {
      out.push_back(static_cast<char16_t>(0xDC00 + b));
      ++i;
      continue;
    }
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out.push_back(static_cast<char16_t>(0xD800 + (cp >> 10)));
      out.push_back(static_cast<char16_t>(0xDC00 + (cp & 0x3FF)));
    } else {
      out.push_back(static_cast<char16_t>(cp));
    }
    i += len;
  }
  return out;
}

}  // namespace fuzz
