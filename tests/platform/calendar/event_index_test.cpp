// The index remembers where each event's SUMMARY, DESCRIPTION and
// CATEGORIES lines are, so that a search decodes only the line it asks
// about. Whatever the event looks like, reading a field from those lines
// gives exactly what reading the whole event gives, and the searches built on
// them stay right as saves move events about in the file.
#include <gtest/gtest.h>

#include <libical/ical.h>

#include <sstream>

#include "event_index.h"
#include "text_codec.h"
#include "platform/calendar/calendar_store.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;
using detail::EventText;

// awkward_text.ics: events whose text lines are hard to find, and what each
// reads as whole. A subject has a fingerprint unless it is escaped or its
// first SUMMARY cannot be read.
struct Expected { const char* what; std::string summary, description, categories; bool subject_hashed; };
const Expected kExpected[] = {
    {"alarm text before the event's own", "Real subject", "Real body", "Real", true},
    {"first SUMMARY unreadable (open quote)", "Second summary", "", "", false},
    {"only the first of two SUMMARY and DESCRIPTION counts", "First", "Body one", "", true},
    {"CATEGORIES on three lines, the alarm's among them", "Split categories", "", "A,B,C,D\\,E", true},
    {"first CATEGORIES unreadable", "Broken categories", "", "Kept", true},
    {"only CATEGORIES unreadable", "No categories", "", "", true},
    {"folded, escaped, lower-case, with parameters", "Caf\xC3\xA9; with \"escapes\"",
     "Folded body that goes on and on and on until it must be folded, twiceover", "", false},
    {"no text at all", "", "", "", true},
    {"text only inside the alarm", "", "", "", true},
    {"description first, categories last, CRLF", "Late subject", "Early body", "Last", true},
};

std::vector<std::string> awkward_events() {
  const std::string text = test_data("awkward_text.ics");
  std::vector<std::string> events;
  for (std::size_t at = text.find("BEGIN:VEVENT"); at != std::string::npos; at = text.find("BEGIN:VEVENT", at + 1)) {
    const std::size_t end = text.find('\n', text.find("END:VEVENT", at)) + 1;
    events.push_back(text.substr(at, end - at));
  }
  return events;
}

TEST(EventIndex, TextFromTheIndexedLinesIsTextFromTheWholeEvent) {
  detail::TimeZones zones(icaltimezone_get_utc_timezone());
  const auto events = awkward_events();
  ASSERT_EQ(events.size(), std::size(kExpected));
  for (std::size_t i = 0; i < events.size(); ++i) {
    const Expected& e = kExpected[i];
    SCOPED_TRACE(e.what);
    const std::string& event = events[i];
    const EventText whole = detail::read_event_text(event);
    EXPECT_EQ(std::tie(whole.summary, whole.description, whole.categories),
              std::tie(e.summary, e.description, e.categories));
    const auto indexed = detail::index_event(event, 0, event.size(), 1, zones).event;
    ASSERT_TRUE(indexed);
    for (unsigned which = 1; which <= detail::kAllText; ++which) {
      const EventText part = detail::read_event_text(event, indexed->text, which);
      EXPECT_EQ(part.summary, which & detail::kSummary ? e.summary : "") << which;
      EXPECT_EQ(part.description, which & detail::kDescription ? e.description : "") << which;
      EXPECT_EQ(part.categories, which & detail::kCategories ? e.categories : "") << which;
    }
    // A search passes events by on the subject's fingerprint.
    EXPECT_EQ(indexed->text.subject_hashed, e.subject_hashed);
    if (indexed->text.subject_hashed) {
      EXPECT_EQ(indexed->text.subject_hash, detail::text_hash(FromUtf8(e.summary)));
    }
  }
  EXPECT_NE(detail::text_hash(u"Real subject"), detail::text_hash(u"Real subjecT"));

  // Lines further into an event than the index counts (past an alarm that
  // long): the event is read whole.
  const std::string far = "BEGIN:VEVENT\r\nUID:far\r\nDTSTART:20260301T100000Z\r\nBEGIN:VALARM\r\nX-PAD:" +
                          std::string(70000, 'x') + "\r\nSUMMARY:Alarm\r\nEND:VALARM\r\nSUMMARY:Far\r\n" +
                          "CATEGORIES:Late\r\nEND:VEVENT\r\n";
  const auto indexed = detail::index_event(far, 0, far.size(), 1, zones).event;
  ASSERT_TRUE(indexed);
  const EventText part = detail::read_event_text(far, indexed->text, detail::kSummary | detail::kCategories);
  EXPECT_EQ(std::tie(part.summary, part.description, part.categories), std::tie("Far", "", "Late"));
}

