// Restrictions, the little query language the program uses to find
// appointments: `[Start] >= "11/29/2026 00:00" AND [Subject] = "x"`.
// A malformed restriction is rejected as a whole; it never degrades into
// "match everything".
#pragma once

#include <cstdint>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace platform::calendar::detail {

enum class Field { Subject, Body, Categories, Start, End, Duration, Oid, AllDay };
enum class Compare { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual };

struct Condition {
  Field field = Field::Subject;
  Compare op = Compare::Equal;
  // Text for the text fields; a number for the others (dates: wall minutes).
  std::variant<std::u16string, std::int64_t> value;
  std::uint32_t text_hash = 0;  // of the text value (text_codec.h)
};

struct Restriction {
  enum class Kind { Condition, And, Or } kind = Kind::Condition;
  Condition condition;
  std::vector<Restriction> operands;  // And, Or
};

std::optional<Restriction> parse_restriction(std::u16string_view text);

// What a restriction can ask about an appointment. Text is fetched only
// when a condition needs it, as it has to be decoded from the file.
class RestrictionTarget {
 public:
  virtual ~RestrictionTarget() = default;
  virtual std::int64_t number(Field field) const = 0;
  virtual const std::u16string& text(Field field) const = 0;
  // True only when the field's text is surely not one whose text_hash is
  // `hash`: a cheap test that spares fetching the text.
  virtual bool surely_differs(Field, std::uint32_t /*hash*/) const { return false; }
};

bool matches(const Restriction& r, const RestrictionTarget& target);

// Inclusive range of start minutes outside which `r` cannot match, so that a
// search can skip to it in the start-ordered index.
struct MinuteRange {
  std::int64_t low = std::numeric_limits<std::int64_t>::min();
  std::int64_t high = std::numeric_limits<std::int64_t>::max();
};
MinuteRange start_range(const Restriction& r);

// The one oid `r` can match when it asks for it (`[OID] = n`, alone or
// joined by AND); nullopt when it may match others.
std::optional<std::int64_t> pinned_oid(const Restriction& r);

// False only when the text conditions of `r` rule out every appointment
// with `target`'s text, whatever its times and oid: the occurrences of a
// series share its text, so a search by subject can pass a series by
// without expanding it.
bool may_match_by_text(const Restriction& r, const RestrictionTarget& target);

}  // namespace platform::calendar::detail
