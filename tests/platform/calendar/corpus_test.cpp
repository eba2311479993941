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

std::string upper(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return out;
}

// "BEGIN", "DTSTAMP", ... of a line; and the value of a BEGIN or END line.
std::string name_of(std::string_view line) { return upper(line.substr(0, line.find_first_of(";:\r\n"))); }
std::string value_of(std::string_view line) {
  const std::size_t colon = line.find(':');
  if (colon == std::string_view::npos) return {};
  std::string_view v = line.substr(colon + 1);
  while (!v.empty() && (v.back() == '\n' || v.back() == '\r')) v.remove_suffix(1);
  return upper(v);
}

struct Span { std::size_t begin, end; };
std::vector<Span> vevents(std::string_view text) {
  std::vector<Span> spans;
  std::size_t at = 0;
  for (std::string_view line : logical_lines(text)) {
    const std::size_t begin = static_cast<std::size_t>(line.data() - text.data());
    if (name_of(line) == "BEGIN" && value_of(line) == "VEVENT") at = begin;
    if (name_of(line) == "END" && value_of(line) == "VEVENT") spans.push_back({at, begin + line.size()});
  }
  return spans;
}

// The event's own lines (not its alarms') that a save may rewrite.
bool stamp_or_categories(std::string_view line, int depth) {
  const std::string name = name_of(line);
  return depth == 1 && (name == "CATEGORIES" || name == "DTSTAMP" || name == "LAST-MODIFIED");
}
// The lines of one VEVENT: those a save may rewrite, and all the others.
struct EventLines { std::vector<std::string_view> rewritable, kept; };
EventLines split_event(std::string_view event) {
  EventLines out;
  int depth = 0;
  for (std::string_view line : logical_lines(event)) {
    if (name_of(line) == "END") --depth;
    (stamp_or_categories(line, depth) ? out.rewritable : out.kept).push_back(line);
    if (name_of(line) == "BEGIN") ++depth;
  }
  return out;
}

std::size_t common_prefix(std::string_view a, std::string_view b) {
  return static_cast<std::size_t>(std::mismatch(a.begin(), a.begin() + std::min(a.size(), b.size()), b.begin()).first - a.begin());
}
std::size_t common_suffix(std::string_view a, std::string_view b, std::size_t prefix) {
  const std::size_t most = std::min(a.size(), b.size()) - prefix;
  std::size_t n = 0;
  while (n < most && a[a.size() - 1 - n] == b[b.size() - 1 - n]) ++n;
  return n;
}

bool readable(const LocalDateTime& t) {
  return t.year >= 1 && t.year <= 9999 && t.month >= 1 && t.month <= 12 && t.day >= 1 && t.day <= 31 &&
         t.hour >= 0 && t.hour < 24 && t.minute >= 0 && t.minute < 60 && t.second >= 0 && t.second < 61;
}

// Component depth at `at`: 1 between the calendar's own lines.
int depth_at(std::string_view text, std::size_t at) {
  int depth = 0;
  for (std::string_view line : logical_lines(text.substr(0, at))) {
    if (name_of(line) == "BEGIN") ++depth;
    if (name_of(line) == "END") --depth;
  }
  return depth;
}

