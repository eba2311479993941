// The edit control: editing keys and characters (table-driven), the
// parent's WM_COMMAND notifications (recorded and compared with a table, as
// Wine's edit tests do), caret placement by a tap, the caret on the screen,
// scrolling, wrapping and the text messages.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "platform/controls/edit_control.h"
#include "platform/core/message_queue.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/core/screen.h"
#include "platform/gdi/text.h"
#include "platform/hosts/input.h"
#include "support/test_host.h"

namespace {

using platform::Session;
using platform::controls::EditCaretOnScreen;

constexpr const char16_t* kParentClass = u"EditTestParent";
constexpr int kEditId = 77;

std::vector<WORD> g_codes;  // EN_ codes the parent received, in order

LRESULT CALLBACK ParentProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COMMAND && lp && LOWORD(wp) == kEditId) {
    g_codes.push_back(HIWORD(wp));
    return 0;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

std::string Names(const std::vector<WORD>& codes) {
  std::string out;
  for (WORD c : codes) {
    switch (c) {
      case EN_SETFOCUS: out += "SETFOCUS "; break;
      case EN_KILLFOCUS: out += "KILLFOCUS "; break;
      case EN_UPDATE: out += "UPDATE "; break;
      case EN_CHANGE: out += "CHANGE "; break;
      default: out += std::to_string(c) + " ";
    }
  }
  return out;
}

COLORREF PixelAt(Session& s, int x, int y) { return testing_support::ScreenPixel(s, x, y); }

std::u16string TextOf(HWND edit) {
  WCHAR buffer[512] = {0};
  GetWindowTextW(edit, buffer, 512);
  return buffer;
}

std::pair<DWORD, DWORD> Selection(HWND edit) {
  DWORD start = 99, end = 99;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {start, end};
}

struct Rig {
  explicit Rig(int scale = 1) : platform(testing_support::ScreenOf(scale)) {
    g_codes.clear();
    parent = testing_support::CreateParentWindow(platform, kParentClass, ParentProc, u"Edit test");
  }

  int k() { return platform.session.screen().scale(); }

  HWND MakeEdit(const std::u16string& text, DWORD style = ES_AUTOHSCROLL, int x = 20, int y = 30, int w = 150,
                int h = 20) {
    HWND edit = CreateWindowExW(0, u"EDIT", text.c_str(), WS_CHILD | WS_VISIBLE | WS_BORDER | style, x * k(), y * k(),
                                w * k(), h * k(), parent, reinterpret_cast<HMENU>(static_cast<std::uintptr_t>(kEditId)),
                                platform.instance, nullptr);
    EXPECT_NE(edit, nullptr);
    return edit;
  }

  void Run() {
    MSG m;
    while (GetMessageW(&m, nullptr, 0, 0)) {
      TranslateMessage(&m);
      DispatchMessageW(&m);
    }
  }
  void Then(std::function<void(Session&)> action) { platform.host.then(std::move(action)); }

  testing_support::TestPlatform platform;
  HWND parent = nullptr;
};

// Plays "<name>" keys and plain characters into the control as the message
// loop would deliver them: WM_KEYDOWN for keys, WM_CHAR for characters.
void Play(Session& s, HWND edit, const std::u16string& script) {
  struct Key {
    const char16_t* name;
    WORD vk;
    bool ctrl, shift;
    char16_t ch;  // the character a key produces, if any
  };
  static const Key kKeys[] = {
      {u"<back>", VK_BACK, false, false, u'\b'},     {u"<enter>", VK_RETURN, false, false, u'\r'},
      {u"<del>", VK_DELETE, false, false, 0},        {u"<left>", VK_LEFT, false, false, 0},
      {u"<right>", VK_RIGHT, false, false, 0},       {u"<home>", VK_HOME, false, false, 0},
      {u"<end>", VK_END, false, false, 0},           {u"<up>", VK_UP, false, false, 0},
      {u"<down>", VK_DOWN, false, false, 0},         {u"<c-home>", VK_HOME, true, false, 0},
      {u"<c-end>", VK_END, true, false, 0},          {u"<s-left>", VK_LEFT, false, true, 0},
      {u"<s-home>", VK_HOME, false, true, 0},        {u"<cs-end>", VK_END, true, true, 0},
      {u"<tab>", VK_TAB, false, false, u'\t'},       {u"<esc>", VK_ESCAPE, false, false, 0x1b},
  };
  for (size_t i = 0; i < script.size();) {
    bool matched = false;
    for (const Key& key : kKeys) {
      std::u16string_view name = key.name;
      if (script.compare(i, name.size(), name) != 0) continue;
      s.queue().set_key_down(VK_CONTROL, key.ctrl);
      s.queue().set_key_down(VK_SHIFT, key.shift);
      SendMessageW(edit, WM_KEYDOWN, key.vk, 1);
      if (key.ch) SendMessageW(edit, WM_CHAR, key.ch, 1);
      s.queue().set_key_down(VK_CONTROL, false);
      s.queue().set_key_down(VK_SHIFT, false);
      i += name.size();
      matched = true;
      break;
    }
    if (!matched) SendMessageW(edit, WM_CHAR, script[i++], 1);
  }
}

struct EditCase {
  const char* name;
  DWORD style;
  std::u16string text;
  int sel_start, sel_end;  // set with EM_SETSEL before the keys
  std::u16string keys;
  std::u16string expected;
  DWORD caret;  // where the caret is afterwards (an empty selection)
};

TEST(EditControl, KeysAndCharactersEditTheText) {
  const EditCase cases[] = {
      {"typing inserts at the caret", ES_AUTOHSCROLL, u"abc", 1, 1, u"XY", u"aXYbc", 3},
      {"backspace deletes before the caret", ES_AUTOHSCROLL, u"abc", 3, 3, u"<back>", u"ab", 2},
      {"backspace at the start does nothing", ES_AUTOHSCROLL, u"abc", 0, 0, u"<back>", u"abc", 0},
      {"delete removes after the caret", ES_AUTOHSCROLL, u"abc", 1, 1, u"<del>", u"ac", 1},
      {"delete at the end does nothing", ES_AUTOHSCROLL, u"abc", 3, 3, u"<del>", u"abc", 3},
      {"home then type", ES_AUTOHSCROLL, u"abc", 2, 2, u"<home>Z", u"Zabc", 1},
      {"end then type", ES_AUTOHSCROLL, u"abc", 0, 0, u"<end>Z", u"abcZ", 4},
      {"left stops at the start", ES_AUTOHSCROLL, u"abc", 2, 2, u"<left><left><left>Z", u"Zabc", 1},
      {"right stops at the end", ES_AUTOHSCROLL, u"abc", 1, 1, u"<right><right><right>Z", u"abcZ", 4},
      {"typing replaces the selection", ES_AUTOHSCROLL, u"abcdef", 1, 4, u"Z", u"aZef", 2},
      {"backspace removes the selection", ES_AUTOHSCROLL, u"abcdef", 0, -1, u"<back>", u"", 0},
      {"shift+left selects, typing replaces", ES_AUTOHSCROLL, u"abc", 3, 3, u"<s-left><s-left>Z", u"aZ", 2},
      {"ctrl+shift+end selects to the end", ES_AUTOHSCROLL, u"abc", 1, 1, u"<c-home><cs-end>new", u"new", 3},
      {"left collapses a selection to its start", ES_AUTOHSCROLL, u"abcd", 1, 3, u"<left>Z", u"aZbcd", 2},
      {"enter, tab and escape type nothing in one line", ES_AUTOHSCROLL, u"ab", 1, 1, u"<enter><tab><esc>",
       u"ab", 1},
      {"digits only with ES_NUMBER", ES_AUTOHSCROLL | ES_NUMBER, u"12", 2, 2, u"a3-4", u"1234", 4},
      {"read-only takes no typing", ES_AUTOHSCROLL | ES_READONLY, u"ab", 1, 1, u"X<back><del>", u"ab", 1},
      {"enter breaks the line in multi-line", ES_MULTILINE | ES_WANTRETURN, u"ab", 1, 1, u"<enter>", u"a\r\nb", 3},
      {"backspace joins lines", ES_MULTILINE, u"a\r\nb", 3, 3, u"<back>", u"ab", 1},
      {"right steps over a line break", ES_MULTILINE, u"a\r\nb", 1, 1, u"<right>Z", u"a\r\nZb", 4},
      {"down keeps the column", ES_MULTILINE, u"abc\r\ndef", 1, 1, u"<down>Z", u"abc\r\ndZef", 7},
      {"up on the first line stays", ES_MULTILINE, u"abc\r\ndef", 2, 2, u"<up>Z", u"abZc\r\ndef", 3},
      {"down on the last line stays", ES_MULTILINE, u"abc\r\ndef", 6, 6, u"<down>Z", u"abc\r\ndZef", 7},
      {"end is the end of the line", ES_MULTILINE, u"abc\r\ndef", 0, 0, u"<end>Z", u"abcZ\r\ndef", 4},
      {"ctrl+end is the end of the text", ES_MULTILINE, u"abc\r\ndef", 0, 0, u"<c-end>Z", u"abc\r\ndefZ", 9},
      {"a surrogate pair is one character", ES_AUTOHSCROLL, u"a\U0001F600", 3, 3, u"<back>", u"a", 1},
  };
  for (const EditCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    HWND edit = rig.MakeEdit(c.text, c.style, 10, 30, 200, c.style & ES_MULTILINE ? 80 : 20);
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(c.sel_start), c.sel_end);
    Play(rig.platform.session, edit, c.keys);
    EXPECT_EQ(platform::ToUtf8(TextOf(edit)), platform::ToUtf8(c.expected));
    EXPECT_EQ(Selection(edit), std::make_pair(c.caret, c.caret));
  }
}

