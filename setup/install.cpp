// The install run: version test, text, folder, space, copies with progress,
// shortcuts, uninstall entry. Every path ends by terminating the application.
#include <windows.h>
#include <shlobj.h>

#include <cstdio>
#include <cstdlib>
#include <cctype>
#include <cstring>
#include <optional>
#include <string>
#include <vector>

#include "core/cmdline.h"
#include "core/path.h"
#include "core/sjis.h"
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
constexpr const char* kReservedFolder =
    "このフォルダにはインストールできません。\r\n"
    "Windows のフォルダ、システムのフォルダと\r\nセットアップのあるフォルダ以外を指定してください。";

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

namespace {

// The file version of the version resource (major.minor.build.revision in 64 bits);
// nothing for a file without one.
std::optional<std::uint64_t> fileVersion(const std::string& file) {
  DWORD ignored = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &ignored);
  if (size == 0) return std::nullopt;
  std::string data(size, '\0');
  if (!::GetFileVersionInfoA(file.c_str(), 0, size, data.data())) return std::nullopt;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT len = 0;
  if (!::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &len) || !info || len < sizeof *info ||
      info->dwSignature != VS_FFI_SIGNATURE)
    return std::nullopt;
  return (static_cast<std::uint64_t>(info->dwFileVersionMS) << 32) | info->dwFileVersionLS;
}

std::optional<std::uint64_t> fileSize(const std::string& file) {
  WIN32_FILE_ATTRIBUTE_DATA data{};
  if (!::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &data)) return std::nullopt;
  return (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
}

void clearReadOnly(const std::string& file) {
  const DWORD attrs = ::GetFileAttributesA(file.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES && (attrs & FILE_ATTRIBUTE_READONLY))
    ::SetFileAttributesA(file.c_str(), attrs & ~static_cast<DWORD>(FILE_ATTRIBUTE_READONLY));
}

// Whether the target already in place stays: a newer one does; one of the same
// version (or date) only when it is whole, that is of the source's size.
bool keepTarget(const std::string& source, const std::string& target) {
  const bool sameSize = fileSize(source) == fileSize(target);
  if (auto sourceVersion = fileVersion(source)) {
    const auto targetVersion = fileVersion(target);
    if (!targetVersion) return false;
    return *targetVersion > *sourceVersion || (*targetVersion == *sourceVersion && sameSize);
  }
  std::int32_t sourceTime = 0, targetTime = 0;
  if (!dosTime(source, sourceTime) || !dosTime(target, targetTime)) return false;
  return targetTime > sourceTime || (targetTime == sourceTime && sameSize);
}

