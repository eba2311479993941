// The main window: builds the screen at creation, tears the Outlook objects
// down at destruction, keeps the layout in step with size changes, paints
// the arrow between the date pickers and routes notifications and commands.
#include "app/main_window.h"

#include <windows.h>

#include <aygshell.h>
#include <commctrl.h>

#include "app/app_feedback.h"
#include "app/app_state.h"
#include "resources/resource.h"
#include "screen/appointment_list.h"
#include "screen/field_rows.h"
#include "screen/item_commands.h"
#include "screen/layout.h"

namespace {

LRESULT OnCreate(HWND hwnd) {
  AppState& app = g_app;
  RECT rc;
  GetClientRect(hwnd, &rc);
  if (rc.right > 320 || rc.bottom > 320) app.scale = 2;

  SHMENUBARINFO mbi;
  ZeroMemory(&mbi, sizeof(mbi));
  mbi.cbSize = sizeof(mbi);
  mbi.hwndParent = hwnd;
  mbi.nToolBarId = IDR_MENUBAR;
  mbi.hInstRes = app.instance;
  HWND menuBar = SHCreateMenuBar(&mbi) ? mbi.hwndMB : nullptr;

  ZeroMemory(&app.activateInfo, sizeof(app.activateInfo));
  app.menuBar = menuBar;
  app.activateInfo.cbSize = sizeof(app.activateInfo);
  if (app.menuBar) SetSaveEnabled(FALSE);  // the resource starts it enabled
  app.mainWindow = hwnd;

  if (!app.outlookApp) return 0;
  if (FAILED(app.outlookApp->Logon(static_cast<LONG>(reinterpret_cast<LONG_PTR>(hwnd))))) {
    ShowCalendarRefusedNotice();
    return 0;
  }
  CreateDatePickers();
  if (FAILED(LoadFieldSettings())) {
    ShowMissingSettingsNotice();
    SendMessageW(app.mainWindow, WM_CLOSE, 0, 0);  // destroyed from within its own creation
  } else {
    RefreshAppointmentList();
  }
  return 0;
}

LRESULT OnDestroy() {
  AppState& app = g_app;
  DestroyWindow(app.menuBar);
  if (app.calendarItems) {
    app.calendarItems->Release();
    app.calendarItems = nullptr;
  }
  if (app.outlookApp) {
    app.outlookApp->Release();
    app.outlookApp = nullptr;
  }
  PostQuitMessage(0);
  return 0;
}

// The arrow from the from picker to the to picker, drawn at the client's middle.
void PaintArrow(HDC hdc) {
  AppState& app = g_app;
  RECT rc;
  GetClientRect(app.mainWindow, &rc);
  int x = rc.right / 2;
  MoveToEx(hdc, x - 5, 10, nullptr);
  LineTo(hdc, x + 5, 10);
  LineTo(hdc, x + 2, 6);
  MoveToEx(hdc, x + 5, 10, nullptr);
  LineTo(hdc, x + 2, 14);
}

LRESULT OnPaint(HWND hwnd) {
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  PaintArrow(hdc);
  EndPaint(hwnd, &ps);
  return 0;
}

LRESULT OnNotify(LPARAM lParam) {
  const NMHDR* header = reinterpret_cast<const NMHDR*>(lParam);
  switch (header->code) {
    case DTN_CLOSEUP:
      RefreshAppointmentList();
      break;
    case LVN_ITEMCHANGED:
      OnListSelectionChanged();
      break;
  }
  return 0;
}

LRESULT OnCommand(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  AppState& app = g_app;
  switch (LOWORD(wParam)) {
    case CMD_NEW_ITEM:
      OnNewItem();
      return 0;
    case CMD_EXIT:
      SendMessageW(app.mainWindow, WM_CLOSE, 0, 0);
      return 0;
    case CMD_EDIT_ITEM:
      OnEditItem();
      return 0;
    case CMD_SAVE:
      OnSaveCategories();
      return 0;
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}

}  // namespace

LRESULT CALLBACK MainWindowProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
  AppState& app = g_app;
  switch (message) {
    case WM_CREATE:
      return OnCreate(hwnd);
    case WM_DESTROY:
      return OnDestroy();
    case WM_SIZE:
      LayoutScreen();
      return 0;
    case WM_ACTIVATE:
      SHHandleWMActivate(hwnd, wParam, lParam, &app.activateInfo, 0);
      return 0;
    case WM_PAINT:
      return OnPaint(hwnd);
    case WM_SETTINGCHANGE:
      SHHandleWMSettingChange(hwnd, wParam, lParam, &app.activateInfo);
      return 0;
    case WM_NOTIFY:
      return OnNotify(lParam);
    case WM_COMMAND:
      return OnCommand(hwnd, message, wParam, lParam);
    default:
      return DefWindowProcW(hwnd, message, wParam, lParam);
  }
}
