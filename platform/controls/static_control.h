// The label: the "STATIC" class with text styles.
//
// Draws its window text in the window's font (the system font unless
// WM_SETFONT gave another) on the white window background, aligned left,
// centred or right by SS_LEFT, SS_CENTER or SS_RIGHT and from the top of the
// client area; words wrap onto further lines when the text is wider than the
// label, and a line break in the text starts a new line. WM_SETTEXT repaints
// (the text itself is kept by DefWindowProcW). The label never takes the
// focus and swallows taps.
//
// Not supported yet: the picture styles (SS_ICON, SS_BITMAP, the frames and
// rectangles), SS_NOTIFY and its STN_ notifications, WM_CTLCOLORSTATIC
// colours, mnemonics: '&' is always drawn as it is, as with SS_NOPREFIX.
#pragma once

namespace platform::controls {

void RegisterStaticClass();

}  // namespace platform::controls
