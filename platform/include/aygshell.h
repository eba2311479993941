// aygshell.h: the Pocket PC shell pieces that Tallyset uses: its extra
// controls, the soft-key menu bar, activation and setting-change handling,
// and the notification bubble, with the platform's names and record layouts.
#pragma once

// windows.h comes first: the platform's commctrl.h needs its types.
#include <windows.h>

#include <commctrl.h>
#include <objbase.h>

BOOL WINAPI SHInitExtraControls();

#define NOMENU 0xFFFF
#define SHCMBF_EMPTYBAR 0x0001
#define SHCMBF_HIDDEN 0x0002
#define SHCMBF_HIDESIPBUTTON 0x0004
#define SHCMBF_COLORBK 0x0008
#define SHCMBF_HMENU 0x0010

typedef struct tagSHMENUBARINFO {
  DWORD cbSize;
  HWND hwndParent;
  DWORD dwFlags;
  UINT nToolBarId;
  HINSTANCE hInstRes;
  int nBmpId;
  int cBmpImages;
  HWND hwndMB;
  COLORREF clrBk;
} SHMENUBARINFO, *PSHMENUBARINFO;

BOOL WINAPI SHCreateMenuBar(SHMENUBARINFO* pmbi);

typedef struct tagSHACTIVATEINFO {
  DWORD cbSize;
  HWND hwndLastFocus;
  UINT fSipUp : 1;
  UINT fSipOnDeactivation : 1;
  UINT fActive : 1;
  UINT fReserved : 29;
} SHACTIVATEINFO, *PSHACTIVATEINFO;

#define SHA_INPUTDIALOG 0x00000001

BOOL WINAPI SHHandleWMActivate(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* psai, DWORD dwFlags);
BOOL WINAPI SHHandleWMSettingChange(HWND hwnd, WPARAM wParam, LPARAM lParam, SHACTIVATEINFO* psai);

typedef enum _SHNP {
  SHNP_INFORM = 0x1B1,
  SHNP_ICONIC,
} SHNP;

#define SHNF_STRAIGHTTOTRAY 0x00000001
#define SHNF_CRITICAL 0x00000002
#define SHNF_FORCEMESSAGE 0x00000008

typedef struct _SHNOTIFICATIONDATA {
  DWORD cbStruct;
  DWORD dwID;
  SHNP npPriority;
  DWORD csDuration;
  HICON hicon;
  DWORD grfFlags;
  CLSID clsid;
  HWND hwndSink;
  LPCTSTR pszHTML;
  LPCTSTR pszTitle;
  LPARAM lParam;
} SHNOTIFICATIONDATA, *PSHNOTIFICATIONDATA;

LRESULT WINAPI SHNotificationAdd(SHNOTIFICATIONDATA* pndAdd);
LRESULT WINAPI SHNotificationRemove(const CLSID* pclsid, DWORD dwID);

// The device's sizes, which a 32-bit build must have.
static_assert(sizeof(void*) != 4 || (sizeof(SHMENUBARINFO) == 36 && sizeof(SHACTIVATEINFO) == 12 &&
                                     sizeof(SHNOTIFICATIONDATA) == 56 && sizeof(TBBUTTONINFOW) == 32),
              "record layout");
