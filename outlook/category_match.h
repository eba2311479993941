// Does an appointment's categories text carry a value of every time-card
// field? Optionally shows the values found in the field rows.
#pragma once

#include <windows.h>

#include "app/wide_string.h"

HRESULT MatchCategories(DWORD oid, BOOL select);
// The text of entry `index` of a field row's choice box; FALSE when there is none.
BOOL GetChoiceText(HWND box, int index, WideString* text);
