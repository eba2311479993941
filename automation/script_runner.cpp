// Sections: stepping · finding windows · commands.
#include "automation/script_runner.h"

#include <commctrl.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <thread>

#include "platform/calendar/calendar_store.h"
#include "platform/pocket_outlook/poom_objects.h"
#include "platform/controls/control_probes.h"
#include "platform/core/message_queue.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/desktop/desktop_channel.h"
#include "platform/core/screen.h"
#include "platform/gdi/text.h"
#include "automation/command_line.h"
#include "platform/hosts/input.h"
#include "platform/pocket_outlook/appointment_editor.h"
#include "platform/shell/message_box.h"
#include "platform/shell/menu_bar.h"
#include "platform/shell/shell_state.h"

namespace tallyset {

using namespace platform;

std::string EscapeForPrint(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\t': out += "\\t"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      default: out.push_back(c);
    }
  }
  return out;
}

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
  install_editor(session);
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
      auto& items = platform::ShellState::of(s).open_menu;
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
        out_ << ((info.fsState & TBSTATE_ENABLED) ? "enabled" : "disabled") << '\n';
      } else if (what == "focus") {
        HWND focus = s.windows().focus();
        std::string name = "other";
        for (std::vector<std::string> t : {std::vector<std::string>{"main"}, {"list"}, {"from"}, {"to"}}) {
          if (focus && find_target(s, t) == focus) name = t[0];
        }
        for (int n = 1; focus && name == "other" && n <= 64; ++n)
          if (find_target(s, {"field", std::to_string(n)}) == focus) name = "field " + std::to_string(n);
        out_ << name << '\n';
      } else if (what == "notification") {
        const auto& notes = platform::ShellState::of(s).notifications;
        if (notes.empty())
          out_ << "none" << '\n';
        else
          out_ << EscapeForPrint(ToUtf8(notes.back().title)) << '\t' << EscapeForPrint(ToUtf8(notes.back().plain))
               << '\n';
      } else if (what == "list") {
        print_list(s);
      } else if (what == "fields") {
        print_fields(s);
      } else if (what == "pickers") {
        HWND from = find_target(s, {"from"}), to = find_target(s, {"to"});
        if (!from || !to) return fail("there are no date pickers on the screen");
        out_ << EscapeForPrint(PickerText(from)) << '\t' << EscapeForPrint(PickerText(to)) << '\n';
      }
      // A whole print at once: a long list is one write, not one a row.
      out_.flush();
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
    // The program stays responsive while the script waits: other starts
    // that look for it are answered.
    add([ms](Session& s) {
      const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
      while (std::chrono::steady_clock::now() < until) {
        if (DesktopChannel* channel = DesktopChannel::of(s)) channel->serve();
        const auto left = until - std::chrono::steady_clock::now();
        std::this_thread::sleep_for(std::min<std::chrono::steady_clock::duration>(left, std::chrono::milliseconds(10)));
      }
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
      DesktopChannel* channel = DesktopChannel::of(s);
      if (channel) channel->serve();
      if (channel && channel->front_requests() > 0) return StepResult::done;
      if (std::chrono::steady_clock::now() >= *deadline)
        return fail("no other program brought this one to the front within " + std::to_string(ms) + " ms");
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
      return StepResult::again;
    });
  } else if (c.verb == "select") {
    int row = std::stoi(a[0]);
    add([this, row](Session& s) {
      HWND list = find_target(s, {"list"});
      if (!list) return fail("there is no list on the screen");
      int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
      auto rect = row >= 0 && row < count ? controls::ListViewRowOnScreen(list, row) : std::nullopt;
      if (!rect) return fail("the list has no row " + std::to_string(row) + " (it has " + std::to_string(count) + ")");
      TapCenter(s, *rect);
      return StepResult::done;
    });
  } else if (c.verb == "choose") {
    std::vector<std::string> field{"field", a[0]};
    std::string text = a[1];
    add([this, field](Session& s) {
      HWND box = find_target(s, field);
      if (!box) return fail("there is no field row " + field[1]);
      TapCenter(s, s.windows().window_rect_on_screen(box));
      return StepResult::done;
    });
    add([this, field, text](Session& s) {
      HWND box = find_target(s, field);
      if (!box || !controls::ComboBoxIsDroppedDown(box)) return fail("field row " + field[1] + " did not drop down");
      std::u16string wanted = FromUtf8(text);
      int count = static_cast<int>(SendMessageW(box, CB_GETCOUNT, 0, 0));
      for (int i = 0; i < count; ++i) {
        int len = static_cast<int>(SendMessageW(box, CB_GETLBTEXTLEN, i, 0));
        std::u16string entry(static_cast<size_t>(std::max(len, 0)) + 1, u'\0');
        SendMessageW(box, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(entry.data()));
        entry.resize(static_cast<size_t>(std::max(len, 0)));
        if (entry != wanted) continue;
        auto rect = controls::ComboBoxEntryOnScreen(box, i);
        if (!rect) break;
        TapCenter(s, *rect);
        return StepResult::done;
      }
      PostKeys(s, "escape");
      return fail("field row " + field[1] + " has no entry \"" + text + "\"");
    });
  } else if (c.verb == "date" || c.verb == "closeup") {
    std::string which = a[0];
    bool pick = c.verb == "date";
    auto date = pick ? ParseDate(a[1]) : std::nullopt;
    if (pick && !date) {
      fail("'" + a[1] + "' is not a date");
      return;
    }
    auto find = [this, which](Session& s) { return find_target(s, {which}); };
    for (Step& step : date_steps(find, which, date, [this](const std::string& what) { return fail(what); }))
      add(std::move(step));
  } else if (c.verb == "editor") {
    EditorAnswer answer;
    answer.button = a[0];
    answer.line = c.line;
    for (size_t i = 1; i < a.size(); ++i) {
      size_t eq = a[i].find('=');
      answer.fields.emplace_back(a[i].substr(0, eq), a[i].substr(eq + 1));
      if (answer.fields.back().first == "start" && !ParseDateTime(answer.fields.back().second)) {
        fail("'" + answer.fields.back().second + "' is not a date and time");
        return;
      }
    }
    add([this, answer](Session& s) {
      install_editor(s);
      editor_answers_.push_back(answer);
      return StepResult::done;
    });
  }
}

