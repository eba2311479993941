// The appointment editor as a person uses it: taps on its fields, typed
// text, the date picker's calendar, the ok soft key and the Menu's Cancel
// and Delete; what it gives back; how it keeps the program's windows out of
// reach while open; and how it looks at both screen sizes.
#include <gtest/gtest.h>

#include <windows.h>

#include <functional>
#include <string>

#include "platform/calendar/calendar_store.h"
#include "platform/controls/control_probes.h"
#include "platform/core/message_queue.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/core/screen.h"
#include "platform/gdi/text.h"
#include "platform/hosts/input.h"
#include "platform/pocket_outlook/appointment_editor.h"
#include "platform/pocket_outlook/poom_objects.h"
#include "platform/shell/menu_bar.h"
#include "platform/shell/message_box.h"
#include "platform/shell/shell_state.h"
#include "support/test_host.h"

namespace {

using namespace testing_support;
using platform::AppointmentEditorMenuBar;
using platform::AppointmentEditorPart;
using platform::EditorPart;
using platform::OpenAppointmentEditor;
using platform::Session;
using platform::calendar::AppointmentFields;

constexpr const char16_t* kMainClass = u"EditorTestMain";

HWND Part(EditorPart part) { return AppointmentEditorPart(OpenAppointmentEditor(), part); }

AppointmentFields Sample() {
  return {.subject = u"Old subject", .body = u"first\nsecond", .categories = u"North",
          .start = {2026, 12, 3, 10, 0, 0}, .duration_minutes = 30, .all_day = false};
}

// A program's main window, active and focused, and the editor run over it
// while the host plays the queued actions.
struct Rig {
  explicit Rig(int scale = 1) : platform(testing_support::ScreenOf(scale)) {
    main = testing_support::CreateParentWindow(platform, kMainClass, DefWindowProcW, u"Program");
    field = CreateWindowExW(0, u"EDIT", u"", WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 100, 20, main, nullptr,
                            platform.instance, nullptr);
    SetActiveWindow(main);
    SetFocus(field);
  }

  void Then(std::function<void(Session&)> action) { platform.host.then(std::move(action)); }
  // Tap the field, select all its text with the keys and type over it.
  void TypeInto(EditorPart part, const std::string& text) {
    Then([part](Session& s) { TapCentre(s, s.windows().window_rect_on_screen(Part(part))); });
    Then([text](Session& s) {
      for (const char* key : {"ctrl+home", "ctrl+shift+end"}) platform::PostKeys(s, key);
      for (char c : text) {
        if (std::isalnum(static_cast<unsigned char>(c)))
          platform::PostKeys(s, std::string(1, c));
        else if (c == ' ')
          platform::PostKeys(s, "space");
        else
          s.queue().post_input(WM_CHAR, static_cast<WPARAM>(c), 1);
      }
    });
  }
  void TapSoftKey(int index) {
    Then([index](Session& s) {
      TapCentre(s, *platform::MenuBarButtonOnScreen(AppointmentEditorMenuBar(OpenAppointmentEditor()), index));
    });
  }
  void ChooseFromMenu(const std::u16string& text) {
    TapSoftKey(1);
    Then([text](Session& s) {
      for (const auto& item : platform::ShellState::of(s).open_menu)
        if (item.text == text) TapCentre(s, item.screen_rect);
    });
  }
  // Through Display's editor, which every session has from the start; runs
  // it on `fields` (Sample() if not given) with `deleted` first set to `deleted`.
  struct Result { HRESULT hr; AppointmentFields fields; bool deleted; };
  Result Open(AppointmentFields fields = Sample(), bool deleted = false) {
    const HRESULT hr = platform::PocketOutlook::of(platform.session).editor(fields, false, &deleted);
    return {hr, fields, deleted};
  }

