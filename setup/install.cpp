// The install run: version test, text, folder, space, copies with progress,
// shortcuts, uninstall entry. Every path ends by terminating the application.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstring>
#include <string>

#include "pv_version.h"
#include "setup/inst1.h"
#include "setup/inst2.h"
#include "setup/inst3.h"
#include "setup/inst4.h"
#include "setup/install.h"
#include "setup/shortcut.h"
#include "setup/state.h"
#include "setup/view.h"
#include "win/app.h"
#include "win/dialogs.h"
#include "win/files.h"
#include "win/registry.h"

namespace pv::setup {

using namespace win;

namespace {

constexpr const char* kNoSpace = "ディスクの空き領域が足りません";
constexpr const char* kNoFolder = "フォルダが作成できませんでした。";
constexpr const char* kCannotCopy = "ファイルがコピーできません。";

void errorBox(const std::string& text) { messageBox(text, kTitleError, MB_OK | MB_ICONERROR); }

// Last-write time as a local DOS date (high word) and time, compared as a signed
// number; nothing when the file is missing or its date has no DOS form.
bool dosTime(const std::string& file, std::int32_t& out) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data)) return false;
  FILETIME local{};
  WORD date = 0, time = 0;
  if (!::FileTimeToLocalFileTime(&data.ftLastWriteTime, &local) || !::FileTimeToDosDateTime(&local, &date, &time))
    return false;
  out = static_cast<std::int32_t>((static_cast<std::uint32_t>(date) << 16) | time);
  return true;
}

// Sum of the clusters the program files take in clusters of clusterSize bytes.
std::uint32_t programClusters(std::uint32_t clusterSize) {
  std::uint32_t sum = 0;
  for (int i = 1; i <= kProgramFileCount; ++i) sum += ClustersOf(FileSizes[i], clusterSize);
  return sum;
}

// Free bytes of a fixed drive in clusters; 0 for any other kind of drive.
std::uint32_t freeClustersOf(const std::string& root, std::uint32_t clusterSize) {
  if (::GetDriveTypeA(root.c_str()) != DRIVE_FIXED || clusterSize == 0) return 0;
  ULARGE_INTEGER avail{}, total{}, totalFree{};
  if (!::GetDiskFreeSpaceExA(root.c_str(), &avail, &total, &totalFree)) return 0;
  return static_cast<std::uint32_t>(totalFree.QuadPart / clusterSize);
}

// A value of the uninstall entry or the cache record that cannot be set ends the
// run with the value's name; a half-written entry must not be reported as installed.
struct ValueFailed {
  std::string name;
};
void check(bool ok, const char* name) {
  if (!ok) throw ValueFailed{name};
}

std::string versionText() {
  char buf[32];
  std::snprintf(buf, sizeof buf, "%.2f", SetupVersion / 100.0);
  return buf;
}

// The 552-byte record the system's list of programs reads its figures from.
std::string slowInfoCache() {
  std::string rec(552, '\0');
  auto put32 = [&](std::size_t at, std::uint32_t v) { std::memcpy(&rec[at], &v, 4); };
  put32(0, 552);
  put32(4, 1);
  put32(8, ClusterSize * FileClusters);  // the high half stays 0
  SYSTEMTIME now{};
  ::GetLocalTime(&now);
  FILETIME ft{};
  ::SystemTimeToFileTime(&now, &ft);
  std::memcpy(&rec[16], &ft, 8);
  put32(24, 0xFFFFFFFFu);
  const std::string exe = InstallDir + "\\" + kProgramFiles[1];
  WCHAR wide[256] = {};
  if (::MultiByteToWideChar(CP_ACP, 0, exe.c_str(), -1, wide, 256) == 0) wide[0] = 0;
  wide[255] = 0;
  std::memcpy(&rec[28], wide, sizeof wide);
  return rec;
}

}  // namespace

bool CheckWindowsDriveSpace() {
  const std::string root = std::string(1, WinDrive) + ":\\";
  DWORD sectors = 0, bytes = 0, freeCl = 0, totalCl = 0;
  if (::GetDiskFreeSpaceA(root.c_str(), &sectors, &bytes, &freeCl, &totalCl)) {
    ClusterSize = sectors * bytes;
    FreeClusters = freeCl;
  } else {
    FreeClusters = 0;
  }
  NeededClusters = FileClusters = programClusters(ClusterSize);
  if (DriveLetter != 0) FreeClusters = freeClustersOf(root, ClusterSize);
  return FreeClusters < NeededClusters;
}

bool CopyIfNewer(const std::string& source, const std::string& target) {
  std::int32_t sourceTime = 0, targetTime = 0;
  if (!fileExists(source)) return false;
  const bool sourceDated = dosTime(source, sourceTime);
  if (fileExists(target) && sourceDated && dosTime(target, targetTime) && targetTime >= sourceTime) return true;
  return ::CopyFileA(source.c_str(), target.c_str(), FALSE) != 0;
}

