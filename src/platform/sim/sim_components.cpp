#include "platform/sim/sim_components.h"

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <cstring>
#include <type_traits>
#include <utility>

#include "platform/com_call.h"
#include "platform/sim/sim_platform.h"
#include "scripting/transcript.h"
#include "platform/win_constants.h"

namespace cw::sim {

namespace {

constexpr HRESULT E_NOTIMPL = static_cast<HRESULT>(0x80004001u);
constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);
constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);
constexpr DWORD kErrorInvalidFunction = 1;
constexpr DWORD kErrorIoIncomplete = 996;
constexpr DWORD kErrorNotFound = 1168;
constexpr DWORD kErrorSetNotFound = 1170;
constexpr ULONG_PTR kStatusPending = 0x103;
constexpr ULONG_PTR kStatusUnsuccessful = 0xC0000001u;
constexpr size_t kMaxRecordedInput = 4096;

// The driver's property set and its answers.
constexpr DWORD kPropertyId = 6;
constexpr DWORD kTypeGet = 1;
constexpr DWORD kTypeSet = 2;
constexpr DWORD kOpSetAddress = 0x30000001;
constexpr DWORD kOpRead = 0x30000003;
constexpr DWORD kRequestSize = 40;

GUID Guid(const char* text) {
  GUID guid = {};
  ParseGuidText(text, &guid);
  return guid;
}

// Written out here from their text, not taken from the program, so a wrong
// identifier in the program does not go unnoticed.
const GUID kIUnknown = Guid("{00000000-0000-0000-C000-000000000046}");
const GUID kSystemDeviceEnum = Guid("{62BE5D10-60EB-11D0-BD3B-00A0C911CE86}");
const GUID kICreateDevEnum = Guid("{29840822-5B84-11D0-BD3B-00A0C911CE86}");
const GUID kVideoInputCategory = Guid("{860BB310-5D01-11D0-BD3B-00A0C911CE86}");
const GUID kIEnumMoniker = Guid("{00000102-0000-0000-C000-000000000046}");
const GUID kIMoniker = Guid("{0000000F-0000-0000-C000-000000000046}");
const GUID kIPropertyBag = Guid("{55272A00-42CB-11CE-8135-00AA004BB851}");
const GUID kIBaseFilter = Guid("{56A86895-0AD4-11CE-B03A-0020AF0BA770}");
const GUID kIKsObject = Guid("{423C13A2-2070-11D0-9EF7-00AA00A216A1}");
const GUID kRegisterSet = Guid("{C44A1A10-0A37-11D2-8328-006097BA83AB}");
const GUID kVampClass = Guid("{B8A9279E-C453-11D4-AD45-0060080BA634}");
const GUID kVampList = Guid("{B8A9279D-C453-11D4-AD45-0060080BA634}");
const GUID kIVampDevice = Guid("{B8A9279F-C453-11D4-AD45-0060080BA634}");
const GUID kVampItem = Guid("{B50FC4B1-CD0E-11D4-AD5D-0060080BA634}");

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

const char* KindName(int kind) {
  switch (kind) {
    case kDevEnum: return "ICreateDevEnum";
    case kEnumMoniker: return "IEnumMoniker";
    case kMoniker: return "IMoniker";
    case kPropertyBag: return "IPropertyBag";
    case kFilter: return "IBaseFilter";
    case kKsObject: return "IKsObject";
    case kVampListObject: return "Vamp device list";
    case kVampDeviceObject: return "Vamp device object";
    case kVampDevice: return "IVampDevice";
    case kVampItemObject: return "Vamp item object";
    case kVampItemInterface: return "Vamp item interface";
  }
  return "object";
}

