// The application object: runs the whole wizard from InitInstance, one modal
// page after another, and owns the record every step shares.
#pragma once

#include <string>
#include <vector>

#include "framework/framework.h"
#include "record/wizard_state.h"
#include "writers/registry_access.h"

namespace cw {

// The chip family whose steps a run takes, chosen from DeviceFlags.
enum class Family { None, Saa713x, Cx2388x, Bt878a, Usb };

// The families are tested in a fixed order: SAA713X, CX2388X, BT878A, USB.
Family ChooseFamily(uint32_t deviceFlags);
const char* FamilyName(Family family);

// Every step is an operation of the application without arguments that
// returns 1 (done) or 0 (stopped early); each calls its subsystem's function
// with the platform and the record.
class WizardApp : public CWinApp, public WizardState {
 public:
  WizardApp(Platform& platform, std::vector<std::string> args);

  // Runs the wizard; returns 0 on every path.
  BOOL InitInstance() override;

  int32_t IsNtFamilyOs();
  int32_t IsWin9xOs();

  // Localized texts.
  int32_t GetWindowsCountryCode();
  int32_t LoadTexts();

  // Device discovery.
  int32_t DetectDevicesNt();
  int32_t DetectDevices9x();
  int32_t LookupSaa713xKeysNt();
  int32_t LookupSaa713xKeys9x();
  int32_t LookupCx2388xKeysNt();
  int32_t LookupCx2388xKeys9x();
  int32_t LookupBt878aKeysNt();
  int32_t LookupBt878aKeys9x();
  int32_t LookupUsbKeyNt();
  int32_t LookupUsbKey9x();

  // Hardware probes.
  int32_t ProbeSaa713xTuner();
  int32_t ProbeCx2388xTunerVariant();

  // Derivations and writers.
  int32_t DeriveSaa713xSettings();
  int32_t WriteSaa713xSettingsNt();
  int32_t WriteSaa713xSettings9x();
  int32_t DeriveCx2388xSettings();
  int32_t WriteCx2388xSettingsNt();
  int32_t WriteCx2388xSettings9x();
  int32_t DeriveBt878aSettings();
  int32_t WriteBt878aSettingsNt();
  int32_t WriteBt878aSettings9x();
  int32_t DeriveUsbSettings();
  int32_t WriteUsbSettingsNt();
  int32_t WriteUsbSettings9x();
  int32_t MarkWizardCompleted();

  int32_t RestartSystem();

  // After the USB path: the failure texts when nothing (or not all) was
  // written, else the success texts unless the restart page was suppressed;
  // the USB path never shows the restart page.
  void ReportUsbOutcome();

  // The family whose steps the last run took (None when it never got there).
  Family family_run() const { return family_run_; }

 private:
  // Composes two texts into MessageBuffer and shows them with the wizard's
  // caption. `separator` is "\n" or "\n\n".
  int ShowComposedMessage(const char* first, const char* second, const char* separator,
                          UINT style);
  void RunFamilySteps(Family family);
  // A writer's failure texts go through the framework's message box.
  ShowWriteFailure WriteFailureBoxes();

  Family family_run_ = Family::None;
};

}  // namespace cw
