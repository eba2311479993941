// The script language: one command a line, blank lines and '#' lines
// ignored, arguments separated by blanks, double quotes around an argument
// with blanks or an empty one.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace tallyset {

struct ScriptCommand {
  int line = 0;
  std::string verb;
  std::vector<std::string> args;
};

// Parses and checks a whole script; on the first fault returns nullopt and
// sets *error to "script:LINE: what was wrong".
std::optional<std::vector<ScriptCommand>> ParseScript(const std::string& text, std::string* error);

}  // namespace tallyset
