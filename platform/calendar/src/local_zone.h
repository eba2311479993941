// The local time zone as the C library finds it, made a zone libical can
// convert in, so that the store's local times are the clock's.
//
// The C library reads TZ (a zone name, a path after ':', or a POSIX rule
// such as "CET-1CEST,M3.5.0,M10.5.0/3"), else the file /etc/localtime. A
// file is named by its place in the zone folder or the link that leads
// there, by Debian's /etc/timezone, or by the zone whose bytes it holds;
// failing those, the rule at the end of the file is read as TZ would be.
#pragma once

#include <libical/ical.h>

#include <filesystem>
#include <optional>
#include <string>

namespace platform::calendar::detail {

// Where the local zone is looked for.
struct LocalZoneSources {
  std::optional<std::string> tz;  // the TZ variable, when set
  std::filesystem::path localtime = "/etc/localtime";
  std::filesystem::path timezone_file = "/etc/timezone";
  std::filesystem::path zoneinfo = "/usr/share/zoneinfo";
  // TZ and TZDIR of this process.
  static LocalZoneSources of_process();
};

struct LocalZone {
  icaltimezone* zone = nullptr;  // never nullptr
  std::string name;              // the zone's name, or the rule TZ gives
  // Why local times may differ from the C library's; empty when they do not.
  std::string problem;
};

LocalZone resolve_local_zone(const LocalZoneSources& sources);

}  // namespace platform::calendar::detail