std::string ScriptRunner::PickerText(HWND picker) {
  SYSTEMTIME st{};
  SendMessageW(picker, DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&st));
  char text[32];
  std::snprintf(text, sizeof text, "%04d-%02d-%02d %02d:%02d", st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute);
  return text;
}

void ScriptRunner::print_list(Session& s) {
  HWND list = find_target(s, {"list"});
  if (!list) return;
  int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
  for (int row = 0; row < count; ++row) {
    std::u16string subject(1024, u'\0'), details(1024, u'\0');
    LVITEMW item{};
    item.mask = LVIF_TEXT | LVIF_IMAGE | LVIF_PARAM | LVIF_STATE;
    item.iItem = row;
    item.stateMask = LVIS_SELECTED;
    item.pszText = subject.data();
    item.cchTextMax = static_cast<int>(subject.size());
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&item));
    LVITEMW sub{};
    sub.mask = LVIF_TEXT;
    sub.iItem = row;
    sub.iSubItem = 1;
    sub.pszText = details.data();
    sub.cchTextMax = static_cast<int>(details.size());
    SendMessageW(list, LVM_GETITEMW, 0, reinterpret_cast<LPARAM>(&sub));
    out_ << row << '\t' << (item.iImage == 0 ? "complete" : "incomplete") << '\t'
         << static_cast<std::uint32_t>(item.lParam) << '\t' << EscapeForPrint(ToUtf8(subject.c_str())) << '\t'
         << EscapeForPrint(ToUtf8(details.c_str())) << '\t' << ((item.state & LVIS_SELECTED) ? "selected" : "-") << '\n';
  }
}

