// Detection of the supported capture chips among the present devices.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "record/wizard_state.h"

namespace cw {

// Walk the present devices and OR each recognised chip's bit into
// DeviceFlags; the number of supported devices found (PCI and USB). The 9x
// walk compares the upper-case identifiers 9x reports.
int32_t DetectDevicesNt(Platform& platform, WizardState& state);
int32_t DetectDevices9x(Platform& platform, WizardState& state);

}  // namespace cw
