// Where each oid's event is in the index: a vector sorted by oid. A load
// hands out oids in file order, so the table is built in one pass without a
// sort and without a heap node per event (a hundred thousand of them cost
// more to allocate and to free than to search).
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <utility>
#include <vector>

#include "platform/calendar/calendar_store.h"

namespace platform::calendar::detail {

class OidPositions {
 public:
  // The place is 32 bits: half the table of a pair with a size_t, and no
  // calendar holds four billion events.
  using Entry = std::pair<Oid, std::uint32_t>;
  using iterator = std::vector<Entry>::iterator;
  using const_iterator = std::vector<Entry>::const_iterator;

  void clear() { entries_.clear(); }
  void reserve(std::size_t n) { entries_.reserve(n); }

  // Adds `oid` at `at`; an oid already there keeps its place.
  void emplace(Oid oid, std::size_t at) {
    const Entry entry{oid, static_cast<std::uint32_t>(at)};
    if (entries_.empty() || entries_.back().first < oid) {
      entries_.push_back(entry);
      return;
    }
    const auto it = lower(oid);
    if (it == entries_.end() || it->first != oid) entries_.insert(it, entry);
  }

  // Appends in any order; finish() sorts once at the end.
  void append(Oid oid, std::size_t at) { entries_.emplace_back(oid, static_cast<std::uint32_t>(at)); }
  void finish() {
    const auto by_oid = [](const Entry& a, const Entry& b) { return a.first < b.first; };
    if (std::is_sorted(entries_.begin(), entries_.end(), by_oid)) return;
    std::stable_sort(entries_.begin(), entries_.end(), by_oid);
    const auto same = [](const Entry& a, const Entry& b) { return a.first == b.first; };
    entries_.erase(std::unique(entries_.begin(), entries_.end(), same), entries_.end());
  }

  iterator find(Oid oid) {
    const auto it = lower(oid);
    return it != entries_.end() && it->first == oid ? it : entries_.end();
  }
  const_iterator find(Oid oid) const { return const_cast<OidPositions*>(this)->find(oid); }
  std::size_t at(Oid oid) const {
    const auto it = find(oid);
    if (it == end()) throw std::out_of_range("no event has this oid");
    return it->second;
  }
  void erase(Oid oid) {
    if (const auto it = find(oid); it != entries_.end()) entries_.erase(it);
  }

  iterator begin() { return entries_.begin(); }
  iterator end() { return entries_.end(); }
  const_iterator begin() const { return entries_.begin(); }
  const_iterator end() const { return entries_.end(); }

 private:
  iterator lower(Oid oid) {
    return std::lower_bound(entries_.begin(), entries_.end(), oid,
                            [](const Entry& e, Oid o) { return e.first < o; });
  }
  std::vector<Entry> entries_;
};

}  // namespace platform::calendar::detail
