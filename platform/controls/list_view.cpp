// Placeholder until the control lands.
#include <commctrl.h>
#include "platform/controls/control_probes.h"
namespace platform::controls {
void RegisterListViewClass() {}
std::optional<RECT> ListViewRowOnScreen(HWND, int) { return std::nullopt; }
}  // namespace platform::controls
HIMAGELIST WINAPI ImageList_Create(int, int, UINT, int, int) { return nullptr; }
BOOL WINAPI ImageList_Destroy(HIMAGELIST) { return FALSE; }
int WINAPI ImageList_ReplaceIcon(HIMAGELIST, int, HICON) { return -1; }
int WINAPI ImageList_GetImageCount(HIMAGELIST) { return 0; }
BOOL WINAPI ImageList_Draw(HIMAGELIST, int, HDC, int, int, UINT) { return FALSE; }
BOOL WINAPI ImageList_GetIconSize(HIMAGELIST, int*, int*) { return FALSE; }