// Searches for each text field find exactly the events whose field it is,
// before and after saves that grow, shrink, add and remove events around them.
TEST(EventIndex, TextSearchesFollowSavesThatMoveEvents) {
  ScopedTz tz("UTC");
  TempDir dir;
  write_bytes(dir / "cal.ics", test_data("awkward_text.ics"));
  auto store = open_store(dir / "cal.ics");
  ASSERT_TRUE(store);

  auto quoted = [](const std::u16string& text) {
    std::u16string out = u"\"";
    for (char16_t c : text) {
      if (c == u'"') out.push_back(u'"');
      out.push_back(c);
    }
    return out + u"\"";
  };
  // Every event is found by each of its own fields, and only by fields its
  // alarm has when they are also its own.
  auto check = [&](const char* when) {
    SCOPED_TRACE(when);
    for (const Oid oid : store->all()) {
      const AppointmentFields f = *store->get(oid);
      for (const auto& [field, value] : {std::pair{u"Subject", f.subject}, std::pair{u"Body", f.body},
                                          std::pair{u"Categories", f.categories}}) {
        SCOPED_TRACE(u8(field) + " of " + u8(f.subject));
        const std::u16string test = u"[" + std::u16string(field) + u"] ";
        const std::u16string which = u" AND [OID] = " + u16(std::to_string(oid));
        EXPECT_EQ(store->find(test + u"= " + quoted(value) + which), std::vector<Oid>{oid});
        EXPECT_EQ(store->find(test + u"<> " + quoted(value) + which), std::vector<Oid>{});
      }
    }
    for (const char16_t* alarms_own : {u"[Body] = \"Reminder\"", u"[Subject] = \"alarm only\"",
                                       u"[Categories] = \"Not mine\""})
      EXPECT_EQ(store->find(alarms_own), std::vector<Oid>{});
  };
  check("as read");
  const Oid first = oid_of(*store, "Real subject");
  const Oid split = oid_of(*store, "Split categories");
  ASSERT_TRUE(first && split);
  // The first event grows: every later one moves.
  ASSERT_TRUE(edit(*store, first, [](auto& f) {
                f.subject = u"Real subject, now a good deal longer than it was before";
                f.body = u"Another body";
              }).ok);
  check("after a longer subject");
  // Its categories lines become one, and the event gets shorter.
  ASSERT_TRUE(edit(*store, split, [](auto& f) { f.categories = u"Z"; }).ok);
  EXPECT_EQ(store->find(u"[Categories] = \"Z\""), std::vector<Oid>{split});
  check("after joining categories");
  StoreStatus status;
  const AppointmentFields added{u"Added", u"Added body", u"New", {2026, 12, 2, 9, 0, 0}, 0, false};
  ASSERT_NE(store->add(added, &status), 0u) << status.message;
  check("after an add");
  ASSERT_TRUE(store->remove(first).ok);
  check("after a removal");
}

// Calendars of CRLF lines for the scans below: a zone of one fixed offset,
// an event of the given lines, the calendar's first and last lines.
std::string fixed_zone(const std::string& name, const std::string& offset) {
  return "BEGIN:VTIMEZONE\r\nTZID:Test/" + name + "\r\nBEGIN:STANDARD\r\nDTSTART:19700101T000000\r\nTZOFFSETFROM:" +
         offset + "\r\nTZOFFSETTO:" + offset + "\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";
}
std::string crlf_event(const std::string& uid, const std::string& lines) {
  return "BEGIN:VEVENT\r\nUID:" + uid + "\r\n" + lines + "END:VEVENT\r\n";
}
const std::string kHead = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\n", kTail = "END:VCALENDAR\r\n";

