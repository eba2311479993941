#include "held_bytes.h"

#include <algorithm>

namespace platform::calendar::detail {

std::string& HeldBytes::own(std::size_t capacity) {
  if (mapped_) {
    std::string copy;
    reserve_on_huge_pages(copy, std::max(capacity, mapped_->bytes().size()));
    copy.assign(mapped_->bytes());
    owned_ = std::move(copy);
    mapped_.reset();
  } else if (capacity > owned_.capacity()) {
    owned_.reserve(capacity);
  }
  return owned_;
}

void HeldBytes::replace_with(LeasedMapping mapped) {
  // These bytes are let go before the new ones are mapped whole: a save
  // would otherwise count both files' pages in the process's peak.
  *this = HeldBytes();
  mapped_.emplace(std::move(mapped));
  mapped_->map_all();
}

HeldRead hold_file(const std::filesystem::path& file, SpareRoom spare, std::size_t map_from) {
  HeldRead held;
  UniqueFd fd;
  struct stat st {};
  if ((held.error = open_for_reading(file, fd, st)) != 0) return held;
  if (st.st_size > 0 && static_cast<std::size_t>(st.st_size) >= map_from) {
    if (std::optional<LeasedMapping> mapped = LeasedMapping::map(fd.get(), true, &held.stamp)) {
      held.bytes = HeldBytes(std::move(*mapped));
      return held;
    }
  }
  ReadResult read = read_opened(fd, st, spare);
  held.error = read.error;
  held.bytes = HeldBytes(std::move(read.bytes));
  held.stamp = read.stamp;
  return held;
}

}  // namespace platform::calendar::detail
