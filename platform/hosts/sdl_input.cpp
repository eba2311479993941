#include "platform/hosts/sdl_input.h"

#include <string_view>

#include "platform/base/utf.h"
#include "platform/core/message_queue.h"

namespace platform {

namespace {

WORD VirtualKey(SDL_Keycode key) {
  if (key >= SDLK_a && key <= SDLK_z) return static_cast<WORD>('A' + (key - SDLK_a));
  if (key >= SDLK_0 && key <= SDLK_9) return static_cast<WORD>('0' + (key - SDLK_0));
  switch (key) {
    case SDLK_UP: return VK_UP;
    case SDLK_DOWN: return VK_DOWN;
    case SDLK_LEFT: return VK_LEFT;
    case SDLK_RIGHT: return VK_RIGHT;
    case SDLK_RETURN: case SDLK_KP_ENTER: return VK_RETURN;
    case SDLK_TAB: return VK_TAB;
    case SDLK_ESCAPE: return VK_ESCAPE;
    case SDLK_SPACE: return VK_SPACE;
    case SDLK_BACKSPACE: return VK_BACK;
    case SDLK_DELETE: return VK_DELETE;
    case SDLK_HOME: return VK_HOME;
    case SDLK_END: return VK_END;
    case SDLK_PAGEUP: return VK_PRIOR;
    case SDLK_PAGEDOWN: return VK_NEXT;
    case SDLK_LCTRL: case SDLK_RCTRL: return VK_CONTROL;
    case SDLK_LSHIFT: case SDLK_RSHIFT: return VK_SHIFT;
    default: return 0;
  }
}

// The keys whose character the desktop sends as text, unless Ctrl is held
// (then the desktop sends none and the key is a command such as Ctrl+A).
bool TypesText(WORD vk, bool ctrl) {
  return !ctrl && ((vk >= 'A' && vk <= 'Z') || (vk >= '0' && vk <= '9') || vk == VK_SPACE);
}

LPARAM Point(int x, int y, int zoom) { return MAKELPARAM(x / zoom, y / zoom); }

}  // namespace

std::vector<InputMessage> TranslateSdlEvent(const SDL_Event& e, SdlInputState& state) {
  switch (e.type) {
    case SDL_MOUSEBUTTONDOWN:
    case SDL_MOUSEBUTTONUP: {
      if (e.button.button != SDL_BUTTON_LEFT) return {};
      const bool down = e.type == SDL_MOUSEBUTTONDOWN;
      state.mouse_down = down;
      return {{down ? UINT{WM_LBUTTONDOWN} : UINT{WM_LBUTTONUP}, down ? WPARAM{MK_LBUTTON} : WPARAM{0},
               Point(e.button.x, e.button.y, state.zoom)}};
    }
    case SDL_MOUSEMOTION:
      // A stylus only reports where it touches the screen.
      if (!state.mouse_down) return {};
      return {{WM_MOUSEMOVE, MK_LBUTTON, Point(e.motion.x, e.motion.y, state.zoom)}};
    case SDL_KEYDOWN:
    case SDL_KEYUP: {
      const bool down = e.type == SDL_KEYDOWN;
      state.ctrl_down = (e.key.keysym.mod & KMOD_CTRL) != 0;
      const WORD vk = VirtualKey(e.key.keysym.sym);
      if (vk == VK_CONTROL) state.ctrl_down = down;
      if (!vk) return {};
      if (!down) return {{WM_KEYUP, vk, static_cast<LPARAM>(0xC0000001u)}};
      LPARAM lp = 1;
      if (e.key.repeat) lp |= LPARAM{1} << 30;
      if (TypesText(vk, state.ctrl_down)) lp |= kKeyCharFromHost;
      return {{WM_KEYDOWN, vk, lp}};
    }
    case SDL_TEXTINPUT: {
      // With Ctrl held a key is a command; some desktops still send its text.
      if (state.ctrl_down) return {};
      std::vector<InputMessage> chars;
      for (char16_t unit : FromUtf8(std::string_view(e.text.text)))
        if (unit >= 0x20 && unit != 0x7F) chars.push_back({WM_CHAR, unit, 1});
      return chars;
    }
    default:
      return {};
  }
}

}  // namespace platform
