// The COM runtime as programs here use it: start and end on the thread, and
// creation of the one in-process class there is, Pocket Outlook's
// application object.
#include <objbase.h>
#include <pimstore.h>

#include "platform/com/com_state.h"
#include "platform/core/session.h"
#include "platform/pocket_outlook/poom_objects.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const CLSID CLSID_Application = {0x05058F23, 0x20BE, 0x11D2, {0x8F, 0x18, 0x00, 0x00, 0xF8, 0x7A, 0x43, 0x35}};
const IID IID_IPOutlookApp = {0x05058F22, 0x20BE, 0x11D2, {0x8F, 0x18, 0x00, 0x00, 0xF8, 0x7A, 0x43, 0x35}};
// Identifiers of this stand-in's other interfaces; programs reach those
// objects through the application object, never by these values.
const IID IID_IFolder = {0x7A1E2C01, 0x5D3B, 0x4B8F, {0x9A, 0x21, 0x6C, 0x43, 0x1E, 0x0D, 0x77, 0x01}};
const IID IID_IPOutlookItemCollection = {0x7A1E2C02, 0x5D3B, 0x4B8F, {0x9A, 0x21, 0x6C, 0x43, 0x1E, 0x0D, 0x77, 0x02}};
const IID IID_IAppointment = {0x7A1E2C03, 0x5D3B, 0x4B8F, {0x9A, 0x21, 0x6C, 0x43, 0x1E, 0x0D, 0x77, 0x03}};

using platform::Session;

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD) {
  Session& s = Session::current();
  s.calls().record("CoInitializeEx");
  if (pvReserved) return E_INVALIDARG;
  if (s.faults().active(platform::Fault::co_initialize)) return E_FAIL;
  return s.com().init_count++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize() {
  Session& s = Session::current();
  s.calls().record("CoUninitialize");
  if (s.com().init_count > 0) --s.com().init_count;
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
  Session& s = Session::current();
  s.calls().record("CoCreateInstance");
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (s.com().init_count == 0) return CO_E_NOTINITIALIZED;
  if (s.faults().active(platform::Fault::co_create_instance)) return REGDB_E_CLASSNOTREG;
  if (s.faults().active(platform::Fault::co_create_no_object)) return S_OK;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  if (!(rclsid == CLSID_Application) || !(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  IPOutlookApp* app = platform::CreatePoomApplication(s);
  HRESULT hr = app->QueryInterface(riid, ppv);
  app->Release();
  return hr;
}
