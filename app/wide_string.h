// A growing text in the platform's own character type, for the places
// where a fixed WCHAR buffer would cut what the user wrote.
#pragma once

#include <windows.h>

#include <string>

typedef std::basic_string<WCHAR> WideString;
