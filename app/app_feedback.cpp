// The Save soft key's state and the program's notification bubbles: what the
// main window and the screen's commands both tell the user.
#include "app/app_feedback.h"

#include <aygshell.h>
#include <commctrl.h>
#include <oleauto.h>
#include <pimstore.h>

#include "app/app_state.h"
#include "app/wide_string.h"
#include "resources/resource.h"

namespace {

// {21608D32-6299-4383-91F7-C9759A446AB1}: the program's notification class.
const CLSID kNotificationClass = {0x21608D32, 0x6299, 0x4383, {0x91, 0xF7, 0xC9, 0x75, 0x9A, 0x44, 0x6A, 0xB1}};

const WCHAR kNoticeTitle[] = TEXT("Tallyset for Pocket Outlook");
const WCHAR kNoticeHtml[] =
    TEXT("<html><body>No Tallyset for Pocket Outlook settings found. <br/>The settings are stored in an appointment ")
        TEXT("at Jan 01, 2050, which is not found.<br/> Please contact support@tallyset.example.</body></html>");

}  // namespace

void SetSaveEnabled(BOOL enable) {
  AppState& app = g_app;
  if (!app.menuBar) return;
  TBBUTTONINFOW info;
  ZeroMemory(&info, sizeof(info));
  info.cbSize = sizeof(info);
  info.dwMask = TBIF_STATE;
  SendMessageW(app.menuBar, TB_GETBUTTONINFOW, CMD_SAVE, reinterpret_cast<LPARAM>(&info));
  if (enable)
    info.fsState |= TBSTATE_ENABLED;
  else
    info.fsState &= static_cast<BYTE>(~TBSTATE_ENABLED);
  SendMessageW(app.menuBar, TB_SETBUTTONINFOW, CMD_SAVE, reinterpret_cast<LPARAM>(&info));
}

void ShowNotice(DWORD id, LPCWSTR html) {
  AppState& app = g_app;
  SHNOTIFICATIONDATA nd;
  ZeroMemory(&nd, sizeof(nd));
  nd.cbStruct = sizeof(nd);
  nd.dwID = id;
  nd.npPriority = SHNP_INFORM;
  nd.csDuration = 15;
  nd.hicon = LoadIconW(app.instance, MAKEINTRESOURCEW(IDI_NOTICE));
  nd.grfFlags = 0;
  nd.clsid = kNotificationClass;
  nd.hwndSink = nullptr;
  nd.pszHTML = html;
  nd.pszTitle = kNoticeTitle;
  nd.lParam = 0;
  SHNotificationAdd(&nd);
}

void ShowMissingSettingsNotice() { ShowNotice(1, kNoticeHtml); }

void ShowCalendarRefusedNotice() {
  // Pocket Outlook leaves its reason as the thread's error information.
  IErrorInfo* info = nullptr;
  BSTR reason = nullptr;
  if (GetErrorInfo(0, &info) == S_OK && info) {
    if (FAILED(info->GetDescription(&reason))) reason = nullptr;
    info->Release();
  }
  WideString html = TEXT("<html><body>The calendar could not be opened");
  UINT length = SysStringLen(reason);
  if (length > 0) {
    html += TEXT(": ");
    // A file name is text, never markup.
    for (UINT i = 0; i < length; ++i) {
      if (reason[i] == TEXT('&'))
        html += TEXT("&amp;");
      else if (reason[i] == TEXT('<'))
        html += TEXT("&lt;");
      else if (reason[i] == TEXT('>'))
        html += TEXT("&gt;");
      else
        html += reason[i];
    }
  }
  SysFreeString(reason);
  html += TEXT(".<br/>Tallyset shows no appointments and changes nothing in it.</body></html>");
  ShowNotice(3, html.c_str());
}
