// Pocket Outlook over the calendar file, as a program calls it: logon,
// search, items by identifier, creating, saving, deleting, Display, the
// conversions between calendar time records and variant times, and the saves
// it refuses, each with an error its caller can tell apart.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <limits>
#include <string>

#include <objbase.h>
#include <pimstore.h>

#include "platform/base/utf.h"
#include "platform/calendar/calendar_store.h"
#include "platform/com/com_state.h"
#include "platform/pocket_outlook/poom_objects.h"
#include "support/script_run.h"

using testing_support::TestPlatform;

namespace {

const char* kCalendar =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//test//EN\r\n"
    "BEGIN:VEVENT\r\nUID:a@test\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20261130T000000\r\nDTEND:20261130T010000\r\n"
    "SUMMARY:First of the range\r\nCATEGORIES:North,Travel\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:b@test\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20261206T235900\r\nDURATION:PT30M\r\n"
    "SUMMARY:Last minute\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:c@test\r\nDTSTAMP:20260101T000000Z\r\nDTSTART:20261207T000000\r\nDURATION:PT30M\r\n"
    "SUMMARY:Day after\r\nEND:VEVENT\r\n"
    "END:VCALENDAR\r\n";

// A logged-on application object, released at the end of the test.
class Outlook {
 public:
  Outlook() {
    EXPECT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
    EXPECT_EQ(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp,
                               reinterpret_cast<void**>(&app)),
              S_OK);
  }
  ~Outlook() {
    if (items) items->Release();
    if (app) app->Release();
    CoUninitialize();
  }
  IPOutlookItemCollection* Items() {
    IFolder* folder = nullptr;
    EXPECT_EQ(app->GetDefaultFolder(olFolderCalendar, &folder), S_OK);
    EXPECT_EQ(folder->get_Items(&items), S_OK);
    folder->Release();
    return items;
  }
  // The first item `restriction` finds (the caller releases it).
  IAppointment* Find(const char16_t* restriction) {
    IAppointment* item = nullptr;
    (items ? items : Items())->Find(const_cast<BSTR>(restriction), reinterpret_cast<IDispatch**>(&item));
    EXPECT_NE(item, nullptr) << platform::ToUtf8(restriction);
    return item;
  }
  IAppointment* Create() {
    IAppointment* item = nullptr;
    EXPECT_EQ(app->CreateItem(olAppointmentItem, reinterpret_cast<IDispatch**>(&item)), S_OK);
    return item;
  }
  DATE VariantTime(WORD y, WORD mo, WORD d, WORD h, WORD mi) {
    SYSTEMTIME st{y, mo, 0, d, h, mi, 0, 0};
    DATE date = 0;
    EXPECT_EQ(app->SystemTimeToVariantTime(&st, &date), S_OK);
    return date;
  }
  IPOutlookApp* app = nullptr;
  IPOutlookItemCollection* items = nullptr;
};

std::u16string Subject(IAppointment* item) {
  BSTR s = nullptr;
  item->get_Subject(&s);
  std::u16string out(s, SysStringLen(s));
  SysFreeString(s);
  return out;
}

std::vector<std::u16string> FindAll(IPOutlookItemCollection* items, const char16_t* restriction, HRESULT* first) {
  std::vector<std::u16string> subjects;
  IAppointment* item = nullptr;
  *first = items->Find(const_cast<BSTR>(restriction), reinterpret_cast<IDispatch**>(&item));
  while (item) {
    subjects.push_back(Subject(item));
    item->Release();
    item = nullptr;
    items->FindNext(reinterpret_cast<IDispatch**>(&item));
  }
  return subjects;
}

// Which items a restriction matches is the store's to say; here the
// collection hands them out in start order, and refuses what the store refuses.
TEST(PocketOutlook, FindHandsOutTheStoresMatchesAndFailsOnMalformedRestrictions) {
  TestPlatform t(testing_support::OptionsFor(kCalendar));
  Outlook outlook;
  ASSERT_EQ(outlook.app->Logon(0), S_OK);
  IPOutlookItemCollection* items = outlook.Items();
  HRESULT hr;
  auto found = FindAll(items, u"[Start] >= \"11/30/2026 00:00\" AND [Start] <= \"12/6/2026 23:59\" ", &hr);
  EXPECT_EQ(hr, S_OK);
  EXPECT_EQ(found, (std::vector<std::u16string>{u"First of the range", u"Last minute"}));
  EXPECT_EQ(platform::ComState::of(t.session).live_objects, 2);  // the application and the collection
  for (const char16_t* bad : {u"", u"[Start] >= \"13/45/2026 00:00\""}) {
    EXPECT_TRUE(FindAll(items, bad, &hr).empty());
    EXPECT_LT(hr, 0);
  }

  IAppointment* item = outlook.Find(u"[Subject]=\"Day after\"");
  ASSERT_NE(item, nullptr);
  LONG oid = 0;
  item->get_Oid(&oid);
  item->Release();
  const std::u16string by_oid = u"[OID] = " + platform::FromUtf8(std::to_string(oid));
  EXPECT_EQ(FindAll(items, by_oid.c_str(), &hr), std::vector<std::u16string>{u"Day after"});
  IDispatch* none = reinterpret_cast<IDispatch*>(1);
  EXPECT_LT(outlook.app->GetItemFromOid(oid + 1000, &none), 0);
  EXPECT_EQ(none, nullptr);
}

