// The writers of each family's driver settings and the completion marker.
// Each writer opens, writes and closes its keys within the call; on NT it
// widens each driver key's access for its writes and puts it back after.
// `show` tells the user of a value that could not be written.
#pragma once

#include <cstdint>

#include "platform/platform.h"
#include "record/wizard_state.h"
#include "writers/registry_access.h"

namespace cw {

// Update only the values already present; each returns 1.
int32_t WriteSaa713xSettingsNt(Platform& platform, const WizardState& state,
                               const ShowWriteFailure& show);
int32_t WriteSaa713xSettings9x(Platform& platform, const WizardState& state,
                               const ShowWriteFailure& show);
// The CX2388X and BT878A twins; "TunerChip" is created when missing. Each
// returns 1.
int32_t WriteCx2388xSettingsNt(Platform& platform, const WizardState& state,
                               const ShowWriteFailure& show);
int32_t WriteCx2388xSettings9x(Platform& platform, const WizardState& state,
                               const ShowWriteFailure& show);
int32_t WriteBt878aSettingsNt(Platform& platform, const WizardState& state,
                              const ShowWriteFailure& show);
int32_t WriteBt878aSettings9x(Platform& platform, const WizardState& state,
                              const ShowWriteFailure& show);
// 1 only when the device's key was found, took values and none failed. On NT
// nothing is written when the key's access list cannot be saved (0).
int32_t WriteUsbSettingsNt(Platform& platform, const WizardState& state,
                           const ShowWriteFailure& show);
int32_t WriteUsbSettings9x(Platform& platform, const WizardState& state,
                           const ShowWriteFailure& show);

// Records in the maker's key that the wizard has run: 1 when the key was
// there already, 0 when it had to be created or could not be; no message
// either way.
int32_t MarkWizardCompleted(Platform& platform);

}  // namespace cw
