// The shortcut choices of a first installation: Start menu and desktop.
#pragma once
#include "win/controls.h"
#include "win/form.h"

namespace pv::setup {

class TSCutDlg : public win::Form {
 public:
  TSCutDlg();
  win::CheckBox& ProgBox;
  win::CheckBox& DeskBox;
  win::Button& OKBtn;

 protected:
  void createParams(CreateParams& p) override;
};

}  // namespace pv::setup
