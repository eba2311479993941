// Realistic generated calendars for the benchmarks: what a busy person's
// calendar file looks like after years of use. Deterministic for a given
// size, so every run and every tool (Tallyset, libical, khal) sees the same
// events.
//
// - two VTIMEZONEs; most timed events start with TZID=Europe/Berlin, some
//   with TZID=America/New_York, some in UTC;
// - every tenth event is an all-day event (VALUE=DATE);
// - every fifth event has a VALARM;
// - every second event has CATEGORIES (from the settings' choices);
// - descriptions are folded; unknown properties stay in;
// - the settings appointment with three fields comes first.
//
// Events are eight a day, three hours apart, laid out backwards from the
// anchor day; a tenth of them lie after it. The anchor (2026-12-04) is the
// `--now` the benchmark scripts use, so the default week is full.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <string>

#include "platform/base/civil_date.h"

namespace bench {

inline constexpr const char* kAnchorNow = "2026-12-04 16:20";
inline constexpr int kAnchorYear = 2026, kAnchorMonth = 12, kAnchorDay = 4;

inline constexpr const char* kSettingsBody =
    "Tallyset settings\\nLines 1 to 6 are free text.\\nThe field lines follow them:\\n"
    "Label:Choice\\;Choice\\;\\n-\\n-\\n"
    "Customer:North Ltd\\;South plc\\;Westwind\\;\\n"
    "Task:Meeting\\;Travel\\;Support\\;Development\\;\\n"
    "Billable:Yes\\;No\\;";

inline constexpr const char* kZones =
    "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\nBEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\n"
    "TZOFFSETTO:+0200\r\nTZNAME:CEST\r\nDTSTART:19700329T020000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\nBEGIN:STANDARD\r\n"
    "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nTZNAME:CET\r\nDTSTART:19701025T030000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n"
    "BEGIN:VTIMEZONE\r\nTZID:America/New_York\r\nBEGIN:DAYLIGHT\r\nTZOFFSETFROM:-0500\r\n"
    "TZOFFSETTO:-0400\r\nTZNAME:EDT\r\nDTSTART:20070311T020000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=2SU\r\nEND:DAYLIGHT\r\nBEGIN:STANDARD\r\n"
    "TZOFFSETFROM:-0400\r\nTZOFFSETTO:-0500\r\nTZNAME:EST\r\nDTSTART:20071104T020000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=11;BYDAY=1SU\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";

using platform::civil_from_days;
using platform::days_from_civil;
using Day = platform::CivilDay;

// The settings appointment, far in the future so that it is never listed.
inline std::string settings_event() {
  return std::string(
             "BEGIN:VEVENT\r\nUID:settings@bench.tallyset\r\nDTSTAMP:20200101T000000Z\r\n"
             "DTSTART:20500101T090000\r\nDTEND:20500101T093000\r\n"
             "SUMMARY:Outlook Tallyset 3 Personal Settings\r\nDESCRIPTION:") +
         kSettingsBody + "\r\nEND:VEVENT\r\n";
}

// Event i of a calendar of `events` (i = 0 is the latest).
inline std::string generated_event(int i, int events) {
  static const char* const kCustomers[] = {"North Ltd", "South plc", "Westwind"};
  static const char* const kTasks[] = {"Meeting", "Travel", "Support", "Development"};
  // Slot 0 is a tenth of the calendar after the anchor day; 8 slots a day.
  const int slot = events / 10 - i;
  const std::int64_t anchor = days_from_civil(kAnchorYear, kAnchorMonth, kAnchorDay);
  const std::int64_t day = anchor + (slot >= 0 ? slot / 8 : -((-slot + 7) / 8));
  const int in_day = ((slot % 8) + 8) % 8;
  const Day d = civil_from_days(day);
  const Day next = civil_from_days(day + 1);
  const int hour = 7 + in_day * 2 - (in_day > 5 ? 7 : 0);  // 07..17, then two evening slots
  const int length = 15 * (1 + i % 6);

  std::string out;
  out.reserve(900);
  char buf[512];
  std::snprintf(buf, sizeof buf,
                "BEGIN:VEVENT\r\nUID:%08d-%04x@bench.example.com\r\nDTSTAMP:20200101T000000Z\r\n"
                "CREATED:20190101T120000Z\r\nLAST-MODIFIED:20200101T000000Z\r\n",
                i, static_cast<unsigned>(i * 2654435761u) & 0xFFFF);
  out += buf;
  if (i % 10 == 0) {
    std::snprintf(buf, sizeof buf,
                  "DTSTART;VALUE=DATE:%04d%02d%02d\r\nDTEND;VALUE=DATE:%04d%02d%02d\r\n"
                  "TRANSP:TRANSPARENT\r\n",
                  d.year, d.month, d.day, next.year, next.month, next.day);
  } else if (i % 10 == 5) {
    const int h = (hour + 23) % 24;  // Berlin is one or two hours ahead of UTC
    std::snprintf(buf, sizeof buf, "DTSTART:%04d%02d%02dT%02d%02d00Z\r\nDURATION:PT%dM\r\n", d.year, d.month,
                  d.day, h, (i * 7) % 4 * 15, length);
  } else {
    const char* zone = i % 10 == 7 ? "America/New_York" : "Europe/Berlin";
    const int h = i % 10 == 7 ? (hour + 18) % 24 : hour;
    const int m = (i * 7) % 4 * 15;
    const int end_total = h * 60 + m + length;
    const int eh = end_total >= 1440 ? 23 : end_total / 60, em = end_total >= 1440 ? 59 : end_total % 60;
    std::snprintf(buf, sizeof buf,
                  "DTSTART;TZID=%s:%04d%02d%02dT%02d%02d00\r\nDTEND;TZID=%s:%04d%02d%02dT%02d%02d00\r\n",
                  zone, d.year, d.month, d.day, h, m, zone, d.year, d.month, d.day, eh, em);
  }
  out += buf;
  std::snprintf(buf, sizeof buf,
                "SUMMARY:Meeting number %d about the quarterly plan\r\n"
                "DESCRIPTION:Agenda: review\\, numbers\\; next steps for item %d and a note\r\n"
                " that was folded by the writer.\\nSecond line of the agenda.\r\n"
                "LOCATION:Room %d\r\nX-MICROSOFT-CDO-BUSYSTATUS:BUSY\r\nSEQUENCE:%d\r\n",
                i, i, i % 40, i % 3);
  out += buf;
  if (i % 2 == 0) {
    // Half of them carry categories: some complete, some partial, some foreign.
    switch (i / 2 % 4) {
      case 0:
        std::snprintf(buf, sizeof buf, "CATEGORIES:%s,%s,Yes\r\n", kCustomers[i % 3], kTasks[i % 4]);
        break;
      case 1: std::snprintf(buf, sizeof buf, "CATEGORIES:%s\r\n", kCustomers[i % 3]); break;
      case 2: std::snprintf(buf, sizeof buf, "CATEGORIES:%s,Private\r\n", kTasks[i % 4]); break;
      default: std::snprintf(buf, sizeof buf, "CATEGORIES:Holiday\r\n"); break;
    }
    out += buf;
  }
  if (i % 5 == 0) {
    out +=
        "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT15M\r\nDESCRIPTION:Reminder\r\n"
        "END:VALARM\r\n";
  }
  out += "END:VEVENT\r\n";
  return out;
}

// Series j of the recurring ones, in tens: one DAILY, four WEEKLY (on one
// day or on three), two every second week, two MONTHLY (on the last Friday
// or on the start's day) and one YEARLY; half of them open-ended, the others
// ended by COUNT or by an UNTIL years ago. They began up to ten years before
// the anchor; every third has an EXDATE in the anchor's week, and every
// tenth an override moved by an hour.
inline std::string generated_series(int j) {
  static const char* const kRules[] = {"FREQ=DAILY",
                                       "FREQ=WEEKLY",
                                       "FREQ=WEEKLY;BYDAY=MO,WE,FR",
                                       "FREQ=WEEKLY;BYDAY=TU",
                                       "FREQ=WEEKLY;BYDAY=TH",
                                       "FREQ=WEEKLY;INTERVAL=2;BYDAY=TU",
                                       "FREQ=WEEKLY;INTERVAL=2",
                                       "FREQ=MONTHLY;BYDAY=-1FR",
                                       "FREQ=MONTHLY",
                                       "FREQ=YEARLY"};
  const std::int64_t anchor = days_from_civil(kAnchorYear, kAnchorMonth, kAnchorDay);
  // A Monday up to ten years back (1970-01-05 was a Monday).
  std::int64_t first = anchor - 30 - (j * 373L) % 3650;
  first -= ((first - 4) % 7 + 7) % 7;
  const Day d = civil_from_days(first);
  const int hour = 8 + j % 9, minute = (j % 4) * 15;
  const char* zone = j % 7 == 3 ? "America/New_York" : "Europe/Berlin";
  char buf[512];
  std::string out;
  std::snprintf(buf, sizeof buf,
                "BEGIN:VEVENT\r\nUID:series-%05d@bench.example.com\r\nDTSTAMP:20200101T000000Z\r\n"
                "DTSTART;TZID=%s:%04d%02d%02dT%02d%02d00\r\nDTEND;TZID=%s:%04d%02d%02dT%02d%02d00\r\n",
                j, zone, d.year, d.month, d.day, hour, minute, zone, d.year, d.month, d.day, hour + 1, minute);
  out += buf;
  std::string rule = kRules[j % 10];
  if (j / 10 % 2 == 1) rule += j / 20 % 2 == 0 ? ";COUNT=20" : ";UNTIL=20200101T000000Z";
  out += "RRULE:" + rule + "\r\n";
  if (j % 3 == 0) {
    const Day x = civil_from_days(anchor - 2);
    std::snprintf(buf, sizeof buf, "EXDATE;TZID=%s:%04d%02d%02dT%02d%02d00\r\n", zone, x.year, x.month, x.day, hour,
                  minute);
    out += buf;
  }
  std::snprintf(buf, sizeof buf, "SUMMARY:Series %d\r\nCATEGORIES:North Ltd,Meeting\r\nEND:VEVENT\r\n", j);
  out += buf;
  if (j % 10 == 4) {
    const Day o = civil_from_days(anchor - 3);
    std::snprintf(buf, sizeof buf,
                  "BEGIN:VEVENT\r\nUID:series-%05d@bench.example.com\r\nDTSTAMP:20200101T000000Z\r\n"
                  "RECURRENCE-ID;TZID=%s:%04d%02d%02dT%02d%02d00\r\n"
                  "DTSTART;TZID=%s:%04d%02d%02dT%02d%02d00\r\nDURATION:PT1H\r\n"
                  "SUMMARY:Series %d moved\r\nEND:VEVENT\r\n",
                  j, zone, o.year, o.month, o.day, hour, minute, zone, o.year, o.month, o.day, hour + 1, minute, j);
    out += buf;
  }
  return out;
}

inline std::string calendar_header() {
  return std::string("BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Tallyset//Bench//EN\r\n"
                     "CALSCALE:GREGORIAN\r\n") +
         kZones;
}

// The whole calendar: the settings appointment, `events` generated events
// and `series` recurring ones among them.
inline std::string generate_calendar(int events, int series = 0) {
  std::string out = calendar_header();
  out.reserve(static_cast<std::size_t>(events) * 700 + static_cast<std::size_t>(series) * 400 + 4096);
  out += settings_event();
  const int stride = series > 0 ? std::max(1, events / series) : 0;
  for (int i = 0; i < events; ++i) {
    out += generated_event(i, events);
    if (series > 0 && i % stride == 0 && i / stride < series) out += generated_series(i / stride);
  }
  out += "END:VCALENDAR\r\n";
  return out;
}

}  // namespace bench
