// The country page: a letter, then a country of that letter.
#pragma once

#include "framework/framework.h"
#include "record/wizard_state.h"

namespace cw {

// Opens on the Windows country's letter and entry. On OK records the
// entry's StandardIndex, then its CountryCode. OK is enabled only while the
// current letter and row name an entry, so nothing unchosen is recorded.
class CountryDialog : public CDialog {
 public:
  CountryDialog(Platform& platform, WizardState& state);

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(int id, int notifyCode) override;

 private:
  void OnSelchangeLetterBox();
  void FillCountryList(int32_t letter);
  void UpdateOkButton();
  int32_t ReadWindowsCountryCode();

  WizardState& state_;
  HWND letter_box_ = HWND(0);
  HWND country_list_ = HWND(0);
};

}  // namespace cw
