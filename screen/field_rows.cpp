// Finds the settings appointment and reads its body. Building a field row
// from each field line comes with the field rows themselves.
#include "screen/field_rows.h"

#include <pimstore.h>

#include "app/app_state.h"
#include "outlook/outlook_store.h"
#include "screen/layout.h"

namespace {

const WCHAR kSettingsRestriction[] = TEXT("[Subject]=\"Outlook Tallyset 3 Personal Settings\"");

}  // namespace

HRESULT LoadFieldSettings() {
  AppState& app = g_app;
  if (app.settingsLoaded == 1) return 0;
  IFolder* folder = nullptr;
  ReleaseOnExit<IFolder> releaseFolder(folder);
  if (!app.calendarItems) {
    HRESULT hr = app.outlookApp->GetDefaultFolder(olFolderCalendar, &folder);
    if (FAILED(hr)) return hr;
    hr = folder->get_Items(&app.calendarItems);
    if (FAILED(hr)) return hr;
  }
  IAppointment* settings = nullptr;
  ReleaseOnExit<IAppointment> releaseSettings(settings);
  HRESULT hr = app.calendarItems->Find(const_cast<BSTR>(kSettingsRestriction), reinterpret_cast<IDispatch**>(&settings));
  if (FAILED(hr)) return hr;
  if (!settings) return -1;
  BSTR body = nullptr;
  hr = settings->get_Body(&body);
  if (FAILED(hr)) return hr;
  SysFreeString(body);
  PlaceRowsAndList();
  app.settingsLoaded = 1;
  return hr;
}
