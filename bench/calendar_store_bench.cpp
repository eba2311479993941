// Speed of the calendar store on generated calendars of 1k, 10k and 100k
// events: opening, a one-week search (what the time card asks for), a
// worst-case text search, reading one appointment, and saving one edit.
// Opening is also compared with libical parsing the same file into its
// component tree, which is what the store avoids.
//
// Build against the library, e.g. from a build tree that has tallyset_calendar:
//   g++ -std=c++20 -O2 -I platform/calendar/include bench/calendar_store_bench.cpp
//       <build>/libtallyset_calendar.a $(pkg-config --cflags --libs libical)
//       -lbenchmark -lpthread -o calendar_store_bench
#include <benchmark/benchmark.h>
#include <libical/ical.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "platform/calendar/calendar_store.h"

namespace {

using platform::calendar::AppointmentFields;
using platform::calendar::CalendarStore;
using platform::calendar::Oid;

constexpr const char* kZone =
    "BEGIN:VTIMEZONE\r\nTZID:Europe/Berlin\r\nBEGIN:DAYLIGHT\r\nTZOFFSETFROM:+0100\r\n"
    "TZOFFSETTO:+0200\r\nTZNAME:CEST\r\nDTSTART:19700329T020000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=3;BYDAY=-1SU\r\nEND:DAYLIGHT\r\nBEGIN:STANDARD\r\n"
    "TZOFFSETFROM:+0200\r\nTZOFFSETTO:+0100\r\nTZNAME:CET\r\nDTSTART:19701025T030000\r\n"
    "RRULE:FREQ=YEARLY;BYMONTH=10;BYDAY=-1SU\r\nEND:STANDARD\r\nEND:VTIMEZONE\r\n";

// One event every 73 minutes from 2020 on: 100k events reach into 2033.
std::string generate(int events) {
  std::string out = "BEGIN:VCALENDAR\r\nVERSION:2.0\r\nPRODID:-//Bench//Bench//EN\r\n";
  out += kZone;
  char buf[1024];
  for (int i = 0; i < events; ++i) {
    const long long minutes = static_cast<long long>(i) * 73;
    const int day = static_cast<int>(minutes / 1440);
    // A simple civil date walk from 2020-01-01; months of 28 days keep it valid.
    const int year = 2020 + day / 336, month = 1 + day % 336 / 28, dom = 1 + day % 28;
    const int hour = static_cast<int>(minutes % 1440 / 60), minute = static_cast<int>(minutes % 60);
    std::snprintf(buf, sizeof buf,
                  "BEGIN:VEVENT\r\nUID:%08d-bench@example.com\r\nDTSTAMP:20200101T000000Z\r\n"
                  "DTSTART;TZID=Europe/Berlin:%04d%02d%02dT%02d%02d00\r\n"
                  "DTEND;TZID=Europe/Berlin:%04d%02d%02dT%02d%02d00\r\n"
                  "SUMMARY:Meeting number %d about the quarterly plan\r\n"
                  "DESCRIPTION:Agenda: review\\, numbers\\; next steps for item %d and a note\r\n"
                  " that was folded by the writer.\r\n"
                  "CATEGORIES:Work,Project %d\r\nLOCATION:Room %d\r\nX-CUSTOM:kept\r\n%s"
                  "END:VEVENT\r\n",
                  i, year, month, dom, hour, minute, year, month, dom, hour, minute < 30 ? minute + 29 : 59,
                  i, i, i % 17, i % 40,
                  i % 5 == 0 ? "BEGIN:VALARM\r\nACTION:DISPLAY\r\nTRIGGER:-PT15M\r\n"
                               "DESCRIPTION:Reminder\r\nEND:VALARM\r\n"
                             : "");
    out += buf;
  }
  out += "END:VCALENDAR\r\n";
  return out;
}

// The generated calendars live in one scratch folder for the whole run.
struct ScratchFolder {
  ScratchFolder() {
    std::string pattern = (std::filesystem::temp_directory_path() / "tallyset-bench-XXXXXX").string();
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    path = pattern;
  }
  ~ScratchFolder() {
    std::error_code ec;
    std::filesystem::remove_all(path, ec);
  }
  std::filesystem::path path;
};

std::filesystem::path calendar_file(int events) {
  static std::map<int, std::filesystem::path> files;
  static const ScratchFolder scratch;
  const std::filesystem::path& folder = scratch.path;
  auto& file = files[events];
  if (file.empty()) {
    file = folder / ("cal-" + std::to_string(events) + ".ics");
    std::ofstream(file, std::ios::binary) << generate(events);
  }
  return file;
}

std::unique_ptr<CalendarStore> open_or_die(const std::filesystem::path& file) {
  std::string error;
  auto store = CalendarStore::open(file, &error);
  if (!store) {
    std::fprintf(stderr, "%s\n", error.c_str());
    std::abort();
  }
  return store;
}

void BM_Open(benchmark::State& state) {
  setenv("TZ", "Europe/Berlin", 1);
  const auto file = calendar_file(static_cast<int>(state.range(0)));
  for (auto _ : state) benchmark::DoNotOptimize(open_or_die(file));
  state.counters["file_MB"] = static_cast<double>(std::filesystem::file_size(file)) / 1e6;
}

void BM_LibicalParseWholeFile(benchmark::State& state) {
  const auto file = calendar_file(static_cast<int>(state.range(0)));
  std::ifstream in(file, std::ios::binary);
  const std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  for (auto _ : state) {
    icalcomponent* root = icalparser_parse_string(bytes.c_str());
    benchmark::DoNotOptimize(root);
    icalcomponent_free(root);
  }
}

void BM_FindOneWeek(benchmark::State& state) {
  setenv("TZ", "Europe/Berlin", 1);
  auto store = open_or_die(calendar_file(static_cast<int>(state.range(0))));
  std::size_t found = 0;
  for (auto _ : state) {
    const auto oids = store->find(u"[Start] >= \"1/8/2020 00:00\" AND [Start] <= \"1/14/2020 23:59\" ");
    found = oids->size();
    benchmark::DoNotOptimize(oids);
  }
  state.counters["found"] = static_cast<double>(found);
}

void BM_FindBySubjectScansAll(benchmark::State& state) {
  setenv("TZ", "Europe/Berlin", 1);
  auto store = open_or_die(calendar_file(static_cast<int>(state.range(0))));
  for (auto _ : state) {
    benchmark::DoNotOptimize(store->find(u"[Subject] = \"Meeting number 7 about the quarterly plan\""));
  }
}

void BM_Get(benchmark::State& state) {
  setenv("TZ", "Europe/Berlin", 1);
  auto store = open_or_die(calendar_file(static_cast<int>(state.range(0))));
  const auto all = store->all();
  std::size_t i = 0;
  for (auto _ : state) {
    benchmark::DoNotOptimize(store->get(all[i]));
    i = (i + 7919) % all.size();
  }
}

// Each save rewrites and fsyncs the whole file: dominated by the disk.
void BM_UpdateCategories(benchmark::State& state) {
  setenv("TZ", "Europe/Berlin", 1);
  auto store = open_or_die(calendar_file(static_cast<int>(state.range(0))));
  const auto all = store->all();
  const Oid target = all[all.size() / 2];
  AppointmentFields f = *store->get(target);
  bool flip = false;
  for (auto _ : state) {
    f.categories = flip ? u"Work,Bench" : u"Work,Bench,Again";
    flip = !flip;
    if (!store->update(target, f).ok) state.SkipWithError("update failed");
  }
}

BENCHMARK(BM_Open)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibicalParseWholeFile)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindOneWeek)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindBySubjectScansAll)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Get)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdateCategories)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
