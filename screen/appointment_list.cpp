// Fills the list with every appointment that starts between 00:00 of the
// from date and 23:59 of the to date, in the order Pocket Outlook yields
// them, each with its complete or incomplete icon.
#include "screen/appointment_list.h"

#include <windows.h>

#include <commctrl.h>
#include <pimstore.h>
#include <strsafe.h>

#include "app/app_state.h"
#include "app/app_feedback.h"
#include "outlook/category_match.h"
#include "outlook/outlook_store.h"
#include "screen/layout.h"

void FormatDetails(WideString& text, LONG duration, const SYSTEMTIME& start, LPCWSTR thursday) {
  static const LPCWSTR kDays[] = {TEXT("Sun"), TEXT("Mon"), TEXT("Tue"), TEXT("Wed"),
                                  nullptr,     TEXT("Fri"), TEXT("Sat")};
  WCHAR piece[25];
  LONG hours = duration / 60;
  if (hours > 0) {
    StringCchPrintfW(piece, 25, TEXT("%ldh, "), hours);
    text += piece;
  }
  LONG minutes = duration - 60 * hours;
  if (minutes != 0) {
    StringCchPrintfW(piece, 25, TEXT("%ld min, "), minutes);
    text += piece;
  }
  WORD weekday = start.wDayOfWeek % 7;
  text += weekday == 4 ? thursday : kDays[weekday];
  text += TEXT(" ");
  StringCchPrintfW(piece, 25, TEXT("%d"), start.wDay);
  text += piece;
}

bool InsertAppointmentRow(IAppointment* item, int index, DWORD oid, LPCWSTR thursday) {
  AppState& app = g_app;
  LVITEMW row;
  ZeroMemory(&row, sizeof(row));
  row.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
  row.iItem = index;
  row.lParam = static_cast<LPARAM>(oid);
  row.iImage = FAILED(MatchCategories(oid, FALSE)) ? 1 : 0;

  BSTR subject = nullptr;
  if (FAILED(item->get_Subject(&subject))) return false;
  // Held whole, however long the subject is.
  WideString text(subject ? subject : TEXT(""), SysStringLen(subject));
  SysFreeString(subject);
  row.pszText = text.data();
  int inserted = static_cast<int>(SendMessageW(app.listView, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&row)));

  LONG duration = 0;
  DATE start = 0;
  SYSTEMTIME startTime;
  ZeroMemory(&startTime, sizeof(startTime));
  item->get_Duration(&duration);
  item->get_Start(&start);
  app.outlookApp->VariantTimeToSystemTime(start, &startTime);
  WideString details;
  FormatDetails(details, duration, startTime, thursday);

  LVITEMW detailsItem;
  ZeroMemory(&detailsItem, sizeof(detailsItem));
  detailsItem.mask = LVIF_TEXT;
  detailsItem.iItem = inserted >= 0 ? inserted : index;
  detailsItem.iSubItem = 1;
  detailsItem.pszText = details.data();
  SendMessageW(app.listView, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&detailsItem));
  return true;
}

HRESULT RefreshAppointmentList() {
  AppState& app = g_app;
  SendMessageW(app.listView, LVM_DELETEALLITEMS, 0, 0);
  SetSaveEnabled(FALSE);
  if (!app.outlookApp) return E_FAIL;

  if (!app.calendarItems) {
    IFolder* folder = nullptr;
    ReleaseOnExit<IFolder> releaseFolder(folder);
    HRESULT hr = app.outlookApp->GetDefaultFolder(olFolderCalendar, &folder);
    if (FAILED(hr)) return hr;
    hr = folder->get_Items(&app.calendarItems);
    if (FAILED(hr)) return hr;
    if (!app.calendarItems) return E_FAIL;
  }

  SYSTEMTIME from, to;
  ZeroMemory(&from, sizeof(from));
  ZeroMemory(&to, sizeof(to));
  SendMessageW(app.fromPicker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&from));
  SendMessageW(app.toPicker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&to));
  WCHAR fromText[25], toText[25];
  GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &from, nullptr, fromText, 25);
  GetDateFormatW(LOCALE_SYSTEM_DEFAULT, DATE_SHORTDATE, &to, nullptr, toText, 25);
  WCHAR restriction[500];
  StringCchPrintfW(restriction, 500, TEXT("[Start] >= \"%s 00:00\" AND [Start] <= \"%s 23:59\" "), fromText, toText);

  IAppointment* item = nullptr;
  HRESULT hr = app.calendarItems->Find(restriction, reinterpret_cast<IDispatch**>(&item));
  if (!item) return -1;
  if (FAILED(hr)) {
    item->Release();
    return hr;
  }
  for (int row = 0; item; ++row) {
    LONG oid = 0;
    item->get_Oid(&oid);
    bool inserted = InsertAppointmentRow(item, row, static_cast<DWORD>(oid), TEXT("Thur"));
    item->Release();
    item = nullptr;
    if (!inserted) return E_FAIL;  // the subject could not be read: the rows so far stay
    hr = app.calendarItems->FindNext(reinterpret_cast<IDispatch**>(&item));
    if (FAILED(hr)) {
      if (item) item->Release();
      item = nullptr;
    }
  }
  ResizeListColumns();
  return hr;
}
