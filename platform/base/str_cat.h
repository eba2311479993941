// Building messages and lines from pieces in one allocation. (Chains of
// `"literal" + std::string` also trip GCC 12's -Wrestrict at -O2.)
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace platform {

inline std::string str_cat(std::initializer_list<std::string_view> pieces) {
  std::size_t size = 0;
  for (std::string_view p : pieces) size += p.size();
  std::string out;
  out.reserve(size);
  for (std::string_view p : pieces) out.append(p);
  return out;
}

}  // namespace platform
