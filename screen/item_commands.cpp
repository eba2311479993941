// What the user does with the list and the field rows: selecting a row
// loads its values into the fields, Save writes the fields into the
// appointment's categories, New Item creates a half-hour appointment that
// carries them, Edit Item opens the selected appointment in the editor.
#include "screen/item_commands.h"

#include <windows.h>

#include <aygshell.h>
#include <commctrl.h>
#include <pimstore.h>
#include <strsafe.h>

#include <algorithm>
#include <vector>

#include "app/app_feedback.h"
#include "app/app_state.h"
#include "app/wide_string.h"
#include "outlook/category_match.h"
#include "outlook/category_text.h"
#include "outlook/outlook_store.h"
#include "resources/resource.h"
#include "screen/appointment_list.h"

namespace {

const ULONGLONG kOneHour = 36000000000ULL;  // in 100-nanosecond units

// The row with the selection mark and its appointment's identifier; false
// when no row has the mark.
bool GetSelectedRow(int* index, DWORD* oid) {
  AppState& app = g_app;
  *index = static_cast<int>(SendMessageW(app.listView, LVM_GETSELECTIONMARK, 0, 0));
  if (*index < 0) return false;
  LVITEMW item;
  ZeroMemory(&item, sizeof(item));
  item.mask = LVIF_PARAM;
  item.iItem = *index;
  if (!SendMessageW(app.listView, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item))) return false;
  *oid = static_cast<DWORD>(item.lParam);
  return true;
}

WideString WindowText(HWND hwnd) {
  int length = GetWindowTextLengthW(hwnd);
  WideString text(static_cast<size_t>(length > 0 ? length : 0) + 1, 0);
  int copied = GetWindowTextW(hwnd, text.data(), length + 1);
  text.resize(static_cast<size_t>(copied > 0 ? copied : 0));
  return text;
}

LPCWSTR ReasonOf(HRESULT hr) {
  if (hr == HRESULT_FROM_WIN32(ERROR_DISK_FULL)) return TEXT("the disk is full");
  if (hr == HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED)) return TEXT("the calendar file may not be written");
  if (hr == HRESULT_FROM_WIN32(ERROR_WRITE_FAULT)) return TEXT("the disk reported a write error");
  if (hr == HRESULT_FROM_WIN32(ERROR_NOT_FOUND)) return TEXT("another program deleted the appointment");
  if (hr == HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION))
    return TEXT("another program kept changing the calendar file");
  if (hr == E_INVALIDARG) return TEXT("its time is outside what the calendar can hold");
  if (hr == E_OUTOFMEMORY) return TEXT("there is not enough memory");
  return TEXT("the calendar file could not be written");
}

// A save that did not reach the calendar must not pass for one. `kept` says
// what the user still has: the choices in the fields, or nothing of the edit.
void ShowSaveFailedNotice(HRESULT hr, LPCWSTR kept) {
  WCHAR html[400];
  StringCchPrintfW(html, 400,
                   TEXT("<html><body>The appointment was not saved: %s.<br/>The calendar keeps what it had; ")
                       TEXT("%s.</body></html>"),
                   ReasonOf(hr), kept);
  ShowNotice(2, html);
}

const WCHAR kChoicesKept[] = TEXT("your choices are still in the fields");
const WCHAR kEditLost[] = TEXT("the changes made in the editor were not kept");

const HRESULT kDeletedElsewhere = HRESULT_FROM_WIN32(ERROR_NOT_FOUND);

void ShowDeletedNotice() {
  ShowNotice(2, TEXT("<html><body>Another program deleted the appointment; it was not saved.<br/>")
                    TEXT("The list now shows the calendar as it is.</body></html>"));
}

// Ends a command whose save failed, with the notice that fits the reason. A
// row whose appointment another program deleted is stale: the list is built
// again so that it shows the calendar as it now is.
void ReportSaveFailure(HRESULT hr, LPCWSTR kept) {
  if (hr == kDeletedElsewhere) {
    RefreshAppointmentList();
    ShowDeletedNotice();
  } else {
    ShowSaveFailedNotice(hr, kept);
  }
}

void SetRowImage(int index, int image) {
  AppState& app = g_app;
  LVITEMW item;
  ZeroMemory(&item, sizeof(item));
  item.mask = LVIF_IMAGE;
  item.iItem = index;
  item.iImage = image;
  SendMessageW(app.listView, LVM_SETITEMW, 0, reinterpret_cast<LPARAM>(&item));
}

