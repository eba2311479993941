// Sections: reference counting · application · folder · item collection ·
// appointment.
#include "platform/pocket_outlook/poom_objects.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>
#include <vector>

#include "platform/base/utf.h"
#include "platform/com/com_state.h"
#include "platform/core/clock.h"
#include "platform/core/session.h"
#include "platform/gdi/text.h"
#include "platform/pocket_outlook/appointment_editor.h"

const CLSID CLSID_Application = {0x05058F23, 0x20BE, 0x11D2, {0x8F, 0x18, 0x00, 0x00, 0xF8, 0x7A, 0x43, 0x35}};
const IID IID_IPOutlookApp = {0x05058F22, 0x20BE, 0x11D2, {0x8F, 0x18, 0x00, 0x00, 0xF8, 0x7A, 0x43, 0x35}};
// Identifiers of this stand-in's other interfaces; programs reach those
// objects through the application object, never by these values.
const IID IID_IFolder = {0x7A1E2C01, 0x5D3B, 0x4B8F, {0x9A, 0x21, 0x6C, 0x43, 0x1E, 0x0D, 0x77, 0x01}};
const IID IID_IPOutlookItemCollection = {0x7A1E2C02, 0x5D3B, 0x4B8F, {0x9A, 0x21, 0x6C, 0x43, 0x1E, 0x0D, 0x77, 0x02}};
const IID IID_IAppointment = {0x7A1E2C03, 0x5D3B, 0x4B8F, {0x9A, 0x21, 0x6C, 0x43, 0x1E, 0x0D, 0x77, 0x03}};

namespace platform {

namespace {

using calendar::AppointmentFields;
using calendar::CalendarStore;
using calendar::Oid;

// ---------------------------------------------------------------- reference counting

// IUnknown and IDispatch for one interface; the object deletes itself at
// its last release.
template <typename Interface>
class ComObject : public Interface {
 public:
  explicit ComObject(Session& session, const IID& iid) : session_(session), iid_(iid) {
    ++platform::ComState::of(session_).live_objects;
  }
  virtual ~ComObject() { --platform::ComState::of(session_).live_objects; }

  STDMETHODIMP QueryInterface(REFIID riid, void** ppv) override {
    if (!ppv) return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch || riid == iid_) {
      *ppv = static_cast<Interface*>(this);
      this->AddRef();
      return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
  }
  STDMETHODIMP_(ULONG) AddRef() override { return ++refs_; }
  STDMETHODIMP_(ULONG) Release() override {
    ULONG left = --refs_;
    if (left == 0) delete this;
    return left;
  }
  STDMETHODIMP GetTypeInfoCount(UINT* n) override {
    if (n) *n = 0;
    return S_OK;
  }
  STDMETHODIMP GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
  STDMETHODIMP GetIDsOfNames(REFIID, LPWSTR*, UINT, LCID, DISPID*) override { return E_NOTIMPL; }
  STDMETHODIMP Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
    return E_NOTIMPL;
  }

 protected:
  Session& session_;

 private:
  const IID& iid_;
  ULONG refs_ = 1;
};

// The platform's error for a failed write, so callers can name the reason.
HRESULT FailureOf(const calendar::StoreStatus& status) {
  switch (status.failure) {
    case calendar::StoreFailure::DeletedElsewhere:
      return HRESULT_FROM_WIN32(ERROR_NOT_FOUND);
    case calendar::StoreFailure::ChangedElsewhere:
      return HRESULT_FROM_WIN32(ERROR_SHARING_VIOLATION);
    case calendar::StoreFailure::OutOfRange:
      return E_INVALIDARG;
    case calendar::StoreFailure::Other:
      break;
  }
  switch (status.error_number) {
    case ENOSPC:
    case EDQUOT:
      return HRESULT_FROM_WIN32(ERROR_DISK_FULL);
    case EACCES:
    case EPERM:
    case EROFS:
      return HRESULT_FROM_WIN32(ERROR_ACCESS_DENIED);
    case EIO:
      return HRESULT_FROM_WIN32(ERROR_WRITE_FAULT);
    default:
      return E_FAIL;
  }
}

// Texts handed in may be plain zero-terminated buffers rather than
// automation strings, so their length is found by their terminator.
std::u16string InString(BSTR text) { return text ? std::u16string(text) : std::u16string(); }

DATE ToDate(const calendar::LocalDateTime& t) {
  SYSTEMTIME st{};
  st.wYear = static_cast<WORD>(t.year);
  st.wMonth = static_cast<WORD>(t.month);
  st.wDay = static_cast<WORD>(t.day);
  st.wHour = static_cast<WORD>(t.hour);
  st.wMinute = static_cast<WORD>(t.minute);
  st.wSecond = static_cast<WORD>(t.second);
  DATE d = 0;
  SystemTimeToVariantTime(&st, &d);
  return d;
}

bool FromDate(DATE d, calendar::LocalDateTime* t) {
  SYSTEMTIME st{};
  if (!VariantTimeToSystemTime(d, &st)) return false;
  *t = {st.wYear, st.wMonth, st.wDay, st.wHour, st.wMinute, st.wSecond};
  return true;
}

class Application;

// ---------------------------------------------------------------- appointment

class Appointment : public ComObject<IAppointment> {
 public:
  Appointment(Session& session, Application* app, Oid oid, AppointmentFields fields);
  ~Appointment() override;

