#include "outlook/category_match.h"

#include <windows.h>

#include <commctrl.h>
#include <pimstore.h>

#include "app/app_state.h"
#include "app/wide_string.h"
#include "outlook/category_text.h"
#include "outlook/outlook_store.h"

// Every box is first put back on its empty entry; then each box looks for
// the lowest of its entries that occurs anywhere in the categories text (a
// plain, case-sensitive substring test, not a comparison of whole values).
// The text searched holds the values as written, their escapes undone, so a
// value with a comma is found as the user chose it.
BOOL GetChoiceText(HWND box, int index, WideString* text) {
  LRESULT length = SendMessageW(box, CB_GETLBTEXTLEN, index, 0);
  if (length == CB_ERR) return FALSE;
  text->assign(static_cast<size_t>(length) + 1, 0);
  if (SendMessageW(box, CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text->data())) == CB_ERR) return FALSE;
  text->resize(static_cast<size_t>(length));
  return TRUE;
}

HRESULT MatchCategories(DWORD oid, BOOL select) {
  AppState& app = g_app;
  if (!app.outlookApp) return E_FAIL;
  IAppointment* item = nullptr;
  ReleaseOnExit<IAppointment> releaseItem(item);
  HRESULT hr = app.outlookApp->GetItemFromOid(static_cast<LONG>(oid), reinterpret_cast<IDispatch**>(&item));
  if (FAILED(hr)) return hr;
  if (!item) return E_FAIL;

  // The whole text is examined, however long it is.
  BSTR categories = nullptr;
  item->get_Categories(&categories);
  WideString text = PlainCategories(WideString(categories ? categories : TEXT(""), SysStringLen(categories)));
  SysFreeString(categories);

  size_t matched = 0;
  for (HWND box : app.choiceBoxes) {
    SendMessageW(box, CB_SETCURSEL, 0, 0);
    int count = static_cast<int>(SendMessageW(box, CB_GETCOUNT, 0, 0));
    for (int k = 1; k < count; ++k) {
      WideString entry;
      if (!GetChoiceText(box, k, &entry) || text.find(entry) == WideString::npos) continue;
      if (select) SendMessageW(box, CB_SETCURSEL, k, 0);
      ++matched;
      break;
    }
  }
  return matched == app.choiceBoxes.size() ? S_OK : E_FAIL;
}