TEST(PocketOutlook, NewItemIsStoredByItsSaveAndGoneAfterDelete) {
  TestPlatform t(testing_support::OptionsFor(kCalendar));
  Outlook outlook;
  ASSERT_EQ(outlook.app->Logon(0), S_OK);
  IAppointment* item = outlook.Create();
  LONG oid = -1;
  item->get_Oid(&oid);
  EXPECT_EQ(oid, 0);  // not stored yet
  item->put_Start(outlook.VariantTime(2026, 12, 31, 23, 30));
  item->put_Duration(30);
  item->put_Subject(const_cast<BSTR>(u"Late"));
  item->put_Categories(const_cast<BSTR>(u"South,Meeting,"));
  ASSERT_EQ(item->Save(), S_OK);
  item->get_Oid(&oid);
  EXPECT_NE(oid, 0);
  EXPECT_EQ(testing_support::CategoriesOf(testing_support::ReadWhole(t.calendar), "Late"), "South,Meeting,");
  // The variant time was read as local time.
  HRESULT hr;
  EXPECT_EQ(FindAll(outlook.Items(), u"[Start] = \"12/31/2026 23:30\"", &hr), std::vector<std::u16string>{u"Late"});

  // With no editor to answer, Display changes nothing and says so.
  item->put_Subject(const_cast<BSTR>(u"Changed"));
  EXPECT_EQ(item->Display(), S_FALSE);
  EXPECT_EQ(testing_support::ReadWhole(t.calendar).find("SUMMARY:Changed"), std::string::npos);

  ASSERT_EQ(item->Delete(), S_OK);
  item->Release();
  EXPECT_EQ(testing_support::EventOf(testing_support::ReadWhole(t.calendar), "Late"), "");
  IDispatch* gone = nullptr;
  EXPECT_LT(outlook.app->GetItemFromOid(oid, &gone), 0);
}

TEST(PocketOutlook, DisplayKeepsTheEditorsChangesOnlyWhenItSaysOk) {
  TestPlatform t(testing_support::OptionsFor(kCalendar));
  {
    Outlook outlook;
    ASSERT_EQ(outlook.app->Logon(0), S_OK);
    HRESULT answer = S_OK;
    platform::PocketOutlook::of(t.session).editor = [&](platform::calendar::AppointmentFields& fields, bool, bool*) {
      fields.subject = u"Edited";
      return answer;
    };
    IAppointment* item = outlook.Find(u"[Subject]=\"Day after\"");
    ASSERT_NE(item, nullptr);
    answer = S_FALSE;
    EXPECT_EQ(item->Display(), S_FALSE);
    EXPECT_EQ(Subject(item), u"Day after");
    EXPECT_EQ(testing_support::ReadWhole(t.calendar), kCalendar);
    answer = S_OK;
    EXPECT_EQ(item->Display(), S_OK);
    EXPECT_EQ(Subject(item), u"Edited");
    EXPECT_NE(testing_support::ReadWhole(t.calendar).find("SUMMARY:Edited"), std::string::npos);
    item->Release();
    EXPECT_EQ(outlook.app->Logoff(), S_OK);
  }
  // Every object was released and every string freed.
  EXPECT_EQ(platform::ComState::of(t.session).live_objects, 0);
  EXPECT_EQ(platform::ComState::of(t.session).live_strings, 0);
}

// A value the item refused is not replaced by the one it had: Save refuses too.
TEST(SaveRefusal, ATimeTheCalendarCannotHoldIsRefusedBySave) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  struct Case {
    const char* what;
    std::function<HRESULT(Outlook&, IAppointment*)> put;
  } cases[] = {
      {"start past 9999", [](Outlook&, IAppointment* i) { return i->put_Start(3e6); }},
      {"start not a number", [nan](Outlook&, IAppointment* i) { return i->put_Start(nan); }},
      {"end beyond any duration", [](Outlook& o, IAppointment* i) { return i->put_End(o.VariantTime(9999, 12, 31, 0, 0) * 1e3); }},
      {"end at 10000-01-01", [](Outlook& o, IAppointment* i) {
         i->put_Start(o.VariantTime(9999, 12, 31, 23, 30));
         return i->put_Duration(30);
       }},
  };
  for (const Case& c : cases) {
    TestPlatform t(testing_support::OptionsFor(kCalendar));
    Outlook outlook;
    ASSERT_EQ(outlook.app->Logon(0), S_OK);
    IAppointment *stored = nullptr, *fresh = outlook.Create();
    ASSERT_EQ(outlook.Items()->Item(1, reinterpret_cast<IDispatch**>(&stored)), S_OK);
    for (IAppointment* item : {stored, fresh}) {
      c.put(outlook, item);
      EXPECT_EQ(item->Save(), E_INVALIDARG) << c.what;
      item->Release();
    }
    EXPECT_EQ(testing_support::ReadWhole(t.calendar), kCalendar) << c.what;
  }
}

// A refused Logon leaves its reason as COM error information, handed to the
// first GetErrorInfo and then gone.
TEST(PocketOutlook, ARefusedLogonLeavesItsReasonForOneCaller) {
  TestPlatform t(testing_support::OptionsFor("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:no end\r\n"));
  Outlook outlook;
  IErrorInfo* info = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
  EXPECT_EQ(outlook.app->Logon(0), E_FAIL);
  // Its text, the store's reason, reaches the user: StartUp.FailedLogonLeavesTheBareWindowANoticeAndTheFileUntouched.
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  info->Release();
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
  EXPECT_EQ(info, nullptr);
}

TEST(PocketOutlook, CoCreateInstanceNeedsComAndTheApplicationClass) {
  TestPlatform t;
  void* object = reinterpret_cast<void*>(1);
  EXPECT_EQ(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp, &object),
            CO_E_NOTINITIALIZED);
  EXPECT_EQ(object, nullptr);
  CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  EXPECT_EQ(CoCreateInstance(IID_IDispatch, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp, &object),
            REGDB_E_CLASSNOTREG);
  EXPECT_EQ(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IFolder, &object), E_NOINTERFACE);
  CoUninitialize();
}

}  // namespace
