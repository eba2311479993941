// The platform's appointment editor, which Pocket Outlook's Display opens:
// a modal window over the work area with the appointment's fields and its
// own soft keys ("ok", and "Menu" with Cancel and Delete).
#pragma once

#include <windows.h>

namespace platform {

namespace calendar {
struct AppointmentFields;
}

// Shows the editor on `fields` and runs until it closes, as an
// EditorHandler: S_OK after ok (`fields` then holds the edits), S_FALSE after
// Cancel or Delete (`*deleted` set for Delete), and S_FALSE when the thread
// is asked to quit meanwhile (the quit request is posted again).
HRESULT RunAppointmentEditor(calendar::AppointmentFields& fields, bool is_new, bool* deleted);
void RegisterAppointmentEditorClass();

// The parts of the open editor, for hosts that fill it in as a person would.
enum class EditorPart { subject, start_date, start_time, duration, categories, notes };
HWND OpenAppointmentEditor();  // nullptr while no editor is open
HWND AppointmentEditorPart(HWND editor, EditorPart part);
HWND AppointmentEditorMenuBar(HWND editor);

}  // namespace platform
