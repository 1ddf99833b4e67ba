#include "setup/inst2.h"

#include <cstdio>
#include <cstdlib>

#include "core/path.h"
#include "core/setupver.h"
#include "setup/inst1.h"
#include "setup/state.h"
#include "win/files.h"
#include "win/registry.h"

namespace pv::setup {
namespace {

using win::ControlDesc;
using win::Kind;
namespace opt = win::opt;
namespace formopt = win::formopt;

const win::FormDesc kSetDirDlg = {
    "SetDirDlg", "インストール準備", 0, 0, 299, 136,
    formopt::ToolWindow | formopt::NoSysMenu | formopt::StayOnTop | formopt::ScreenCentre | formopt::ClientSize,
    {"MS UI Gothic", 12}};

const ControlDesc kSetDirControls[] = {
    {.kind = Kind::Label, .name = "Label1", .parent = nullptr, .left = 12, .top = 12, .width = 275, .height = 14,
     .caption = "インストールするフォルダを指定して下さい。"},
    {.kind = Kind::Edit, .name = "InstDir", .parent = nullptr, .left = 12, .top = 32, .width = 206, .height = 21},
    {.kind = Kind::Button, .name = "Button1", .parent = nullptr, .left = 224, .top = 31, .width = 63, .height = 23,
     .caption = "検索..."},
    {.kind = Kind::Label, .name = "Label2", .parent = nullptr, .left = 12, .top = 64, .width = 84, .height = 14,
     .caption = "必要ﾃﾞｨｽｸ容量"},
    {.kind = Kind::Label, .name = "IDS", .parent = nullptr, .left = 100, .top = 64, .width = 110, .height = 14,
     .flags = opt::Right},
    {.kind = Kind::Label, .name = "Label3", .parent = nullptr, .left = 12, .top = 82, .width = 84, .height = 14,
     .caption = "空きﾃﾞｨｽｸ容量"},
    {.kind = Kind::Label, .name = "FDS", .parent = nullptr, .left = 100, .top = 82, .width = 110, .height = 14,
     .flags = opt::Right},
    // Not the default button: Enter in the folder field must not start the install.
    {.kind = Kind::Button, .name = "OKBtn", .parent = nullptr, .left = 130, .top = 104, .width = 75, .height = 23,
     .caption = "次へ"},
    {.kind = Kind::Button, .name = "CancelBtn", .parent = nullptr, .left = 212, .top = 104, .width = 75, .height = 23,
     .caption = "中止", .flags = opt::Cancel},
    {.kind = Kind::Component, .name = "FolderDialog1", .parent = nullptr, .left = 0, .top = 0, .width = 0, .height = 0,
     .factory = &win::create<TSBDialog>,
     .props = "Caption=インストール先の選択;Options=[biReturnOnlyFSDirs, biNewStyle]"},
};

std::string megabytes(std::uint32_t clusters, std::uint32_t clusterSize) {
  char text[64];
  std::snprintf(text, sizeof text, "%8.2f Mバイト", clusters / 1024.0 / 1024.0 * clusterSize);
  return text;
}

}  // namespace

std::uint32_t ClustersOf(std::int32_t size, std::uint32_t clusterSize) {
  if (clusterSize == 0) return 1;
  return static_cast<std::uint32_t>(size) / clusterSize + 1;
}

std::int32_t ReadInstalledVersion(const std::string& folder) {
  std::string exe = folder;
  if (!path::namePart(exe).empty()) exe += '\\';
  exe += kProgramFiles[1];
  if (!win::fileExists(exe)) return 0;
  const std::string text = ReadProductVersion(exe);
  if (text.empty()) return 0;
  return setupver::parseInstalledVersion(text);
}

TSetDirDlg::TSetDirDlg()
    : Form(kSetDirDlg, kSetDirControls),
      Label1(find<win::Label>("Label1")),
      InstDir(find<win::Edit>("InstDir")),
      Button1(find<win::Button>("Button1")),
      Label2(find<win::Label>("Label2")),
      IDS(find<win::Label>("IDS")),
      Label3(find<win::Label>("Label3")),
      FDS(find<win::Label>("FDS")),
      OKBtn(find<win::Button>("OKBtn")),
      CancelBtn(find<win::Button>("CancelBtn")),
      FolderDialog1(find<TSBDialog>("FolderDialog1")) {
  OKBtn.setModalResult(win::mrOk);
  onCreate(&TSetDirDlg::LookUpInstallation);
  on("InstDir", win::Change, &TSetDirDlg::InstDirChange);
  on("Button1", win::Click, &TSetDirDlg::Button1Click);
}

TSetDirDlg::~TSetDirDlg() { destroyForm(); }

void TSetDirDlg::LookUpInstallation() {
  std::string folder;
  // Read only: asking for more needs rights a normal user lacks, and creating the
  // key would leave an empty uninstall entry behind.
  if (win::RegKey key = win::RegKey::open(HKEY_LOCAL_MACHINE, std::string(kUninstallKey) + kRegName)) {
    folder = key.readString("InstallLocation").value_or("");
    if (auto flags = key.readDword("ShortCut")) ShortCutFlags = static_cast<std::int32_t>(*flags);
  }
  if (folder.empty()) {
    ShortCutFlags = 0;
    if (win::RegKey key = win::RegKey::create(HKEY_CURRENT_USER, std::string(kUserKey) + kShortName)) {
      if (win::RegKey install = key.openSub("Install")) {
        folder = install.readString("Dir").value_or("");
        const std::string flags = install.readString("ShortCut").value_or("");
        char* end = nullptr;
        const long n = flags.empty() ? 0 : std::strtol(flags.c_str(), &end, 10);
        ShortCutFlags = (!flags.empty() && end && *end == '\0') ? static_cast<std::int32_t>(n) : 0;
      }
    }
  }
  InstalledDir = folder;
  if (!InstalledDir.empty()) {
    InstalledVersion = ReadInstalledVersion(InstalledDir);
    if (InstalledVersion <= 0) {
      InstalledDir.clear();
    } else {
      Installed = true;
      InstDir.setText(InstalledDir);
      DriveLetter = InstalledDir[0];
    }
  }
  if (InstalledDir.empty()) {
    InstDir.setText(std::string(1, WinDrive) + ":\\Program Files\\" + kShortName);
    DriveLetter = WinDrive;
  }
  UpdateSpaceFigures();
}

void TSetDirDlg::UpdateSpaceFigures() {
  const std::string root = std::string(1, DriveLetter) + ":\\";
  // Any drive that exists is asked, not only fixed disks: a network drive tells its
  // free space too. One that does not is refused as having none.
  const UINT type = DriveLetter != 0 ? ::GetDriveTypeA(root.c_str()) : DRIVE_UNKNOWN;
  const bool measured = DriveLetter != 0 && type != DRIVE_NO_ROOT_DIR && type != DRIVE_UNKNOWN;
  bool unreadable = false;
  DWORD sectors = 0, bytes = 0, free = 0, total = 0;
  if (DriveLetter == 0) {
    // No drive named: the current drive.
    if (!::GetDiskFreeSpaceA(nullptr, &sectors, &bytes, &free, &total)) free = 0;
    FreeClusters = free;
  } else if (measured) {
    if (!::GetDiskFreeSpaceA(root.c_str(), &sectors, &bytes, &free, &total)) {
      free = 0;
      unreadable = true;
    }
    FreeClusters = free;
  } else {
    FreeClusters = 0;
  }

  if (FreeClusters != 0 && sectors * bytes != 0) {
    ClusterSize = sectors * bytes;
    FileClusters = 0;
    for (int i = 1; i <= kProgramFileCount; ++i) FileClusters += ClustersOf(FileSizes[i], ClusterSize);
    NeededClusters = FileClusters;
    // The deleter goes to the Windows folder: on this drive too when Windows is here.
    if (WinDrive == DriveLetter) NeededClusters += ClustersOf(FileSizes[0], ClusterSize);
  }

  if (DriveLetter != 0) {
    ULARGE_INTEGER avail{}, totalBytes{}, freeBytes{};
    FreeClusters = 0;
    // The disk's whole free space, not the share a quota leaves the user.
    if (measured && ClusterSize != 0) {
      if (::GetDiskFreeSpaceExA(root.c_str(), &avail, &totalBytes, &freeBytes))
        FreeClusters = static_cast<std::uint32_t>(freeBytes.QuadPart / ClusterSize);
      else
        unreadable = true;
    }
  }
  FreeSpaceUnknown = unreadable;

  IDS.setCaption(megabytes(NeededClusters, ClusterSize));
  FDS.setCaption(FreeSpaceUnknown ? "不明" : megabytes(FreeClusters, ClusterSize));
}

void TSetDirDlg::InstDirChange(win::Control&) {
  const std::string text = InstDir.text();
  const char first = text.empty() ? '\0' : text[0];
  if (first == DriveLetter) return;
  // Lower-case letters become capitals; anything else above 'Z' names no drive then.
  DriveLetter = static_cast<unsigned char>(first) > 'Z' ? static_cast<char>(first - 32) : first;
  UpdateSpaceFigures();
}

void TSetDirDlg::Button1Click(win::Control&) {
  FolderDialog1.setDirectory(InstDir.text());
  if (!FolderDialog1.Execute()) return;
  InstDir.setText(FolderDialog1.Directory());
  const std::string chosen = InstDir.text();
  DriveLetter = chosen.empty() ? '\0' : chosen[0];
}

}  // namespace pv::setup
