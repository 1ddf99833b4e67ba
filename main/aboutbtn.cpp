// The About button: the about box.
#include "main/main.h"
#include "widgets/About.h"

namespace pv {

void TForm1::AboutBtnClick(win::Control&) { ShowAboutBox(); }

}  // namespace pv
