// From the process entry to the exit code: common controls, the Outlook
// session, the single-instance rule, the main window and the message loop.
#include <windows.h>

#include <aygshell.h>
#include <commctrl.h>

#include <cstdlib>

#include "app/app_state.h"
#include "app/main_window.h"
#include "outlook/outlook_store.h"
#include "resources/resource.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPWSTR commandLine, int showCommand) {
  static bool registered = false;
  if (!registered) {
    std::atexit(ReleaseFieldLists);
    registered = true;
  }
  return static_cast<int>(RunApplication(instance, previous, commandLine, showCommand));
}

DWORD RunApplication(HINSTANCE instance, HINSTANCE, LPWSTR, int showCommand) {
  INITCOMMONCONTROLSEX icc = {sizeof(INITCOMMONCONTROLSEX), ICC_LISTVIEW_CLASSES | ICC_DATE_CLASSES};
  DWORD exitCode = 0;
  if (InitCommonControlsEx(&icc) && SUCCEEDED(OpenOutlookSession())) {
    // Without a window of our own (another instance runs, or creation failed)
    // the session is still closed, so the application object is released.
    if (!CreateMainWindow(instance, showCommand)) {
      CloseOutlookSession();
      return 0;
    }
    HACCEL accelerators = LoadAcceleratorsW(instance, MAKEINTRESOURCEW(IDR_ACCELERATORS));
    MSG msg;
    while (GetMessageW(&msg, nullptr, 0, 0)) {
      // A translated key is consumed: its command went to the key's own window.
      if (!TranslateAcceleratorW(msg.hwnd, accelerators, &msg)) {
        TranslateMessage(&msg);
        DispatchMessageW(&msg);
      }
    }
    exitCode = static_cast<DWORD>(msg.wParam);
  }
  CloseOutlookSession();
  return exitCode;
}

WORD RegisterMainWindowClass(HINSTANCE instance, LPCWSTR className) {
  WNDCLASSW wc;
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = MainWindowProc;
  wc.cbClsExtra = 0;
  wc.cbWndExtra = 0;
  wc.hInstance = instance;
  wc.hIcon = LoadIconW(instance, MAKEINTRESOURCEW(IDI_APP));
  wc.hCursor = nullptr;
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszMenuName = nullptr;
  wc.lpszClassName = className;
  return RegisterClassW(&wc);
}

int CreateMainWindow(HINSTANCE instance, int showCommand) {
  AppState& app = g_app;
  app.instance = instance;
  SHInitExtraControls();

  WCHAR title[100];
  WCHAR className[100];
  LoadStringW(instance, IDS_APP_TITLE, title, 100);
  LoadStringW(instance, IDS_APP_CLASS, className, 100);

  // One instance per user: a second start brings the first one forward.
  HWND existing = FindWindowW(className, title);
  if (existing) {
    SetForegroundWindow(reinterpret_cast<HWND>(reinterpret_cast<ULONG_PTR>(existing) | 0x1));
    return 0;
  }
  if (!RegisterMainWindowClass(instance, className)) return 0;

  HWND hwnd = CreateWindowExW(0, className, title, WS_VISIBLE, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT,
                              CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (!hwnd) return 0;

  // The menu bar covers the bottom of the screen; the window ends above it.
  if (app.menuBar) {
    RECT rc, rcMenuBar;
    GetWindowRect(hwnd, &rc);
    GetWindowRect(app.menuBar, &rcMenuBar);
    rc.bottom -= (rcMenuBar.bottom - rcMenuBar.top);
    MoveWindow(hwnd, rc.left, rc.top, rc.right - rc.left, rc.bottom - rc.top, FALSE);
  }
  ShowWindow(hwnd, showCommand);
  UpdateWindow(hwnd);
  return 1;
}
