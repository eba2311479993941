#include "outlook/category_match.h"

#include <windows.h>

#include <commctrl.h>
#include <pimstore.h>

#include <vector>

#include "app/app_state.h"
#include "app/wide_string.h"
#include "outlook/category_text.h"
#include "outlook/field_settings.h"
#include "outlook/outlook_store.h"

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

  // Every box is first put back on its empty entry; then its entries are
  // searched by the one rule of FindChoice, an unreadable entry passed over.
  size_t matched = 0;
  for (HWND box : app.choiceBoxes) {
    SendMessageW(box, CB_SETCURSEL, 0, 0);
    int count = static_cast<int>(SendMessageW(box, CB_GETCOUNT, 0, 0));
    std::vector<WideString> entries;
    std::vector<int> entryIndex;
    for (int k = 1; k < count; ++k) {
      WideString entry;
      if (!GetChoiceText(box, k, &entry)) continue;
      entries.push_back(entry);
      entryIndex.push_back(k);
    }
    size_t found = FindChoice(text, entries);
    if (found == kNoChoice) continue;
    if (select) SendMessageW(box, CB_SETCURSEL, entryIndex[found], 0);
    ++matched;
  }
  return matched == app.choiceBoxes.size() ? S_OK : E_FAIL;
}
