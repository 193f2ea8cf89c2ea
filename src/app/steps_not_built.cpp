// Family steps whose real bodies have not been written yet. Each one does
// nothing and reports "done", so the road of a run can be walked end to end;
// each moves to its own file, with its tests, when it is built.
#include "app/wizard_app.h"

namespace cw {

int32_t WizardApp::ProbeSaa713xTuner() { return 0; }
int32_t WizardApp::ProbeCx2388xTunerVariant() { return 0; }

int32_t WizardApp::WriteSaa713xSettingsNt() { return 1; }
int32_t WizardApp::WriteSaa713xSettings9x() { return 1; }
int32_t WizardApp::WriteCx2388xSettingsNt() { return 1; }
int32_t WizardApp::WriteCx2388xSettings9x() { return 1; }
int32_t WizardApp::WriteBt878aSettingsNt() { return 1; }
int32_t WizardApp::WriteBt878aSettings9x() { return 1; }
// Nothing is written yet, so nothing may be reported as written.
int32_t WizardApp::WriteUsbSettingsNt() { return 0; }
int32_t WizardApp::WriteUsbSettings9x() { return 0; }

}  // namespace cw
