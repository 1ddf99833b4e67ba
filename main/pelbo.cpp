// Program start of pelbo.exe: one instance only, then the main window.
#include <windows.h>

#include "archive/Archive_wm.h"
#include "pv_version.h"
#include "main/main.h"
#include "widgets/UxTheme.h"
#include "win/app.h"
#include "win/handle.h"

namespace {
const char* const kMutexName = "Sorvane_pelbo";
}

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Another instance holds the mutex: end at once, silently.
  if (HANDLE other = ::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kMutexName)) {
    ::CloseHandle(other);
    return 0;
  }
  pv::win::KernelHandle mutex(::CreateMutexA(nullptr, FALSE, kMutexName));

  // What must be in place before any form exists.
  pv::uxtheme::load();
  pv::arc::RegisterArcExtractMessage();

  int code = 0;
  try {
    auto& app = pv::win::app();
    app.initialize(instance);
    app.setTitle(PV_PRODUCT_NAME);
    auto form = pv::win::createForm<pv::TForm1>();
    app.setMainForm(form.get());
    code = app.run();
  } catch (...) {
    pv::win::app().handleException();
    code = 1;
  }
  ::ReleaseMutex(mutex.get());
  return code;
}
