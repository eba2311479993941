// pimstore.h: the Pocket Outlook Object Model interfaces that Tallyset
// calls, with the published method names. Every item that a collection or
// the application object hands out is an IDispatch that is an IAppointment
// for calendar items, so callers may use it as one directly.
//
// LONG stands where the device's header writes long: both are 32 bits there.
#pragma once

#include <windows.h>

#include <objbase.h>
#include <oleauto.h>

typedef enum OlDefaultFolders {
  olFolderCalendar = 9,
  olFolderContacts = 10,
  olFolderTasks = 13,
  olFolderCities = 101,
  olFolderInfrared = 102,
} OlDefaultFolders;

typedef enum OlItemType {
  olAppointmentItem = 1,
  olContactItem = 2,
  olTaskItem = 3,
  olCityItem = 102,
} OlItemType;

extern const CLSID CLSID_Application;
extern const IID IID_IPOutlookApp;
extern const IID IID_IFolder;
extern const IID IID_IPOutlookItemCollection;
extern const IID IID_IAppointment;

struct IPOutlookApp;
struct IFolder;
struct IPOutlookItemCollection;
struct IAppointment;

struct IPOutlookApp : public IDispatch {
  STDMETHOD(Logon)(LONG hWnd) PURE;
  STDMETHOD(Logoff)() PURE;
  STDMETHOD(get_Version)(BSTR* pwszVersion) PURE;
  STDMETHOD(GetDefaultFolder)(int olFolder, IFolder** ppIFolder) PURE;
  STDMETHOD(CreateItem)(int olItem, IDispatch** ppPOOMItem) PURE;
  STDMETHOD(GetItemFromOid)(LONG oid, IDispatch** ppPOOMItem) PURE;
  STDMETHOD(SysFreeString)(BSTR bstr) PURE;
  STDMETHOD(VariantTimeToSystemTime)(DATE date, SYSTEMTIME* pst) PURE;
  STDMETHOD(SystemTimeToVariantTime)(SYSTEMTIME* pst, DATE* pdate) PURE;
  STDMETHOD(get_OutlookCompatible)(VARIANT_BOOL* pfCompat) PURE;

 protected:
  ~IPOutlookApp() = default;
};

struct IFolder : public IDispatch {
  STDMETHOD(get_Items)(IPOutlookItemCollection** ppolItems) PURE;
  STDMETHOD(get_DefaultItemType)(int* polItem) PURE;
  STDMETHOD(get_Application)(IPOutlookApp** polApp) PURE;

 protected:
  ~IFolder() = default;
};

struct IPOutlookItemCollection : public IDispatch {
  STDMETHOD(Add)(IDispatch** ppolItem) PURE;
  STDMETHOD(get_Count)(int* pnCount) PURE;
  STDMETHOD(Find)(BSTR pwszRestriction, IDispatch** ppItem) PURE;
  STDMETHOD(FindNext)(IDispatch** ppItem) PURE;
  STDMETHOD(Item)(int iIndex, IDispatch** ppolItem) PURE;
  STDMETHOD(Remove)(int iIndex) PURE;
  STDMETHOD(Restrict)(BSTR pwszRestriction, IPOutlookItemCollection** ppolItems) PURE;
  STDMETHOD(Sort)(BSTR pwszProperty, VARIANT_BOOL fDescending) PURE;
  STDMETHOD(get_IncludeRecurrences)(VARIANT_BOOL* pfIncludeRecurrences) PURE;
  STDMETHOD(put_IncludeRecurrences)(VARIANT_BOOL fIncludeRecurrences) PURE;
  STDMETHOD(get_Application)(IPOutlookApp** polApp) PURE;

 protected:
  ~IPOutlookItemCollection() = default;
};

struct IAppointment : public IDispatch {
  STDMETHOD(get_Subject)(BSTR* pbstrSubject) PURE;
  STDMETHOD(get_Location)(BSTR* pbstrLocation) PURE;
  STDMETHOD(get_Categories)(BSTR* pbstrCategories) PURE;
  STDMETHOD(get_Start)(DATE* pst) PURE;
  STDMETHOD(get_Duration)(LONG* pnLen) PURE;
  STDMETHOD(get_End)(DATE* pst) PURE;
  STDMETHOD(get_AllDayEvent)(VARIANT_BOOL* pfAllDay) PURE;
  STDMETHOD(get_Body)(BSTR* pbstrBody) PURE;
  STDMETHOD(get_Oid)(LONG* poid) PURE;
  STDMETHOD(put_Subject)(BSTR bstrSubject) PURE;
  STDMETHOD(put_Location)(BSTR bstrLocation) PURE;
  STDMETHOD(put_Categories)(BSTR bstrCategories) PURE;
  STDMETHOD(put_Start)(DATE st) PURE;
  STDMETHOD(put_Duration)(LONG nLen) PURE;
  STDMETHOD(put_End)(DATE st) PURE;
  STDMETHOD(put_AllDayEvent)(VARIANT_BOOL fAllDay) PURE;
  STDMETHOD(put_Body)(BSTR bstrBody) PURE;
  STDMETHOD(Save)() PURE;
  STDMETHOD(Delete)() PURE;
  STDMETHOD(Display)() PURE;
  STDMETHOD(get_Application)(IPOutlookApp** polApp) PURE;

 protected:
  ~IAppointment() = default;
};
