// Sections: stepping · finding windows · commands.
#include "platform/hosts/script_runner.h"

#include <commctrl.h>

#include <algorithm>
#include <thread>

#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/desktop/desktop_channel.h"
#include "platform/gdi/screen.h"
#include "platform/gdi/text.h"
#include "platform/hosts/input.h"
#include "platform/shell/menu_bar.h"
#include "platform/shell/shell_state.h"

namespace platform {

ScriptRunner::ScriptRunner(std::vector<ScriptCommand> commands, std::ostream& out)
    : commands_(std::move(commands)), out_(out) {}

int ScriptRunner::pending_line() const {
  if (!steps_.empty()) return current_line_;
  return next_ < commands_.size() ? commands_[next_].line : 0;
}

ScriptRunner::StepResult ScriptRunner::fail(const std::string& what) {
  error_ = "script:" + std::to_string(current_line_) + ": " + what;
  steps_.clear();
  return StepResult::failed;
}

// ---------------------------------------------------------------- stepping

bool ScriptRunner::step(Session& session) {
  if (error_) return false;
  if (steps_.empty()) {
    if (next_ >= commands_.size()) return false;
    const ScriptCommand& command = commands_[next_++];
    current_line_ = command.line;
    expand(session, command);
    if (error_) return false;
  }
  if (steps_.empty()) return true;
  Step step = steps_.front();
  StepResult result = step(session);
  if (result == StepResult::failed) return false;
  if (result == StepResult::done && !steps_.empty()) steps_.pop_front();
  return true;
}

// ---------------------------------------------------------------- finding windows

HWND ScriptRunner::main_window(Session& session) const {
  auto tops = session.windows().program_top_levels();
  return tops.empty() ? nullptr : tops.front();
}

namespace {

std::vector<HWND> ChildrenOfClass(Session& session, HWND parent, std::u16string_view cls) {
  std::vector<HWND> out;
  Window* w = session.windows().get(parent);
  if (!w) return out;
  for (HWND child : w->children)
    if (ClassKey(session.windows().get(child)->window_class->name) == ClassKey(cls)) out.push_back(child);
  return out;
}

HWND MenuBarOf(Session& session, HWND owner) {
  for (HWND h : session.windows().top_levels()) {
    Window* w = session.windows().get(h);
    if (w && w->owner == owner && ClassKey(w->window_class->name) == ClassKey(u"menu_worker")) return h;
  }
  return nullptr;
}

void TapCenter(Session& session, const RECT& r) { PostTap(session, (r.left + r.right) / 2, (r.top + r.bottom) / 2); }

}  // namespace

HWND ScriptRunner::find_target(Session& session, const std::vector<std::string>& args) const {
  HWND main = main_window(session);
  if (!main) return nullptr;
  const std::string& what = args[0];
  if (what == "main") return main;
  if (what == "list") {
    auto lists = ChildrenOfClass(session, main, WC_LISTVIEWW);
    return lists.empty() ? nullptr : lists.front();
  }
  if (what == "from" || what == "to") {
    auto pickers = ChildrenOfClass(session, main, DATETIMEPICK_CLASSW);
    std::sort(pickers.begin(), pickers.end(), [&](HWND a, HWND b) {
      return session.windows().get(a)->rect.left < session.windows().get(b)->rect.left;
    });
    if (pickers.size() < 2) return nullptr;
    return what == "from" ? pickers[0] : pickers[1];
  }
  if (what == "field") {
    auto boxes = ChildrenOfClass(session, main, WC_COMBOBOXW);
    int n = std::stoi(args[1]);
    if (n < 1 || n > static_cast<int>(boxes.size())) return nullptr;
    return boxes[static_cast<size_t>(n - 1)];
  }
  return nullptr;
}

// ---------------------------------------------------------------- commands

void ScriptRunner::expand(Session&, const ScriptCommand& c) {
  const auto& a = c.args;
  auto add = [&](Step s) { steps_.push_back(std::move(s)); };
  auto once = [&](std::function<void(Session&)> f) {
    add([f](Session& s) {
      f(s);
      return StepResult::done;
    });
  };

  if (c.verb == "tap") {
    int x = std::stoi(a[0]), y = std::stoi(a[1]);
    once([x, y](Session& s) { PostTap(s, x, y); });
  } else if (c.verb == "key") {
    std::string keys = a[0];
    add([this, keys](Session& s) { return PostKeys(s, keys) ? StepResult::done : fail("no key named '" + keys + "'"); });
  } else if (c.verb == "focus") {
    auto args = a;
    add([this, args](Session& s) {
      HWND target = find_target(s, args);
      if (!target) return fail("there is no " + args[0] + (args.size() > 1 ? " " + args[1] : "") + " on the screen");
      SetFocus(target);
      return StepResult::done;
    });
  } else if (c.verb == "softkey") {
    int index = a[0] == "left" ? 0 : 1;
    add([this, index](Session& s) {
      HWND bar = MenuBarOf(s, main_window(s));
      auto rect = bar ? MenuBarButtonOnScreen(bar, index) : std::nullopt;
      if (!rect) return fail("there is no menu bar with that soft key");
      TapCenter(s, *rect);
      return StepResult::done;
    });
  } else if (c.verb == "menu") {
    std::string text = a[0];
    add([this](Session& s) {
      HWND bar = MenuBarOf(s, main_window(s));
      auto rect = bar ? MenuBarButtonOnScreen(bar, 0) : std::nullopt;
      if (!rect) return fail("there is no menu bar to open the Options menu from");
      TapCenter(s, *rect);
      return StepResult::done;
    });
    add([this, text](Session& s) {
      auto& items = s.shell().open_menu;
      if (items.empty()) return fail("the Options menu did not open");
      std::u16string wanted = FromUtf8(text);
      for (const auto& item : items) {
        if (item.text == wanted) {
          TapCenter(s, item.screen_rect);
          return StepResult::done;
        }
      }
      PostKeys(s, "escape");
      return fail("the Options menu has no item \"" + text + "\"");
    });
  } else if (c.verb == "print") {
    std::string what = a[0];
    add([this, what](Session& s) {
      HWND main = main_window(s);
      if (what == "save") {
        HWND bar = MenuBarOf(s, main);
        TBBUTTONINFOW info{};
        info.cbSize = sizeof info;
        info.dwMask = TBIF_STATE | TBIF_BYINDEX;
        if (!bar || SendMessageW(bar, TB_GETBUTTONINFOW, 1, reinterpret_cast<LPARAM>(&info)) < 0)
          return fail("there is no Save soft key");
        out_ << ((info.fsState & TBSTATE_ENABLED) ? "enabled" : "disabled") << std::endl;
      } else if (what == "focus") {
        HWND focus = s.windows().focus();
        std::string name = "other";
        for (std::vector<std::string> t : {std::vector<std::string>{"main"}, {"list"}, {"from"}, {"to"}}) {
          if (focus && find_target(s, t) == focus) name = t[0];
        }
        for (int n = 1; focus && name == "other" && n <= 64; ++n)
          if (find_target(s, {"field", std::to_string(n)}) == focus) name = "field " + std::to_string(n);
        out_ << name << std::endl;
      } else if (what == "notification") {
        const auto& notes = s.shell().notifications;
        if (notes.empty())
          out_ << "none" << std::endl;
        else
          out_ << ToUtf8(notes.back().title) << '\t' << ToUtf8(notes.back().plain) << std::endl;
      } else if (what == "list" || what == "fields") {
        // Without the list or the field rows on the screen there is nothing to print.
        if (what == "list" && !find_target(s, {"list"})) return StepResult::done;
        if (what == "fields" && !find_target(s, {"field", "1"})) return StepResult::done;
        return fail("print " + what + " is not available yet");
      } else if (what == "pickers") {
        if (!find_target(s, {"from"})) return fail("there are no date pickers on the screen");
        return fail("print pickers is not available yet");
      }
      return StepResult::done;
    });
  } else if (c.verb == "screenshot") {
    std::string file = a[0];
    add([this, file](Session& s) {
      std::string problem;
      if (!s.screen().write_png(file, &problem)) return fail(problem);
      return StepResult::done;
    });
  } else if (c.verb == "resize") {
    int w = std::stoi(a[0]), h = std::stoi(a[1]);
    add([this, w, h](Session& s) {
      HWND main = main_window(s);
      if (!main) return fail("there is no main window");
      Window* win = s.windows().get(main);
      RECT client = s.windows().client_rect(main);
      int extra_w = win->width() - client.right, extra_h = win->height() - client.bottom;
      MoveWindow(main, win->rect.left, win->rect.top, w + extra_w, h + extra_h, TRUE);
      return StepResult::done;
    });
  } else if (c.verb == "sleep") {
    int ms = std::stoi(a[0]);
    add([ms](Session&) {
      std::this_thread::sleep_for(std::chrono::milliseconds(ms));
      return StepResult::done;
    });
  } else if (c.verb == "wait") {
    int ms = std::stoi(a[1]);
    auto deadline = std::make_shared<std::chrono::steady_clock::time_point>();
    auto started = std::make_shared<bool>(false);
    add([this, ms, deadline, started](Session& s) {
      if (!*started) {
        *started = true;
        *deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
      }
      DesktopChannel* channel = s.desktop_channel();
      if (channel) channel->serve();
      if (channel && channel->front_requests() > 0) return StepResult::done;
      if (std::chrono::steady_clock::now() >= *deadline)
        return fail("no other program brought this one to the front within " + std::to_string(ms) + " ms");
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return StepResult::again;
    });
  } else {
    // select, choose, date, closeup and editor act on controls that are not
    // on this screen yet.
    std::string verb = c.verb;
    add([this, verb](Session&) { return fail(verb + " is not available yet: the screen has no such control"); });
  }
}

}  // namespace platform
