#include "archive/Archive_wm.h"

namespace pv::arc {

namespace {
UINT g_arcExtract = 0;  // written on the GUI thread at start, read-only after
}

void RegisterArcExtractMessage() {
  if (g_arcExtract == 0) g_arcExtract = ::RegisterWindowMessageA("wm_arcextract");
}

UINT ArcExtractMessage() {
  RegisterArcExtractMessage();
  return g_arcExtract;
}

}  // namespace pv::arc
