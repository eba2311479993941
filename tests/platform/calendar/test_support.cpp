// Shared test helpers.
#include "test_support.h"

#include <gtest/gtest.h>
#include <stdlib.h>

#include <fstream>
#include <iterator>
#include <sstream>

#include "text_codec.h"

namespace calendar_test {

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tallyset-cal-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::remove_all(path_, ignored);
}

ScopedTz::ScopedTz(const char* zone) {
  if (const char* old = getenv("TZ")) saved_ = old;
  setenv("TZ", zone, 1);
}

ScopedTz::~ScopedTz() { saved_ ? setenv("TZ", saved_->c_str(), 1) : unsetenv("TZ"); }

std::string read_bytes(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string test_data(const std::string& name) {
  return read_bytes(std::filesystem::path(TALLYSET_TEST_DATA) / name);
}

std::vector<std::string> test_data_lines(const std::string& name) {
  std::istringstream in(test_data(name));
  std::vector<std::string> lines;
  for (std::string line; std::getline(in, line);)
    if (!line.starts_with('#')) lines.push_back(line);
  return lines;
}

void write_bytes(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
}

std::string crlf(const std::string& lf) {
  std::string out;
  for (char c : lf) {
    if (c == '\n') out.push_back('\r');
    out.push_back(c);
  }
  return out;
}

std::u16string u16(const std::string& utf8) { return platform::FromUtf8(utf8); }
std::string u8(const std::u16string& utf16) { return platform::ToUtf8(utf16); }

namespace {
std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t nl = text.find('\n', start);
    if (nl == std::string::npos) nl = text.size() - 1;
    lines.push_back(text.substr(start, nl - start + 1));
    start = nl + 1;
  }
  return lines;
}
}  // namespace

LineDiff diff_lines(const std::string& before, const std::string& after) {
  const auto a = split_lines(before), b = split_lines(after);
  std::size_t head = 0;
  while (head < a.size() && head < b.size() && a[head] == b[head]) ++head;
  std::size_t tail = 0;
  while (tail < a.size() - head && tail < b.size() - head &&
         a[a.size() - 1 - tail] == b[b.size() - 1 - tail]) {
    ++tail;
  }
  LineDiff d;
  d.removed.assign(a.begin() + static_cast<std::ptrdiff_t>(head), a.end() - static_cast<std::ptrdiff_t>(tail));
  d.added.assign(b.begin() + static_cast<std::ptrdiff_t>(head), b.end() - static_cast<std::ptrdiff_t>(tail));
  return d;
}

std::vector<std::string> other_files(const std::filesystem::path& folder, const std::string& keep) {
  std::vector<std::string> names;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    const std::string name = entry.path().filename().string();
    if (name != keep) names.push_back(name);
  }
  return names;
}

std::unique_ptr<platform::calendar::CalendarStore> open_store(
    const std::filesystem::path& file, platform::calendar::StoreOptions options) {
  std::string error;
  auto store = platform::calendar::CalendarStore::open(file, &error, std::move(options));
  EXPECT_NE(store, nullptr) << error;
  return store;
}

platform::calendar::Oid oid_of(const platform::calendar::CalendarStore& store,
                               const std::string& subject) {
  platform::calendar::Oid found = 0;
  for (platform::calendar::Oid oid : store.all()) {
    const auto fields = store.get(oid);
    if (fields && u8(fields->subject) == subject) {
      if (found != 0) return 0;
      found = oid;
    }
  }
  return found;
}

std::string vcalendar(const std::string& body) {
  return "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Test//Test//EN\n" + body + "END:VCALENDAR\n";
}

}  // namespace calendar_test
