#include "platform/hosts/sdl_host.h"

#include <dlfcn.h>

#include <cstring>

#include "platform/core/message_queue.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/core/screen.h"
#include "platform/hosts/headless_host.h"
#include "platform/hosts/input.h"
#include "platform/hosts/platform_floors.h"

namespace platform {

namespace {

// SDL, and with it the window system, sound and codec libraries it pulls in,
// is mapped only when a window is asked for: a run without a display never
// pays for loading them.
#define TALLYSET_SDL_CALLS(X) \
  X(SDL_CreateRGBSurfaceWithFormatFrom) \
  X(SDL_CreateRenderer) \
  X(SDL_CreateTexture) \
  X(SDL_CreateWindow) \
  X(SDL_DestroyRenderer) \
  X(SDL_DestroyTexture) \
  X(SDL_DestroyWindow) \
  X(SDL_FreeSurface) \
  X(SDL_GetError) \
  X(SDL_Init) \
  X(SDL_PollEvent) \
  X(SDL_Quit) \
  X(SDL_RaiseWindow) \
  X(SDL_RenderClear) \
  X(SDL_RenderCopy) \
  X(SDL_RenderPresent) \
  X(SDL_RestoreWindow) \
  X(SDL_SetHint) \
  X(SDL_SetWindowIcon) \
  X(SDL_SetWindowInputFocus) \
  X(SDL_StartTextInput) \
  X(SDL_UpdateTexture) \
  X(SDL_WaitEventTimeout)

struct SdlCalls {
#define TALLYSET_SDL_MEMBER(name) decltype(&::name) name = nullptr;
  TALLYSET_SDL_CALLS(TALLYSET_SDL_MEMBER)
#undef TALLYSET_SDL_MEMBER
};

const SdlCalls* sdl = nullptr;

// Loads SDL once; false (and *error set) when it is not installed.
bool LoadSdl(std::string* error) {
  static SdlCalls calls;
  static std::string failure;
  static bool tried = false;
  if (!tried) {
    tried = true;
    void* library = dlopen("libSDL2-2.0.so.0", RTLD_NOW | RTLD_LOCAL);
    if (!library) {
      const char* why = dlerror();
      failure = why ? why : "cannot load libSDL2-2.0.so.0";
    } else {
#define TALLYSET_SDL_LOOKUP(name)                                               \
  calls.name = reinterpret_cast<decltype(calls.name)>(dlsym(library, #name)); \
  if (!calls.name && failure.empty()) failure = "libSDL2-2.0.so.0 lacks " #name;
      TALLYSET_SDL_CALLS(TALLYSET_SDL_LOOKUP)
#undef TALLYSET_SDL_LOOKUP
      if (failure.empty()) sdl = &calls;
    }
  }
  if (!sdl) *error = failure;
  return sdl != nullptr;
}

}  // namespace

std::unique_ptr<SdlHost> SdlHost::Open(int width, int height, int zoom, std::string* error,
                                       const res::IconImage* icon) {
  if (!LoadSdl(error)) return nullptr;
  if (sdl->SDL_Init(SDL_INIT_VIDEO) != 0) {
    *error = sdl->SDL_GetError();
    return nullptr;
  }
  std::unique_ptr<SdlHost> host(new SdlHost());
  host->input_.zoom = zoom;
  host->window_ = sdl->SDL_CreateWindow("Tallyset", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width * zoom,
                                   height * zoom, SDL_WINDOW_SHOWN);
  if (!host->window_) {
    *error = sdl->SDL_GetError();
    return nullptr;
  }
  if (icon && icon->width > 0 && icon->argb.size() == static_cast<size_t>(icon->width) * icon->height) {
    // SDL copies the picture; the surface only borrows the pixels meanwhile.
    SDL_Surface* surface = sdl->SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<std::uint32_t*>(icon->argb.data()), icon->width, icon->height, 32, icon->width * 4,
        SDL_PIXELFORMAT_ARGB8888);
    if (surface) {
      sdl->SDL_SetWindowIcon(host->window_, surface);
      sdl->SDL_FreeSurface(surface);
    }
  }
  host->renderer_ = sdl->SDL_CreateRenderer(host->window_, -1, 0);
  if (!host->renderer_) host->renderer_ = sdl->SDL_CreateRenderer(host->window_, -1, SDL_RENDERER_SOFTWARE);
  if (!host->renderer_) {
    *error = sdl->SDL_GetError();
    return nullptr;
  }
  sdl->SDL_StartTextInput();  // typed text arrives as SDL_TEXTINPUT, whatever the keyboard layout
  sdl->SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");  // whole pixels when zoomed
  sdl->SDL_StartTextInput();  // typed text arrives as SDL_TEXTINPUT, whatever the keyboard layout
  host->texture_ =
      sdl->SDL_CreateTexture(host->renderer_, SDL_PIXELFORMAT_ARGB8888, SDL_TEXTUREACCESS_STREAMING, width, height);
  if (!host->texture_) {
    *error = sdl->SDL_GetError();
    return nullptr;
  }
  return host;
}

SdlHost::~SdlHost() {
  if (texture_) sdl->SDL_DestroyTexture(texture_);
  if (renderer_) sdl->SDL_DestroyRenderer(renderer_);
  if (window_) sdl->SDL_DestroyWindow(window_);
  sdl->SDL_Quit();
}

void SdlHost::screen_updated(Session& session) { present(session); }

void SdlHost::bring_to_front(Session&) {
  sdl->SDL_RestoreWindow(window_);  // from the task bar, if it was minimised
  sdl->SDL_RaiseWindow(window_);
  sdl->SDL_SetWindowInputFocus(window_);
}

void SdlHost::present(Session& session) {
  Screen& screen = session.screen();
  if (screen.generation() == shown_generation_) return;
  shown_generation_ = screen.generation();
  cairo_surface_flush(screen.surface());
  sdl->SDL_UpdateTexture(texture_, nullptr, cairo_image_surface_get_data(screen.surface()),
                    cairo_image_surface_get_stride(screen.surface()));
  sdl->SDL_RenderClear(renderer_);
  sdl->SDL_RenderCopy(renderer_, texture_, nullptr, nullptr);
  sdl->SDL_RenderPresent(renderer_);
}

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
    case SDL_WINDOWEVENT:
      if (e.window.event == SDL_WINDOWEVENT_EXPOSED) {
        shown_generation_ = ~0ULL;
        present(session);
      }
      break;
    default:
      for (const InputMessage& m : TranslateSdlEvent(e, input_))
        session.queue().post_input(m.message, m.wParam, m.lParam);
      break;
  }
}

void SdlHost::wait_for_input(Session& session) {
  RunIdleDuties(session);
  present(session);
  SDL_Event e;
  if (sdl->SDL_WaitEventTimeout(&e, 100)) {
    handle(session, e);
    while (sdl->SDL_PollEvent(&e)) handle(session, e);
  }
}

}  // namespace platform