// Copies to a temporary name in the target's folder and renames it only when the
// copy is whole, so that a full disk never leaves a truncated file under the real
// name (carrying the source's date, it would later pass for a good copy).
bool copyWhole(const std::string& source, const std::string& target) {
  const std::string temp = path::dirPart(target) + "~pv.tmp";
  clearReadOnly(temp);
  ::DeleteFileA(temp.c_str());
  if (!::CopyFileA(source.c_str(), temp.c_str(), FALSE)) {
    ::DeleteFileA(temp.c_str());
    return false;
  }
  // A release on a read-only medium must not give read-only installed files.
  clearReadOnly(temp);
  clearReadOnly(target);
  if (!::MoveFileExA(temp.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    ::DeleteFileA(temp.c_str());
    return false;
  }
  return true;
}

bool isDriveRootPath(const std::string& p) { return p.size() == 3 && p[1] == ':' && p[2] == '\\'; }

std::string systemFolder(UINT (WINAPI* get)(LPSTR, UINT)) {
  char buf[MAX_PATH] = {};
  const UINT n = get(buf, MAX_PATH);
  return n > 0 && n < MAX_PATH ? std::string(buf, n) : std::string();
}

// The real name of an existing folder (short 8.3 names spelt out), for comparing.
std::string longName(const std::string& folder) {
  char buf[MAX_PATH * 2] = {};
  const DWORD n = ::GetLongPathNameA(folder.c_str(), buf, sizeof buf);
  return n > 0 && n < sizeof buf ? std::string(buf, n) : folder;
}

// The folders of folder that do not exist yet, deepest first: what creating it adds.
std::vector<std::string> missingFolders(const std::string& folder) {
  std::vector<std::string> out;
  std::string p = folder;
  while (!p.empty() && !dirExists(p)) {
    out.push_back(p);
    const std::string dir = path::dirPart(p);
    if (dir.size() <= 3 || dir.size() >= p.size()) break;  // a drive root, or nothing left
    p = path::withoutTrailingBackslash(dir);
  }
  return out;
}

// Removes the folders this run created, deepest first, as far as they are empty.
void removeCreatedFolders(const std::vector<std::string>& created) {
  for (const std::string& f : created) ::RemoveDirectoryA(f.c_str());
}

// A deferred deleter still pending from an uninstall of this folder would delete
// the new installer at the next logon and leave an installation without one. Answers
// how many parent folders it was to remove: the uninstalled installation created
// them and the folder, and this one takes them over.
int cancelPendingDeleter() {
  RegKey key = RegKey::open(HKEY_LOCAL_MACHINE, kRunOnceKey, KEY_READ | KEY_WRITE);
  if (!key) return 0;
  const auto command = key.readString(kRegName);
  if (!command) return 0;
  std::vector<std::string> args = cmdline::splitProgramArgs(*command);
  int parents = 0;
  if (args.size() >= 3 && args[1] == "-p") {
    parents = std::atoi(args[2].c_str());
    args.erase(args.begin() + 1, args.begin() + 3);
  }
  if (args.size() >= 3 && args[1] == "-n" && SameFolder(args[2], InstallDir)) {
    key.deleteValue(kRegName);
    return parents;
  }
  return 0;
}

}  // namespace

bool CopyIfNewer(const std::string& source, const std::string& target) {
  if (!fileExists(source)) return false;
  if (fileExists(target) && keepTarget(source, target)) {
    clearReadOnly(target);
    return true;
  }
  return copyWhole(source, target);
}

std::string FullFolderPath(const std::string& text) {
  const bool drive = text.size() >= 3 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':' &&
                     text[2] == '\\';
  const bool unc = text.size() > 2 && text[0] == '\\' && text[1] == '\\';
  if (!drive && !unc) return {};
  char buf[MAX_PATH * 2] = {};
  const DWORD n = ::GetFullPathNameA(text.c_str(), sizeof buf, buf, nullptr);
  if (n == 0 || n >= sizeof buf) return {};
  std::string full(buf, n);
  if (!isDriveRootPath(full) && sjis::endsWithChar(full, '\\')) full = path::withoutTrailingBackslash(full);
  return full;
}

bool SameFolder(const std::string& a, const std::string& b) {
  const std::string fa = FullFolderPath(a), fb = FullFolderPath(b);
  if (fa.empty() || fb.empty()) return false;
  return ::lstrcmpiA(longName(fa).c_str(), longName(fb).c_str()) == 0;
}

