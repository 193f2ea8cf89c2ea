#include "access/cx23880_register.h"

#include <cstring>

#include "platform/raii.h"
#include "platform/win_constants.h"

namespace cw {

namespace {

// The null interface and bind-context arguments of the moniker calls, typed
// as the pointers the methods take.
void* const kNoObject = nullptr;

// No enumerator lists more devices than this; one that seems to is not
// followed further.
constexpr int kMaxMonikers = 4096;

// The thread's last error as a failure HRESULT. A failure that left no error
// code is still a failure.
HRESULT StatusFromLastError(Platform& platform) {
  const DWORD error = platform.GetLastError();
  if (error == 0) return E_FAIL;
  return static_cast<HRESULT>(0x80070000u | (error & 0xFFFFu));
}

// Offsets 0 to 27 of a request: the property header and the operation.
void WriteRequestHeader(RegisterAccessRequest* request, ULONG flags, ULONG operation) {
  request->Set = kRegisterAccessPropertySet;
  request->Id = kRegisterAccessPropertyId;
  request->Flags = flags;
  request->Operation = operation;
}

HRESULT SendRequest(Platform& platform, HANDLE device, RegisterAccessRequest* request) {
  DWORD returned = 0;
  return KsSyncIoctl(platform, device, IOCTL_KS_PROPERTY, request, sizeof(*request), request,
                     sizeof(*request), &returned);
}

// Whether the moniker's "FriendlyName" property is exactly `name`.
bool FriendlyNameIs(Platform& platform, void* moniker, const char* name) {
  ComPtr bag;
  HRESULT status =
      ComCall(moniker, kSlotBindToStorage, kNoObject, kNoObject, &IID_IPropertyBag, bag.receive());
  if (Failed(status)) bag.Abandon();
  if (!bag) return false;

  VARIANT value;
  std::memset(&value, 0, sizeof(value));
  value.vt = VT_BSTR;
  static const OLECHAR kFriendlyName[] = u"FriendlyName";
  const OLECHAR* property = kFriendlyName;
  if (ComCall(bag.get(), kSlotPropertyBagRead, property, &value, kNoObject) != S_OK) return false;

  bool same = false;
  if (value.vt == VT_BSTR && value.bstrVal != nullptr) {
    char text[kFriendlyNameBufferSize];
    // A name that does not fit fails the conversion and so never matches.
    const int length = platform.WideCharToMultiByte(CP_ACP, 0, value.bstrVal, -1, text,
                                                    static_cast<int>(sizeof(text)));
    same = length > 0 && text[length - 1] == '\0' && std::strcmp(text, name) == 0;
  }
  if (value.vt == VT_BSTR) platform.SysFreeString(value.bstrVal);
  return same;
}

}  // namespace

ComPtr FindFilterByFriendlyName(Platform& platform, const char* name, const GUID& category) {
  ComPtr filter;
  if (name == nullptr) return filter;

  ComPtr enumerator;
  {
    ComPtr devices;
    HRESULT status =
        platform.CoCreateInstance(CLSID_SystemDeviceEnum, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_ICreateDevEnum, devices.receive());
    if (Failed(status)) devices.Abandon();
    if (!devices) return filter;
    status = ComCall(devices.get(), kSlotCreateClassEnumerator, &category, enumerator.receive(),
                     DWORD{0});
    if (Failed(status)) enumerator.Abandon();
  }
  // An empty category gives no enumerator.
  if (!enumerator) return filter;

  ComCall(enumerator.get(), kSlotEnumReset);
  for (int seen = 0; seen < kMaxMonikers; ++seen) {
    ComPtr moniker;
    ULONG fetched = 0;
    if (ComCall(enumerator.get(), kSlotEnumNext, ULONG{1}, moniker.receive(), &fetched) != S_OK) {
      moniker.Abandon();
      break;
    }
    if (!moniker) continue;
    if (FriendlyNameIs(platform, moniker.get(), name)) {
      HRESULT status = ComCall(moniker.get(), kSlotBindToObject, kNoObject, kNoObject,
                               &IID_IBaseFilter, filter.receive());
      if (Failed(status)) filter.Abandon();
      break;
    }
  }
  return filter;
}

HANDLE GetKsObjectHandle(void* filter) {
  if (filter == nullptr) return HANDLE(0);
  ComPtr object;
  if (Failed(QueryInterface(filter, IID_IKsObject, &object)) || !object) return HANDLE(0);
  return CallComMethod<HANDLE>(object.get(), kSlotKsGetObjectHandle);
}

HRESULT KsSyncIoctl(Platform& platform, HANDLE device, DWORD code, void* input, DWORD inputSize,
                    void* output, DWORD outputSize, DWORD* bytesReturned) {
  OVERLAPPED overlapped;
  std::memset(&overlapped, 0, sizeof(overlapped));
  KernelHandle event(platform);
  event.reset(platform.CreateEventA(TRUE, FALSE));
  if (!event.valid()) return StatusFromLastError(platform);
  overlapped.hEvent = event.get();

  if (platform.DeviceIoControl(device, code, input, inputSize, output, outputSize, bytesReturned,
                               &overlapped))
    return S_OK;
  HRESULT status = StatusFromLastError(platform);
  if (status == HRESULT_FROM_WIN32(ERROR_IO_PENDING)) {
    // The driver completes the request later: wait for it here, so the
    // record and the buffers outlive it.
    status = platform.GetOverlappedResult(device, &overlapped, bytesReturned, TRUE)
                 ? S_OK
                 : StatusFromLastError(platform);
  }
  return status;
}

int32_t SetRegisterAddress(Platform& platform, HANDLE device, uint32_t address) {
  RegisterAccessRequest request;
  std::memset(&request, 0, sizeof(request));
  WriteRequestHeader(&request, KSPROPERTY_TYPE_SET, kOperationSetRegisterAddress);
  request.Address = address;
  if (!Failed(SendRequest(platform, device, &request))) return 1;
  platform.MessageBoxA(HWND(0), "FAILED", "FAILED to set REGISTER address", MB_OK);
  return 0;
}

int32_t ReadRegisterValue(Platform& platform, HANDLE device, uint32_t* value) {
  RegisterAccessRequest request;
  std::memset(&request, 0, sizeof(request));
  // Step 1 asks for a read at the address set last; step 2 fetches the value
  // in the same block, as step 1's reply left it.
  WriteRequestHeader(&request, KSPROPERTY_TYPE_SET, kOperationReadRegister);
  SendRequest(platform, device, &request);
  WriteRequestHeader(&request, KSPROPERTY_TYPE_GET, kOperationReadRegister);
  const HRESULT status = SendRequest(platform, device, &request);
  if (value != nullptr) *value = request.Value;
  if (!Failed(status)) return 1;
  platform.MessageBoxA(HWND(0), "FAILED", "FAILED REGISTER READ", MB_OK);
  return 0;
}

// ------------------------------------------------------------ the probe

CaptureFilterProbe::~CaptureFilterProbe() { ReleaseCaptureFilter(); }

int32_t CaptureFilterProbe::FindCaptureFilter() {
  com_.Initialize();
  CaptureKsHandle = HANDLE(0);
  CaptureFilter.Reset();
  for (const char* name : kCaptureFilterNames) {
    CaptureFilter = FindFilterByFriendlyName(platform_, name, CLSID_VideoInputDeviceCategory);
    if (CaptureFilter) break;
  }
  if (!CaptureFilter) return 0;
  CaptureKsHandle = GetKsObjectHandle(CaptureFilter.get());
  return 1;
}

uint32_t CaptureFilterProbe::ReadCx23880Register(uint32_t address) {
  if (!CaptureFilter) FindCaptureFilter();
  if (CaptureKsHandle == HANDLE(0)) {
    platform_.MessageBoxA(HWND(0), "Unable to find Cx23880 Video Capture", "Message", MB_OK);
    return 0;
  }
  if (!SetRegisterAddress(platform_, CaptureKsHandle, address)) {
    platform_.MessageBoxA(HWND(0), "Unable to set Register address", "Error", MB_OK);
    return 0;
  }
  uint32_t value = 0;
  if (!ReadRegisterValue(platform_, CaptureKsHandle, &value))
    platform_.MessageBoxA(HWND(0), "Cx23880 Register Read failed", "Info", MB_OK);
  return value;
}

void CaptureFilterProbe::ReleaseCaptureFilter() {
  CaptureFilter.Reset();
  CaptureKsHandle = HANDLE(0);
  com_.End();
}

int32_t ProbeCx2388xTunerVariant(Platform& platform, WizardState& state) {
  CaptureFilterProbe probe(platform);
  if (!probe.FindCaptureFilter()) {
    probe.ReleaseCaptureFilter();
    return 0;
  }
  const uint32_t value = probe.ReadCx23880Register(kTunerVariantRegister);
  // The value counts even when the read reported a failure.
  state.TunerVariant =
      (value & kTunerVariantBit) != 0 ? kTunerVariantAlternate : kTunerVariantStandard;
  probe.ReleaseCaptureFilter();
  return 1;
}

}  // namespace cw
