// The simulated DirectShow: the system device enumerator's video input
// devices, their monikers and property bags, and the capture filter with its
// kernel-streaming handle.
#include <algorithm>

#include "platform/sim/sim_com_objects.h"

namespace cw::sim {

using namespace com;

namespace {

constexpr HRESULT DISP_E_TYPEMISMATCH = static_cast<HRESULT>(0x80020005u);

bool SameText(const OLECHAR* wide, const char* ascii) {
  for (; *ascii != '\0'; ++wide, ++ascii)
    if (*wide != static_cast<OLECHAR>(*ascii)) return false;
  return *wide == 0;
}

}  // namespace

// ---- ICreateDevEnum ----

HRESULT CW_STDMETHOD ComObjects::CreateClassEnumerator(void* self, const GUID* category, void** out,
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

HRESULT CW_STDMETHOD ComObjects::Next(void* self, ULONG count, void** out, ULONG* fetched) {
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

HRESULT CW_STDMETHOD ComObjects::Skip(void* self, ULONG count) {
  SimObject* o = Self(self, "IEnumMoniker::Skip");
  const size_t devices = Capture(o).friendlyNames.size();
  const size_t left = devices > o->position ? devices - o->position : 0;
  o->position += std::min<size_t>(left, count);
  return left >= count ? S_OK : S_FALSE;
}

HRESULT CW_STDMETHOD ComObjects::Reset(void* self) {
  Self(self, "IEnumMoniker::Reset")->position = 0;
  return S_OK;
}

HRESULT CW_STDMETHOD ComObjects::Clone(void* self, void** out) {
  SimObject* o = Self(self, "IEnumMoniker::Clone");
  if (out == nullptr) return E_POINTER;
  SimObject* copy = Make(o, kEnumMoniker, 0);
  copy->position = o->position;
  *out = copy;
  return S_OK;
}

// ---- IMoniker ----

HRESULT CW_STDMETHOD ComObjects::BindToObject(void* self, void* /*context*/, void* /*left*/,
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

HRESULT CW_STDMETHOD ComObjects::BindToStorage(void* self, void* /*context*/, void* /*left*/,
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

HRESULT CW_STDMETHOD ComObjects::Read(void* self, const OLECHAR* name, VARIANT* value,
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

HANDLE CW_STDMETHOD ComObjects::KsGetObjectHandle(void* self) {
  SimObject* o = Self(self, "IKsObject::KsGetObjectHandle");
  HRESULT status = S_OK;
  if (Fail(o, "IKsObject.KsGetObjectHandle", &status)) return HANDLE(0);
  return o->handle;
}

}  // namespace cw::sim