  testing_support::TestPlatform platform;
  HWND main = nullptr;
  HWND field = nullptr;
};

TEST(AppointmentEditor, OkWritesEveryFieldBackAsTyped) {
  Rig rig;
  rig.TypeInto(EditorPart::subject, "Board meeting");
  rig.TypeInto(EditorPart::start_time, "14:45");
  rig.TypeInto(EditorPart::duration, "90");
  rig.TypeInto(EditorPart::categories, "South,Travel");
  rig.Then([](Session& s) { TapCentre(s, s.windows().window_rect_on_screen(Part(EditorPart::start_date))); });
  rig.Then([](Session& s) { TapCentre(s, *platform::controls::DatePickerDayOnScreen(Part(EditorPart::start_date), 5)); });
  // The notes show their lines; a new line comes back as a line feed.
  std::u16string notes_shown;
  rig.Then([&](Session& s) {
    notes_shown = WindowText(Part(EditorPart::notes));
    TapCentre(s, s.windows().window_rect_on_screen(Part(EditorPart::notes)));
  });
  rig.Then([](Session& s) {
    for (const char* key : {"ctrl+end", "enter", "x"}) platform::PostKeys(s, key);
  });
  rig.TapSoftKey(0);
  const auto [hr, fields, deleted] = rig.Open(Sample(), true);
  EXPECT_EQ(hr, S_OK);
  EXPECT_FALSE(deleted);
  const AppointmentFields typed{.subject = u"Board meeting", .body = u"first\nsecond\nx", .categories = u"South,Travel",
                                .start = {2026, 12, 5, 14, 45, 0}, .duration_minutes = 90, .all_day = false};
  EXPECT_EQ(fields, typed);
  EXPECT_EQ(platform::ToUtf8(notes_shown), "first\r\nsecond");
}

TEST(AppointmentEditor, TimeAndDurationThatDoNotParseKeepTheirOldValues) {
  struct Case { const char* time; const char* duration; int hour, minute, minutes; } cases[] = {
      {"9:05", "45", 9, 5, 45},     {"07:30", "0", 7, 30, 0},   {"25:00", "", 10, 0, 30},
      {"10:60", "120", 10, 0, 120}, {"", "15", 10, 0, 15},      {"1030", "30", 10, 0, 30},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.time);
    Rig rig;
    rig.Then([&](Session&) {
      SetWindowTextW(Part(EditorPart::start_time), platform::FromUtf8(c.time).c_str());
      SetWindowTextW(Part(EditorPart::duration), platform::FromUtf8(c.duration).c_str());
    });
    rig.TapSoftKey(0);
    AppointmentFields sample = Sample();
    sample.start.second = 30;
    const auto [hr, fields, deleted] = rig.Open(sample);
    ASSERT_EQ(hr, S_OK);
    bool unchanged = c.hour == 10 && c.minute == 0;
    EXPECT_EQ(fields.start, (platform::calendar::LocalDateTime{2026, 12, 3, c.hour, c.minute, unchanged ? 30 : 0}));
    EXPECT_EQ(fields.duration_minutes, c.minutes);
  }
}

// Cancel, Delete and a quit request close it without touching the fields;
// the quit request is posted again for the program's own loop. Delete asks
// first: No goes back to the editor, which is then cancelled here.
TEST(AppointmentEditor, CancelDeleteAndQuitLeaveTheFieldsAsTheyWere) {
  // item nullptr: a quit request instead; answer: the button tapped in Delete's question.
  struct Case { const char16_t* item; int answer; bool deleted; } cases[] = {
      {u"Cancel", 0, false}, {u"Delete", IDYES, true}, {u"Delete", IDNO, false}, {nullptr, 0, false}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.item ? platform::ToUtf8(c.item) + std::to_string(c.answer) : "quit");
    Rig rig;
    rig.TypeInto(EditorPart::subject, "Changed");
    c.item ? rig.ChooseFromMenu(c.item) : rig.Then([](Session&) { PostQuitMessage(7); });
    bool asked = false, editor_after_no = false;
    if (c.answer) {
      rig.Then([&](Session& s) {
        auto button = platform::MessageBoxButtonOnScreen(c.answer);
        asked = button.has_value();
        if (button) TapCentre(s, *button);
      });
    }
    if (c.answer == IDNO) {
      rig.Then([&](Session&) { editor_after_no = !platform::OpenMessageBox() && platform::OpenAppointmentEditor(); });
      rig.ChooseFromMenu(u"Cancel");
    }
    const auto [hr, fields, deleted] = rig.Open(Sample(), !c.deleted);
    EXPECT_EQ(hr, S_FALSE);
    EXPECT_EQ(asked, c.answer != 0);
    EXPECT_EQ(editor_after_no, c.answer == IDNO);
    EXPECT_EQ(deleted, c.deleted);
    EXPECT_EQ(fields, Sample());
    MSG m{};
    EXPECT_EQ(PeekMessageW(&m, nullptr, 0, 0, PM_REMOVE) && m.message == WM_QUIT && m.wParam == 7, !c.item);
  }
}

