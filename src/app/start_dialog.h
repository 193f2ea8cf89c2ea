// The wizard's first page: what the wizard will do, and the two ways on.
#pragma once

#include "framework/framework.h"
#include "record/wizard_state.h"

namespace cw {

// Results: 1 "TV System" (or Enter), 2 "Country" (or Esc), 5 closed by the
// close box, -1 when the page cannot be created.
class StartDialog : public CDialog {
 public:
  StartDialog(Platform& platform, WizardState& state);

  static constexpr INT_PTR kClosedResult = 5;

 protected:
  BOOL OnInitDialog() override;
  bool OnCommand(int id, int notifyCode) override;
  bool OnClose() override;
  bool OnPaint() override;
  HICON OnQueryDragIcon() override;

 private:
  WizardState& state_;
  HICON icon_;
};

}  // namespace cw
