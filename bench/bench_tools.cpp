// Helpers for tools/bench.py, which times the whole program on generated
// calendars and puts the numbers beside libical's parser and khal:
//
//   bench_tools generate N FILE [S]  the calendar of N events and S recurring
//                                    series (calendar_generator.h)
//   bench_tools vdir N FOLDER        the same events, one .ics file each (for khal)
//   bench_tools libical-parse FILE R best of R runs of icalparser_parse_string over
//                                    the file's bytes (read once beforehand), in ms
//   bench_tools save PATH R          best of R: one Save (new categories, longer and
//                                    shorter by turns) of the first week's first
//                                    appointment, in ms: wall time (the syncs to disk
//                                    included) and the process's CPU time
//   bench_tools pickup FOLDER R      best of R: another program replaces one file of the
//                                    folder (a new SUMMARY, written aside and renamed in, as
//                                    vdirsyncer writes), then a refresh and the one-week
//                                    find, in ms: wall time and the process's CPU time
//   bench_tools store FILE R         best of R: CalendarStore::open, and a one-week /
//                                    one-month / one-year find on it, in ms; also
//                                    the first one-week find after opening
//   bench_tools peak PROGRAM ARGS... runs the program and prints its peak RSS in KiB,
//                                    its CPU time in seconds and its peak private
//                                    (anonymous) memory in KiB, looked at every ms:
//                                    started from here, not from Python, whose own
//                                    pages a child's peak would count until its exec
#include <libical/ical.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <vector>

#include "calendar_generator.h"
#include "platform/calendar/calendar_store.h"

