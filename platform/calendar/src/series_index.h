// The recurring events of one snapshot of the file: which events are series
// (listed per occurrence, never themselves), which overrides replace which
// of their occurrences, and the occurrences of each series in the range last
// asked about, so that the time card's refreshes of one week cost a lookup.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "event_index.h"
#include "recurrence.h"

namespace platform::calendar::detail {

struct Series {
  Oid master = 0;
  std::string key;                       // names the series across reloads: its UID
  std::optional<std::uint32_t> number;   // the store's short name for the key, once it has one
  std::vector<std::int64_t> overridden;  // instants its overrides replace, sorted
  // Read on first use.
  bool read = false;
  std::optional<SeriesRule> rule;
  std::optional<std::int64_t> last_wall;  // as the rule says, or as found by expanding it
  std::int64_t cached_low = 1, cached_high = 0;
  std::vector<OccurrenceTime> cached;
};

class SeriesIndex {
 public:
  // `events` in file order. The first event with a UID and RRULE or RDATE
  // (and no RECURRENCE-ID) is that UID's series; a second one of the same
  // UID is listed as a plain appointment.
  void build(const std::vector<IndexedEvent>& events, std::string_view bytes);

  std::vector<Series>& all() { return series_; }
  Series* find(std::string_view key);
  bool is_master(Oid oid) const { return masters_.count(oid) != 0; }
  // The series an override belongs to; nullptr for a plain event or an
  // override whose master is missing.
  Series* series_of(const IndexedEvent& e, std::string_view bytes);

  // What the store needs to expand a series: its master's bytes and the
  // place to say why part of it cannot be used.
  struct Reader {
    std::function<std::string_view(Oid master)> bytes;
    const TimeZones* zones = nullptr;
    std::function<void(const Series&, const std::string& problem)> warn;
  };
  // The occurrences of `s` whose local start lies in [low, high], without
  // those its overrides replace; valid until the next call for `s`.
  std::span<const OccurrenceTime> occurrences(Series& s, std::int64_t low, std::int64_t high,
                                              const Reader& reader);
  // The local start of the occurrence `instant` of `s`; nullopt when the
  // series has no such occurrence (any more), or an override replaces it.
  std::optional<std::int64_t> occurrence_wall(Series& s, std::int64_t instant, const Reader& reader);
  // The rule of `s`; nullptr when its DTSTART cannot be read.
  const SeriesRule* rule_of(Series& s, const Reader& reader);

 private:
  std::vector<Series> series_;
  std::unordered_map<std::string, std::size_t> by_key_;
  std::unordered_map<Oid, std::size_t> masters_;
};

}  // namespace platform::calendar::detail
