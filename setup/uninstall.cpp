// The uninstall: program files, registry entries and shortcuts now; the installer
// itself and the folder at the next logon, by the deferred deleter.
#include <windows.h>

#include <iterator>
#include <string>
#include <vector>

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

void clearReadOnly(const std::string& file) {
  const DWORD attrs = ::GetFileAttributesA(file.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY))
    ::SetFileAttributesA(file.c_str(), attrs & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

// False when the file is still there afterwards; read-only copies (from a release on
// a read-only medium) are deleted too.
bool deleteOurFile(const std::string& file) {
  if (::GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES) return true;
  clearReadOnly(file);
  ::DeleteFileA(file.c_str());
  return ::GetFileAttributesA(file.c_str()) == INVALID_FILE_ATTRIBUTES;
}

void deleteKey(HKEY root, const std::string& parent, const std::string& name) {
  if (RegKey key = RegKey::open(root, parent, KEY_READ | KEY_WRITE)) key.deleteSubKey(name);
}

// How many folders above the installation folder this installation created: the
// recorded parents one after the other, as long as the installation folder itself
// was created. The deleter may remove that many once they are empty.
int createdParents() {
  RegKey record =
      RegKey::open(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + kRegName + "\\" + kCreatedFoldersKey);
  if (!record || !record.valueExists(InstalledDir)) return 0;
  int count = 0;
  for (std::string p = InstalledDir;;) {
    const std::string dir = path::dirPart(p);
    if (dir.size() <= 3 || dir.size() >= p.size()) break;  // a drive root is never ours
    p = path::withoutTrailingBackslash(dir);
    if (!record.valueExists(p)) break;
    ++count;
  }
  return count;
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
  // Only what this installation put in the folder: a program file that was already
  // there (a shared unlha32.dll) belongs to someone else. An installation made
  // before the record was kept counts its own names only.
  std::vector<std::string> names;
  {
    RegKey record = RegKey::open(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + kRegName + "\\" + kInstalledFilesKey);
    for (int i = 1; i < kProgramFileCount; ++i)
      if (record ? record.valueExists(kProgramFiles[i]) : i < kProgramFileCount - 1) names.push_back(kProgramFiles[i]);
  }
  names.insert(names.end(), std::begin(kLeftFiles), std::end(kLeftFiles));
  const int parents = createdParents();  // read before the entry goes
  std::vector<std::string> left;
  for (const std::string& name : names) {
    const std::string file = InstalledDir + "\\" + name;
    if (!deleteOurFile(file)) left.push_back(name);
  }
  // The installer itself stays: it is running. The deferred deleter takes it, and
  // could not if it were read-only.
  clearReadOnly(InstalledDir + "\\" + kProgramFiles[0]);

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
    // Parent folders this installation created go too once the folder has gone.
    const std::string command = std::string("Lazerase ") +
                                (parents > 0 ? "-p " + std::to_string(parents) + " " : std::string()) + "-n \"" +
                                InstalledDir + "\" " + kProgramFiles[0];
    if (!key.writeString(kRegName, command)) {
      messageBox(std::string("'") + kRegName + "' の設定に失敗しました", kTitleError, MB_OK | MB_ICONERROR);
      app().terminate();
      return;
    }
  }
  // What stays must not pass for removed.
  std::string text = "アンインストールが終了しました。\r\n次回起動時に完全削除されます。";
  if (!left.empty()) {
    text += "\r\n\r\n次のファイルは削除できませんでした。\r\n" + InstalledDir;
    for (const std::string& name : left) text += "\r\n  " + name;
  }
  messageBox(text, kTitleInfo, left.empty() ? MB_OK | MB_ICONINFORMATION : MB_OK | MB_ICONWARNING);
}

}  // namespace pv::setup
