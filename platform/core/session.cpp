#include "platform/core/session.h"

#include <cstdio>
#include <cstdlib>

#include "platform/com/com_state.h"
#include "platform/controls/control_probes.h"
#include "platform/core/message_queue.h"
#include "platform/core/module_registry.h"
#include "platform/core/window_manager.h"
#include "platform/desktop/desktop_channel.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/screen.h"
#include "platform/pocket_outlook/appointment_editor.h"
#include "platform/shell/menu_bar.h"
#include "platform/shell/popup_menu.h"
#include "platform/shell/shell_state.h"

namespace platform {

void RegisterBubbleClass();

namespace {
Session* g_current = nullptr;
}

Session::Session(SessionOptions options) : options_(std::move(options)), clock_(options_.now) {
  if (g_current) {
    std::fprintf(stderr, "platform: only one session may run at a time\n");
    std::abort();
  }
  g_current = this;
  screen_ = std::make_unique<Screen>(options_.screen_width, options_.screen_height);
  gdi_ = std::make_unique<GdiObjects>(*this);
  modules_ = std::make_unique<ModuleRegistry>();
  windows_ = std::make_unique<WindowManager>(*this);
  queue_ = std::make_unique<MessageQueue>(*this);
  shell_ = std::make_unique<ShellState>(*this);
  com_ = std::make_unique<ComState>();
  shell_->register_classes();
  RegisterMenuBarClass();
  RegisterPopupMenuClass();
  RegisterBubbleClass();
  controls::RegisterStandardControls();
  RegisterAppointmentEditorClass();
  com_->editor = RunAppointmentEditor;  // hosts may put their own in its place
  shell_->create_nav_bar();
  if (options_.shared_desktop) channel_ = std::make_unique<DesktopChannel>(*this, DesktopChannel::DefaultFolder());
}

Session::~Session() {
  channel_.reset();
  // Windows go before the objects they draw with.
  windows_.reset();
  queue_.reset();
  shell_.reset();
  g_current = nullptr;
}

Session& Session::current() {
  if (!g_current) {
    std::fprintf(stderr, "platform: a platform call was made with no platform running\n");
    std::abort();
  }
  return *g_current;
}

Session* Session::get() { return g_current; }

}  // namespace platform
