// The edits that touch one occurrence of a series. A save on an occurrence
// adds an override, a VEVENT of the series' UID whose RECURRENCE-ID names
// the occurrence; deleting one adds an EXDATE to the master. The master's
// other lines stay byte for byte, as do the other occurrences.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "recurrence.h"
#include "platform/calendar/calendar_store.h"

namespace platform::calendar::detail {

// The override for the occurrence `instant` of the series `master`: the
// master's lines without RRULE, RDATE, EXDATE and EXRULE, DTSTART and DTEND
// moved to the occurrence (`shown` holds its start and duration as listed),
// and a RECURRENCE-ID written in the form of DTSTART. Alarms and unknown
// properties come along, as the occurrence has them too.
std::string build_override(std::string_view master, const SeriesRule& rule, std::int64_t instant,
                           const AppointmentFields& shown, const TimeZones& zones, std::string_view eol);

// `master` with an EXDATE for `instant`, written in the form of DTSTART
// after the series' last recurrence line.
std::string add_exdate(std::string_view master, const SeriesRule& rule, std::int64_t instant,
                       const TimeZones& zones, std::string_view eol);

}  // namespace platform::calendar::detail