  STDMETHODIMP get_Subject(BSTR* p) override { return OutString(fields_.subject, p); }
  STDMETHODIMP get_Location(BSTR* p) override { return OutString(u"", p); }
  STDMETHODIMP get_Categories(BSTR* p) override { return OutString(fields_.categories, p); }
  STDMETHODIMP get_Start(DATE* p) override {
    if (!p) return E_POINTER;
    *p = ToDate(fields_.start);
    return S_OK;
  }
  STDMETHODIMP get_Duration(LONG* p) override {
    if (!p) return E_POINTER;
    *p = fields_.duration_minutes;
    return S_OK;
  }
  STDMETHODIMP get_End(DATE* p) override {
    if (!p) return E_POINTER;
    *p = ToDate(fields_.start) + fields_.duration_minutes / 1440.0;
    return S_OK;
  }
  STDMETHODIMP get_AllDayEvent(VARIANT_BOOL* p) override {
    if (!p) return E_POINTER;
    *p = fields_.all_day ? VARIANT_TRUE : VARIANT_FALSE;
    return S_OK;
  }
  STDMETHODIMP get_Body(BSTR* p) override { return OutString(fields_.body, p); }
  STDMETHODIMP get_Oid(LONG* p) override {
    if (!p) return E_POINTER;
    *p = static_cast<LONG>(oid_);
    return S_OK;
  }
  STDMETHODIMP put_Subject(BSTR v) override {
    fields_.subject = InString(v);
    return S_OK;
  }
  STDMETHODIMP put_Location(BSTR) override { return S_OK; }
  STDMETHODIMP put_Categories(BSTR v) override {
    fields_.categories = InString(v);
    return S_OK;
  }
  // A value the calendar cannot hold is refused here and again by Save, so
  // that a caller who does not look at the result never saves the item with
  // some other time in its place.
  STDMETHODIMP put_Start(DATE v) override {
    start_refused_ = !FromDate(v, &fields_.start);
    return start_refused_ ? E_INVALIDARG : S_OK;
  }
  STDMETHODIMP put_Duration(LONG v) override {
    duration_refused_ = v < 0;
    if (duration_refused_) return E_INVALIDARG;
    fields_.duration_minutes = v;
    return S_OK;
  }
  STDMETHODIMP put_End(DATE v) override {
    const double minutes = std::round((v - ToDate(fields_.start)) * 1440.0);
    duration_refused_ = !(minutes >= 0 && minutes <= 2147483647.0);  // NaN too
    if (duration_refused_) return E_INVALIDARG;
    fields_.duration_minutes = static_cast<std::int32_t>(minutes);
    return S_OK;
  }
  STDMETHODIMP put_AllDayEvent(VARIANT_BOOL v) override {
    fields_.all_day = v != VARIANT_FALSE;
    return S_OK;
  }
  STDMETHODIMP put_Body(BSTR v) override {
    fields_.body = InString(v);
    return S_OK;
  }
  STDMETHODIMP Save() override;
  STDMETHODIMP Delete() override;
  STDMETHODIMP Display() override;
  STDMETHODIMP get_Application(IPOutlookApp** p) override;

 private:
  Application* app_;
  Oid oid_;
  AppointmentFields fields_;
  bool start_refused_ = false, duration_refused_ = false;
};

// ---------------------------------------------------------------- application

// Keeps `store` unfreed for the rest of the process. At a process's end the
// operating system takes its memory back at once, where freeing a large
// calendar's index piece by piece costs milliseconds. Reachable from a global,
// so leak checkers do not count it as lost.
void KeepUntilExit(std::unique_ptr<CalendarStore> store) {
  // A union member is never destroyed: the union's destructor does nothing.
  union Kept {
    Kept() : stores() {}
    ~Kept() {}
    std::vector<std::unique_ptr<CalendarStore>> stores;
  };
  static Kept kept;
  kept.stores.push_back(std::move(store));
}

class Application : public ComObject<IPOutlookApp> {
 public:
  explicit Application(Session& session) : ComObject(session, IID_IPOutlookApp) {}
  ~Application() override {
    if (store_ && session_.options().process_ends_with_session) KeepUntilExit(std::move(store_));
  }

