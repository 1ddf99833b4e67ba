#include "widgets/SBDlg.h"

#include <objbase.h>
#include <ole2.h>
#include <shlobj.h>

#include <cstring>

#include "core/error.h"
#include "win/app.h"
#include "win/form.h"

namespace pv {

namespace {

constexpr std::size_t kPathBuffer = MAX_PATH + 1;  // 261 bytes

}  // namespace

TSBDialog::TSBDialog() = default;

void TSBDialog::setProperty(std::string_view name, std::string_view value) {
  if (name == "Directory") {
    directory_ = std::string(value);
  } else if (name == "Caption") {
    caption_ = std::string(value);
  } else if (name == "Options") {
    auto parsed = parseSBDlgOptions(value);
    if (!parsed) throw Error(this->name() + ".Options: " + std::string(value));
    options_ = *parsed;
  } else {
    Component::setProperty(name, value);
  }
}

bool TSBDialog::Execute() {
  HWND ownerWindow = nullptr;
  if (win::Form* f = owner()) {
    f->createHandle();
    ownerWindow = f->handle();
  }

  char displayName[kPathBuffer] = {};
  BROWSEINFOA bi;
  std::memset(&bi, 0, sizeof bi);
  bi.hwndOwner = ownerWindow;
  bi.pidlRoot = nullptr;  // the tree starts at the desktop
  bi.pszDisplayName = displayName;
  bi.lpszTitle = caption_.c_str();
  bi.ulFlags = browseFlags(options_);
  bi.lpfn = &TSBDialog::browseCallback;
  bi.lParam = reinterpret_cast<LPARAM>(this);
  bi.iImage = 0;

  // The resizable dialog style hosts OLE controls and needs OLE on this thread.
  const bool ole = options_.has(biNewStyle) && SUCCEEDED(::OleInitialize(nullptr));
  LPITEMIDLIST pidl = ::SHBrowseForFolderA(&bi);
  if (ole) ::OleUninitialize();
  if (!pidl) return false;

  // A selection without a file-system path (possible without biReturnOnlyFSDirs)
  // leaves the buffer empty, so Directory becomes empty rather than stale.
  char path[kPathBuffer] = {};
  ::SHGetPathFromIDListA(pidl, path);
  path[kPathBuffer - 1] = '\0';
  directory_ = path;
  ::CoTaskMemFree(pidl);  // the shell's task allocator
  return true;
}

int CALLBACK TSBDialog::browseCallback(HWND dialog, UINT msg, LPARAM, LPARAM data) {
  return win::guarded(0, [&] {
    auto* self = reinterpret_cast<TSBDialog*>(data);
    if (!self || msg != BFFM_INITIALIZED) return 0;
    if (auto path = browsePreselection(self->directory_))
      ::SendMessageA(dialog, BFFM_SETSELECTIONA, TRUE, reinterpret_cast<LPARAM>(path->c_str()));
    return 0;
  });
}

}  // namespace pv
