// Owning handles for the libical objects the store creates, so that every
// early return releases them.
#pragma once

#include <libical/ical.h>

#include <memory>

namespace platform::calendar::detail {

struct ComponentDeleter {
  void operator()(icalcomponent* c) const { icalcomponent_free(c); }
};
using ComponentPtr = std::unique_ptr<icalcomponent, ComponentDeleter>;

struct TimezoneDeleter {
  void operator()(icaltimezone* z) const { icaltimezone_free(z, 1); }
};
using TimezonePtr = std::unique_ptr<icaltimezone, TimezoneDeleter>;

// Strings libical hands over with the "_r" functions.
struct IcalBufferDeleter {
  void operator()(char* s) const { icalmemory_free_buffer(s); }
};
using IcalStringPtr = std::unique_ptr<char, IcalBufferDeleter>;

}  // namespace platform::calendar::detail
