// The fixed controls of the time-card screen and where every control goes.
#pragma once

int CreateDatePickers();
int CreateAppointmentList();
void ResizeListColumns();
void LayoutScreen();
void PlaceRowsAndList();