// An event is indexed as soon as it ends when every VTIMEZONE comes first;
// a zone after the events that use it has the whole file indexed again at
// its end. Either way each event reads the same, in its file's own zone.
TEST(EventIndex, ZonesAfterTheirEventsReadAsZonesBeforeThem) {
  const std::string plus3 = fixed_zone("Plus3", "+0300"), minus5 = fixed_zone("Minus5", "-0500");
  const std::string events =
      crlf_event("a", "DTSTART;TZID=Test/Plus3:20260301T120000\r\nDTEND;TZID=Test/Minus5:20260301T120000\r\n") +
      crlf_event("b", "DTSTART:20260301T120000Z\r\nDTEND:20260301T130000Z\r\n") +
      crlf_event("c", "DTSTART;VALUE=DATE:20260302\r\nDTEND;VALUE=DATE:20260304\r\n") +
      crlf_event("d", "DTSTART;TZID=Test/Minus5:20260301T070000\r\nDTEND:20260301T130000\r\n");
  // UTC as local time: a start in Test/Plus3 at 12:00 is 09:00, in Test/Minus5 at 07:00 is 12:00.
  const std::vector<detail::EventTiming> expected = {{{2026, 3, 1, 9, 0, 0}, 8 * 60, false},
                                                     {{2026, 3, 1, 12, 0, 0}, 60, false},
                                                     {{2026, 3, 2, 0, 0, 0}, 2 * 1440, true},
                                                     {{2026, 3, 1, 12, 0, 0}, 60, false}};
  for (const std::string& text : {kHead + plus3 + minus5 + events + kTail, kHead + events + plus3 + minus5 + kTail,
                                  kHead + plus3 + events + minus5 + kTail}) {
    detail::TimeZones zones(icaltimezone_get_utc_timezone());
    const detail::ScanResult result = detail::scan_calendar(text, zones);
    ASSERT_TRUE(result.scan) << result.error.reason;
    std::vector<detail::EventTiming> timings;
    for (const detail::IndexedEvent& e : result.scan->events) timings.push_back(e.timing());
    EXPECT_EQ(timings, expected) << text;
  }
}

// Everything a scan gives, as one text.
std::string describe(const detail::ScanResult& result, std::string_view bytes) {
  std::ostringstream out;
  if (!result.scan) {
    out << "refused at line " << result.error.line << ": " << result.error.reason;
    return out.str();
  }
  const detail::CalendarScan& scan = *result.scan;
  for (const detail::IndexedEvent& e : scan.events) {
    const LocalDateTime t = e.timing().start;
    out << e.begin << '-' << e.end << " uid " << e.uid(bytes) << " id " << e.recurrence_id() << ' '
        << e.recurrence_instant().value_or(-1) << (e.recurring ? " recurring " : " ") << t.year << '-' << t.month << '-'
        << t.day << ' ' << t.hour << ':' << t.minute << ':' << t.second << " for " << e.duration_minutes
        << (e.all_day ? " all day" : "") << " text " << e.text.summary << ' ' << e.text.description << ' '
        << e.text.categories << ' ' << e.text.more_categories << e.text.whole << e.text.subject_hashed << ' '
        << e.text.subject_hash << '\n';
  }
  for (const detail::SkippedEvent& s : scan.skipped) {
    out << "skipped " << s.begin << '-' << s.end << " line " << s.error.line << ": " << s.error.reason << '\n';
  }
  out << "insert at " << scan.insert_at << " eol " << scan.eol.size();
  return out.str();
}