// The interface each kind answers for besides IUnknown (null: none).
const GUID* OwnInterface(int kind) {
  switch (kind) {
    case kDevEnum: return &kICreateDevEnum;
    case kEnumMoniker: return &kIEnumMoniker;
    case kMoniker: return &kIMoniker;
    case kPropertyBag: return &kIPropertyBag;
    case kFilter: return &kIBaseFilter;
    case kKsObject: return &kIKsObject;
    case kVampListObject: return &kVampList;
    case kVampDevice: return &kIVampDevice;
    case kVampItemInterface: return &kVampItem;
    default: return nullptr;
  }
}

std::string Lower(std::string s) {
  for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

std::string Hex(DWORD value) {
  char text[16];
  std::snprintf(text, sizeof(text), "0x%X", value);
  return text;
}

DWORD ReadWord(const BYTE* bytes) {
  return static_cast<DWORD>(bytes[0]) | (static_cast<DWORD>(bytes[1]) << 8) |
         (static_cast<DWORD>(bytes[2]) << 16) | (static_cast<DWORD>(bytes[3]) << 24);
}

void WriteWord(BYTE* bytes, DWORD value) {
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<BYTE>(value >> (8 * i));
}

bool SameText(const OLECHAR* wide, const char* ascii) {
  for (; *ascii != '\0'; ++wide, ++ascii)
    if (*wide != static_cast<OLECHAR>(*ascii)) return false;
  return *wide == 0;
}

}  // namespace

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

bool ParseGuidText(std::string_view text, GUID* guid) {
  // {XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}
  if (text.size() != 38 || text.front() != '{' || text.back() != '}') return false;
  static constexpr int kDashes[] = {9, 14, 19, 24};
  BYTE bytes[16];
  int count = 0;
  for (size_t i = 1; i < 37;) {
    if (std::find(std::begin(kDashes), std::end(kDashes), static_cast<int>(i)) !=
        std::end(kDashes)) {
      if (text[i] != '-') return false;
      ++i;
      continue;
    }
    auto digit = [](char c) -> int {
      if (c >= '0' && c <= '9') return c - '0';
      if (c >= 'a' && c <= 'f') return c - 'a' + 10;
      if (c >= 'A' && c <= 'F') return c - 'A' + 10;
      return -1;
    };
    const int high = digit(text[i]);
    const int low = digit(text[i + 1]);
    if (high < 0 || low < 0 || count >= 16) return false;
    bytes[count++] = static_cast<BYTE>(high * 16 + low);
    i += 2;
  }
  if (count != 16) return false;
  guid->Data1 = (static_cast<DWORD>(bytes[0]) << 24) | (static_cast<DWORD>(bytes[1]) << 16) |
                (static_cast<DWORD>(bytes[2]) << 8) | bytes[3];
  guid->Data2 = static_cast<WORD>((bytes[4] << 8) | bytes[5]);
  guid->Data3 = static_cast<WORD>((bytes[6] << 8) | bytes[7]);
  std::memcpy(guid->Data4, bytes + 8, 8);
  return true;
}

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

constexpr size_t kSlot = sizeof(ComMethod);
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

// ------------------------------------------------------------- methods

struct ComObjects {
  // The object behind an interface pointer; a call on a released one is the
  // program's fault and is recorded.
  static SimObject* Self(void* self, const char* method) {
    SimObject* object = static_cast<SimObject*>(self);
    if (object->refs == 0)
      object->owner->Problem(std::string(method) + " called on a released " +
                             KindName(object->kind));
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
    return E_NOTIMPL;
  }

  // ---- IUnknown ----
  static ULONG CW_STDMETHOD AddRef(void* self) {
    SimObject* o = Self(self, "AddRef");
    return ++o->refs;
  }

  static ULONG CW_STDMETHOD Release(void* self) {
    SimObject* o = static_cast<SimObject*>(self);
    if (o->refs == 0) {
      o->owner->Problem(std::string("Release called on a released ") + KindName(o->kind));
      return 0;
    }
    if (--o->refs > 0) return o->refs;
    if (o->kind == kFilter) o->owner->DropDeviceHandle(o->handle);
    if (o->keeps != nullptr) Release(o->keeps);
    return 0;
  }

