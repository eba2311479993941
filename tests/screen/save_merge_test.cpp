// Save writes the chosen values and keeps every other category, another
// program's included; a second Save writes the same again; a deletion
// elsewhere is told.
#include <gtest/gtest.h>

#include "support/script_run.h"

using namespace testing_support;

namespace {

// 'No' is found inside 'North Ltd': matching is a substring search.
const std::string kFields =
    SettingsBody({"Customer:North Ltd;Smith, Jones;", "Task:Meeting;Travel;", "Billable:No;Yes;"});

ScriptSetup WorkWith(const std::string& categories, const std::string& script) {
  return {Calendar(kFields, {"20261203T110000|30|Work|" + categories}), script};
}

TEST(SaveMerge, OtherCategoriesStayAfterTheFieldValuesInTheirOrder) {
  struct Case { std::string before, choose, after; } cases[] = {
      {"Personal,Dentist,North Ltd", "choose 2 Meeting", "North Ltd,Meeting,No,Personal,Dentist"},
      {"Personal,Travel", "choose 2 Meeting", "Meeting,Personal"},            // replaced in place of the old
      {"South,Travel,Yes,Personal", "choose 2 \"\"", "Yes,South,Personal"},  // a cleared field's value goes
      {"Travel,Personal", "choose 2 \"\"", "Personal"},  // no value left: no comma before the others
      {"Smith\\, Jones,Personal", "choose 3 Yes", "Smith\\, Jones,Yes,Personal"},
      {"A,,B,", "choose 1 \"Smith, Jones\"", "Smith\\, Jones,A,,B,"},
  };
  for (const Case& c : cases) {
    auto r = RunOk(WorkWith(c.before, "select 0\n" + c.choose + "\nsoftkey right\n"));
    EXPECT_EQ(CategoriesOf(r.calendar, "Work"), c.after) << c.before;
  }
}

TEST(SaveMerge, ASecondSaveWritesTheSameAndTheFieldsShowWhatWasSaved) {
  auto r = RunOk(WorkWith("Personal", "select 0\nchoose 2 Travel\nchoose 3 Yes\nsoftkey right\nprint fields\n"
                                       "print save\nsoftkey right\nfocus main\nkey ctrl+q\nprint list\n"));
  EXPECT_EQ(CategoriesOf(r.calendar, "Work"), "Travel,Yes,Personal");
  EXPECT_EQ(r.printed.substr(0, r.printed.find("\nenabled\n")),
            "1\tCustomer:\t\tNorth Ltd|Smith, Jones\n2\tTask:\tTravel\tMeeting|Travel\n3\tBillable:\tYes\tNo|Yes");
  EXPECT_NE(r.printed.find("\tincomplete\t"), std::string::npos) << r.printed;
}

TEST(SaveMerge, WhatAnotherProgramAddedMeanwhileStays) {
  ScriptSetup setup = WorkWith("Personal", "select 0\nchoose 2 Meeting\nsoftkey right\n");
  setup.meanwhile = [](const std::filesystem::path& file) {
    std::string text = testing_support::ReadWhole(file);
    text.replace(text.find("CATEGORIES:Personal"), 19, "CATEGORIES:Personal,Urgent");
    std::ofstream(file, std::ios::binary) << text;
  };
  setup.meanwhile_line = 3;
  auto r = RunOk(setup);
  EXPECT_EQ(CategoriesOf(r.calendar, "Work"), "Meeting,Personal,Urgent");
}

// Another program deletes the appointment before Save, or while the editor
// is open: the notice says so, the list shows the calendar as it is, and the
// file keeps what the other program wrote.
TEST(SaveMerge, AnAppointmentDeletedElsewhereIsToldAndLeavesTheList) {
  for (const char* script : {"select 0\nchoose 2 Meeting\nsoftkey right\nprint notification\nprint list\n",
                             "select 0\neditor ok subject=Renamed\nmenu \"Edit Item\"\nprint notification\n"
                             "print list\n"}) {
    ScriptSetup setup = WorkWith("Personal", script);
    std::string emptied;
    setup.meanwhile = [&emptied](const std::filesystem::path& file) {
      std::string text = testing_support::ReadWhole(file);
      size_t begin = text.rfind("BEGIN:VEVENT");
      emptied = text.erase(begin, text.find("END:VCALENDAR") - begin);
      std::ofstream(file, std::ios::binary) << emptied;
    };
    setup.meanwhile_line = 3;
    auto r = RunOk(setup);
    EXPECT_EQ(r.calendar, emptied);
    EXPECT_EQ(r.printed.substr(r.printed.find('\t') + 1),
              "Another program deleted the appointment; it was not saved. The list now shows the calendar as it is.\n")
        << script;
  }
}

}  // namespace
