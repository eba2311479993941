#include "platform/hosts/platform_floors.h"

#include "platform/com/com_state.h"
#include "platform/controls/control_probes.h"
#include "platform/core/session.h"
#include "platform/desktop/desktop_channel.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/pocket_outlook/poom_objects.h"
#include "platform/shell/shell_state.h"

namespace platform {

void InstallPlatform(Session& session, const std::filesystem::path& calendar) {
  InstallGdi(session);
  InstallControls(session);
  InstallShell(session);
  InstallCom(session);
  InstallPocketOutlook(session, calendar);
}

void RunIdleDuties(Session& session) {
  if (DesktopChannel* channel = DesktopChannel::of(session)) channel->serve();
  if (ShellState* shell = session.find_service<ShellState>()) shell->tick();
}

}  // namespace platform
