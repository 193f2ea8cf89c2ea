// What the files of the simulated COM components share: the identifiers and
// codes they answer with, the kinds of object, the object itself, the method
// tables laid out as COM lays out an interface, and the methods behind them.
// sim_components.cpp is the COM runtime (objects, strings, creation, the
// tables), sim_directshow.cpp the system device enumerator and the capture
// filter, sim_vamp.cpp the component "34com.dll" and sim_capture_driver.cpp
// the driver behind the filter's handle.
#pragma once

#include <cstddef>
#include <cstring>
#include <string>
#include <type_traits>

#include "platform/com_call.h"
#include "platform/sim/sim_components.h"
#include "platform/sim/sim_platform.h"
#include "platform/win_constants.h"

namespace cw::sim {
namespace com {

inline constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);

inline GUID Guid(const char* text) {
  GUID guid = {};
  ParseGuidText(text, &guid);
  return guid;
}

// Written out here from their text, not taken from the program, so a wrong
// identifier in the program does not go unnoticed.
inline const GUID kIUnknown = Guid("{00000000-0000-0000-C000-000000000046}");
inline const GUID kSystemDeviceEnum = Guid("{62BE5D10-60EB-11D0-BD3B-00A0C911CE86}");
inline const GUID kICreateDevEnum = Guid("{29840822-5B84-11D0-BD3B-00A0C911CE86}");
inline const GUID kVideoInputCategory = Guid("{860BB310-5D01-11D0-BD3B-00A0C911CE86}");
inline const GUID kIEnumMoniker = Guid("{00000102-0000-0000-C000-000000000046}");
inline const GUID kIMoniker = Guid("{0000000F-0000-0000-C000-000000000046}");
inline const GUID kIPropertyBag = Guid("{55272A00-42CB-11CE-8135-00AA004BB851}");
inline const GUID kIBaseFilter = Guid("{56A86895-0AD4-11CE-B03A-0020AF0BA770}");
inline const GUID kIKsObject = Guid("{423C13A2-2070-11D0-9EF7-00AA00A216A1}");
inline const GUID kRegisterSet = Guid("{C44A1A10-0A37-11D2-8328-006097BA83AB}");
inline const GUID kVampClass = Guid("{B8A9279E-C453-11D4-AD45-0060080BA634}");
inline const GUID kVampList = Guid("{B8A9279D-C453-11D4-AD45-0060080BA634}");
inline const GUID kIVampDevice = Guid("{B8A9279F-C453-11D4-AD45-0060080BA634}");
inline const GUID kVampItem = Guid("{B50FC4B1-CD0E-11D4-AD5D-0060080BA634}");

enum Kind {
  kDevEnum,
  kEnumMoniker,
  kMoniker,
  kPropertyBag,
  kFilter,
  kKsObject,
  kVampListObject,
  kVampDeviceObject,
  kVampDevice,
  kVampItemObject,
  kVampItemInterface,
};

const char* KindName(int kind);

// Little-endian 32-bit words, as the driver's requests and BSTR lengths hold them.
inline DWORD ReadWord(const BYTE* bytes) {
  return static_cast<DWORD>(bytes[0]) | (static_cast<DWORD>(bytes[1]) << 8) |
         (static_cast<DWORD>(bytes[2]) << 16) | (static_cast<DWORD>(bytes[3]) << 24);
}

inline void WriteWord(BYTE* bytes, DWORD value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(value >> (8 * i));
}

}  // namespace com

// One COM object. The program's calls reach it through `table`.
struct SimObject {
  const void* table;
  SimComponents* owner;
  int kind;
  ULONG refs;
  size_t device;     // the video input device of a moniker, bag or filter
  size_t position;   // an enumerator's next device
  SimObject* keeps;  // the object this one holds a reference on (a tear-off's filter)
  HANDLE handle;     // a filter's kernel-streaming handle
};
static_assert(std::is_standard_layout_v<SimObject>, "the table comes first");

