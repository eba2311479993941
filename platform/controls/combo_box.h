// The drop-down list box: the "COMBOBOX" class as a CBS_DROPDOWNLIST.
//
// The window is only the selection field (the selected entry's text and a
// drop-down button); the height a program gives it is the height of the
// field together with its list, kept for when the list opens. A tap on the
// field, or F4, opens the list as a pop-up window of the class "ComboLBox"
// below the field (above it when it does not fit on the screen); a tap on an
// entry or Enter chooses, a tap elsewhere or Escape closes without a change.
//
// Messages: CB_ADDSTRING, CB_INSERTSTRING, CB_GETCOUNT, CB_GETLBTEXT,
// CB_GETLBTEXTLEN, CB_SETCURSEL, CB_GETCURSEL, CB_SHOWDROPDOWN, WM_GETTEXT
// and WM_GETTEXTLENGTH (the selected entry), WM_SETTEXT (selects the entry
// that matches, whatever the case), WM_SETFONT.
// Notifications, as WM_COMMAND to the parent: CBN_DROPDOWN, CBN_CLOSEUP,
// CBN_SELCHANGE.
//
// Not supported: CBS_SORT, CB_DELETESTRING, CB_RESETCONTENT,
// CB_FINDSTRINGEXACT and CB_GETDROPPEDSTATE (nothing here uses them),
// CBS_SIMPLE and CBS_DROPDOWN (there is no edit field; every combo box
// behaves as a drop-down list), owner drawing, item data,
// prefix search (CB_FINDSTRING, CB_SELECTSTRING), choosing by typing letters,
// CBN_SELENDOK, CBN_SELENDCANCEL, CBN_SETFOCUS, CBN_KILLFOCUS, CBN_DBLCLK,
// CB_SETITEMHEIGHT, CB_GETDROPPEDCONTROLRECT, auto-repeat while the stylus
// rests on a scroll arrow.
#pragma once

namespace platform::controls {

void RegisterComboBoxClass();

}  // namespace platform::controls