namespace {

using Clock = std::chrono::steady_clock;

double ms_since(Clock::time_point start) {
  return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

// CPU time of the whole process (user and system), so that work the
// kernel does for the program counts as well.
double cpu_ms() {
  timespec t{};
  ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e3 + static_cast<double>(t.tv_nsec) / 1e6;
}

bool write_file(const std::filesystem::path& file, const std::string& bytes) {
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << bytes;
  return static_cast<bool>(out);
}

std::string read_file(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// The week the time-card list shows first at the bench's "now".
constexpr const char16_t* kFirstWeek = u"[Start] >= \"11/27/2026 00:00\" AND [Start] <= \"12/4/2026 23:59\" ";

// The store over PATH, or nullptr after saying why on standard error.
std::unique_ptr<platform::calendar::CalendarStore> open_or_say(const std::filesystem::path& path) {
  std::string error;
  auto s = platform::calendar::CalendarStore::open(path, &error);
  if (!s) std::fprintf(stderr, "%s\n", error.c_str());
  return s;
}

int usage() {
  std::fprintf(stderr,
               "usage: bench_tools generate N FILE [SERIES] | vdir N FOLDER | libical-parse FILE R | store FILE R"
               " | save PATH R | pickup FOLDER R | peak PROGRAM ARGS...\n");
  return 2;
}

int generate(int events, const std::filesystem::path& file, int series) {
  if (!write_file(file, bench::generate_calendar(events, series))) {
    std::fprintf(stderr, "cannot write %s\n", file.c_str());
    return 1;
  }
  return 0;
}

int vdir(int events, const std::filesystem::path& folder) {
  std::error_code ec;
  std::filesystem::create_directories(folder, ec);
  auto wrapped = [](const std::string& event) {
    std::string text = bench::calendar_header();
    text.append(event).append("END:VCALENDAR\r\n");
    return text;
  };
  if (!write_file(folder / "settings.ics", wrapped(bench::settings_event()))) return 1;
  for (int i = 0; i < events; ++i) {
    std::string name = std::to_string(i);
    name += ".ics";
    if (!write_file(folder / name, wrapped(bench::generated_event(i, events)))) {
      std::fprintf(stderr, "cannot write into %s\n", folder.c_str());
      return 1;
    }
  }
  return 0;
}

int libical_parse(const std::filesystem::path& file, int repeat) {
  const std::string bytes = read_file(file);
  double best = 1e300;
  int events = 0;
  for (int r = 0; r < repeat; ++r) {
    const auto start = Clock::now();
    icalcomponent* root = icalparser_parse_string(bytes.c_str());
    best = std::min(best, ms_since(start));
    if (root == nullptr) {
      std::fprintf(stderr, "libical could not parse %s\n", file.c_str());
      return 1;
    }
    events = icalcomponent_count_components(root, ICAL_VEVENT_COMPONENT);
    icalcomponent_free(root);
  }
  std::printf("libical_parse_ms %.3f\nevents %d\n", best, events);
  return 0;
}

int store(const std::filesystem::path& file, int repeat) {
  using platform::calendar::CalendarStore;
  double open_best = 1e300;
  std::unique_ptr<CalendarStore> s;
  for (int r = 0; r < repeat; ++r) {
    std::string error;
    const auto start = Clock::now();
    s = CalendarStore::open(file, &error);
    open_best = std::min(open_best, ms_since(start));
    if (!s) {
      std::fprintf(stderr, "%s\n", error.c_str());
      return 1;
    }
  }
  std::printf("store_open_ms %.3f\n", open_best);
  struct Range {
    const char* name;
    const char16_t* restriction;
  };
  // The restrictions the time-card list asks for (screen/appointment_list.cpp).
  const Range ranges[] = {
      {"week", kFirstWeek},
      {"month", u"[Start] >= \"11/4/2026 00:00\" AND [Start] <= \"12/4/2026 23:59\" "},
      {"year", u"[Start] >= \"12/4/2025 00:00\" AND [Start] <= \"12/4/2026 23:59\" "},
      {"settings", u"[Subject]=\"Outlook Tallyset 3 Personal Settings\""},
  };
  for (const Range& range : ranges) {
    double best = 1e300;
    std::size_t found = 0;
    for (int r = 0; r < std::max(repeat, 5); ++r) {
      const auto start = Clock::now();
      const auto oids = s->find(range.restriction);
      if (!oids) return 1;
      // Reading each listed appointment, as the list does for its rows.
      for (auto oid : *oids) (void)s->get(oid);
      const double took = ms_since(start);
      // Recurring series are expanded by the first search of a range.
      if (r == 0 && range.name == std::string("week")) std::printf("store_first_week_ms %.3f\n", took);
      best = std::min(best, took);
      found = oids->size();
    }
    std::printf("store_find_%s_ms %.3f\nstore_found_%s %zu\n", range.name, best, range.name, found);
  }
  return 0;
}

// PATH is a calendar file or a folder of .ics files.
int save(const std::filesystem::path& path, int repeat) {
  using namespace platform::calendar;
  const auto s = open_or_say(path);
  if (!s) return 1;
  const auto week = s->find(kFirstWeek);
  if (!week || week->empty()) return 1;
  const Oid oid = week->front();
  double best = 1e300, best_cpu = 1e300;
  for (int r = 0; r < repeat; ++r) {
    AppointmentFields fields = *s->get(oid);
    // Longer and shorter by turns: the file's bytes move, as most edits move them.
    fields.categories = fields.categories == u"North Ltd" ? u"South plc, Travel" : u"North Ltd";
    const double cpu_start = cpu_ms();
    const auto start = Clock::now();
    const StoreStatus status = s->update(oid, fields);
    best = std::min(best, ms_since(start));
    best_cpu = std::min(best_cpu, cpu_ms() - cpu_start);
    if (!status.ok) {
      std::fprintf(stderr, "%s\n", status.message.c_str());
      return 1;
    }
  }
  std::printf("store_save_ms %.3f\nstore_save_cpu_ms %.3f\n", best, best_cpu);
  return 0;
}

int pickup(const std::filesystem::path& folder, int repeat) {
  using namespace platform::calendar;
  const auto s = open_or_say(folder);
  if (!s) return 1;
  // A file in the middle of the folder, so that files on both sides of it count.
  std::vector<std::filesystem::path> files;
  for (const auto& entry : std::filesystem::directory_iterator(folder)) {
    if (entry.path().extension() == ".ics") files.push_back(entry.path());
  }
  if (files.empty()) return 1;
  std::sort(files.begin(), files.end());
  const std::filesystem::path changed = files[files.size() / 2];
  const std::string original = read_file(changed);
  const std::size_t summary = original.find("SUMMARY:");
  if (summary == std::string::npos) return 1;
  double best = 1e300, best_cpu = 1e300;
  for (int r = 0; r < repeat; ++r) {
    std::string text = original;
    text.insert(summary + 8, "Changed " + std::to_string(r) + " ");
    const std::filesystem::path aside = folder / ".pickup.tmp";
    if (!write_file(aside, text)) return 1;
    std::filesystem::rename(aside, changed);
    const double cpu_start = cpu_ms();
    const auto start = Clock::now();
    const StoreStatus status = s->refresh();
    const auto oids = s->find(kFirstWeek);
    if (!status.ok || !oids) return 1;
    for (auto oid : *oids) (void)s->get(oid);
    best = std::min(best, ms_since(start));
    best_cpu = std::min(best_cpu, cpu_ms() - cpu_start);
  }
  write_file(changed, original);
  std::printf("store_pickup_ms %.3f\nstore_pickup_cpu_ms %.3f\n", best, best_cpu);
  return 0;
}

}  // namespace

int peak(char** argv) {
  const pid_t child = ::fork();
  if (child < 0) return 1;
  if (child == 0) {
    ::execvp(argv[0], argv);
    std::perror(argv[0]);
    ::_exit(127);
  }
  // The kernel keeps no peak of private memory: the child's is looked at
  // every millisecond while it runs.
  const std::string status_file = "/proc/" + std::to_string(child) + "/status";
  long peak_private = 0;
  int status = 0;
  struct rusage usage {};
  pid_t done = 0;
  while ((done = ::wait4(child, &status, WNOHANG, &usage)) == 0) {
    std::ifstream in(status_file);
    for (std::string line; std::getline(in, line);) {
      if (line.rfind("RssAnon:", 0) == 0) peak_private = std::max(peak_private, std::atol(line.c_str() + 8));
    }
    ::usleep(1000);
  }
  if (done != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) return 1;
  const double cpu = static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                     static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
  std::printf("%ld %.6f %ld\n", usage.ru_maxrss, cpu, peak_private);
  return 0;
}

int main(int argc, char** argv) {
  if (argc >= 3 && std::string(argv[1]) == "peak") return peak(argv + 2);
  if (argc != 4 && !(argc == 5 && std::string(argv[1]) == "generate")) return usage();
  const std::string verb = argv[1];
  if (verb == "generate") return generate(std::atoi(argv[2]), argv[3], argc == 5 ? std::atoi(argv[4]) : 0);
  if (verb == "vdir") return vdir(std::atoi(argv[2]), argv[3]);
  if (verb == "libical-parse") return libical_parse(argv[2], std::max(1, std::atoi(argv[3])));
  if (verb == "store") return store(argv[2], std::max(1, std::atoi(argv[3])));
  if (verb == "save") return save(argv[2], std::max(1, std::atoi(argv[3])));
  if (verb == "pickup") return pickup(argv[2], std::max(1, std::atoi(argv[3])));
  return usage();
}
