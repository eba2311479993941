// The settings appointment's body defines the time-card fields
// (outlook/field_settings.h reads it); each field becomes a row of a label
// and a choice box.
#include "screen/field_rows.h"

#include <windows.h>

#include <commctrl.h>
#include <pimstore.h>

#include <vector>

#include "app/app_state.h"
#include "app/wide_string.h"
#include "outlook/field_settings.h"
#include "outlook/outlook_store.h"
#include "screen/layout.h"

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

  WideString text(body ? body : TEXT(""), SysStringLen(body));
  SysFreeString(body);
  std::vector<WideString> lines = FieldLines(text);
  for (size_t i = 0; i < lines.size(); ++i) AddFieldRow(lines[i].c_str(), static_cast<int>(i) + 1);
  PlaceRowsAndList();
  app.settingsLoaded = 1;
  return hr;
}

void AddFieldRow(LPCWSTR line, int row) {
  AppState& app = g_app;
  FieldSetting field = ParseFieldLine(WideString(line));

  HDC dc = GetDC(app.mainWindow);
  RECT measured = {0, 0, 240, 20};
  DrawTextW(dc, field.label.c_str(), -1, &measured, DT_CALCRECT);
  ReleaseDC(app.mainWindow, dc);
  int width = measured.right + 2;

  int pitch = 22 * app.scale;
  HWND labelWindow = CreateWindowExW(0, TEXT("STATIC"), field.label.c_str(), WS_VISIBLE | SS_RIGHT, 5,
                                     120 + pitch * row, width, 19 * app.scale, app.mainWindow, nullptr,
                                     app.instance, nullptr);
  if (width > app.labelWidth) app.labelWidth = width;
  app.fieldLabels.push_back(labelWindow);

  HWND box = CreateWindowExW(0, TEXT("COMBOBOX"), TEXT(""), WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST, 77,
                             120 + pitch * row, 75 * app.scale, 80 * app.scale, app.mainWindow,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>((row + 250) * 4)), app.instance, nullptr);
  app.choiceBoxes.push_back(box);

  for (const WideString& choice : field.choices)
    SendMessageW(box, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(choice.c_str()));
  SendMessageW(box, CB_INSERTSTRING, 0, reinterpret_cast<LPARAM>(TEXT("")));
}