  static HRESULT CW_STDMETHOD QueryInterface(void* self, const IID* iid, void** out) {
    SimObject* o = Self(self, "QueryInterface");
    if (out == nullptr || iid == nullptr) return E_POINTER;
    *out = nullptr;
    const GUID* own = OwnInterface(o->kind);
    if (*iid == kIUnknown || (own != nullptr && *iid == *own)) {
      ++o->refs;
      *out = o;
      return S_OK;
    }
    HRESULT status = S_OK;
    if (o->kind == kFilter && *iid == kIKsObject) {
      if (Fail(o, "IBaseFilter.QueryInterface", &status)) return status;
      if (Capture(o).noKsHandle) return E_NOINTERFACE;
      SimObject* ks = Make(o, kKsObject, o->device);
      ks->handle = o->handle;
      ks->keeps = o;
      ++o->refs;
      *out = ks;
      return S_OK;
    }
    if (o->kind == kVampDeviceObject && *iid == kIVampDevice) {
      if (Fail(o, "VampDeviceObject.QueryInterface", &status)) return status;
      if (Vamp(o).queryInterfaceFails) return E_NOINTERFACE;
      *out = Make(o, kVampDevice, o->device);
      return S_OK;
    }
    if (o->kind == kVampItemObject && *iid == kVampItem) {
      if (Fail(o, "VampItemObject.QueryInterface", &status)) return status;
      if (Vamp(o).itemInterfaceNull == 1) return E_NOINTERFACE;
      if (Vamp(o).itemInterfaceNull != 0) return S_OK;  // a component that hands out nothing
      *out = Make(o, kVampItemInterface, o->device);
      return S_OK;
    }
    return E_NOINTERFACE;
  }

  // ---- ICreateDevEnum ----
  static HRESULT CW_STDMETHOD CreateClassEnumerator(void* self, const GUID* category, void** out,
                                                    DWORD /*flags*/) {
    SimObject* o = Self(self, "CreateClassEnumerator");
    HRESULT status = S_OK;
    if (Fail(o, "ICreateDevEnum.CreateClassEnumerator", &status)) {
      if (out) *out = nullptr;
      return status;
    }
    if (out == nullptr || category == nullptr) return E_POINTER;
    *out = nullptr;
    // Only the video input category has devices; an empty one gives no
    // enumerator.
    if (!(*category == kVideoInputCategory) || Capture(o).friendlyNames.empty()) return S_FALSE;
    o->owner->events_.push_back("enumerate video input devices");
    *out = Make(o, kEnumMoniker, 0);
    return S_OK;
  }

  // ---- IEnumMoniker ----
  static HRESULT CW_STDMETHOD Next(void* self, ULONG count, void** out, ULONG* fetched) {
    SimObject* o = Self(self, "IEnumMoniker::Next");
    if (fetched) *fetched = 0;
    HRESULT status = S_OK;
    if (Fail(o, "IEnumMoniker.Next", &status)) return status;
    if (out == nullptr) return E_POINTER;
    if (count != 1 && fetched == nullptr) return E_INVALIDARG;
    const size_t devices = Capture(o).friendlyNames.size();
    ULONG given = 0;
    for (; given < count && o->position < devices; ++given, ++o->position)
      out[given] = Make(o, kMoniker, o->position);
    if (fetched) *fetched = given;
    return given == count ? S_OK : S_FALSE;
  }

  static HRESULT CW_STDMETHOD Skip(void* self, ULONG count) {
    SimObject* o = Self(self, "IEnumMoniker::Skip");
    const size_t devices = Capture(o).friendlyNames.size();
    const size_t left = devices > o->position ? devices - o->position : 0;
    o->position += std::min<size_t>(left, count);
    return left >= count ? S_OK : S_FALSE;
  }

  static HRESULT CW_STDMETHOD Reset(void* self) {
    Self(self, "IEnumMoniker::Reset")->position = 0;
    return S_OK;
  }

