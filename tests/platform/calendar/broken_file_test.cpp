// Files the store must refuse: each gets one clear line naming the file and
// the line, and the file is left untouched. (Random bytes: the
// calendar_round_trip fuzz target.)
#include <gtest/gtest.h>

#include "platform/calendar/calendar_store.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;

std::string refusal(const std::filesystem::path& file) {
  const std::string before = read_bytes(file);
  std::string error;
  auto store = CalendarStore::open(file, &error);
  EXPECT_EQ(store, nullptr);
  EXPECT_EQ(read_bytes(file), before);
  EXPECT_EQ(error.find('\n'), std::string::npos) << error;
  EXPECT_NE(error.find(file.string()), std::string::npos) << error;
  return error;
}

// `expected` is in the message.
struct Refused { std::string what, bytes, expected; };

// refused.txt: each calendar follows a line "== what | text of the message".
std::vector<Refused> refused_cases() {
  const std::string all = test_data("refused.txt");
  std::vector<Refused> cases;
  for (std::size_t at = all.find("== "); at != std::string::npos;) {
    const std::size_t body = all.find('\n', at) + 1, bar = all.find(" | ", at);
    const std::size_t next = all.find("\n== ", body - 1);
    const std::size_t end = next == std::string::npos ? all.size() : next + 1;
    cases.push_back({all.substr(at + 3, bar - at - 3), all.substr(body, end - body),
                     all.substr(bar + 3, body - 1 - bar - 3)});
    at = next == std::string::npos ? next : next + 1;
  }
  return cases;
}

TEST(BrokenFile, IsRefusedWithTheLineAndTheReason) {
  // A broken event alone does not refuse the file (safety_test.cpp); a broken structure does.
  std::vector<Refused> cases = refused_cases();
  ASSERT_EQ(cases.size(), 9u);
  cases.push_back({"binary", std::string("\x89PNG\r\n\x1a\n\0\0\0\rIHDR", 16), "line 1: not an iCalendar file"});
  for (const Refused& c : cases) {
    TempDir dir;
    write_bytes(dir / "cal.ics", c.bytes);
    const std::string error = refusal(dir / "cal.ics");
    EXPECT_NE(error.find(c.expected), std::string::npos) << c.what << ": " << error;
  }
}

TEST(BrokenFile, UnreadablePathIsRefusedWithTheReason) {
  TempDir dir;
  std::string error;
  write_bytes(dir / "file", "x");
  EXPECT_EQ(CalendarStore::open(dir / "file" / "cal.ics", &error), nullptr);
  EXPECT_NE(error.find("Not a directory"), std::string::npos) << error;
}

// Empty and blank files, a byte order mark and blank lines are tolerated;
// an add keeps what was there.
TEST(BrokenFile, BlankLinesAndAByteOrderMarkAreTolerated) {
  const std::string bom = "\xEF\xBB\xBF" + vcalendar("\nBEGIN:VEVENT\nDTSTART:20260101T100000Z\n\nEND:VEVENT\n") + "\n";
  for (const std::string& bytes : {std::string(), std::string("\n\n"), std::string("\r\n"), bom}) {
    TempDir dir;
    write_bytes(dir / "cal.ics", bytes);
    auto store = open_store(dir / "cal.ics");
    ASSERT_TRUE(store);
    const std::size_t events = bytes == bom ? 1 : 0;
    EXPECT_EQ(store->size(), events);
    StoreStatus status;
    ASSERT_NE(store->add(appointment(u"First", {2026, 1, 1, 9, 0, 0}), &status), 0u) << status.message;
    EXPECT_EQ(read_bytes(dir / "cal.ics").rfind(bytes.substr(0, bytes.find("END:VCALENDAR")), 0), 0u);
    EXPECT_EQ(open_store(dir / "cal.ics")->size(), events + 1);
  }
}

}  // namespace
}  // namespace platform::calendar