// Whether `value` is one of the choices of any field row.
bool IsFieldChoice(const std::vector<WideString>& sortedChoices, const WideString& value) {
  return std::binary_search(sortedChoices.begin(), sortedChoices.end(), value);
}

// Every choice of every field row (entries 1 on), sorted for lookup.
std::vector<WideString> AllFieldChoices() {
  AppState& app = g_app;
  std::vector<WideString> choices;
  for (HWND box : app.choiceBoxes) {
    int count = static_cast<int>(SendMessageW(box, CB_GETCOUNT, 0, 0));
    for (int k = 1; k < count; ++k) {
      WideString entry;
      if (GetChoiceText(box, k, &entry)) choices.push_back(entry);
    }
  }
  std::sort(choices.begin(), choices.end());
  return choices;
}

// Save's form: the chosen values in field order, a comma only between two
// values; then every category the appointment has now that is no choice of
// any field, in its order, so that what the user or another program filed
// under other names stays. A category that is a field's choice is the
// field's to say: replaced by the box's value, or gone when the box is empty.
WideString JoinForSave(const WideString& current) {
  AppState& app = g_app;
  WideString categories;
  int count = 0;
  for (HWND box : app.choiceBoxes) {
    WideString value = WindowText(box);
    if (value.empty()) continue;
    if (count++ > 0) categories += TEXT(",");
    AppendCategory(categories, value);
  }
  std::vector<WideString> others;
  SplitCategories(current, &others);
  if (others.empty()) return categories;
  std::vector<WideString> choices = AllFieldChoices();
  for (const WideString& other : others) {
    if (IsFieldChoice(choices, other)) continue;
    if (count++ > 0) categories += TEXT(",");
    AppendCategory(categories, other);
  }
  return categories;
}

// New Item's form: a value is followed by a comma whenever a later box exists.
WideString JoinForNewItem() {
  AppState& app = g_app;
  WideString categories;
  for (size_t i = 0; i < app.choiceBoxes.size(); ++i) {
    WideString value = WindowText(app.choiceBoxes[i]);
    if (value.empty()) continue;
    AppendCategory(categories, value);
    if (i + 1 < app.choiceBoxes.size()) categories += TEXT(",");
  }
  return categories;
}

// Minutes 1 to 29 go up to the half hour, 31 to 59 to the next full hour.
void RoundUpToHalfHour(SYSTEMTIME* time) {
  if (time->wMinute == 0 || time->wMinute == 30) return;
  if (time->wMinute < 30) {
    time->wMinute = 30;
    return;
  }
  time->wMinute = 0;
  FILETIME fileTime;
  SystemTimeToFileTime(time, &fileTime);
  ULARGE_INTEGER ticks;
  ticks.LowPart = fileTime.dwLowDateTime;
  ticks.HighPart = fileTime.dwHighDateTime;
  ticks.QuadPart += kOneHour;
  fileTime.dwLowDateTime = ticks.LowPart;
  fileTime.dwHighDateTime = ticks.HighPart;
  FileTimeToSystemTime(&fileTime, time);
}

}  // namespace

void OnListSelectionChanged() {
  int index;
  DWORD oid;
  if (!GetSelectedRow(&index, &oid)) return;
  MatchCategories(oid, TRUE);
  SetSaveEnabled(TRUE);
}

