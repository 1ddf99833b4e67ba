// The uninstall.
#include "setup/inst1.h"

namespace pv::setup {

void TForm1::Uninstall() {}

}  // namespace pv::setup
