// Text conversions between the program's UTF-16 strings and iCalendar's
// UTF-8 content lines: encoding, TEXT value escaping, and line folding.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform::calendar::detail {

// Malformed UTF-8 becomes U+FFFD rather than an error: a stray byte in
// someone's calendar must not make an appointment unreadable.
std::u16string utf8_to_utf16(std::string_view in);
// Unpaired surrogates become U+FFFD.
std::string utf16_to_utf8(std::u16string_view in);

// RFC 5545 TEXT: "\n"/"\N" newline, "\\", "\,", "\;". An unknown escape
// keeps its character (what most writers meant).
std::string unescape_text(std::string_view in);
// The inverse; CR LF and lone CR in the input are written as "\n".
std::string escape_text(std::string_view in);

// Splits a multi-valued TEXT (e.g. CATEGORIES) at unescaped commas and
// unescapes each value. "A,B," gives {"A", "B", ""}.
std::vector<std::string> split_text_list(std::string_view in);

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
