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
};

}  // namespace pv::setup
