// Conversions between UTF-8 (files, Pango, the desktop) and UTF-16 (every
// window and Pocket Outlook text). Neither ever fails: text from outside
// must stay readable even where it is not well formed.
#pragma once

#include <string>
#include <string_view>

namespace platform {

// Malformed UTF-8 (a stray or cut-off byte, an overlong form, an encoded
// surrogate) becomes U+FFFD, one per offending byte.
std::u16string FromUtf8(std::string_view in);
// Unpaired surrogates become U+FFFD.
std::string ToUtf8(std::u16string_view in);

}  // namespace platform
