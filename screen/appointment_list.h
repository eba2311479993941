// The list of the appointments that start in the picked range.
#pragma once

#include <windows.h>

#include <pimstore.h>

#include "app/wide_string.h"

HRESULT RefreshAppointmentList();
// Appends the Details text: "2h, 15 min, Thur 12". `thursday` is the name
// to write for Thursday ("Thur" in a refresh, "Thu" for a new row).
void FormatDetails(WideString& text, LONG duration, const SYSTEMTIME& start, LPCWSTR thursday);
// Inserts a row for an appointment at `index`; false when its subject cannot be read.
bool InsertAppointmentRow(IAppointment* item, int index, DWORD oid, LPCWSTR thursday);
