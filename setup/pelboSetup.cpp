// Program start of pelboSetup.exe: refuses to run beside another installer or the
// running main program, reads the version it installs, creates its five forms and
// runs the message loop; the background window's first activation does the work.
#include <windows.h>
#include <objbase.h>

#include <memory>
#include <string>

#include "setup/inst1.h"
#include "setup/inst2.h"
#include "setup/inst3.h"
#include "setup/inst4.h"
#include "setup/state.h"
#include "setup/view.h"
#include "widgets/UxTheme.h"
#include "win/app.h"
#include "win/dialogs.h"

namespace {

// Shortcuts are made through COM; it stays initialised for the whole process.
struct ComScope {
  ComScope() { ::CoInitialize(nullptr); }
  ~ComScope() { ::CoUninitialize(); }
};

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  using namespace pv::setup;
  ComScope com;

  if (HWND other = ::FindWindowA("TApplication", kSetupTitle)) {
    ::ShowWindow(other, SW_RESTORE);
    return 0;
  }
  if (HANDLE mutex = ::OpenMutexA(MUTEX_ALL_ACCESS, FALSE, kRegName)) {
    ::MessageBoxA(nullptr,
                  (std::string(kProductName) +
                   " が実行中です。終了してからセットアッププログラムを再実行してください。")
                      .c_str(),
                  kTitleError, MB_OK | MB_ICONERROR);
    ::CloseHandle(mutex);
    return 0;
  }
  if (!ReadSetupVersion()) return 0;

  pv::uxtheme::load();
  int code = 0;
  try {
    auto& app = pv::win::app();
    app.initialize(instance);
    // The main form first: the dialogs made after it are owned by it.
    auto form1 = std::make_unique<TForm1>();
    app.setMainForm(form1.get());
    Form1 = form1.get();
    form1->build();
    auto setDirDlg = pv::win::createForm<TSetDirDlg>();
    SetDirDlg = setDirDlg.get();
    auto copyDlg = pv::win::createForm<TCopyDlg>();
    CopyDlg = copyDlg.get();
    auto viewDlg = pv::win::createForm<TViewDlg>();
    ViewDlg = viewDlg.get();
    auto sCutDlg = pv::win::createForm<TSCutDlg>();
    SCutDlg = sCutDlg.get();
    code = app.run();
  } catch (...) {
    pv::win::app().handleException();
    code = 1;
  }
  return code;
}
