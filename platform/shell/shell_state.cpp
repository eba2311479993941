// The shell floor: its state per session and its windows' classes.
#include "platform/shell/shell_state.h"

#include "platform/shell/menu_bar.h"
#include "platform/shell/message_box.h"
#include "platform/shell/popup_menu.h"

namespace platform {

void RegisterBubbleClass();

ShellState::ShellState(Session& session) : session_(session) {}

void InstallShell(Session& session) {
  ShellState& shell = session.install<ShellState>(session);
  shell.register_classes();
  RegisterMenuBarClass();
  RegisterPopupMenuClass();
  RegisterBubbleClass();
  RegisterMessageBoxClass();
  shell.create_nav_bar();
}

}  // namespace platform