struct NotifyCase {
  const char* name;
  DWORD style;
  std::function<void(Session&, HWND)> act;
  std::string expected;
};

TEST(EditControl, ParentHearsOfChangesAsThePlatformTellsIt) {
  const NotifyCase cases[] = {
      {"each typed character", ES_AUTOHSCROLL,
       [](Session& s, HWND e) { Play(s, e, u"ab"); }, "UPDATE CHANGE UPDATE CHANGE "},
      {"a key that changes nothing", ES_AUTOHSCROLL,
       [](Session& s, HWND e) { Play(s, e, u"<back><del><left><home>"); }, ""},
      {"caret placement", ES_AUTOHSCROLL,
       [](Session&, HWND e) { SendMessageW(e, EM_SETSEL, 0, -1); }, ""},
      {"replacing the selection", ES_AUTOHSCROLL,
       [](Session&, HWND e) { SendMessageW(e, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(u"x")); },
       "UPDATE CHANGE "},
      // The platform reports text set by the program in a one-line control, but not in a multi-line one.
      {"set text, one line", ES_AUTOHSCROLL,
       [](Session&, HWND e) { SetWindowTextW(e, u"new"); }, "UPDATE CHANGE "},
      {"set text, multi-line", ES_MULTILINE,
       [](Session&, HWND e) { SetWindowTextW(e, u"new"); }, ""},
      {"focus in and out", ES_AUTOHSCROLL,
       [](Session&, HWND e) {
         SetFocus(e);
         SetFocus(GetParent(e));
       },
       "SETFOCUS KILLFOCUS "},
  };
  for (const NotifyCase& c : cases) {
    SCOPED_TRACE(c.name);
    Rig rig;
    HWND edit = rig.MakeEdit(u"", c.style);
    g_codes.clear();
    c.act(rig.platform.session, edit);
    EXPECT_EQ(Names(g_codes), c.expected);
  }
}

