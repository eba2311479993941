// Does an appointment's categories text carry a value of every time-card
// field? Optionally shows the values found in the field rows.
#pragma once

#include <windows.h>

HRESULT MatchCategories(DWORD oid, BOOL select);
