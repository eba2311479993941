// UTF-8/UTF-16, TEXT escaping and folding for content lines.
#include "text_codec.h"

namespace platform::calendar::detail {

namespace {
bool is_continuation(unsigned char b) { return (b & 0xC0) == 0x80; }
}  // namespace

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

void append_category(std::string& list, std::string_view value) {
  for (std::size_t i = 0; i < value.size(); ++i) {
    const char c = value[i];
    if (c == ',') {
      list += "\\,";
    } else if (c == '\\' && (i + 1 == value.size() || value[i + 1] == ',' || value[i + 1] == '\\')) {
      list += "\\\\";
    } else {
      list.push_back(c);
    }
  }
}

std::vector<std::string> split_categories(std::string_view list) {
  std::vector<std::string> values(1);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const char c = list[i];
    if (c == ',') {
      values.emplace_back();
    } else if (c == '\\' && i + 1 < list.size() && (list[i + 1] == ',' || list[i + 1] == '\\')) {
      values.back().push_back(list[++i]);
    } else {
      values.back().push_back(c);
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
