// Calendars written by other programs, one table: every file in corpus/.
// Each opens untouched and lists every event it can place (the rest are
// named); a categories change rewrites only that event's CATEGORIES and
// stamp lines; a new appointment is one VEVENT inserted and nothing else; a
// fresh store reads both back; removing the new appointment restores the
// bytes.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <optional>
#include <string_view>

#include "platform/calendar/calendar_store.h"
#include "test_support.h"

namespace platform::calendar {
namespace {

using namespace calendar_test;

const std::filesystem::path kCorpus = std::filesystem::path(TALLYSET_TEST_DATA) / "corpus";

// A content line with its folded continuations and its terminator.
std::vector<std::string_view> logical_lines(std::string_view text) {
  std::vector<std::string_view> lines;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t nl = text.find('\n', at);
    const std::size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
    if (!lines.empty() && (text[at] == ' ' || text[at] == '\t')) {
      lines.back() = std::string_view(lines.back().data(), lines.back().size() + end - at);
    } else {
      lines.push_back(text.substr(at, end - at));
    }
    at = end;
  }
  return lines;
}

// "BEGIN", "DTSTAMP", ... of a line, in capitals.
std::string name_of(std::string_view line) {
  std::string name(line.substr(0, line.find_first_of(";:\r\n")));
  for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return name;
}

// A calendar's lines: those a categories change may rewrite (a VEVENT's own
// CATEGORIES, DTSTAMP and LAST-MODIFIED, not its alarms'), event by event,
// and all the others in order.
struct Lines {
  std::vector<std::vector<std::string_view>> own;
  std::vector<std::string_view> kept;
};
Lines split(std::string_view text) {
  Lines out;
  std::vector<std::string> open;  // the components around the line
  for (std::string_view line : logical_lines(text)) {
    const std::string name = name_of(line);
    const bool own = !open.empty() && open.back() == "VEVENT" &&
                     (name == "CATEGORIES" || name == "DTSTAMP" || name == "LAST-MODIFIED");
    (own ? out.own.back() : out.kept).push_back(line);
    if (name == "BEGIN") open.push_back(name_of(line.substr(6)));
    if (name == "BEGIN" && open.back() == "VEVENT") out.own.emplace_back();
    if (name == "END" && !open.empty()) open.pop_back();
  }
  return out;
}

bool readable(const LocalDateTime& t) {
  return t.year >= 1 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 &&
         t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 && t.second < 61;
}

StoreOptions counting(std::size_t* skipped) {
  StoreOptions options = fixed_clock();
  options.warn = [skipped](const std::string&) { ++*skipped; };
  return options;
}

void check_round_trip(const std::filesystem::path& source) {
  TempDir dir;
  const std::filesystem::path file = dir / "cal.ics";
  std::filesystem::copy_file(source, file);
  const std::string original = read_bytes(file);
  const std::string eol = original.find("\r\n") != std::string::npos ? "\r\n" : "\n";

  // Open and list: every event is listed with readable fields, or named.
  std::size_t skipped = 0;
  auto store = open_store(file, counting(&skipped));
  ASSERT_TRUE(store);
  EXPECT_EQ(read_bytes(file), original) << "opening wrote to the file";
  EXPECT_EQ(store->size() + skipped, split(original).own.size()) << "events neither listed nor named";
  std::vector<AppointmentFields> expected;
  for (Oid oid : store->all()) {
    const auto fields = store->get(oid);
    ASSERT_TRUE(fields);
    EXPECT_TRUE(readable(fields->start)) << u8(fields->subject);
    expected.push_back(*fields);
  }

  // Save: only the edited event's CATEGORIES line and its stamps change
  // (an occurrence of a series saves as an override: recurrence_check.py).
  std::string saved = original;
  const std::vector<Oid> listed = store->all();
  const auto plain = std::find_if(listed.rbegin(), listed.rend(), [&](Oid o) { return !store->get(o)->occurrence; });
  if (plain != listed.rend()) {
    ASSERT_TRUE(edit(*store, *plain, [](auto& f) { f.categories = u"Tallyset,Edited"; }).ok);
    expected[static_cast<std::size_t>(listed.rend() - plain - 1)].categories = u"Tallyset,Edited";
    saved = read_bytes(file);
    const Lines was = split(original), is = split(saved);
    EXPECT_EQ(is.kept, was.kept) << "lines besides the categories and stamps changed";
    ASSERT_EQ(is.own.size(), was.own.size());
    int edited = 0;
    for (std::size_t e = 0; e < was.own.size(); ++e) {
      if (is.own[e] == was.own[e]) continue;
      ++edited;
      std::vector<std::string> stamps_was, stamps_is;
      for (std::string_view line : was.own[e]) {
        if (name_of(line) != "CATEGORIES") stamps_was.push_back(name_of(line));
      }
      int categories = 0;
      for (std::string_view line : is.own[e]) {
        const bool is_categories = name_of(line) == "CATEGORIES";
        categories += is_categories;
        if (!is_categories) stamps_is.push_back(name_of(line));
        EXPECT_TRUE(line.ends_with(is_categories ? ":Tallyset,Edited" + eol : ":20261206T100000Z" + eol)) << line;
      }
      EXPECT_EQ(categories, 1);
      EXPECT_EQ(stamps_is, stamps_was) << "stamps are renewed where present, and only there";
    }
    EXPECT_EQ(edited, 1) << "events changed";
  }

  // New Item: the saved bytes with one VEVENT inserted between the calendar's lines.
  const AppointmentFields fresh{u"Corpus check", u"", u"Tallyset", {2026, 12, 7, 9, 0, 0}, 30, false};
  StoreStatus status;
  const Oid added = store->add(fresh, &status);
  ASSERT_NE(added, 0u) << status.message;
  expected.push_back(fresh);
  const std::string grown = read_bytes(file);
  const LineDiff diff = diff_lines(saved, grown);
  EXPECT_TRUE(diff.removed.empty()) << "not one insertion";
  std::string block;
  for (const std::string& line : diff.added) {
    EXPECT_TRUE(line.ends_with(eol) && (eol == "\r\n" || !line.ends_with("\r\n"))) << line;
    block += line;
  }
  EXPECT_TRUE(block.starts_with("BEGIN:VEVENT" + eol) && block.ends_with("END:VEVENT" + eol)) << block;
  EXPECT_EQ(split(block).own.size(), 1u) << block;
  int depth = 0;  // 1 between the calendar's own lines
  for (std::string_view line : logical_lines(std::string_view(grown).substr(0, grown.find(block)))) {
    depth += (name_of(line) == "BEGIN") - (name_of(line) == "END");
  }
  EXPECT_EQ(depth, 1) << "inserted at byte " << grown.find(block);

  // A fresh store reads the new categories, the new event and all the rest.
  std::size_t skipped_again = 0;
  auto reopened = open_store(file, counting(&skipped_again));
  ASSERT_TRUE(reopened);
  EXPECT_EQ(skipped_again, skipped);
  std::vector<AppointmentFields> got;
  for (Oid oid : reopened->all()) got.push_back(*reopened->get(oid));
  EXPECT_TRUE(std::is_permutation(got.begin(), got.end(), expected.begin(), expected.end()))
      << got.size() << " events read back, " << expected.size() << " expected";

  // Taking the new event out again restores the bytes.
  ASSERT_TRUE(store->remove(added).ok);
  EXPECT_EQ(read_bytes(file), saved);
}

TEST(Corpus, OpensListsSavesAndAddsLosslessly) {
  ScopedTz tz("UTC");
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(kCorpus)) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  ASSERT_GE(files.size(), 30u);
  // Two with an event that cannot be placed (a DTEND with seven digits of
  // time, no DTSTART): it is named, and the rest works.
  for (const char* name : {"libical-calendar.ics", "icalendar-created_calendar_with_unicode_fields.ics"}) {
    files.push_back(kCorpus.parent_path() / "broken" / name);
  }
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    check_round_trip(file);
  }
}

