// The time-card fields, read from the body of the settings appointment.
#pragma once

#include <windows.h>

HRESULT LoadFieldSettings();
