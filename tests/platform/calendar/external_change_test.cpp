// Another program changing the calendar while Tallyset runs: its change is
// kept, the user's change goes on top, and oids stay stable.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/stat.h>

#include "platform/calendar/calendar_store.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;

const std::string kAlpha =
    "BEGIN:VEVENT\nUID:a\nSUMMARY:Alpha\nDTSTART:20261130T090000Z\nDESCRIPTION:old body\nEND:VEVENT\n";
const std::string kBeta = "BEGIN:VEVENT\nUID:b\nSUMMARY:Beta\nDTSTART:20261201T090000Z\nEND:VEVENT\n";
const std::string kGamma = "BEGIN:VEVENT\nUID:c\nSUMMARY:Gamma\nDTSTART:20261202T090000Z\nEND:VEVENT\n";
const std::string kCalendar = vcalendar(kAlpha + kBeta + kGamma);

std::string replaced(std::string text, const std::string& from, const std::string& to) {
  const std::size_t at = text.find(from);
  EXPECT_NE(at, std::string::npos) << from;
  if (at != std::string::npos) text.replace(at, from.size(), to);
  return text;
}

class ExternalChangeTest : public ::testing::TestWithParam<Backend> {
 protected:
  void SetUp() override {
    place_.write(kCalendar);
    store_ = open_store(place_.path());
    ASSERT_TRUE(store_);
    alpha_ = oid_of(*store_, "Alpha");
    beta_ = oid_of(*store_, "Beta");
    gamma_ = oid_of(*store_, "Gamma");
  }
  StoreStatus set_categories(Oid oid, const char16_t* categories) {
    return edit(*store_, oid, [&](auto& f) { f.categories = categories; });
  }

  ScopedTz tz_{"UTC"};
  TempDir dir_;
  Place place_{GetParam(), dir_};
  std::unique_ptr<CalendarStore> store_;
  Oid alpha_ = 0, beta_ = 0, gamma_ = 0;
};

// Another event and another field of the edited one, changed elsewhere
// while the user had the event open, are kept under the user's change.
TEST_P(ExternalChangeTest, ChangesToOtherEventsAndFieldsAreKept) {
  AppointmentFields shown = *store_->get(alpha_);
  place_.write(replaced(replaced(kCalendar, "SUMMARY:Beta", "SUMMARY:Beta renamed elsewhere"),
                          "DESCRIPTION:old body", "DESCRIPTION:edited on the phone"));
  shown.categories = u"Mine";
  ASSERT_TRUE(store_->update(alpha_, shown).ok);
  const auto now = store_->get(alpha_);
  EXPECT_EQ(now->body, u"edited on the phone");
  EXPECT_EQ(now->categories, u"Mine");
  EXPECT_EQ(store_->get(beta_)->subject, u"Beta renamed elsewhere");
  auto reopened = open_store(place_.path());
  EXPECT_EQ(reopened->get(alpha_), now);
  EXPECT_EQ(reopened->get(beta_), store_->get(beta_));
}

// Saving an event deleted elsewhere fails and does not bring it back;
// removing one succeeds without writing.
TEST_P(ExternalChangeTest, EventDeletedElsewhereIsReportedNotResurrected) {
  const std::string without_gamma = vcalendar(kAlpha + kBeta);
  place_.write(without_gamma);
  EXPECT_TRUE(store_->remove(gamma_).ok);
  EXPECT_EQ(place_.read(), without_gamma);
  const std::string without_beta = vcalendar(kAlpha);
  place_.write(without_beta);
  const StoreStatus status = set_categories(beta_, u"Mine");
  EXPECT_FALSE(status.ok);
  EXPECT_NE(status.message.find("deleted by another program"), std::string::npos) << status.message;
  EXPECT_FALSE(store_->get(beta_));
  EXPECT_FALSE(store_->remove(beta_).ok);  // the store now knows it is gone
  EXPECT_EQ(place_.read(), without_beta);
  EXPECT_EQ(store_->size(), 1u);
}

TEST_P(ExternalChangeTest, FileBrokenElsewhereIsNotOverwritten) {
  // A broken structure; one broken event alone is set aside (safety_test.cpp).
  if (GetParam() == Backend::Vdir) GTEST_SKIP() << "a folder leaves a broken file out (VdirTest)";
  const std::string broken = replaced(kCalendar, "END:VCALENDAR\n", "");
  place_.write(broken);
  const StoreStatus status = set_categories(alpha_, u"Mine");
  EXPECT_FALSE(status.ok);
  EXPECT_NE(status.message.find("line"), std::string::npos) << status.message;
  EXPECT_EQ(place_.read(), broken);
  // The store still shows the last calendar it could read.
  EXPECT_EQ(store_->size(), 3u);
}

TEST_P(ExternalChangeTest, SameSizeSameTimestampChangeIsStillSeen) {
  struct stat before {};
  const std::filesystem::path file = place_.file_of("b");
  ASSERT_EQ(stat(file.c_str(), &before), 0);
  place_.write(replaced(kCalendar, "SUMMARY:Beta", "SUMMARY:Bet2"));
  // Put the timestamps back as they were: only the content tells.
  const timespec times[2] = {before.st_atim, before.st_mtim};
  ASSERT_EQ(utimensat(AT_FDCWD, file.c_str(), times, 0), 0);
  ASSERT_TRUE(set_categories(alpha_, u"Mine").ok);
  EXPECT_NE(place_.read().find("SUMMARY:Bet2"), std::string::npos);
}

// Events changed, reordered, removed and added elsewhere: the oids stay, a
// new event's is new.
TEST_P(ExternalChangeTest, RefreshPicksUpChangesAndADeletedFileWithoutSaving) {
  place_.write(vcalendar("BEGIN:VEVENT\nUID:d\nSUMMARY:Delta\nDTSTART:20261129T090000Z\nEND:VEVENT\n" +
                           replaced(kGamma, "SUMMARY:Gamma", "SUMMARY:Gamma2") + kBeta));
  EXPECT_EQ(store_->get(gamma_)->subject, u"Gamma");
  ASSERT_TRUE(store_->refresh().ok);
  EXPECT_EQ(store_->get(gamma_)->subject, u"Gamma2");
  EXPECT_FALSE(store_->get(alpha_));
  const Oid delta = oid_of(*store_, "Delta");
  EXPECT_NE(delta, 0u);
  EXPECT_NE(delta, alpha_);
  EXPECT_EQ(store_->all(), (std::vector<Oid>{delta, beta_, gamma_}));
  // A deleted file reads as an empty calendar, created again by an add.
  if (GetParam() == Backend::Vdir) return;  // a folder's files: VdirTest
  std::filesystem::remove(place_.path());
  ASSERT_TRUE(store_->refresh().ok);
  EXPECT_EQ(store_->size(), 0u);
  StoreStatus status;
  EXPECT_NE(store_->add(appointment(u"Fresh", {2026, 12, 2, 9, 0, 0}), &status), 0u) << status.message;
  EXPECT_EQ(open_store(place_.path())->size(), 1u);
}

INSTANTIATE_TEST_SUITE_P(Backends, ExternalChangeTest, ::testing::Values(Backend::File, Backend::Vdir),
                         backend_name);

}  // namespace
}  // namespace platform::calendar