  static HRESULT CW_STDMETHOD Clone(void* self, void** out) {
    SimObject* o = Self(self, "IEnumMoniker::Clone");
    if (out == nullptr) return E_POINTER;
    SimObject* copy = Make(o, kEnumMoniker, 0);
    copy->position = o->position;
    *out = copy;
    return S_OK;
  }

  // ---- IMoniker ----
  static HRESULT CW_STDMETHOD BindToObject(void* self, void* /*context*/, void* /*left*/,
                                           const IID* iid, void** out) {
    SimObject* o = Self(self, "IMoniker::BindToObject");
    if (out) *out = nullptr;
    HRESULT status = S_OK;
    if (Fail(o, "IMoniker.BindToObject", &status)) return status;
    if (out == nullptr || iid == nullptr) return E_POINTER;
    if (!(*iid == kIBaseFilter) && !(*iid == kIUnknown)) return E_NOINTERFACE;
    SimObject* filter = Make(o, kFilter, o->device);
    filter->handle = o->owner->NewDeviceHandle();
    o->owner->events_.push_back("bind " + Capture(o).friendlyNames[o->device]);
    *out = filter;
    return S_OK;
  }

  static HRESULT CW_STDMETHOD BindToStorage(void* self, void* /*context*/, void* /*left*/,
                                            const IID* iid, void** out) {
    SimObject* o = Self(self, "IMoniker::BindToStorage");
    if (out) *out = nullptr;
    HRESULT status = S_OK;
    if (Fail(o, "IMoniker.BindToStorage", &status)) return status;
    if (out == nullptr || iid == nullptr) return E_POINTER;
    if (!(*iid == kIPropertyBag)) return E_NOINTERFACE;
    *out = Make(o, kPropertyBag, o->device);
    return S_OK;
  }

  // ---- IPropertyBag ----
  static HRESULT CW_STDMETHOD Read(void* self, const OLECHAR* name, VARIANT* value,
                                   void* /*log*/) {
    SimObject* o = Self(self, "IPropertyBag::Read");
    HRESULT status = S_OK;
    if (Fail(o, "IPropertyBag.Read", &status)) return status;
    if (name == nullptr || value == nullptr) return E_POINTER;
    if (!SameText(name, "FriendlyName")) return HRESULT_FROM_WIN32(ERROR_FILE_NOT_FOUND);
    if (value->vt != VT_EMPTY && value->vt != VT_BSTR) return DISP_E_TYPEMISMATCH;
    value->vt = VT_BSTR;
    value->bstrVal = o->owner->NewString(Capture(o).friendlyNames[o->device]);
    return S_OK;
  }

  // ---- IKsObject ----
  static HANDLE CW_STDMETHOD KsGetObjectHandle(void* self) {
    SimObject* o = Self(self, "IKsObject::KsGetObjectHandle");
    HRESULT status = S_OK;
    if (Fail(o, "IKsObject.KsGetObjectHandle", &status)) return HANDLE(0);
    return o->handle;
  }

  // ---- the Vamp component ----
  static HRESULT CW_STDMETHOD Count(void* self, LONG* count) {
    SimObject* o = Self(self, "the device count");
    HRESULT status = S_OK;
    if (Fail(o, "VampDevices.Count", &status)) return status;
    if (count == nullptr) return E_POINTER;
    *count = Vamp(o).deviceCount;
    return S_OK;
  }

  static HRESULT CW_STDMETHOD GetDevice(void* self, LONG index, void** out) {
    SimObject* o = Self(self, "get_Device");
    if (out) *out = nullptr;
    HRESULT status = S_OK;
    if (Fail(o, "VampDevices.get_Device", &status)) return status;
    if (out == nullptr) return E_POINTER;
    if (Vamp(o).getDeviceFails) return E_FAIL;
    if (index < 0 || index >= Vamp(o).deviceCount) return E_INVALIDARG;
    o->owner->events_.push_back("device " + std::to_string(index));
    *out = Make(o, kVampDeviceObject, static_cast<size_t>(index));
    return S_OK;
  }

