// COM on the program's thread: whether it was started, the in-process
// classes that floors above have registered (as a real system's registry
// would list them), and counts of live objects and strings for tests.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include <windows.h>
#include <objbase.h>

#include "platform/core/session.h"

namespace platform {

enum class ComFault {
  co_initialize,        // CoInitializeEx returns E_FAIL
  co_create_instance,   // CoCreateInstance returns REGDB_E_CLASSNOTREG
  co_create_no_object,  // CoCreateInstance returns S_OK without an object
};

// Creates an object of a registered class and asks it for `riid`.
using ClassFactory = std::function<HRESULT(REFIID riid, void** object)>;

class ComState : public Service {
 public:
  static ComState& of(Session& session) { return session.service<ComState>(); }

  void register_class(const CLSID& clsid, ClassFactory factory) { classes_.push_back({clsid, std::move(factory)}); }
  const ClassFactory* factory(const CLSID& clsid) const;

  ~ComState() override;

  int init_count = 0;
  IErrorInfo* error_info = nullptr;  // what GetErrorInfo hands out next
  long live_objects = 0;  // objects handed out and not yet released
  long live_strings = 0;  // automation strings not yet freed

 private:
  struct RegisteredClass {
    CLSID clsid;
    ClassFactory factory;
  };
  std::vector<RegisteredClass> classes_;
};

// Leaves an error information object with this description and source for
// the caller of the failing call, as an automation object does.
void SetErrorDescription(Session& session, std::u16string source, std::u16string description);

// Hands `text` out as a new automation string in `*out`, as an object's
// property getter does: E_POINTER without a place, E_OUTOFMEMORY when no
// string could be made.
HRESULT OutString(const std::u16string& text, BSTR* out);

// Installs the COM floor, with no classes registered yet.
void InstallCom(Session& session);

}  // namespace platform
