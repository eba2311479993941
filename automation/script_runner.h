// Runs a script against the running program, one step each time the
// program is idle, entering every action as input through the queue. Steps
// that need the program to react first (open a menu, then tap an item) are
// split so the program runs in between.
#pragma once

#include <chrono>
#include <deque>
#include <functional>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <vector>

#include <windows.h>

#include "automation/script.h"
#include "platform/core/session.h"

namespace tallyset {

using platform::Session;

// A text as `print` writes it: a backslash, tab, line break or carriage
// return becomes \\, \t, \n or \r, so that every printed row is one line
// and its tabs still separate its columns.
std::string EscapeForPrint(std::string_view text);

class ScriptRunner {
 public:
  ScriptRunner(std::vector<ScriptCommand> commands, std::ostream& out);

  // Runs the next step. Returns false once the script is done or failed.
  bool step(Session& session);
  bool finished() const { return next_ >= commands_.size() && steps_.empty(); }
  const std::optional<std::string>& error() const { return error_; }
  // The line of the first command that has not run to its end, 0 when none.
  int pending_line() const;

 private:
  enum class StepResult { done, again, failed };
  using Step = std::function<StepResult(Session&)>;

  void expand(Session& session, const ScriptCommand& command);
  StepResult fail(const std::string& what);
  HWND main_window(Session& session) const;
  HWND find_target(Session& session, const std::vector<std::string>& args) const;

  struct EditorAnswer {
    std::string button;
    int line = 0;
    std::vector<std::pair<std::string, std::string>> fields;
  };
  std::vector<Step> date_steps(std::function<HWND(Session&)> find, const std::string& which,
                               std::optional<SYSTEMTIME> date, std::function<StepResult(const std::string&)> failed);
  std::vector<Step> editor_steps(const EditorAnswer& answer);
  static std::string PickerText(HWND picker);
  void print_list(Session& session);
  void print_fields(Session& session);
  void install_editor(Session& session);

  std::vector<ScriptCommand> commands_;
  std::deque<EditorAnswer> editor_answers_;
  bool editor_installed_ = false;
  std::ostream& out_;
  size_t next_ = 0;
  int current_line_ = 0;
  std::deque<Step> steps_;
  std::optional<std::string> error_;
};

}  // namespace tallyset