// Each writer's way of saying when (in UTC: the start and the length) and what,
// where it is not one of the forms of mapping_test.cpp.
TEST(Corpus, ValuesReadAsTheirWritersMeantThem) {
  ScopedTz tz("UTC");
  struct Case {
    const char* file;
    const char* subject;
    std::optional<LocalDateTime> start;  // none: all day, not checked
    int minutes;
    std::optional<std::u16string> body = std::nullopt;
  } cases[] = {
      // Exchange's "GMT Standard Time" is British Summer Time in October.
      {"icalendar-alarm_outlook_in_future.ics", "outlook event with alarm", LocalDateTime{2024, 10, 4, 17, 30, 0}, 30,
       u"\n"},
      {"icalendar-alarm_outlook_in_future.ics", "test123", std::nullopt, 7 * 1440},  // all day, a week
      // Four alarms with descriptions and a summary of their own; none is the event's.
      {"icalendar-alarm_google_future.ics", "event with alarms", LocalDateTime{2024, 10, 4, 18, 15, 0}, 45, u""},
      // Starts in Berlin, ends in New York.
      {"khal-cal_dt_two_tz.ics", "An Event", LocalDateTime{2014, 4, 9, 7, 30, 0}, 420},
      // A zone named by the file alone, with an offset of -07:41.
      {"icaljs-timezone_from_file.ics", "A test event", LocalDateTime{2023, 3, 6, 21, 23, 0}, 60},
      // Thunderbird's London with its whole history; British Summer Time.
      {"icalendar-alarm_thunderbird_2_future.ics", "event", LocalDateTime{2024, 10, 23, 18, 0, 0}, 60},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.subject);
    TempDir dir;
    std::filesystem::copy_file(kCorpus / c.file, dir / "cal.ics");
    auto store = open_store(dir / "cal.ics");
    ASSERT_TRUE(store);
    const std::vector<Oid> all = store->all();  // the first, for a series
    const auto it = std::find_if(all.begin(), all.end(), [&](Oid o) { return u8(store->get(o)->subject) == c.subject; });
    ASSERT_NE(it, all.end());
    const AppointmentFields f = *store->get(*it);
    EXPECT_EQ(f.start, c.start.value_or(f.start));
    EXPECT_EQ(f.duration_minutes, c.minutes);
    EXPECT_TRUE(c.start || f.all_day);
    EXPECT_EQ(f.body, c.body.value_or(f.body));
  }
}

}  // namespace
}  // namespace platform::calendar
