// The restriction parser and the search: any text (as UTF-16, lone
// surrogates included) is either refused or gives exactly the appointments
// that a plain check of every appointment gives. This checks the start-time
// shortcut the search takes through its sorted index.
#include <cstdint>
#include <memory>
#include <string>

#include "wall_time.h"
#include "fuzz_support.h"
#include "platform/calendar/calendar_store.h"
#include "restriction.h"

using namespace platform::calendar;

namespace {

constexpr const char* kCalendar =
    "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//fuzz//EN\r\n"
    "BEGIN:VEVENT\r\nUID:s\r\nDTSTART:20500101T090000\r\nDTEND:20500101T093000\r\n"
    "SUMMARY:Outlook Tallyset 3 Personal Settings\r\nDESCRIPTION:1\\n2\\n3\\n4\\n5\\n6\\nCustomer:North;South;\r\n"
    "END:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:a\r\nDTSTART:20261130T090000\r\nDTEND:20261130T100000\r\nSUMMARY:Alpha\r\n"
    "CATEGORIES:North,Meeting\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:b\r\nDTSTART;VALUE=DATE:20261201\r\nSUMMARY:Beta \\, all day\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:c\r\nDTSTART:20261202T235900Z\r\nDURATION:PT2H\r\nSUMMARY:Gamma\r\n"
    "DESCRIPTION:Line one\\nline two\r\nCATEGORIES:South\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:d\r\nDTSTART:00010101T000000\r\nSUMMARY:Year one\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:e\r\nDTSTART:99991231T235900\r\nSUMMARY:Year 9999\r\nEND:VEVENT\r\n"
    "BEGIN:VEVENT\r\nUID:f\r\nDTSTART:20261130T090000\r\nSUMMARY:\xC3\xA9t\xC3\xA9 \xF0\x9F\x98\x80\r\nEND:VEVENT\r\n"
    "END:VCALENDAR\r\n";

class Target final : public detail::RestrictionTarget {
 public:
  Target(Oid oid, const AppointmentFields& f) : oid_(oid), f_(f) {}
  std::int64_t number(detail::Field field) const override {
    const std::int64_t start = detail::floor_div(detail::wall_seconds(f_.start), 60);
    switch (field) {
      case detail::Field::Start: return start;
      case detail::Field::End: return start + f_.duration_minutes;
      case detail::Field::Duration: return f_.duration_minutes;
      case detail::Field::Oid: return oid_;
      case detail::Field::AllDay: return f_.all_day ? 1 : 0;
      default: return 0;
    }
  }
  const std::u16string& text(detail::Field field) const override {
    switch (field) {
      case detail::Field::Body: return f_.body;
      case detail::Field::Categories: return f_.categories;
      default: return f_.subject;
    }
  }

 private:
  Oid oid_;
  const AppointmentFields& f_;
};

CalendarStore& store() {
  static const std::unique_ptr<CalendarStore> s = [] {
    const auto file = fuzz::scratch().path() / "restriction.ics";
    fuzz::write_bytes(file, kCalendar);
    std::string error;
    auto opened = CalendarStore::open(file, &error);
    if (!opened) {
      std::fprintf(stderr, "%s\n", error.c_str());
      FUZZ_CHECK(opened != nullptr);
    }
    return opened;
  }();
  return *s;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "Europe/Berlin", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::u16string text =
      fuzz::lenient_utf16(std::string_view(reinterpret_cast<const char*>(data), size));
  const CalendarStore& s = store();
  const auto found = s.find(text);
  const auto parsed = detail::parse_restriction(text);
  FUZZ_CHECK(found.has_value() == parsed.has_value());
  if (!found) return 0;
  // The same answer as checking every appointment, in the same order.
  std::vector<Oid> expected;
  for (Oid oid : s.all()) {
    const auto fields = s.get(oid);
    FUZZ_CHECK(fields.has_value());
    if (detail::matches(*parsed, Target(oid, *fields))) expected.push_back(oid);
  }
  FUZZ_CHECK(*found == expected);
  return 0;
}
