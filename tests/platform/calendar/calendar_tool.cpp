// The store as a command, for the test scripts that check it against other
// programs' readings of the same calendar (recurrence_check.py):
//   calendar_tool list FILE FROM TO             one line per appointment
//   calendar_tool categorize FILE FROM TO N CATS  sets the categories of the Nth
//   calendar_tool delete FILE FROM TO N           deletes the Nth (any other word too)
// FROM and TO are days (YYYY-MM-DD); the range takes in all of TO. Lines
// read "YYYY-MM-DD HH:MM +MINUTES SUBJECT|CATEGORIES".
#include <cstdio>
#include <cstdlib>
#include <string>

#include "platform/base/utf.h"
#include "platform/calendar/calendar_store.h"

namespace {

using namespace platform::calendar;
using platform::FromUtf8;
using platform::ToUtf8;

std::u16string day(const char* iso, const char* time) {
  int y = 0, m = 0, d = 0;
  std::sscanf(iso, "%d-%d-%d", &y, &m, &d);
  char text[40];
  std::snprintf(text, sizeof text, "\"%d/%d/%d %s\"", m, d, y, time);
  return FromUtf8(text);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) return 2;
  const std::string command = argv[1];
  std::string error;
  auto store = CalendarStore::open(argv[2], &error);
  const auto found = store ? store->find(u"[Start] >= " + day(argv[3], "00:00") + u" AND [Start] <= " +
                                         day(argv[4], "23:59"))
                           : std::nullopt;
  if (!found) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 1;
  }
  if (command == "list") {
    for (Oid oid : *found) {
      const AppointmentFields f = *store->get(oid);
      std::printf("%04d-%02d-%02d %02d:%02d +%d %s|%s\n", f.start.year, f.start.month, f.start.day, f.start.hour,
                  f.start.minute, f.duration_minutes, ToUtf8(f.subject).c_str(), ToUtf8(f.categories).c_str());
    }
    return 0;
  }
  const std::size_t n = argc > 5 ? std::strtoul(argv[5], nullptr, 10) : found->size();
  if (n >= found->size()) return 1;
  StoreStatus status;
  if (command == "categorize" && argc > 6) {
    AppointmentFields f = *store->get((*found)[n]);
    f.categories = FromUtf8(argv[6]);
    status = store->update((*found)[n], f);
  } else {
    status = store->remove((*found)[n]);
  }
  if (!status.ok) std::fprintf(stderr, "%s\n", status.message.c_str());
  return status.ok ? 0 : 1;
}