  CalendarStore* store() { return store_.get(); }
  void report(const std::string& what) { std::fprintf(stderr, "tallyset: %s\n", what.c_str()); }

  STDMETHODIMP Logon(LONG) override {
    session_.calls().record("Logon");
    if (session_.faults().active(OutlookFault::logon)) return E_FAIL;
    if (store_) return S_OK;
    std::string error;
    calendar::StoreOptions options;
    Session* session = &session_;
    options.inject_write_fault = [session](calendar::WriteStep step) {
      return session->faults().active(OutlookFault::calendar_disk_full) && step == calendar::WriteStep::Write ? ENOSPC : 0;
    };
    store_ = CalendarStore::open(PocketOutlook::of(session_).calendar(), &error, std::move(options));
    if (!store_) {
      report(error);
      // The caller may show the reason: the file, and the line for broken content.
      SetErrorDescription(session_, u"Pocket Outlook", FromUtf8(error));
      return E_FAIL;
    }
    return S_OK;
  }
  STDMETHODIMP Logoff() override {
    session_.calls().record("Logoff");
    if (!store_) return E_FAIL;
    store_.reset();
    return S_OK;
  }
  STDMETHODIMP get_Version(BSTR* p) override { return OutString(u"3.0", p); }
  STDMETHODIMP GetDefaultFolder(int folder, IFolder** out) override;
  STDMETHODIMP CreateItem(int type, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (type != olAppointmentItem) return E_INVALIDARG;
    if (!store_) return E_FAIL;
    AppointmentFields fields;
    SYSTEMTIME now = session_.clock().local_now();
    fields.start = {now.wYear, now.wMonth, now.wDay, now.wHour, 0, 0};
    fields.duration_minutes = 60;
    *out = new Appointment(session_, this, 0, fields);
    return S_OK;
  }
  STDMETHODIMP GetItemFromOid(LONG oid, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!store_) return E_FAIL;
    auto fields = store_->get(static_cast<Oid>(oid));
    if (!fields) return E_INVALIDARG;
    *out = new Appointment(session_, this, static_cast<Oid>(oid), *fields);
    return S_OK;
  }
  STDMETHODIMP SysFreeString(BSTR b) override {
    ::SysFreeString(b);
    return S_OK;
  }
  STDMETHODIMP VariantTimeToSystemTime(DATE d, SYSTEMTIME* st) override {
    return ::VariantTimeToSystemTime(d, st) ? S_OK : E_INVALIDARG;
  }
  STDMETHODIMP SystemTimeToVariantTime(SYSTEMTIME* st, DATE* d) override {
    return ::SystemTimeToVariantTime(st, d) ? S_OK : E_INVALIDARG;
  }
  STDMETHODIMP get_OutlookCompatible(VARIANT_BOOL* p) override {
    if (!p) return E_POINTER;
    *p = VARIANT_TRUE;
    return S_OK;
  }

  Appointment* make_item(Oid oid) {
    auto fields = store_ ? store_->get(oid) : std::nullopt;
    if (!fields) return nullptr;
    return new Appointment(session_, this, oid, *fields);
  }

 private:
  std::unique_ptr<CalendarStore> store_;
};

// ---------------------------------------------------------------- item collection

class ItemCollection : public ComObject<IPOutlookItemCollection> {
 public:
  ItemCollection(Session& session, Application* app) : ComObject(session, IID_IPOutlookItemCollection), app_(app) {
    app_->AddRef();
  }
  ~ItemCollection() override { app_->Release(); }

  STDMETHODIMP Add(IDispatch** out) override { return app_->CreateItem(olAppointmentItem, out); }
  STDMETHODIMP get_Count(int* n) override {
    if (!n) return E_POINTER;
    *n = app_->store() ? static_cast<int>(app_->store()->size()) : 0;
    return S_OK;
  }
  // A malformed restriction is a failure, never "every item".
  STDMETHODIMP Find(BSTR restriction, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    matches_.clear();
    next_ = 0;
    if (!app_->store()) return E_FAIL;
    // A search answers with the calendar as it is now, another program's
    // changes included; when the file cannot be read again, with what the
    // store last read (the next save says why).
    app_->store()->refresh();
    auto found = app_->store()->find(InString(restriction));
    if (!found) return E_INVALIDARG;
    matches_ = std::move(*found);
    return FindNext(out);
  }
  STDMETHODIMP FindNext(IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    // Items deleted since the Find are passed over.
    while (next_ < matches_.size()) {
      if (Appointment* item = app_->make_item(matches_[next_++])) {
        *out = item;
        return S_OK;
      }
    }
    return S_OK;
  }
  STDMETHODIMP Item(int index, IDispatch** out) override {
    if (!out) return E_POINTER;
    *out = nullptr;
    if (!app_->store()) return E_FAIL;
    auto all = app_->store()->all();
    if (index < 1 || index > static_cast<int>(all.size())) return E_INVALIDARG;
    *out = app_->make_item(all[static_cast<size_t>(index - 1)]);
    return *out ? S_OK : E_FAIL;
  }
  STDMETHODIMP Remove(int) override { return E_NOTIMPL; }
  STDMETHODIMP Restrict(BSTR, IPOutlookItemCollection**) override { return E_NOTIMPL; }
  STDMETHODIMP Sort(BSTR, VARIANT_BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP get_IncludeRecurrences(VARIANT_BOOL* p) override {
    if (!p) return E_POINTER;
    *p = VARIANT_FALSE;
    return S_OK;
  }
  STDMETHODIMP put_IncludeRecurrences(VARIANT_BOOL) override { return E_NOTIMPL; }
  STDMETHODIMP get_Application(IPOutlookApp** p) override {
    if (!p) return E_POINTER;
    app_->AddRef();
    *p = app_;
    return S_OK;
  }

 private:
  Application* app_;
  std::vector<Oid> matches_;
  size_t next_ = 0;
};

// ---------------------------------------------------------------- folder

class Folder : public ComObject<IFolder> {
 public:
  Folder(Session& session, Application* app) : ComObject(session, IID_IFolder), app_(app) { app_->AddRef(); }
  ~Folder() override { app_->Release(); }

