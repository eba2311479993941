// Automation strings: a 32-bit byte length, then the characters, then a
// terminating zero, handed out as a pointer to the first character.
#include <oleauto.h>

#include <cstdlib>
#include <cstring>

#include "platform/com/com_state.h"
#include "platform/core/session.h"

namespace {

void CountString(long delta) {
  if (platform::Session* s = platform::Session::get())
    if (auto* com = s->find_service<platform::ComState>()) com->live_strings += delta;
}

}  // namespace

namespace platform {

HRESULT OutString(const std::u16string& text, BSTR* out) {
  if (!out) return E_POINTER;
  *out = SysAllocStringLen(text.data(), static_cast<UINT>(text.size()));
  return *out ? S_OK : E_OUTOFMEMORY;
}

}  // namespace platform

BSTR WINAPI SysAllocStringLen(const OLECHAR* pch, UINT cch) {
  auto* block = static_cast<unsigned char*>(std::malloc(sizeof(std::uint32_t) + (cch + 1) * sizeof(OLECHAR)));
  if (!block) return nullptr;
  std::uint32_t bytes = cch * sizeof(OLECHAR);
  std::memcpy(block, &bytes, sizeof bytes);
  auto* text = reinterpret_cast<OLECHAR*>(block + sizeof(std::uint32_t));
  if (pch)
    std::memcpy(text, pch, cch * sizeof(OLECHAR));
  else
    std::memset(text, 0, cch * sizeof(OLECHAR));
  text[cch] = 0;
  CountString(+1);
  return text;
}

BSTR WINAPI SysAllocString(const OLECHAR* psz) {
  if (!psz) return nullptr;
  UINT n = 0;
  while (psz[n]) ++n;
  return SysAllocStringLen(psz, n);
}

void WINAPI SysFreeString(BSTR bstrString) {
  if (!bstrString) return;
  std::free(reinterpret_cast<unsigned char*>(bstrString) - sizeof(std::uint32_t));
  CountString(-1);
}

UINT WINAPI SysStringLen(BSTR bstr) {
  if (!bstr) return 0;
  std::uint32_t bytes;
  std::memcpy(&bytes, reinterpret_cast<unsigned char*>(bstr) - sizeof(std::uint32_t), sizeof bytes);
  return bytes / sizeof(OLECHAR);
}
