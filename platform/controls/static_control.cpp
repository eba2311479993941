// Placeholder until the control lands.
#include "platform/controls/control_probes.h"
namespace platform::controls {
void RegisterStaticClass() {}
}  // namespace platform::controls
