#include "platform/hosts/input.h"

#include <cctype>
#include <map>

#include "platform/core/message_queue.h"
#include "platform/core/session.h"

namespace platform {

void PostMouse(Session& session, UINT message, int x, int y) {
  session.queue().post_input(message, message == WM_LBUTTONUP ? 0 : MK_LBUTTON, MAKELPARAM(x, y));
}

void PostTap(Session& session, int x, int y) {
  PostMouse(session, WM_LBUTTONDOWN, x, y);
  PostMouse(session, WM_LBUTTONUP, x, y);
}

void PostKey(Session& session, WORD vk, bool down) {
  session.queue().post_input(down ? WM_KEYDOWN : WM_KEYUP, vk, down ? 1 : static_cast<LPARAM>(0xC0000001u));
}

bool PostKeys(Session& session, const std::string& keys) {
  static const std::map<std::string, WORD> kNamed = {
      {"up", VK_UP},         {"down", VK_DOWN},   {"left", VK_LEFT},        {"right", VK_RIGHT},
      {"enter", VK_RETURN},  {"tab", VK_TAB},     {"escape", VK_ESCAPE},    {"esc", VK_ESCAPE},
      {"space", VK_SPACE},   {"backspace", VK_BACK}, {"delete", VK_DELETE}, {"home", VK_HOME},
      {"end", VK_END},       {"pageup", VK_PRIOR}, {"pagedown", VK_NEXT}};
  std::string text;
  for (char c : keys) text += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  bool ctrl = false, shift = false;
  for (;;) {
    if (text.rfind("ctrl+", 0) == 0) {
      ctrl = true;
      text.erase(0, 5);
    } else if (text.rfind("shift+", 0) == 0) {
      shift = true;
      text.erase(0, 6);
    } else {
      break;
    }
  }
  WORD vk = 0;
  if (auto it = kNamed.find(text); it != kNamed.end()) {
    vk = it->second;
  } else if (text.size() == 1 && std::isalnum(static_cast<unsigned char>(text[0]))) {
    vk = static_cast<WORD>(std::toupper(static_cast<unsigned char>(text[0])));
    if (std::isupper(static_cast<unsigned char>(keys.back()))) shift = true;
  } else {
    return false;
  }
  if (ctrl) PostKey(session, VK_CONTROL, true);
  if (shift) PostKey(session, VK_SHIFT, true);
  PostKey(session, vk, true);
  PostKey(session, vk, false);
  if (shift) PostKey(session, VK_SHIFT, false);
  if (ctrl) PostKey(session, VK_CONTROL, false);
  return true;
}

}  // namespace platform
