// The edit control: the "EDIT" class, single-line and ES_MULTILINE.
//
// A white field that holds its own text and a caret. A tap takes the focus
// and puts the caret at the nearest character boundary; while focused, the
// caret is drawn as a steady bar (it does not blink). Typing arrives as
// WM_CHAR: printable characters replace the selection or insert at the
// caret, Backspace deletes the selection or the character before the caret,
// Enter inserts a line break ("\r\n") in a multi-line control and is ignored
// in a single-line one. WM_KEYDOWN moves the caret: Left, Right, Home and End
// (of the line), Up and Down (multi-line), Ctrl+Home and Ctrl+End (of the
// text); Shift with any of them extends the selection; Delete removes the
// selection or the character after the caret. A single-line control scrolls
// sideways to keep the caret in view (without ES_AUTOHSCROLL it refuses text
// wider than the field instead); a multi-line control wraps words (unless
// ES_AUTOHSCROLL) and scrolls by whole lines to keep the caret's line in view.
// ES_NUMBER accepts digits only, ES_READONLY accepts no typing.
//
// Messages: WM_SETTEXT, WM_GETTEXT, WM_GETTEXTLENGTH, EM_SETSEL (-1 start
// clears the selection, -1 end means the end of the text), EM_GETSEL,
// EM_REPLACESEL, EM_GETLINECOUNT, WM_SETFONT. Notifications, as WM_COMMAND to
// the parent: EN_SETFOCUS, EN_KILLFOCUS, and EN_UPDATE then EN_CHANGE after
// each change made by the user or by EM_REPLACESEL, and after WM_SETTEXT in
// a single-line control only. A selection is drawn highlighted while the
// control has the focus, or always with ES_NOHIDESEL. EditCaretOnScreen
// tells hosts where the caret stands.
//
// Not supported yet: selecting by dragging the stylus, the clipboard (cut,
// copy, paste, undo), EM_LIMITTEXT, password and case styles, ES_CENTER and
// ES_RIGHT, drawn scroll bars (WS_VSCROLL/WS_HSCROLL are ignored),
// EM_LINESCROLL and WM_VSCROLL, tab characters (Tab is ignored), the input
// panel, WM_CTLCOLOREDIT colours, a blinking caret.
#pragma once

#include <optional>

#include <windows.h>

namespace platform::controls {

void RegisterEditClass();

// The top of the caret on the screen: its left edge and the top of its line.
std::optional<POINT> EditCaretOnScreen(HWND edit);

}  // namespace platform::controls
