// The COM runtime as programs here use it: start and end on the thread, and
// creation of the in-process classes that floors above have registered.
#include <objbase.h>

#include "platform/com/com_state.h"
#include "platform/core/session.h"

const IID IID_IUnknown = {0x00000000, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};
const IID IID_IDispatch = {0x00020400, 0x0000, 0x0000, {0xC0, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x46}};

namespace platform {

void InstallCom(Session& session) { session.install<ComState>(); }

const ClassFactory* ComState::factory(const CLSID& clsid) const {
  for (const RegisteredClass& c : classes_)
    if (c.clsid == clsid) return &c.factory;
  return nullptr;
}

}  // namespace platform

using platform::Session;

HRESULT WINAPI CoInitializeEx(LPVOID pvReserved, DWORD) {
  Session& s = Session::current();
  s.calls().record("CoInitializeEx");
  if (pvReserved) return E_INVALIDARG;
  if (s.faults().active(platform::ComFault::co_initialize)) return E_FAIL;
  return platform::ComState::of(s).init_count++ == 0 ? S_OK : S_FALSE;
}

void WINAPI CoUninitialize() {
  Session& s = Session::current();
  s.calls().record("CoUninitialize");
  if (platform::ComState::of(s).init_count > 0) --platform::ComState::of(s).init_count;
}

HRESULT WINAPI CoCreateInstance(REFCLSID rclsid, LPUNKNOWN pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
  Session& s = Session::current();
  s.calls().record("CoCreateInstance");
  if (!ppv) return E_POINTER;
  *ppv = nullptr;
  if (platform::ComState::of(s).init_count == 0) return CO_E_NOTINITIALIZED;
  if (s.faults().active(platform::ComFault::co_create_instance)) return REGDB_E_CLASSNOTREG;
  if (s.faults().active(platform::ComFault::co_create_no_object)) return S_OK;
  if (pUnkOuter) return CLASS_E_NOAGGREGATION;
  const platform::ClassFactory* factory = platform::ComState::of(s).factory(rclsid);
  if (!factory || !(dwClsContext & CLSCTX_INPROC_SERVER)) return REGDB_E_CLASSNOTREG;
  return (*factory)(riid, ppv);
}
