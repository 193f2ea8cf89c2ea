// Detection of the supported capture chips among the present devices.
#include "devices/detection.h"

#include <cstring>
#include <string>
#include <vector>

#include "devices/hardware_ids.h"
#include "platform/raii.h"
#include "platform/win_constants.h"

namespace cw {

namespace {

struct DetectionRow {
  const char* ntId;
  const char* win9xId;
  uint32_t flag;
  bool usb;
};

// In the order a device's identifier is tried; the first match counts.
const DetectionRow kDetectionRows[] = {
    {"PCI\\VEN_1131&DEV_7130", "PCI\\VEN_1131&DEV_7130", kFlagSaa7130, false},
    {"PCI\\VEN_1131&DEV_7133", "PCI\\VEN_1131&DEV_7133", kFlagSaa7133, false},
    {"PCI\\VEN_1131&DEV_7134", "PCI\\VEN_1131&DEV_7134", kFlagSaa7134, false},
    {"PCI\\VEN_14F1&DEV_8800", "PCI\\VEN_14F1&DEV_8800", kFlagCx2388x, false},
    {"PCI\\VEN_109E&DEV_036E", "PCI\\VEN_109E&DEV_036E", kFlagBt878a, false},
    {"USB\\Vid_eb1a&Pid_2800", "USB\\VID_EB1A&PID_2800", kFlagUsb, true},
    {"USB\\Vid_eb1a&Pid_282", "USB\\VID_EB1A&PID_282", kFlagUsb, true},
};

int32_t DetectDevices(Platform& platform, WizardState& state, bool nt) {
  DeviceInfoList list(platform, platform.SetupDiGetClassDevsA(nullptr, nullptr, HWND(0),
                                                              DIGCF_PRESENT | DIGCF_ALLCLASSES));
  if (!list.valid()) return 0;

  // One buffer for the walk; its size only grows and carries over to the
  // devices that follow (the 9x variant keeps 10 bytes to spare).
  PropertyBuffer buffer(256, nt ? 0 : 10);
  int32_t pci = 0;
  int32_t usb = 0;
  for (DWORD index = 0;; ++index) {
    SP_DEVINFO_DATA device = {};
    device.cbSize = sizeof(device);
    if (!platform.SetupDiEnumDeviceInfo(list.get(), index, &device)) break;

    PropertyRead read = buffer.Read(platform, list.get(), &device, SPDRP_HARDWAREID);
    if (read == PropertyRead::Skip) continue;
    if (read == PropertyRead::Stop) break;
    if (platform.GetLastError() == static_cast<DWORD>(ERROR_INVALID_DATA)) continue;

    std::string first = buffer.FirstString();
    for (const DetectionRow& row : kDetectionRows) {
      if (!StartsWithNoCase(first, nt ? row.ntId : row.win9xId)) continue;
      state.DeviceFlags |= row.flag;
      ++(row.usb ? usb : pci);
      break;
    }
  }
  return pci + usb;
}

}  // namespace

int32_t DetectDevicesNt(Platform& platform, WizardState& state) {
  return DetectDevices(platform, state, true);
}

int32_t DetectDevices9x(Platform& platform, WizardState& state) {
  return DetectDevices(platform, state, false);
}

}  // namespace cw
