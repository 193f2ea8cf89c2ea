// The wizard's last page: restart now or later.
#pragma once

#include "framework/framework.h"
#include "record/wizard_state.h"

namespace cw {

// Its answer is RestartNow: 1 from the moment it opens ("yes" is
// preselected), then whatever radio button the user clicks last.
class RestartDialog : public CDialog {
 public:
  RestartDialog(Platform& platform, WizardState& state);

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int notifyCode) override;

 private:
  void OnYesClicked();
  void OnNoClicked();

  WizardState& state_;
};

// Restarts Windows: on NT after taking the shutdown privilege. 1 when the
// restart was asked for.
int32_t RestartSystem(Platform& platform, const WizardState& state);

}  // namespace cw
