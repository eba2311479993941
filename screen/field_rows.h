// The time-card fields, read from the body of the settings appointment.
#pragma once

#include <windows.h>

HRESULT LoadFieldSettings();
void AddFieldRow(LPCWSTR line, int row);
