#include "app/restart_dialog.h"

#include <cstdio>

#include "platform/raii.h"
#include "platform/win_constants.h"
#include "resource.h"
#include "system/windows_settings.h"

namespace cw {

RestartDialog::RestartDialog(Platform& platform, WizardState& state)
    : CDialog(platform, IDD_RESTART_PAGE), state_(state) {}

BOOL RestartDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetCaption(state_.DialogRebootTitle);
  SetItemText(IDOK, state_.OKText);
  SetItemText(IDC_RESTART_YES, state_.RebootYesText);
  SetItemText(IDC_RESTART_NO, state_.RebootNoText);
  std::snprintf(state_.MessageBuffer, sizeof(state_.MessageBuffer), "%s\n%s\n%s",
                state_.RebootTextTip1, state_.RebootTextTip2, state_.RebootTextTip3);
  SetItemText(IDC_RESTART_NOTE, state_.MessageBuffer);
  platform_.CheckDlgButton(hwnd(), IDC_RESTART_YES, BST_CHECKED);
  platform_.CheckDlgButton(hwnd(), IDC_RESTART_NO, BST_UNCHECKED);
  state_.RestartNow = 1;
  return TRUE;
}

bool RestartDialog::OnCommand(int id, int notifyCode) {
  if (notifyCode != static_cast<int>(BN_CLICKED)) return false;
  if (id == IDC_RESTART_YES) {
    OnYesClicked();
    return true;
  }
  if (id == IDC_RESTART_NO) {
    OnNoClicked();
    return true;
  }
  return false;
}

void RestartDialog::OnYesClicked() {
  platform_.CheckDlgButton(hwnd(), IDC_RESTART_YES, BST_CHECKED);
  platform_.CheckDlgButton(hwnd(), IDC_RESTART_NO, BST_UNCHECKED);
  state_.RestartNow = 1;
}

void RestartDialog::OnNoClicked() {
  platform_.CheckDlgButton(hwnd(), IDC_RESTART_YES, BST_UNCHECKED);
  platform_.CheckDlgButton(hwnd(), IDC_RESTART_NO, BST_CHECKED);
  state_.RestartNow = 0;
}

// The restart is not forced: programs are asked to close and can save their
// work; only hung ones are ended (a forced restart loses unsaved data).
int32_t RestartSystem(Platform& platform, const WizardState& state) {
  // 9x needs no privilege and shows no message: the restart page already
  // told the user to restart later should it not happen.
  if (IsWin9xOs(platform)) return platform.ExitWindowsEx(EWX_REBOOT, 0) ? 1 : 0;
  KernelHandle token(platform);
  if (!platform.OpenProcessToken(platform.GetCurrentProcess(),
                                 TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.receive()))
    return 0;
  TOKEN_PRIVILEGES privileges = {};
  // A failed lookup leaves the LUID zero, which the adjustment then refuses:
  // the last error checked below tells of both.
  static_cast<void>(
      platform.LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid));
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  // ERROR_NOT_ALL_ASSIGNED arrives with a successful call: only the last
  // error tells that the privilege is not held.
  static_cast<void>(
      platform.AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr));
  if (platform.GetLastError() != NO_ERROR) return 0;
  if (!platform.ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, 0)) {
    platform.MessageBoxA(HWND(0), "Can't run ExitWindowsEx.", state.AppTitleName, MB_OK);
    return 0;
  }
  return 1;
}

}  // namespace cw