// The editor is the active window, titled for what it edits (one
// occurrence of a series says so).
TEST(AppointmentEditor, WhileOpenTheProgramIsOutOfReachAndComesBackAfter) {
  for (const auto& [occurrence, title] : {std::pair{false, "Appointment"}, std::pair{true, "One occurrence"}}) {
    SCOPED_TRACE(title);
    Rig rig;
    bool main_enabled = true;
    std::u16string active_title;
    HWND focus = nullptr, subject = nullptr;
    RECT editor_rect{};
    rig.Then([&](Session& s) {
      main_enabled = IsWindowEnabled(rig.main) != FALSE;
      active_title = s.windows().get(s.windows().active())->text;
      focus = s.windows().focus();
      subject = Part(EditorPart::subject);
      editor_rect = s.windows().window_rect_on_screen(OpenAppointmentEditor());
      // Keys typed now go to the editor, not to the program's field below it.
      platform::PostKeys(s, "q");
    });
    rig.TapSoftKey(0);
    AppointmentFields sample = Sample();
    sample.occurrence = occurrence;
    const auto [hr, fields, deleted] = rig.Open(sample);
    ASSERT_EQ(hr, S_OK);
    Session& s = rig.platform.session;
    EXPECT_FALSE(main_enabled);
    EXPECT_EQ(platform::ToUtf8(active_title), title);
    EXPECT_EQ(focus, subject);
    EXPECT_EQ(editor_rect.top, s.screen().nav_bar_height());
    EXPECT_EQ(editor_rect.bottom, s.screen().height() - s.screen().menu_bar_height());
    EXPECT_EQ(editor_rect.right - editor_rect.left, s.screen().width());
    EXPECT_EQ(platform::ToUtf8(fields.subject), "Old subjectq");  // the caret starts after the subject
    EXPECT_EQ(platform::ToUtf8(fields.body), "first\nsecond");    // untouched notes keep their line breaks
    EXPECT_TRUE(WindowText(rig.field).empty());
    // Afterwards: the program is enabled, active and focused where it was.
    EXPECT_TRUE(IsWindowEnabled(rig.main));
    EXPECT_EQ(s.windows().active(), rig.main);
    EXPECT_EQ(s.windows().focus(), rig.field);
    EXPECT_EQ(OpenAppointmentEditor(), nullptr);
  }
}

TEST(AppointmentEditor, LooksTheSameAtBothScreenSizes) {
  for (int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    Rig rig(scale);
    COLORREF rule = 0, bar_edge = 0, background = 0;
    bool label_ink = false;
    rig.Then([&](Session& ss) {
      int k = ss.screen().scale(), top = ss.screen().nav_bar_height();
      RECT subject = ss.windows().window_rect_on_screen(Part(EditorPart::subject));
      EXPECT_EQ(subject.left, 70 * k);
      EXPECT_EQ(subject.bottom - subject.top, 20 * k);
      rule = ScreenPixel(ss, 2 * k, top + 4 * k + 24 * k - 2 * k);  // the rule under the Subject row
      bar_edge = ScreenPixel(ss, 10 * k, ss.screen().height() - ss.screen().menu_bar_height());
      background = ScreenPixel(ss, 60 * k, top + 2 * k);
      // Dark ink of the "Subject:" label left of the field.
      for (int x = 4 * k; x < 40 * k; ++x)
        for (int y = subject.top; y < subject.bottom; ++y)
          if (GetRValue(ScreenPixel(ss, x, y)) < 0x60) label_ink = true;
    });
    rig.ChooseFromMenu(u"Cancel");
    rig.Open();
    EXPECT_EQ(rule, RGB(0xd8, 0xd8, 0xd8));
    EXPECT_EQ(bar_edge, RGB(0x80, 0x80, 0x80));
    EXPECT_EQ(background, GetSysColor(COLOR_WINDOW));
    EXPECT_TRUE(label_ink);
  }
}

}  // namespace
