// Content line scanning and splitting.
#include "content_line.h"

#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace platform::calendar::detail {

LineScanner::LineScanner(std::string_view bytes, std::size_t from, std::size_t to,
                         int first_line_number)
    : bytes_(bytes),
      pos_(from),
      to_(to),
      line_(first_line_number),
      cr_only_(from < to && std::memchr(bytes.data() + from, '\n', to - from) == nullptr &&
               std::memchr(bytes.data() + from, '\r', to - from) != nullptr) {}

namespace {

constexpr std::size_t kBlock = 64;

// The line feeds among the 64 bytes at `p`, one bit each.
std::uint64_t line_feeds(const char* p) {
#ifdef __SSE2__
  const __m128i lf = _mm_set1_epi8('\n');
  std::uint64_t mask = 0;
  for (int i = 0; i < 4; ++i) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    mask |= static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(_mm_cmpeq_epi8(chunk, lf))))
            << (16 * i);
  }
  return mask;
#else
  std::uint64_t mask = 0;
  for (std::size_t i = 0; i < kBlock; ++i) mask |= static_cast<std::uint64_t>(p[i] == '\n') << i;
  return mask;
#endif
}

}  // namespace

std::size_t LineScanner::line_end(std::size_t pos) {
  const char terminator = cr_only_ ? '\r' : '\n';
  while (pos < to_) {
    if (lf_valid_ && pos >= lf_block_ && pos - lf_block_ < kBlock) {
      const std::uint64_t ahead = lf_mask_ & (~std::uint64_t{0} << (pos - lf_block_));
      if (ahead != 0) return lf_block_ + static_cast<std::size_t>(std::countr_zero(ahead));
      pos = lf_block_ + kBlock;
      continue;
    }
    if (cr_only_ || to_ - pos < kBlock) {
      const void* at = std::memchr(bytes_.data() + pos, terminator, to_ - pos);
      return at == nullptr ? to_ : static_cast<std::size_t>(static_cast<const char*>(at) - bytes_.data());
    }
    lf_block_ = pos;
    lf_mask_ = line_feeds(bytes_.data() + pos);
    lf_valid_ = true;
  }
  return to_;
}

bool LineScanner::next(LogicalLine& out) {
  if (pos_ >= to_) return false;
  const std::size_t begin = pos_;
  // One physical line from `pos`: content end and the offset after the terminator.
  struct Physical {
    std::size_t content_end;
    std::size_t next;
  };
  const auto physical_line = [this](std::size_t pos) -> Physical {
    const std::size_t at = line_end(pos);
    if (at == to_) return {to_, to_};
    if (cr_only_) return {at, at + 1};
    return {(at > pos && bytes_[at - 1] == '\r') ? at - 1 : at, at + 1};
  };
  Physical first = physical_line(pos_);
  out.begin = begin;
  out.line_number = line_;
  out.eol = bytes_.substr(first.content_end, first.next - first.content_end);
  ++line_;
  pos_ = first.next;
  // Continuations are rare; only then is the line copied.
  if (pos_ < to_ && (bytes_[pos_] == ' ' || bytes_[pos_] == '\t')) {
    unfolded_.assign(bytes_.substr(begin, first.content_end - begin));
    while (pos_ < to_ && (bytes_[pos_] == ' ' || bytes_[pos_] == '\t')) {
      const Physical cont = physical_line(pos_);
      unfolded_.append(bytes_.substr(pos_ + 1, cont.content_end - pos_ - 1));
      ++line_;
      pos_ = cont.next;
    }
    out.text = unfolded_;
  } else {
    out.text = bytes_.substr(begin, first.content_end - begin);
  }
  out.end = pos_;
  return true;
}

std::string_view property_name(std::string_view line) {
  std::size_t stop = 0;
  while (stop < line.size() && line[stop] != ';' && line[stop] != ':') ++stop;
  return line.substr(0, stop);
}

std::optional<Property> parse_property(std::string_view line) {
  Property p;
  p.name = property_name(line);
  std::size_t i = p.name.size();
  while (i < line.size() && line[i] == ';') {
    const std::size_t name_begin = ++i;
    while (i < line.size() && line[i] != '=' && line[i] != ':' && line[i] != ';') ++i;
    Param param{line.substr(name_begin, i - name_begin), {}};
    if (i < line.size() && line[i] == '=') {
      const std::size_t value_begin = ++i;
      bool quoted = false;
      while (i < line.size() && (quoted || (line[i] != ';' && line[i] != ':'))) {
        if (line[i] == '"') quoted = !quoted;
        ++i;
      }
      if (quoted) return std::nullopt;
      param.raw_value = line.substr(value_begin, i - value_begin);
    }
    p.params.push_back(param);
  }
  if (i >= line.size() || line[i] != ':') return std::nullopt;
  p.head = line.substr(0, i);
  p.value = line.substr(i + 1);
  return p;
}

std::optional<std::string_view> find_param(const Property& p, std::string_view name) {
  for (const Param& param : p.params) {
    if (!iequals(param.name, name)) continue;
    std::string_view v = param.raw_value;
    // A list keeps only its first value; TZID and VALUE are never lists.
    if (v.size() >= 2 && v.front() == '"') {
      const std::size_t close = v.find('"', 1);
      return v.substr(1, (close == std::string_view::npos ? v.size() : close) - 1);
    }
    return v;
  }
  return std::nullopt;
}

bool iequals(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  if (a == b) return true;  // writers put names in capitals: one compare
  for (std::size_t i = 0; i < a.size(); ++i) {
    char x = a[i], y = b[i];
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 32);
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 32);
    if (x != y) return false;
  }
  return true;
}

std::string_view detect_eol(std::string_view bytes) {
  const std::size_t nl = bytes.find('\n');
  if (nl == std::string_view::npos) return bytes.find('\r') == std::string_view::npos ? "\r\n" : "\r";
  return nl > 0 && bytes[nl - 1] == '\r' ? std::string_view("\r\n") : std::string_view("\n");
}

}  // namespace platform::calendar::detail