void ScriptRunner::print_fields(Session& s) {
  HWND main = main_window(s);
  auto boxes = ChildrenOfClass(s, main, WC_COMBOBOXW);
  auto labels = ChildrenOfClass(s, main, WC_STATICW);
  auto text_of = [](HWND h) {
    WCHAR buffer[512];
    GetWindowTextW(h, buffer, 512);
    return EscapeForPrint(ToUtf8(buffer));
  };
  for (size_t i = 0; i < boxes.size(); ++i) {
    out_ << i + 1 << '\t' << (i < labels.size() ? text_of(labels[i]) : "") << '\t' << text_of(boxes[i]) << '\t';
    int count = static_cast<int>(SendMessageW(boxes[i], CB_GETCOUNT, 0, 0));
    for (int k = 1; k < count; ++k) {
      WCHAR entry[512] = {0};
      SendMessageW(boxes[i], CB_GETLBTEXT, k, reinterpret_cast<LPARAM>(entry));
      out_ << (k > 1 ? "|" : "") << EscapeForPrint(ToUtf8(entry));
    }
    out_ << '\n';
  }
}

std::vector<ScriptRunner::Step> ScriptRunner::date_steps(std::function<HWND(Session&)> find, const std::string& which,
                                                         std::optional<SYSTEMTIME> date,
                                                         std::function<StepResult(const std::string&)> failed) {
  std::vector<Step> steps;
  steps.push_back([find, which, failed](Session& s) {
    HWND picker = find(s);
    if (!picker) return failed("there is no " + which + " date picker on the screen");
    TapCenter(s, s.windows().window_rect_on_screen(picker));
    return StepResult::done;
  });
  steps.push_back([find, which, date, failed](Session& s) {
    HWND picker = find(s);
    if (!picker || !controls::DatePickerIsDroppedDown(picker)) return failed("the " + which + " calendar did not open");
    if (!date) {
      PostKeys(s, "escape");
      return StepResult::done;
    }
    auto shown = controls::DatePickerShownMonth(picker);
    if (!shown) return failed("the " + which + " calendar shows no month");
    int have = shown->first * 12 + shown->second, want = date->wYear * 12 + date->wMonth;
    if (have != want) {
      // One month a tap, as a person pages through the calendar.
      auto button = want < have ? controls::DatePickerPrevMonthOnScreen(picker)
                                : controls::DatePickerNextMonthOnScreen(picker);
      if (!button) return failed("the " + which + " calendar cannot change its month");
      TapCenter(s, *button);
      return StepResult::again;
    }
    auto cell = controls::DatePickerDayOnScreen(picker, date->wDay);
    if (!cell) return failed("the " + which + " calendar shows no day " + std::to_string(date->wDay));
    TapCenter(s, *cell);
    return StepResult::done;
  });
  return steps;
}

namespace {

// Types into the window with the focus: keys where the keyboard has them,
// other characters as the input panel enters them, as WM_CHAR.
void TypeText(Session& s, const std::u16string& text) {
  for (char16_t c : text) {
    if (c < 0x80 && std::isalnum(static_cast<unsigned char>(c)))
      PostKeys(s, std::string(1, static_cast<char>(c)));
    else if (c == u' ')
      PostKeys(s, "space");
    else
      s.queue().post_input(WM_CHAR, c, 1);
  }
}

}  // namespace

