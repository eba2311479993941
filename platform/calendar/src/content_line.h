// Reading iCalendar content lines straight out of the file's bytes. The
// scanner hands out logical (unfolded) lines together with the exact byte
// span they occupy, so that an edit can replace precisely those bytes and
// leave the rest of the file as it was written.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::calendar::detail {

struct LogicalLine {
  std::size_t begin = 0;     // first byte of the first physical line
  std::size_t end = 0;       // one past the last physical line's terminator
  std::string_view text;     // unfolded, without terminator; valid until next()
  std::string_view eol;      // terminator of the first physical line ("" at EOF)
  int line_number = 0;       // 1-based number of the first physical line
  std::string_view name;     // the text up to its first ';' or ':' (property_name of it)
};

// Both CRLF and bare LF end a line; a line starting with a blank or a tab
// continues the one before it. Text without any LF but with CRs (old Mac
// line ends) has its lines ended by CR alone; elsewhere a stray CR stays
// part of its line, as it always was.
// Whether the text's lines end in CR alone: it has CRs and no LF.
bool ends_lines_in_cr(std::string_view text);

class LineScanner {
 public:
  // The lines of [from, to), ended as that range's own text says.
  LineScanner(std::string_view bytes, std::size_t from, std::size_t to, int first_line_number);
  // The same for a range of a larger text whose line ends that text decides
  // (a range without an LF in a file with LFs is not a CR-only text).
  LineScanner(std::string_view bytes, std::size_t from, std::size_t to, int first_line_number, bool cr_only);
  bool next(LogicalLine& out);
  std::size_t position() const { return pos_; }
  int line_number() const { return line_; }

 private:
  // Makes the block hold `pos`; false where blocks are not used (the last
  // bytes of the text, and text whose lines end in CR alone).
  bool block_at(std::size_t pos);
  // The offset of the next line end at or after `pos` (to_ when none).
  std::size_t line_end(std::size_t pos);
  // The physical line from `begin` whose terminator is at `at` (to_ when
  // none): where its content ends (before a CR of a CRLF) and the next starts.
  struct Physical {
    std::size_t content_end;
    std::size_t next;
  };
  Physical physical_line(std::size_t begin, std::size_t at) const;

  std::string_view bytes_;
  std::size_t pos_;
  std::size_t to_;
  int line_;
  bool cr_only_;
  std::string unfolded_;
  // Line feeds, and the ';' and ':' that end a property's name, are found 64
  // bytes at a time: bit i of lf_mask_ (delimiter_mask_) is set when byte
  // block_ + i is one. Most lines are shorter than that, so one look at a
  // block serves several lines.
  std::size_t block_ = 0;
  std::uint64_t lf_mask_ = 0;
  std::uint64_t delimiter_mask_ = 0;
  bool block_valid_ = false;
};

struct Param {
  std::string_view name;
  std::string_view raw_value;  // as written, quotes included
};

// A property's parameters. Nearly every line has at most a few (TZID,
// VALUE), kept in place: the scan splits several lines of every event, and a
// heap block for each was a measurable share of it. More spill into a vector.
class Params {
 public:
  void push_back(const Param& param) {
    if (size_ < kInPlace) {
      in_place_[size_] = param;
    } else {
      if (spilled_.empty()) spilled_.assign(in_place_.begin(), in_place_.end());
      spilled_.push_back(param);
    }
    ++size_;
  }
  const Param* begin() const { return size_ <= kInPlace ? in_place_.data() : spilled_.data(); }
  const Param* end() const { return begin() + size_; }
  std::size_t size() const { return size_; }

 private:
  static constexpr std::size_t kInPlace = 4;
  std::array<Param, kInPlace> in_place_{};
  std::vector<Param> spilled_;
  std::size_t size_ = 0;
};

// One content line split into its parts; views into the line's text.
struct Property {
  std::string_view name;
  std::string_view head;  // name and parameters exactly as written
  Params params;
  std::string_view value;
};

// Fast path for the scanner: just the name, up to ';' or ':'.
std::string_view property_name(std::string_view line);
// nullopt when the line has no ':' outside quoted parameter values.
std::optional<Property> parse_property(std::string_view line);

// Parameter value with quotes removed; nullopt when absent.
std::optional<std::string_view> find_param(const Property& p, std::string_view name);

bool iequals(std::string_view a, std::string_view b);

// The line ending the file mostly uses: that of its first line, CR for a file
// whose lines end in CR alone, else CRLF.
std::string_view detect_eol(std::string_view bytes);

}  // namespace platform::calendar::detail
