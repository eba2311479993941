// The message functions: sending, posting, the message loop calls, key
// translation and accelerators.
#include <windows.h>

#include "platform/core/message_queue.h"
#include "platform/core/module_registry.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"

using platform::Session;

LRESULT WINAPI SendMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  return Session::current().windows().send(hWnd, Msg, wParam, lParam);
}

BOOL WINAPI PostMessageW(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam) {
  Session& s = Session::current();
  if (hWnd && !s.windows().is_window(hWnd)) {
    s.last_error = ERROR_INVALID_WINDOW_HANDLE;
    return FALSE;
  }
  s.queue().post(hWnd, Msg, wParam, lParam);
  return TRUE;
}

void WINAPI PostQuitMessage(int nExitCode) {
  Session& s = Session::current();
  s.calls().record("PostQuitMessage");
  s.queue().post_quit(nExitCode);
}

BOOL WINAPI GetMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax) {
  if (!lpMsg) return -1;
  bool quit = false;
  bool got = Session::current().queue().get(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, true, true, &quit);
  return got && !quit ? TRUE : FALSE;
}

BOOL WINAPI PeekMessageW(LPMSG lpMsg, HWND hWnd, UINT wMsgFilterMin, UINT wMsgFilterMax, UINT wRemoveMsg) {
  if (!lpMsg) return FALSE;
  bool quit = false;
  bool got = Session::current().queue().get(lpMsg, hWnd, wMsgFilterMin, wMsgFilterMax, (wRemoveMsg & PM_REMOVE) != 0,
                                            false, &quit);
  return got || quit ? TRUE : FALSE;
}

BOOL WINAPI TranslateMessage(const MSG* lpMsg) {
  if (!lpMsg || lpMsg->message != WM_KEYDOWN) return FALSE;
  if (lpMsg->lParam & platform::kKeyCharFromHost) return FALSE;
  Session& s = Session::current();
  bool shift = s.queue().key_state(VK_SHIFT) < 0;
  bool ctrl = s.queue().key_state(VK_CONTROL) < 0;
  WPARAM vk = lpMsg->wParam;
  WCHAR ch = 0;
  if (vk >= 'A' && vk <= 'Z') {
    if (ctrl)
      ch = static_cast<WCHAR>(vk - 'A' + 1);
    else
      ch = static_cast<WCHAR>(shift ? vk : vk - 'A' + 'a');
  } else if (vk >= '0' && vk <= '9' && !ctrl) {
    static const char16_t kShifted[] = u")!@#$%^&*(";
    ch = shift ? kShifted[vk - '0'] : static_cast<WCHAR>(vk);
  } else if (vk == VK_SPACE || vk == VK_RETURN || vk == VK_BACK || vk == VK_TAB || vk == VK_ESCAPE) {
    ch = static_cast<WCHAR>(vk);
  }
  if (!ch) return FALSE;
  s.queue().post_front(lpMsg->hwnd, WM_CHAR, ch, lpMsg->lParam);
  return TRUE;
}

LRESULT WINAPI DispatchMessageW(const MSG* lpMsg) {
  if (!lpMsg || !lpMsg->hwnd) return 0;
  Session& s = Session::current();
  platform::WindowManager& windows = s.windows();
  if (!windows.is_window(lpMsg->hwnd)) return 0;
  LRESULT result = windows.send(lpMsg->hwnd, lpMsg->message, lpMsg->wParam, lpMsg->lParam);
  if (lpMsg->message == WM_PAINT) {
    // A window procedure that ignored WM_PAINT would otherwise be asked forever.
    if (platform::Window* w = windows.get(lpMsg->hwnd); w && w->needs_paint) windows.validate(lpMsg->hwnd);
  }
  return result;
}

int WINAPI TranslateAcceleratorW(HWND hWnd, HACCEL hAccTable, LPMSG lpMsg) {
  Session& s = Session::current();
  if (!hWnd || !lpMsg || lpMsg->message != WM_KEYDOWN) return 0;
  platform::AcceleratorTable* table = s.modules().accelerators(hAccTable);
  if (!table) return 0;
  bool ctrl = s.queue().key_state(VK_CONTROL) < 0;
  bool shift = s.queue().key_state(VK_SHIFT) < 0;
  bool alt = s.queue().key_state(VK_MENU) < 0;
  for (const ACCEL& a : table->entries) {
    if (!(a.fVirt & FVIRTKEY) || a.key != lpMsg->wParam) continue;
    if (((a.fVirt & FCONTROL) != 0) != ctrl || ((a.fVirt & FSHIFT) != 0) != shift || ((a.fVirt & FALT) != 0) != alt)
      continue;
    // The command goes to the window named by the caller, which the message
    // loop passes as the key message's own window; the key is consumed.
    s.windows().send(hWnd, WM_COMMAND, MAKEWPARAM(a.cmd, 1), 0);
    return 1;
  }
  return 0;
}

SHORT WINAPI GetKeyState(int nVirtKey) { return Session::current().queue().key_state(nVirtKey); }
SHORT WINAPI GetAsyncKeyState(int vKey) { return Session::current().queue().key_state(vKey); }
