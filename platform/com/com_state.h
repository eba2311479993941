// COM on the program's thread: whether it was started, and the hook through
// which Pocket Outlook's Display reaches an appointment editor.
#pragma once

#include <functional>

#include <windows.h>

struct IAppointment;

namespace platform {

namespace calendar {
struct AppointmentFields;
}

// Opens the appointment editor on the fields of an item and returns as the
// editor closes: S_OK when the edits are to be kept (`fields` holds them),
// S_FALSE when cancelled, and with `*deleted` set when the user deleted it.
using EditorHandler = std::function<HRESULT(calendar::AppointmentFields& fields, bool is_new, bool* deleted)>;

class ComState {
 public:
  int init_count = 0;
  EditorHandler editor;
  long live_objects = 0;  // Pocket Outlook objects not yet released
  long live_strings = 0;  // automation strings not yet freed
};

}  // namespace platform
