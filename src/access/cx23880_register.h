// Reading a register of the Cx23880 chip through its capture driver: the
// capture filter is found among the video input devices by its friendly
// name, and the driver is sent kernel-streaming property requests on its
// register-access property set through the filter's handle.
//
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/com_call.h"
#include "platform/platform.h"
#include "platform/raii.h"
#include "record/wizard_state.h"

namespace cw {

// {62BE5D10-60EB-11D0-BD3B-00A0C911CE86}
inline constexpr CLSID CLSID_SystemDeviceEnum = {
    0x62BE5D10, 0x60EB, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
// {29840822-5B84-11D0-BD3B-00A0C911CE86}
inline constexpr IID IID_ICreateDevEnum = {
    0x29840822, 0x5B84, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
// {860BB310-5D01-11D0-BD3B-00A0C911CE86}
inline constexpr CLSID CLSID_VideoInputDeviceCategory = {
    0x860BB310, 0x5D01, 0x11D0, {0xBD, 0x3B, 0x00, 0xA0, 0xC9, 0x11, 0xCE, 0x86}};
// {55272A00-42CB-11CE-8135-00AA004BB851}
inline constexpr IID IID_IPropertyBag = {
    0x55272A00, 0x42CB, 0x11CE, {0x81, 0x35, 0x00, 0xAA, 0x00, 0x4B, 0xB8, 0x51}};
// {56A86895-0AD4-11CE-B03A-0020AF0BA770}
inline constexpr IID IID_IBaseFilter = {
    0x56A86895, 0x0AD4, 0x11CE, {0xB0, 0x3A, 0x00, 0x20, 0xAF, 0x0B, 0xA7, 0x70}};
// {423C13A2-2070-11D0-9EF7-00AA00A216A1}
inline constexpr IID IID_IKsObject = {
    0x423C13A2, 0x2070, 0x11D0, {0x9E, 0xF7, 0x00, 0xAA, 0x00, 0xA2, 0x16, 0xA1}};
// The capture driver's register-access property set,
// {C44A1A10-0A37-11D2-8328-006097BA83AB}.
inline constexpr GUID kRegisterAccessPropertySet = {
    0xC44A1A10, 0x0A37, 0x11D2, {0x83, 0x28, 0x00, 0x60, 0x97, 0xBA, 0x83, 0xAB}};

// Method positions of the interfaces the search walks through.
constexpr size_t kSlotCreateClassEnumerator = 3;  // ICreateDevEnum
constexpr size_t kSlotEnumNext = 3;               // IEnumMoniker
constexpr size_t kSlotEnumReset = 5;              // IEnumMoniker
constexpr size_t kSlotBindToObject = 8;           // IMoniker
constexpr size_t kSlotBindToStorage = 9;          // IMoniker
constexpr size_t kSlotPropertyBagRead = 3;        // IPropertyBag
constexpr size_t kSlotKsGetObjectHandle = 3;      // IKsObject

// The register-access property and its two operations.
constexpr ULONG kRegisterAccessPropertyId = 6;
constexpr ULONG kOperationSetRegisterAddress = 0x30000001;
constexpr ULONG kOperationReadRegister = 0x30000003;

// The register that tells the tuner variants apart, and its bit that marks
// the variant 3.
constexpr uint32_t kTunerVariantRegister = 0x350018;
constexpr uint32_t kTunerVariantBit = 0x40;

// The capture filter's friendly names, searched in this order.
constexpr const char* kCaptureFilterNames[] = {
    "Brivanta QL75X Video Capture",
    "Morvex QL75X Video Capture",
    "Conexant 2388x Video Capture",
};

// Friendly names are converted into a buffer of this size; a longer one
// cannot match.
constexpr int kFriendlyNameBufferSize = 80;

// The block that is both the input and the output of one register-access
// request: a KSPROPERTY header (set, id, flags), then the operation, the
// register address, the register value and a reserved word. Little-endian,
// as every Windows target is.
struct RegisterAccessRequest {
  GUID Set;
  ULONG Id;
  ULONG Flags;
  ULONG Operation;
  ULONG Address;
  ULONG Value;
  ULONG Reserved;
};
static_assert(sizeof(RegisterAccessRequest) == 40, "register access request: 40 bytes");
static_assert(offsetof(RegisterAccessRequest, Id) == 16, "property id at 16");
static_assert(offsetof(RegisterAccessRequest, Flags) == 20, "flags at 20");
static_assert(offsetof(RegisterAccessRequest, Operation) == 24, "operation at 24");
static_assert(offsetof(RegisterAccessRequest, Address) == 28, "address at 28");
static_assert(offsetof(RegisterAccessRequest, Value) == 32, "value at 32");
static_assert(offsetof(RegisterAccessRequest, Reserved) == 36, "reserved word at 36");

// The filter among the devices of `category` whose friendly name is `name`
// (exact, case-sensitive), bound as an IBaseFilter; empty when there is none.
// COM must be initialised.
ComPtr FindFilterByFriendlyName(Platform& platform, const char* name, const GUID& category);

// The filter's kernel-streaming handle (owned by the filter), or 0.
HANDLE GetKsObjectHandle(void* filter);

// One device request, waited for when the driver completes it later. 0 on
// success, else a failure HRESULT built from the Windows error.
HRESULT KsSyncIoctl(Platform& platform, HANDLE device, DWORD code, void* input, DWORD inputSize,
                    void* output, DWORD outputSize, DWORD* bytesReturned);

// Sets the register address for the reads that follow; 1 on success, else a
// message and 0.
int32_t SetRegisterAddress(Platform& platform, HANDLE device, uint32_t address);

// Reads the register at the address set last into *value (stored in every
// case); 1 on success, else a message and 0.
int32_t ReadRegisterValue(Platform& platform, HANDLE device, uint32_t* value);

// The capture filter, held from FindCaptureFilter to ReleaseCaptureFilter
// with COM initialised for it. The handle is the filter's and is never
// closed here.
class CaptureFilterProbe {
 public:
  explicit CaptureFilterProbe(Platform& platform) : platform_(platform), com_(platform) {}
  CaptureFilterProbe(const CaptureFilterProbe&) = delete;
  CaptureFilterProbe& operator=(const CaptureFilterProbe&) = delete;
  ~CaptureFilterProbe();

  // 1 when a filter of one of kCaptureFilterNames was found.
  int32_t FindCaptureFilter();
  // The register's value, or 0 with a message when it cannot be read; finds
  // the filter first when none is held.
  uint32_t ReadCx23880Register(uint32_t address);
  // Releases the filter, then ends COM's use.
  void ReleaseCaptureFilter();

  ComPtr CaptureFilter;
  HANDLE CaptureKsHandle = HANDLE(0);

 private:
  Platform& platform_;
  ComInitScope com_;  // ended only after the filter is released
};

// Reads the tuner-variant register of the CX2388X board into TunerVariant;
// 0 when no capture filter was found (TunerVariant is then left alone).
int32_t ProbeCx2388xTunerVariant(Platform& platform, WizardState& state);

}  // namespace cw
