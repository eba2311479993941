// iCalendar's TEXT values and content lines: escaping, lists, folding,
// and fingerprints of decoded texts.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/base/utf.h"

namespace platform::calendar::detail {

// RFC 5545 TEXT: "\n"/"\N" newline, "\\", "\,", "\;". An unknown escape
// keeps its character (what most writers meant).
std::string unescape_text(std::string_view in);
// The inverse; CR LF and lone CR in the input are written as "\n".
std::string escape_text(std::string_view in);

// Splits a multi-valued TEXT (e.g. CATEGORIES) at unescaped commas and
// unescapes each value. "A,B," gives {"A", "B", ""}.
std::vector<std::string> split_text_list(std::string_view in);

// Pocket Outlook's Categories string: the values separated by ","; inside a
// value "\," is a comma and "\\" a backslash, any other backslash itself.
// Appends `value` in that form: a comma escaped, a backslash doubled only
// where it would otherwise be read as an escape (before "," or "\", or at
// the value's end), so that a value without commas reads as it is.
void append_category(std::string& list, std::string_view value);
// The values of such a string. "A,B," gives {"A", "B", ""}; "" gives {""}.
std::vector<std::string> split_categories(std::string_view list);

// A fingerprint of a text as UTF-16 (FNV-1a over its code units): texts
// that differ in it are different, equal ones need comparing.
std::uint32_t text_hash(std::u16string_view text);
// The fingerprint of what a raw TEXT value decodes to, when that is cheap to
// know: a value of ASCII bytes without escapes decodes to itself. nullopt
// otherwise.
std::optional<std::uint32_t> plain_text_hash(std::string_view raw);

// Folds one logical line at 75 octets without splitting a UTF-8 sequence,
// ending every physical line with `eol`.
std::string fold_line(std::string_view line, std::string_view eol);

}  // namespace platform::calendar::detail
