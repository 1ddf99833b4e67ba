// The install run. For now it only asks for the folder; it ends the program on
// every path.
#include "setup/inst1.h"
#include "setup/inst2.h"
#include "setup/state.h"
#include "win/app.h"

namespace pv::setup {

void TForm1::Install() {
  SetDirDlg->showModal();
  win::app().terminate();
}

}  // namespace pv::setup
