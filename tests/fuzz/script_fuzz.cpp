// The script parser: any text is either a list of commands, each on a line
// that exists, or one error of the form "script:LINE: what was wrong".
#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "fuzz_support.h"
#include "automation/script.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string text(reinterpret_cast<const char*>(data), size);
  std::string error;
  const auto commands = tallyset::ParseScript(text, &error);
  const long lines = 1 + static_cast<long>(std::count(text.begin(), text.end(), '\n'));
  if (!commands) {
    FUZZ_CHECK(error.rfind("script:", 0) == 0);
    char* end = nullptr;
    const long line = std::strtol(error.c_str() + 7, &end, 10);
    FUZZ_CHECK(line >= 1 && line <= lines);
    FUZZ_CHECK(end != nullptr && end[0] == ':' && end[1] == ' ' && end[2] != '\0');
    FUZZ_CHECK(error.find('\n') == std::string::npos);
    return 0;
  }
  int previous = 0;
  for (const auto& c : *commands) {
    FUZZ_CHECK(c.line > previous && c.line <= lines);
    FUZZ_CHECK(!c.verb.empty());
    previous = c.line;
  }
  return 0;
}
