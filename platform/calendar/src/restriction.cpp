// Tokenizer, recursive-descent parser and evaluator for restrictions.
//
//   expr       := and-expr { OR and-expr }
//   and-expr   := primary { AND primary }
//   primary    := "(" expr ")" | "[" field "]" op value
//   op         := "=" | "<>" | "<" | ">" | "<=" | ">="
//   value      := "quoted text" | integer
#include "restriction.h"

#include <algorithm>

#include "wall_time.h"
#include "text_codec.h"
#include "platform/base/short_date.h"

namespace platform::calendar::detail {

namespace {

struct Token {
  enum class Kind { End, Field, Op, String, Number, And, Or, Open, Close } kind = Kind::End;
  std::u16string text;  // field name or string value
  Compare op = Compare::Equal;
  std::int64_t number = 0;
};

bool is_blank(char16_t c) { return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n'; }
bool is_digit(char16_t c) { return c >= u'0' && c <= u'9'; }
char16_t fold(char16_t c) { return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c; }
bool iequals(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() &&
         std::equal(a.begin(), a.end(), b.begin(), [](char16_t x, char16_t y) { return fold(x) == fold(y); });
}

std::optional<std::vector<Token>> tokenize(std::u16string_view s) {
  std::vector<Token> tokens;
  std::size_t i = 0;
  while (true) {
    while (i < s.size() && is_blank(s[i])) ++i;
    if (i == s.size()) break;
    Token t;
    const char16_t c = s[i];
    if (c == u'[') {
      const std::size_t close = s.find(u']', i + 1);
      if (close == std::u16string_view::npos) return std::nullopt;
      std::u16string_view name = s.substr(i + 1, close - i - 1);
      while (!name.empty() && is_blank(name.front())) name.remove_prefix(1);
      while (!name.empty() && is_blank(name.back())) name.remove_suffix(1);
      t.kind = Token::Kind::Field;
      t.text = name;
      i = close + 1;
    } else if (c == u'"') {
      t.kind = Token::Kind::String;
      ++i;
      while (true) {
        if (i == s.size()) return std::nullopt;  // unterminated
        if (s[i] == u'"') {
          if (i + 1 < s.size() && s[i + 1] == u'"') {
            t.text.push_back(u'"');
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        t.text.push_back(s[i++]);
      }
    } else if (is_digit(c) || (c == u'-' && i + 1 < s.size() && is_digit(s[i + 1]))) {
      t.kind = Token::Kind::Number;
      const bool negative = c == u'-';
      if (negative) ++i;
      std::int64_t v = 0;
      while (i < s.size() && is_digit(s[i])) {
        if (v > (std::numeric_limits<std::int64_t>::max() - 9) / 10) return std::nullopt;
        v = v * 10 + (s[i++] - u'0');
      }
      // "12abc" is not a number followed by a word.
      if (i < s.size() && !is_blank(s[i]) && s[i] != u')' && s[i] != u'(') return std::nullopt;
      t.number = negative ? -v : v;
    } else if (c == u'(' || c == u')') {
      t.kind = c == u'(' ? Token::Kind::Open : Token::Kind::Close;
      ++i;
    } else if (c == u'=' || c == u'<' || c == u'>') {
      t.kind = Token::Kind::Op;
      const char16_t next = i + 1 < s.size() ? s[i + 1] : u'\0';
      if (c == u'=') {
        t.op = Compare::Equal, i += 1;
      } else if (c == u'<' && next == u'>') {
        t.op = Compare::NotEqual, i += 2;
      } else if (c == u'<' && next == u'=') {
        t.op = Compare::LessEqual, i += 2;
      } else if (c == u'>' && next == u'=') {
        t.op = Compare::GreaterEqual, i += 2;
      } else {
        t.op = c == u'<' ? Compare::Less : Compare::Greater, i += 1;
      }
    } else if ((c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z')) {
      const std::size_t start = i;
      while (i < s.size() && ((s[i] >= u'A' && s[i] <= u'Z') || (s[i] >= u'a' && s[i] <= u'z'))) ++i;
      const std::u16string_view word = s.substr(start, i - start);
      if (iequals(word, u"AND")) {
        t.kind = Token::Kind::And;
      } else if (iequals(word, u"OR")) {
        t.kind = Token::Kind::Or;
      } else {
        return std::nullopt;
      }
    } else {
      return std::nullopt;
    }
    tokens.push_back(std::move(t));
  }
  tokens.push_back(Token{});
  return tokens;
}

std::optional<Field> field_named(std::u16string_view name) {
  static constexpr std::pair<std::u16string_view, Field> kFields[] = {
      {u"Subject", Field::Subject},   {u"Body", Field::Body},     {u"Categories", Field::Categories},
      {u"Start", Field::Start},       {u"End", Field::End},       {u"Duration", Field::Duration},
      {u"OID", Field::Oid},           {u"AllDayEvent", Field::AllDay}};
  for (const auto& [n, f] : kFields) {
    if (iequals(n, name)) return f;
  }
  return std::nullopt;
}

bool is_text(Field f) { return f == Field::Subject || f == Field::Body || f == Field::Categories; }
bool is_date(Field f) { return f == Field::Start || f == Field::End; }

// "M/d/yyyy HH:MM", or the date alone for midnight.
std::optional<std::int64_t> parse_date_minutes(std::u16string_view text) {
  const std::size_t blank = text.find(u' ');
  const auto date = ParseShortDate(text.substr(0, blank));
  if (!date) return std::nullopt;
  int hour = 0, minute = 0;
  if (blank != std::u16string_view::npos) {
    std::u16string_view time = text.substr(blank);
    while (!time.empty() && time.front() == u' ') time.remove_prefix(1);
    const std::size_t colon = time.find(u':');
    if (colon == std::u16string_view::npos || colon < 1 || colon > 2 || time.size() != colon + 3) {
      return std::nullopt;
    }
    for (std::size_t k = 0; k < time.size(); ++k) {
      if (k != colon && !is_digit(time[k])) return std::nullopt;
    }
    hour = time[0] - u'0';
    if (colon == 2) hour = hour * 10 + (time[1] - u'0');
    minute = (time[colon + 1] - u'0') * 10 + (time[colon + 2] - u'0');
    if (hour > 23 || minute > 59) return std::nullopt;
  }
  return days_from_civil(date->year, date->month, date->day) * 1440 + hour * 60 + minute;
}

class Parser {
 public:
  explicit Parser(std::vector<Token> tokens) : tokens_(std::move(tokens)) {}

  std::optional<Restriction> parse() {
    auto r = expression();
    if (!r || peek().kind != Token::Kind::End) return std::nullopt;
    return r;
  }

 private:
  const Token& peek() const { return tokens_[pos_]; }
  const Token& take() { return tokens_[pos_ < tokens_.size() - 1 ? pos_++ : pos_]; }

  // Nesting is bounded so that a hostile string cannot exhaust the stack.
  static constexpr int kMaxDepth = 64;

  std::optional<Restriction> expression() {
    return chain(Token::Kind::Or, Restriction::Kind::Or, &Parser::conjunction);
  }
  std::optional<Restriction> conjunction() {
    return chain(Token::Kind::And, Restriction::Kind::And, &Parser::primary);
  }

  std::optional<Restriction> chain(Token::Kind separator, Restriction::Kind kind,
                                   std::optional<Restriction> (Parser::*operand)()) {
    auto first = (this->*operand)();
    if (!first) return std::nullopt;
    if (peek().kind != separator) return first;
    Restriction r;
    r.kind = kind;
    r.operands.push_back(std::move(*first));
    while (peek().kind == separator) {
      take();
      auto next = (this->*operand)();
      if (!next) return std::nullopt;
      r.operands.push_back(std::move(*next));
    }
    return r;
  }

  std::optional<Restriction> primary() {
    if (peek().kind == Token::Kind::Open) {
      if (++depth_ > kMaxDepth) return std::nullopt;
      take();
      auto inner = expression();
      if (!inner || take().kind != Token::Kind::Close) return std::nullopt;
      --depth_;
      return inner;
    }
    const Token& field_token = take();
    if (field_token.kind != Token::Kind::Field) return std::nullopt;
    const auto field = field_named(field_token.text);
    if (!field) return std::nullopt;
    const Token& op = take();
    if (op.kind != Token::Kind::Op) return std::nullopt;
    const Token& value = take();
    Restriction r;
    r.condition.field = *field;
    r.condition.op = op.op;
    if (is_text(*field)) {
      if (value.kind != Token::Kind::String) return std::nullopt;
      r.condition.value = value.text;
      r.condition.text_hash = text_hash(value.text);
    } else if (is_date(*field)) {
      if (value.kind != Token::Kind::String) return std::nullopt;
      const auto minutes = parse_date_minutes(value.text);
      if (!minutes) return std::nullopt;
      r.condition.value = *minutes;
    } else {
      if (value.kind != Token::Kind::Number) return std::nullopt;
      r.condition.value = value.number;
    }
    return r;
  }

  std::vector<Token> tokens_;
  std::size_t pos_ = 0;
  int depth_ = 0;
};

template <typename T>
bool compare(const T& a, Compare op, const T& b) {
  switch (op) {
    case Compare::Equal: return a == b;
    case Compare::NotEqual: return a != b;
    case Compare::Less: return a < b;
    case Compare::Greater: return a > b;
    case Compare::LessEqual: return a <= b;
    case Compare::GreaterEqual: return a >= b;
  }
  return false;
}

}  // namespace

std::optional<Restriction> parse_restriction(std::u16string_view text) {
  auto tokens = tokenize(text);
  if (!tokens || tokens->size() == 1) return std::nullopt;  // nothing but the end
  return Parser(std::move(*tokens)).parse();
}

bool matches(const Restriction& r, const RestrictionTarget& target) {
  switch (r.kind) {
    case Restriction::Kind::And:
      return std::all_of(r.operands.begin(), r.operands.end(),
                         [&](const Restriction& o) { return matches(o, target); });
    case Restriction::Kind::Or:
      return std::any_of(r.operands.begin(), r.operands.end(),
                         [&](const Restriction& o) { return matches(o, target); });
    case Restriction::Kind::Condition: break;
  }
  const Condition& c = r.condition;
  if (const auto* text = std::get_if<std::u16string>(&c.value)) {
    if ((c.op == Compare::Equal || c.op == Compare::NotEqual) && target.surely_differs(c.field, c.text_hash)) {
      return c.op == Compare::NotEqual;
    }
    return compare(target.text(c.field), c.op, *text);
  }
  return compare(target.number(c.field), c.op, std::get<std::int64_t>(c.value));
}

MinuteRange start_range(const Restriction& r) {
  MinuteRange range;
  switch (r.kind) {
    case Restriction::Kind::And:
      for (const Restriction& o : r.operands) {
        const MinuteRange sub = start_range(o);
        range.low = std::max(range.low, sub.low);
        range.high = std::min(range.high, sub.high);
      }
      return range;
    case Restriction::Kind::Or: {
      range = {std::numeric_limits<std::int64_t>::max(), std::numeric_limits<std::int64_t>::min()};
      for (const Restriction& o : r.operands) {
        const MinuteRange sub = start_range(o);
        range.low = std::min(range.low, sub.low);
        range.high = std::max(range.high, sub.high);
      }
      return range;
    }
    case Restriction::Kind::Condition: break;
  }
  if (r.condition.field != Field::Start) return range;
  const std::int64_t v = std::get<std::int64_t>(r.condition.value);
  switch (r.condition.op) {
    case Compare::Equal: range = {v, v}; break;
    case Compare::Less: range.high = v - 1; break;
    case Compare::LessEqual: range.high = v; break;
    case Compare::Greater: range.low = v + 1; break;
    case Compare::GreaterEqual: range.low = v; break;
    case Compare::NotEqual: break;
  }
  return range;
}

std::optional<std::int64_t> pinned_oid(const Restriction& r) {
  if (r.kind == Restriction::Kind::And) {
    for (const Restriction& o : r.operands) {
      if (const auto oid = pinned_oid(o)) return oid;
    }
    return std::nullopt;
  }
  if (r.kind == Restriction::Kind::Condition && r.condition.field == Field::Oid &&
      r.condition.op == Compare::Equal) {
    if (const auto* v = std::get_if<std::int64_t>(&r.condition.value)) return *v;
  }
  return std::nullopt;
}

namespace {

enum class Maybe { no, yes, unknown };

Maybe text_verdict(const Restriction& r, const RestrictionTarget& target) {
  switch (r.kind) {
    case Restriction::Kind::And: {
      Maybe all = Maybe::yes;
      for (const Restriction& o : r.operands) {
        const Maybe v = text_verdict(o, target);
        if (v == Maybe::no) return Maybe::no;
        if (v == Maybe::unknown) all = Maybe::unknown;
      }
      return all;
    }
    case Restriction::Kind::Or: {
      Maybe any = Maybe::no;
      for (const Restriction& o : r.operands) {
        const Maybe v = text_verdict(o, target);
        if (v == Maybe::yes) return Maybe::yes;
        if (v == Maybe::unknown) any = Maybe::unknown;
      }
      return any;
    }
    case Restriction::Kind::Condition: break;
  }
  if (!std::holds_alternative<std::u16string>(r.condition.value)) return Maybe::unknown;
  return matches(r, target) ? Maybe::yes : Maybe::no;
}

}  // namespace

bool may_match_by_text(const Restriction& r, const RestrictionTarget& target) {
  return text_verdict(r, target) != Maybe::no;
}

}  // namespace platform::calendar::detail
