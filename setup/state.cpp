#include "setup/state.h"

#include "core/path.h"
#include "pv_version.h"
#include "win/files.h"

namespace pv::setup {

const char* const kProductName = PV_PRODUCT_NAME;
const char* const kShortName = "pelbo";
const char* const kRegName = "Sorvane_pelbo";
const char* const kSetupTitle = "Pelbo Setup";
const char* const kViewText = "pelbo.txt";
const char* const kDeleterFile = "Lazerase.exe";
const char* const kUninstallKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const char* const kARPCacheKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\App Management\\ARPCache";
const char* const kRunOnceKey = "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\RunOnce";
const char* const kUserKey = "software\\Sorvane\\";
const char* const kInstalledFilesKey = "Files";
const char* const kCreatedFoldersKey = "Folders";
const char* const kProgramFiles[kProgramFileCount] = {"pelboSetup.exe", "pelbo.exe", "pelbo.hlp", "pelbo.cnt",
                                                        "unlha32.dll"};

const char* const kTitleError = "エラー";
const char* const kTitleInfo = "情報";
const char* const kTitleConfirm = "確認";

std::int32_t SetupMajor = 0;
std::int32_t SetupMinor = 0;
std::int32_t SetupVersion = 0;
std::uint16_t ProductYear = 0;
std::string WinDir;
char WinDrive = 0;
std::int32_t FileSizes[1 + kProgramFileCount] = {};
bool UseCommonFolders = false;
std::int32_t ShortCutFlags = 0;
std::string InstalledDir;
std::int32_t InstalledVersion = 0;
bool Installed = false;
char DriveLetter = 0;
std::string InstallDir;
std::uint32_t ClusterSize = 0;
std::uint32_t FreeClusters = 0;
std::uint32_t NeededClusters = 0;
std::uint32_t FileClusters = 0;
bool FreeSpaceUnknown = false;
bool ShortcutsChosen = false;

TForm1* Form1 = nullptr;
TSetDirDlg* SetDirDlg = nullptr;
TCopyDlg* CopyDlg = nullptr;
TViewDlg* ViewDlg = nullptr;
TSCutDlg* SCutDlg = nullptr;

std::string SetupFolder() { return path::dirPart(win::exePath()); }

}  // namespace pv::setup
