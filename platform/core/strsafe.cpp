// Bounded UTF-16 text functions and the small formatter behind them.
#include <strsafe.h>

#include <string>

namespace {

void AppendNumber(std::u16string& out, unsigned long long value, bool negative, int base, bool upper, int width,
                  bool left, bool zero) {
  char16_t digits[32];
  int n = 0;
  do {
    int d = static_cast<int>(value % static_cast<unsigned>(base));
    digits[n++] = static_cast<char16_t>(d < 10 ? u'0' + d : (upper ? u'A' : u'a') + d - 10);
    value /= static_cast<unsigned>(base);
  } while (value);
  int len = n + (negative ? 1 : 0);
  int pad = width > len ? width - len : 0;
  if (!left && !zero) out.append(static_cast<size_t>(pad), u' ');
  if (negative) out += u'-';
  if (!left && zero) out.append(static_cast<size_t>(pad), u'0');
  while (n) out += digits[--n];
  if (left) out.append(static_cast<size_t>(pad), u' ');
}

std::u16string Format(LPCWSTR fmt, va_list args) {
  std::u16string out;
  for (const WCHAR* p = fmt; *p; ++p) {
    if (*p != u'%') {
      out += *p;
      continue;
    }
    ++p;
    bool left = false, zero = false;
    for (; *p == u'-' || *p == u'0'; ++p) (*p == u'-' ? left : zero) = true;
    int width = 0;
    for (; *p >= u'0' && *p <= u'9'; ++p) width = width * 10 + (*p - u'0');
    while (*p == u'l' || *p == u'h') ++p;  // 'l' and 'h' both mean 32 bits or less here
    switch (*p) {
      case u'd':
      case u'i': {
        long long v = va_arg(args, int);
        AppendNumber(out, static_cast<unsigned long long>(v < 0 ? -v : v), v < 0, 10, false, width, left, zero);
        break;
      }
      case u'u':
        AppendNumber(out, va_arg(args, unsigned int), false, 10, false, width, left, zero);
        break;
      case u'x':
      case u'X':
        AppendNumber(out, va_arg(args, unsigned int), false, 16, *p == u'X', width, left, zero);
        break;
      case u'c':
        out += static_cast<char16_t>(va_arg(args, int));
        break;
      case u's': {
        const WCHAR* s = va_arg(args, const WCHAR*);
        std::u16string text = s ? s : u"(null)";
        int pad = width > static_cast<int>(text.size()) ? width - static_cast<int>(text.size()) : 0;
        if (!left) out.append(static_cast<size_t>(pad), u' ');
        out += text;
        if (left) out.append(static_cast<size_t>(pad), u' ');
        break;
      }
      case u'%':
        out += u'%';
        break;
      case 0:
        return out;
      default:
        out += u'%';
        out += *p;
    }
  }
  return out;
}

HRESULT CopyBounded(LPWSTR dest, size_t cch, const char16_t* src, size_t len) {
  if (!dest || cch == 0 || cch > STRSAFE_MAX_CCH) return STRSAFE_E_INVALID_PARAMETER;
  size_t n = len < cch - 1 ? len : cch - 1;
  for (size_t i = 0; i < n; ++i) dest[i] = src[i];
  dest[n] = 0;
  return n < len ? STRSAFE_E_INSUFFICIENT_BUFFER : S_OK;
}

}  // namespace

HRESULT StringCchVPrintfW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszFormat, va_list argList) {
  if (!pszFormat) return STRSAFE_E_INVALID_PARAMETER;
  std::u16string text = Format(pszFormat, argList);
  return CopyBounded(pszDest, cchDest, text.data(), text.size());
}

HRESULT StringCchPrintfW(LPWSTR pszDest, size_t cchDest, LPCWSTR pszFormat, ...) {
  va_list args;
  va_start(args, pszFormat);
  HRESULT hr = StringCchVPrintfW(pszDest, cchDest, pszFormat, args);
  va_end(args);
  return hr;
}
