// The index remembers where each event's SUMMARY, DESCRIPTION and
// CATEGORIES lines are, so that a search decodes only the line it asks
// about. Whatever the event looks like, reading a field from those lines
// gives exactly what reading the whole event gives, and the searches built on
// them stay right as saves move events about in the file.
#include <gtest/gtest.h>

#include <libical/ical.h>

#include "event_index.h"
#include "text_codec.h"
#include "platform/calendar/calendar_store.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;
using detail::EventText;

// Events whose text lines are hard to find: alarms with text of their own,
// repeated and broken properties, folding, lower-case names.
const char* const kEvents[] = {
    // Alarm text comes first; the event's own lines follow the alarm.
    "BEGIN:VEVENT\nUID:1\nDTSTART:20261201T090000Z\n"
    "BEGIN:VALARM\nACTION:DISPLAY\nSUMMARY:alarm\nDESCRIPTION:Reminder\nCATEGORIES:Alarmish\n"
    "TRIGGER:-PT15M\nEND:VALARM\n"
    "SUMMARY:Real subject\nDESCRIPTION:Real body\nCATEGORIES:Real\nEND:VEVENT\n",
    // The first SUMMARY cannot be read (unterminated quote); the second counts.
    "BEGIN:VEVENT\nUID:2\nDTSTART:20261201T090000Z\nSUMMARY;X=\"broken:value\n"
    "SUMMARY:Second summary\nEND:VEVENT\n",
    // Only the first of two SUMMARY and DESCRIPTION lines counts.
    "BEGIN:VEVENT\nUID:3\nDTSTART:20261201T090000Z\nSUMMARY:First\nDESCRIPTION:Body one\n"
    "SUMMARY:Second\nDESCRIPTION:Body two\nEND:VEVENT\n",
    // CATEGORIES on several lines, an alarm with its own between them.
    "BEGIN:VEVENT\nUID:4\nCATEGORIES:A,B\nDTSTART:20261201T090000Z\n"
    "BEGIN:VALARM\nACTION:DISPLAY\nCATEGORIES:Not mine\nTRIGGER:-PT15M\nDESCRIPTION:x\nEND:VALARM\n"
    "SUMMARY:Split categories\nCATEGORIES:C\ncategories:D\\,E\nEND:VEVENT\n",
    // The first CATEGORIES line cannot be read; the second still counts.
    "BEGIN:VEVENT\nUID:5\nDTSTART:20261201T090000Z\nCATEGORIES;X=\"open:Lost\n"
    "CATEGORIES:Kept\nSUMMARY:Broken categories\nEND:VEVENT\n",
    // The only CATEGORIES line cannot be read.
    "BEGIN:VEVENT\nUID:6\nDTSTART:20261201T090000Z\nCATEGORIES;X=\"open:Lost\n"
    "SUMMARY:No categories\nEND:VEVENT\n",
    // Folded, escaped, lower-case and with parameters.
    "BEGIN:VEVENT\nUID:7\ndescription;LANGUAGE=en:Folded body that goes on and on and on until it\n"
    "  must be folded\\, twice\n over\nDTSTART:20261201T090000Z\n"
    "summary;LANGUAGE=en:Caf\xC3\xA9\\; with \\\"escapes\\\"\nEND:VEVENT\n",
    // No text at all.
    "BEGIN:VEVENT\nUID:8\nDTSTART:20261201T090000Z\nEND:VEVENT\n",
    // Text only inside the alarm.
    "BEGIN:VEVENT\nUID:9\nDTSTART:20261201T090000Z\n"
    "BEGIN:VALARM\nACTION:DISPLAY\nSUMMARY:alarm only\nDESCRIPTION:alarm only\nCATEGORIES:alarm\n"
    "TRIGGER:-PT15M\nEND:VALARM\nEND:VEVENT\n",
    // Description first, categories last, CRLF.
    "BEGIN:VEVENT\r\nUID:10\r\nDESCRIPTION:Early body\r\nDTSTART:20261201T090000Z\r\n"
    "SUMMARY:Late subject\r\nX-UNKNOWN:kept\r\nCATEGORIES:Last\r\nEND:VEVENT\r\n",
};

TEST(EventIndex, TextFromTheIndexedLinesIsTextFromTheWholeEvent) {
  detail::TimeZones zones(icaltimezone_get_utc_timezone());
  for (const std::string event : kEvents) {
    const auto indexed = detail::index_event(event, 0, event.size(), 1, zones).event;
    ASSERT_TRUE(indexed) << event;
    const EventText whole = detail::read_event_text(event);
    for (unsigned which = 1; which <= detail::kAllText; ++which) {
      const EventText part = detail::read_event_text(event, indexed->text, which);
      EXPECT_EQ(part.summary, which & detail::kSummary ? whole.summary : "") << which << "\n" << event;
      EXPECT_EQ(part.description, which & detail::kDescription ? whole.description : "")
          << which << "\n" << event;
      EXPECT_EQ(part.categories, which & detail::kCategories ? whole.categories : "")
          << which << "\n" << event;
    }
  }
}

