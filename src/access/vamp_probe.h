// The SAA713x tuner probe: asks the driver's component (access/vamp_device.h)
// for the board's tuner variant.
#pragma once

#include <cstdint>

#include "access/vamp_device.h"
#include "platform/com_call.h"
#include "platform/platform.h"
#include "platform/raii.h"
#include "record/wizard_state.h"

namespace cw {

// The component's interfaces, held from the open to the end of the probe,
// and released while COM is still initialised for them.
class VampProbe {
 public:
  explicit VampProbe(Platform& platform) : platform_(platform), com_(platform) {}
  VampProbe(const VampProbe&) = delete;
  VampProbe& operator=(const VampProbe&) = delete;
  ~VampProbe();

  // 1 when the first device's IVampDevice is held.
  int32_t OpenVampDevice();
  // Whether the device answers 1 for `item`; the item interface is asked
  // for once and then kept.
  bool QueryVampItem(uint32_t item);
  void ReleaseVampInterfaces();

  ComPtr VampDeviceList;
  LONG VampDeviceCount = 0;
  LONG VampDeviceIndex = 0;
  ComPtr VampDevice;
  ComPtr VampItem;

 private:
  Platform& platform_;
  ComInitScope com_;  // ended only after the interfaces are released
};

// Asks the SAA713x driver's component for the board's tuner variant, into
// TunerVariant. On NT a component that cannot be opened is registered once
// and opened again.
int32_t ProbeSaa713xTuner(Platform& platform, WizardState& state);

}  // namespace cw
