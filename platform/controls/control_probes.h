// Where the parts of the standard controls lie on the screen right now, so
// that hosts (scripts, tests) can tap them as a person would. None of these
// changes a control, except that asking for a row or an entry that is
// scrolled out of sight scrolls it into view first, as a person would.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include <windows.h>

namespace platform::controls {

// ---- date-time picker ("SysDateTimePick32")
bool DatePickerIsDroppedDown(HWND picker);
// The month the open drop-down shows, as year and month; nullopt when closed.
std::optional<std::pair<int, int>> DatePickerShownMonth(HWND picker);
// The open drop-down's previous-month and next-month buttons.
std::optional<RECT> DatePickerPrevMonthOnScreen(HWND picker);
std::optional<RECT> DatePickerNextMonthOnScreen(HWND picker);
// The cell of a day of the shown month in the open drop-down.
std::optional<RECT> DatePickerDayOnScreen(HWND picker, int day);

// ---- list view ("SysListView32"), report view
std::optional<RECT> ListViewRowOnScreen(HWND list, int row);

// ---- combo box ("COMBOBOX"), drop-down list
bool ComboBoxIsDroppedDown(HWND combo);
std::optional<RECT> ComboBoxEntryOnScreen(HWND combo, int index);

}  // namespace platform::controls

namespace platform {

class Session;

enum class ControlsFault {
  init_common_controls,  // InitCommonControlsEx returns FALSE
};

// Installs the controls floor: the standard control classes and the image
// list table.
void InstallControls(Session& session);

}  // namespace platform
