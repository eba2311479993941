// The Pocket Outlook objects: the application, the calendar folder, its
// item collection and appointments, over the calendar store on the user's
// iCalendar file. Each object is reference counted; the application object
// keeps the store open from Logon to Logoff or its last release.
#pragma once

#include <pimstore.h>

#include <memory>
#include <string>
#include <vector>

#include "platform/calendar/calendar_store.h"

namespace platform {

class Session;

// Creates the application object for CoCreateInstance, with one reference.
IPOutlookApp* CreatePoomApplication(Session& session);

}  // namespace platform
