// The appointment editor: a window of the platform over the work area,
// titled "Appointment" in the navigation bar ("One occurrence" for an
// occurrence of a recurring series, whose edits and Delete touch that
// occurrence alone), with one row per field
// (Subject, Starts as a date picker and an "HH:MM" time field, Duration in
// minutes, Categories) and a multi-line Notes field below; its own menu bar
// holds "ok" and "Menu" (Cancel, Delete).
//
// It is modal the way the platform's own dialogs are: the program's windows
// and their menu bars are disabled while it is open, and it runs its own
// message loop until a soft key or WM_CLOSE ends it. A quit request that
// arrives meanwhile closes it as Cancel and is posted again for the
// program's own loop.
//
// On ok every field is read back; a time that is not a valid "H:MM" and an
// empty duration keep their old values, and unchanged notes keep their
// original line breaks. Not supported yet: the location, end time,
// all-day, reminder, recurrence, attendees and sensitivity fields; a time
// picker (the time is typed). Delete asks first (a message box, Yes / No).
#include "platform/pocket_outlook/appointment_editor.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/calendar/calendar_store.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/paint_window.h"
#include "platform/core/screen.h"
#include "platform/gdi/text.h"
#include "platform/shell/menu_bar.h"

namespace platform {

namespace {

using calendar::AppointmentFields;

constexpr const char16_t* kEditorClass = u"platform_appointment_editor";
constexpr int kOkCommand = 1;
constexpr int kCancelCommand = 2;
constexpr int kDeleteCommand = 3;
constexpr int kFirstPartId = 1001;  // control ids: kFirstPartId + EditorPart

enum class Result { open, ok, cancel, deleted };

// Where the running editor leaves its answer; lives on RunAppointmentEditor's stack.
struct Outcome {
  AppointmentFields* fields = nullptr;
  Result result = Result::open;
};

struct Row {
  const char16_t* label;
  int top;  // in rows
};

int Scale() { return Session::current().screen().scale(); }
int RowPitch() { return 24 * Scale(); }
int FieldHeight() { return 20 * Scale(); }
int RowTop(int row) { return 4 * Scale() + row * RowPitch(); }
int FieldLeft() { return 70 * Scale(); }
constexpr int kNotesRow = 4;  // the label row; the notes field fills the rest

std::u16string Text(HWND hwnd) {
  int n = GetWindowTextLengthW(hwnd);
  std::u16string text(static_cast<size_t>(std::max(n, 0)) + 1, u'\0');
  GetWindowTextW(hwnd, text.data(), n + 1);
  text.resize(static_cast<size_t>(std::max(n, 0)));
  return text;
}

std::u16string TimeText(const calendar::LocalDateTime& t) {
  char text[8];
  std::snprintf(text, sizeof text, "%02d:%02d", t.hour % 100, t.minute % 100);
  return FromUtf8(text);
}

// "H:MM" or "HH:MM" of a 24-hour clock; false for anything else.
bool ParseTime(const std::u16string& text, int* hour, int* minute) {
  size_t colon = text.find(u':');
  if (colon == std::u16string::npos || colon == 0 || colon > 2 || text.size() != colon + 3) return false;
  int h = 0, m = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (i == colon) continue;
    if (text[i] < u'0' || text[i] > u'9') return false;
    (i < colon ? h : m) = (i < colon ? h : m) * 10 + (text[i] - u'0');
  }
  if (h > 23 || m > 59) return false;
  *hour = h;
  *minute = m;
  return true;
}

// The notes field breaks lines with "\r\n", as the platform's edit controls do.
std::u16string ToFieldLines(const std::u16string& body) {
  std::u16string out;
  for (size_t i = 0; i < body.size(); ++i) {
    if (body[i] == u'\n' && (i == 0 || body[i - 1] != u'\r')) out += u'\r';
    out += body[i];
  }
  return out;
}

std::u16string FromFieldLines(const std::u16string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size(); ++i)
    if (!(text[i] == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n')) out += text[i];
  return out;
}

class EditorState : public WindowExtension {
 public:
  EditorState(Outcome* outcome, const AppointmentFields& original) : outcome_(outcome), original_(original) {}

  void Build(HWND editor) {
    self_ = editor;
    int k = Scale();
    RECT c = Session::current().windows().client_rect(editor);
    int field_width = c.right - FieldLeft() - 4 * k;
    int date_width = field_width * 3 / 5;
    const AppointmentFields& f = original_;
    shown_notes_ = ToFieldLines(f.body);
    Make(EditorPart::subject, u"EDIT", f.subject, ES_AUTOHSCROLL, FieldLeft(), RowTop(0), field_width, FieldHeight());
    Make(EditorPart::start_date, DATETIMEPICK_CLASSW, u"", 0, FieldLeft(), RowTop(1), date_width, FieldHeight());
    Make(EditorPart::start_time, u"EDIT", TimeText(f.start), ES_AUTOHSCROLL, FieldLeft() + date_width + 4 * k,
         RowTop(1), field_width - date_width - 4 * k, FieldHeight());
    Make(EditorPart::duration, u"EDIT", FromUtf8(std::to_string(f.duration_minutes)), ES_AUTOHSCROLL | ES_NUMBER,
         FieldLeft(), RowTop(2), 44 * k, FieldHeight());
    Make(EditorPart::categories, u"EDIT", f.categories, ES_AUTOHSCROLL, FieldLeft(), RowTop(3), field_width,
         FieldHeight());
    int notes_top = RowTop(kNotesRow) + RowPitch() - 4 * k;
    Make(EditorPart::notes, u"EDIT", shown_notes_, ES_MULTILINE | ES_WANTRETURN | ES_AUTOVSCROLL, 4 * k, notes_top,
         c.right - 8 * k, std::max(FieldHeight(), static_cast<int>(c.bottom) - notes_top - 4 * k));
    SYSTEMTIME st{};
    st.wYear = static_cast<WORD>(f.start.year);
    st.wMonth = static_cast<WORD>(f.start.month);
    st.wDay = static_cast<WORD>(f.start.day);
    st.wHour = static_cast<WORD>(f.start.hour);
    st.wMinute = static_cast<WORD>(f.start.minute);
    SendMessageW(Part(EditorPart::start_date), DTM_SETSYSTEMTIME, GDT_VALID, reinterpret_cast<LPARAM>(&st));

    std::vector<SoftKey> keys(2);
    keys[0].text = u"ok";
    keys[0].command = kOkCommand;
    keys[1].text = u"Menu";
    res::MenuItem cancel, remove;
    cancel.text = u"Cancel";
    cancel.command = kCancelCommand;
    remove.text = u"Delete";
    remove.command = kDeleteCommand;
    keys[1].popup = {cancel, remove};
    menu_bar_ = CreateMenuBarFromKeys(editor, keys);
  }

  HWND Part(EditorPart part) const { return GetDlgItem(self_, kFirstPartId + static_cast<int>(part)); }
  HWND menu_bar() const { return menu_bar_; }

  void Paint(cairo_t* cr) {
    Session& s = Session::current();
    RECT c = s.windows().client_rect(self_);
    int k = Scale();
    FillRectangle(cr, 0, 0, c.right, c.bottom, GetSysColor(COLOR_WINDOW));
    FontSpec font = platform::GdiObjects::of(s).font_spec(platform::GdiObjects::of(s).system_font());
    static const Row kRows[] = {{u"Subject:", 0}, {u"Starts:", 1}, {u"Duration:", 2}, {u"Categories:", 3},
                                {u"Notes:", kNotesRow}};
    for (const Row& row : kRows) {
      int top = RowTop(row.top);
      TextExtent e = MeasureText(font, row.label);
      DrawTextLine(cr, font, row.label, 4 * k, top + (FieldHeight() - e.height) / 2, GetSysColor(COLOR_WINDOWTEXT));
      // Thin rules between the rows, as in the platform's forms.
      if (row.top < kNotesRow)
        FillRectangle(cr, 0, top + RowPitch() - 2 * k, c.right, 1 * k, RGB(0xd8, 0xd8, 0xd8));
    }
    std::u16string unit = u"minutes";
    TextExtent e = MeasureText(font, unit);
    DrawTextLine(cr, font, unit, FieldLeft() + 48 * k, RowTop(2) + (FieldHeight() - e.height) / 2,
                 GetSysColor(COLOR_WINDOWTEXT));
  }

  void Finish(Result result) {
    if (!outcome_ || outcome_->result != Result::open) return;
    if (result == Result::ok) ReadBack(*outcome_->fields);
    outcome_->result = result;
  }

  // The editor's window is gone while its loop still runs: no answer, as Cancel.
  void Detach() { outcome_ = nullptr; }

 private:
  void Make(EditorPart part, const char16_t* cls, const std::u16string& text, DWORD style, int x, int y, int w,
            int h) {
    CreateWindowExW(0, cls, text.c_str(), WS_CHILD | WS_VISIBLE | WS_BORDER | WS_TABSTOP | style, x, y, w, h, self_,
                    reinterpret_cast<HMENU>(static_cast<INT_PTR>(kFirstPartId + static_cast<int>(part))), nullptr,
                    nullptr);
  }

  void ReadBack(AppointmentFields& f) {
    f.subject = Text(Part(EditorPart::subject));
    f.categories = Text(Part(EditorPart::categories));
    std::u16string notes = Text(Part(EditorPart::notes));
    if (notes != shown_notes_) f.body = FromFieldLines(notes);

    std::u16string minutes = Text(Part(EditorPart::duration));
    if (!minutes.empty() && minutes.size() <= 6) f.duration_minutes = std::stoi(ToUtf8(minutes));

    SYSTEMTIME date{};
    SendMessageW(Part(EditorPart::start_date), DTM_GETSYSTEMTIME, 0, reinterpret_cast<LPARAM>(&date));
    int hour = original_.start.hour, minute = original_.start.minute;
    ParseTime(Text(Part(EditorPart::start_time)), &hour, &minute);
    calendar::LocalDateTime chosen{date.wYear, date.wMonth, date.wDay, hour, minute, 0};
    const calendar::LocalDateTime& was = original_.start;
    bool same = chosen.year == was.year && chosen.month == was.month && chosen.day == was.day &&
                chosen.hour == was.hour && chosen.minute == was.minute;
    if (!same) f.start = chosen;  // an unchanged start keeps its seconds
  }

  HWND self_ = nullptr;
  HWND menu_bar_ = nullptr;
  Outcome* outcome_;
  AppointmentFields original_;
  std::u16string shown_notes_;
};

EditorState* StateOf(HWND hwnd) {
  Window* w = Session::current().windows().get(hwnd);
  return w ? dynamic_cast<EditorState*>(w->extension.get()) : nullptr;
}

LRESULT CALLBACK EditorProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  EditorState* st = StateOf(hwnd);
  if (!st) return DefWindowProcW(hwnd, msg, wp, lp);
  switch (msg) {
    case WM_PAINT:
      PaintWindow(hwnd, [st](cairo_t* cr, const FontSpec&) { st->Paint(cr); });
      return 0;
    case WM_ERASEBKGND:
      return 1;
    case WM_COMMAND:
      switch (LOWORD(wp)) {
        case kOkCommand:
          st->Finish(Result::ok);
          break;
        case kCancelCommand:
          st->Finish(Result::cancel);
          break;
        case kDeleteCommand:
          // Deleting cannot be undone: ask first; No leaves the editor as it was.
          if (MessageBoxW(hwnd, u"Delete this appointment?", u"Appointment", MB_YESNO | MB_ICONQUESTION) == IDYES)
            st->Finish(Result::deleted);
          break;
        default:
          break;  // the fields' own notifications
      }
      return 0;
    case WM_CLOSE:
      st->Finish(Result::cancel);
      return 0;
    case WM_ACTIVATE: {
      // Coming back to the editor puts the keyboard into its first field.
      HWND focus = GetFocus();
      if (LOWORD(wp) != WA_INACTIVE && (!focus || Session::current().windows().top_level_of(focus) != hwnd))
        SetFocus(st->Part(EditorPart::subject));
      return 0;
    }
    case WM_DESTROY:
      st->Detach();
      return 0;
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// Disables the program's windows and the bars that serve them; gives back
// the ones it disabled, to enable again when the editor closes.
std::vector<HWND> DisableProgramWindows(WindowManager& windows) {
  std::vector<HWND> disabled;
  for (HWND h : windows.top_levels()) {
    Window* w = windows.get(h);
    if (!w || w->destroying || !w->enabled()) continue;
    Window* owner = windows.get(w->owner);
    bool program = !w->window_class->system || (owner && !owner->window_class->system);
    if (!program) continue;
    EnableWindow(h, FALSE);
    disabled.push_back(h);
  }
  return disabled;
}

}  // namespace

void RegisterAppointmentEditorClass() { Session::current().windows().register_system_class(kEditorClass, EditorProc); }

HWND OpenAppointmentEditor() {
  std::u16string cls = kEditorClass;
  return Session::current().windows().find_top_level(&cls, nullptr);
}

HWND AppointmentEditorPart(HWND editor, EditorPart part) {
  EditorState* st = StateOf(editor);
  return st ? st->Part(part) : nullptr;
}

HWND AppointmentEditorMenuBar(HWND editor) {
  EditorState* st = StateOf(editor);
  return st ? st->menu_bar() : nullptr;
}

HRESULT RunAppointmentEditor(calendar::AppointmentFields& fields, bool, bool* deleted) {
  Session& s = Session::current();
  WindowManager& windows = s.windows();
  if (deleted) *deleted = false;
  if (OpenAppointmentEditor()) return S_FALSE;  // one editor at a time

  HWND owner = windows.active();
  HWND old_focus = windows.focus();
  AppointmentFields edited = fields;
  Outcome outcome;
  outcome.fields = &edited;

  RECT work = windows.work_area();
  CreateParams p;
  p.class_name = kEditorClass;
  p.text = fields.occurrence ? u"One occurrence" : u"Appointment";
  p.style = WS_POPUP;
  p.x = work.left;
  p.y = work.top;
  p.width = work.right - work.left;
  p.height = work.bottom - work.top - s.screen().menu_bar_height();
  HWND editor = windows.create(p);
  if (!editor) return E_FAIL;
  std::vector<HWND> disabled = DisableProgramWindows(windows);
  windows.get(editor)->owner = owner;
  auto state = std::make_unique<EditorState>(&outcome, fields);
  EditorState* st = state.get();
  windows.get(editor)->extension = std::move(state);
  st->Build(editor);
  ShowWindow(editor, SW_SHOW);
  SetActiveWindow(editor);
  HWND subject = st->Part(EditorPart::subject);
  SetFocus(subject);
  SendMessageW(subject, EM_SETSEL, static_cast<WPARAM>(GetWindowTextLengthW(subject)), -1);  // typing adds to it

  MSG msg{};
  bool quit = false;
  while (outcome.result == Result::open && windows.is_window(editor)) {
    if (!GetMessageW(&msg, nullptr, 0, 0)) {
      quit = true;
      break;
    }
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }

  // The program's windows come back before the editor goes, so that the
  // owner, not some other window, becomes active again.
  for (HWND h : disabled)
    if (windows.is_window(h)) EnableWindow(h, TRUE);
  if (windows.is_window(editor)) DestroyWindow(editor);
  if (owner && windows.is_window(owner)) SetActiveWindow(owner);
  if (old_focus && windows.is_window(old_focus)) SetFocus(old_focus);
  if (quit) PostQuitMessage(static_cast<int>(msg.wParam));

  switch (outcome.result) {
    case Result::ok:
      fields = edited;
      return S_OK;
    case Result::deleted:
      if (deleted) *deleted = true;
      return S_FALSE;
    default:
      return S_FALSE;
  }
}

}  // namespace platform
