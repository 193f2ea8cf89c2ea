#include "app/wizard_app.h"

#include <cstdio>

#include "access/cx23880_register.h"
#include "access/vamp_probe.h"
#include "app/restart_dialog.h"
#include "app/start_dialog.h"
#include "app/text_keys.h"
#include "devices/detection.h"
#include "devices/lookups.h"
#include "platform/win_constants.h"
#include "selection/country_dialog.h"
#include "selection/standard_dialog.h"
#include "system/windows_settings.h"
#include "writers/derivations.h"
#include "writers/family_writers.h"
#include "writers/security_record.h"

namespace cw {

Family ChooseFamily(uint32_t deviceFlags) {
  if (deviceFlags & kFlagsSaa713x) return Family::Saa713x;
  if (deviceFlags & kFlagsCx2388x) return Family::Cx2388x;
  if (deviceFlags & kFlagBt878a) return Family::Bt878a;
  if (deviceFlags & kFlagUsb) return Family::Usb;
  return Family::None;
}

const char* FamilyName(Family family) {
  switch (family) {
    case Family::Saa713x:
      return "SAA713X";
    case Family::Cx2388x:
      return "CX2388X";
    case Family::Bt878a:
      return "BT878A";
    case Family::Usb:
      return "USB EM28xx";
    case Family::None:
      break;
  }
  return "none";
}

WizardApp::WizardApp(Platform& platform, std::vector<std::string> args)
    : CWinApp(platform, std::move(args)) {}

int32_t WizardApp::IsNtFamilyOs() { return cw::IsNtFamilyOs(platform_); }
int32_t WizardApp::IsWin9xOs() { return cw::IsWin9xOs(platform_); }
int32_t WizardApp::GetWindowsCountryCode() {
  return cw::GetWindowsCountryCode(platform_, IsNtFamily);
}
int32_t WizardApp::LoadTexts() { return cw::LoadTexts(platform_, *this); }

int32_t WizardApp::DetectDevicesNt() { return cw::DetectDevicesNt(platform_, *this); }
int32_t WizardApp::DetectDevices9x() { return cw::DetectDevices9x(platform_, *this); }
int32_t WizardApp::LookupSaa713xKeysNt() { return cw::LookupSaa713xKeysNt(platform_, *this); }
int32_t WizardApp::LookupSaa713xKeys9x() { return cw::LookupSaa713xKeys9x(platform_, *this); }
int32_t WizardApp::LookupCx2388xKeysNt() { return cw::LookupCx2388xKeysNt(platform_, *this); }
int32_t WizardApp::LookupCx2388xKeys9x() { return cw::LookupCx2388xKeys9x(platform_, *this); }
int32_t WizardApp::LookupBt878aKeysNt() { return cw::LookupBt878aKeysNt(platform_, *this); }
int32_t WizardApp::LookupBt878aKeys9x() { return cw::LookupBt878aKeys9x(platform_, *this); }
int32_t WizardApp::LookupUsbKeyNt() { return cw::LookupUsbKeyNt(platform_, *this); }
int32_t WizardApp::LookupUsbKey9x() { return cw::LookupUsbKey9x(platform_, *this); }

int32_t WizardApp::ProbeSaa713xTuner() { return cw::ProbeSaa713xTuner(platform_, *this); }
int32_t WizardApp::ProbeCx2388xTunerVariant() {
  return cw::ProbeCx2388xTunerVariant(platform_, *this);
}

ShowWriteFailure WizardApp::WriteFailureBoxes() {
  return [this](const char* text) { AfxMessageBox(text, MB_OK); };
}

int32_t WizardApp::DeriveSaa713xSettings() { return cw::DeriveSaa713xSettings(platform_, *this); }
int32_t WizardApp::DeriveCx2388xSettings() { return cw::DeriveCx2388xSettings(platform_, *this); }
int32_t WizardApp::DeriveBt878aSettings() { return cw::DeriveBt878aSettings(platform_, *this); }
int32_t WizardApp::DeriveUsbSettings() { return cw::DeriveUsbSettings(platform_, *this); }
int32_t WizardApp::WriteSaa713xSettingsNt() {
  return cw::WriteSaa713xSettingsNt(platform_, *this, WriteFailureBoxes());
}
int32_t WizardApp::WriteSaa713xSettings9x() {
  return cw::WriteSaa713xSettings9x(platform_, *this, WriteFailureBoxes());
}
int32_t WizardApp::WriteCx2388xSettingsNt() {
  return cw::WriteCx2388xSettingsNt(platform_, *this, WriteFailureBoxes());
}
int32_t WizardApp::WriteCx2388xSettings9x() {
  return cw::WriteCx2388xSettings9x(platform_, *this, WriteFailureBoxes());
}
int32_t WizardApp::WriteBt878aSettingsNt() {
  return cw::WriteBt878aSettingsNt(platform_, *this, WriteFailureBoxes());
}
int32_t WizardApp::WriteBt878aSettings9x() {
  return cw::WriteBt878aSettings9x(platform_, *this, WriteFailureBoxes());
}
int32_t WizardApp::WriteUsbSettingsNt() {
  return cw::WriteUsbSettingsNt(platform_, *this, WriteFailureBoxes());
}
int32_t WizardApp::WriteUsbSettings9x() {
  return cw::WriteUsbSettings9x(platform_, *this, WriteFailureBoxes());
}
int32_t WizardApp::MarkWizardCompleted() { return cw::MarkWizardCompleted(platform_); }
int32_t WizardApp::RestartSystem() { return cw::RestartSystem(platform_, *this); }

int WizardApp::ShowComposedMessage(const char* first, const char* second, const char* separator,
                                   UINT style) {
  // Two full 255-character texts and a blank line would need 513 bytes: the
  // composition is cut at the buffer's 511 characters rather than overrun it.
  if (std::snprintf(MessageBuffer, sizeof(MessageBuffer), "%s%s%s", first, separator, second) < 0)
    MessageBuffer[0] = '\0';
  return platform_.MessageBoxA(HWND(0), MessageBuffer, AppTitleName, style);
}

namespace {

// Before anything else: a driver key an earlier run left widened is put back.
void MendLeftOpenKey(Platform& platform) {
  const LeftOpenKey left = RestoreLeftOpenKey(platform);
  if (!left.found) return;
  std::string text;
  if (!left.usable)
    text =
        "An earlier run of the wizard left a record of a driver key's access rights that "
        "could not be read. The record has been removed." +
        (left.path.empty() ? std::string()
                           : "\nPlease check the access rights of this key:\n"
                             "HKEY_LOCAL_MACHINE\\" +
                                 left.path);
  else if (left.restored && left.keyGone)
    text =
        "An earlier run of the wizard left a record of the access rights of a driver key "
        "that is no longer there. The record has been removed:\nHKEY_LOCAL_MACHINE\\" +
        left.path;
  else if (left.restored)
    text =
        "An earlier run of the wizard ended before it had put back the access rights of "
        "this driver key. They have been put back now:\nHKEY_LOCAL_MACHINE\\" +
        left.path;
  else
    text =
        "An earlier run of the wizard ended before it had put back the access rights of "
        "this driver key. They are not back yet; the next run will put them back:\n"
        "HKEY_LOCAL_MACHINE\\" +
        left.path;
  platform.MessageBoxA(HWND(0), text.c_str(), "Message",
                       MB_OK | (left.restored ? MB_ICONINFORMATION : MB_ICONEXCLAMATION));
}

}  // namespace

BOOL WizardApp::InitInstance() {
  MendLeftOpenKey(platform_);
  AfxEnableControlContainer();
  Enable3dControls();

  ShowRestart = 1;
  TunerVariant = 0;
  DeviceFlags = 0;
  CountryCode = 0;
  AudioCountryCode = 0;
  VideoCountryCode = 0;
  StandardVariant = 0;
  NicamIRequested = 0;
  DeviceCount = 0;
  family_run_ = Family::None;

  CCommandLineInfo commandLine;
  ParseCommandLine(commandLine);
  // The wizard opens no document and creates no main window.
  commandLine.m_nShellCommand = CCommandLineInfo::FileNothing;
  if (!ProcessShellCommand(commandLine)) return FALSE;
  if (commandLine.m_strFileName == "1") ShowRestart = 0;

  IsNtFamily = IsNtFamilyOs();
  LoadTexts();
  DeviceCount = IsNtFamily ? DetectDevicesNt() : DetectDevices9x();

  if (DeviceCount == 0) {
    ShowComposedMessage(NoDeviceMsg1, NoDeviceMsg2, "\n", MB_OK | MB_ICONEXCLAMATION);
    return FALSE;
  }
  if (DeviceCount >= 2) {
    ShowComposedMessage(FoundMultiDevMsg1, FoundMultiDevMsg2, "\n\n", MB_OK);
    return FALSE;
  }

  {
    StartDialog start(platform_, *this);
    INT_PTR startResult = start.DoModal();
    // A selection page that cannot be shown (-1) ends the run as Cancel does:
    // going on would write settings the user never chose.
    if (startResult == IDOK) {
      SelectionMode = kTvSystemPath;
      StandardDialog page(platform_, *this);
      INT_PTR result = page.DoModal();
      if (result == IDCANCEL || result == -1) return FALSE;
    } else if (startResult == IDCANCEL) {
      SelectionMode = kCountryPath;
      CountryDialog page(platform_, *this);
      INT_PTR result = page.DoModal();
      if (result == IDCANCEL || result == -1) return FALSE;
    } else {
      return FALSE;
    }
  }

  RunFamilySteps(ChooseFamily(DeviceFlags));
  MarkWizardCompleted();

  if (DeviceFlags & kFlagUsb) ReportUsbOutcome();
  if (!ShowRestart) return FALSE;

  RestartDialog restart(platform_, *this);
  if (restart.DoModal() == IDOK && RestartNow != 0) RestartSystem();
  return FALSE;
}

void WizardApp::ReportUsbOutcome() {
  if (UsbWriteResult == 0) {
    ShowComposedMessage(USBUpdateRegFail1, USBUpdateRegFail2, "\n\n", MB_OK | MB_ICONEXCLAMATION);
  } else if (ShowRestart) {
    ShowComposedMessage(USBUpdateRegPass1, USBUpdateRegPass2, "\n\n", MB_OK | MB_ICONINFORMATION);
  }
  ShowRestart = 0;
}

void WizardApp::RunFamilySteps(Family family) {
  family_run_ = family;
  const bool nt = IsNtFamily != 0;
  switch (family) {
    case Family::Saa713x:
      ProbeSaa713xTuner();
      DeriveSaa713xSettings();
      nt ? LookupSaa713xKeysNt() : LookupSaa713xKeys9x();
      nt ? WriteSaa713xSettingsNt() : WriteSaa713xSettings9x();
      break;
    case Family::Cx2388x:
      ProbeCx2388xTunerVariant();
      DeriveCx2388xSettings();
      nt ? LookupCx2388xKeysNt() : LookupCx2388xKeys9x();
      nt ? WriteCx2388xSettingsNt() : WriteCx2388xSettings9x();
      break;
    case Family::Bt878a:
      DeriveBt878aSettings();
      nt ? LookupBt878aKeysNt() : LookupBt878aKeys9x();
      nt ? WriteBt878aSettingsNt() : WriteBt878aSettings9x();
      break;
    case Family::Usb:
      DeriveUsbSettings();
      nt ? LookupUsbKeyNt() : LookupUsbKey9x();
      UsbWriteResult = nt ? WriteUsbSettingsNt() : WriteUsbSettings9x();
      break;
    case Family::None:
      break;
  }
}

}  // namespace cw
