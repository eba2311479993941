// The fixed controls of the time-card screen (two date pickers and the
// appointment list) and the placement of every control: pickers along the
// top, field rows on the bottom edge, the list in between.
#include "screen/layout.h"

#include <windows.h>

#include <commctrl.h>

#include "app/app_state.h"
#include "resources/resource.h"

namespace {

const ULONGLONG kSevenDays = 6048000000000ULL;  // in 100-nanosecond units

int PickerLeft(int clientWidth) {
  AppState& app = g_app;
  return (clientWidth / 2 - 100 * app.scale) / 2;
}

void InsertColumn(int index, LPCWSTR text, int width, UINT extraMask, int subItem) {
  AppState& app = g_app;
  LVCOLUMNW column;
  ZeroMemory(&column, sizeof(column));
  column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT | extraMask;
  column.fmt = LVCFMT_LEFT;
  column.cx = width;
  column.pszText = const_cast<LPWSTR>(text);
  column.iSubItem = subItem;
  SendMessageW(app.listView, LVM_INSERTCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

void SetColumnWidth(int index, int width) {
  AppState& app = g_app;
  LVCOLUMNW column;
  ZeroMemory(&column, sizeof(column));
  column.mask = LVCF_WIDTH;
  column.cx = width;
  SendMessageW(app.listView, LVM_SETCOLUMNW, index, reinterpret_cast<LPARAM>(&column));
}

}  // namespace

int CreateDatePickers() {
  AppState& app = g_app;
  RECT rc;
  GetClientRect(app.mainWindow, &rc);
  int width = rc.right;
  int fromX = PickerLeft(width);

  app.fromPicker = CreateWindowExW(0, DATETIMEPICK_CLASSW, TEXT("DateTime"), WS_VISIBLE | WS_BORDER, fromX, 2,
                                   100 * app.scale, 20 * app.scale, app.mainWindow, nullptr, app.instance, nullptr);
  if (!app.fromPicker) return 0;
  app.toPicker = CreateWindowExW(0, DATETIMEPICK_CLASSW, TEXT("DateTime"), WS_VISIBLE | WS_BORDER, fromX + width / 2,
                                 2, 100 * app.scale, 20 * app.scale, app.mainWindow, nullptr, app.instance, nullptr);
  if (!app.toPicker) return 0;

  // Both pickers keep the same time of day; the range starts seven days back.
  SYSTEMTIME now;
  GetLocalTime(&now);
  SendMessageW(app.toPicker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&now));
  FILETIME fileTime;
  SystemTimeToFileTime(&now, &fileTime);
  ULARGE_INTEGER ticks;
  ticks.LowPart = fileTime.dwLowDateTime;
  ticks.HighPart = fileTime.dwHighDateTime;
  ticks.QuadPart -= kSevenDays;
  fileTime.dwLowDateTime = ticks.LowPart;
  fileTime.dwHighDateTime = ticks.HighPart;
  SYSTEMTIME weekAgo;
  FileTimeToSystemTime(&fileTime, &weekAgo);
  SendMessageW(app.fromPicker, DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&weekAgo));

  return CreateAppointmentList() ? 1 : 0;
}

int CreateAppointmentList() {
  AppState& app = g_app;
  RECT rc;
  GetClientRect(app.mainWindow, &rc);
  app.listView = CreateWindowExW(0, WC_LISTVIEWW, TEXT(""), WS_VISIBLE | WS_BORDER | LVS_REPORT | LVS_SHOWSELALWAYS,
                                 2, 20 * app.scale + 3, rc.right - 4, 90, app.mainWindow, nullptr, app.instance,
                                 nullptr);

  HIMAGELIST images =
      ImageList_Create(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON), ILC_MASK, 1, 1);
  HICON complete = LoadIconW(app.instance, MAKEINTRESOURCEW(IDI_COMPLETE));
  ImageList_ReplaceIcon(images, -1, complete);
  DestroyIcon(complete);
  HICON incomplete = LoadIconW(app.instance, MAKEINTRESOURCEW(IDI_INCOMPLETE));
  ImageList_ReplaceIcon(images, -1, incomplete);
  DestroyIcon(incomplete);
  SendMessageW(app.listView, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));

  RECT listRect;
  GetClientRect(app.listView, &listRect);
  InsertColumn(0, TEXT("Appointment"), 110, 0, 0);
  InsertColumn(1, TEXT("Details"), listRect.right - 110, LVCF_SUBITEM, 1);
  SendMessageW(app.listView, LVM_SETEXTENDEDLISTVIEWSTYLE, 0, LVS_EX_FULLROWSELECT);
  return 1;
}

void ResizeListColumns() {
  AppState& app = g_app;
  RECT rc;
  GetClientRect(app.listView, &rc);
  SetColumnWidth(0, 110 * app.scale);
  SetColumnWidth(1, rc.right - 110 * app.scale);
}

void LayoutScreen() {
  AppState& app = g_app;
  ResizeListColumns();
  if (app.settingsLoaded == 0) return;
  RECT rc;
  GetClientRect(app.mainWindow, &rc);
  int fromX = PickerLeft(rc.right);
  SetWindowPos(app.fromPicker, HWND_TOP, fromX, 2, 100 * app.scale, 20 * app.scale, 0);
  SetWindowPos(app.toPicker, HWND_TOP, fromX + rc.right / 2, 2, 100 * app.scale, 20 * app.scale, 0);
  PlaceRowsAndList();
  // The list has its new width only now; the columns follow it.
  ResizeListColumns();
}

void PlaceRowsAndList() {
  AppState& app = g_app;
  RECT rc;
  GetClientRect(app.mainWindow, &rc);
  int width = rc.right;
  int rows = static_cast<int>(app.choiceBoxes.size());
  int pitch = 22 * app.scale;
  int top = rc.bottom - pitch * rows - 2;
  for (int i = 0; i < rows; ++i) {
    RECT label;
    GetClientRect(app.fieldLabels[i], &label);
    SetWindowPos(app.fieldLabels[i], HWND_TOP, 5, top + pitch * i, label.right, label.bottom, 0);
    SetWindowPos(app.choiceBoxes[i], HWND_TOP, app.labelWidth + 6, top + pitch * i, width - app.labelWidth - 10,
                 80 * app.scale, 0);
  }
  SetWindowPos(app.listView, HWND_TOP, 2, 20 * app.scale + 3, width - 4, top - 20 * app.scale - 5, 0);
}
