// The iCalendar reader and writer: any bytes are opened as the user's file;
// a file that is refused stays untouched; a file that opens takes a
// categories change on its first appointment, still opens afterwards, and
// reads back every other appointment exactly as before.
#include <algorithm>
#include <cstdint>
#include <tuple>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "platform/calendar/calendar_store.h"

using platform::calendar::AppointmentFields;
using platform::calendar::CalendarStore;
using platform::calendar::Oid;
using platform::calendar::StoreOptions;

namespace {

StoreOptions fixed_clock() {
  StoreOptions options;
  options.now_utc = [] { return std::int64_t{1796400000}; };  // 2026-12-04
  return options;
}

std::vector<AppointmentFields> everything(const CalendarStore& store) {
  std::vector<AppointmentFields> out;
  for (Oid oid : store.all()) {
    auto fields = store.get(oid);
    FUZZ_CHECK(fields.has_value());
    out.push_back(std::move(*fields));
  }
  return out;
}

bool before_in_order(const AppointmentFields& a, const AppointmentFields& b) {
  auto key = [](const AppointmentFields& f) {
    return std::tie(f.start.year, f.start.month, f.start.day, f.start.hour, f.start.minute, f.start.second,
                    f.subject, f.body, f.categories, f.duration_minutes, f.all_day);
  };
  return key(a) < key(b);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  setenv("TZ", "Europe/Berlin", 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  const auto file = fuzz::scratch().path() / "calendar.ics";
  fuzz::write_bytes(file, input);

  std::string error;
  auto store = CalendarStore::open(file, &error, fixed_clock());
  if (!store) {
    FUZZ_CHECK(!error.empty());
    FUZZ_CHECK(fuzz::read_bytes(file) == input);  // a refused file is never touched
    return 0;
  }
  const std::vector<Oid> oids = store->all();
  FUZZ_CHECK(oids.size() == store->size());
  const std::vector<AppointmentFields> before = everything(*store);

  if (oids.empty()) {
    // An empty calendar takes a new appointment instead.
    AppointmentFields fresh;
    fresh.subject = u"Fuzz";
    fresh.start = {2026, 12, 3, 10, 0, 0};
    fresh.duration_minutes = 30;
    platform::calendar::StoreStatus status;
    const Oid added = store->add(fresh, &status);
    FUZZ_CHECK(added != 0 || !status.ok);
    if (added == 0) {
      FUZZ_CHECK(fuzz::read_bytes(file) == input);
      return 0;
    }
    auto again = CalendarStore::open(file, &error, fixed_clock());
    FUZZ_CHECK(again != nullptr);
    FUZZ_CHECK(again->size() == 1);
    FUZZ_CHECK(everything(*again) == everything(*store));
    return 0;
  }

  // The first appointment in start order gets new categories.
  const Oid first = oids.front();
  AppointmentFields changed = before.front();
  changed.categories = u"Fuzz,Checked";
  const auto status = store->update(first, changed);
  if (!status.ok) {
    FUZZ_CHECK(!status.message.empty());
    FUZZ_CHECK(fuzz::read_bytes(file) == input);
    return 0;
  }
  FUZZ_CHECK(store->get(first)->categories == u"Fuzz,Checked");

  auto again = CalendarStore::open(file, &error, fixed_clock());
  if (!again) {
    std::fprintf(stderr, "the saved file no longer opens: %s\n", error.c_str());
    FUZZ_CHECK(again != nullptr);
  }
  FUZZ_CHECK(again->size() == store->size());
  // What the store shows after the save is what the file holds.
  const std::vector<AppointmentFields> after = everything(*again);
  FUZZ_CHECK(after == everything(*store));
  // Every other appointment reads back as it was, and the changed one kept
  // everything but its categories: the same multiset of appointments.
  std::vector<AppointmentFields> expected = before;
  expected.front().categories = u"Fuzz,Checked";
  std::vector<AppointmentFields> got = after;
  std::sort(expected.begin(), expected.end(), before_in_order);
  std::sort(got.begin(), got.end(), before_in_order);
  FUZZ_CHECK(got == expected);
  return 0;
}
