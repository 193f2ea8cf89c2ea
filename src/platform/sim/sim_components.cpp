// The simulated COM runtime: objects and their IUnknown, the method tables,
// component creation and BSTRs.
#include "platform/sim/sim_components.h"

#include <algorithm>
#include <iterator>
#include <utility>

#include "platform/sim/sim_com_objects.h"

namespace cw::sim {

using namespace com;

const char* com::KindName(int kind) {
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

namespace {

constexpr HRESULT CO_E_NOTINITIALIZED = static_cast<HRESULT>(0x800401F0u);

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

}  // namespace

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
// ---- IUnknown ----

ULONG CW_STDMETHOD ComObjects::AddRef(void* self) {
  SimObject* o = Self(self, "AddRef");
  return ++o->refs;
}

ULONG CW_STDMETHOD ComObjects::Release(void* self) {
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

HRESULT CW_STDMETHOD ComObjects::QueryInterface(void* self, const IID* iid, void** out) {
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
}  // namespace cw::sim