// A large file is read in two parts at once, split at an event's first
// line. Wherever the split falls, the file reads as one pass reads it: the
// same events and times, the same events set aside and refusals with the
// same line numbers; where one pass reads a file twice (a zone after the
// events) or the part after the split is refused, the split gives way to
// the one pass and leaves the zones as they were.
TEST(EventIndex, AFileReadInTwoPartsReadsAsOnePassReadsIt) {
  const std::string zone = fixed_zone("Plus3", "+0300");
  const std::string events =
      crlf_event("zoned", "DTSTART;TZID=Test/Plus3:20260301T120000\r\nDTEND:20260301T130000Z\r\nSUMMARY:Zoned\r\n") +
      crlf_event("utc", "DTSTART:20260302T080000Z\r\nDURATION:PT45M\r\nCATEGORIES:A\r\nCATEGORIES:B\r\n") +
      crlf_event("day", "DTSTART;VALUE=DATE:20260303\r\nDTEND;VALUE=DATE:20260305\r\n") +
      crlf_event("no start", "SUMMARY:Nothing to place\r\n") +
      crlf_event("series", "DTSTART;TZID=Unknown/Zone:20260304T090000\r\nRRULE:FREQ=DAILY;COUNT=3\r\n") +
      crlf_event("series", "RECURRENCE-ID;TZID=Test/Plus3:20260305T090000\r\nDTSTART:20260305T100000\r\n") +
      crlf_event("bad end", "DTSTART:20260306T100000\r\nDTEND:2026-03-06\r\n") +
      crlf_event("folded", "DTSTART:20260307T100000\r\nSUMMARY:A subject folded\r\n  over two lines\r\n"
                           "BEGIN:VALARM\r\nTRIGGER:-PT5M\r\nDESCRIPTION:Alarm\r\nEND:VALARM\r\n") +
      crlf_event("folded zone", "DTSTART;TZID=Test/Pl\r\n us3:20260309T100000\r\n") +
      crlf_event("folded\r\n uid", "DTSTART:20260310T100000\r\n") +
      crlf_event(std::string(300, 'u'), "DTSTART:20260311T100000\r\n") +
      crlf_event("floating", "DTSTART:20260308T100000\r\nDESCRIPTION:Last\r\n");
  const auto lf = [](std::string text) {
    std::erase(text, '\r');
    return text;
  };
  struct Case {
    const char* what;
    std::string text;
    bool splits;  // some split reads in two parts
  };
  const Case cases[] = {
      {"zones first, events of every kind", kHead + zone + events + kTail, true},
      {"line feeds alone and a byte order mark", "\xEF\xBB\xBF" + lf(kHead + zone + events + kTail), true},
      {"the calendar never closed", kHead + zone + events, false},
      {"an END that closes nothing", kHead + zone + events + "END:VTODO\r\n" + events + kTail, true},
      {"text after the calendar", kHead + zone + events + kTail + "X-AFTER:1\r\n", false},
      {"a zone after the events", kHead + events + zone + events + kTail, false},
      {"events inside another component", kHead + zone + events + "BEGIN:VTODO\r\n" + events + "END:VTODO\r\n" + kTail,
       true},
  };
  {
    // What a reload knows events again by: the UID, unfolded, and an override's RECURRENCE-ID.
    detail::TimeZones zones(icaltimezone_get_utc_timezone());
    const std::string all = describe(detail::scan_calendar(cases[0].text, zones), cases[0].text);
    EXPECT_NE(all.find(" uid foldeduid id  "), std::string::npos) << all;
    EXPECT_NE(all.find(" uid " + std::string(300, 'u') + " id  "), std::string::npos) << all;
    EXPECT_NE(all.find(" uid series id 20260305T090000;Test/Plus3 "), std::string::npos) << all;
  }
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    detail::TimeZones fresh(icaltimezone_get_utc_timezone());
    const std::string expected = describe(detail::scan_calendar(c.text, fresh), c.text);
    int split = 0;
    for (std::size_t near = 0; near < c.text.size(); near = c.text.find('\n', near) + 1) {
      detail::TimeZones zones(icaltimezone_get_utc_timezone());
      // One event at a time, one waiting: the reader waits for room at
      // every event, and a first part refused or read on must let it go.
      std::optional<detail::ScanResult> result = detail::scan_in_two(c.text, zones, near, {1, 1});
      split += result.has_value();
      if (!result) result = detail::scan_calendar(c.text, zones);
      ASSERT_EQ(describe(*result, c.text), expected) << "split near " << near;
    }
    EXPECT_EQ(split > 0, c.splits);
  }
}

}  // namespace
}  // namespace platform::calendar
