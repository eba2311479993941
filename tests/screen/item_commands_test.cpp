// Selecting, saving, creating and editing appointments as a person does,
// checked on the screen and in the calendar file.
#include <gtest/gtest.h>

#include <sys/resource.h>

#include <csignal>
#include <optional>

#include "platform/pocket_outlook/poom_objects.h"
#include "support/script_run.h"

using namespace testing_support;

namespace {

// A choice with a comma, and one longer than twenty-four characters.
const std::string kLong = "A name well past twenty-four characters";
const std::string kThreeFields = SettingsBody({"Customer:A;North;Smith, Jones;", "Task:B;Travel;", "Rate:C;Day;" + kLong + ";"});

TEST(ItemCommands, SelectingARowShowsItsValuesAndEnablesSave) {
  auto lines = PrintedLines({Calendar(SettingsBody({"Customer:sales;Presales;", "Task:Travel;Meeting;"}),
                                      {"20261203T100000|30|Call|Presales,North", "20261203T120000|30|Lunch|"}),
                             "print save\nselect 0\nprint fields\nprint save\nselect 1\nprint fields\n"},
                            6);
  EXPECT_EQ(lines[0], "disabled");
  // A substring test: 'sales' occurs in 'Presales' and, being first, wins.
  EXPECT_EQ(lines[1], "1\tCustomer:\tsales\tsales|Presales");
  EXPECT_EQ(lines[2], "2\tTask:\t\tTravel|Meeting");
  EXPECT_EQ(lines[3], "enabled");
  // A row without values empties what the previous row showed.
  EXPECT_EQ(lines[4], "1\tCustomer:\t\tsales|Presales");
}

// Save joins the non-empty values; New Item joins them too, but keeps a
// trailing comma for an empty box after the last value.
TEST(ItemCommands, SaveAndNewItemJoinTheChosenValues) {
  struct Case { std::vector<std::string> choices; std::string saved, created, icon = "\tincomplete\t"; } cases[] = {
      {{"A", "", "C"}, "A,C", "A,C"}, {{"A", "B", ""}, "A,B", "A,B,"}, {{"", "B", ""}, "B", "B,"},
      {{"", "", ""}, "", ""},
      {{"North", "Travel", "Day"}, "North,Travel,Day", "North,Travel,Day", "\tcomplete\t"},
      // Written whole and escaped, and each matches its choice again.
      {{"Smith, Jones", "Travel", kLong}, "Smith\\, Jones,Travel," + kLong, "Smith\\, Jones,Travel," + kLong, "\tcomplete\t"}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.saved);
    std::string choose;
    for (int i = 0; i < 3; ++i) choose += "choose " + std::to_string(i + 1) + " \"" + c.choices[i] + "\"\n";
    // 'North' is a field's value, so the chosen values take its place.
    auto r = RunOk({Calendar(kThreeFields, {"20261203T110000|30|Change|North"}),
                        "select 0\n" + choose + "softkey right\nprint list\n"});
    // That Save stays enabled after a save: SaveMerge.ASecondSaveWritesTheSameAndTheFieldsShowWhatWasSaved.
    EXPECT_EQ(CategoriesOf(r.calendar, "Change"), c.saved);
    EXPECT_NE(r.printed.find(c.icon), std::string::npos) << r.printed;
    r = RunOk({Calendar(kThreeFields, {}), choose + "editor ok subject=Fresh\nmenu \"New Item\"\n"});
    EXPECT_EQ(CategoriesOf(r.calendar, "Fresh"), c.created);
  }
}

// Ctrl+Q saves only while the main window has the focus and the
// accelerator table loaded; without a selected row, or in the bare window
// after a failed logon, Save, Edit Item and New Item do nothing and no harm.
TEST(ItemCommands, SaveAndEditNeedTheirPreconditions) {
  const std::string calendar = Calendar(kThreeFields, {"20261203T110000|30|Work|Old"});
  using Faults = std::vector<FaultSetter>;
  struct Case { std::string script; Faults faults; std::string categories, printed; };
  const Case cases[] = {
      {"select 0\nchoose 1 North\nfocus list\nkey ctrl+q\nprint save\n", {}, "Old", "enabled\n"},
      {"select 0\nchoose 1 North\nfocus main\nkey ctrl+q\nprint save\n", {}, "North,Old", "enabled\n"},
      {"select 0\nchoose 1 North\nfocus main\nkey ctrl+q\nprint save\n",
       {Inject(platform::CoreFault::load_accelerators)}, "Old", "enabled\n"},
      // Edit Item with a selected row would open the editor, which this
      // script does not answer: the run would fail.
      {"choose 1 North\nfocus main\nkey ctrl+q\nmenu \"Edit Item\"\nprint save\n", {}, "Old", "disabled\n"},
      {"menu \"New Item\"\nmenu \"Edit Item\"\nfocus main\nkey ctrl+q\nprint save\n",
       {Inject(platform::OutlookFault::logon)}, "Old", "disabled\n"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.script);
    auto r = RunOk({calendar, c.script, "2026-12-04 16:20", 240, 320, c.faults});
    EXPECT_EQ(r.printed, c.printed);
    EXPECT_EQ(CategoriesOf(r.calendar, "Work"), c.categories);
    EXPECT_TRUE(c.categories != "Old" || r.calendar == calendar) << "the file changed";
  }
}

