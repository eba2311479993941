// The controls floor: the standard control classes, each registered by its
// own file, the image list table, and the common-controls initialisation.
#include <commctrl.h>

#include "platform/controls/combo_box.h"
#include "platform/controls/control_probes.h"
#include "platform/controls/date_time_picker.h"
#include "platform/controls/edit_control.h"
#include "platform/controls/image_list.h"
#include "platform/controls/list_view.h"
#include "platform/controls/static_control.h"
#include "platform/core/session.h"

namespace platform {

void InstallControls(Session& session) {
  session.install<ImageLists>();
  controls::RegisterStaticClass();
  controls::RegisterComboBoxClass();
  controls::RegisterListViewClass();
  controls::RegisterDateTimePickerClass();
  controls::RegisterEditClass();
}

}  // namespace platform

// Every class is registered when the session starts, so this only checks
// its argument, as the device's version does.
BOOL WINAPI InitCommonControlsEx(const INITCOMMONCONTROLSEX* lpInitCtrls) {
  platform::Session& s = platform::Session::current();
  s.calls().record("InitCommonControlsEx");
  if (s.faults().active(platform::ControlsFault::init_common_controls)) return FALSE;
  return lpInitCtrls && lpInitCtrls->dwSize == sizeof(INITCOMMONCONTROLSEX) ? TRUE : FALSE;
}
