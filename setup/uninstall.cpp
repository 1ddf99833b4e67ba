// The uninstall: program files, registry entries and shortcuts now; the installer
// itself and the folder at the next logon, by the deferred deleter.
#include <windows.h>

#include <string>

#include "pv_version.h"
#include "setup/inst1.h"
#include "setup/shortcut.h"
#include "setup/state.h"
#include "win/app.h"
#include "win/dialogs.h"
#include "win/registry.h"

namespace pv::setup {

using namespace win;

namespace {

// Removed at once; pelbo.gid is the help index WinHelp leaves, pelbo.dat the definitions.
const char* const kRemovedFiles[] = {"pelbo.exe", "pelbo.hlp", "pelbo.cnt", "pelbo.gid", "pelbo.dat", "unlha32.dll"};

void deleteKey(HKEY root, const std::string& parent, const std::string& name) {
  if (RegKey key = RegKey::open(root, parent, KEY_READ | KEY_WRITE)) key.deleteSubKey(name);
}

}  // namespace

void TForm1::Uninstall() {
  if (InstalledDir.empty()) {
    messageBox("インストールされていません。", kTitleError, MB_OK | MB_ICONERROR);
    app().terminate();
    return;
  }
  if (messageBox("アンインストールを実行してもよろしいですか？", kTitleConfirm, MB_OKCANCEL | MB_ICONQUESTION) != IDOK) {
    app().terminate();
    return;
  }
  for (const char* name : kRemovedFiles) ::DeleteFileA((InstalledDir + "\\" + name).c_str());

  deleteKey(HKEY_CURRENT_USER, kMakerKey, kShortName);
  // The maker's key goes too once nothing of ours or anyone else's is left in it.
  bool makerEmpty = false;
  if (RegKey maker = RegKey::open(HKEY_CURRENT_USER, kMakerKey))
    makerEmpty = maker.subKeyNames().empty() && maker.valueNames().empty();
  if (makerEmpty) deleteKey(HKEY_CURRENT_USER, "software", PV_MAKER_NAME);
  deleteKey(HKEY_LOCAL_MACHINE, kUninstallKey, kRegName);
  deleteKey(HKEY_LOCAL_MACHINE, kARPCacheKey, kRegName);

  for (std::int32_t bit : {kShortcutPrograms, kShortcutStartup, kShortcutDesktop, kShortcutSendTo})
    if (ShortCutFlags & bit) DeleteShortcut(kProductName, ShortcutFolder(bit, UseCommonFolders));

  // The folder in quotes reaches the deleter as one argument, blanks and all.
  if (RegKey key = RegKey::create(HKEY_LOCAL_MACHINE, kRunOnceKey)) {
    const std::string command = "Lazerase -n \"" + InstalledDir + "\" " + kProgramFiles[0];
    if (!key.writeString(kRegName, command)) {
      messageBox(std::string("'") + kRegName + "' の設定に失敗しました", kTitleError, MB_OK | MB_ICONERROR);
      app().terminate();
      return;
    }
  }
  messageBox("アンインストールが終了しました。\r\n次回起動時に完全削除されます。", kTitleInfo, MB_OK | MB_ICONINFORMATION);
}

}  // namespace pv::setup