bool every_line_ends_with(std::string_view text, std::string_view eol) {
  if (text.empty() || text.back() != '\n') return false;
  for (std::size_t i = text.find('\n'); i != std::string_view::npos; i = text.find('\n', i + 1)) {
    if ((i > 0 && text[i - 1] == '\r') != (eol == "\r\n")) return false;
  }
  return true;
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
  EXPECT_EQ(store->size() + skipped, vevents(original).size()) << "events neither listed nor named";
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
    const std::size_t prefix = common_prefix(original, saved);
    const std::size_t suffix = common_suffix(original, saved, prefix);
    const std::vector<Span> spans = vevents(original);
    const auto event = std::find_if(spans.begin(), spans.end(), [&](Span s) {
      return s.begin <= prefix && original.size() - suffix <= s.end;
    });
    ASSERT_NE(event, spans.end()) << "bytes outside the edited event changed";
    const std::size_t grown_end = event->end + saved.size() - original.size();
    const EventLines was = split_event(std::string_view(original).substr(event->begin, event->end - event->begin));
    const EventLines is = split_event(std::string_view(saved).substr(event->begin, grown_end - event->begin));
    EXPECT_EQ(is.kept, was.kept);
    std::vector<std::string> stamps_was, stamps_is;
    for (std::string_view line : was.rewritable) {
      if (name_of(line) != "CATEGORIES") stamps_was.push_back(name_of(line));
    }
    int categories = 0;
    for (std::string_view line : is.rewritable) {
      if (name_of(line) == "CATEGORIES") {
        ++categories;
        EXPECT_TRUE(line.ends_with(":Tallyset,Edited" + eol)) << line;
      } else {
        stamps_is.push_back(name_of(line));
        EXPECT_EQ(value_of(line), "20261206T100000Z") << line;
      }
    }
    EXPECT_EQ(categories, 1);
    EXPECT_EQ(stamps_is, stamps_was) << "stamps are renewed where present, and only there";
  }

  // New Item: the saved bytes with one VEVENT inserted between the calendar's lines.
  const AppointmentFields fresh{u"Corpus check", u"", u"Tallyset", {2026, 12, 7, 9, 0, 0}, 30, false};
  StoreStatus status;
  const Oid added = store->add(fresh, &status);
  ASSERT_NE(added, 0u) << status.message;
  expected.push_back(fresh);
  const std::string grown = read_bytes(file);
  ASSERT_GT(grown.size(), saved.size());
  std::size_t at = common_prefix(saved, grown);
  while (at > 0 && saved[at - 1] != '\n') --at;
  const std::string block = grown.substr(at, grown.size() - saved.size());
  EXPECT_EQ(grown, saved.substr(0, at) + block + saved.substr(at)) << "not one insertion";
  EXPECT_TRUE(block.starts_with("BEGIN:VEVENT" + eol) && block.ends_with("END:VEVENT" + eol)) << block;
  EXPECT_EQ(vevents(block).size(), 1u) << block;
  EXPECT_TRUE(every_line_ends_with(block, eol)) << block;
  EXPECT_EQ(depth_at(saved, at), 1) << "inserted at byte " << at;

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
  for (const auto& file : files) {
    SCOPED_TRACE(file.filename().string());
    check_round_trip(file);
  }
}

// Each writer's way of saying when (in UTC: the start and the length) and what.
TEST(Corpus, ValuesReadAsTheirWritersMeantThem) {
  ScopedTz tz("UTC");
  struct Case {
    const char* file;
    const char* subject;
    std::optional<LocalDateTime> start;  // none: not checked
    int minutes;
    std::optional<std::u16string> body = std::nullopt, categories = std::nullopt;
  } cases[] = {
      // Exchange's "GMT Standard Time" is British Summer Time in October.
      {"icalendar-alarm_outlook_in_future.ics", "outlook event with alarm", LocalDateTime{2024, 10, 4, 17, 30, 0}, 30,
       u"\n"},
      {"icalendar-alarm_outlook_in_future.ics", "test123", std::nullopt, 7 * 1440},  // all day, a week
      // Four alarms with descriptions and a summary of their own; none is the event's.
      {"icalendar-alarm_google_future.ics", "event with alarms", LocalDateTime{2024, 10, 4, 18, 15, 0}, 45, u""},
      // A TZID no built-in zone has, defined by the file.
      {"icalendar-america_new_york.ics", "an event with a custom tz name", LocalDateTime{2014, 8, 29, 12, 0, 0}, 120},
      {"icalendar-issue_127_categories_with_commas.ics", "Test Event with Categories Containing Commas", std::nullopt,
       -1, std::nullopt, u"Meeting\\, John,Work\\, Sarah,Project"},
      // Starts in Berlin, ends in New York.
      {"khal-cal_dt_two_tz.ics", "An Event", LocalDateTime{2014, 4, 9, 7, 30, 0}, 420},
      // A zone named by the file alone, with an offset of -07:41.
      {"icaljs-timezone_from_file.ics", "A test event", LocalDateTime{2023, 3, 6, 21, 23, 0}, 60},
      // Thunderbird's London with its whole history; British Summer Time.
      {"icalendar-alarm_thunderbird_2_future.ics", "event", LocalDateTime{2024, 10, 23, 18, 0, 0}, 60},
      // A local start and a UTC end.
      {"icalendar-alarm_etar_future.ics", "event with alarms android", LocalDateTime{2024, 10, 5, 12, 0, 0}, 60},
      {"icaljs-duration_instead_of_dtend.ics", "Really long event name thing", LocalDateTime{2012, 6, 30, 13, 0, 0}, 1440},
      {"khal-custom_zone_london.ics", "An Event", LocalDateTime{2014, 5, 9, 18, 30, 0}, 60},
      // Floating times stay as written.
      {"thunderbird-import.ics", "Event Three", LocalDateTime{2019, 1, 1, 17, 0, 0}, 60},
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
    EXPECT_EQ(f.duration_minutes, c.minutes < 0 ? f.duration_minutes : c.minutes);
    EXPECT_TRUE(c.start || c.minutes <= 0 || f.all_day);
    EXPECT_EQ(f.body, c.body.value_or(f.body));
    EXPECT_EQ(f.categories, c.categories.value_or(f.categories));
  }
}

}  // namespace
}  // namespace platform::calendar
