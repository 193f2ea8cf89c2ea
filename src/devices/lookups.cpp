// Finding the driver keys of the capture device and the tuner device of the
// detected family among the present devices.
#include "devices/lookups.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "devices/hardware_ids.h"
#include "platform/raii.h"
#include "platform/win_constants.h"

namespace cw {

namespace {

// What one family's lookup looks for, and how it reads.
struct LookupRule {
  const char* captureId = nullptr;
  const char* captureIdAlt = nullptr;  // tried after captureId (USB); null when none
  const char* tunerId = nullptr;       // null when the device has no tuner device of its own
  bool saa713xLengthRule = false;      // exact comparisons by identifier length, not prefixes
  bool bufferPerDevice = false;        // a sizing read per device, not one buffer for the walk
  DWORD idSpare = 0;         // bytes beyond the required size when a read grows the buffer
  DWORD driverSpare = 0;     // the same for the driver-key read
  bool setsUsbFlag = false;  // a capture match ORs the USB bit into DeviceFlags
};

constexpr const char* kCx2388xCapture = "PCI\\VEN_14F1&DEV_8800";
constexpr const char* kBt878aCapture = "PCI\\VEN_109E&DEV_036E";

// The devices a lookup looks for.
LookupRule Devices(const char* captureId, const char* tunerId, const char* captureIdAlt = nullptr) {
  LookupRule rule;
  rule.captureId = captureId;
  rule.captureIdAlt = captureIdAlt;
  rule.tunerId = tunerId;
  return rule;
}

LookupRule ByLength(LookupRule rule) {
  rule.saa713xLengthRule = true;
  return rule;
}

// The NT walks size each device's buffer afresh; the 9x ones share one
// buffer and keep bytes to spare when it grows.
LookupRule NtReads(LookupRule rule) {
  rule.bufferPerDevice = true;
  return rule;
}

LookupRule Win9xReads(LookupRule rule) {
  rule.idSpare = 16;
  rule.driverSpare = 10;
  return rule;
}

constexpr DWORD kWalkBufferSize = 256;

// The SAA713x identifiers have fixed lengths: a full PCI identifier (vendor
// and device, then subsystem and revision) and the long form of a tuner's.
constexpr size_t kSaaCaptureIdLength = 44;
constexpr size_t kSaaLongTunerIdLength = 63;

// A zero-filled property buffer that grows to the required size plus a
// spare on ERROR_INSUFFICIENT_BUFFER and never shrinks. Texts are taken only
// from the bytes the last read delivered, so data without a terminator is
// never read past.
class LookupBuffer {
 public:
  explicit LookupBuffer(DWORD size) : data_(size, 0) {}

  PropertyRead Read(Platform& platform, HDEVINFO list, SP_DEVINFO_DATA* device, DWORD property,
                    DWORD spare) {
    filled_ = 0;
    for (;;) {
      // Only what an earlier read delivered can be other than zero: a
      // megabyte buffer is not cleared whole for every device.
      std::fill(data_.begin(), data_.begin() + dirty_, 0);
      dirty_ = 0;
      DWORD type = 0;
      DWORD required = size();
      if (platform.SetupDiGetDeviceRegistryPropertyA(list, device, property, &type,
                                                     data_.empty() ? nullptr : data_.data(), size(),
                                                     &required)) {
        filled_ = std::min(required, size());
        dirty_ = filled_;
        return PropertyRead::Ok;
      }
      const DWORD error = platform.GetLastError();
      if (error == static_cast<DWORD>(ERROR_INVALID_DATA)) return PropertyRead::Skip;
      if (error != static_cast<DWORD>(ERROR_INSUFFICIENT_BUFFER)) return PropertyRead::Stop;
      // A size we already offered would ask again for ever; one beyond any
      // real property is not allocated.
      if (required <= size() || required > PropertyBuffer::kMaxSize) return PropertyRead::Stop;
      data_.assign(static_cast<size_t>(required) + spare, 0);
    }
  }

  // The first NUL-terminated text of the last read.
  std::string FirstText() const {
    const char* begin = reinterpret_cast<const char*>(data_.data());
    const void* end = filled_ ? std::memchr(begin, '\0', filled_) : nullptr;
    return std::string(begin, end ? static_cast<const char*>(end) - begin : filled_);
  }

  DWORD size() const { return static_cast<DWORD>(data_.size()); }

