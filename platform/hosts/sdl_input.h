// How the interactive window's SDL events become the device's input: mouse
// buttons and drags as stylus messages, keys as WM_KEYDOWN/WM_KEYUP, and the
// desktop's text input (keyboard layouts, dead keys, an input method) as
// WM_CHAR in UTF-16, a character outside the basic plane as two surrogates.
//
// A key that also arrives as text is marked (kKeyCharFromHost), so that
// TranslateMessage does not type it a second time. Held keys repeat as the
// desktop repeats them, with the previous-state bit set.
//
// Not supported yet: the input method's composition text (SDL_TEXTEDITING)
// is not shown while composing; only the committed text arrives.
#pragma once

#include <SDL.h>

#include <vector>

#include <windows.h>

namespace platform {

struct InputMessage {
  UINT message = 0;
  WPARAM wParam = 0;
  LPARAM lParam = 0;  // mouse messages: screen coordinates, as PostMouse takes them
  friend bool operator==(const InputMessage&, const InputMessage&) = default;
};

// What translation remembers between events.
struct SdlInputState {
  int zoom = 1;
  bool mouse_down = false;
  bool ctrl_down = false;
};

std::vector<InputMessage> TranslateSdlEvent(const SDL_Event& event, SdlInputState& state);

}  // namespace platform
