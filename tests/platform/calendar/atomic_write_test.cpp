// A save that fails leaves the user's file exactly as it was, leaves no
// stray files, and leaves the store showing what is really on disk.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "atomic_file.h"
#include "platform/calendar/calendar_store.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;

const std::string kCalendar = vcalendar(
    "BEGIN:VEVENT\nUID:a\nSUMMARY:Alpha\nDTSTART:20261130T090000Z\nCATEGORIES:Old\nEND:VEVENT\n"
    "BEGIN:VEVENT\nUID:b\nSUMMARY:Beta\nDTSTART:20261201T090000Z\nEND:VEVENT\n");

// The n-th call of one step of the write fails: every step before the
// rename, and each of the three pieces a one-event save writes (before the
// event, the event, after it).
struct Fault { WriteStep step; int nth; int error; const char* name; };

// On a single file and on a folder of one file per event.
class FailedWriteTest : public ::testing::TestWithParam<std::tuple<Fault, Backend>> {
 protected:
  void SetUp() override {
    place_.write(kCalendar);
    written_ = place_.read();
    store_ = open_store(place_.path(), faulting([this](WriteStep step) {
      return armed_ && step == fault().step && ++calls_ == fail_at_ ? fault().error : 0;
    }));
    ASSERT_TRUE(store_);
    alpha_ = oid_of(*store_, "Alpha");
    ASSERT_NE(alpha_, 0u);
  }
  static const Fault& fault() { return std::get<0>(GetParam()); }
  static bool folder() { return std::get<1>(GetParam()) == Backend::Vdir; }

  // The save was refused with the file and the reason, and nothing changed.
  void expect_refused(const StoreStatus& status) {
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.error_number, fault().error);
    EXPECT_NE(status.message.find(place_.path().string()), std::string::npos) << status.message;
    EXPECT_NE(status.message.find(std::strerror(fault().error)), std::string::npos) << status.message;
    EXPECT_NE(status.message.find("unchanged"), std::string::npos) << status.message;
    EXPECT_EQ(place_.read(), written_);
    EXPECT_TRUE(place_.leftovers().empty());
    EXPECT_EQ(store_->size(), 2u);
    EXPECT_EQ(store_->get(alpha_)->categories, u"Old");
    calls_ = 0;
  }

  ScopedTz tz_{"UTC"};
  TempDir dir_;
  Place place_{std::get<1>(GetParam()), dir_};
  std::string written_;
  bool armed_ = true;
  int calls_ = 0;
  int fail_at_ = fault().nth;
  std::unique_ptr<CalendarStore> store_;
  Oid alpha_ = 0;
};

TEST_P(FailedWriteTest, UpdateAddAndRemoveAreRefusedAndTheFileStays) {
  AppointmentFields changed = *store_->get(alpha_);
  changed.categories = u"New";
  expect_refused(store_->update(alpha_, changed));

  // A new file in a folder is written in one piece.
  if (!folder() || fault().step != WriteStep::Write || fault().nth == 1) {
    StoreStatus status;
    EXPECT_EQ(store_->add(appointment(u"Gamma", {2026, 12, 2, 9, 0, 0}), &status), 0u);
    expect_refused(status);
    EXPECT_EQ(oid_of(*store_, "Gamma"), 0u);
  }

  // In a folder Delete removes the event's file: there is no write to fail.
  if (!folder()) {
    fail_at_ = std::min(fail_at_, 2);  // a removal writes two pieces
    expect_refused(store_->remove(alpha_));
    EXPECT_EQ(store_->find(u"[Subject] = \"Alpha\""), std::vector<Oid>{alpha_});
  }

  // Once the disk recovers the same save goes through.
  armed_ = false;
  ASSERT_TRUE(store_->update(alpha_, changed).ok);
  auto reopened = open_store(place_.path());
  EXPECT_EQ(reopened->get(oid_of(*reopened, "Alpha"))->categories, u"New");
  EXPECT_TRUE(place_.leftovers().empty());
}

INSTANTIATE_TEST_SUITE_P(
    EveryStepBeforeTheRename, FailedWriteTest,
    ::testing::Combine(::testing::Values(Fault{WriteStep::CreateTemp, 1, EROFS, "CreateReadOnly"},
                      Fault{WriteStep::Write, 1, ENOSPC, "FirstPieceDiskFull"},
                      Fault{WriteStep::Write, 2, EIO, "SecondPieceIoError"},
                      Fault{WriteStep::Write, 3, ENOSPC, "ThirdPieceDiskFull"},
                      Fault{WriteStep::SyncFile, 1, EIO, "SyncIoError"},
                      Fault{WriteStep::Rename, 1, EXDEV, "RenameAcrossDevices"}),
                       ::testing::Values(Backend::File, Backend::Vdir)),
    [](const auto& info) {
      return std::string(std::get<0>(info.param).name) + (std::get<1>(info.param) == Backend::Vdir ? "Vdir" : "");
    });

