// The interactive window: shows the screen in an SDL window, zoomed by a
// whole factor, and turns mouse and keyboard into taps and key presses.
#pragma once

#include <SDL.h>

#include <memory>
#include <optional>
#include <string>

#include "platform/core/host.h"
#include "platform/core/resources.h"
#include "platform/hosts/sdl_input.h"

namespace platform {

class SdlHost : public Host {
 public:
  // Opens the window, with `icon` as its icon where given; nullptr (and
  // *error set) when there is no display.
  static std::unique_ptr<SdlHost> Open(int width, int height, int zoom, std::string* error,
                                       const res::IconImage* icon = nullptr);
  ~SdlHost() override;

  void wait_for_input(Session& session) override;
  void screen_updated(Session& session) override;
  void bring_to_front(Session& session) override;

 private:
  SdlHost() = default;
  void present(Session& session);
  void handle(Session& session, const SDL_Event& event);

  SDL_Window* window_ = nullptr;
  SDL_Renderer* renderer_ = nullptr;
  SDL_Texture* texture_ = nullptr;
  SdlInputState input_;
  bool closing_ = false;
  std::uint64_t shown_generation_ = ~0ULL;
};

}  // namespace platform