// A save the disk refuses, by Save or by the editor's ok, keeps the file and
// says what the user still has: Save's choices stay in the fields.
// While it lives, a write past `bytes` fails with EFBIG (SIGXFSZ ignored):
// a failure the program has no words of its own for.
struct FileSizeLimit {
  explicit FileSizeLimit(rlim_t bytes) : ignored(std::signal(SIGXFSZ, SIG_IGN)) {
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &limit);
  }
  ~FileSizeLimit() {
    setrlimit(RLIMIT_FSIZE, &saved);
    std::signal(SIGXFSZ, ignored);
  }
  rlimit saved{};
  void (*ignored)(int);
};

TEST(ItemCommands, AFailedSaveTellsTheUserWhatIsKeptAndKeepsTheFile) {
  const std::string calendar = Calendar(kThreeFields, {"20261203T110000|30|Work|Old"});
  struct Case { std::string script, kept, customer; } cases[] = {
      {"select 0\nchoose 1 North\nsoftkey right\n", "your choices are still in the fields", "North"},
      {"select 0\neditor ok subject=Renamed\nmenu \"Edit Item\"\n", "the changes made in the editor were not kept", ""},
  };
  for (const Case& c : cases) {
    for (const bool disk_full : {true, false}) {
      ScriptSetup setup{calendar, c.script + "print notification\nprint fields\nprint list\n"};
      std::optional<FileSizeLimit> limit;
      if (disk_full) {
        setup.faults.push_back(Inject(platform::OutlookFault::calendar_disk_full));
      } else {
        setup.meanwhile = [&limit](const std::filesystem::path&) { limit.emplace(16); };
        setup.meanwhile_line = 3;
      }
      auto r = RunOk(setup);
      limit.reset();
      EXPECT_EQ(r.calendar, calendar);
      auto lines = Lines(r.printed);
      ASSERT_EQ(lines.size(), 5u) << r.printed;
      const std::string reason = disk_full ? "the disk is full" : "the calendar file could not be written";
      EXPECT_NE(lines[0].find("not saved: " + reason + ". The calendar keeps what it had; " + c.kept),
                std::string::npos)
          << lines[0];
      EXPECT_EQ(lines[1], "1\tCustomer:\t" + c.customer + "\tA|North|Smith, Jones");
      EXPECT_NE(lines[4].find("\tincomplete\t"), std::string::npos) << lines[4];
    }
  }
}

TEST(ItemCommands, NewItemStartsOnTheHalfHourAndLastsThirtyMinutes) {
  // The to picker's date and time; the new appointment's DTSTART.
  struct Case { const char* picked, *start; } cases[] = {
      {"2026-12-03 09:00", "20261203T090000"}, {"2026-12-03 09:10", "20261203T093000"},
      {"2026-12-03 09:30", "20261203T093000"}, {"2026-12-03 09:31", "20261203T100000"},
      {"2026-12-31 23:45", "20270101T000000"}};
  for (const Case& c : cases) {
    auto r = RunOk({Calendar(kThreeFields, {}), "editor ok subject=New\nmenu \"New Item\"\nprint list\n", c.picked});
    EXPECT_NE(EventOf(r.calendar, "New").find(std::string("DTSTART:") + c.start), std::string::npos) << c.picked;
    EXPECT_NE(r.printed.find("\tNew\t30 min, "), std::string::npos) << r.printed;
  }
}

TEST(ItemCommands, NewItemRowIsAppendedWithThuAndSaysThurAfterARefresh) {
  // 2026-12-03 is a Thursday; the appended row says "Thu" where a refresh says "Thur".
  auto lines = PrintedLines({Calendar(kThreeFields, {"20261201T100000|30|Earlier|"}),
                             "editor ok subject=Later start=\"2026-12-03 10:00\" duration=60\nmenu \"New Item\"\n"
                             "print list\ncloseup to\nprint list\n"},
                            4);
  EXPECT_NE(lines[1].find("\tLater\t1h, Thu 3\t-"), std::string::npos) << lines[1];
  EXPECT_NE(lines[3].find("\tLater\t1h, Thur 3\t-"), std::string::npos) << lines[3];
}

