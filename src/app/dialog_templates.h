// The four dialog templates of the wizard, as data. The simulated Windows
// builds the wizard's pages from these; resources/chanwiz.rc holds the same
// templates for the Windows build, and a test compares the two so they
// cannot drift.
#pragma once

#include "platform/dialog_template.h"

namespace cw {

const DialogResources& WizardDialogs();

}  // namespace cw