  static HRESULT CW_STDMETHOD ItemObject(void* self, void** out) {
    SimObject* o = Self(self, "IVampDevice method 21");
    if (out) *out = nullptr;
    HRESULT status = S_OK;
    if (Fail(o, "IVampDevice.ItemObject", &status)) return status;
    if (out == nullptr) return E_POINTER;
    if (Vamp(o).itemObjectFails) return E_FAIL;
    *out = Make(o, kVampItemObject, o->device);
    return S_OK;
  }

  static HRESULT CW_STDMETHOD Query(void* self, ULONG item, LONG* answer) {
    SimObject* o = Self(self, "the item query");
    HRESULT status = S_OK;
    if (Fail(o, "VampItem.Query", &status)) return status;
    if (answer == nullptr) return E_POINTER;
    if (item != 22) {
      o->owner->events_.push_back("item " + std::to_string(item) + " unknown");
      return E_INVALIDARG;
    }
    *answer = Vamp(o).item22;
    o->owner->events_.push_back("item 22 = " + std::to_string(*answer));
    return S_OK;
  }

  // ---- the tables ----
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
      case kDevEnum: return &kDevEnumTable;
      case kEnumMoniker: return &kEnumMonikerTable;
      case kMoniker: return &kMonikerTable;
      case kPropertyBag: return &kPropertyBagTable;
      case kFilter: return &kBaseFilterTable;
      case kKsObject: return &kKsObjectTable;
      case kVampListObject: return &kVampListTable;
      case kVampDevice: return &kVampDeviceTable;
      case kVampItemInterface: return &kVampItemTable;
      default: return &kUnknownTable;
    }
  }
};

#define CW_UNKNOWN ComObjects::QueryInterface, ComObjects::AddRef, ComObjects::Release
#define CW_NOTIMPL ComObjects::NotImplemented

const CreateDevEnumTable ComObjects::kDevEnumTable = {CW_UNKNOWN,
                                                      ComObjects::CreateClassEnumerator};
const EnumMonikerTable ComObjects::kEnumMonikerTable = {
    CW_UNKNOWN, ComObjects::Next, ComObjects::Skip, ComObjects::Reset, ComObjects::Clone};
const MonikerTable ComObjects::kMonikerTable = {
    CW_UNKNOWN, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL,
    ComObjects::BindToObject, ComObjects::BindToStorage, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL,
    CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL,
    CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL};
const PropertyBagTable ComObjects::kPropertyBagTable = {CW_UNKNOWN, ComObjects::Read,
                                                        CW_NOTIMPL};
const BaseFilterTable ComObjects::kBaseFilterTable = {
    CW_UNKNOWN, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL,
    CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL};
const KsObjectTable ComObjects::kKsObjectTable = {CW_UNKNOWN, ComObjects::KsGetObjectHandle};
const UnknownTable ComObjects::kUnknownTable = {CW_UNKNOWN};
const VampListTable ComObjects::kVampListTable = {
    CW_UNKNOWN, CW_NOTIMPL,        CW_NOTIMPL,           CW_NOTIMPL,
    CW_NOTIMPL, ComObjects::Count, ComObjects::GetDevice};
const VampDeviceTable ComObjects::kVampDeviceTable = {
    CW_UNKNOWN,
    {CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL,
     CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL,
     CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL},
    ComObjects::ItemObject};
const VampItemTable ComObjects::kVampItemTable = {
    CW_UNKNOWN,
    {CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL, CW_NOTIMPL,
     CW_NOTIMPL},
    ComObjects::Query};

#undef CW_UNKNOWN
#undef CW_NOTIMPL

// ---------------------------------------------------------- components

SimComponents::SimComponents(SimPlatform& platform) : platform_(platform) {}

SimComponents::~SimComponents() {
  // What the program never freed goes with the simulation.
  for (BSTR text : strings_) delete[] (reinterpret_cast<BYTE*>(text) - 4);
}

