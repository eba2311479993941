// A refused Logon leaves its reason as COM error information, handed to
// the first GetErrorInfo and then gone.
#include <gtest/gtest.h>

#include <objbase.h>
#include <pimstore.h>

#include "platform/base/utf.h"
#include "platform/pocket_outlook/poom_objects.h"
#include "support/app_run.h"

namespace {

TEST(ErrorInfo, ARefusedLogonLeavesItsReasonForOneCaller) {
  testing_support::TestPlatform t(
      testing_support::OptionsFor("BEGIN:VCALENDAR\r\nBEGIN:VEVENT\r\nSUMMARY:no end\r\n"));
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_MULTITHREADED), S_OK);
  IPOutlookApp* app = nullptr;
  ASSERT_EQ(CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp,
                             reinterpret_cast<void**>(&app)),
            S_OK);
  IErrorInfo* info = nullptr;
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
  EXPECT_EQ(app->Logon(0), E_FAIL);
  ASSERT_EQ(GetErrorInfo(0, &info), S_OK);
  BSTR text = nullptr;
  ASSERT_EQ(info->GetDescription(&text), S_OK);
  EXPECT_EQ(platform::ToUtf8(std::u16string(text, SysStringLen(text))),
            t.calendar.string() + ": line 2: BEGIN:VEVENT is never closed");
  SysFreeString(text);
  info->Release();
  EXPECT_EQ(GetErrorInfo(0, &info), S_FALSE);
  EXPECT_EQ(info, nullptr);
  app->Release();
  CoUninitialize();
}

}  // namespace
