// The installer's copy progress dialog.
#pragma once
#include "win/form.h"

namespace pv::setup {

class TCopyDlg : public win::Form {
 public:
  TCopyDlg();
  ~TCopyDlg() override;
};

}  // namespace pv::setup