TEST(FailedWrite, FolderSyncFailureAfterTheRenameKeepsStoreAndDiskAlike) {
  ScopedTz tz("UTC");
  TempDir dir;
  write_bytes(dir / "cal.ics", kCalendar);
  auto store = open_store(dir / "cal.ics", faulting([](WriteStep step) { return step == WriteStep::SyncFolder ? EIO : 0; }));
  const Oid alpha = oid_of(*store, "Alpha");
  const StoreStatus status = edit(*store, alpha, [](auto& f) { f.categories = u"New"; });
  // The new file is in place, so the change is saved; the warning says what is in doubt.
  EXPECT_TRUE(status.ok);
  EXPECT_EQ(status.error_number, EIO);
  EXPECT_NE(status.message.find(std::strerror(EIO)), std::string::npos) << status.message;
  EXPECT_EQ(store->get(alpha)->categories, u"New");
  EXPECT_EQ(open_store(dir / "cal.ics")->get(alpha)->categories, u"New");
  EXPECT_TRUE(other_files(dir.path(), "cal.ics").empty());
}

TEST(FailedWrite, RealFailureWhenTheFolderIsGone) {
  ScopedTz tz("UTC");
  TempDir dir;
  const auto folder = dir / "sub";
  std::filesystem::create_directory(folder);
  auto store = open_store(folder / "cal.ics");
  std::filesystem::remove(folder);
  StoreStatus status;
  EXPECT_EQ(store->add(appointment(u"Nowhere", {2026, 12, 2, 9, 0, 0}), &status), 0u);
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.error_number, ENOENT);
  EXPECT_NE(status.message.find("No such file or directory"), std::string::npos) << status.message;
  EXPECT_EQ(store->size(), 0u);
}

TEST(FileContent, ComparedInChunksToTheLastByte) {
  TempDir dir;
  const auto file = dir / "cal.ics";
  // Several of the comparison's chunks, and a part of one.
  std::string bytes(1'000'003, 'x');
  for (std::size_t i = 0; i < bytes.size(); i += 77) bytes[i] = static_cast<char>('a' + i % 26);
  write_bytes(file, bytes);
  const detail::ContentCheck same = detail::compare_content(file, bytes);
  EXPECT_EQ(std::tuple(same.error, same.same, same.stamp.exists, same.stamp.size),
            std::tuple(0, true, true, static_cast<std::int64_t>(bytes.size())));
  for (const std::size_t at : {std::size_t{0}, std::size_t{262'143}, std::size_t{262'144},
                               bytes.size() / 2, bytes.size() - 1}) {
    std::string other = bytes;
    other[at] = '#';
    EXPECT_FALSE(detail::compare_content(file, other).same) << at;
  }
  EXPECT_FALSE(detail::compare_content(file, bytes.substr(0, bytes.size() - 1)).same);
  EXPECT_FALSE(detail::compare_content(file, bytes + "x").same);
  EXPECT_FALSE(detail::compare_content(file, "").same);
  write_bytes(file, "");
  EXPECT_TRUE(detail::compare_content(file, "").same);
  std::filesystem::remove(file);
  EXPECT_EQ(detail::compare_content(file, "").error, ENOENT);
  EXPECT_FALSE(detail::compare_content(file, "").same);
  EXPECT_EQ(detail::compare_content(dir.path(), "").error, EISDIR);
}

