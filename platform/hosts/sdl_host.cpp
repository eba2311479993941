#include "platform/hosts/sdl_host.h"

#include <cstring>

#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/core/screen.h"
#include "platform/hosts/headless_host.h"
#include "platform/hosts/input.h"
#include "platform/hosts/platform_floors.h"

namespace platform {

std::unique_ptr<SdlHost> SdlHost::Open(int width, int height, int zoom, std::string* error) {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    *error = SDL_GetError();
    return nullptr;
  }
  std::unique_ptr<SdlHost> host(new SdlHost());
  host->zoom_ = zoom;
  host->window_ = SDL_CreateWindow("Tallyset", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width * zoom,
                                   height * zoom, SDL_WINDOW_SHOWN);
  if (!host->window_) {
    *error = SDL_GetError();
    return nullptr;
  }
  host->renderer_ = SDL_CreateRenderer(host->window_, -1, 0);
  if (!host->renderer_) host->renderer_ = SDL_CreateRenderer(host->window_, -1, SDL_RENDERER_SOFTWARE);
  if (!host->renderer_) {
    *error = SDL_GetError();
    return nullptr;
  }
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");  // whole pixels when zoomed
  host->texture_ =
      SDL_CreateTexture(host->renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, width, height);
  if (!host->texture_) {
    *error = SDL_GetError();
    return nullptr;
  }
  return host;
}

SdlHost::~SdlHost() {
  if (texture_) SDL_DestroyTexture(texture_);
  if (renderer_) SDL_DestroyRenderer(renderer_);
  if (window_) SDL_DestroyWindow(window_);
  SDL_Quit();
}

void SdlHost::screen_updated(Session& session) { present(session); }

void SdlHost::present(Session& session) {
  Screen& screen = session.screen();
  if (screen.generation() == shown_generation_) return;
  shown_generation_ = screen.generation();
  cairo_surface_flush(screen.surface());
  SDL_UpdateTexture(texture_, nullptr, cairo_image_surface_get_data(screen.surface()),
                    cairo_image_surface_get_stride(screen.surface()));
  SDL_RenderClear(renderer_);
  SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
  SDL_RenderPresent(renderer_);
}

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

}  // namespace

void SdlHost::handle(Session& session, const SDL_Event& e) {
  switch (e.type) {
    case SDL_QUIT:
      if (!closing_) {
        closing_ = true;
        CloseProgram(session);
      } else {
        PostQuitMessage(0);
      }
      break;
    case SDL_MOUSEBUTTONDOWN:
      if (e.button.button == SDL_BUTTON_LEFT) {
        mouse_down_ = true;
        PostMouse(session, WM_LBUTTONDOWN, e.button.x / zoom_, e.button.y / zoom_);
      }
      break;
    case SDL_MOUSEBUTTONUP:
      if (e.button.button == SDL_BUTTON_LEFT) {
        mouse_down_ = false;
        PostMouse(session, WM_LBUTTONUP, e.button.x / zoom_, e.button.y / zoom_);
      }
      break;
    case SDL_MOUSEMOTION:
      // A stylus only reports where it touches the screen.
      if (mouse_down_) PostMouse(session, WM_MOUSEMOVE, e.motion.x / zoom_, e.motion.y / zoom_);
      break;
    case SDL_KEYDOWN:
    case SDL_KEYUP:
      if (WORD vk = VirtualKey(e.key.keysym.sym)) PostKey(session, vk, e.type == SDL_KEYDOWN);
      break;
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED) {
        shown_generation_ = ~0ULL;
        present(session);
      }
      break;
    default:
      break;
  }
}

void SdlHost::wait_for_input(Session& session) {
  RunIdleDuties(session);
  present(session);
  SDL_Event e;
  if (SDL_WaitEventTimeout(&e, 100)) {
    handle(session, e);
    while (SDL_PollEvent(&e)) handle(session, e);
  }
}

}  // namespace platform
