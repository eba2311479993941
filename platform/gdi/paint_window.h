// Painting a window through Cairo: what every window of the platform's own
// (controls, the shell's bars and bubbles, the appointment editor) does on
// WM_PAINT.
#pragma once

#include <windows.h>

#include "platform/core/session.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/text.h"

namespace platform {

// Runs `paint(cr, font)` between BeginPaint and EndPaint, with the font the
// device context starts with (the window's, or the system font).
template <class PaintFn>
void PaintWindow(HWND hwnd, PaintFn&& paint) {
  PAINTSTRUCT ps;
  HDC hdc = BeginPaint(hwnd, &ps);
  GdiObjects& gdi = GdiObjects::of(Session::current());
  if (DeviceContext* dc = gdi.dc(hdc)) paint(dc->cr.get(), gdi.font_spec(dc->font));
  EndPaint(hwnd, &ps);
}

}  // namespace platform
