// The interactive window's input, driven with synthetic SDL events: what
// each event becomes, and typed text arriving in the editor as written.
#include <gtest/gtest.h>

#include <windows.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/base/utf.h"
#include "platform/core/message_queue.h"
#include "platform/hosts/sdl_input.h"
#include "support/message_log.h"

namespace {

using platform::InputMessage;
using platform::kKeyCharFromHost;

SDL_Event Key(Uint32 type, SDL_Keycode sym, Uint16 mod = 0, Uint8 repeat = 0) {
  SDL_Event e{};
  e.type = type;
  e.key.keysym.sym = sym;
  e.key.keysym.mod = mod;
  e.key.repeat = repeat;
  return e;
}

SDL_Event Text(const char* utf8) {
  SDL_Event e{};
  e.type = SDL_TEXTINPUT;
  std::strncpy(e.text.text, utf8, sizeof e.text.text - 1);
  return e;
}

SDL_Event Button(Uint32 type, int x, int y) {
  SDL_Event e{};
  e.type = type;
  e.button.button = SDL_BUTTON_LEFT;
  e.button.x = x;
  e.button.y = y;
  return e;
}

SDL_Event Motion(int x, int y) {
  SDL_Event e{};
  e.type = SDL_MOUSEMOTION;
  e.motion.x = x;
  e.motion.y = y;
  return e;
}

constexpr LPARAM kUp = static_cast<LPARAM>(0xC0000001u);
constexpr LPARAM kRepeat = LPARAM{1} << 30;

TEST(SdlInput, EachEventBecomesTheDevicesMessages) {
  // Played in order through one state at zoom 2, so that held buttons and
  // Ctrl carry over from row to row.
  struct Row {
    const char* what;
    SDL_Event event;
    std::vector<InputMessage> expected;
  } rows[] = {
      {"drag without a button", Motion(40, 60), {}},
      {"button down, halved", Button(SDL_MOUSEBUTTONDOWN, 41, 61), {{WM_LBUTTONDOWN, MK_LBUTTON, MAKELPARAM(20, 30)}}},
      {"drag with the button", Motion(50, 70), {{WM_MOUSEMOVE, MK_LBUTTON, MAKELPARAM(25, 35)}}},
      {"button up", Button(SDL_MOUSEBUTTONUP, 50, 70), {{WM_LBUTTONUP, 0, MAKELPARAM(25, 35)}}},
      {"drag after release", Motion(52, 72), {}},
      {"letter: its text comes apart", Key(SDL_KEYDOWN, SDLK_s), {{WM_KEYDOWN, 'S', 1 | kKeyCharFromHost}}},
      {"held letter repeats", Key(SDL_KEYDOWN, SDLK_s, 0, 1), {{WM_KEYDOWN, 'S', 1 | kRepeat | kKeyCharFromHost}}},
      {"digit", Key(SDL_KEYDOWN, SDLK_7, KMOD_LSHIFT), {{WM_KEYDOWN, '7', 1 | kKeyCharFromHost}}},
      {"space", Key(SDL_KEYDOWN, SDLK_SPACE), {{WM_KEYDOWN, VK_SPACE, 1 | kKeyCharFromHost}}},
      {"backspace types no text", Key(SDL_KEYDOWN, SDLK_BACKSPACE), {{WM_KEYDOWN, VK_BACK, 1}}},
      {"a key the device lacks", Key(SDL_KEYDOWN, SDLK_F5), {}},
      {"punctuation", Text(","), {{WM_CHAR, u',', 1}}},
      {"two bytes of UTF-8", Text("\xC3\xAB"), {{WM_CHAR, 0xEB, 1}}},
      {"an input method's word", Text("\xE6\x9D\xB1\xE4\xBA\xAC"), {{WM_CHAR, 0x6771, 1}, {WM_CHAR, 0x4EAC, 1}}},
      {"outside the basic plane", Text("\xF0\x9F\x98\x80"), {{WM_CHAR, 0xD83D, 1}, {WM_CHAR, 0xDE00, 1}}},
      {"ctrl down", Key(SDL_KEYDOWN, SDLK_LCTRL, KMOD_LCTRL), {{WM_KEYDOWN, VK_CONTROL, 1}}},
      {"ctrl+a is a command", Key(SDL_KEYDOWN, SDLK_a, KMOD_LCTRL), {{WM_KEYDOWN, 'A', 1}}},
      {"text under ctrl is dropped", Text("a"), {}},
      {"ctrl up", Key(SDL_KEYUP, SDLK_LCTRL), {{WM_KEYUP, VK_CONTROL, kUp}}},
      {"text after ctrl", Text("a"), {{WM_CHAR, u'a', 1}}},
  };
  platform::SdlInputState state;
  state.zoom = 2;
  for (const Row& row : rows) EXPECT_EQ(platform::TranslateSdlEvent(row.event, state), row.expected) << row.what;
}

// What a desktop sends for typed text: a key with its text, or text alone
// for what the device has no key for (punctuation, other letters).
std::vector<SDL_Event> Typing(const std::string& utf8) {
  std::vector<SDL_Event> events;
  for (size_t i = 0; i < utf8.size();) {
    size_t n = 1;
    while (i + n < utf8.size() && (static_cast<unsigned char>(utf8[i + n]) & 0xC0) == 0x80) ++n;
    const std::string one = utf8.substr(i, n);
    const char c = one.size() == 1 ? one[0] : 0;
    if (std::isalnum(static_cast<unsigned char>(c)) || c == ' ') {
      const SDL_Keycode sym = c == ' ' ? SDLK_SPACE : static_cast<SDL_Keycode>(std::tolower(c));
      const Uint16 mod = std::isupper(static_cast<unsigned char>(c)) ? KMOD_LSHIFT : 0;
      events.push_back(Key(SDL_KEYDOWN, sym, mod));
      events.push_back(Text(one.c_str()));
      events.push_back(Key(SDL_KEYUP, sym, mod));
    } else {
      events.push_back(Text(one.c_str()));
    }
    i += n;
  }
  return events;
}

// The program's message loop turns a key into a character only when the
// host gives no text for it: each typed character arrives once.
TEST(SdlInput, TypedTextReachesAFieldOnceEachAsWritten) {
  testing_support::ControlRig rig;
  HWND field = rig.create(u"EDIT", WS_BORDER | ES_AUTOHSCROLL, 5, 40, 230, 20);
  const std::string typed = "Site Visit, Ab: 1-2. Zo\xC3\xAB \xE6\x9D\xB1\xE4\xBA\xAC \xF0\x9F\x98\x80";
  // Two letters too many, taken back by a held backspace.
  std::vector<SDL_Event> events = Typing(typed + "xy");
  for (Uint8 repeat : {0, 1}) events.push_back(Key(SDL_KEYDOWN, SDLK_BACKSPACE, 0, repeat));
  events.push_back(Key(SDL_KEYUP, SDLK_BACKSPACE));
  rig.then([&](platform::Session& s) {
    SetFocus(field);
    platform::SdlInputState state;
    for (const SDL_Event& e : events)
      for (const InputMessage& m : platform::TranslateSdlEvent(e, state)) s.queue().post_input(m.message, m.wParam, m.lParam);
  });
  rig.then([&](platform::Session&) { EXPECT_EQ(platform::ToUtf8(testing_support::WindowText(field)), typed); });
  rig.run();
}

}  // namespace