const MachineConfig& SimComponents::config() const { return platform_.machine_.config; }

SimObject* SimComponents::NewObject(int kind) {
  auto object = std::make_unique<SimObject>();
  object->table = ComObjects::TableOf(kind);
  object->owner = this;
  object->kind = kind;
  object->refs = 1;
  object->device = 0;
  object->position = 0;
  object->keeps = nullptr;
  object->handle = HANDLE(0);
  objects_.push_back(std::move(object));
  return objects_.back().get();
}

void SimComponents::Problem(const std::string& what) { problems_.push_back(what); }

bool SimComponents::Inject(const char* operation, HRESULT* status) {
  DWORD error = 0;
  if (!platform_.Inject(operation, &error)) return false;
  *status = (error & 0x80000000u) != 0 ? static_cast<HRESULT>(error) : HRESULT_FROM_WIN32(error);
  return true;
}

HANDLE SimComponents::NewDeviceHandle() {
  const uintptr_t handle = platform_.next_handle_;
  platform_.next_handle_ += 4;
  platform_.kernel_handles_[handle] = "ks-filter";
  devices_.insert(HANDLE(handle));
  return HANDLE(handle);
}

void SimComponents::DropDeviceHandle(HANDLE handle) {
  if (devices_.erase(handle) == 0) return;
  if (platform_.kernel_handles_.erase(static_cast<uintptr_t>(handle)) == 0)
    Problem("the capture filter's handle was closed by the program");
}

bool SimComponents::OwnsDevice(HANDLE device) const {
  return devices_.count(device) != 0 &&
         platform_.kernel_handles_.count(static_cast<uintptr_t>(device)) != 0;
}

std::vector<std::string> SimComponents::LiveObjects() const {
  std::vector<std::string> out;
  for (const auto& object : objects_)
    if (object->refs > 0) out.push_back(KindName(object->kind));
  return out;
}

void SimComponents::ComEnded() {
  std::vector<std::string> live = LiveObjects();
  if (live.empty()) return;
  std::string names;
  for (const std::string& name : live) names += (names.empty() ? "" : ", ") + name;
  Problem("COM uninitialised while the program still holds: " + names);
}

bool SimComponents::VampRegistered() const {
  const VampConfig& vamp = config().vamp;
  if (registered_ || vamp.registered) return true;
  if (!vamp.installed) return false;
  // Its in-process server where COM looks for the program: the per-user and
  // the machine's classes, in the 32-bit view on 64-bit Windows.
  const Machine& machine = platform_.machine_;
  const std::string server = "CLSID\\{B8A9279E-C453-11D4-AD45-0060080BA634}\\InprocServer32";
  const std::pair<RegRoot, std::string> places[] = {
      {RegRoot::CurrentUser, "Software\\Classes\\" + server},
      {RegRoot::LocalMachine, "SOFTWARE\\Classes\\" + server},
      {RegRoot::ClassesRoot, server}};
  const bool wow64 = machine.Is64Bit();
  for (const auto& [root, path] : places)
    if (machine.registry.Find(root, wow64 ? Wow64KeyPath(root, path) : path) != nullptr) return true;
  return false;
}

void SimComponents::ProcessStarted(const std::string& application, const std::string& commandLine) {
  // regsvr32.exe started from the system folder on "34com.dll" registers it.
  const MachineConfig& config = this->config();
  if (registered_ || !config.vamp.registerSucceeds) return;
  if (Lower(application) != Lower(config.systemDirectory + "\\regsvr32.exe")) return;
  if (Lower(commandLine).find("34com.dll") == std::string::npos) return;
  registered_ = true;
  events_.push_back("registered");
}

