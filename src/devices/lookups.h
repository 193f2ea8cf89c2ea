// Finding the driver keys of the capture device and the tuner device of the
// detected family among the present devices: each walk stores the devices'
// SPDRP_DRIVER names in CaptureDriverKey and TunerDriverKey (a later match
// replaces an earlier one) and returns 0 only when the device list cannot be
// had.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "record/wizard_state.h"

namespace cw {

int32_t LookupSaa713xKeysNt(Platform& platform, WizardState& state);
int32_t LookupSaa713xKeys9x(Platform& platform, WizardState& state);
int32_t LookupCx2388xKeysNt(Platform& platform, WizardState& state);
int32_t LookupCx2388xKeys9x(Platform& platform, WizardState& state);
int32_t LookupBt878aKeysNt(Platform& platform, WizardState& state);
int32_t LookupBt878aKeys9x(Platform& platform, WizardState& state);
int32_t LookupUsbKeyNt(Platform& platform, WizardState& state);
int32_t LookupUsbKey9x(Platform& platform, WizardState& state);

}  // namespace cw
