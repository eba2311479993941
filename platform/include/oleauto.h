// oleauto.h: automation strings and variant times. A BSTR is a UTF-16 text
// whose 32-bit byte length sits just before its first character; it may hold
// zeros, and SysStringLen, not the first zero, gives its length.
#pragma once

#include <windows.h>

typedef WCHAR OLECHAR;
typedef OLECHAR* BSTR;
typedef const OLECHAR* LPCOLESTR;
typedef double DATE;
typedef short VARIANT_BOOL;
#define VARIANT_TRUE ((VARIANT_BOOL)-1)
#define VARIANT_FALSE ((VARIANT_BOOL)0)

BSTR WINAPI SysAllocString(const OLECHAR* psz);
BSTR WINAPI SysAllocStringLen(const OLECHAR* pch, UINT cch);
void WINAPI SysFreeString(BSTR bstrString);
UINT WINAPI SysStringLen(BSTR bstr);
INT WINAPI SystemTimeToVariantTime(LPSYSTEMTIME lpSystemTime, DATE* pvtime);
INT WINAPI VariantTimeToSystemTime(DATE vtime, LPSYSTEMTIME lpSystemTime);

// The description of the last failure an automation object reported on this
// thread. GetErrorInfo hands it to the caller and clears it (S_FALSE and no
// object when there is none); SetErrorInfo replaces it.
struct IErrorInfo;
HRESULT WINAPI GetErrorInfo(ULONG dwReserved, IErrorInfo** pperrinfo);
HRESULT WINAPI SetErrorInfo(ULONG dwReserved, IErrorInfo* perrinfo);
