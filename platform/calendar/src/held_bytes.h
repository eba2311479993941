// The bytes of a snapshot of the calendar: the file mapped under a lease
// (leased_mapping.h), or a buffer of the store's own. Reading goes through
// a view either way; an edit in memory needs a buffer, so the first one
// copies a mapping into one.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "atomic_file.h"
#include "leased_mapping.h"

namespace platform::calendar::detail {

class HeldBytes {
 public:
  HeldBytes() = default;
  explicit HeldBytes(std::string owned) : owned_(std::move(owned)) {}
  explicit HeldBytes(LeasedMapping mapped) : mapped_(std::move(mapped)) {}
  // Bytes that take the place of these, kept from then on.
  void replace_with(LeasedMapping mapped);

  std::string_view view() const { return mapped_ ? mapped_->bytes() : std::string_view(owned_); }
  operator std::string_view() const { return view(); }
  std::size_t size() const { return view().size(); }
  bool empty() const { return view().empty(); }
  std::string_view substr(std::size_t at, std::size_t count = std::string_view::npos) const {
    return view().substr(at, count);
  }
  bool mapped() const { return mapped_.has_value(); }
  // Room for edits in memory: none in a mapping.
  std::size_t capacity() const { return mapped_ ? 0 : owned_.capacity(); }

  // The bytes as a buffer of the store's own with room for `capacity`
  // bytes; a mapping is copied into it and let go.
  std::string& own(std::size_t capacity = 0);

 private:
  std::string owned_;
  std::optional<LeasedMapping> mapped_;
};

struct HeldRead {
  int error = 0;  // errno; ENOENT for a missing file
  HeldBytes bytes;
  FileStamp stamp;
};

// The file's bytes: mapped under a lease from `map_from` bytes on, where a
// lease can be had, and read (with spare room, as read_file) otherwise.
HeldRead hold_file(const std::filesystem::path& file, SpareRoom spare, std::size_t map_from);

}  // namespace platform::calendar::detail