bool ReservedFolder(const std::string& folder) {
  std::vector<std::string> reserved = {WinDir, systemFolder(&::GetSystemDirectoryA),
                                       systemFolder(&::GetSystemWow64DirectoryA), SetupFolder()};
  for (const std::string& r : reserved)
    if (!r.empty() && SameFolder(folder, r)) return true;
  return false;
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

  // Only a full path: a drive-relative "C:pelbo" would land beside wherever the
  // installer was started and be recorded so, and could never be uninstalled.
  InstallDir = FullFolderPath(SetDirDlg->InstDir.text());
  if (InstallDir.empty()) {
    errorBox(kNoFolder);
    return;
  }
  if (ReservedFolder(InstallDir)) {
    errorBox(kReservedFolder);
    return;
  }
  // A free space that cannot be read is no reason to refuse: the copy will tell.
  if ((!FreeSpaceUnknown && FreeClusters < NeededClusters) ||
      (DriveLetter != WinDrive && CheckWindowsDriveSpace())) {
    errorBox(kNoSpace);
    return;
  }

  std::vector<std::string> created = missingFolders(InstallDir);
  ::SHCreateDirectoryExA(nullptr, InstallDir.c_str(), nullptr);
  if (!dirExists(InstallDir)) {
    removeCreatedFolders(created);  // a path too long leaves its first levels behind
    errorBox(kNoFolder);
    return;
  }

  // Which program files an earlier installation here put in the folder itself.
  const std::string filesKey = std::string(kUninstallKey) + kRegName + "\\" + kInstalledFilesKey;
  bool ours[kProgramFileCount] = {}, oursBefore[kProgramFileCount] = {};
  if (RegKey earlier = Installed ? RegKey::open(HKEY_LOCAL_MACHINE, filesKey) : RegKey())
    for (int i = 0; i < kProgramFileCount; ++i) oursBefore[i] = earlier.valueExists(kProgramFiles[i]);

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
  auto copyFailed = [&] {
    CopyDlg->hide();
    removeCreatedFolders(created);
    errorBox(kCannotCopy);
  };
  const std::string from = SetupFolder();
  if (!CopyIfNewer(from + kDeleterFile, WinDir + "\\" + kDeleterFile)) return copyFailed();
  advance(FileSizes[0]);
  ::DeleteFileA((InstallDir + "\\" + kDeleterFile).c_str());
  for (int i = 0; i < kProgramFileCount; ++i) {
    const std::string target = InstallDir + "\\" + kProgramFiles[i];
    // Our own names are ours; the shared library only when this installation put it
    // there, now or before.
    ours[i] = i < kProgramFileCount - 1 || !fileExists(target) || oursBefore[i];
    if (!CopyIfNewer(from + kProgramFiles[i], target)) return copyFailed();
    advance(FileSizes[i + 1]);
  }
  // The program in place must be the one being installed, whatever its date said.
  if (ReadInstalledVersion(InstallDir) != SetupVersion) return copyFailed();
  CopyDlg->ProgressBar1.setPosition(100);
  CopyDlg->hide();
  if (const int parents = cancelPendingDeleter(); parents > 0 && created.empty()) {
    created.push_back(InstallDir);
    for (std::string p = InstallDir; static_cast<int>(created.size()) <= parents;) {
      const std::string dir = path::dirPart(p);
      if (dir.size() <= 3 || dir.size() >= p.size()) break;
      created.push_back(p = path::withoutTrailingBackslash(dir));
    }
  }

  AskShortcuts();
  if (ShortcutsChosen) {
    for (std::int32_t bit : {kShortcutPrograms, kShortcutStartup, kShortcutDesktop, kShortcutSendTo})
      if (ShortCutFlags & bit)
        CreateShortcut(InstallDir, kProgramFiles[1], kProductName, ShortcutFolder(bit, UseCommonFolders));
  }
  if (!WriteUninstallEntry()) return;
  // Beside the entry, not among its values: what the uninstall may delete.
  if (RegKey entry = RegKey::open(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + kRegName, KEY_READ | KEY_WRITE)) {
    entry.deleteSubKey(kInstalledFilesKey);
    if (RegKey files = entry.createSub(kInstalledFilesKey))
      for (int i = 0; i < kProgramFileCount; ++i)
        if (ours[i]) files.writeDword(kProgramFiles[i], 1);
    // An update in place creates nothing, and the folders the first installation
    // made are still its own; any other install replaces the record.
    if (!created.empty() || !Installed || !SameFolder(InstalledDir, InstallDir)) {
      entry.deleteSubKey(kCreatedFoldersKey);
      if (!created.empty())
        if (RegKey folders = entry.createSub(kCreatedFoldersKey))
          for (const std::string& f : created) folders.writeDword(f, 1);
    }
  }
  messageBox("インストールが終了しました。", kTitleInfo, MB_OK | MB_ICONINFORMATION);
}

}  // namespace pv::setup
