#include "app/restart_dialog.h"

#include <cstdio>

#include "app/wizard_app.h"
#include "platform/raii.h"
#include "platform/win_constants.h"
#include "resource.h"

namespace cw {

RestartDialog::RestartDialog(WizardApp& app) : CDialog(app.platform(), IDD_RESTART_PAGE), app_(app) {}

BOOL RestartDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetCaption(app_.DialogRebootTitle);
  SetItemText(IDOK, app_.OKText);
  SetItemText(IDC_RESTART_YES, app_.RebootYesText);
  SetItemText(IDC_RESTART_NO, app_.RebootNoText);
  std::snprintf(app_.MessageBuffer, sizeof(app_.MessageBuffer), "%s\n%s\n%s", app_.RebootTextTip1,
                app_.RebootTextTip2, app_.RebootTextTip3);
  SetItemText(IDC_RESTART_NOTE, app_.MessageBuffer);
  platform_.CheckDlgButton(hwnd(), IDC_RESTART_YES, BST_CHECKED);
  platform_.CheckDlgButton(hwnd(), IDC_RESTART_NO, BST_UNCHECKED);
  app_.RestartNow = 1;
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
  app_.RestartNow = 1;
}

void RestartDialog::OnNoClicked() {
  platform_.CheckDlgButton(hwnd(), IDC_RESTART_YES, BST_UNCHECKED);
  platform_.CheckDlgButton(hwnd(), IDC_RESTART_NO, BST_CHECKED);
  app_.RestartNow = 0;
}

// The restart is not forced: programs are asked to close and can save their
// work; only hung ones are ended (a forced restart loses unsaved data).
int32_t WizardApp::RestartSystem() {
  if (IsWin9xOs()) {
    platform_.ExitWindowsEx(EWX_REBOOT, 0);
    return 1;
  }
  KernelHandle token(platform_);
  if (!platform_.OpenProcessToken(platform_.GetCurrentProcess(),
                                  TOKEN_ADJUST_PRIVILEGES | TOKEN_QUERY, token.receive()))
    return 0;
  TOKEN_PRIVILEGES privileges = {};
  platform_.LookupPrivilegeValueA(nullptr, SE_SHUTDOWN_NAME, &privileges.Privileges[0].Luid);
  privileges.PrivilegeCount = 1;
  privileges.Privileges[0].Attributes = SE_PRIVILEGE_ENABLED;
  platform_.AdjustTokenPrivileges(token.get(), FALSE, &privileges, 0, nullptr, nullptr);
  // ERROR_NOT_ALL_ASSIGNED arrives with a successful call: only the last
  // error tells that the privilege is not held.
  if (platform_.GetLastError() != NO_ERROR) return 0;
  if (!platform_.ExitWindowsEx(EWX_REBOOT | EWX_FORCEIFHUNG, 0)) {
    platform_.MessageBoxA(HWND(0), "Can't run ExitWindowsEx.", AppTitleName, MB_OK);
    return 0;
  }
  return 1;
}

}  // namespace cw
