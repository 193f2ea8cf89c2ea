#include "selection/standard_dialog.h"

#include "app/wizard_app.h"
#include "platform/win_constants.h"
#include "resource.h"
#include "selection/tv_standards.h"

namespace cw {

StandardDialog::StandardDialog(WizardApp& app)
    : CDialog(app.platform(), IDD_STANDARD_PAGE), app_(app) {}

BOOL StandardDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetCaption(app_.DialogVideoTitle);
  SetItemText(IDOK, app_.OKText);
  SetItemText(IDCANCEL, app_.CANCELText);
  SetItemText(IDC_SYSTEM_LABEL, app_.VideoFormatText);

  system_list_ = GetDlgItem(IDC_SYSTEM_LIST);
  platform_.SendMessageA(system_list_, LB_RESETCONTENT, 0, 0);
  for (int32_t i = 0; i < TvSystemChoiceCount(); ++i)
    platform_.SendMessageA(system_list_, LB_ADDSTRING, 0,
                           reinterpret_cast<LPARAM>(TvSystemChoiceAt(i)->listText));
  platform_.SendMessageA(system_list_, LB_SETCURSEL, 0, 0);

  name_box_ = GetDlgItem(IDC_SYSTEM_NAME);
  platform_.SetWindowTextA(name_box_, "NTSC");
  return TRUE;
}

bool StandardDialog::OnCommand(int id, int notifyCode) {
  if (id == IDC_SYSTEM_LIST && notifyCode == static_cast<int>(LBN_SELCHANGE)) {
    OnSelchangeSystemList();
    return true;
  }
  return false;
}

void StandardDialog::OnSelchangeSystemList() {
  LRESULT index = platform_.SendMessageA(GetDlgItem(IDC_SYSTEM_LIST), LB_GETCURSEL, 0, 0);
  const TvSystemChoice* choice = TvSystemChoiceAt(static_cast<int32_t>(index));
  if (choice != nullptr) platform_.SetWindowTextA(name_box_, choice->nameShown);
}

void StandardDialog::OnOK() {
  LRESULT index = platform_.SendMessageA(GetDlgItem(IDC_SYSTEM_LIST), LB_GETCURSEL, 0, 0);
  // The list opens with a selection that a single-selection list cannot
  // lose; should it have none all the same, nothing is recorded.
  const TvSystemChoice* choice = TvSystemChoiceAt(static_cast<int32_t>(index));
  if (choice != nullptr) {
    if (choice->setsVariant) app_.StandardVariant = kNicamIStandardVariant;
    app_.StandardIndex = choice->StandardIndex;
  }
  CDialog::OnOK();
}

}  // namespace cw
