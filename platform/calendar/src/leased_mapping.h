// A calendar file mapped read-only and held still by a read lease.
//
// Reading a large file into memory of the process's own costs twice: the
// kernel clears every page of the buffer before the file is copied into it
// (at 50 MB, most of a start-up). A mapping of the page cache costs neither.
// But a mapping shows what the file holds now, not what it held when it was
// read, and a file cut short under it faults the reader. So the mapping is
// only taken under a read lease: a program that then opens the file to write
// (or truncates it) waits while this process copies the mapping into memory
// of its own, at the same addresses, and lets the lease go. The bytes never
// change under the store, and a writer waits only as long as that copy.
//
// Where no lease can be had (the file is open for writing elsewhere, belongs
// to another user, or lives on a file system without leases) there is no
// mapping, and the caller reads the file instead.
#pragma once

#include <cstddef>
#include <memory>
#include <optional>
#include <string_view>

#include "atomic_file.h"

namespace platform::calendar::detail {

class LeasedMapping {
 public:
  // The plain file open for reading at `fd` (open_for_reading), mapped
  // under a lease on a descriptor of its own, with its stamp as of the
  // lease; nullopt where it cannot be (empty, or no lease to be had).
  // `whole`: every page is mapped at once, for a caller about to read them
  // all; else each page as it is first read.
  static std::optional<LeasedMapping> map(int fd, bool whole, FileStamp* stamp);

  LeasedMapping(LeasedMapping&&) noexcept;
  LeasedMapping& operator=(LeasedMapping&&) noexcept;
  LeasedMapping(const LeasedMapping&) = delete;
  LeasedMapping& operator=(const LeasedMapping&) = delete;
  ~LeasedMapping();

  std::string_view bytes() const;
  // Maps every page not yet read (Linux 5.14 on; elsewhere each is mapped as
  // it is first read, as before).
  void map_all();

  struct Region;

 private:
  explicit LeasedMapping(std::unique_ptr<Region> region);
  std::unique_ptr<Region> region_;
};

}  // namespace platform::calendar::detail