void OnSaveCategories() {
  AppState& app = g_app;
  int index;
  DWORD oid;
  if (!app.outlookApp || !GetSelectedRow(&index, &oid)) return;

  IFolder* folder = nullptr;
  ReleaseOnExit<IFolder> releaseFolder(folder);
  if (!app.calendarItems) {
    if (FAILED(app.outlookApp->GetDefaultFolder(olFolderCalendar, &folder))) return;
    if (FAILED(folder->get_Items(&app.calendarItems)) || !app.calendarItems) return;
  }
  WCHAR restriction[256];
  StringCchPrintfW(restriction, 256, TEXT("[OID] = %lu"), oid);
  IAppointment* item = nullptr;
  ReleaseOnExit<IAppointment> releaseItem(item);
  HRESULT found = app.calendarItems->Find(restriction, reinterpret_cast<IDispatch**>(&item));
  if (!item) {
    // The search itself worked, so the row's appointment is no more.
    if (SUCCEEDED(found)) ReportSaveFailure(kDeletedElsewhere, kChoicesKept);
    return;
  }

  // The categories as they are now, another program's additions included.
  BSTR current = nullptr;
  HRESULT read = item->get_Categories(&current);
  WideString currentText(current ? current : TEXT(""), SysStringLen(current));
  SysFreeString(current);
  if (FAILED(read)) {
    // Without them the other categories would be lost; nothing is written.
    ShowSaveFailedNotice(read, kChoicesKept);
    return;
  }
  WideString categories = JoinForSave(currentText);
  if (FAILED(item->put_Categories(categories.data()))) return;
  HRESULT saved = item->Save();
  item->Release();
  item = nullptr;
  if (saved == kDeletedElsewhere) {
    ReportSaveFailure(saved, kChoicesKept);
    return;
  }

  // The fields keep the values just saved (or, after a failure, the user's
  // choices), so a second Save writes the same text again.
  std::vector<LRESULT> choices;
  for (HWND box : app.choiceBoxes) choices.push_back(SendMessageW(box, CB_GETCURSEL, 0, 0));
  SetRowImage(index, FAILED(MatchCategories(oid, FALSE)) ? 1 : 0);
  for (size_t i = 0; i < app.choiceBoxes.size(); ++i)
    SendMessageW(app.choiceBoxes[i], CB_SETCURSEL, static_cast<WPARAM>(choices[i]), 0);
  if (FAILED(saved)) ShowSaveFailedNotice(saved, kChoicesKept);
}

void OnNewItem() {
  AppState& app = g_app;
  if (!app.outlookApp) return;
  IAppointment* item = nullptr;
  ReleaseOnExit<IAppointment> releaseItem(item);
  app.outlookApp->CreateItem(olAppointmentItem, reinterpret_cast<IDispatch**>(&item));
  if (!item) return;

  SYSTEMTIME start;
  ZeroMemory(&start, sizeof(start));
  SendMessageW(app.toPicker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&start));
  RoundUpToHalfHour(&start);
  DATE startDate = 0;
  // Rounding up the last minutes of 9999-12-31 leaves the years a date can
  // have; saving the item at some other time instead would be worse.
  HRESULT placed = app.outlookApp->SystemTimeToVariantTime(&start, &startDate);

  WideString categories = JoinForNewItem();
  item->put_Categories(categories.data());
  if (SUCCEEDED(placed)) item->put_Start(startDate);
  item->put_Duration(30);
  HRESULT saved = SUCCEEDED(placed) ? item->Save() : placed;
  LONG oid = 0;
  item->get_Oid(&oid);
  item->Release();
  item = nullptr;
  if (FAILED(saved)) {
    ReportSaveFailure(saved, kChoicesKept);
    return;
  }

  app.outlookApp->GetItemFromOid(oid, reinterpret_cast<IDispatch**>(&item));
  if (!item) return;  // gone already: another program deleted it
  HRESULT shown = item->Display();
  if (FAILED(shown)) {
    // The editor's ok could not be saved; the appointment stays as first stored.
    ReportSaveFailure(shown, kEditLost);
  } else if (shown == S_OK) {
    saved = item->Save();
    if (FAILED(saved)) {
      ReportSaveFailure(saved, kEditLost);
      return;
    }
    int index = static_cast<int>(SendMessageW(app.listView, LVM_GETITEMCOUNT, 0, 0));
    InsertAppointmentRow(item, index, static_cast<DWORD>(oid), TEXT("Thu"));
  } else if (shown == S_FALSE) {
    item->Delete();
  }
}

void OnEditItem() {
  AppState& app = g_app;
  int index;
  DWORD oid;
  if (!app.outlookApp || !GetSelectedRow(&index, &oid)) return;
  IAppointment* item = nullptr;
  app.outlookApp->GetItemFromOid(static_cast<LONG>(oid), reinterpret_cast<IDispatch**>(&item));
  // No item for a listed row: another program deleted it.
  HRESULT shown = item ? item->Display() : kDeletedElsewhere;
  if (item) item->Release();
  RefreshAppointmentList();
  if (shown == kDeletedElsewhere)
    ShowDeletedNotice();
  else if (FAILED(shown))
    ShowSaveFailedNotice(shown, kEditLost);
}
