// The standard controls of the platform, registered for every session.
#include "platform/controls/control_probes.h"

namespace platform::controls {

void RegisterStaticClass();
void RegisterComboBoxClass();
void RegisterListViewClass();
void RegisterDateTimePickerClass();
void RegisterEditClass();

void RegisterStandardControls() {
  RegisterStaticClass();
  RegisterComboBoxClass();
  RegisterListViewClass();
  RegisterDateTimePickerClass();
  RegisterEditClass();
}

}  // namespace platform::controls
