// UTF-8/UTF-16, TEXT escaping and folding for content lines.
#include "text_codec.h"

namespace platform::calendar::detail {

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

std::u16string utf8_to_utf16(std::string_view in) {
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

std::string utf16_to_utf8(std::u16string_view in) {
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

namespace {
constexpr std::uint32_t kHashStart = 2166136261u;
constexpr std::uint32_t kHashPrime = 16777619u;
}  // namespace

std::uint32_t text_hash(std::u16string_view text) {
  std::uint32_t h = kHashStart;
  for (const char16_t c : text) h = (h ^ c) * kHashPrime;
  return h;
}

std::optional<std::uint32_t> plain_text_hash(std::string_view raw) {
  std::uint32_t h = kHashStart;
  for (const char c : raw) {
    const auto b = static_cast<unsigned char>(c);
    if (b >= 0x80 || c == '\\') return std::nullopt;
    h = (h ^ b) * kHashPrime;
  }
  return h;
}

std::string unescape_text(std::string_view in) {
  std::string out;
  out.reserve(in.size());
  for (std::size_t i = 0; i < in.size(); ++i) {
    if (in[i] != '\\' || i + 1 == in.size()) {
      out.push_back(in[i]);
      continue;
    }
    const char next = in[++i];
    out.push_back(next == 'n' || next == 'N' ? '\n' : next);
  }
  return out;
}

std::string escape_text(std::string_view in) {
  std::string out;
  out.reserve(in.size() + 8);
  for (std::size_t i = 0; i < in.size(); ++i) {
    const char c = in[i];
    switch (c) {
      case '\\': out += "\\\\"; break;
      case ';': out += "\\;"; break;
      case ',': out += "\\,"; break;
      case '\n': out += "\\n"; break;
      case '\r':
        out += "\\n";
        if (i + 1 < in.size() && in[i + 1] == '\n') ++i;
        break;
      default: out.push_back(c);
    }
  }
  return out;
}

std::vector<std::string> split_text_list(std::string_view in) {
  std::vector<std::string> values;
  std::size_t start = 0;
  for (std::size_t i = 0; i <= in.size(); ++i) {
    if (i == in.size() || in[i] == ',') {
      values.push_back(unescape_text(in.substr(start, i - start)));
      start = i + 1;
    } else if (in[i] == '\\') {
      ++i;  // the escaped character cannot end the value
    }
  }
  return values;
}

std::string fold_line(std::string_view line, std::string_view eol) {
  constexpr std::size_t kMaxOctets = 75;
  std::string out;
  out.reserve(line.size() + line.size() / 70 * (eol.size() + 1) + eol.size());
  std::size_t pos = 0;
  std::size_t budget = kMaxOctets;
  while (line.size() - pos > budget) {
    std::size_t cut = pos + budget;
    // Back up to the start of a UTF-8 sequence.
    while (cut > pos && is_continuation(static_cast<unsigned char>(line[cut]))) --cut;
    if (cut == pos) cut = pos + budget;  // not UTF-8; any cut is as good
    out.append(line.substr(pos, cut - pos));
    out.append(eol);
    out.push_back(' ');
    pos = cut;
    budget = kMaxOctets - 1;  // the leading blank counts
  }
  out.append(line.substr(pos));
  out.append(eol);
  return out;
}

}  // namespace platform::calendar::detail
