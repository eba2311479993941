#include "platform/hosts/headless_host.h"

#include <cstdio>

#include "platform/core/message_queue.h"
#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/core/screen.h"
#include "platform/hosts/platform_floors.h"

namespace platform {

void CloseProgram(Session& session) {
  for (HWND h : session.windows().program_top_levels()) SendMessageW(h, WM_CLOSE, 0, 0);
}

HeadlessHost::HeadlessHost(Driver driver, std::optional<std::string> screenshot)
    : driver_(std::move(driver)), screenshot_(std::move(screenshot)) {}

void HeadlessHost::wait_for_input(Session& session) {
  RunIdleDuties(session);
  if (session.windows().screen_dirty()) return;
  if (!closed_ && driver_ && driver_(session)) return;
  if (closed_) {
    // The program did not end on its close request; end the loop anyway.
    PostQuitMessage(0);
    return;
  }
  closed_ = true;
  if (screenshot_) {
    std::string problem;
    if (!session.screen().write_png(*screenshot_, &problem)) {
      std::fprintf(stderr, "tallyset: %s\n", problem.c_str());
      screenshot_failed_ = true;
    }
  }
  CloseProgram(session);
}

}  // namespace platform
