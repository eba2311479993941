// What every standard control does the same way: its state is one object
// owned by its window (made on WM_NCCREATE, gone after WM_DESTROY), painting
// goes through BeginPaint to the device context's Cairo context, and the
// class is registered as one of the platform's own.
//
// A control is a class `State` with
//   State(HWND, const CREATESTRUCTW&)          made on WM_NCCREATE
//   LRESULT handle(UINT, WPARAM, LPARAM)       the thin window procedure
//   void paint(cairo_t*, const FontSpec&)      the window's font
// and ControlClass<State>::proc is its window procedure.
#pragma once

#include <memory>
#include <utility>

#include <windows.h>

#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/paint_window.h"
#include "platform/gdi/text.h"

namespace platform::controls {

template <class State>
class ControlClass {
 public:
  // The state of the control behind `hwnd`; null for a window of another
  // class, a stale handle, or a control past its WM_DESTROY.
  static State* of(HWND hwnd) {
    Holder* h = holder(hwnd);
    return h ? h->state.get() : nullptr;
  }

  // The state held for the length of a call from another window (a control's
  // drop-down), so that it outlives its window going away meanwhile.
  static std::shared_ptr<State> keep(HWND hwnd) {
    Holder* h = holder(hwnd);
    return h ? h->state : nullptr;
  }

  static void register_class(const char16_t* name) {
    Session::current().windows().register_system_class(name, &proc);
  }

  static LRESULT CALLBACK proc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
    if (msg == WM_NCCREATE) {
      Window* w = Session::current().windows().get(hwnd);
      const auto* cs = reinterpret_cast<const CREATESTRUCTW*>(lp);
      if (!w || !cs) return FALSE;
      auto holder = std::make_unique<Holder>();
      holder->state = std::make_shared<State>(hwnd, *cs);
      std::shared_ptr<State> state = holder->state;
      w->extension = std::move(holder);
      return state->handle(msg, wp, lp);
    }
    Holder* h = holder(hwnd);
    if (!h || !h->state) return DefWindowProcW(hwnd, msg, wp, lp);
    // The window may go (a parent destroying it from a notification) while
    // the state is still at work on this message; it lives until the return.
    std::shared_ptr<State> state = h->state;
    switch (msg) {
      case WM_PAINT:
        PaintWindow(hwnd, [&](cairo_t* cr, const FontSpec& font) { state->paint(cr, font); });
        return 0;
      case WM_ERASEBKGND:
        return 1;  // every control paints its whole client area
      case WM_DESTROY: {
        LRESULT result = state->handle(msg, wp, lp);
        if (Holder* still = holder(hwnd)) still->state.reset();
        return result;
      }
      default:
        return state->handle(msg, wp, lp);
    }
  }

 private:
  struct Holder : WindowExtension {
    std::shared_ptr<State> state;
  };

  static Holder* holder(HWND hwnd) {
    Window* w = Session::current().windows().get(hwnd);
    return w ? dynamic_cast<Holder*>(w->extension.get()) : nullptr;
  }
};

}  // namespace platform::controls
