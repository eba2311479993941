// Placeholder until the control lands.
#include "platform/controls/control_probes.h"
namespace platform::controls {
void RegisterDateTimePickerClass() {}
bool DatePickerIsDroppedDown(HWND) { return false; }
std::optional<std::pair<int, int>> DatePickerShownMonth(HWND) { return std::nullopt; }
std::optional<RECT> DatePickerPrevMonthOnScreen(HWND) { return std::nullopt; }
std::optional<RECT> DatePickerNextMonthOnScreen(HWND) { return std::nullopt; }
std::optional<RECT> DatePickerDayOnScreen(HWND, int) { return std::nullopt; }
}  // namespace platform::controls
