// Input as a person gives it: taps and key presses entered into the queue
// as hardware input, reaching windows exactly as the interactive host's do.
#pragma once

#include <optional>
#include <string>

#include <windows.h>

namespace platform {

class Session;

void PostTap(Session& session, int x, int y);
void PostMouse(Session& session, UINT message, int x, int y);
void PostKey(Session& session, WORD vk, bool down);
// Presses a key combination such as "ctrl+q", "up", "enter" or "a".
// Returns false when the text names no key.
bool PostKeys(Session& session, const std::string& keys);

}  // namespace platform
