// The installer's process-wide state: what the start, the install-folder dialog,
// the install run and the uninstall share. Everything starts as zero, false or empty.
#pragma once
#include <cstdint>
#include <string>

namespace pv::setup {

class TForm1;
class TSetDirDlg;
class TCopyDlg;
class TViewDlg;
class TSCutDlg;

// ------------------------------------------------------------ fixed names
extern const char* const kProductName;   // captions, uninstall display name, shortcut name
extern const char* const kShortName;     // default folder leaf, per-user settings sub-key
extern const char* const kRegName;       // uninstall and ARPCache sub-key, RunOnce value, main program mutex
extern const char* const kSetupTitle;    // application title: what a second installer looks for
extern const char* const kViewText;      // the notice shown in the text viewer, beside the installer
extern const char* const kDeleterFile;   // the deferred deleter, placed in the Windows folder
// Registry keys, relative to their root (a leading backslash fails on NT): the
// uninstall list under HKEY_LOCAL_MACHINE, to which kRegName is appended, and the
// main program's key under HKEY_CURRENT_USER, to which kShortName is appended.
extern const char* const kUninstallKey;  // "SOFTWARE\Microsoft\Windows\CurrentVersion\Uninstall\"
extern const char* const kUserKey;       // "software\Sorvane\"
// The system's cache of the list of programs (+ "\\" + kRegName) and the values run
// once at the next logon, both under HKEY_LOCAL_MACHINE.
extern const char* const kARPCacheKey;
extern const char* const kRunOnceKey;
// Sub-key of the uninstall entry: one value per program file this installation put
// in its folder, so that the uninstall removes those and never a file another
// program keeps there (a shared unlha32.dll).
extern const char* const kInstalledFilesKey;
// Sub-key beside it: one value per folder this installation created, named by its
// full path (the installation folder and the parents it had to make), so that the
// uninstall removes those once empty and never a folder that was there before.
extern const char* const kCreatedFoldersKey;
constexpr int kProgramFileCount = 5;
// The installer itself, the main program, its help file and help contents, and the
// archiver library the program backs up with, in this order.
extern const char* const kProgramFiles[kProgramFileCount];
// The deleter's size is a fixed figure for space and progress, never measured.
constexpr std::int32_t kDeleterSize = 39424;

// Boxes of the installer carry one of these titles.
extern const char* const kTitleError;    // "エラー"
extern const char* const kTitleInfo;     // "情報"
extern const char* const kTitleConfirm;  // "確認"

// Bits of ShortCutFlags.
constexpr std::int32_t kShortcutPrograms = 1;
constexpr std::int32_t kShortcutStartup = 2;
constexpr std::int32_t kShortcutDesktop = 4;
constexpr std::int32_t kShortcutSendTo = 8;

// ------------------------------------------------------------ state
// Version numbers are major * 100 + minor: "1.05" is 105.
extern std::int32_t SetupMajor;
extern std::int32_t SetupMinor;
extern std::int32_t SetupVersion;      // what this installer installs
extern std::uint16_t ProductYear;      // year of the pelbo.exe beside the installer, at least 2001
extern std::string WinDir;             // the Windows folder, no trailing backslash unless a root
extern char WinDrive;                  // its first character
// [0] the deleter's nominal size, [1..4] the program files beside the installer (0 when missing).
extern std::int32_t FileSizes[1 + kProgramFileCount];
extern bool UseCommonFolders;          // NT family above version 4: shortcuts for all users
extern std::int32_t ShortCutFlags;     // kShortcut* bits of the installation
extern std::string InstalledDir;       // folder of an earlier installation, or empty
extern std::int32_t InstalledVersion;  // its version, 0 when none
extern bool Installed;                 // an earlier installation with a version was found
extern char DriveLetter;               // drive of the folder in the install-folder dialog
extern std::string InstallDir;         // folder being installed to
// Space figures of the drive last measured (clusters, and bytes per cluster).
extern std::uint32_t ClusterSize;
extern std::uint32_t FreeClusters;
extern std::uint32_t NeededClusters;
extern std::uint32_t FileClusters;
// The free space of the drive last measured could not be read (a network drive that
// does not tell): the copy itself decides.
extern bool FreeSpaceUnknown;
extern bool ShortcutsChosen;           // the shortcut dialog was shown in this run

// The five forms, created at start in this order; TForm1 is the main form.
extern TForm1* Form1;
extern TSetDirDlg* SetDirDlg;
extern TCopyDlg* CopyDlg;
extern TViewDlg* ViewDlg;
extern TSCutDlg* SCutDlg;

// Folder of the installer's own executable, with a trailing backslash.
std::string SetupFolder();

}  // namespace pv::setup
