// The Settings button (and a double click in the list): the settings dialog of
// the selected definition.
#include "main/envset.h"
#include "main/main.h"

namespace pv {

void TForm1::EnvBtnClick(win::Control&) {
  const int i = BDList.itemIndex();
  if (i < 0) return;
  TBuckup* rec = record(i);
  if (!rec) return;
  // A confirmed dialog counts as a change whether or not anything differs.
  if (editDefinition(*rec)) Modified = true;
}

}  // namespace pv
