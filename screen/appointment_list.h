// The list of the appointments that start in the picked range.
#pragma once

#include <windows.h>

HRESULT RefreshAppointmentList();