// ------------------------------------------------------ method tables

// Every table begins with IUnknown's three methods.
#define CW_UNKNOWN_METHODS                                     \
  HRESULT(CW_STDMETHOD* QueryInterface)(void*, const IID*, void**); \
  ULONG(CW_STDMETHOD* AddRef)(void*);                         \
  ULONG(CW_STDMETHOD* Release)(void*)

struct CreateDevEnumTable {
  CW_UNKNOWN_METHODS;
  HRESULT(CW_STDMETHOD* CreateClassEnumerator)(void*, const GUID*, void**, DWORD);
};

struct EnumMonikerTable {
  CW_UNKNOWN_METHODS;
  HRESULT(CW_STDMETHOD* Next)(void*, ULONG, void**, ULONG*);
  HRESULT(CW_STDMETHOD* Skip)(void*, ULONG);
  HRESULT(CW_STDMETHOD* Reset)(void*);
  HRESULT(CW_STDMETHOD* Clone)(void*, void**);
};

struct MonikerTable {
  CW_UNKNOWN_METHODS;
  HRESULT(CW_STDMETHOD* GetClassID)(void*, CLSID*);
  HRESULT(CW_STDMETHOD* IsDirty)(void*);
  HRESULT(CW_STDMETHOD* Load)(void*, void*);
  HRESULT(CW_STDMETHOD* Save)(void*, void*, BOOL);
  HRESULT(CW_STDMETHOD* GetSizeMax)(void*, std::uint64_t*);
  HRESULT(CW_STDMETHOD* BindToObject)(void*, void*, void*, const IID*, void**);
  HRESULT(CW_STDMETHOD* BindToStorage)(void*, void*, void*, const IID*, void**);
  HRESULT(CW_STDMETHOD* Reduce)(void*, void*, DWORD, void**, void**);
  HRESULT(CW_STDMETHOD* ComposeWith)(void*, void*, BOOL, void**);
  HRESULT(CW_STDMETHOD* Enum)(void*, BOOL, void**);
  HRESULT(CW_STDMETHOD* IsEqual)(void*, void*);
  HRESULT(CW_STDMETHOD* Hash)(void*, DWORD*);
  HRESULT(CW_STDMETHOD* IsRunning)(void*, void*, void*, void*);
  HRESULT(CW_STDMETHOD* GetTimeOfLastChange)(void*, void*, void*, FILETIME*);
  HRESULT(CW_STDMETHOD* Inverse)(void*, void**);
  HRESULT(CW_STDMETHOD* CommonPrefixWith)(void*, void*, void**);
  HRESULT(CW_STDMETHOD* RelativePathTo)(void*, void*, void**);
  HRESULT(CW_STDMETHOD* GetDisplayName)(void*, void*, void*, OLECHAR**);
  HRESULT(CW_STDMETHOD* ParseDisplayName)(void*, void*, void*, OLECHAR*, ULONG*, void**);
  HRESULT(CW_STDMETHOD* IsSystemMoniker)(void*, DWORD*);
};

struct PropertyBagTable {
  CW_UNKNOWN_METHODS;
  HRESULT(CW_STDMETHOD* Read)(void*, const OLECHAR*, VARIANT*, void*);
  HRESULT(CW_STDMETHOD* Write)(void*, const OLECHAR*, VARIANT*);
};

struct BaseFilterTable {
  CW_UNKNOWN_METHODS;
  HRESULT(CW_STDMETHOD* GetClassID)(void*, CLSID*);
  HRESULT(CW_STDMETHOD* Stop)(void*);
  HRESULT(CW_STDMETHOD* Pause)(void*);
  HRESULT(CW_STDMETHOD* Run)(void*, std::int64_t);
  HRESULT(CW_STDMETHOD* GetState)(void*, DWORD, int*);
  HRESULT(CW_STDMETHOD* SetSyncSource)(void*, void*);
  HRESULT(CW_STDMETHOD* GetSyncSource)(void*, void**);
  HRESULT(CW_STDMETHOD* EnumPins)(void*, void**);
  HRESULT(CW_STDMETHOD* FindPin)(void*, const OLECHAR*, void**);
  HRESULT(CW_STDMETHOD* QueryFilterInfo)(void*, void*);
  HRESULT(CW_STDMETHOD* JoinFilterGraph)(void*, void*, const OLECHAR*);
  HRESULT(CW_STDMETHOD* QueryVendorInfo)(void*, OLECHAR**);
};

