#include "selection/standard_dialog.h"

#include "platform/win_constants.h"
#include "resource.h"
#include "selection/tv_standards.h"

namespace cw {

StandardDialog::StandardDialog(Platform& platform, WizardState& state)
    : CDialog(platform, IDD_STANDARD_PAGE), state_(state) {}

BOOL StandardDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetCaption(state_.DialogVideoTitle);
  SetItemText(IDOK, state_.OKText);
  SetItemText(IDCANCEL, state_.CANCELText);
  SetItemText(IDC_SYSTEM_LABEL, state_.VideoFormatText);

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
    if (choice->setsVariant) state_.StandardVariant = kNicamIStandardVariant;
    state_.StandardIndex = choice->StandardIndex;
  }
  CDialog::OnOK();
}

}  // namespace cw