// Fills in the open editor as a person would: tap a field, select its text
// with the keys and type over it; pick the start date in the date picker's
// calendar; then tap the soft key or the Menu item of the answer.
std::vector<ScriptRunner::Step> ScriptRunner::editor_steps(const EditorAnswer& answer) {
  int line = answer.line;
  auto failed = [this, line](const std::string& what) {
    // The editor goes as Cancel, so that the program is not left under it.
    if (HWND editor = OpenAppointmentEditor()) PostMessageW(editor, WM_CLOSE, 0, 0);
    current_line_ = line;
    return fail(what);
  };
  auto part_finder = [](EditorPart part) {
    return [part](Session&) -> HWND {
      HWND editor = OpenAppointmentEditor();
      return editor ? AppointmentEditorPart(editor, part) : nullptr;
    };
  };
  std::vector<Step> steps;
  auto type_into = [&](EditorPart part, const std::string& name, const std::u16string& wanted) {
    auto find = part_finder(part);
    steps.push_back([find, name, failed](Session& s) {
      HWND field = find(s);
      if (!field) return failed("the appointment editor has no " + name + " field");
      TapCenter(s, s.windows().window_rect_on_screen(field));
      return StepResult::done;
    });
    steps.push_back([wanted](Session& s) {
      PostKeys(s, "ctrl+home");
      PostKeys(s, "ctrl+shift+end");
      if (wanted.empty())
        PostKeys(s, "backspace");
      else
        TypeText(s, wanted);
      return StepResult::done;
    });
    steps.push_back([find, name, wanted, failed](Session& s) {
      HWND field = find(s);
      WCHAR text[1024] = {0};
      if (field) GetWindowTextW(field, text, 1024);
      if (!field || std::u16string(text) != wanted)
        return failed("the appointment editor's " + name + " field does not take \"" + ToUtf8(wanted) + "\"");
      return StepResult::done;
    });
  };
  for (const auto& [name, value] : answer.fields) {
    if (name == "subject") type_into(EditorPart::subject, name, FromUtf8(value));
    if (name == "categories") type_into(EditorPart::categories, name, FromUtf8(value));
    if (name == "body") type_into(EditorPart::notes, "notes", FromUtf8(value));
    if (name == "duration") type_into(EditorPart::duration, name, FromUtf8(value));
    if (name == "start") {
      auto st = ParseDateTime(value);
      if (!st) continue;  // refused when the command was read
      for (Step& step : date_steps(part_finder(EditorPart::start_date), "start", st, failed))
        steps.push_back(std::move(step));
      char time[8];
      std::snprintf(time, sizeof time, "%02d:%02d", st->wHour % 100, st->wMinute % 100);
      type_into(EditorPart::start_time, "start time", FromUtf8(time));
    }
  }
  int key = answer.button == "ok" ? 0 : 1;
  steps.push_back([key, failed](Session& s) {
    HWND editor = OpenAppointmentEditor();
    auto rect = editor ? MenuBarButtonOnScreen(AppointmentEditorMenuBar(editor), key) : std::nullopt;
    if (!rect) return failed("the appointment editor has no soft keys");
    TapCenter(s, *rect);
    return StepResult::done;
  });
  if (key == 1) {
    std::u16string wanted = answer.button == "delete" ? u"Delete" : u"Cancel";
    steps.push_back([wanted, failed](Session& s) {
      for (const auto& item : platform::ShellState::of(s).open_menu) {
        if (item.text == wanted) {
          TapCenter(s, item.screen_rect);
          return StepResult::done;
        }
      }
      if (!platform::ShellState::of(s).open_menu.empty()) PostKeys(s, "escape");
      return failed("the appointment editor's Menu has no item \"" + ToUtf8(wanted) + "\"");
    });
  }
  if (answer.button == "delete") {
    // Delete asks first; the script's answer is Yes.
    steps.push_back([failed](Session& s) {
      auto yes = platform::MessageBoxButtonOnScreen(IDYES);
      if (!yes) return failed("Delete did not ask \"Delete this appointment?\"");
      TapCenter(s, *yes);
      return StepResult::done;
    });
  }
  return steps;
}

// The answers queued by `editor` reach the program through Pocket Outlook's
// Display, which opens the appointment editor: the answer's steps go to the
// front of the script, so that they run while the editor's loop waits for
// input, and the editor returns once they tapped its last key.
void ScriptRunner::install_editor(Session& s) {
  if (editor_installed_) return;
  editor_installed_ = true;
  PocketOutlook::of(s).editor = [this](calendar::AppointmentFields& fields, bool is_new, bool* deleted) -> HRESULT {
    int line = current_line_;
    bool answered = !editor_answers_.empty();
    EditorAnswer answer{"cancel", line, {}};
    if (answered) {
      answer = editor_answers_.front();
      editor_answers_.pop_front();
    }
    std::vector<Step> steps = editor_steps(answer);
    steps_.insert(steps_.begin(), steps.begin(), steps.end());
    HRESULT hr = RunAppointmentEditor(fields, is_new, deleted);
    if (!answered && !error_) {
      current_line_ = line;
      fail("an appointment editor opened with no answer queued by 'editor'; it was cancelled");
    }
    return hr;
  };
}

}  // namespace tallyset