struct KsObjectTable {
  CW_UNKNOWN_METHODS;
  HANDLE(CW_STDMETHOD* KsGetObjectHandle)(void*);
};

struct UnknownTable {
  CW_UNKNOWN_METHODS;
};

// The component's device list: IDispatch's four methods, then the count (7)
// and get_Device (8).
struct VampListTable {
  CW_UNKNOWN_METHODS;
  HRESULT(CW_STDMETHOD* GetTypeInfoCount)(void*, UINT*);
  HRESULT(CW_STDMETHOD* GetTypeInfo)(void*, UINT, DWORD, void**);
  HRESULT(CW_STDMETHOD* GetIDsOfNames)(void*, const IID*, OLECHAR**, UINT, DWORD, LONG*);
  HRESULT(CW_STDMETHOD* Invoke)(void*, LONG, const IID*, DWORD, WORD, void*, VARIANT*, void*,
                                UINT*);
  HRESULT(CW_STDMETHOD* Count)(void*, LONG*);
  HRESULT(CW_STDMETHOD* GetDevice)(void*, LONG, void**);
};

// IVampDevice: methods 3 to 20 are not used by the wizard and answer
// E_NOTIMPL; 21 hands out the item object.
struct VampDeviceTable {
  CW_UNKNOWN_METHODS;
  HRESULT(CW_STDMETHOD* Unused[18])(void*);
  HRESULT(CW_STDMETHOD* ItemObject)(void*, void**);
};

// The item interface: methods 3 to 10 unused, 11 answers an item.
struct VampItemTable {
  CW_UNKNOWN_METHODS;
  HRESULT(CW_STDMETHOD* Unused[8])(void*);
  HRESULT(CW_STDMETHOD* Query)(void*, ULONG, LONG*);
};

#undef CW_UNKNOWN_METHODS

inline constexpr size_t kSlot = sizeof(ComMethod);
static_assert(offsetof(CreateDevEnumTable, CreateClassEnumerator) == 3 * kSlot, "slot 3");
static_assert(offsetof(EnumMonikerTable, Next) == 3 * kSlot, "slot 3");
static_assert(offsetof(EnumMonikerTable, Reset) == 5 * kSlot, "slot 5");
static_assert(offsetof(MonikerTable, BindToObject) == 8 * kSlot, "slot 8");
static_assert(offsetof(MonikerTable, BindToStorage) == 9 * kSlot, "slot 9");
static_assert(offsetof(MonikerTable, IsSystemMoniker) == 22 * kSlot, "slot 22");
static_assert(offsetof(PropertyBagTable, Read) == 3 * kSlot, "slot 3");
static_assert(offsetof(BaseFilterTable, QueryVendorInfo) == 14 * kSlot, "slot 14");
static_assert(offsetof(KsObjectTable, KsGetObjectHandle) == 3 * kSlot, "slot 3");
static_assert(offsetof(VampListTable, Count) == 7 * kSlot, "slot 7");
static_assert(offsetof(VampListTable, GetDevice) == 8 * kSlot, "slot 8");
static_assert(offsetof(VampDeviceTable, ItemObject) == 21 * kSlot, "slot 21");
static_assert(offsetof(VampItemTable, Query) == 11 * kSlot, "slot 11");

