// Placeholder until the control lands.
#include "platform/controls/control_probes.h"
namespace platform::controls {
void RegisterComboBoxClass() {}
bool ComboBoxIsDroppedDown(HWND) { return false; }
std::optional<RECT> ComboBoxEntryOnScreen(HWND, int) { return std::nullopt; }
}  // namespace platform::controls
