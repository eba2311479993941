// Saves Pocket Outlook refuses, each with an error its caller can tell
// apart: a time the calendar cannot hold, an item another program deleted.
#include <gtest/gtest.h>

#include <objbase.h>
#include <pimstore.h>

#include <cmath>
#include <fstream>
#include <limits>
#include <sstream>

#include "platform/pocket_outlook/poom_objects.h"
#include "support/app_run.h"

using testing_support::TestPlatform;

namespace {

const char* kCalendar =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
    "BEGIN:VEVENT\r\nUID:a@test\r\nDTSTART:20261130T090000\r\nDURATION:PT1H\r\nSUMMARY:Only\r\nEND:VEVENT\r\n"
    "END:VCALENDAR\r\n";

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

// A logged-on application and its one stored item.
struct Outlook {
  Outlook() {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp,
                               reinterpret_cast<void**>(&app)),
              S_OK);
    EXPECT_EQ(app->Logon(0), S_OK);
    IFolder* folder = nullptr;
    IPOutlookItemCollection* items = nullptr;
    EXPECT_EQ(app->GetDefaultFolder(olFolderCalendar, &folder), S_OK);
    EXPECT_EQ(folder->get_Items(&items), S_OK);
    EXPECT_EQ(items->Item(1, reinterpret_cast<IDispatch**>(&stored)), S_OK);
    items->Release();
    folder->Release();
  }
  ~Outlook() {
    if (stored) stored->Release();
    app->Release();
    CoUninitialize();
  }
  IPOutlookApp* app = nullptr;
  IAppointment* stored = nullptr;
};

DATE VariantTime(IPOutlookApp* app, WORD y, WORD mo, WORD d, WORD h, WORD mi) {
  SYSTEMTIME st{y, mo, 0, d, h, mi, 0, 0};
  DATE date = 0;
  EXPECT_EQ(app->SystemTimeToVariantTime(&st, &date), S_OK);
  return date;
}

// A value the item refused is not replaced by the one it had: Save refuses too.
TEST(SaveRefusal, ATimeTheCalendarCannotHoldIsRefusedBySave) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    std::function<HRESULT(IPOutlookApp*, IAppointment*)> put;
  } cases[] = {
      {"start past 9999", [](IPOutlookApp*, IAppointment* i) { return i->put_Start(3e6); }},
      {"start not a number", [nan](IPOutlookApp*, IAppointment* i) { return i->put_Start(nan); }},
      {"end beyond any duration", [](IPOutlookApp* a, IAppointment* i) {
         return i->put_End(VariantTime(a, 9999, 12, 31, 0, 0) * 1e3);
       }},
      {"end at 10000-01-01", [](IPOutlookApp* a, IAppointment* i) {
         i->put_Start(VariantTime(a, 9999, 12, 31, 23, 30));
         return i->put_Duration(30);
       }},
  };
  for (const Case& c : cases) {
    TestPlatform t(testing_support::OptionsFor(kCalendar));
    Outlook outlook;
    ASSERT_NE(outlook.stored, nullptr);
    IAppointment* fresh = nullptr;
    ASSERT_EQ(outlook.app->CreateItem(olAppointmentItem, reinterpret_cast<IDispatch**>(&fresh)), S_OK);
    for (IAppointment* item : {outlook.stored, fresh}) {
      c.put(outlook.app, item);
      EXPECT_EQ(item->Save(), E_INVALIDARG) << c.what;
    }
    fresh->Release();
    EXPECT_EQ(ReadFile(t.calendar), kCalendar) << c.what;
  }
}

TEST(SaveRefusal, AnItemAnotherProgramDeletedSaysSo) {
  TestPlatform t(testing_support::OptionsFor(kCalendar));
  Outlook outlook;
  ASSERT_NE(outlook.stored, nullptr);
  const std::string emptied = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//other//EN\r\nEND:VCALENDAR\r\n";
  std::ofstream(t.calendar, std::ios::binary) << emptied;
  outlook.stored->put_Categories(const_cast<BSTR>(u"North"));
  EXPECT_EQ(outlook.stored->Save(), HRESULT_FROM_WIN32(ERROR_NOT_FOUND));
  EXPECT_EQ(ReadFile(t.calendar), emptied);
}

}  // namespace
