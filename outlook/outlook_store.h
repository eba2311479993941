// Tallyset's link to Pocket Outlook: opening and closing the session, and a
// guard that releases a fetched object on every path out of a handler.
#pragma once

#include <windows.h>

#include <pimstore.h>

HRESULT OpenOutlookSession();
HRESULT CloseOutlookSession();

// Releases the object it holds when the handler's scope ends.
template <typename T>
class ReleaseOnExit {
 public:
  explicit ReleaseOnExit(T*& object) : object_(object) {}
  ~ReleaseOnExit() {
    if (object_) {
      object_->Release();
      object_ = nullptr;
    }
  }
  ReleaseOnExit(const ReleaseOnExit&) = delete;
  ReleaseOnExit& operator=(const ReleaseOnExit&) = delete;

 private:
  T*& object_;
};
