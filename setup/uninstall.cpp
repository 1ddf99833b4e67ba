// The uninstall: program files, registry entries and shortcuts now; the installer
// itself and the folder at the next logon, by the deferred deleter.
#include <windows.h>

#include <string>

#include "core/path.h"
#include "setup/inst1.h"
#include "setup/shortcut.h"
#include "setup/state.h"
#include "win/app.h"
#include "win/dialogs.h"
#include "win/registry.h"

namespace pv::setup {

using namespace win;

namespace {

// Removed at once besides the program files: the index WinHelp leaves beside the help
// file, and the definitions.
const char* const kLeftFiles[] = {"pelbo.gid", "pelbo.dat"};

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
  if (messageBox("アンインストールを実行してもよろしいですか？", kTitleConfirm, MB_OKCANCEL | MB_ICONQUESTION) !=
      IDOK) {
    app().terminate();
    return;
  }
  // The installer itself stays: it is running. The deferred deleter takes it.
  for (int i = 1; i < kProgramFileCount; ++i) ::DeleteFileA((InstalledDir + "\\" + kProgramFiles[i]).c_str());
  for (const char* name : kLeftFiles) ::DeleteFileA((InstalledDir + "\\" + name).c_str());

  const std::string maker = path::withoutTrailingBackslash(kUserKey);
  deleteKey(HKEY_CURRENT_USER, maker, kShortName);
  // The maker's key goes too once nothing of ours or anyone else's is left in it.
  bool makerEmpty = false;
  if (RegKey key = RegKey::open(HKEY_CURRENT_USER, maker))
    makerEmpty = key.subKeyNames().empty() && key.valueNames().empty();
  if (makerEmpty)
    deleteKey(HKEY_CURRENT_USER, path::withoutTrailingBackslash(path::dirPart(maker)), path::namePart(maker));
  deleteKey(HKEY_LOCAL_MACHINE, path::withoutTrailingBackslash(kUninstallKey), kRegName);
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
  messageBox("アンインストールが終了しました。\r\n次回起動時に完全削除されます。", kTitleInfo,
             MB_OK | MB_ICONINFORMATION);
}

}  // namespace pv::setup
