#include "outlook/outlook_store.h"

#include "app/app_state.h"

// Starts COM and creates the Pocket Outlook application object; the logon
// waits for the main window, which the calendar needs as its owner.
HRESULT OpenOutlookSession() {
  AppState& app = g_app;
  HRESULT hr = CoInitializeEx(nullptr, COINIT_MULTITHREADED);
  if (FAILED(hr)) return hr;
  hr = CoCreateInstance(CLSID_Application, nullptr, CLSCTX_INPROC_SERVER, IID_IPOutlookApp,
                        reinterpret_cast<LPVOID*>(&app.outlookApp));
  if (FAILED(hr)) return hr;
  if (!app.outlookApp) return E_FAIL;
  return hr;
}

HRESULT CloseOutlookSession() {
  AppState& app = g_app;
  if (app.calendarItems) {
    app.calendarItems->Release();
    app.calendarItems = nullptr;
  }
  HRESULT hr = E_FAIL;
  if (app.outlookApp) {
    hr = app.outlookApp->Logoff();
    app.outlookApp->Release();
    app.outlookApp = nullptr;
  }
  CoUninitialize();
  return hr;
}