void AskShortcuts() {
  if (InstalledVersion != 0) return;
  SCutDlg->showModal();
  ShortcutsChosen = true;
  if (SCutDlg->ProgBox.checked()) ShortCutFlags |= kShortcutPrograms;
  if (SCutDlg->DeskBox.checked()) ShortCutFlags |= kShortcutDesktop;
}

bool WriteUninstallEntry() {
  try {
    if (RegKey key = RegKey::create(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + kRegName)) {
      check(key.writeString("DisplayName", kProductName), "DisplayName");
      check(key.writeString("Publisher", PV_MAKER_NAME), "Publisher");
      check(key.writeExpandString("InstallLocation", InstallDir), "InstallLocation");
      // Quoted: a folder with blanks would otherwise start the wrong program.
      check(key.writeExpandString("UninstallString", "\"" + InstallDir + "\\" + kProgramFiles[0] + "\" /r"),
            "UninstallString");
      check(key.writeString("DisplayVersion", versionText()), "DisplayVersion");
      check(key.writeDword("VersionMajor", static_cast<DWORD>(SetupMajor)), "VersionMajor");
      check(key.writeDword("VersionMinor", static_cast<DWORD>(SetupMinor)), "VersionMinor");
      check(key.writeString("URLUpdateInfo", PV_HOME_URL), "URLUpdateInfo");
      check(key.writeString("HelpLink", PV_FAQ_URL), "HelpLink");
      check(key.writeDword("ShortCut", static_cast<DWORD>(ShortCutFlags)), "ShortCut");
    }
    if (RegKey::open(HKEY_LOCAL_MACHINE, kARPCacheKey)) {
      if (RegKey key = RegKey::create(HKEY_LOCAL_MACHINE, std::string(kARPCacheKey) + "\\" + kRegName)) {
        check(key.writeDword("Changed", 0), "Changed");
        const std::string rec = slowInfoCache();
        check(key.writeBinary("SlowInfoCache", rec.data(), static_cast<DWORD>(rec.size())), "SlowInfoCache");
      }
    }
  } catch (const ValueFailed& f) {
    errorBox("'" + f.name + "' の設定に失敗しました");
    return false;
  }
  return true;
}

void TForm1::Install() {
  struct Stop {
    ~Stop() { app().terminate(); }
  } stop;

  if (InstalledVersion >= SetupVersion) {
    messageBox("最新バージョンがインストールされています。", kTitleConfirm, MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (ViewDlg->showModal() != mrOk) return;
  if (!Installed && SetDirDlg->showModal() != mrOk) return;
  if (FreeClusters < NeededClusters || (DriveLetter != WinDrive && CheckWindowsDriveSpace())) {
    errorBox(kNoSpace);
    return;
  }

  InstallDir = SetDirDlg->InstDir.text();
  if (!InstallDir.empty()) ::SHCreateDirectoryExA(nullptr, InstallDir.c_str(), nullptr);
  if (InstallDir.empty() || !dirExists(InstallDir)) {
    errorBox(kNoFolder);
    return;
  }

  CopyDlg->show();
  app().processMessages();
  // The bar moves after each copy by that file's share, the deleter's included,
  // and so ends exactly full.
  std::int64_t total = 0, done = 0;
  for (std::int32_t size : FileSizes) total += size;
  auto advance = [&](std::int32_t size) {
    done += size;
    CopyDlg->ProgressBar1.setPosition(total > 0 ? static_cast<int>(done * 100 / total) : 100);
    CopyDlg->ProgressBar1.update();  // no messages are handled while copying
  };
  auto copyFailed = [] {
    CopyDlg->hide();
    errorBox(kCannotCopy);
  };
  const std::string from = SetupFolder();
  if (!CopyIfNewer(from + kDeleterFile, WinDir + "\\" + kDeleterFile)) return copyFailed();
  advance(FileSizes[0]);
  ::DeleteFileA((InstallDir + "\\" + kDeleterFile).c_str());
  for (int i = 0; i < kProgramFileCount; ++i) {
    if (!CopyIfNewer(from + kProgramFiles[i], InstallDir + "\\" + kProgramFiles[i])) return copyFailed();
    advance(FileSizes[i + 1]);
  }
  CopyDlg->ProgressBar1.setPosition(100);
  CopyDlg->hide();

  AskShortcuts();
  if (ShortcutsChosen) {
    for (std::int32_t bit : {kShortcutPrograms, kShortcutStartup, kShortcutDesktop, kShortcutSendTo})
      if (ShortCutFlags & bit)
        CreateShortcut(InstallDir, kProgramFiles[1], kProductName, ShortcutFolder(bit, UseCommonFolders));
  }
  if (!WriteUninstallEntry()) return;
  messageBox("インストールが終了しました。", kTitleInfo, MB_OK | MB_ICONINFORMATION);
}

}  // namespace pv::setup
