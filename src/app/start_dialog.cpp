#include "app/start_dialog.h"

#include "platform/win_constants.h"
#include "system/windows_settings.h"
#include "resource.h"

namespace cw {

StartDialog::StartDialog(Platform& platform, WizardState& state)
    : CDialog(platform, IDD_START_PAGE), state_(state), icon_(platform.LoadIconA(IDR_APP_ICON)) {}

BOOL StartDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetCaption(state_.AppTitleName);
  SetItemText(IDC_START_TIP, state_.ChanwizTextTip);
  SetItemText(IDC_TVSYSTEM_BUTTON, state_.TVSystemText);
  SetItemText(IDC_COUNTRY_BUTTON, state_.CountryText);
  platform_.SendMessageA(hwnd(), WM_SETICON, ICON_BIG, static_cast<LPARAM>(icon_));
  platform_.SendMessageA(hwnd(), WM_SETICON, ICON_SMALL, static_cast<LPARAM>(icon_));
  SetCaption(state_.AppTitleName);
  state_.IsNtFamily = IsNtFamilyOs(platform_);
  return TRUE;
}

bool StartDialog::OnCommand(int id, int notifyCode) {
  if (notifyCode != static_cast<int>(BN_CLICKED)) return false;
  if (id == IDC_COUNTRY_BUTTON) {
    OnCancel();
    return true;
  }
  if (id == IDC_TVSYSTEM_BUTTON) {
    OnOK();
    return true;
  }
  return false;
}

bool StartDialog::OnClose() {
  EndDialog(kClosedResult);
  // Not handled: the dialog manager's default processing follows (it would
  // cancel the page, but the page has already ended with 5).
  return false;
}

bool StartDialog::OnPaint() {
  if (!platform_.IsIconic(hwnd())) return false;
  PAINTSTRUCT paint = {};
  HDC dc = platform_.BeginPaint(hwnd(), &paint);
  platform_.SendMessageA(hwnd(), WM_ICONERASEBKGND, static_cast<WPARAM>(dc), 0);
  int iconWidth = platform_.GetSystemMetrics(SM_CXICON);
  int iconHeight = platform_.GetSystemMetrics(SM_CYICON);
  RECT client = {};
  platform_.GetClientRect(hwnd(), &client);
  int x = (client.right - client.left - iconWidth + 1) / 2;
  int y = (client.bottom - client.top - iconHeight + 1) / 2;
  platform_.DrawIcon(dc, x, y, icon_);
  platform_.EndPaint(hwnd(), &paint);
  return true;
}

HICON StartDialog::OnQueryDragIcon() { return icon_; }

}  // namespace cw
