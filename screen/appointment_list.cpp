// Filling the list arrives with the list control; a refresh until then
// only disables Save, as every refresh does.
#include "screen/appointment_list.h"

#include "app/main_window.h"

HRESULT RefreshAppointmentList() {
  SetSaveEnabled(FALSE);
  return -1;
}
