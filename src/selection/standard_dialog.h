// The TV system page: twelve systems to choose from.
#pragma once

#include "framework/framework.h"
#include "record/wizard_state.h"

namespace cw {

// On OK records StandardIndex (and StandardVariant 5 for "PAL DK (NICAM I)");
// never touches CountryCode.
class StandardDialog : public CDialog {
 public:
  StandardDialog(Platform& platform, WizardState& state);

 protected:
  BOOL OnInitDialog() override;
  void OnOK() override;
  bool OnCommand(int id, int notifyCode) override;

 private:
  void OnSelchangeSystemList();

  WizardState& state_;
  HWND system_list_ = HWND(0);
  HWND name_box_ = HWND(0);
};

}  // namespace cw