TEST(EditControl, TextMessagesGiveTheTextAndItsLength) {
  Rig rig;
  HWND edit = rig.MakeEdit(u"start");
  EXPECT_EQ(GetWindowTextLengthW(edit), 5);
  SetWindowTextW(edit, u"Hello world");
  EXPECT_EQ(GetWindowTextLengthW(edit), 11);
  WCHAR small[6];
  EXPECT_EQ(GetWindowTextW(edit, small, 6), 5);  // cut to the buffer, terminated
  EXPECT_EQ(std::u16string(small), u"Hello");
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{0}, DWORD{0}));  // new text puts the caret at the start
  SendMessageW(edit, EM_SETSEL, 6, 100);
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{6}, DWORD{11}));
  EXPECT_EQ(SendMessageW(edit, EM_GETSEL, 0, 0), MAKELONG(6, 11));
  SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(-1), 0);  // -1 drops the selection, keeps the caret
  EXPECT_EQ(Selection(edit), std::make_pair(DWORD{11}, DWORD{11}));
}

TEST(EditControl, ATapTakesTheFocusAndPutsTheCaretAtTheNearestBoundary) {
  for (int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    Rig rig(scale);
    HWND edit = rig.MakeEdit(u"abcdef");
    HWND other = rig.MakeEdit(u"", ES_AUTOHSCROLL, 20, 80);
    SetFocus(other);
    g_codes.clear();
    Session& s = rig.platform.session;
    platform::FontSpec font = platform::GdiObjects::of(s).font_spec(platform::GdiObjects::of(s).system_font());
    RECT r = s.windows().client_rect_on_screen(edit);
    // Just right of the boundary between "abc" and "def".
    int x = r.left + 2 * rig.k() + platform::MeasureText(font, u"abc").width + 1;
    std::pair<DWORD, DWORD> after_tap;
    HWND focus_after = nullptr;
    rig.Then([&](Session& ss) { platform::PostTap(ss, x, (r.top + r.bottom) / 2); });
    rig.Then([&](Session& ss) {
      after_tap = Selection(edit);
      focus_after = ss.windows().focus();
    });
    rig.Run();
    EXPECT_EQ(after_tap, std::make_pair(DWORD{3}, DWORD{3}));
    EXPECT_EQ(focus_after, edit);
    EXPECT_EQ(Names(g_codes), "KILLFOCUS SETFOCUS ");  // the other field's, then this one's
  }
}

