// The shell's notification service: a bubble drawn on the screen for its
// duration, one line on standard error, and a desktop notification where a
// session bus exists, so the message is seen after the program has ended.
//
// Supported: SHNotificationAdd (title, HTML body, icon, duration) and
// SHNotificationRemove. Not supported yet: sink windows and their
// WM_NOTIFY replies, soft keys in the bubble, links in the HTML body.
#include <aygshell.h>

#include <cstdio>
#include <cstdlib>
#include <type_traits>

#include <dlfcn.h>
#include <libnotify/notify.h>

#include "platform/core/session.h"
#include "platform/core/window_manager.h"
#include "platform/gdi/gdi_objects.h"
#include "platform/gdi/paint_window.h"
#include "platform/core/screen.h"
#include "platform/shell/shell_state.h"

namespace platform {

namespace {

constexpr const char16_t* kBubbleClass = u"platform_bubble";

void PaintBubble(HWND hwnd, cairo_t* cr) {
  Session& s = Session::current();
  RECT rc = s.windows().client_rect(hwnd);
  int k = s.screen().scale();
  if (platform::ShellState::of(s).notifications.empty()) return;
  const Notification& n = platform::ShellState::of(s).notifications.back();
  FillRectangle(cr, 0, 0, rc.right, rc.bottom, RGB(0xff, 0xff, 0xe1));
  FrameRectangle(cr, 0, 0, rc.right, rc.bottom, RGB(0x40, 0x40, 0x40));
  FillRectangle(cr, 1, 1, rc.right - 2, 18 * k, RGB(0x3a, 0x6e, 0xd0));
  int text_x = 4 * k;
  if (Icon* icon = platform::GdiObjects::of(s).icon(n.icon)) {
    if (const res::IconImage* image = icon->best(16 * k)) DrawIconImage(cr, *image, 3 * k, 2 * k, 16 * k, 16 * k);
    text_x = 22 * k;
  }
  FontSpec title_font;
  title_font.pixel_size = 11 * k;
  title_font.bold = true;
  DrawTextLine(cr, title_font, EllipsizeToWidth(title_font, n.title, rc.right - text_x - 4 * k), text_x, 3 * k,
               RGB(255, 255, 255));
  // The body, wrapped at word boundaries.
  FontSpec font;
  font.pixel_size = 11 * k;
  int y = 22 * k, width = rc.right - 8 * k;
  std::u16string line, word;
  auto flush = [&] {
    if (!line.empty()) DrawTextLine(cr, font, line, 4 * k, y, RGB(0, 0, 0));
    y += MeasureText(font, u"X").height;
    line.clear();
  };
  std::u16string text = n.plain + u" ";
  for (char16_t c : text) {
    if (c != u' ') {
      word += c;
      continue;
    }
    if (word.empty()) continue;
    std::u16string candidate = line.empty() ? word : line + u" " + word;
    if (!line.empty() && MeasureText(font, candidate).width > width) {
      flush();
      line = word;
    } else {
      line = candidate;
    }
    word.clear();
  }
  flush();
}

LRESULT CALLBACK BubbleProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  switch (msg) {
    case WM_PAINT:
      PaintWindow(hwnd, [hwnd](cairo_t* cr, const FontSpec&) { PaintBubble(hwnd, cr); });
      return 0;
    case WM_LBUTTONUP: {
      // A tap dismisses the bubble.
      Session& s = Session::current();
      if (platform::ShellState::of(s).bubble == hwnd) platform::ShellState::of(s).bubble = nullptr;
      DestroyWindow(hwnd);
      return 0;
    }
    default:
      return DefWindowProcW(hwnd, msg, wp, lp);
  }
}

// libnotify (and the GIO and D-Bus code under it) is loaded the first time a
// session bus is there to show a notification on, not at every start.
struct NotifyCalls {
  decltype(&::notify_is_initted) is_initted = nullptr;
  decltype(&::notify_init) init = nullptr;
  decltype(&::notify_notification_new) create = nullptr;
  decltype(&::notify_notification_set_timeout) set_timeout = nullptr;
  decltype(&::notify_notification_show) show = nullptr;
};

const NotifyCalls* LoadNotify() {
  static NotifyCalls calls;
  static const NotifyCalls* loaded = [] () -> const NotifyCalls* {
    void* library = dlopen("libnotify.so.4", RTLD_NOW | RTLD_LOCAL);
    if (!library) return nullptr;
    auto look_up = [library](auto& slot, const char* name) {
      slot = reinterpret_cast<std::remove_reference_t<decltype(slot)>>(dlsym(library, name));
      return slot != nullptr;
    };
    bool all = look_up(calls.is_initted, "notify_is_initted") && look_up(calls.init, "notify_init") &&
               look_up(calls.create, "notify_notification_new") &&
               look_up(calls.set_timeout, "notify_notification_set_timeout") &&
               look_up(calls.show, "notify_notification_show");
    return all ? &calls : nullptr;
  }();
  return loaded;
}

void ShowOnDesktop(const Notification& n) {
  // Only where a desktop session exists; a headless run has nobody to show it to.
  if (!std::getenv("DBUS_SESSION_BUS_ADDRESS")) return;
  const NotifyCalls* notify = LoadNotify();
  if (!notify) return;  // without libnotify the note stays on the device's screen alone
  if (!notify->is_initted() && !notify->init("tallyset")) return;
  std::string title = ToUtf8(n.title), body = ToUtf8(n.plain);
  NotifyNotification* note = notify->create(title.c_str(), body.c_str(), "dialog-warning");
  if (!note) return;
  notify->set_timeout(note, static_cast<gint>(n.duration_seconds * 1000));
  notify->show(note, nullptr);
  g_object_unref(note);
}

}  // namespace

