// The main window's procedure and the two small operations it owns.
#pragma once

#include <windows.h>

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void SetSaveEnabled(BOOL enable);
void ShowMissingSettingsNotice();
// A bubble titled with the program's name, shown for 15 seconds.
void ShowNotice(DWORD id, LPCWSTR html);