TEST(EditControl, TypedKeysThroughTheQueueReachTheFocusedControl) {
  Rig rig;
  HWND edit = rig.MakeEdit(u"");
  SetFocus(edit);
  g_codes.clear();
  std::u16string seen;
  rig.Then([](Session& s) {
    platform::PostKeys(s, "H");
    platform::PostKeys(s, "i");
    platform::PostKeys(s, "space");
    platform::PostKeys(s, "7");
  });
  rig.Then([&](Session&) { seen = TextOf(edit); });
  rig.Run();
  EXPECT_EQ(platform::ToUtf8(seen), "Hi 7");
}

TEST(EditControl, TheCaretIsDrawnAtTheInsertionPointOnlyWhileFocused) {
  Rig rig;
  HWND edit = rig.MakeEdit(u"ab  ");
  HWND other = rig.MakeEdit(u"", ES_AUTOHSCROLL, 20, 80);
  SendMessageW(edit, EM_SETSEL, 4, 4);  // after the blanks, where no glyph touches the caret
  Session& s = rig.platform.session;
  platform::FontSpec font = platform::GdiObjects::of(s).font_spec(platform::GdiObjects::of(s).system_font());
  COLORREF focused = 0, unfocused = 0;
  POINT caret{};
  RECT r{};
  rig.Then([&](Session&) { SetFocus(edit); });
  rig.Then([&](Session& ss) {
    caret = *EditCaretOnScreen(edit);
    r = ss.windows().client_rect_on_screen(edit);
    focused = PixelAt(ss, caret.x, caret.y + 2);
    SetFocus(other);
  });
  rig.Then([&](Session& ss) { unfocused = PixelAt(ss, caret.x, caret.y + 2); });
  rig.Run();
  EXPECT_EQ(caret.x, r.left + 2 + platform::MeasureText(font, u"ab  ").width);
  EXPECT_EQ(focused, GetSysColor(COLOR_WINDOWTEXT));
  EXPECT_EQ(unfocused, GetSysColor(COLOR_WINDOW));
}

