// The main window's procedure.
#pragma once

#include <windows.h>

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
