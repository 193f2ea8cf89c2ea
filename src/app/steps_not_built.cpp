// Family steps whose real bodies have not been written yet. Each one does
// nothing and reports "done", so the road of a run can be walked end to end;
// each moves to its own file, with its tests, when it is built.
#include "app/wizard_app.h"

namespace cw {

int32_t WizardApp::LookupSaa713xKeysNt() { return 1; }
int32_t WizardApp::LookupSaa713xKeys9x() { return 1; }
int32_t WizardApp::LookupCx2388xKeysNt() { return 1; }
int32_t WizardApp::LookupCx2388xKeys9x() { return 1; }
int32_t WizardApp::LookupBt878aKeysNt() { return 1; }
int32_t WizardApp::LookupBt878aKeys9x() { return 1; }
int32_t WizardApp::LookupUsbKeyNt() { return 1; }
int32_t WizardApp::LookupUsbKey9x() { return 1; }

int32_t WizardApp::ProbeSaa713xTuner() { return 0; }
int32_t WizardApp::ProbeCx2388xTunerVariant() { return 0; }

int32_t WizardApp::DeriveSaa713xSettings() { return 1; }
int32_t WizardApp::WriteSaa713xSettingsNt() { return 1; }
int32_t WizardApp::WriteSaa713xSettings9x() { return 1; }
int32_t WizardApp::DeriveCx2388xSettings() { return 1; }
int32_t WizardApp::WriteCx2388xSettingsNt() { return 1; }
int32_t WizardApp::WriteCx2388xSettings9x() { return 1; }
int32_t WizardApp::DeriveBt878aSettings() { return 1; }
int32_t WizardApp::WriteBt878aSettingsNt() { return 1; }
int32_t WizardApp::WriteBt878aSettings9x() { return 1; }
int32_t WizardApp::DeriveUsbSettings() { return 1; }
// Nothing is written yet, so nothing may be reported as written.
int32_t WizardApp::WriteUsbSettingsNt() { return 0; }
int32_t WizardApp::WriteUsbSettings9x() { return 0; }

}  // namespace cw
