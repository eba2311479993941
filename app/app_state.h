// The one process-wide record of Tallyset: window handles, the two Pocket
// Outlook objects that live for the whole run, and the field rows.
#pragma once

#include <windows.h>

#include <aygshell.h>
#include <pimstore.h>

#include <vector>

struct AppState {
  int scale = 1;                         // 2 on a high-resolution screen
  HWND mainWindow = nullptr;
  HWND menuBar = nullptr;
  HINSTANCE instance = nullptr;
  HWND fromPicker = nullptr;
  HWND toPicker = nullptr;
  HWND listView = nullptr;
  IPOutlookApp* outlookApp = nullptr;
  IPOutlookItemCollection* calendarItems = nullptr;
  int settingsLoaded = 0;
  int labelWidth = 0;                    // the widest field label so far, in pixels
  std::vector<HWND> choiceBoxes;         // entry i and fieldLabels entry i form field row i + 1
  std::vector<HWND> fieldLabels;
  SHACTIVATEINFO activateInfo{};
};

extern AppState g_app;

// Gives back the storage of the two field lists and leaves them empty; runs
// at process exit. The windows themselves went with the main window.
void ReleaseFieldLists();

// The start-up sequence, from the process entry to the exit code.
DWORD RunApplication(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand);
int CreateMainWindow(HINSTANCE instance, int showCommand);
WORD RegisterMainWindowClass(HINSTANCE instance, LPCWSTR className);
