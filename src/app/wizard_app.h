// The application object: runs the whole wizard from InitInstance, one modal
// page after another, and owns the record every step shares.
#pragma once

#include <string>
#include <vector>

#include "platform/com_call.h"
#include "record/wizard_state.h"
#include "framework/framework.h"

namespace cw {

// The chip family whose steps a run takes, chosen from DeviceFlags.
enum class Family { None, Saa713x, Cx2388x, Bt878a, Usb };

// The families are tested in a fixed order: SAA713X, CX2388X, BT878A, USB.
Family ChooseFamily(uint32_t deviceFlags);
const char* FamilyName(Family family);

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

  // Cx23880 register access (access/cx23880_register.cpp). The filter is
  // held from FindCaptureFilter to ReleaseCaptureFilter; the handle is the
  // filter's and is never closed here.
  int32_t FindCaptureFilter();
  uint32_t ReadCx23880Register(uint32_t address);
  void ReleaseCaptureFilter();
  ComPtr CaptureFilter;
  HANDLE CaptureKsHandle = HANDLE(0);

  // The SAA713x driver's component (access/vamp_device.cpp). The interfaces
  // are held from the open to the end of the probe, which releases them
  // while COM is still initialised.
  int32_t OpenVampDevice();
  bool QueryVampItem(uint32_t item);
  ComPtr VampDeviceList;
  LONG VampDeviceCount = 0;
  LONG VampDeviceIndex = 0;
  ComPtr VampDevice;
  ComPtr VampItem;

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
  int32_t DetectDevices(bool nt);

  // The driver-key lookups share one walk; a rule says what it looks for
  // and how it reads (devices/lookups.cpp).
  struct LookupRule;
  int32_t LookupDriverKeys(const LookupRule& rule);

  // Every successful CoInitialize of the probes is matched by one
  // CoUninitialize when the probe ends (EndComUse).
  void EndComUse();
  void ReleaseVampInterfaces();
  int32_t com_initializations_ = 0;

  Family family_run_ = Family::None;
};

}  // namespace cw