TEST(ItemCommands, EditorOkChangesTheEventInPlaceAndTheListShowsIt) {
  std::string calendar = Calendar(kThreeFields, {"20261201T100000|30|Before|", "20261203T100000|30|Other|"});
  auto r = RunOk({calendar, "select 0\neditor ok subject=\"Moved meeting\" start=\"2026-11-30 14:30\" "
                                "duration=90\nmenu \"Edit Item\"\nprint list\nprint save\n"});
  // What the editor gives back and Display's save are Pocket Outlook's
  // (AppointmentEditor, PocketOutlook tests); here the list is built again
  // from the file: the same event, changed in place.
  auto lines = Lines(r.printed);
  ASSERT_EQ(lines.size(), 3u) << r.printed;
  EXPECT_NE(lines[0].find("\tMoved meeting\t1h, 30 min, Mon 30\t"), std::string::npos) << lines[0];
  EXPECT_EQ(lines[2], "disabled");  // the list was refreshed
}

// New Item stores the appointment before the editor opens; Cancel takes it
// out again. (A cancelled Display saves nothing: PocketOutlook.DisplayKeepsTheEditorsChangesOnlyWhenItSaysOk.)
TEST(ItemCommands, EditorCancelOnNewItemLeavesTheFileByteForByte) {
  std::string calendar = Calendar(kThreeFields, {"20261201T100000|30|Before|North", "20261203T100000|30|Other|"});
  auto r = RunOk({calendar, "editor cancel subject=Typed start=\"2026-12-02 08:00\" duration=15 categories=X body=Y\n"
                            "menu \"New Item\"\nprint list\n"});
  EXPECT_EQ(r.calendar, calendar);
  EXPECT_EQ(Lines(r.printed).size(), 2u) << r.printed;
}

TEST(ItemCommands, EditorDeleteRemovesThatEventFromFileAndList) {
  std::string calendar =
      Calendar(kThreeFields, {"20261201T100000|30|First|", "20261202T100000|30|Doomed|", "20261203T100000|30|Last|"});
  auto r = RunOk({calendar, "select 1\neditor delete\nmenu \"Edit Item\"\nprint list\n"});
  EXPECT_EQ(EventOf(r.calendar, "Doomed"), "");
  auto lines = Lines(r.printed);
  ASSERT_EQ(lines.size(), 2u) << r.printed;
  EXPECT_NE(lines[0].find("\tFirst\t"), std::string::npos);
  EXPECT_NE(lines[1].find("\tLast\t"), std::string::npos);
}

// An editor the script does not answer, or a value it refuses, fails the
// script at that line and changes nothing.
TEST(ItemCommands, EditorFaultsFailTheScriptAtTheirLine) {
  std::string calendar = Calendar(kThreeFields, {"20261201T100000|30|Before|"});
  auto r = RunScript({calendar, "select 0\nmenu \"Edit Item\"\n"});
  EXPECT_EQ(r.error.rfind("script:2: ", 0), 0u) << r.error;
  r = RunScript({calendar, "select 0\neditor ok subject=New duration=abc\nmenu \"Edit Item\"\n"});
  EXPECT_EQ(r.error, "script:2: the appointment editor's duration field does not take \"abc\"");
  EXPECT_EQ(r.calendar, calendar);
}

// A save on one day of a daily series marks that row alone, now and when the
// calendar is opened again.
TEST(ItemCommands, SaveOnOneOccurrenceChangesThatRowAlone) {
  std::string calendar = Calendar(kThreeFields, {"20261201T100000|30|Stand-up|"});
  calendar.replace(calendar.find("DTSTART:20261201T100000\r\n"), 25, "DTSTART:20261201T100000\r\nRRULE:FREQ=DAILY;COUNT=3\r\n");
  auto icons = [](const std::string& printed) {
    std::string out;
    for (const std::string& line : Lines(printed)) out += line.find("\tcomplete\t") != std::string::npos ? 'C' : 'i';
    return out;
  };
  auto r = RunOk({calendar, "select 1\nchoose 1 North\nchoose 2 Travel\nchoose 3 Day\nsoftkey right\nprint list\n"});
  EXPECT_EQ(icons(r.printed), "iCi") << r.printed;
  // How the file keeps the day saved (the series as it was, an override of its
  // own) and reads it back is the calendar's: RecurrenceTest.OccurrencesKeepTheirOidsThroughSavesAndOtherProgramsChanges.
}

}  // namespace