// The methods of every object, called by position through the tables.
struct ComObjects {
  // The object behind an interface pointer; a call on a released one is the
  // program's fault and is recorded.
  static SimObject* Self(void* self, const char* method) {
    SimObject* object = static_cast<SimObject*>(self);
    if (object->refs == 0)
      object->owner->Problem(std::string(method) + " called on a released " +
                             com::KindName(object->kind));
    return object;
  }
  static const CaptureFilterConfig& Capture(SimObject* o) { return o->owner->config().captureFilter; }
  static const VampConfig& Vamp(SimObject* o) { return o->owner->config().vamp; }
  static bool Fail(SimObject* o, const char* operation, HRESULT* status) {
    return o->owner->Inject(operation, status);
  }
  static SimObject* Make(SimObject* from, int kind, size_t device) {
    SimObject* made = from->owner->NewObject(kind);
    made->device = device;
    return made;
  }

  template <typename... A>
  static HRESULT CW_STDMETHOD NotImplemented(void* self, A...) {
    Self(self, "an unused method");
    return com::E_NOTIMPL;
  }

  // ---- IUnknown ----
  static ULONG CW_STDMETHOD AddRef(void* self);
  static ULONG CW_STDMETHOD Release(void* self);
  static HRESULT CW_STDMETHOD QueryInterface(void* self, const IID* iid, void** out);

  // ---- ICreateDevEnum ----
  static HRESULT CW_STDMETHOD CreateClassEnumerator(void* self, const GUID* category, void** out,
                                                    DWORD /*flags*/);

  // ---- IEnumMoniker ----
  static HRESULT CW_STDMETHOD Next(void* self, ULONG count, void** out, ULONG* fetched);
  static HRESULT CW_STDMETHOD Skip(void* self, ULONG count);
  static HRESULT CW_STDMETHOD Reset(void* self);
  static HRESULT CW_STDMETHOD Clone(void* self, void** out);

  // ---- IMoniker ----
  static HRESULT CW_STDMETHOD BindToObject(void* self, void* /*context*/, void* /*left*/,
                                           const IID* iid, void** out);
  static HRESULT CW_STDMETHOD BindToStorage(void* self, void* /*context*/, void* /*left*/,
                                            const IID* iid, void** out);

  // ---- IPropertyBag ----
  static HRESULT CW_STDMETHOD Read(void* self, const OLECHAR* name, VARIANT* value,
                                   void* /*log*/);

  // ---- IKsObject ----
  static HANDLE CW_STDMETHOD KsGetObjectHandle(void* self);

  // ---- the Vamp component ----
  static HRESULT CW_STDMETHOD Count(void* self, LONG* count);
  static HRESULT CW_STDMETHOD GetDevice(void* self, LONG index, void** out);
  static HRESULT CW_STDMETHOD ItemObject(void* self, void** out);
  static HRESULT CW_STDMETHOD Query(void* self, ULONG item, LONG* answer);

  // ---- the tables (sim_components.cpp) ----
  static const CreateDevEnumTable kDevEnumTable;
  static const EnumMonikerTable kEnumMonikerTable;
  static const MonikerTable kMonikerTable;
  static const PropertyBagTable kPropertyBagTable;
  static const BaseFilterTable kBaseFilterTable;
  static const KsObjectTable kKsObjectTable;
  static const UnknownTable kUnknownTable;
  static const VampListTable kVampListTable;
  static const VampDeviceTable kVampDeviceTable;
  static const VampItemTable kVampItemTable;

  static const void* TableOf(int kind) {
    switch (kind) {
      case com::kDevEnum: return &kDevEnumTable;
      case com::kEnumMoniker: return &kEnumMonikerTable;
      case com::kMoniker: return &kMonikerTable;
      case com::kPropertyBag: return &kPropertyBagTable;
      case com::kFilter: return &kBaseFilterTable;
      case com::kKsObject: return &kKsObjectTable;
      case com::kVampListObject: return &kVampListTable;
      case com::kVampDevice: return &kVampDeviceTable;
      case com::kVampItemInterface: return &kVampItemTable;
      default: return &kUnknownTable;
    }
  }
};

}  // namespace cw::sim
