// Which events are series, and the occurrences each puts into a range.
#include "series_index.h"

#include <algorithm>
#include <limits>

namespace platform::calendar::detail {

namespace {

// The range expanded around the one asked for: the time card's refreshes
// move the week by a day or so, and stay inside it.
constexpr std::int64_t kCachePad = 3 * 86400;

}  // namespace

void SeriesIndex::build(const std::vector<IndexedEvent>& events, std::string_view bytes) {
  series_.clear();
  by_key_.clear();
  masters_.clear();
  for (const IndexedEvent& e : events) {
    if (!e.recurring || !e.recurrence_id().empty() || !e.has_uid()) continue;
    const auto [at, added] = by_key_.emplace(e.uid(bytes), series_.size());
    if (!added) continue;
    masters_.emplace(e.oid, series_.size());
    Series& s = series_.emplace_back();
    s.master = e.oid;
    s.key = at->first;
  }
  for (const IndexedEvent& e : events) {
    const auto instant = e.recurrence_instant();
    if (e.recurrence_id().empty() || !instant) continue;
    if (Series* s = find(e.uid(bytes))) s->overridden.push_back(*instant);
  }
  for (Series& s : series_) std::sort(s.overridden.begin(), s.overridden.end());
}

Series* SeriesIndex::find(std::string_view key) {
  const auto it = by_key_.find(std::string(key));
  return it == by_key_.end() ? nullptr : &series_[it->second];
}

Series* SeriesIndex::series_of(const IndexedEvent& e, std::string_view bytes) {
  if (e.recurrence_id().empty() || !e.recurrence_instant()) return nullptr;
  return find(e.uid(bytes));
}

const SeriesRule* SeriesIndex::rule_of(Series& s, const Reader& reader) {
  if (!s.read) {
    s.read = true;
    std::string problem;
    s.rule = read_series_rule(reader.bytes(s.master), *reader.zones, &problem);
    if (!problem.empty()) reader.warn(s, problem);
    if (s.rule) s.last_wall = s.rule->last_wall;
  }
  return s.rule ? &*s.rule : nullptr;
}

std::span<const OccurrenceTime> SeriesIndex::occurrences(Series& s, std::int64_t low, std::int64_t high,
                                                         const Reader& reader) {
  const SeriesRule* rule = rule_of(s, reader);
  if (rule == nullptr) return {};
  low = std::max(low, rule->first_wall);
  if (s.last_wall) high = std::min(high, *s.last_wall);
  if (low > high) return {};
  if (low < s.cached_low || high > s.cached_high) {
    // The first list of a run expands just its range (every series at once,
    // so it counts); once the user moves on, some days around it.
    const std::int64_t pad = s.cached_low > s.cached_high ? 0 : kCachePad;
    const std::int64_t from = std::max(rule->first_wall, low - pad);
    const std::int64_t to = high > std::numeric_limits<std::int64_t>::max() - pad ? high : high + pad;
    Expansion e = expand(*rule, from, to, *reader.zones);
    if (e.truncated) reader.warn(s, "the series repeats too often; only part of it is listed");
    if (e.ended && (!s.last_wall || *s.last_wall > to)) s.last_wall = to;
    // Overrides are listed as events of their own.
    std::erase_if(e.times, [&](const OccurrenceTime& t) {
      return std::binary_search(s.overridden.begin(), s.overridden.end(), t.instant);
    });
    s.cached = std::move(e.times);
    s.cached_low = from;
    s.cached_high = to;
  }
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min(), kMax = std::numeric_limits<std::int64_t>::max();
  const auto first = std::lower_bound(s.cached.begin(), s.cached.end(), OccurrenceTime{low, kMin});
  const auto last = std::upper_bound(first, s.cached.end(), OccurrenceTime{high, kMax});
  return {first, last};
}

std::optional<std::int64_t> SeriesIndex::occurrence_wall(Series& s, std::int64_t instant, const Reader& reader) {
  const SeriesRule* rule = rule_of(s, reader);
  if (rule == nullptr) return std::nullopt;
  if (std::binary_search(s.overridden.begin(), s.overridden.end(), instant)) return std::nullopt;
  // Most often one just listed: found without converting its time, as its
  // local start lies within a UTC offset (at most 14 hours) of its instant.
  constexpr std::int64_t kOffsets = 15 * 3600;
  const auto near = std::lower_bound(s.cached.begin(), s.cached.end(),
                                     OccurrenceTime{instant - kOffsets, std::numeric_limits<std::int64_t>::min()});
  for (auto it = near; it != s.cached.end() && it->wall <= instant + kOffsets; ++it) {
    if (it->instant == instant) return it->wall;
  }
  const std::int64_t wall = local_wall(*rule, instant, *reader.zones);
  const OccurrenceTime wanted{wall, instant};
  if (wall >= s.cached_low && wall <= s.cached_high) return std::nullopt;
  // Looked at apart from the cached range, which the list keeps using.
  const Expansion e = expand(*rule, wall, wall, *reader.zones);
  if (!std::binary_search(e.times.begin(), e.times.end(), wanted)) return std::nullopt;
  return wall;
}

}  // namespace platform::calendar::detail
