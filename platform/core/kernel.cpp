// Kernel services: last error, time, plain UTF-16 string calls.
#include <chrono>
#include <thread>

#include <windows.h>

#include "platform/core/session.h"

using platform::Session;

DWORD WINAPI GetLastError() { return Session::current().last_error; }
void WINAPI SetLastError(DWORD dwErrCode) { Session::current().last_error = dwErrCode; }

void WINAPI GetLocalTime(LPSYSTEMTIME lpSystemTime) {
  if (lpSystemTime) *lpSystemTime = Session::current().clock().local_now();
}

void WINAPI GetSystemTime(LPSYSTEMTIME lpSystemTime) {
  // The device keeps no time zone of its own that differs from the calendar's
  // local time; programs here only ask for local time.
  GetLocalTime(lpSystemTime);
}

BOOL WINAPI SystemTimeToFileTime(const SYSTEMTIME* lpSystemTime, LPFILETIME lpFileTime) {
  if (!lpSystemTime || !lpFileTime) return FALSE;
  bool ok = false;
  ULONGLONG ticks = platform::SystemTimeToTicks(*lpSystemTime, &ok);
  if (!ok) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  lpFileTime->dwLowDateTime = static_cast<DWORD>(ticks & 0xFFFFFFFFu);
  lpFileTime->dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return TRUE;
}

BOOL WINAPI FileTimeToSystemTime(const FILETIME* lpFileTime, LPSYSTEMTIME lpSystemTime) {
  if (!lpFileTime || !lpSystemTime) return FALSE;
  ULONGLONG ticks = (static_cast<ULONGLONG>(lpFileTime->dwHighDateTime) << 32) | lpFileTime->dwLowDateTime;
  if (ticks >= 0x8000000000000000ULL) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  *lpSystemTime = platform::TicksToSystemTime(ticks);
  return lpSystemTime->wYear <= 30827 ? TRUE : FALSE;
}

DWORD WINAPI GetTickCount() { return Session::current().clock().ticks(); }

int WINAPI lstrlenW(LPCWSTR lpString) {
  if (!lpString) return 0;
  int n = 0;
  while (lpString[n]) ++n;
  return n;
}

LPWSTR WINAPI lstrcpynW(LPWSTR lpString1, LPCWSTR lpString2, int iMaxLength) {
  if (!lpString1 || iMaxLength <= 0) return lpString1;
  int i = 0;
  if (lpString2)
    for (; i < iMaxLength - 1 && lpString2[i]; ++i) lpString1[i] = lpString2[i];
  lpString1[i] = 0;
  return lpString1;
}

int WINAPI lstrcmpW(LPCWSTR a, LPCWSTR b) {
  if (!a) a = u"";
  if (!b) b = u"";
  while (*a && *a == *b) {
    ++a;
    ++b;
  }
  return *a < *b ? -1 : (*a > *b ? 1 : 0);
}

int WINAPI MulDiv(int nNumber, int nNumerator, int nDenominator) {
  if (nDenominator == 0) return -1;
  long long v = static_cast<long long>(nNumber) * nNumerator;
  long long half = (nDenominator < 0 ? -nDenominator : nDenominator) / 2;
  v += ((v < 0) != (nDenominator < 0)) ? -half : half;
  return static_cast<int>(v / nDenominator);
}

void WINAPI Sleep(DWORD dwMilliseconds) { std::this_thread::sleep_for(std::chrono::milliseconds(dwMilliseconds)); }

HMODULE WINAPI GetModuleHandleW(LPCWSTR) { return nullptr; }
