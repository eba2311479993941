// Where each oid's event is in the index: a table indexed by the oid. Oids
// are handed out one after another from 1 (to events and to the occurrences
// listed), so the table is as long as the oids given so far, four bytes
// each, and a look-up is one index: no heap node per event (a hundred
// thousand of them cost more to allocate and to free than to search), and
// no search.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <vector>

#include "platform/calendar/calendar_store.h"

namespace platform::calendar::detail {

class OidPositions {
 public:
  void clear() { at_.clear(); }
  void reserve(std::size_t oids) { at_.reserve(oids); }

  // Puts `oid` at `at`; an oid already there keeps its place.
  void emplace(Oid oid, std::size_t at) {
    if (oid >= at_.size()) at_.resize(std::size_t{oid} + 1, kNone);
    if (at_[oid] == kNone) at_[oid] = static_cast<std::uint32_t>(at);
  }
  std::optional<std::size_t> find(Oid oid) const {
    if (oid >= at_.size() || at_[oid] == kNone) return std::nullopt;
    return at_[oid];
  }
  std::size_t at(Oid oid) const {
    const auto place = find(oid);
    if (!place) throw std::out_of_range("no event has this oid");
    return *place;
  }
  void erase(Oid oid) {
    if (oid < at_.size()) at_[oid] = kNone;
  }
  // The entry at `index` left the index: every one after it moves down.
  void close_gap(std::size_t index) {
    for (std::uint32_t& place : at_) {
      if (place != kNone && place > index) --place;
    }
  }

 private:
  static constexpr std::uint32_t kNone = 0xFFFFFFFF;
  std::vector<std::uint32_t> at_;
};

}  // namespace platform::calendar::detail
