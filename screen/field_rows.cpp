// The settings appointment's body defines the time-card fields: its lines
// are cut at every CR and LF (empty lines do not count), the first six are
// free text, and each further line is a field, "Label:Choice;Choice;".
#include "screen/field_rows.h"

#include <windows.h>

#include <commctrl.h>
#include <pimstore.h>

#include "app/app_state.h"
#include "app/wide_string.h"
#include "outlook/outlook_store.h"
#include "screen/layout.h"

namespace {

const WCHAR kSettingsRestriction[] = TEXT("[Subject]=\"Outlook Tallyset 3 Personal Settings\"");
const int kHeaderLines = 6;

}  // namespace

HRESULT LoadFieldSettings() {
  AppState& app = g_app;
  if (app.settingsLoaded == 1) return 0;
  if (!app.outlookApp) return E_FAIL;
  IFolder* folder = nullptr;
  ReleaseOnExit<IFolder> releaseFolder(folder);
  if (!app.calendarItems) {
    HRESULT hr = app.outlookApp->GetDefaultFolder(olFolderCalendar, &folder);
    if (FAILED(hr)) return hr;
    hr = folder->get_Items(&app.calendarItems);
    if (FAILED(hr)) return hr;
    if (!app.calendarItems) return E_FAIL;
  }
  IAppointment* settings = nullptr;
  ReleaseOnExit<IAppointment> releaseSettings(settings);
  HRESULT hr =
      app.calendarItems->Find(const_cast<BSTR>(kSettingsRestriction), reinterpret_cast<IDispatch**>(&settings));
  if (FAILED(hr)) return hr;
  if (!settings) return -1;
  BSTR body = nullptr;
  hr = settings->get_Body(&body);
  if (FAILED(hr)) return hr;

  // The whole body is read, however long: a field the user wrote is never dropped.
  WideString text(body ? body : TEXT(""), SysStringLen(body));
  SysFreeString(body);
  int line = 0;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find_first_of(TEXT("\r\n"), start);
    if (end == WideString::npos) end = text.size();
    if (end > start) {
      ++line;
      if (line > kHeaderLines) AddFieldRow(text.substr(start, end - start).c_str(), line - kHeaderLines);
    }
    start = end + 1;
  }
  PlaceRowsAndList();
  app.settingsLoaded = 1;
  return hr;
}

void AddFieldRow(LPCWSTR line, int row) {
  AppState& app = g_app;
  WideString text(line);
  // A line without a colon still shows, label and all, so the user sees it.
  size_t colon = text.find(TEXT(':'));
  WideString label = colon == WideString::npos ? text : text.substr(0, colon + 1);

  HDC dc = GetDC(app.mainWindow);
  RECT measured = {0, 0, 240, 20};
  DrawTextW(dc, label.c_str(), -1, &measured, DT_CALCRECT);
  ReleaseDC(app.mainWindow, dc);
  int width = measured.right + 2;

  int pitch = 22 * app.scale;
  HWND labelWindow = CreateWindowExW(0, TEXT("STATIC"), label.c_str(), WS_VISIBLE | SS_RIGHT, 5, 120 + pitch * row,
                                     width, 19 * app.scale, app.mainWindow, nullptr, app.instance, nullptr);
  if (width > app.labelWidth) app.labelWidth = width;
  app.fieldLabels.push_back(labelWindow);

  HWND box = CreateWindowExW(0, TEXT("COMBOBOX"), TEXT(""), WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 77,
                             120 + pitch * row, 75 * app.scale, 80 * app.scale, app.mainWindow,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>((row + 250) * 4)), app.instance, nullptr);
  app.choiceBoxes.push_back(box);

  if (colon != WideString::npos) {
    size_t position = colon + 1;
    for (size_t semicolon = text.find(TEXT(';'), position); semicolon != WideString::npos;
         semicolon = text.find(TEXT(';'), position)) {
      WideString choice = text.substr(position, semicolon - position);
      SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.c_str()));
      position = semicolon + 1;
    }
  }
  SendMessageW(box, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(TEXT("")));
}
