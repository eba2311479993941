// What the main window and the screen's commands tell the user besides the
// screen itself: whether Save can be pressed, and notification bubbles.
#pragma once

#include <windows.h>

void SetSaveEnabled(BOOL enable);
void ShowMissingSettingsNotice();
// A bubble titled with the program's name, shown for 15 seconds.
void ShowNotice(DWORD id, LPCWSTR html);
// The calendar could not be opened at start: says why, with the file and
// line Pocket Outlook names.
void ShowCalendarRefusedNotice();
