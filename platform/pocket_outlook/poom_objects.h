// The Pocket Outlook objects: the application, the calendar folder, its
// item collection and appointments, over the calendar store on the user's
// iCalendar file. Each object is reference counted; the application object
// keeps the store open from Logon to Logoff or its last release.
#pragma once

#include <pimstore.h>

#include <filesystem>
#include <functional>

#include "platform/calendar/calendar_store.h"
#include "platform/core/session.h"

namespace platform {

enum class OutlookFault {
  logon,               // IPOutlookApp::Logon returns E_FAIL
  calendar_disk_full,  // every write of the calendar file fails with ENOSPC
};

// Opens the appointment editor on the fields of an item and returns as the
// editor closes: S_OK when the edits are to be kept (`fields` holds them),
// S_FALSE when cancelled, and with `*deleted` set when the user deleted it.
using EditorHandler = std::function<HRESULT(calendar::AppointmentFields& fields, bool is_new, bool* deleted)>;

// What Pocket Outlook keeps per session: the calendar it logs on to and the
// editor that an appointment's Display opens (hosts may put their own in
// its place).
class PocketOutlook : public Service {
 public:
  explicit PocketOutlook(std::filesystem::path calendar) : calendar_(std::move(calendar)) {}
  static PocketOutlook& of(Session& session) { return session.service<PocketOutlook>(); }

  const std::filesystem::path& calendar() const { return calendar_; }
  EditorHandler editor;

 private:
  std::filesystem::path calendar_;
};

// Installs Pocket Outlook on the calendar at `calendar`: its application
// class (CLSID_Application) for CoCreateInstance, the appointment editor's
// window class, and the platform's editor as Display's.
void InstallPocketOutlook(Session& session, std::filesystem::path calendar);

}  // namespace platform
