// The edit control: editing keys and characters (table-driven), the
// parent's WM_COMMAND notifications, caret placement by a tap, the caret and
// the selection on the screen, scrolling, wrapping and the text messages.
#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include <windows.h>

#include "platform/controls/edit_control.h"
#include "platform/core/message_queue.h"
#include "platform/core/screen.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/text.h"
#include "platform/hosts/input.h"
#include "support/message_log.h"

namespace {

using platform::Session;
using platform::controls::EditCaretOnScreen;
using namespace testing_support;

std::pair<DWORD, DWORD> Selection(HWND edit) {
  DWORD start = 99, end = 99;
  SendMessageW(edit, EM_GETSEL, reinterpret_cast<WPARAM>(&start), reinterpret_cast<LPARAM>(&end));
  return {start, end};
}

int TextWidth(const std::u16string& text) {
  auto& gdi = platform::GdiObjects::of(Session::current());
  return platform::MeasureText(gdi.font_spec(gdi.system_font()), text).width;
}

// The rig's parent, hearing WM_COMMAND only.
struct EditRig : ControlRig {
  explicit EditRig(int scale = 1) : ControlRig(ScreenOf(scale)) { log.keep_only({WM_COMMAND}); }
  HWND edit(const std::u16string& text, DWORD style = ES_AUTOHSCROLL, int x = 20, int y = 30, int w = 150, int h = 20) {
    return create(u"EDIT", WS_BORDER | style, x, y, w, h, text.c_str());
  }
};

// Plays "<name>" keys and plain characters into the control as the message
// loop would deliver them: WM_KEYDOWN for keys, WM_CHAR for characters.
void Play(HWND edit, const std::u16string& script) {
  struct Key {
    const char16_t* name;
    WORD vk;
    bool ctrl, shift;
    char16_t ch;  // the character a key produces, if any
  };
  static const Key kKeys[] = {
      {u"<back>", VK_BACK, false, false, u'\b'}, {u"<enter>", VK_RETURN, false, false, u'\r'},
      {u"<del>", VK_DELETE, false, false, 0},    {u"<left>", VK_LEFT, false, false, 0},
      {u"<right>", VK_RIGHT, false, false, 0},   {u"<home>", VK_HOME, false, false, 0},
      {u"<end>", VK_END, false, false, 0},       {u"<up>", VK_UP, false, false, 0},
      {u"<down>", VK_DOWN, false, false, 0},     {u"<c-home>", VK_HOME, true, false, 0},
      {u"<c-end>", VK_END, true, false, 0},      {u"<s-left>", VK_LEFT, false, true, 0},
      {u"<cs-end>", VK_END, true, true, 0},      {u"<tab>", VK_TAB, false, false, u'\t'},
      {u"<esc>", VK_ESCAPE, false, false, 0x1b},
  };
  auto& queue = Session::current().queue();
  for (size_t i = 0; i < script.size();) {
    const Key* key = nullptr;
    for (const Key& k : kKeys)
      if (script.compare(i, std::u16string_view(k.name).size(), k.name) == 0) key = &k;
    if (!key) {
      SendMessageW(edit, WM_CHAR, script[i++], 1);
      continue;
    }
    queue.set_key_down(VK_CONTROL, key->ctrl);
    queue.set_key_down(VK_SHIFT, key->shift);
    SendMessageW(edit, WM_KEYDOWN, key->vk, 1);
    if (key->ch) SendMessageW(edit, WM_CHAR, key->ch, 1);
    queue.set_key_down(VK_CONTROL, false);
    queue.set_key_down(VK_SHIFT, false);
    i += std::u16string_view(key->name).size();
  }
}

TEST(EditControl, KeysAndCharactersEditTheText) {
  constexpr DWORD kOne = ES_AUTOHSCROLL, kMulti = ES_MULTILINE;
  struct Case {
    const char* name;
    DWORD style;
    std::u16string text;
    int sel_start, sel_end;  // set with EM_SETSEL before the keys
    std::u16string keys, expected;
    DWORD caret;  // where the caret is afterwards (an empty selection)
  } cases[] = {
      {"typing inserts at the caret", kOne, u"abc", 1, 1, u"XY", u"aXYbc", 3},
      {"backspace deletes before the caret", kOne, u"abc", 3, 3, u"<back>", u"ab", 2},
      {"backspace at the start does nothing", kOne, u"abc", 0, 0, u"<back>", u"abc", 0},
      {"delete removes after the caret", kOne, u"abc", 1, 1, u"<del>", u"ac", 1},
      {"delete at the end does nothing", kOne, u"abc", 3, 3, u"<del>", u"abc", 3},
      {"home then type", kOne, u"abc", 2, 2, u"<home>Z", u"Zabc", 1},
      {"end then type", kOne, u"abc", 0, 0, u"<end>Z", u"abcZ", 4},
      {"left stops at the start", kOne, u"abc", 2, 2, u"<left><left><left>Z", u"Zabc", 1},
      {"right stops at the end", kOne, u"abc", 1, 1, u"<right><right><right>Z", u"abcZ", 4},
      {"typing replaces the selection", kOne, u"abcdef", 1, 4, u"Z", u"aZef", 2},
      {"backspace removes the selection", kOne, u"abcdef", 0, -1, u"<back>", u"", 0},
      {"shift+left selects, typing replaces", kOne, u"abc", 3, 3, u"<s-left><s-left>Z", u"aZ", 2},
      {"ctrl+shift+end selects to the end", kOne, u"abc", 1, 1, u"<c-home><cs-end>new", u"new", 3},
      {"left collapses a selection to its start", kOne, u"abcd", 1, 3, u"<left>Z", u"aZbcd", 2},
      {"enter, tab and escape type nothing in one line", kOne, u"ab", 1, 1, u"<enter><tab><esc>", u"ab", 1},
      {"digits only with ES_NUMBER", kOne | ES_NUMBER, u"12", 2, 2, u"a3-4", u"1234", 4},
      {"read-only takes no typing", kOne | ES_READONLY, u"ab", 1, 1, u"X<back><del>", u"ab", 1},
      {"enter breaks the line in multi-line", kMulti | ES_WANTRETURN, u"ab", 1, 1, u"<enter>", u"a\r\nb", 3},
      {"backspace joins lines", kMulti, u"a\r\nb", 3, 3, u"<back>", u"ab", 1},
      {"right steps over a line break", kMulti, u"a\r\nb", 1, 1, u"<right>Z", u"a\r\nZb", 4},
      {"right before a bare line feed is one step", kMulti, u"a\nb", 0, 0, u"<right>Z", u"aZ\nb", 2},
      {"down keeps the column", kMulti, u"abc\r\ndef", 1, 1, u"<down>Z", u"abc\r\ndZef", 7},
      {"up on the first line stays", kMulti, u"abc\r\ndef", 2, 2, u"<up>Z", u"abZc\r\ndef", 3},
      {"down on the last line stays", kMulti, u"abc\r\ndef", 6, 6, u"<down>Z", u"abc\r\ndZef", 7},
      {"end is the end of the line", kMulti, u"abc\r\ndef", 0, 0, u"<end>Z", u"abcZ\r\ndef", 4},
      {"ctrl+end is the end of the text", kMulti, u"abc\r\ndef", 0, 0, u"<c-end>Z", u"abc\r\ndefZ", 9},
      {"a surrogate pair is one character", kOne, u"a\U0001F600", 3, 3, u"<back>", u"a", 1},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    EditRig rig;
    HWND edit = rig.edit(c.text, c.style, 10, 30, 200, c.style & ES_MULTILINE ? 80 : 20);
    SendMessageW(edit, EM_SETSEL, static_cast<WPARAM>(c.sel_start), c.sel_end);
    Play(edit, c.keys);
    EXPECT_EQ(platform::ToUtf8(WindowText(edit)), platform::ToUtf8(c.expected));
    EXPECT_EQ(Selection(edit), std::make_pair(c.caret, c.caret));
  }
}

TEST(EditControl, ParentHearsOfChangesAsThePlatformTellsIt) {
  struct Case { const char* name; DWORD style; std::function<void(HWND)> act; std::vector<WORD> expected; } cases[] = {
      {"each typed character", ES_AUTOHSCROLL, [](HWND e) { Play(e, u"ab"); },
       {EN_UPDATE, EN_CHANGE, EN_UPDATE, EN_CHANGE}},
      {"a key that changes nothing", ES_AUTOHSCROLL, [](HWND e) { Play(e, u"<back><del><left><home>"); }, {}},
      {"caret placement", ES_AUTOHSCROLL, [](HWND e) { SendMessageW(e, EM_SETSEL, 0, -1); }, {}},
      {"replacing the selection", ES_AUTOHSCROLL,
       [](HWND e) { SendMessageW(e, EM_REPLACESEL, 0, reinterpret_cast<LPARAM>(u"x")); }, {EN_UPDATE, EN_CHANGE}},
      // Text set by the program is reported in a one-line control, not in a multi-line one.
      {"set text, one line", ES_AUTOHSCROLL, [](HWND e) { SetWindowTextW(e, u"new"); }, {EN_UPDATE, EN_CHANGE}},
      {"set text, multi-line", ES_MULTILINE, [](HWND e) { SetWindowTextW(e, u"new"); }, {}},
  };  // the focus's EN_KILLFOCUS and EN_SETFOCUS: ATapFocusesAndPlacesTheCaretWhereTypedKeysGo
  for (const Case& c : cases) {
    EditRig rig;
    HWND edit = rig.edit(u"", c.style);
    rig.log.entries.clear();
    c.act(edit);
    ExpectSequence(rig.log, Commands(c.expected), c.name);
  }
}

TEST(EditControl, TextMessagesGiveTheTextAndItsLength) {
  EditRig rig;
  HWND edit = rig.edit(u"start");
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

TEST(EditControl, ATapFocusesAndPlacesTheCaretWhereTypedKeysGo) {
  for (int scale : {1, 2}) {
    SCOPED_TRACE(scale);
    EditRig rig(scale);
    HWND edit = rig.edit(u"abcdef");
    HWND other = rig.edit(u"", ES_AUTOHSCROLL, 20, 80);
    SetFocus(other);
    rig.log.entries.clear();
    RECT r = rig.session().windows().client_rect_on_screen(edit);
    // Just right of the boundary between "abc" and "def".
    int x = r.left + 2 * rig.k() + TextWidth(u"abc") + 1;
    rig.then([&](Session& s) { platform::PostTap(s, x, (r.top + r.bottom) / 2); });
    rig.then([&](Session& s) {
      EXPECT_EQ(Selection(edit), std::make_pair(DWORD{3}, DWORD{3}));
      EXPECT_EQ(s.windows().focus(), edit);
      ExpectSequence(rig.log, Commands({EN_KILLFOCUS, EN_SETFOCUS}), "the other field's, then this one's");
      for (const char* key : {"H", "i", "space", "7"}) platform::PostKeys(s, key);
    });
    rig.then([&](Session&) { EXPECT_EQ(platform::ToUtf8(WindowText(edit)), "abcHi 7def"); });
    rig.run();
  }
}

TEST(EditControl, TheCaretAndTheSelectionAreDrawnOnlyWhileFocused) {
  EditRig rig;
  HWND edit = rig.edit(u"ab  ");
  HWND other = rig.edit(u"", ES_AUTOHSCROLL, 20, 80);
  SendMessageW(edit, EM_SETSEL, 4, 4);  // after the blanks, where no glyph touches the caret
  RECT r = rig.session().windows().client_rect_on_screen(edit);
  POINT caret{};
  rig.then([&](Session&) { SetFocus(edit); });
  rig.then([&](Session& s) {
    caret = *EditCaretOnScreen(edit);
    EXPECT_EQ(caret.x, r.left + 2 + TextWidth(u"ab  "));
    EXPECT_EQ(ScreenPixel(s, caret.x, caret.y + 2), GetSysColor(COLOR_WINDOWTEXT));
    SetFocus(other);
  });
  rig.then([&](Session& s) {
    EXPECT_EQ(ScreenPixel(s, caret.x, caret.y + 2), GetSysColor(COLOR_WINDOW));
    SetFocus(edit);
    SendMessageW(edit, EM_SETSEL, 0, -1);
  });
  // The top row of the line, above the glyphs' ink: the highlight only.
  rig.then([&](Session& s) { EXPECT_EQ(ScreenPixel(s, r.left + 3, caret.y), GetSysColor(COLOR_HIGHLIGHT)); });
  rig.run();
}

// One line scrolls to keep the caret in view, or without ES_AUTOHSCROLL
// refuses text past the field's end; multi-line wraps words unless it
// scrolls, and scrolls by lines.
TEST(EditControl, TextBeyondTheFieldScrollsWrapsOrIsRefused) {
  EditRig rig;
  HWND scrolling = rig.edit(u"", ES_AUTOHSCROLL, 20, 30, 60);
  HWND fixed = rig.edit(u"", 0, 20, 60, 60);
  std::u16string long_text(40, u'w');
  Play(scrolling, long_text);
  Play(fixed, long_text);
  EXPECT_EQ(GetWindowTextLengthW(scrolling), 40);
  RECT r = rig.session().windows().client_rect_on_screen(scrolling);
  POINT caret = *EditCaretOnScreen(scrolling);
  EXPECT_GE(caret.x, r.left);
  EXPECT_LT(caret.x, r.right);
  RECT f = rig.session().windows().client_rect(fixed);
  EXPECT_GT(GetWindowTextLengthW(fixed), 0);
  EXPECT_LE(TextWidth(WindowText(fixed)), f.right - 4);
  EXPECT_GT(TextWidth(WindowText(fixed) + u"w"), f.right - 4);
  Play(scrolling, u"<home>");
  EXPECT_EQ(EditCaretOnScreen(scrolling)->x, r.left + 2) << "home scrolls back to the start";

  const char16_t* words = u"one two three four five six seven eight";
  EXPECT_GT(SendMessageW(rig.edit(words, ES_MULTILINE, 20, 90, 60, 40), EM_GETLINECOUNT, 0, 0), 2);
  EXPECT_EQ(SendMessageW(rig.edit(words, ES_MULTILINE | ES_AUTOHSCROLL, 20, 140, 60, 40), EM_GETLINECOUNT, 0, 0), 1);
  HWND lines = rig.edit(u"", ES_MULTILINE | ES_WANTRETURN, 20, 190, 100, 40);
  Play(lines, u"1<enter>2<enter>3<enter>4<enter>5<enter>6<enter>7");
  EXPECT_EQ(SendMessageW(lines, EM_GETLINECOUNT, 0, 0), 7);
  r = rig.session().windows().client_rect_on_screen(lines);
  caret = *EditCaretOnScreen(lines);
  EXPECT_GE(caret.y, r.top);
  EXPECT_LT(caret.y, r.bottom);
  Play(lines, u"<c-home>");
  caret = *EditCaretOnScreen(lines);
  EXPECT_EQ(caret.x, r.left + 2);
  EXPECT_LE(caret.y, r.top + 2);  // back on the first line, scrolled to the top
}

}  // namespace