  STDMETHODIMP get_Items(IPOutlookItemCollection** out) override {
    if (!out) return E_POINTER;
    *out = new ItemCollection(session_, app_);
    return S_OK;
  }
  STDMETHODIMP get_DefaultItemType(int* p) override {
    if (!p) return E_POINTER;
    *p = olAppointmentItem;
    return S_OK;
  }
  STDMETHODIMP get_Application(IPOutlookApp** p) override {
    if (!p) return E_POINTER;
    app_->AddRef();
    *p = app_;
    return S_OK;
  }

 private:
  Application* app_;
};

HRESULT Application::GetDefaultFolder(int folder, IFolder** out) {
  if (!out) return E_POINTER;
  *out = nullptr;
  if (!store_) return E_FAIL;
  if (folder != olFolderCalendar) return E_INVALIDARG;
  *out = new Folder(session_, this);
  return S_OK;
}

// ---------------------------------------------------------------- appointment, continued

Appointment::Appointment(Session& session, Application* app, Oid oid, AppointmentFields fields)
    : ComObject(session, IID_IAppointment), app_(app), oid_(oid), fields_(std::move(fields)) {
  app_->AddRef();
}

Appointment::~Appointment() { app_->Release(); }

HRESULT Appointment::Save() {
  CalendarStore* store = app_->store();
  if (!store) return E_FAIL;
  if (start_refused_ || duration_refused_) {
    app_->report(store->file().string() + " was not changed: the appointment's " +
                 (start_refused_ ? "start" : "end") + " is outside what the calendar can hold");
    return E_INVALIDARG;
  }
  calendar::StoreStatus status;
  if (oid_ == 0) {
    Oid oid = store->add(fields_, &status);
    if (oid == 0) {
      app_->report(status.message);
      return FailureOf(status);
    }
    oid_ = oid;
    return S_OK;
  }
  status = store->update(oid_, fields_);
  if (!status.ok) {
    app_->report(status.message);
    return FailureOf(status);
  }
  return S_OK;
}

HRESULT Appointment::Delete() {
  CalendarStore* store = app_->store();
  if (!store) return E_FAIL;
  if (oid_ == 0) return S_OK;
  calendar::StoreStatus status = store->remove(oid_);
  if (!status.ok) {
    app_->report(status.message);
    return FailureOf(status);
  }
  oid_ = 0;
  return S_OK;
}

HRESULT Appointment::Display() {
  EditorHandler& editor = PocketOutlook::of(session_).editor;
  if (!editor) return S_FALSE;
  AppointmentFields edited = fields_;
  bool deleted = false;
  HRESULT hr = editor(edited, oid_ == 0, &deleted);
  if (deleted) {
    Delete();
    return S_FALSE;
  }
  if (hr == S_OK) {
    fields_ = edited;
    return Save();
  }
  return hr;
}

HRESULT Appointment::get_Application(IPOutlookApp** p) {
  if (!p) return E_POINTER;
  app_->AddRef();
  *p = app_;
  return S_OK;
}

}  // namespace

void InstallPocketOutlook(Session& session, std::filesystem::path calendar) {
  session.install<PocketOutlook>(std::move(calendar));
  ComState::of(session).register_class(CLSID_Application, [&session](REFIID riid, void** object) {
    Application* app = new Application(session);
    HRESULT hr = app->QueryInterface(riid, object);
    app->Release();
    return hr;
  });
  RegisterAppointmentEditorClass();
  PocketOutlook::of(session).editor = RunAppointmentEditor;
}

}  // namespace platform
