// The derivations: the user's choice (a TV standard, or a country) turned
// into the values each family's drivers expect, in the record. On the TV
// System path each first takes the Windows country as CountryCode. Each
// returns 1.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "record/wizard_state.h"

namespace cw {

// Asks the NICAM I question for country 86.
int32_t DeriveSaa713xSettings(Platform& platform, WizardState& state);
int32_t DeriveCx2388xSettings(Platform& platform, WizardState& state);
int32_t DeriveBt878aSettings(Platform& platform, WizardState& state);
int32_t DeriveUsbSettings(Platform& platform, WizardState& state);

}  // namespace cw
