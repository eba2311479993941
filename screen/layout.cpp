// The date pickers, the appointment list and their placement arrive with the
// platform's standard controls; until then the screen holds only the arrow.
#include "screen/layout.h"

int CreateDatePickers() { return 0; }
int CreateAppointmentList() { return 1; }
void ResizeListColumns() {}
void LayoutScreen() {}
void PlaceRowsAndList() {}