std::u16string PlainTextOfHtml(std::u16string_view html) {
  std::u16string out;
  size_t i = 0;
  while (i < html.size()) {
    if (html[i] == u'<') {
      size_t end = html.find(u'>', i);
      if (end == std::u16string_view::npos) break;
      std::u16string tag(html.substr(i + 1, end - i - 1));
      for (auto& c : tag)
        if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c + 32);
      if (tag == u"br" || tag == u"br/" || tag == u"br /" || tag == u"p" || tag == u"/p") out += u' ';
      i = end + 1;
      continue;
    }
    if (html[i] == u'&') {
      static const std::pair<std::u16string_view, char16_t> kEntities[] = {
          {u"&amp;", u'&'}, {u"&lt;", u'<'}, {u"&gt;", u'>'}, {u"&quot;", u'"'}, {u"&nbsp;", u' '}, {u"&#39;", u'\''}};
      bool matched = false;
      for (const auto& [name, ch] : kEntities) {
        if (html.substr(i, name.size()) == name) {
          out += ch;
          i += name.size();
          matched = true;
          break;
        }
      }
      if (matched) continue;
    }
    out += html[i++];
  }
  return out;
}

void RegisterBubbleClass() { Session::current().windows().register_system_class(kBubbleClass, BubbleProc); }

}  // namespace platform

LRESULT WINAPI SHNotificationAdd(SHNOTIFICATIONDATA* pndAdd) {
  using namespace platform;
  Session& s = Session::current();
  s.calls().record("SHNotificationAdd");
  if (!pndAdd || pndAdd->cbStruct != sizeof(SHNOTIFICATIONDATA)) return E_INVALIDARG;
  Notification n;
  n.title = pndAdd->pszTitle ? pndAdd->pszTitle : u"";
  n.html = pndAdd->pszHTML ? pndAdd->pszHTML : u"";
  n.plain = PlainTextOfHtml(n.html);
  n.id = pndAdd->dwID;
  n.duration_seconds = pndAdd->csDuration;
  n.posted_at = s.clock().ticks();
  n.icon = pndAdd->hicon;
  platform::ShellState::of(s).notifications.push_back(n);
  std::fprintf(stderr, "%s: %s\n", ToUtf8(n.title).c_str(), ToUtf8(n.plain).c_str());
  ShowOnDesktop(n);

  if (platform::ShellState::of(s).bubble) s.windows().destroy(platform::ShellState::of(s).bubble);
  const Screen& screen = s.screen();
  int k = screen.scale();
  CreateParams p;
  p.class_name = u"platform_bubble";
  p.style = WS_POPUP | WS_VISIBLE;
  p.ex_style = WS_EX_TOPMOST;
  p.x = 4 * k;
  p.y = screen.nav_bar_height() + 4 * k;
  p.width = screen.width() - 8 * k;
  p.height = 110 * k;
  platform::ShellState::of(s).bubble = s.windows().create(p);
  return S_OK;
}

LRESULT WINAPI SHNotificationRemove(const CLSID*, DWORD dwID) {
  using namespace platform;
  Session& s = Session::current();
  if (platform::ShellState::of(s).bubble && !platform::ShellState::of(s).notifications.empty() && platform::ShellState::of(s).notifications.back().id == dwID) {
    s.windows().destroy(platform::ShellState::of(s).bubble);
    platform::ShellState::of(s).bubble = nullptr;
    return S_OK;
  }
  return E_INVALIDARG;
}
