// The text viewer shown first by the install run: pelbo.txt, "次へ" or "中止".
#pragma once
#include "win/controls.h"
#include "win/form.h"

namespace pv::setup {

class TViewDlg : public win::Form {
 public:
  TViewDlg();
  win::Memo& Memo1;
  win::Button& OKBtn;
  win::Button& CancelBtn;

  void FormActivate();

 private:
  bool loaded_ = false;
};

}  // namespace pv::setup
