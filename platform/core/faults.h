// Fault injection and a call log, for tests. Every platform call whose
// failure the program handles can be made to fail on demand, and the calls
// that matter to start-up and shutdown are recorded in order, so a test can
// say "CoUninitialize ran, Logoff did not" about the real code path.
#pragma once

#include <set>
#include <type_traits>
#include <typeindex>
#include <utility>
#include <string>
#include <vector>

namespace platform {

// Each floor declares the faults it can inject as an enum of its own
// (`CoreFault` here, `ComFault` in COM, ...) and asks `active` at the place
// that fails.
enum class CoreFault {
  register_class,     // RegisterClassW returns 0
  create_window,      // CreateWindowExW of `create_window_class` returns NULL
  load_accelerators,  // LoadAcceleratorsW returns NULL
};

class Faults {
 public:
  template <class E>
  void inject(E fault) {
    active_.insert(key(fault));
  }
  template <class E>
  void clear(E fault) {
    active_.erase(key(fault));
  }
  template <class E>
  bool active(E fault) const {
    return active_.count(key(fault)) != 0;
  }
  // CreateWindowExW fails only for this class (empty: every class).
  std::u16string create_window_class;

 private:
  using Key = std::pair<std::type_index, int>;
  template <class E>
  static Key key(E fault) {
    static_assert(std::is_enum_v<E>, "faults are enumerators of a floor's fault enum");
    return {std::type_index(typeid(E)), static_cast<int>(fault)};
  }
  std::set<Key> active_;
};

class CallLog {
 public:
  void record(std::string name) { calls_.push_back(std::move(name)); }
  const std::vector<std::string>& calls() const { return calls_; }
  int count(const std::string& name) const {
    int n = 0;
    for (const auto& c : calls_)
      if (c == name) ++n;
    return n;
  }
  bool called(const std::string& name) const { return count(name) > 0; }
  // Position of the first call with this name, or -1.
  int index_of(const std::string& name) const {
    for (size_t i = 0; i < calls_.size(); ++i)
      if (calls_[i] == name) return static_cast<int>(i);
    return -1;
  }
  void clear() { calls_.clear(); }

 private:
  std::vector<std::string> calls_;
};

}  // namespace platform
