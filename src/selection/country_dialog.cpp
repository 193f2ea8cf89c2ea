#include "selection/country_dialog.h"

#include <string>

#include "platform/raii.h"
#include "platform/win_constants.h"
#include "resource.h"
#include "selection/country_table.h"
#include "system/windows_settings.h"

namespace cw {

CountryDialog::CountryDialog(Platform& platform, WizardState& state)
    : CDialog(platform, IDD_COUNTRY_PAGE), state_(state) {}

// The page reads the Windows country itself. When it cannot (or the value
// holds no digit) it preselects as for code 1.
int32_t CountryDialog::ReadWindowsCountryCode() {
  if ((platform_.GetVersion() & 0x80000000u) != 0)
    return static_cast<int32_t>(platform_.GetProfileIntA("intl", "iCountry", 1));
  return ReadNtCountrySetting(platform_);
}

void CountryDialog::FillCountryList(int32_t letter) {
  country_list_ = GetDlgItem(IDC_COUNTRY_LIST);
  platform_.SendMessageA(country_list_, LB_RESETCONTENT, 0, 0);
  for (const std::string& text : CountryRowsForLetter(letter))
    platform_.SendMessageA(country_list_, LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text.c_str()));
}

void CountryDialog::UpdateOkButton() {
  int32_t row = static_cast<int32_t>(platform_.SendMessageA(country_list_, LB_GETCURSEL, 0, 0));
  int32_t letter = static_cast<int32_t>(platform_.SendMessageA(letter_box_, CB_GETCURSEL, 0, 0));
  CountryValues values = {};
  platform_.EnableWindow(GetDlgItem(IDOK), CountryEntryValues(letter, row, &values) ? TRUE : FALSE);
}

BOOL CountryDialog::OnInitDialog() {
  CDialog::OnInitDialog();
  SetCaption(state_.DialogCountryTitle);
  SetItemText(IDOK, state_.OKText);
  SetItemText(IDCANCEL, state_.CANCELText);
  SetItemText(IDC_COUNTRY_TIP, state_.CountryAlphabetTip);

  int32_t code = ReadWindowsCountryCode();

  letter_box_ = GetDlgItem(IDC_LETTER_BOX);
  for (int32_t letter = 0; letter < 26; ++letter)
    platform_.SendMessageA(letter_box_, CB_ADDSTRING, 0,
                           reinterpret_cast<LPARAM>(CountryLetterText(letter)));
  int32_t letter = LetterForCountryCode(code);
  platform_.SendMessageA(letter_box_, CB_SETCURSEL, static_cast<WPARAM>(letter), 0);
  FillCountryList(letter);
  int32_t row = 0;
  if (RowForCountryCode(code, &row))
    platform_.SendMessageA(country_list_, LB_SETCURSEL, static_cast<WPARAM>(row), 0);
  UpdateOkButton();
  return TRUE;
}

bool CountryDialog::OnCommand(int id, int notifyCode) {
  if (id == IDC_LETTER_BOX && notifyCode == static_cast<int>(CBN_SELCHANGE)) {
    OnSelchangeLetterBox();
    return true;
  }
  if (id == IDC_COUNTRY_LIST && notifyCode == static_cast<int>(LBN_SELCHANGE)) {
    // Choosing a row changes nothing but whether OK can be pressed.
    UpdateOkButton();
    return true;
  }
  return false;
}

void CountryDialog::OnSelchangeLetterBox() {
  letter_box_ = GetDlgItem(IDC_LETTER_BOX);
  int32_t letter = static_cast<int32_t>(platform_.SendMessageA(letter_box_, CB_GETCURSEL, 0, 0));
  FillCountryList(letter);
  platform_.SendMessageA(country_list_, LB_SETCURSEL, 0, 0);
  UpdateOkButton();
}

void CountryDialog::OnOK() {
  int32_t row = static_cast<int32_t>(
      platform_.SendMessageA(GetDlgItem(IDC_COUNTRY_LIST), LB_GETCURSEL, 0, 0));
  int32_t letter = static_cast<int32_t>(
      platform_.SendMessageA(GetDlgItem(IDC_LETTER_BOX), CB_GETCURSEL, 0, 0));
  CountryValues values = {};
  // OK is disabled while there is no entry; should it arrive all the same,
  // the page stays open rather than let the writers store nothing chosen.
  if (!CountryEntryValues(letter, row, &values)) return;
  CDialog::OnOK();
  state_.StandardIndex = values.StandardIndex;
  state_.CountryCode = values.CountryCode;
}

}  // namespace cw
