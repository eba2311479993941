// The local zone is the one the C library uses, however TZ and
// /etc/localtime name it: a zone name, a link into the zone folder, a copy
// of a zone file, Debian's /etc/timezone, or a POSIX rule.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <libical/ical.h>

#include <filesystem>
#include <optional>
#include <string>

#include "local_zone.h"
#include "test_support.h"

namespace platform::calendar::detail {
namespace {

namespace fs = std::filesystem;
using calendar_test::read_bytes;
using calendar_test::TempDir;
using calendar_test::write_bytes;

const fs::path kZones = "/usr/share/zoneinfo";

// Seconds east of UTC in `zone` at that UTC time of 2026.
int offset(icaltimezone* zone, int month, int day, int hour, int minute = 0, int second = 0) {
  icaltimetype t = icaltime_null_time();
  t.year = 2026, t.month = month, t.day = day, t.hour = hour, t.minute = minute, t.second = second;
  return icaltimezone_get_utc_offset_of_utc_time(zone, &t, nullptr);
}

TEST(LocalZone, FoundWhereverTheCLibraryFindsIt) {
  TempDir dir;
  fs::create_symlink(kZones / "Europe/Berlin", dir / "berlin");
  fs::create_symlink(dir / "berlin", dir / "link-to-berlin");
  fs::create_symlink(kZones / "US/Eastern", dir / "new-york");
  write_bytes(dir / "berlin-copy", read_bytes(kZones / "Europe/Berlin"));
  // A zone file no zone of the folder holds: its rule for today is read.
  write_bytes(dir / "altered", read_bytes(kZones / "Europe/Berlin").replace(50, 1, 1, '\x7f'));
  write_bytes(dir / "timezone", "Asia/Tokyo\n");

  const struct {
    std::optional<std::string> tz;
    std::string localtime;  // under `dir`
    std::string name;
    int january, july;  // offsets on the 15th at noon UTC
  } cases[] = {
      {std::nullopt, "link-to-berlin", "Europe/Berlin", 3600, 7200},
      {std::nullopt, "new-york", "US/Eastern", -18000, -14400},
      {std::nullopt, "berlin-copy", "Europe/Berlin", 3600, 7200},
      {std::nullopt, "absent", "UTC", 0, 0},
      {":" + (dir / "link-to-berlin").string(), "", "Europe/Berlin", 3600, 7200},
      {":" + (dir / "berlin-copy").string(), "", "Europe/Berlin", 3600, 7200},
      {(dir / "altered").string(), "", "CET-1CEST,M3.5.0,M10.5.0/3", 3600, 7200},
      {(kZones / "US/Eastern").string(), "", "US/Eastern", -18000, -14400},
      {"Asia/Tokyo", "", "Asia/Tokyo", 32400, 32400},
      {":posix/Asia/Tokyo", "", "Asia/Tokyo", 32400, 32400},
      {"", "berlin", "UTC", 0, 0},
      {"CET-1CEST,M3.5.0,M10.5.0/3", "", "CET-1CEST,M3.5.0,M10.5.0/3", 3600, 7200},
      {"AEST-10AEDT,M10.1.0,M4.1.0/3", "", "AEST-10AEDT,M10.1.0,M4.1.0/3", 39600, 36000},
      {"<+0530>-5:30", "", "<+0530>-5:30", 19800, 19800},
      {"NST3:30NDT,M3.2.0/0:01,M11.1.0/0:01", "", "NST3:30NDT,M3.2.0/0:01,M11.1.0/0:01", -12600, -9000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.tz.value_or("(TZ unset)") + " " + c.localtime);
    LocalZoneSources sources;
    sources.tz = c.tz;
    sources.localtime = dir / c.localtime;
    sources.timezone_file = dir / "no-timezone-file";
    const LocalZone local = resolve_local_zone(sources);
    ASSERT_NE(local.zone, nullptr);
    EXPECT_EQ(local.name, c.name);
    EXPECT_EQ(local.problem, "");
    EXPECT_EQ(offset(local.zone, 1, 15, 12), c.january);
    EXPECT_EQ(offset(local.zone, 7, 15, 12), c.july);
  }

  // Debian's /etc/timezone names the zone of a copied /etc/localtime.
  LocalZoneSources debian;
  debian.localtime = dir / "altered";
  debian.timezone_file = dir / "timezone";
  EXPECT_EQ(resolve_local_zone(debian).name, "Asia/Tokyo");
}

// A rule's changes fall on the second the C library changes the clocks.
TEST(LocalZone, ARulesChangesFallOnTheirSecond) {
  LocalZoneSources sources;
  sources.tz = "CET-1CEST,M3.5.0,M10.5.0/3";  // last Sundays of March and October
  icaltimezone* zone = resolve_local_zone(sources).zone;
  EXPECT_EQ(offset(zone, 3, 29, 0, 59, 59), 3600);
  EXPECT_EQ(offset(zone, 3, 29, 1), 7200);
  EXPECT_EQ(offset(zone, 10, 25, 0, 59, 59), 7200);
  EXPECT_EQ(offset(zone, 10, 25, 1), 3600);
}

// What no yearly rule can say (days counted from January, a change after
// midnight of the next day, summer without its days) keeps one offset all
// year, and says so; so does a file that is no zone file, a FIFO among them
// (never opened to wait on).
TEST(LocalZone, ARuleThatCannotBeReadIsNamedAsAProblem) {
  TempDir dir;
  write_bytes(dir / "text", "not a zone\n");
  ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0600), 0);
  const std::string unreadable[] = {"XYZ3ABC,J60,J300", "EST5EDT4,M3.2.0/24,M11.1.0", "EST5EDT,M3.2.0/-1,M11.1.0",
                                    "CET-1CEST", "C-1", "CET-1CEST,M13.1.0,M10.5.0",
                                    ":" + (dir / "text").string(), ":" + (dir / "fifo").string()};
  for (const std::string& tz : unreadable) {
    SCOPED_TRACE(tz);
    LocalZoneSources sources;
    sources.tz = tz;
    const LocalZone local = resolve_local_zone(sources);
    ASSERT_NE(local.zone, nullptr);
    EXPECT_NE(local.problem.find(std::string("TZ=\"") + tz + "\""), std::string::npos) << local.problem;
    EXPECT_EQ(offset(local.zone, 1, 15, 12), offset(local.zone, 7, 15, 12));
  }
}

}  // namespace
}  // namespace platform::calendar::detail