HRESULT SimComponents::CreateInstance(const CLSID& clsid, void* outer, DWORD context,
                                      const IID& iid, void** object) {
  if (object == nullptr) return E_POINTER;
  *object = nullptr;
  if (platform_.com_depth_ == 0) return CO_E_NOTINITIALIZED;
  const bool deviceEnum = clsid == kSystemDeviceEnum;
  const bool vamp = clsid == kVampClass && VampRegistered();
  if (!deviceEnum && !vamp) return REGDB_E_CLASSNOTREG;
  // Both are in-process servers.
  if ((context & CLSCTX_INPROC_SERVER) == 0) return REGDB_E_CLASSNOTREG;
  if (outer != nullptr) return CLASS_E_NOAGGREGATION;
  if (deviceEnum) {
    if (!(iid == kICreateDevEnum) && !(iid == kIUnknown)) return E_NOINTERFACE;
    *object = NewObject(kDevEnum);
  } else {
    if (!(iid == kVampList) && !(iid == kIUnknown)) return E_NOINTERFACE;
    *object = NewObject(kVampListObject);
  }
  return S_OK;
}

BSTR SimComponents::NewString(std::string_view utf8) {
  const std::vector<BYTE> wide = Utf8ToUtf16Le(utf8);
  size_t length = wide.size();
  // Without a terminator that the conversion may have added.
  while (length >= 2 && wide[length - 1] == 0 && wide[length - 2] == 0) length -= 2;
  BYTE* block = new BYTE[4 + length + 2];
  WriteWord(block, static_cast<DWORD>(length));
  if (length > 0) std::memcpy(block + 4, wide.data(), length);
  block[4 + length] = 0;
  block[4 + length + 1] = 0;
  BSTR text = reinterpret_cast<BSTR>(block + 4);
  strings_.insert(text);
  return text;
}

bool SimComponents::FreeString(BSTR text) {
  auto it = strings_.find(text);
  if (it == strings_.end()) {
    Problem("SysFreeString of a string the simulation did not hand out (or freed before)");
    return false;
  }
  strings_.erase(it);
  delete[] (reinterpret_cast<BYTE*>(text) - 4);
  return true;
}

// ------------------------------------------------------ capture driver

DWORD SimComponents::Answer(DWORD code, const BYTE* input, DWORD inputSize, DWORD outputSize,
                            std::vector<BYTE>* reply, DWORD* bytes) {
  const CaptureFilterConfig& capture = this->config().captureFilter;
  reply->clear();
  *bytes = 0;
  if (code != IOCTL_KS_PROPERTY) return kErrorInvalidFunction;
  if (input == nullptr || inputSize < 24) return ERROR_INVALID_PARAMETER;
  GUID set;
  std::memcpy(&set, input, sizeof(set));
  if (!(set == kRegisterSet)) return kErrorSetNotFound;
  if (ReadWord(input + 16) != kPropertyId) return kErrorNotFound;
  if (inputSize < kRequestSize || outputSize < kRequestSize) return ERROR_INSUFFICIENT_BUFFER;
  const DWORD flags = ReadWord(input + 20);
  const DWORD operation = ReadWord(input + 24);
  if (flags == kTypeSet && operation == kOpSetAddress) {
    if (capture.failAddress != 0) return capture.failAddress;
    address_ = ReadWord(input + 28);
    hasLatch_ = false;
    latched_ = 0;
    events_.push_back("address " + Hex(address_));
    return 0;
  }
  if (flags == kTypeSet && operation == kOpRead) {
    if (capture.failReadSelect != 0) return capture.failReadSelect;
    auto it = capture.registers.find(address_);
    latched_ = it == capture.registers.end() ? 0 : it->second;
    hasLatch_ = true;
    // The reply names the register read and its value; the request that
    // follows fetches the value again.
    reply->assign(input, input + kRequestSize);
    WriteWord(reply->data() + 28, address_);
    WriteWord(reply->data() + 32, latched_);
    WriteWord(reply->data() + 36, 0);
    *bytes = kRequestSize;
    return 0;
  }
  if (flags == kTypeGet && operation == kOpRead) {
    if (capture.failRead != 0) return capture.failRead;
    // The reply is the block with the value latched by the read request
    // (0 when none came since the address was set).
    reply->assign(input, input + kRequestSize);
    const DWORD value = hasLatch_ ? latched_ : 0;
    WriteWord(reply->data() + 32, value);
    *bytes = kRequestSize;
    events_.push_back("read " + Hex(address_) + " = " + Hex(value));
    return 0;
  }
  return ERROR_INVALID_PARAMETER;
}

