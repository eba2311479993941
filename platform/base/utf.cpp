// UTF-8 and UTF-16, the two encodings the platform meets: files and the
// desktop speak UTF-8, windows and Pocket Outlook UTF-16.
#include "platform/base/utf.h"

namespace platform {

namespace {
constexpr char32_t kReplacement = 0xFFFD;

void append_utf16(std::u16string& out, char32_t c) {
  if (c < 0x10000) {
    out.push_back(static_cast<char16_t>(c));
  } else {
    c -= 0x10000;
    out.push_back(static_cast<char16_t>(0xD800 + (c >> 10)));
    out.push_back(static_cast<char16_t>(0xDC00 + (c & 0x3FF)));
  }
}

void append_utf8(std::string& out, char32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }
}  // namespace

std::u16string FromUtf8(std::string_view in) {
  std::u16string out;
  out.reserve(in.size());
  std::size_t i = 0;
  while (i < in.size()) {
    const auto b = static_cast<unsigned char>(in[i]);
    if (b < 0x80) {
      out.push_back(b);
      ++i;
      continue;
    }
    int extra = 0;
    char32_t c = 0;
    char32_t min = 0;
    if ((b & 0xE0) == 0xC0) {
      extra = 1, c = b & 0x1F, min = 0x80;
    } else if ((b & 0xF0) == 0xE0) {
      extra = 2, c = b & 0x0F, min = 0x800;
    } else if ((b & 0xF8) == 0xF0) {
      extra = 3, c = b & 0x07, min = 0x10000;
    } else {
      append_utf16(out, kReplacement);
      ++i;
      continue;
    }
    if (i + static_cast<std::size_t>(extra) >= in.size()) {
      // A sequence cut off by the end of the text.
      append_utf16(out, kReplacement);
      ++i;
      continue;
    }
    bool ok = true;
    for (int k = 1; k <= extra; ++k) {
      const auto cb = static_cast<unsigned char>(in[i + k]);
      if (!is_continuation(cb)) {
        ok = false;
        break;
      }
      c = (c << 6) | (cb & 0x3F);
    }
    if (!ok || c < min || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) {
      append_utf16(out, kReplacement);
      ++i;
      continue;
    }
    append_utf16(out, c);
    i += static_cast<std::size_t>(extra) + 1;
  }
  return out;
}

std::string ToUtf8(std::u16string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    char32_t c = in[i];
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 < in.size() && in[i + 1] >= 0xDC00 && in[i + 1] <= 0xDFFF) {
        c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
        ++i;
      } else {
        c = kReplacement;
      }
    } else if (c >= 0xDC00 && c <= 0xDFFF) {
      c = kReplacement;
    }
    append_utf8(out, c);
  }
  return out;
}

}  // namespace platform
