// Sections: classes · creation · destruction · sending · geometry ·
// showing and activation · focus and capture · search · painting.
#include "platform/core/window_manager.h"

#include <algorithm>
#include <cstdio>

#include "platform/core/session.h"
#include "platform/core/screen.h"

namespace platform {

namespace {

constexpr int kMaxSendDepth = 256;

bool Intersects(const RECT& a, const RECT& b) {
  return a.left < b.right && b.left < a.right && a.top < b.bottom && b.top < a.bottom;
}

RECT Union(const RECT& a, const RECT& b) {
  return {std::min(a.left, b.left), std::min(a.top, b.top), std::max(a.right, b.right), std::max(a.bottom, b.bottom)};
}

}  // namespace

std::u16string ClassKey(std::u16string_view name) {
  std::u16string key(name);
  for (auto& c : key)
    if (c >= u'a' && c <= u'z') c = static_cast<char16_t>(c - u'a' + u'A');
  return key;
}

WindowManager::WindowManager(Session& session) : session_(session) {}

WindowManager::~WindowManager() {
  // Windows still standing when the platform goes away get no messages:
  // their procedures may belong to a program that has already returned.
}

// ---------------------------------------------------------------- classes

ATOM WindowManager::register_class(const WNDCLASSW& wc, bool system) {
  if (!wc.lpszClassName || !wc.lpfnWndProc) {
    session_.last_error = ERROR_INVALID_PARAMETER;
    return 0;
  }
  std::u16string key = ClassKey(wc.lpszClassName);
  if (classes_.count(key)) {
    session_.last_error = ERROR_CLASS_ALREADY_EXISTS;
    return 0;
  }
  auto cls = std::make_shared<WindowClass>();
  cls->name = wc.lpszClassName;
  cls->style = wc.style;
  cls->proc = wc.lpfnWndProc;
  cls->instance = wc.hInstance;
  cls->icon = wc.hIcon;
  cls->cursor = wc.hCursor;
  cls->background = wc.hbrBackground;
  cls->system = system;
  classes_[key] = std::move(cls);
  return next_atom_++;
}

bool WindowManager::unregister_class(const std::u16string& name) { return classes_.erase(ClassKey(name)) != 0; }

std::shared_ptr<const WindowClass> WindowManager::find_class(const std::u16string& name) const {
  auto it = classes_.find(ClassKey(name));
  if (it == classes_.end()) return nullptr;
  return it->second;
}

// ---------------------------------------------------------------- creation

HWND WindowManager::create(const CreateParams& p) {
  auto cls = find_class(p.class_name);
  if (!cls) {
    session_.last_error = ERROR_CANNOT_FIND_WND_CLASS;
    return nullptr;
  }
  Window* parent = p.parent ? get(p.parent) : nullptr;
  if (p.parent && !parent) {
    session_.last_error = ERROR_INVALID_WINDOW_HANDLE;
    return nullptr;
  }

  auto window = std::make_unique<Window>();
  window->window_class = cls;
  window->proc = cls->proc;
  window->style = p.style & ~WS_VISIBLE;  // shown below, after creation
  window->ex_style = p.ex_style;
  window->instance = p.instance;
  window->parent = parent ? p.parent : nullptr;
  if (parent) window->id = static_cast<int>(reinterpret_cast<std::uintptr_t>(p.menu));

  int x = p.x, y = p.y, cx = p.width, cy = p.height;
  if (!parent) {
    RECT work = work_area();
    if (x == CW_USEDEFAULT) {
      x = work.left;
      y = work.top;
    }
    if (cx == CW_USEDEFAULT) {
      cx = work.right - x;
      cy = work.bottom - y;
    }
  } else {
    if (x == CW_USEDEFAULT) x = y = 0;
    if (cx == CW_USEDEFAULT) cx = cy = 0;
  }
  window->rect = {x, y, x + std::max(cx, 0), y + std::max(cy, 0)};

  Window* raw = window.get();
  HWND hwnd = reinterpret_cast<HWND>(table_.add(std::move(window)));
  raw->handle = hwnd;
  if (parent)
    raw->sibling_position = parent->children.insert(parent->children.end(), hwnd);
  else
    top_levels_.push_back(hwnd);
  if (!parent && (raw->ex_style & WS_EX_TOPMOST) == 0) {
    // Keep topmost windows above the new one.
    auto it = std::find(top_levels_.begin(), top_levels_.end(), hwnd);
    top_levels_.erase(it);
    auto pos = std::find_if(top_levels_.begin(), top_levels_.end(),
                            [&](HWND h) { return (get(h)->ex_style & WS_EX_TOPMOST) != 0; });
    top_levels_.insert(pos, hwnd);
  }

  CREATESTRUCTW cs{};
  cs.lpCreateParams = p.param;
  cs.hInstance = p.instance;
  cs.hMenu = p.menu;
  cs.hwndParent = p.parent;
  cs.cx = raw->width();
  cs.cy = raw->height();
  cs.x = raw->rect.left;
  cs.y = raw->rect.top;
  cs.style = static_cast<LONG>(p.style);
  cs.lpszName = p.text.c_str();
  cs.lpszClass = p.class_name.c_str();
  cs.dwExStyle = p.ex_style;

  if (!send(hwnd, WM_NCCREATE, 0, reinterpret_cast<LPARAM>(&cs))) {
    destroy(hwnd);
    return nullptr;
  }
  if (!is_window(hwnd)) return nullptr;
  if (send(hwnd, WM_CREATE, 0, reinterpret_cast<LPARAM>(&cs)) == -1) {
    destroy(hwnd);
    return nullptr;
  }
  // A window may destroy itself while it is being created; the caller then
  // gets no window, as on the platform.
  Window* w = get(hwnd);
  if (!w || w->destroying) return nullptr;
  if (!w->size_sent) send_size_and_move(hwnd, true, true);
  if (!is_window(hwnd)) return nullptr;
  if (p.style & WS_VISIBLE) show(hwnd, SW_SHOW);
  if (!is_window(hwnd)) return nullptr;
  return hwnd;
}

// ---------------------------------------------------------------- destruction

bool WindowManager::destroy(HWND hwnd) {
  Window* w = get(hwnd);
  if (!w) {
    session_.last_error = ERROR_INVALID_WINDOW_HANDLE;
    return false;
  }
  if (w->destroying) return true;

  // Windows owned by this one go first.
  for (HWND owned : std::vector<HWND>(top_levels_)) {
    Window* o = get(owned);
    if (o && o->owner == hwnd && !o->destroying) destroy(owned);
  }
  w = get(hwnd);
  if (!w || w->destroying) return true;

  bool was_visible = visible_on_screen(hwnd);
  HWND parent = w->parent;
  send_destroy(hwnd);
  free_window(hwnd);
  if (was_visible) {
    if (parent)
      invalidate(parent, nullptr, true);
    else
      invalidate_all();
  }
  return true;
}

void WindowManager::send_destroy(HWND hwnd) {
  Window* w = get(hwnd);
  if (!w || w->destroying) return;
  w->destroying = true;
  if (capture_ == hwnd) release_capture();
  send(hwnd, WM_DESTROY, 0, 0);
  w = get(hwnd);
  if (!w) return;
  for (HWND child : std::vector<HWND>(w->children.begin(), w->children.end())) send_destroy(child);
}

void WindowManager::free_window(HWND hwnd) {
  Window* w = get(hwnd);
  if (!w) return;
  for (HWND child : std::vector<HWND>(w->children.begin(), w->children.end())) free_window(child);
  send(hwnd, WM_NCDESTROY, 0, 0);
  w = get(hwnd);
  if (!w) return;

  if (focus_ == hwnd) focus_ = nullptr;
  if (capture_ == hwnd) capture_ = nullptr;
  unlink(*w);
  std::unique_ptr<Window> gone = table_.remove(reinterpret_cast<std::uintptr_t>(hwnd));
  gone.reset();  // the control's state goes with its window
  if (active_ == hwnd) {
    active_ = nullptr;
    pick_new_active(hwnd);
  }
}

void WindowManager::unlink(Window& w) {
  if (w.parent) {
    if (Window* p = get(w.parent)) p->children.erase(w.sibling_position);
  } else {
    std::erase(top_levels_, w.handle);
  }
}

void WindowManager::pick_new_active(HWND leaving) {
  (void)leaving;
  for (auto it = top_levels_.rbegin(); it != top_levels_.rend(); ++it) {
    Window* w = get(*it);
    if (w && w->visible() && !w->destroying && !w->window_class->system) {
      activate(*it, WA_ACTIVE);
      return;
    }
  }
}

// ---------------------------------------------------------------- sending

LRESULT WindowManager::send(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  Window* w = get(hwnd);
  if (!w) {
    session_.last_error = ERROR_INVALID_WINDOW_HANDLE;
    return 0;
  }
  if (send_depth_ >= kMaxSendDepth) {
    // A program that sends messages in a cycle would overflow the stack;
    // the platform refuses the innermost send instead.
    std::fprintf(stderr, "platform: message 0x%04x not sent: messages nested too deep\n", msg);
    return 0;
  }
  WNDPROC proc = w->proc;
  ++send_depth_;
  LRESULT result = proc(hwnd, msg, wp, lp);
  --send_depth_;
  return result;
}

// ---------------------------------------------------------------- geometry

Window* WindowManager::get(HWND hwnd) const { return table_.get(reinterpret_cast<std::uintptr_t>(hwnd)); }

RECT WindowManager::work_area() const {
  const Screen& s = session_.screen();
  return {0, s.nav_bar_height(), s.width(), s.height()};
}

RECT WindowManager::client_rect(HWND hwnd) const {
  Window* w = get(hwnd);
  if (!w) return {};
  int b = w->has_border() ? 1 : 0;
  return {0, 0, std::max(0, w->width() - 2 * b), std::max(0, w->height() - 2 * b)};
}

POINT WindowManager::client_origin_on_screen(HWND hwnd) const {
  Window* w = get(hwnd);
  if (!w) return {0, 0};
  int b = w->has_border() ? 1 : 0;
  POINT origin{w->rect.left + b, w->rect.top + b};
  if (w->parent) {
    POINT p = client_origin_on_screen(w->parent);
    origin.x += p.x;
    origin.y += p.y;
  }
  return origin;
}

RECT WindowManager::window_rect_on_screen(HWND hwnd) const {
  Window* w = get(hwnd);
  if (!w) return {};
  RECT r = w->rect;
  if (w->parent) {
    POINT p = client_origin_on_screen(w->parent);
    r.left += p.x;
    r.right += p.x;
    r.top += p.y;
    r.bottom += p.y;
  }
  return r;
}

RECT WindowManager::client_rect_on_screen(HWND hwnd) const {
  RECT c = client_rect(hwnd);
  POINT o = client_origin_on_screen(hwnd);
  return {o.x, o.y, o.x + c.right, o.y + c.bottom};
}

void WindowManager::send_size_and_move(HWND hwnd, bool moved, bool sized) {
  Window* w = get(hwnd);
  if (!w) return;
  w->size_sent = true;
  RECT c = client_rect(hwnd);
  if (sized) send(hwnd, WM_SIZE, SIZE_RESTORED, MAKELPARAM(c.right, c.bottom));
  if (moved && is_window(hwnd)) {
    POINT o = client_origin_on_screen(hwnd);
    if (Window* p = get(w->parent)) {
      POINT po = client_origin_on_screen(p->handle);
      o.x -= po.x;
      o.y -= po.y;
    }
    send(hwnd, WM_MOVE, 0, MAKELPARAM(o.x, o.y));
  }
}

void WindowManager::raise(Window& w, HWND insert_after) {
  if (Window* parent = get(w.parent)) {
    std::list<HWND>& siblings = parent->children;
    siblings.splice(insert_after == HWND_BOTTOM ? siblings.begin() : siblings.end(), siblings, w.sibling_position);
    return;
  }
  std::vector<HWND>* list = &top_levels_;
  std::erase(*list, w.handle);
  if (insert_after == HWND_BOTTOM) {
    list->insert(list->begin(), w.handle);
    return;
  }
  if (!w.parent && insert_after != HWND_TOPMOST && (w.ex_style & WS_EX_TOPMOST) == 0) {
    auto pos = std::find_if(list->begin(), list->end(),
                            [&](HWND h) { return (get(h)->ex_style & WS_EX_TOPMOST) != 0; });
    list->insert(pos, w.handle);
    return;
  }
  list->push_back(w.handle);
}

bool WindowManager::set_position(HWND hwnd, HWND insert_after, int x, int y, int cx, int cy, UINT flags) {
  Window* w = get(hwnd);
  if (!w) {
    session_.last_error = ERROR_INVALID_WINDOW_HANDLE;
    return false;
  }
  bool was_visible = visible_on_screen(hwnd);
  RECT old = w->rect;
  RECT r = old;
  if (!(flags & SWP_NOMOVE)) {
    r.right = x + (r.right - r.left);
    r.bottom = y + (r.bottom - r.top);
    r.left = x;
    r.top = y;
  }
  if (!(flags & SWP_NOSIZE)) {
    r.right = r.left + std::max(cx, 0);
    r.bottom = r.top + std::max(cy, 0);
  }
  w->rect = r;
  if (!(flags & SWP_NOZORDER)) {
    if (insert_after == HWND_TOPMOST) w->ex_style |= WS_EX_TOPMOST;
    if (insert_after == HWND_NOTOPMOST) w->ex_style &= ~WS_EX_TOPMOST;
    raise(*w, insert_after);
  }
  if (flags & SWP_SHOWWINDOW) w->style |= WS_VISIBLE;
  if (flags & SWP_HIDEWINDOW) w->style &= ~WS_VISIBLE;

  bool moved = r.left != old.left || r.top != old.top;
  bool sized = (r.right - r.left) != (old.right - old.left) || (r.bottom - r.top) != (old.bottom - old.top);
  bool now_visible = visible_on_screen(hwnd);
  if (!(flags & SWP_NOREDRAW) && (was_visible || now_visible)) {
    if (w->parent)
      invalidate(w->parent, nullptr, true);
    else
      invalidate_all();
  }
  if (sized && now_visible && (w->window_class->style & (CS_HREDRAW | CS_VREDRAW)))
    invalidate(hwnd, nullptr, true);
  if (moved || sized) send_size_and_move(hwnd, moved, sized);
  return true;
}

// ---------------------------------------------------------------- showing and activation

bool WindowManager::show(HWND hwnd, int cmd) {
  Window* w = get(hwnd);
  if (!w) return false;
  bool was = w->visible();
  bool want = cmd != SW_HIDE;
  if (was != want) {
    send(hwnd, WM_SHOWWINDOW, want ? TRUE : FALSE, 0);
    w = get(hwnd);
    if (!w) return was;
    if (want)
      w->style |= WS_VISIBLE;
    else
      w->style &= ~WS_VISIBLE;
    if (w->parent)
      invalidate(w->parent, nullptr, true);
    else
      invalidate_all();
    if (want) invalidate(hwnd, nullptr, true);
  }
  if (!w->parent && want && cmd != SW_SHOWNOACTIVATE && cmd != SW_SHOWNA && !(w->style & WS_DISABLED) &&
      !w->window_class->system)
    activate(hwnd, WA_ACTIVE);
  if (!want) {
    if (focus_ && (focus_ == hwnd || top_level_of(focus_) == hwnd)) focus_ = nullptr;
    if (active_ == hwnd) {
      active_ = nullptr;
      pick_new_active(hwnd);
    }
  }
  return was;
}

HWND WindowManager::top_level_of(HWND hwnd) const {
  Window* w = get(hwnd);
  while (w && w->parent) w = get(w->parent);
  return w ? w->handle : nullptr;
}

HWND WindowManager::last_active_popup(HWND owner) const {
  const Window* w = get(owner);
  if (!w) return nullptr;
  const Window* popup = get(w->last_active_popup);
  if (!popup || popup->destroying || !popup->visible() || !popup->enabled()) return owner;
  for (const Window* o = get(popup->owner); o; o = get(o->owner))
    if (o->handle == owner) return popup->handle;
  return owner;  // the handle now names a window that another owns
}

void WindowManager::activate(HWND hwnd, WORD how) {
  hwnd = top_level_of(hwnd);
  if (!hwnd || hwnd == active_) {
    if (hwnd) raise(*get(hwnd), HWND_TOP);
    return;
  }
  HWND old = active_;
  active_ = hwnd;
  for (Window* o = get(get(hwnd)->owner); o; o = get(o->owner)) o->last_active_popup = hwnd;
  raise(*get(hwnd), HWND_TOP);
  invalidate_all();
  if (old && is_window(old)) send(old, WM_ACTIVATE, WA_INACTIVE, reinterpret_cast<LPARAM>(hwnd));
  if (is_window(hwnd) && active_ == hwnd) send(hwnd, WM_ACTIVATE, how, reinterpret_cast<LPARAM>(old));
}

// ---------------------------------------------------------------- focus and capture

HWND WindowManager::set_focus(HWND hwnd) {
  HWND old = focus_;
  if (hwnd == old) return old;
  if (hwnd) {
    Window* w = get(hwnd);
    if (!w || w->destroying) return nullptr;
    HWND top = top_level_of(hwnd);
    if (top != active_) activate(top, WA_ACTIVE);
    if (focus_ == hwnd) return old;
  }
  focus_ = hwnd;
  if (old && is_window(old)) send(old, WM_KILLFOCUS, reinterpret_cast<WPARAM>(hwnd), 0);
  if (hwnd && is_window(hwnd) && focus_ == hwnd) send(hwnd, WM_SETFOCUS, reinterpret_cast<WPARAM>(old), 0);
  return old;
}

HWND WindowManager::set_capture(HWND hwnd) {
  HWND old = capture_;
  if (!is_window(hwnd)) return old;
  capture_ = hwnd;
  if (old && old != hwnd && is_window(old)) send(old, WM_CAPTURECHANGED, 0, reinterpret_cast<LPARAM>(hwnd));
  return old;
}

void WindowManager::release_capture() {
  HWND old = capture_;
  capture_ = nullptr;
  if (old && is_window(old)) send(old, WM_CAPTURECHANGED, 0, 0);
}

// ---------------------------------------------------------------- search

bool WindowManager::visible_on_screen(HWND hwnd) const {
  for (Window* w = get(hwnd); w; w = get(w->parent)) {
    if (!w->visible()) return false;
    if (!w->parent) return true;
  }
  return false;
}

HWND WindowManager::hit_test_in(HWND hwnd, POINT pt) const {
  Window* w = get(hwnd);
  if (!w || !w->visible() || w->destroying) return nullptr;
  RECT r = window_rect_on_screen(hwnd);
  if (pt.x < r.left || pt.x >= r.right || pt.y < r.top || pt.y >= r.bottom) return nullptr;
  RECT c = client_rect_on_screen(hwnd);
  if (pt.x >= c.left && pt.x < c.right && pt.y >= c.top && pt.y < c.bottom) {
    for (auto it = w->children.rbegin(); it != w->children.rend(); ++it)
      if (HWND hit = hit_test_in(*it, pt)) return hit;
  }
  return hwnd;
}

HWND WindowManager::hit_test(POINT pt) const {
  for (auto it = top_levels_.rbegin(); it != top_levels_.rend(); ++it)
    if (HWND hit = hit_test_in(*it, pt)) return hit;
  return nullptr;
}

HWND WindowManager::find_top_level(const std::u16string* class_name, const std::u16string* title) const {
  for (auto it = top_levels_.rbegin(); it != top_levels_.rend(); ++it) {
    Window* w = get(*it);
    if (!w || w->destroying) continue;
    if (class_name && ClassKey(w->window_class->name) != ClassKey(*class_name)) continue;
    if (title && w->text != *title) continue;
    return *it;
  }
  return nullptr;
}

std::vector<HWND> WindowManager::program_top_levels() const {
  std::vector<HWND> out;
  for (HWND h : top_levels_) {
    Window* w = get(h);
    if (w && !w->window_class->system && !w->destroying) out.push_back(h);
  }
  return out;
}

// ---------------------------------------------------------------- painting

void WindowManager::collect_paint_order(HWND hwnd, std::vector<HWND>& out) const {
  Window* w = get(hwnd);
  if (!w || !w->visible()) return;
  out.push_back(hwnd);
  for (HWND child : w->children) collect_paint_order(child, out);
}

std::vector<HWND> WindowManager::paint_order() const {
  std::vector<HWND> out;
  for (HWND h : top_levels_) collect_paint_order(h, out);
  return out;
}

void WindowManager::invalidate(HWND hwnd, const RECT* rect, bool erase) {
  Window* w = get(hwnd);
  if (!w) return;
  RECT c = client_rect(hwnd);
  RECT r = rect ? *rect : c;
  r.left = std::max(r.left, c.left);
  r.top = std::max(r.top, c.top);
  r.right = std::min(r.right, c.right);
  r.bottom = std::min(r.bottom, c.bottom);
  // The frame is redrawn with the client area, so even an empty client counts.
  if (r.right <= r.left || r.bottom <= r.top) r = c;
  w->update = w->needs_paint ? Union(w->update, r) : r;
  w->needs_paint = true;
  w->needs_erase = w->needs_erase || erase;
}

void WindowManager::invalidate_all() {
  desktop_dirty_ = true;
  for (HWND h : paint_order()) invalidate(h, nullptr, true);
}

void WindowManager::validate(HWND hwnd) {
  if (Window* w = get(hwnd)) {
    w->needs_paint = false;
    w->needs_erase = false;
    w->update = {};
  }
}

HWND WindowManager::next_to_paint() {
  if (desktop_dirty_) {
    desktop_dirty_ = false;
    session_.screen().fill(RGB(0x1c, 0x3f, 0x7c));
    // The fill covered whatever was painted before it.
    for (HWND h : paint_order()) invalidate(h, nullptr, true);
  }
  // A window wholly off the screen would draw nothing: it stays due and is
  // painted once it moves into view.
  for (HWND h : paint_order())
    if (get(h)->needs_paint && !off_screen(h)) return h;
  return nullptr;
}

bool WindowManager::screen_dirty() const {
  if (desktop_dirty_) return true;
  for (HWND h : paint_order())
    if (get(h)->needs_paint && !off_screen(h)) return true;
  return false;
}

bool WindowManager::off_screen(HWND hwnd) const {
  const RECT r = window_rect_on_screen(hwnd);
  const RECT screen = {0, 0, session_.screen().width(), session_.screen().height()};
  return r.right > r.left && r.bottom > r.top && !Intersects(r, screen);
}

void WindowManager::after_paint(HWND hwnd) {
  std::vector<HWND> order = paint_order();
  auto it = std::find(order.begin(), order.end(), hwnd);
  if (it == order.end()) return;
  RECT painted = window_rect_on_screen(hwnd);
  for (++it; it != order.end(); ++it) {
    Window* w = get(*it);
    if (w->needs_paint) continue;
    if (Intersects(painted, window_rect_on_screen(*it))) invalidate(*it, nullptr, true);
  }
}

}  // namespace platform
