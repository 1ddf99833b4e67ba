// The About button: the about box.
#include "main/main.h"

namespace pv {

void TForm1::AboutBtnClick(win::Control&) {
  // The about box is not part of this build yet.
}

}  // namespace pv