TEST(EditControl, ASelectionIsHighlightedWhileFocused) {
  Rig rig;
  HWND edit = rig.MakeEdit(u"abcdef");
  COLORREF inside = 0;
  rig.Then([&](Session&) {
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
  });
  rig.Then([&](Session& ss) {
    RECT r = ss.windows().client_rect_on_screen(edit);
    // The top row of the line, above the glyphs' ink: the highlight only.
    POINT caret = *EditCaretOnScreen(edit);
    inside = PixelAt(ss, r.left + 3, caret.y);
  });
  rig.Run();
  EXPECT_EQ(inside, GetSysColor(COLOR_HIGHLIGHT));
}

TEST(EditControl, OneLineScrollsToKeepTheCaretInViewOrRefusesWithoutAutoScroll) {
  Rig rig;
  Session& s = rig.platform.session;
  HWND scrolling = rig.MakeEdit(u"", ES_AUTOHSCROLL, 20, 30, 60);
  HWND fixed = rig.MakeEdit(u"", 0, 20, 60, 60);
  std::u16string long_text(40, u'w');
  Play(s, scrolling, long_text);
  Play(s, fixed, long_text);
  EXPECT_EQ(GetWindowTextLengthW(scrolling), 40);
  RECT r = s.windows().client_rect_on_screen(scrolling);
  POINT caret = *EditCaretOnScreen(scrolling);
  EXPECT_GE(caret.x, r.left);
  EXPECT_LT(caret.x, r.right);
  // Without ES_AUTOHSCROLL the text stops where the field ends.
  platform::FontSpec font = platform::GdiObjects::of(s).font_spec(platform::GdiObjects::of(s).system_font());
  int kept = GetWindowTextLengthW(fixed);
  EXPECT_GT(kept, 0);
  EXPECT_LT(kept, 40);
  RECT f = s.windows().client_rect(fixed);
  EXPECT_LE(platform::MeasureText(font, TextOf(fixed)).width, f.right - 4);
  EXPECT_GT(platform::MeasureText(font, TextOf(fixed) + u"w").width, f.right - 4);
  // Home scrolls back to the start.
  Play(s, scrolling, u"<home>");
  EXPECT_EQ(EditCaretOnScreen(scrolling)->x, r.left + 2);
}

TEST(EditControl, MultiLineWrapsWordsAndScrollsByLines) {
  Rig rig;
  Session& s = rig.platform.session;
  HWND wrapping = rig.MakeEdit(u"one two three four five six seven eight", ES_MULTILINE, 20, 30, 60, 40);
  HWND unwrapped =
      rig.MakeEdit(u"one two three four five six seven eight", ES_MULTILINE | ES_AUTOHSCROLL, 20, 80, 60, 40);
  EXPECT_GT(SendMessageW(wrapping, EM_GETLINECOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(unwrapped, EM_GETLINECOUNT, 0, 0), 1);

  HWND lines = rig.MakeEdit(u"", ES_MULTILINE | ES_WANTRETURN, 20, 130, 100, 40);
  Play(s, lines, u"1<enter>2<enter>3<enter>4<enter>5<enter>6<enter>7");
  EXPECT_EQ(SendMessageW(lines, EM_GETLINECOUNT, 0, 0), 7);
  RECT r = s.windows().client_rect_on_screen(lines);
  POINT caret = *EditCaretOnScreen(lines);
  EXPECT_GE(caret.y, r.top);
  EXPECT_LT(caret.y, r.bottom);
  Play(s, lines, u"<c-home>");
  caret = *EditCaretOnScreen(lines);
  EXPECT_EQ(caret.x, r.left + 2);
  EXPECT_LE(caret.y, r.top + 2);  // back on the first line, scrolled to the top
}

}  // namespace