TEST(FileContent, ReadToTheLastByteSmallOrInTwoHalves) {
  TempDir dir;
  const auto file = dir / "cal.ics";
  for (const std::size_t size : {std::size_t{4'099}, (std::size_t{9} << 20) + 3}) {
    std::string bytes(size, 'x');
    for (std::size_t i = 0; i < bytes.size(); i += 61) bytes[i] = static_cast<char>('a' + i / 61 % 26);
    write_bytes(file, bytes);
    const detail::ReadResult read = detail::read_file(file);
    EXPECT_EQ(std::tuple(read.error, read.stamp.size, read.stamp.mtime_ns != -1),
              std::tuple(0, static_cast<std::int64_t>(size), true));
    EXPECT_TRUE(read.bytes == bytes) << size;
  }
}

// A process that runs until the object goes (or this one does).
struct LiveProcess {
  LiveProcess() {
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      pause();
      _exit(0);
    }
  }
  ~LiveProcess() {
    if (pid > 0 && kill(pid, SIGKILL) == 0) waitpid(pid, nullptr, 0);
  }
  const pid_t pid = fork();
};

bool is_there(const std::filesystem::path& path) {
  std::error_code ec;
  return std::filesystem::exists(std::filesystem::symlink_status(path, ec));
}

TEST(StaleTempFiles, SavesThatDiedLeaveNothingBehindOnceTheCalendarIsOpened) {
  ScopedTz tz("UTC");
  TempDir dir;
  const auto file = dir / "cal.ics";
  write_bytes(file, kCalendar);
  const pid_t dead = ended_process();
  ASSERT_GT(dead, 0);
  ASSERT_EQ(kill(dead, 0), -1);
  ASSERT_EQ(errno, ESRCH);
  LiveProcess live;
  ASSERT_GT(live.pid, 0);
  const std::string d = std::to_string(dead);
  const std::string prefix = ".cal.ics.tallyset-";

  const std::vector<std::string> stale = {prefix + d + "-a1b2c3d4", prefix + d + "-zz09zz09"};
  const std::vector<std::string> kept = {
      prefix + std::to_string(getpid()) + "-a1b2c3d4",    // this process's own
      prefix + std::to_string(live.pid) + "-a1b2c3d4",  // a save still under way
      // Not quite the pattern, or another calendar's.
      prefix + d + "-a1b2c3d", prefix + d + "-a1b2c3d4e", prefix + d + "-A1B2C3D4", prefix + d + "-a1b2c3d4.bak",
      prefix + d + "-a1b2c3d4~", prefix + "0" + d + "-a1b2c3d4", prefix + d + "x-a1b2c3d4", prefix + "-a1b2c3d4",
      prefix + "99999999999999999999-a1b2c3d4", ".other.ics.tallyset-" + d + "-a1b2c3d4",
      ".cal.ics.tallyset" + d + "-a1b2c3d4", "cal.ics.tallyset-" + d + "-a1b2c3d4", ".cal.ics.bak",
  };
  for (const auto& name : stale) write_bytes(dir / name, kCalendar);
  for (const auto& name : kept) write_bytes(dir / name, kCalendar);
  // Right name, but not a plain file: a folder, and a link to the user's file.
  const std::string folder = prefix + d + "-folder00";
  std::filesystem::create_directory(dir / folder);
  write_bytes(dir / folder / "inside", "x");
  const std::string link = prefix + d + "-link0000";
  std::filesystem::create_symlink(file, dir / link);

  auto store = open_store(file);
  ASSERT_TRUE(store);
  EXPECT_EQ(store->size(), 2u);
  for (const auto& name : stale) EXPECT_FALSE(is_there(dir / name)) << name;
  for (const auto& name : kept) EXPECT_TRUE(is_there(dir / name)) << name;
  EXPECT_TRUE(is_there(dir / folder / "inside"));
  EXPECT_TRUE(is_there(dir / link));
  EXPECT_EQ(read_bytes(file), kCalendar);

  // Through a link they are looked for beside the real file, named after it.
  std::filesystem::create_directory(dir / "links");
  std::filesystem::create_symlink(file, dir / "links" / "link.ics");
  const auto unrelated = dir / "links" / (".link.ics.tallyset-" + d + "-a1b2c3d4");
  write_bytes(dir / stale[0], kCalendar);
  write_bytes(unrelated, kCalendar);
  ASSERT_TRUE(open_store(dir / "links" / "link.ics"));
  EXPECT_FALSE(is_there(dir / stale[0]));
  EXPECT_TRUE(is_there(unrelated));

  // In a folder calendar, those of every file in it (a long name's too).
  const auto vdir = dir / "vdir";
  std::filesystem::create_directory(vdir);
  write_bytes(vdir / "a.ics", kCalendar);
  const std::vector<std::string> folder_stale = {".a.ics.tallyset-" + d + "-a1b2c3d4",
                                                 ".gone.ics.tallyset-" + d + "-a1b2c3d4",
                                                 ".long~0123abcd.tallyset-" + d + "-a1b2c3d4"};
  const std::vector<std::string> folder_kept = {".a.ics.tallyset-" + std::to_string(live.pid) + "-a1b2c3d4",
                                                ".a.ics.tallyset-" + d + "-a1b2c3d", ".tallyset-" + d + "-a1b2c3d4",
                                                "a.ics.tallyset-" + d + "-a1b2c3d4", ".a.ics.bak"};
  for (const auto& name : folder_stale) write_bytes(vdir / name, kCalendar);
  for (const auto& name : folder_kept) write_bytes(vdir / name, kCalendar);
  ASSERT_EQ(open_store(vdir)->size(), 2u);
  for (const auto& name : folder_stale) EXPECT_FALSE(is_there(vdir / name)) << name;
  for (const auto& name : folder_kept) EXPECT_TRUE(is_there(vdir / name)) << name;
}

}  // namespace
}  // namespace platform::calendar
