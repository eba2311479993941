// The user's file survives the program dying in the middle of a save: at
// every moment it is wholly the calendar before a save or wholly the
// calendar after it. (Each failing step of a save, a full disk among them,
// is injected in atomic_write_test.cpp.)
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <random>
#include <thread>
#include <unordered_map>

#include "platform/calendar/calendar_store.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;

// A calendar big enough that writing it takes a while: `events` events plus
// the one the saves change.
std::string big_calendar(int events) {
  std::string body =
      "BEGIN:VEVENT\nUID:target\nDTSTAMP:20260101T000000Z\nLAST-MODIFIED:20260101T000000Z\n"
      "DTSTART:20261130T090000Z\nDTEND:20261130T100000Z\nSUMMARY:Target\nCATEGORIES:Start\nEND:VEVENT\n";
  for (int i = 0; i < events; ++i) {
    const std::string n = std::to_string(i);
    body += "BEGIN:VEVENT\nUID:filler-" + n + "\nDTSTAMP:20260101T000000Z\nDTSTART:20261201T" +
            (i % 2 ? "10" : "11") + "0000Z\nSUMMARY:Filler " + n +
            "\nDESCRIPTION:Some text that makes the file longer\\, as real ones are.\n"
            "CATEGORIES:Work\nBEGIN:VALARM\nACTION:DISPLAY\nTRIGGER:-PT15M\nDESCRIPTION:x\nEND:VALARM\n"
            "END:VEVENT\n";
  }
  return vcalendar(body);
}

std::u16string choice(int j) { return u"Round " + u16(std::to_string(j)); }
constexpr int kChoices = 7;

// The saves a child makes, forever, until it is killed: the target's
// categories cycle through the choices from `first` on. It writes 'o' to
// `progress` once the store is open and 's' after each save.
[[noreturn]] void save_forever(const std::filesystem::path& file, int first, int progress) {
  std::string error;
  auto store = CalendarStore::open(file, &error, fixed_clock());
  if (!store) _exit(10);
  const auto found = store->find(u"[Subject] = \"Target\"");
  if (!found || found->size() != 1) _exit(11);
  const Oid target = found->front();
  if (::write(progress, "o", 1) != 1) _exit(13);
  for (int j = first;; ++j) {
    if (const StoreStatus status = edit(*store, target, [&](auto& f) { f.categories = choice(j % kChoices); });
        !status.ok) {
      std::fprintf(stderr, "save failed: %s\n", status.message.c_str());
      _exit(12);
    }
    if (::write(progress, "s", 1) != 1) _exit(13);
  }
}

// Reads one byte from the child; false when it has gone.
bool next_report(int progress, char* c) {
  ssize_t n;
  while ((n = ::read(progress, c, 1)) < 0 && errno == EINTR) {
  }
  return n == 1;
}

// A single file, and a folder (smaller: its saves write the target's file only).
class CrashSafety : public ::testing::TestWithParam<Backend> {};

TEST_P(CrashSafety, KilledSavesLeaveTheOldOrTheNewFile) {
  ScopedTz tz("UTC");
  TempDir dir;
  const bool folder = GetParam() == Backend::Vdir;
  const int fillers = folder ? 300 : 1500;
  const std::string initial = folder ? big_calendar(fillers) : crlf(big_calendar(fillers));

  // Every content the target's file may have: as it started, and after each choice.
  std::unordered_map<std::string, int> valid;
  {
    TempDir scratch;
    Place place(GetParam(), scratch);
    place.write(initial);
    valid.emplace(read_bytes(place.file_of("target")), -1);
    auto store = open_store(place.path(), fixed_clock());
    const Oid target = oid_of(*store, "Target");
    ASSERT_NE(target, 0u);
    for (int j = 0; j < kChoices; ++j) {
      ASSERT_TRUE(edit(*store, target, [&](auto& f) { f.categories = choice(j); }).ok);
      valid.emplace(read_bytes(place.file_of("target")), j);
    }
    ASSERT_EQ(valid.size(), static_cast<std::size_t>(kChoices + 1));
  }

  Place place(GetParam(), dir);
  place.write(initial);
  const std::filesystem::path file = place.path();
  std::mt19937 random(20261204);
  // Kills land after 0 to 3 completed saves, at a random moment of the next.
  std::uniform_int_distribution<int> saves_before(0, 3);
  std::uniform_int_distribution<int> delay_us(0, 6000);
  constexpr int kRounds = 200;
  for (int round = 0; round < kRounds; ++round) {
    int pipe_ends[2];
    ASSERT_EQ(::pipe(pipe_ends), 0) << std::strerror(errno);
    const pid_t child = fork();
    ASSERT_GE(child, 0) << std::strerror(errno);
    if (child == 0) {
      ::close(pipe_ends[0]);
      save_forever(file, round % kChoices, pipe_ends[1]);
    }
    ::close(pipe_ends[1]);
    const int wanted = saves_before(random);
    int completed = 0;
    char c = 0;
    bool alive = next_report(pipe_ends[0], &c) && c == 'o';
    while (alive && completed < wanted) {
      alive = next_report(pipe_ends[0], &c);
      if (alive) ++completed;
    }
    if (alive) std::this_thread::sleep_for(std::chrono::microseconds(delay_us(random)));
    ASSERT_EQ(kill(child, SIGKILL), 0);
    int status = 0;
    ASSERT_EQ(waitpid(child, &status, 0), child);
    ::close(pipe_ends[0]);
    // The child only ever ends by the kill; an exit means a save failed.
    ASSERT_TRUE(WIFSIGNALED(status)) << "round " << round << ": the saving process exited with "
                                     << WEXITSTATUS(status);

    const std::string now = read_bytes(place.file_of("target"));
    const auto it = valid.find(now);
    ASSERT_NE(it, valid.end()) << "round " << round << ": the file is neither the calendar before nor after a save ("
                               << now.size() << " bytes)";
    // A save the child finished is on disk, not the calendar from before it.
    if (completed > 0) { EXPECT_NE(it->second, -1) << "round " << round; }
    auto reopened = open_store(file);
    ASSERT_TRUE(reopened) << "round " << round;
    ASSERT_EQ(reopened->size(), static_cast<std::size_t>(fillers + 1));
    // The killed save's temporary file, as large as the calendar, goes at the next open.
    EXPECT_EQ(place.leftovers(), std::vector<std::string>{}) << "round " << round;
  }
}

INSTANTIATE_TEST_SUITE_P(Backends, CrashSafety, ::testing::Values(Backend::File, Backend::Vdir), backend_name);

}  // namespace
}  // namespace platform::calendar
