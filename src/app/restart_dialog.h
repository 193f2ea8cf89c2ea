// The wizard's last page: restart now or later.
#pragma once

#include "framework/framework.h"

namespace cw {

class WizardApp;

// Its answer is RestartNow: 1 from the moment it opens ("yes" is
// preselected), then whatever radio button the user clicks last.
class RestartDialog : public CDialog {
 public:
  explicit RestartDialog(WizardApp& app);

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int notifyCode) override;

 private:
  void OnYesClicked();
  void OnNoClicked();

  WizardApp& app_;
};

}  // namespace cw
