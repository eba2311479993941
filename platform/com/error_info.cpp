// Error information: the description an automation object leaves for the
// caller of a failed call, one object per thread (a session has one).
#include <objbase.h>

#include "platform/com/com_state.h"
#include "platform/core/session.h"

const IID IID_IErrorInfo = {0x1CF2B120, 0x547D, 0x101B, {0x8E, 0x65, 0x08, 0x00, 0x2B, 0x2B, 0xD1, 0x19}};

namespace platform {

namespace {

class ErrorInfo final : public IErrorInfo {
 public:
  ErrorInfo(std::u16string source, std::u16string description)
      : source_(std::move(source)), description_(std::move(description)) {}

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IErrorInfo) {
      *ppv = static_cast<IErrorInfo*>(this);
      AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP GetGUID(GUID* guid) override {
    if (!guid) return E_POINTER;
    *guid = GUID{};
    return S_OK;
  }
  STDMETHODIMP GetSource(BSTR* out) override { return OutString(source_, out); }
  STDMETHODIMP GetDescription(BSTR* out) override { return OutString(description_, out); }
  STDMETHODIMP GetHelpFile(BSTR* out) override { return OutString(u"", out); }
  STDMETHODIMP GetHelpContext(DWORD* context) override {
    if (!context) return E_POINTER;
    *context = 0;
    return S_OK;
  }

 private:
  ~ErrorInfo() = default;
  std::u16string source_, description_;
  ULONG refs_ = 1;
};

}  // namespace

ComState::~ComState() {
  if (error_info) error_info->Release();
}

void SetErrorDescription(Session& session, std::u16string source, std::u16string description) {
  IErrorInfo* info = new ErrorInfo(std::move(source), std::move(description));
  ComState& com = ComState::of(session);
  if (com.error_info) com.error_info->Release();
  com.error_info = info;
}

}  // namespace platform

using platform::ComState;
using platform::Session;

HRESULT WINAPI GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo) {
  if (!pperrinfo) return E_POINTER;
  *pperrinfo = nullptr;
  if (dwReserved != 0) return E_INVALIDARG;
  ComState& com = ComState::of(Session::current());
  *pperrinfo = com.error_info;
  com.error_info = nullptr;
  return *pperrinfo ? S_OK : S_FALSE;
}

HRESULT WINAPI SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo) {
  if (dwReserved != 0) return E_INVALIDARG;
  ComState& com = ComState::of(Session::current());
  if (perrinfo) perrinfo->AddRef();
  if (com.error_info) com.error_info->Release();
  com.error_info = perrinfo;
  return S_OK;
}
