#include "platform/hosts/sdl_host.h"

#include <cstring>

#include "platform/core/message_queue.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/core/screen.h"
#include "platform/hosts/headless_host.h"
#include "platform/hosts/input.h"
#include "platform/hosts/platform_floors.h"

namespace platform {

std::unique_ptr<SdlHost> SdlHost::Open(int width, int height, int zoom, std::string* error,
                                       const res::IconImage* icon) {
  if (SDL_Init(SDL_INIT_VIDEO) != 0) {
    *error = SDL_GetError();
    return nullptr;
  }
  std::unique_ptr<SdlHost> host(new SdlHost());
  host->input_.zoom = zoom;
  host->window_ = SDL_CreateWindow("Tallyset", SDL_WINDOWPOS_CENTERED, SDL_WINDOWPOS_CENTERED, width * zoom,
                                   height * zoom, SDL_WINDOW_SHOWN);
  if (!host->window_) {
    *error = SDL_GetError();
    return nullptr;
  }
  if (icon && icon->width > 0 && icon->argb.size() == static_cast<size_t>(icon->width) * icon->height) {
    // SDL copies the picture; the surface only borrows the pixels meanwhile.
    SDL_Surface* surface = SDL_CreateRGBSurfaceWithFormatFrom(
        const_cast<std::uint32_t*>(icon->argb.data()), icon->width, icon->height, 32, icon->width * 4,
        SDL_PIXELFORMAT_ARGB8888);
    if (surface) {
      SDL_SetWindowIcon(host->window_, surface);
      SDL_FreeSurface(surface);
    }
  }
  host->renderer_ = SDL_CreateRenderer(host->window_, -1, 0);
  if (!host->renderer_) host->renderer_ = SDL_CreateRenderer(host->window_, -1, SDL_RENDERER_SOFTWARE);
  if (!host->renderer_) {
    *error = SDL_GetError();
    return nullptr;
  }
  SDL_StartTextInput();  // typed text arrives as SDL_TEXTINPUT, whatever the keyboard layout
  SDL_SetHint(SDL_HINT_RENDER_SCALE_QUALITY, "0");  // whole pixels when zoomed
  SDL_StartTextInput();  // typed text arrives as SDL_TEXTINPUT, whatever the keyboard layout
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

void SdlHost::bring_to_front(Session&) {
  SDL_RestoreWindow(window_);  // from the task bar, if it was minimised
  SDL_RaiseWindow(window_);
  SDL_SetWindowInputFocus(window_);
}

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
  if (SDL_WaitEventTimeout(&e, 100)) {
    handle(session, e);
    while (SDL_PollEvent(&e)) handle(session, e);
  }
}

}  // namespace platform
