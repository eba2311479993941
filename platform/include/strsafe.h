// strsafe.h: bounded UTF-16 formatting (the copy, concatenation and length
// functions are left out: nothing here uses them). Every function writes at most
// cchDest characters including the terminating zero, always terminates a
// non-empty destination, and returns STRSAFE_E_INSUFFICIENT_BUFFER when the
// text had to be cut.
//
// The format functions understand %s (UTF-16 text), %c, %d, %i, %u, %x, %X
// and %%, with the flags '-', '0', a width, and the size prefixes 'l' and
// 'h'. As on the device, 'l' means 32 bits.
#pragma once

#include <cstdarg>

#include <windows.h>

#define STRSAFE_E_INSUFFICIENT_BUFFER ((HRESULT)0x8007007AL)
#define STRSAFE_E_INVALID_PARAMETER ((HRESULT)0x80070057L)
#define STRSAFE_MAX_CCH 2147483647

HRESULT StringCchPrintfW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszFormat, ...);
HRESULT StringCchVPrintfW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszFormat, va_list argList);
