// Producing the new text of one VEVENT. An edit copies every line it has no
// reason to touch byte for byte, so the user's unknown properties, folding
// and line endings survive; only the properties whose values changed are
// written anew, in the form (time zone, UTC, floating, date) they had.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "ical_time.h"
#include "platform/calendar/calendar_store.h"

namespace platform::calendar::detail {

struct ChangeSet {
  bool subject = false;
  bool body = false;
  bool categories = false;
  bool start = false;     // start time or the all-day flag
  bool duration = false;
  bool any() const { return subject || body || categories || start || duration; }
};

// Both arguments normalized.
ChangeSet diff_fields(const AppointmentFields& before, const AppointmentFields& after);

// Fields as they will read back: all-day events start at 00:00 and last
// whole days (at least one). nullopt with *error when they cannot be stored.
std::optional<AppointmentFields> normalize_fields(const AppointmentFields& fields,
                                                  std::string* error);

struct EditContext {
  const TimeZones* zones = nullptr;
  std::string_view eol = "\r\n";
  std::int64_t now_utc = 0;
  TimeForm timed_form;  // for new events and ones that stop being all-day
};

// The event's new bytes with `changes` applied from `want` (normalized).
std::string rewrite_event(std::string_view event_bytes, const AppointmentFields& want,
                          const ChangeSet& changes, const EditContext& ctx);

// A complete new VEVENT block.
std::string build_event(const AppointmentFields& want, std::string_view uid,
                        const EditContext& ctx);

}  // namespace platform::calendar::detail
