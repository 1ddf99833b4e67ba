// Copy progress, shown without being modal while the install run copies.
#pragma once
#include "win/controls.h"
#include "win/form.h"

namespace pv::setup {

class TCopyDlg : public win::Form {
 public:
  TCopyDlg();
  win::Label& Label1;
  win::ProgressBar& ProgressBar1;
};

}  // namespace pv::setup
