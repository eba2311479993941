// Speed of the calendar store on generated calendars of 1k, 10k and 100k
// events: opening, a one-week search (what the time card asks for), a
// worst-case text search, reading one appointment, and saving one edit.
// Opening is also compared with libical parsing the same file into its
// component tree, which is what the store avoids.
//
// Built with -DTALLYSET_BUILD_BENCH=ON (target calendar_store_bench); the
// whole-program comparison is tools/bench.py (`make bench`).
#include <benchmark/benchmark.h>
#include <libical/ical.h>
#include <stdlib.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <string>

#include "calendar_generator.h"
#include "platform/calendar/calendar_store.h"

namespace {

using platform::calendar::AppointmentFields;
using platform::calendar::CalendarStore;
using platform::calendar::Oid;

// The generator shared with tools/bench.py (bench_tools generate).
std::string generate(int events, int series) { return bench::generate_calendar(events, series); }

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

std::filesystem::path calendar_file(int events, int series = 0) {
  static std::map<std::pair<int, int>, std::filesystem::path> files;
  static const ScratchFolder scratch;
  const std::filesystem::path& folder = scratch.path;
  auto& file = files[{events, series}];
  if (file.empty()) {
    file = folder / ("cal-" + std::to_string(events) + "-" + std::to_string(series) + ".ics");
    std::ofstream(file, std::ios::binary) << generate(events, series);
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
    const auto oids = store->find(u"[Start] >= \"11/27/2026 00:00\" AND [Start] <= \"12/4/2026 23:59\" ");
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

// The same with recurring series among the events (range(1) of them): opening
// stays as fast, the first one-week search expands every series once, and
// later ones (the time card's refreshes) find the occurrences already known.
void BM_OpenWithSeries(benchmark::State& state) {
  setenv("TZ", "Europe/Berlin", 1);
  const auto file = calendar_file(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) benchmark::DoNotOptimize(open_or_die(file));
}

void BM_FirstWeekWithSeries(benchmark::State& state) {
  setenv("TZ", "Europe/Berlin", 1);
  const auto file = calendar_file(static_cast<int>(state.range(0)), static_cast<int>(state.range(1)));
  for (auto _ : state) {
    state.PauseTiming();
    auto store = open_or_die(file);
    state.ResumeTiming();
    benchmark::DoNotOptimize(store->find(u"[Start] >= \"11/27/2026 00:00\" AND [Start] <= \"12/4/2026 23:59\" "));
    state.PauseTiming();
    store.reset();
    state.ResumeTiming();
  }
}

void BM_RefreshWeekWithSeries(benchmark::State& state) {
  setenv("TZ", "Europe/Berlin", 1);
  auto store = open_or_die(calendar_file(static_cast<int>(state.range(0)), static_cast<int>(state.range(1))));
  const char16_t* weeks[] = {u"[Start] >= \"11/26/2026 00:00\" AND [Start] <= \"12/4/2026 23:59\" ",
                             u"[Start] >= \"11/27/2026 00:00\" AND [Start] <= \"12/4/2026 23:59\" "};
  std::size_t found = 0, i = 0;
  for (auto _ : state) {
    const auto oids = store->find(weeks[i++ % 2]);
    for (Oid oid : *oids) benchmark::DoNotOptimize(store->get(oid));
    found = oids->size();
  }
  state.counters["found"] = static_cast<double>(found);
}

BENCHMARK(BM_OpenWithSeries)->Args({100000, 0})->Args({100000, 2000})->Iterations(5)->Unit(benchmark::kMillisecond);
// Each iteration opens the calendar anew (untimed): a few are enough.
BENCHMARK(BM_FirstWeekWithSeries)->Args({100000, 0})->Args({100000, 2000})->Iterations(5)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RefreshWeekWithSeries)->Args({100000, 0})->Args({100000, 2000})->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Open)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_LibicalParseWholeFile)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FindOneWeek)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_FindBySubjectScansAll)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_Get)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_UpdateCategories)->Arg(1000)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