void SimComponents::Complete(Request* request) {
  if (request->error == 0 && !request->reply.empty() && request->output != nullptr)
    std::memcpy(request->output, request->reply.data(),
                std::min<size_t>(request->reply.size(), request->outputSize));
  request->answered = true;
}

BOOL SimComponents::DeviceIoControl(HANDLE device, DWORD code, void* input, DWORD inputSize,
                                    void* output, DWORD outputSize, DWORD* bytesReturned,
                                    OVERLAPPED* overlapped) {
  DeviceRequest record;
  record.code = code;
  record.inputSize = inputSize;
  record.outputSize = outputSize;
  record.outputIsInput = input != nullptr && input == output;
  record.overlapped = overlapped != nullptr;
  if (input != nullptr) {
    const BYTE* bytes = static_cast<const BYTE*>(input);
    record.input.assign(bytes, bytes + std::min<size_t>(inputSize, kMaxRecordedInput));
  }
  auto fail = [&](DWORD error) {
    record.error = error;
    requests_.push_back(record);
    platform_.SetLastError(error);
    return FALSE;
  };
  // The filter's handle is opened for overlapped requests: without a record
  // Windows gives no dependable result.
  if (overlapped == nullptr) {
    Problem("a request on the capture filter's handle without an OVERLAPPED record");
    return fail(ERROR_INVALID_PARAMETER);
  }
  if (overlapped->hEvent != HANDLE(0)) {
    auto it = platform_.kernel_handles_.find(static_cast<uintptr_t>(overlapped->hEvent));
    if (it == platform_.kernel_handles_.end() || it->second != "event")
      return fail(ERROR_INVALID_HANDLE);
  }

  Request request;
  request.device = device;
  request.output = output;
  request.outputSize = outputSize;
  request.error = Answer(code, static_cast<const BYTE*>(input), inputSize, outputSize,
                         &request.reply, &request.bytes);
  request.record = requests_.size();
  record.error = request.error;
  record.pending = config().captureFilter.pending;
  requests_.push_back(record);

  if (record.pending) {
    overlapped->Internal = kStatusPending;
    overlapped_[overlapped] = std::move(request);
    platform_.SetLastError(ERROR_IO_PENDING);
    return FALSE;
  }
  Complete(&request);
  overlapped->Internal = request.error == 0 ? 0 : kStatusUnsuccessful;
  overlapped->InternalHigh = request.bytes;
  const DWORD error = request.error;
  const DWORD bytes = request.bytes;
  overlapped_[overlapped] = std::move(request);
  if (error != 0) {
    platform_.SetLastError(error);
    return FALSE;
  }
  if (bytesReturned != nullptr) *bytesReturned = bytes;
  return TRUE;
}

BOOL SimComponents::GetOverlappedResult(HANDLE device, OVERLAPPED* overlapped,
                                        DWORD* bytesTransferred, BOOL wait) {
  auto it = overlapped == nullptr ? overlapped_.end() : overlapped_.find(overlapped);
  if (it == overlapped_.end() || it->second.device != device) {
    platform_.SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  Request& request = it->second;
  if (!request.answered) {
    if (!wait) {
      platform_.SetLastError(kErrorIoIncomplete);
      return FALSE;
    }
    Complete(&request);
    overlapped->Internal = request.error == 0 ? 0 : kStatusUnsuccessful;
    overlapped->InternalHigh = request.bytes;
  }
  if (request.error != 0) {
    platform_.SetLastError(request.error);
    return FALSE;
  }
  if (bytesTransferred != nullptr) *bytesTransferred = request.bytes;
  return TRUE;
}

}  // namespace cw::sim