 private:
  std::vector<BYTE> data_;
  DWORD filled_ = 0;
  DWORD dirty_ = 0;  // bytes from the start that may not be zero
};

// Reads the device's driver key name into `field`; a read that fails leaves
// the field as it was rather than filling it with what the buffer holds.
void ReadDriverKey(Platform& platform, HDEVINFO list, SP_DEVINFO_DATA* device, LookupBuffer& buffer,
                   DWORD spare, std::string* field) {
  if (buffer.Read(platform, list, device, SPDRP_DRIVER, spare) == PropertyRead::Ok)
    *field = buffer.FirstText();
}

bool EqualsOver(const std::string& text, const char* id, size_t length) {
  return text.size() >= length && std::strlen(id) >= length &&
         text.compare(0, length, id, length) == 0;
}

struct Saa713xIds {
  const char* capture;
  const char* tuner;
};

// Tested in this order; a board whose flags name none of the three is taken
// for an SAA7133.
Saa713xIds Saa713xIdsFor(uint32_t deviceFlags, bool nt) {
  if (deviceFlags & kFlagSaa7130)
    return {"PCI\\VEN_1131&DEV_7130", nt ? "Stream\\PhTVTune.30" : "STREAM\\PHTVTUNE.30"};
  if (!(deviceFlags & kFlagSaa7133) && (deviceFlags & kFlagSaa7134))
    return {"PCI\\VEN_1131&DEV_7134", nt ? "Stream\\PhTVTune.34" : "STREAM\\PHTVTUNE.34"};
  return {"PCI\\VEN_1131&DEV_7133", nt ? "Stream\\PhTVTune.33" : "STREAM\\PHTVTUNE.33"};
}

int32_t LookupDriverKeys(Platform& platform, WizardState& state, const LookupRule& rule) {
  DeviceInfoList list(platform, platform.SetupDiGetClassDevsA(nullptr, nullptr, HWND(0),
                                                              DIGCF_PRESENT | DIGCF_ALLCLASSES));
  if (!list.valid()) return 0;

  LookupBuffer walkBuffer(rule.bufferPerDevice ? 0 : kWalkBufferSize);
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    if (!platform.SetupDiEnumDeviceInfo(list.get(), index, &device)) break;

    // Per device: starts empty, so the first read only learns the size.
    LookupBuffer deviceBuffer(0);
    LookupBuffer& buffer = rule.bufferPerDevice ? deviceBuffer : walkBuffer;
    PropertyRead read = buffer.Read(platform, list.get(), &device, SPDRP_HARDWAREID, rule.idSpare);
    if (read == PropertyRead::Skip) continue;
    if (read == PropertyRead::Stop) break;
    if (platform.GetLastError() == static_cast<DWORD>(ERROR_INVALID_DATA)) continue;

    const std::string first = buffer.FirstText();
    bool capture = false;
    bool tuner = false;
    if (rule.saa713xLengthRule) {
      capture = first.size() == kSaaCaptureIdLength &&
                EqualsOver(first, rule.captureId, std::strlen(rule.captureId));
      tuner = first.size() == kSaaLongTunerIdLength
                  ? EqualsOver(first, rule.tunerId, std::strlen(rule.tunerId))
                  : first == rule.tunerId;
    } else {
      capture = StartsWithNoCase(first, rule.captureId) ||
                (rule.captureIdAlt != nullptr && StartsWithNoCase(first, rule.captureIdAlt));
      tuner = !capture && rule.tunerId != nullptr && StartsWithNoCase(first, rule.tunerId);
    }

    // Every device is examined: a later match replaces an earlier one.
    if (capture) {
      if (rule.setsUsbFlag) state.DeviceFlags |= kFlagUsb;
      ReadDriverKey(platform, list.get(), &device, buffer, rule.driverSpare,
                    &state.CaptureDriverKey);
    }
    if (tuner)
      ReadDriverKey(platform, list.get(), &device, buffer, rule.driverSpare, &state.TunerDriverKey);
  }
  return 1;
}

}  // namespace

int32_t LookupCx2388xKeysNt(Platform& platform, WizardState& state) {
  return LookupDriverKeys(platform, state,
                          NtReads(Devices(kCx2388xCapture, "Stream\\cxtune.VEN_14F1.Philips")));
}

int32_t LookupCx2388xKeys9x(Platform& platform, WizardState& state) {
  return LookupDriverKeys(platform, state,
                          Win9xReads(Devices(kCx2388xCapture, "STREAM\\CXTUNE.VEN_14F1.PHILIPS")));
}

int32_t LookupBt878aKeysNt(Platform& platform, WizardState& state) {
  return LookupDriverKeys(platform, state,
                          NtReads(Devices(kBt878aCapture, "Stream\\bttuner.phil")));
}

int32_t LookupBt878aKeys9x(Platform& platform, WizardState& state) {
  return LookupDriverKeys(platform, state,
                          Win9xReads(Devices(kBt878aCapture, "STREAM\\BTTUNER.PHIL")));
}

// The SAA713x walks compare whole identifiers by their lengths, and share
// one buffer on both families: the NT one grows it without bytes to spare.
int32_t LookupSaa713xKeysNt(Platform& platform, WizardState& state) {
  const Saa713xIds ids = Saa713xIdsFor(state.DeviceFlags, true);
  return LookupDriverKeys(platform, state, ByLength(Devices(ids.capture, ids.tuner)));
}

int32_t LookupSaa713xKeys9x(Platform& platform, WizardState& state) {
  const Saa713xIds ids = Saa713xIdsFor(state.DeviceFlags, false);
  return LookupDriverKeys(platform, state, Win9xReads(ByLength(Devices(ids.capture, ids.tuner))));
}

// The USB device has no tuner device of its own.
int32_t LookupUsbKeyNt(Platform& platform, WizardState& state) {
  return LookupDriverKeys(
      platform, state,
      NtReads(Devices("USB\\Vid_eb1a&Pid_2800&Rev_0100", nullptr, "USB\\Vid_eb1a&Pid_282")));
}

// Only the 9x walk marks the USB device in DeviceFlags.
int32_t LookupUsbKey9x(Platform& platform, WizardState& state) {
  LookupRule rule =
      Win9xReads(Devices("USB\\VID_EB1A&PID_2800&REV_0100", nullptr, "USB\\VID_EB1A&PID_282"));
  rule.setsUsbFlag = true;
  return LookupDriverKeys(platform, state, rule);
}

}  // namespace cw
