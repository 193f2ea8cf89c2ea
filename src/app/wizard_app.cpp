#include "app/wizard_app.h"

#include <cstdio>

#include "app/restart_dialog.h"
#include "app/start_dialog.h"
#include "platform/win_constants.h"
#include "selection/country_dialog.h"
#include "selection/standard_dialog.h"
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

int32_t WizardApp::IsNtFamilyOs() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  platform_.GetVersionExA(&info);
  return info.dwPlatformId == VER_PLATFORM_WIN32_NT && info.dwMajorVersion >= 5 ? 1 : 0;
}

int32_t WizardApp::IsWin9xOs() {
  OSVERSIONINFOA info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  platform_.GetVersionExA(&info);
  return info.dwPlatformId == VER_PLATFORM_WIN32_WINDOWS ? 1 : 0;
}

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
    text = "An earlier run of the wizard left a record of a driver key's access rights that "
           "could not be read. The record has been removed." +
           (left.path.empty() ? std::string()
                              : "\nPlease check the access rights of this key:\n"
                                "HKEY_LOCAL_MACHINE\\" + left.path);
  else if (left.restored && left.keyGone)
    text = "An earlier run of the wizard left a record of the access rights of a driver key "
           "that is no longer there. The record has been removed:\nHKEY_LOCAL_MACHINE\\" +
           left.path;
  else if (left.restored)
    text = "An earlier run of the wizard ended before it had put back the access rights of "
           "this driver key. They have been put back now:\nHKEY_LOCAL_MACHINE\\" + left.path;
  else
    text = "An earlier run of the wizard ended before it had put back the access rights of "
           "this driver key. They are not back yet; the next run will put them back:\n"
           "HKEY_LOCAL_MACHINE\\" + left.path;
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
    StartDialog start(*this);
    INT_PTR startResult = start.DoModal();
    // A selection page that cannot be shown (-1) ends the run as Cancel does:
    // going on would write settings the user never chose.
    if (startResult == IDOK) {
      SelectionMode = 0;
      StandardDialog page(*this);
      INT_PTR result = page.DoModal();
      if (result == IDCANCEL || result == -1) return FALSE;
    } else if (startResult == IDCANCEL) {
      SelectionMode = 1;
      CountryDialog page(*this);
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

  RestartDialog restart(*this);
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
