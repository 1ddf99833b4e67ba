// The installer's shortcut choices dialog.
#pragma once
#include "win/form.h"

namespace pv::setup {

class TSCutDlg : public win::Form {
 public:
  TSCutDlg();
  ~TSCutDlg() override;
};

}  // namespace pv::setup
