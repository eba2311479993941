// Shared test helpers.
#include "test_support.h"

#include <algorithm>
#include <cstdlib>

#include <gtest/gtest.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

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

int ended_process() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

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
  // The suite runs a second time with every calendar read as a large one
  // is, mapped and in two halves (tests/platform/calendar/CMakeLists.txt):
  // the same tests, the other way.
  if (std::getenv("TALLYSET_TEST_READ_IN_TWO") != nullptr) {
    options.read_in_two_from = 0;
    options.map_from = 0;
  }
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

std::string backend_name(const ::testing::TestParamInfo<Backend>& info) {
  return info.param == Backend::File ? "File" : "Vdir";
}

Place::Place(Backend backend, const TempDir& dir)
    : backend_(backend), path_(backend == Backend::File ? dir / "cal.ics" : dir / "vdir") {
  if (backend == Backend::Vdir) std::filesystem::create_directory(path_);
}

namespace {
constexpr std::string_view kHeader = "BEGIN:VCALENDAR\nVERSION:2.0\nPRODID:-//Test//Test//EN\n";
constexpr std::string_view kFooter = "END:VCALENDAR\n";
}  // namespace

void Place::write(const std::string& calendar) {
  if (backend_ == Backend::File) return write_bytes(path_, calendar);
  // Split the top-level components by UID, in order; a VTIMEZONE goes into
  // the files that name its TZID.
  const std::string eol = calendar.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  std::vector<std::pair<std::string, std::string>> objects, zones;
  std::string block, uid;
  std::size_t at = 0;
  while (at < calendar.size()) {
    const std::size_t end = calendar.find('\n', at);
    const std::string line = calendar.substr(at, end - at + 1);
    const std::string bare = line.substr(0, line.size() - eol.size());
    at = end + 1;
    if (block.empty() && (bare.rfind("BEGIN:V", 0) != 0 || bare == "BEGIN:VCALENDAR")) continue;  // the calendar's own lines
    block += line;
    if (uid.empty() && (bare.rfind("UID:", 0) == 0 || bare.rfind("TZID:", 0) == 0)) uid = bare.substr(bare.find(':') + 1);
    if (bare.rfind("END:V", 0) == 0 && bare.substr(4) == block.substr(6, block.find(eol) - 6)) {
      auto& list = block.rfind("BEGIN:VTIMEZONE", 0) == 0 ? zones : objects;
      auto it = std::find_if(list.begin(), list.end(), [&](const auto& o) { return o.first == uid; });
      if (it == list.end()) it = list.insert(list.end(), {uid, ""});
      it->second += block;
      block.clear();
      uid.clear();
    }
  }
  for (auto& [id, body] : objects) {
    std::string used;
    for (const auto& [tzid, zone] : zones) {
      if (body.find("TZID=" + tzid) != std::string::npos) used += zone;
    }
    body.insert(0, used);
  }
  const auto eols = [&](std::string_view lf) { return eol == "\n" ? std::string(lf) : crlf(std::string(lf)); };
  order_.clear();
  for (const auto& [id, body] : objects) {
    order_.push_back(id);
    const std::string bytes = eols(kHeader) + body + eols(kFooter);
    const auto file = file_of(id);
    if (!std::filesystem::exists(file) || read_bytes(file) != bytes) write_bytes(file, bytes);
  }
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() != ".ics" || name[0] == '.') continue;
    if (std::find(order_.begin(), order_.end(), entry.path().stem().string()) == order_.end()) {
      std::filesystem::remove(entry.path());
    }
  }
}

std::string Place::read() const {
  if (backend_ == Backend::File) return read_bytes(path_);
  std::vector<std::string> names;
  for (const std::string& id : order_) {
    if (std::filesystem::exists(file_of(id))) names.push_back(id + ".ics");
  }
  std::vector<std::string> others;
  for (const auto& entry : std::filesystem::directory_iterator(path_)) {
    const std::string name = entry.path().filename().string();
    if (entry.path().extension() == ".ics" && name[0] != '.' &&
        std::find(names.begin(), names.end(), name) == names.end()) {
      others.push_back(name);
    }
  }
  std::sort(others.begin(), others.end());
  names.insert(names.end(), others.begin(), others.end());
  std::string out(kHeader);
  for (const std::string& name : names) {
    std::string bytes = read_bytes(path_ / name);
    const std::size_t first = bytes.find("\nBEGIN:V", bytes.find("BEGIN:VCALENDAR") + 1);
    const std::size_t last = bytes.rfind("END:VCALENDAR");
    if (first != std::string::npos && last != std::string::npos && last > first) out += bytes.substr(first + 1, last - first - 1);
  }
  return out + std::string(kFooter);
}

std::filesystem::path Place::file_of(const std::string& uid) const {
  return backend_ == Backend::File ? path_ : path_ / (uid + ".ics");
}

std::vector<std::string> Place::leftovers() const {
  if (backend_ == Backend::File) return other_files(path_.parent_path(), path_.filename().string());
  std::vector<std::string> hidden;
  for (const std::string& name : other_files(path_, "")) {
    if (name[0] == '.') hidden.push_back(name);
  }
  return hidden;
}

std::string vcalendar(const std::string& body) { return std::string(kHeader) + body + std::string(kFooter); }

}  // namespace calendar_test
