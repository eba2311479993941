// A save that fails leaves the user's file exactly as it was, leaves no
// stray files, and leaves the store showing what is really on disk.
#include <gtest/gtest.h>

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

struct Fault {
  WriteStep step;
  int error;
  const char* name;
};

class FailedWriteTest : public ::testing::TestWithParam<Fault> {
 protected:
  void SetUp() override {
    write_bytes(file(), kCalendar);
    StoreOptions options;
    options.inject_write_fault = [this](WriteStep step) {
      return armed_ && step == GetParam().step ? GetParam().error : 0;
    };
    store_ = open_store(file(), std::move(options));
    ASSERT_TRUE(store_);
    alpha_ = oid_of(*store_, "Alpha");
    ASSERT_NE(alpha_, 0u);
  }
  std::filesystem::path file() const { return dir_ / "cal.ics"; }

  void expect_failure_reported(const StoreStatus& status) {
    EXPECT_FALSE(status.ok);
    EXPECT_EQ(status.error_number, GetParam().error);
    EXPECT_NE(status.message.find(file().string()), std::string::npos) << status.message;
    EXPECT_NE(status.message.find(std::strerror(GetParam().error)), std::string::npos)
        << status.message;
  }

  void expect_nothing_changed() {
    EXPECT_EQ(read_bytes(file()), kCalendar);
    EXPECT_TRUE(other_files(dir_.path(), "cal.ics").empty());
    EXPECT_EQ(store_->size(), 2u);
    EXPECT_EQ(store_->get(alpha_)->categories, u"Old");
  }

  ScopedTz tz_{"UTC"};
  TempDir dir_;
  bool armed_ = true;
  std::unique_ptr<CalendarStore> store_;
  Oid alpha_ = 0;
};

TEST_P(FailedWriteTest, UpdateIsNotPretendedToBeSaved) {
  AppointmentFields f = *store_->get(alpha_);
  f.categories = u"New";
  expect_failure_reported(store_->update(alpha_, f));
  expect_nothing_changed();
  // Once the disk recovers the same save goes through.
  armed_ = false;
  ASSERT_TRUE(store_->update(alpha_, f).ok);
  EXPECT_EQ(open_store(file())->get(alpha_)->categories, u"New");
}

TEST_P(FailedWriteTest, AddIsNotPretendedToBeSaved) {
  AppointmentFields f;
  f.subject = u"Gamma";
  f.start = {2026, 12, 2, 9, 0, 0};
  StoreStatus status;
  EXPECT_EQ(store_->add(f, &status), 0u);
  expect_failure_reported(status);
  expect_nothing_changed();
  EXPECT_EQ(oid_of(*store_, "Gamma"), 0u);
}

TEST_P(FailedWriteTest, RemoveIsNotPretendedToBeSaved) {
  expect_failure_reported(store_->remove(alpha_));
  expect_nothing_changed();
  EXPECT_EQ(store_->find(u"[Subject] = \"Alpha\""), std::vector<Oid>{alpha_});
}

INSTANTIATE_TEST_SUITE_P(
    EveryStepBeforeTheRename, FailedWriteTest,
    ::testing::Values(Fault{WriteStep::CreateTemp, EROFS, "CreateReadOnly"},
                      Fault{WriteStep::CreateTemp, EACCES, "CreateDenied"},
                      Fault{WriteStep::Write, ENOSPC, "WriteDiskFull"},
                      Fault{WriteStep::Write, EIO, "WriteIoError"},
                      Fault{WriteStep::SyncFile, EIO, "SyncIoError"},
                      Fault{WriteStep::SyncFile, ENOSPC, "SyncDiskFull"},
                      Fault{WriteStep::Rename, EROFS, "RenameReadOnly"},
                      Fault{WriteStep::Rename, EXDEV, "RenameAcrossDevices"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(FailedWrite, FolderSyncFailureAfterTheRenameKeepsStoreAndDiskAlike) {
  ScopedTz tz("UTC");
  TempDir dir;
  write_bytes(dir / "cal.ics", kCalendar);
  StoreOptions options;
  options.inject_write_fault = [](WriteStep step) { return step == WriteStep::SyncFolder ? EIO : 0; };
  auto store = open_store(dir / "cal.ics", std::move(options));
  const Oid alpha = oid_of(*store, "Alpha");
  AppointmentFields f = *store->get(alpha);
  f.categories = u"New";
  const StoreStatus status = store->update(alpha, f);
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
  AppointmentFields f;
  f.subject = u"Nowhere";
  f.start = {2026, 12, 2, 9, 0, 0};
  StoreStatus status;
  EXPECT_EQ(store->add(f, &status), 0u);
  EXPECT_FALSE(status.ok);
  EXPECT_EQ(status.error_number, ENOENT);
  EXPECT_NE(status.message.find("No such file or directory"), std::string::npos) << status.message;
  EXPECT_EQ(store->size(), 0u);
}

TEST(FileStamp, TrustsTimestampsOnlyWhenTheyAreOldEnoughToProveSomething) {
  TempDir dir;
  const auto file = dir / "cal.ics";
  write_bytes(file, "one");
  detail::ReadResult read = detail::read_file(file);
  ASSERT_EQ(read.error, 0);
  EXPECT_EQ(read.bytes, "one");
  // Just written: a change within the same clock tick could hide, so look.
  EXPECT_EQ(detail::compare_stamp(file, read.stamp), detail::Freshness::Unsure);
  // Stamped well after the last modification: metadata alone decides.
  detail::FileStamp settled = read.stamp;
  settled.taken_ns += 10'000'000'000;
  EXPECT_EQ(detail::compare_stamp(file, settled), detail::Freshness::Same);
  write_bytes(file, "two!");
  EXPECT_EQ(detail::compare_stamp(file, settled), detail::Freshness::Changed);
  std::filesystem::remove(file);
  EXPECT_EQ(detail::compare_stamp(file, settled), detail::Freshness::Changed);
  EXPECT_EQ(detail::compare_stamp(file, detail::FileStamp{}), detail::Freshness::Same);
  EXPECT_EQ(detail::read_file(file).error, ENOENT);
}

}  // namespace
}  // namespace platform::calendar