// A subject's fingerprint, where the index has one, is that of the subject
// the event reads with; a search passes events by on it.
TEST(EventIndex, SubjectFingerprintIsThatOfTheSubjectRead) {
  detail::TimeZones zones(icaltimezone_get_utc_timezone());
  std::vector<bool> hashed;
  for (const std::string event : kEvents) {
    const auto indexed = detail::index_event(event, 0, event.size(), 1, zones).event;
    ASSERT_TRUE(indexed) << event;
    hashed.push_back(indexed->text.subject_hashed);
    if (indexed->text.subject_hashed) {
      EXPECT_EQ(indexed->text.subject_hash,
                detail::text_hash(FromUtf8(detail::read_event_text(event).summary)))
          << event;
    }
  }
  // Plain subjects have one, and so has an event without a subject; escaped
  // ones, and one whose first SUMMARY cannot be read, do not.
  EXPECT_TRUE(hashed[0]);
  EXPECT_TRUE(hashed[2]);
  EXPECT_TRUE(hashed[7]);
  EXPECT_FALSE(hashed[1]);
  EXPECT_FALSE(hashed[6]);
  EXPECT_NE(detail::text_hash(u"Real subject"), detail::text_hash(u"Real subjecT"));
}

TEST(EventIndex, WholeEventReadsAsItsWriterMeantIt) {
  // The reference the line-by-line reads are held to.
  const auto read = [](int i) { return detail::read_event_text(kEvents[i]); };
  EXPECT_EQ(read(0).summary, "Real subject");
  EXPECT_EQ(read(0).description, "Real body");
  EXPECT_EQ(read(0).categories, "Real");
  EXPECT_EQ(read(1).summary, "Second summary");
  EXPECT_EQ(read(2).summary, "First");
  EXPECT_EQ(read(2).description, "Body one");
  EXPECT_EQ(read(3).categories, "A,B,C,D,E");
  EXPECT_EQ(read(4).categories, "Kept");
  EXPECT_EQ(read(5).categories, "");
  EXPECT_EQ(read(6).summary, "Caf\xC3\xA9; with \"escapes\"");
  EXPECT_EQ(read(6).description, "Folded body that goes on and on and on until it must be folded, twiceover");
  EXPECT_EQ(read(8).summary, "");
  EXPECT_EQ(read(9).categories, "Last");
}

// Searches for each text field find exactly the events whose field it is,
// before and after saves that grow, shrink, add and remove events around them.
TEST(EventIndex, TextSearchesFollowSavesThatMoveEvents) {
  ScopedTz tz("UTC");
  TempDir dir;
  std::string body;
  for (const char* event : kEvents) body += event;
  write_bytes(dir / "cal.ics", vcalendar(body));
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
    for (const Oid oid : store->all()) {
      const AppointmentFields f = *store->get(oid);
      for (const auto& [field, value] : {std::pair{u"Subject", f.subject}, std::pair{u"Body", f.body},
                                          std::pair{u"Categories", f.categories}}) {
        const auto found =
            store->find(u"[" + std::u16string(field) + u"] = " + quoted(value) + u" AND [OID] = " +
                        u16(std::to_string(oid)));
        ASSERT_TRUE(found);
        EXPECT_EQ(*found, std::vector<Oid>{oid}) << when << ": " << u8(field) << " of " << u8(f.subject);
        const auto other = store->find(u"[" + std::u16string(field) + u"] <> " + quoted(value) +
                                       u" AND [OID] = " + u16(std::to_string(oid)));
        ASSERT_TRUE(other);
        EXPECT_TRUE(other->empty()) << when << ": " << u8(field) << " of " << u8(f.subject);
      }
    }
    EXPECT_EQ(store->find(u"[Body] = \"Reminder\"")->size(), 0u) << when;
    EXPECT_EQ(store->find(u"[Subject] = \"alarm only\"")->size(), 0u) << when;
    EXPECT_EQ(store->find(u"[Categories] = \"Not mine\"")->size(), 0u) << when;
  };
  check("as read");
  const Oid first = oid_of(*store, "Real subject");
  const Oid split = oid_of(*store, "Split categories");
  ASSERT_TRUE(first && split);
  // The first event grows: every later one moves.
  AppointmentFields f = *store->get(first);
  f.subject = u"Real subject, now a good deal longer than it was before";
  f.body = u"Another body";
  ASSERT_TRUE(store->update(first, f).ok);
  check("after a longer subject");
  // Its categories lines become one, and the event gets shorter.
  f = *store->get(split);
  f.categories = u"Z";
  ASSERT_TRUE(store->update(split, f).ok);
  EXPECT_EQ(store->find(u"[Categories] = \"Z\""), std::vector<Oid>{split});
  check("after joining categories");
  AppointmentFields added;
  added.subject = u"Added";
  added.body = u"Added body";
  added.categories = u"New";
  added.start = {2026, 12, 2, 9, 0, 0};
  StoreStatus status;
  ASSERT_NE(store->add(added, &status), 0u) << status.message;
  check("after an add");
  ASSERT_TRUE(store->remove(first).ok);
  check("after a removal");
}

}  // namespace
}  // namespace platform::calendar
