// Content line scanning and splitting.
#include "content_line.h"

#include <algorithm>
#include <bit>
#include <cstring>

#ifdef __SSE2__
#include <emmintrin.h>
#endif

namespace platform::calendar::detail {

bool ends_lines_in_cr(std::string_view text) {
  return text.find('\n') == std::string_view::npos && text.find('\r') != std::string_view::npos;
}

LineScanner::LineScanner(std::string_view bytes, std::size_t from, std::size_t to, int first_line_number)
    : LineScanner(bytes, from, to, first_line_number, from < to && ends_lines_in_cr(bytes.substr(from, to - from))) {}

LineScanner::LineScanner(std::string_view bytes, std::size_t from, std::size_t to, int first_line_number,
                         bool cr_only)
    : bytes_(bytes), pos_(from), to_(to), line_(first_line_number), cr_only_(cr_only) {}

namespace {

constexpr std::size_t kBlock = 64;

struct BlockMasks {
  std::uint64_t line_feeds = 0;
  std::uint64_t delimiters = 0;  // ';' and ':'
};

// The line feeds and name delimiters among the 64 bytes at `p`, one bit each.
BlockMasks block_masks(const char* p) {
  BlockMasks masks;
#ifdef __SSE2__
  const __m128i lf = _mm_set1_epi8('\n');
  const __m128i semicolon = _mm_set1_epi8(';');
  const __m128i colon = _mm_set1_epi8(':');
  for (int i = 0; i < 4; ++i) {
    const __m128i chunk = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 16 * i));
    const auto bits = [](__m128i hits) {
      return static_cast<std::uint64_t>(static_cast<std::uint16_t>(_mm_movemask_epi8(hits)));
    };
    masks.line_feeds |= bits(_mm_cmpeq_epi8(chunk, lf)) << (16 * i);
    masks.delimiters |= bits(_mm_or_si128(_mm_cmpeq_epi8(chunk, semicolon), _mm_cmpeq_epi8(chunk, colon)))
                        << (16 * i);
  }
#else
  for (std::size_t i = 0; i < kBlock; ++i) {
    masks.line_feeds |= static_cast<std::uint64_t>(p[i] == '\n') << i;
    masks.delimiters |= static_cast<std::uint64_t>(p[i] == ';' || p[i] == ':') << i;
  }
#endif
  return masks;
}

bool ends_name(char c) { return c == ';' || c == ':'; }

}  // namespace

bool LineScanner::block_at(std::size_t pos) {
  if (block_valid_ && pos - block_ < kBlock) return true;  // below block_ wraps to far above
  if (cr_only_ || to_ - pos < kBlock) return false;
  const BlockMasks masks = block_masks(bytes_.data() + pos);
  block_ = pos;
  lf_mask_ = masks.line_feeds;
  delimiter_mask_ = masks.delimiters;
  block_valid_ = true;
  return true;
}

std::size_t LineScanner::line_end(std::size_t pos) {
  while (pos < to_) {
    if (!block_at(pos)) {
      const char terminator = cr_only_ ? '\r' : '\n';
      const void* at = std::memchr(bytes_.data() + pos, terminator, to_ - pos);
      return at == nullptr ? to_ : static_cast<std::size_t>(static_cast<const char*>(at) - bytes_.data());
    }
    const std::uint64_t ahead = lf_mask_ & (~std::uint64_t{0} << (pos - block_));
    if (ahead != 0) return block_ + static_cast<std::size_t>(std::countr_zero(ahead));
    pos = block_ + kBlock;
  }
  return to_;
}

LineScanner::Physical LineScanner::physical_line(std::size_t begin, std::size_t at) const {
  if (at >= to_) return {to_, to_};
  if (!cr_only_ && at > begin && bytes_[at - 1] == '\r') return {at - 1, at + 1};
  return {at, at + 1};
}

bool LineScanner::next(LogicalLine& out) {
  if (pos_ >= to_) return false;
  const std::size_t begin = pos_;
  constexpr std::size_t kNone = std::string_view::npos;
  // The line's terminator, and the first ';' or ':' before it (kNone when
  // there is none on the first physical line).
  std::size_t at = kNone;
  std::size_t delimiter = kNone;
  std::size_t scanned_to = begin;  // where the look for a delimiter went on from
  if (block_at(begin)) {
    const std::uint64_t ahead = ~std::uint64_t{0} << (begin - block_);
    const std::uint64_t delimiters = delimiter_mask_ & ahead;
    if (const std::uint64_t feeds = lf_mask_ & ahead; feeds != 0) {
      // Most lines: both found in the block, the delimiter among the bits
      // below the line feed.
      at = block_ + static_cast<std::size_t>(std::countr_zero(feeds));
      const std::uint64_t before_feed = delimiters & ((feeds & (~feeds + 1)) - 1);
      if (before_feed != 0) delimiter = block_ + static_cast<std::size_t>(std::countr_zero(before_feed));
      scanned_to = at;
    } else {
      if (delimiters != 0) delimiter = block_ + static_cast<std::size_t>(std::countr_zero(delimiters));
      scanned_to = block_ + kBlock;
      at = line_end(scanned_to);
    }
  } else {
    at = line_end(begin);
  }
  const char* const data = bytes_.data();
  const auto [content_end, after] = physical_line(begin, at);
  for (std::size_t i = scanned_to; delimiter == kNone && i < content_end; ++i) {
    if (ends_name(data[i])) delimiter = i;
  }
  if (delimiter >= content_end) delimiter = kNone;
  out.begin = begin;
  out.line_number = line_;
  out.eol = std::string_view(data + content_end, after - content_end);
  ++line_;
  pos_ = after;
  // Continuations are rare; only then is the line copied.
  if (pos_ < to_ && (data[pos_] == ' ' || data[pos_] == '\t')) {
    unfolded_.assign(data + begin, content_end - begin);
    while (pos_ < to_ && (data[pos_] == ' ' || data[pos_] == '\t')) {
      const auto [kept_end, next] = physical_line(pos_, line_end(pos_));
      unfolded_.append(data + pos_ + 1, kept_end - pos_ - 1);
      ++line_;
      pos_ = next;
    }
    out.text = unfolded_;
    // A name folded onto the next physical line is read from the whole text.
    out.name = delimiter != kNone ? out.text.substr(0, delimiter - begin) : property_name(out.text);
  } else {
    out.text = std::string_view(data + begin, content_end - begin);
    out.name = delimiter != kNone ? std::string_view(data + begin, delimiter - begin) : out.text;
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
