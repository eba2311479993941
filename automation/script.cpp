#include "automation/script.h"

#include "automation/command_line.h"

#include <map>

namespace tallyset {

namespace {

// Splits a line into arguments; quotes may open inside an argument
// (subject="a b") and are not part of it.
bool Tokenize(const std::string& line, std::vector<std::string>* out, std::string* error) {
  std::string current;
  bool in_token = false, quoted = false;
  for (char c : line) {
    if (c == '"') {
      quoted = !quoted;
      in_token = true;
      continue;
    }
    if (!quoted && (c == ' ' || c == '\t')) {
      if (in_token) out->push_back(current);
      current.clear();
      in_token = false;
      continue;
    }
    current += c;
    in_token = true;
  }
  if (quoted) {
    *error = "a quotation mark is not closed";
    return false;
  }
  if (in_token) out->push_back(current);
  return true;
}

bool IsNumber(const std::string& s) {
  const std::string_view digits = std::string_view(s).substr(!s.empty() && s[0] == '-' ? 1 : 0);
  return digits.size() <= 6 && AllDigits(digits);
}

// "NAME=VALUE" for a field the editor has; the value is on one line.
bool IsEditorField(const std::string& s) {
  const size_t eq = s.find('=');
  if (eq == std::string::npos || s.find_first_of("\r\n", eq) != std::string::npos) return false;
  const std::string_view name = std::string_view(s).substr(0, eq);
  return name == "subject" || name == "start" || name == "duration" || name == "categories" || name == "body";
}

// Checks one command's arguments; an empty result means it is well formed.
std::string Check(const ScriptCommand& c) {
  const auto& a = c.args;
  auto count = [&](size_t n, const char* form) -> std::string {
    return a.size() == n ? "" : std::string("'") + c.verb + "' wants " + form;
  };
  if (c.verb == "tap") {
    if (auto e = count(2, "X Y"); !e.empty()) return e;
    if (!IsNumber(a[0]) || !IsNumber(a[1])) return "tap wants two whole numbers";
    return "";
  }
  if (c.verb == "key") return count(1, "one key such as ctrl+q, up, enter or a");
  if (c.verb == "focus") {
    if (a.size() == 1 && (a[0] == "main" || a[0] == "list" || a[0] == "from" || a[0] == "to")) return "";
    if (a.size() == 2 && a[0] == "field" && IsNumber(a[1])) return "";
    return "focus wants main, list, from, to or field N";
  }
  if (c.verb == "softkey") {
    if (a.size() == 1 && (a[0] == "left" || a[0] == "right")) return "";
    return "softkey wants left or right";
  }
  if (c.verb == "menu") return count(1, "the item's text in quotes");
  if (c.verb == "select") {
    if (a.size() != 1 || !IsNumber(a[0])) return "select wants a row number";
    return "";
  }
  if (c.verb == "choose") {
    if (a.size() != 2 || !IsNumber(a[0])) return "choose wants a field number and a text";
    return "";
  }
  if (c.verb == "date") {
    if (a.size() != 2 || (a[0] != "from" && a[0] != "to") || !HasShape(a[1], "9999-99-99"))
      return "date wants from or to and YYYY-MM-DD";
    return "";
  }
  if (c.verb == "closeup") {
    if (a.size() != 1 || (a[0] != "from" && a[0] != "to")) return "closeup wants from or to";
    return "";
  }
  if (c.verb == "editor") {
    if (a.empty() || (a[0] != "ok" && a[0] != "cancel" && a[0] != "delete")) return "editor wants ok, cancel or delete";
    for (size_t i = 1; i < a.size(); ++i)
      if (!IsEditorField(a[i])) return "editor does not know '" + a[i] + "'";
    return "";
  }
  if (c.verb == "resize") {
    if (a.size() != 2 || !IsNumber(a[0]) || !IsNumber(a[1])) return "resize wants W H";
    return "";
  }
  if (c.verb == "print") {
    static const std::vector<std::string> kWhat = {"list", "fields", "save", "pickers", "focus", "notification"};
    if (a.size() == 1)
      for (const auto& w : kWhat)
        if (a[0] == w) return "";
    return "print wants list, fields, save, pickers, focus or notification";
  }
  if (c.verb == "screenshot") return count(1, "a file name");
  if (c.verb == "sleep") {
    if (a.size() != 1 || !IsNumber(a[0])) return "sleep wants milliseconds";
    return "";
  }
  if (c.verb == "wait") {
    if (a.size() != 2 || a[0] != "front" || !IsNumber(a[1])) return "wait wants front and milliseconds";
    return "";
  }
  return "unknown command '" + c.verb + "'";
}

}  // namespace

std::optional<std::vector<ScriptCommand>> ParseScript(const std::string& text, std::string* error) {
  std::vector<ScriptCommand> commands;
  size_t start = 0;
  int line_number = 0;
  while (start <= text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    start = end + 1;
    ++line_number;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    size_t first = line.find_first_not_of(" \t");
    if (first == std::string::npos || line[first] == '#') {
      if (end == text.size()) break;
      continue;
    }
    std::vector<std::string> tokens;
    std::string problem;
    if (!Tokenize(line, &tokens, &problem)) {
      *error = "script:" + std::to_string(line_number) + ": " + problem;
      return std::nullopt;
    }
    ScriptCommand c{line_number, tokens[0], {tokens.begin() + 1, tokens.end()}};
    if (std::string e = Check(c); !e.empty()) {
      *error = "script:" + std::to_string(line_number) + ": " + e;
      return std::nullopt;
    }
    commands.push_back(std::move(c));
    if (end == text.size()) break;
  }
  return commands;
}

}  // namespace tallyset
