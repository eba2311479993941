// A large calendar is mapped rather than read, under a lease: whatever
// another program then does to the file, the bytes the store holds stay
// the ones it read, and the other program is let on with its write.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <string>

#include "held_bytes.h"
#include "test_support.h"

using platform::calendar::detail::hold_file;
using platform::calendar::detail::HeldRead;
using platform::calendar::detail::UniqueFd;
using namespace calendar_test;

namespace {

namespace fs = std::filesystem;

// A few pages and a piece, so that the last page is partly past the end.
std::string calendar_text() {
  std::string text = "BEGIN:VCALENDAR\r\n";
  while (text.size() < 3 * 4096 + 100) text += "X-FILLER:the same line again and again\r\n";
  return text + "END:VCALENDAR\r\n";
}

void append(const fs::path& file, const std::string& text) {
  UniqueFd fd(::open(file.c_str(), O_WRONLY | O_APPEND));
  ASSERT_TRUE(fd);
  ASSERT_EQ(::write(fd.get(), text.data(), text.size()), static_cast<ssize_t>(text.size()));
}

TEST(LeasedMapping, TheBytesHoldStillWhateverAnotherProgramDoesToTheFile) {
  struct Case {
    const char* name;
    std::function<void(const fs::path&)> meddle;
    std::string after;  // what the file then holds
  };
  const std::string text = calendar_text();
  const Case cases[] = {
      {"rewritten in place", [](const fs::path& f) { write_bytes(f, "theirs\n"); }, "theirs\n"},
      {"cut short", [](const fs::path& f) { ASSERT_EQ(::truncate(f.c_str(), 10), 0); }, text.substr(0, 10)},
      {"appended to", [](const fs::path& f) { append(f, "more\n"); }, text + "more\n"},
      {"rewritten through another name",
       [](const fs::path& f) {
         const fs::path link = f.parent_path() / "link.ics";
         fs::create_hard_link(f, link);
         write_bytes(link, "theirs\n");
       },
       "theirs\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path file = dir.path() / "calendar.ics";
    write_bytes(file, text);
    HeldRead held = hold_file(file, nullptr, 0);
    ASSERT_EQ(held.error, 0);
    ASSERT_TRUE(held.bytes.mapped());
    EXPECT_EQ(held.stamp.size, static_cast<std::int64_t>(text.size()));
    // The other program's write waits for the copy, then goes on.
    c.meddle(file);
    EXPECT_EQ(read_bytes(file), c.after);
    EXPECT_EQ(held.bytes.view(), text);
  }
}

TEST(LeasedMapping, AFileThatCannotBeMappedIsRead) {
  struct Case {
    const char* name;
    std::size_t map_from;
    std::function<void(const fs::path&, UniqueFd&)> make;
    bool mapped;
  };
  const std::string text = calendar_text();
  const auto plain = [&text](const fs::path& f, UniqueFd&) { write_bytes(f, text); };
  const Case cases[] = {
      {"large enough", 0, plain, true},
      {"smaller than mapped from", text.size() + 1, plain, false},
      {"open for writing elsewhere", 0,
       [&text](const fs::path& f, UniqueFd& writer) {
         write_bytes(f, text);
         writer = UniqueFd(::open(f.c_str(), O_WRONLY));
       },
       false},
      {"empty", 0, [](const fs::path& f, UniqueFd&) { write_bytes(f, ""); }, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    TempDir dir;
    const fs::path file = dir.path() / "calendar.ics";
    UniqueFd writer;
    c.make(file, writer);
    const HeldRead held = hold_file(file, nullptr, c.map_from);
    EXPECT_EQ(held.error, 0);
    EXPECT_EQ(held.bytes.mapped(), c.mapped);
    EXPECT_EQ(held.bytes.view(), read_bytes(file));
  }
}

}  // namespace
