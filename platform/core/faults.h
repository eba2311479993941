// Fault injection and a call log, for tests. Every platform call whose
// failure the program handles can be made to fail on demand, and the calls
// that matter to start-up and shutdown are recorded in order, so a test can
// say "CoUninitialize ran, Logoff did not" about the real code path.
#pragma once

#include <set>
#include <string>
#include <vector>

namespace platform {

enum class Fault {
  init_common_controls,   // InitCommonControlsEx returns FALSE
  co_initialize,          // CoInitializeEx returns E_FAIL
  co_create_instance,     // CoCreateInstance returns REGDB_E_CLASSNOTREG
  co_create_no_object,    // CoCreateInstance returns S_OK without an object
  logon,                  // IPOutlookApp::Logon returns E_FAIL
  create_menu_bar,        // SHCreateMenuBar returns FALSE
  register_class,         // RegisterClassW returns 0
  create_window,          // CreateWindowExW of `create_window_class` returns NULL
  load_accelerators,      // LoadAcceleratorsW returns NULL
  calendar_disk_full,     // every write of the calendar file fails with ENOSPC
};

class Faults {
 public:
  void inject(Fault f) { active_.insert(f); }
  void clear(Fault f) { active_.erase(f); }
  bool active(Fault f) const { return active_.count(f) != 0; }
  // CreateWindowExW fails only for this class (empty: every class).
  std::u16string create_window_class;

 private:
  std::set<Fault> active_;
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
