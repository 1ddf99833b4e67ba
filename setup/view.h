// The installer's text viewer dialog.
#pragma once
#include "win/form.h"

namespace pv::setup {

class TViewDlg : public win::Form {
 public:
  TViewDlg();
  ~TViewDlg() override;
};

}  // namespace pv::setup
