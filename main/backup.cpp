#include "main/backup.h"

#include <shellapi.h>

#include <vector>

#include "archive/Archive.h"
#include "core/error.h"
#include "core/messages.h"
#include "unlha32/unlha32.h"
#include "win/controls.h"
#include "win/dialogs.h"
#include "win/files.h"
#include "win/guards.h"
#include "win/handle.h"
#include "win/version.h"

namespace pv::backup {

namespace {

constexpr DWORD kVolumeLabel = 0x00000008;  // the one attribute the walk leaves out
constexpr DWORD kBusyPollMs = 500;

const char* const kPreparing = "バックアップファイル準備中...";
const char* const kArchiving = "ファイルのバックアップ中...";
using msg::kNoLibrary;
using msg::kNotBackedUp;
using msg::kNoVersion;
const char* const kMadeWithOmissions = "バックアップしましたが、読み込めなかったファイルがあります。";
const char* const kErrorTitle = "エラー";

Date today() {
  SYSTEMTIME st{};
  ::GetLocalTime(&st);
  return Date{st.wYear, st.wMonth, st.wDay};
}

void showStatus(pv::win::StatusBar& bar, const char* text) {
  bar.setSimpleText(text);
  // The run keeps the message loop waiting: paint now or never.
  if (bar.hasHandle()) ::UpdateWindow(bar.handle());
}

// Deletes a file when the scope ends, however it ends.
class DeleteOnExit {
 public:
  explicit DeleteOnExit(std::string path) : path_(std::move(path)) {}
  ~DeleteOnExit() { ::DeleteFileA(path_.c_str()); }
  DeleteOnExit(const DeleteOnExit&) = delete;
  DeleteOnExit& operator=(const DeleteOnExit&) = delete;

 private:
  std::string path_;
};

}  // namespace

void WinFileSystem::listFolder(const std::string& folder, const std::function<void(const FolderEntry&)>& visit) {
  WIN32_FIND_DATAA fd{};
  pv::win::FindHandle find(::FindFirstFileA((folder + "*.*").c_str(), &fd));
  if (!find) return;  // missing or unreadable: nothing to add, nothing to say
  do {
    if (fd.dwFileAttributes & kVolumeLabel) continue;
    visit(FolderEntry{fd.cFileName, (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (::FindNextFileA(find.get(), &fd));
}

void WinFileSystem::deleteFile(const std::string& path) { ::DeleteFileA(path.c_str()); }

namespace {

// "Always new" moves the old archive here, beside it, until the new one is made.
std::string MovedArchivePath(const std::string& archivePath) { return archivePath + ".pvold"; }

bool exists(const std::string& path) { return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

// A run that died between moving the old archive aside and making the new one left it
// under the moved name: it goes back before anything else happens. When the archive is
// there too, the run got as far as making it and the moved copy is the old one.
void PutBackMovedArchive(const std::string& archivePath) {
  const std::string moved = MovedArchivePath(archivePath);
  if (!exists(moved)) return;
  if (exists(archivePath))
    ::DeleteFileA(moved.c_str());
  else
    ::MoveFileExA(moved.c_str(), archivePath.c_str(), MOVEFILE_WRITE_THROUGH);
}

// What keeps a definition from making any archive, in words; empty when nothing does.
std::string WhatIsMissing(const TBuckup& b) {
  std::string text;
  if (b.DestDir.empty()) text += std::string(msg::kNoDestDir) + "\r\n";
  if (b.ArcName.empty()) text += std::string(msg::kNoArcName) + "\r\n";
  if (b.FileList.empty()) text += std::string(msg::kNoFileList) + "\r\n";
  return text;
}

// A base folder on a disconnected drive or mistyped: named files would all be missing.
bool BaseFolderMissing(const TBuckup& b) {
  if (b.BaseDir.empty()) return false;  // names relative to the current folder
  const DWORD attrs = ::GetFileAttributesA(b.BaseDir.c_str());
  return attrs == INVALID_FILE_ATTRIBUTES || !(attrs & FILE_ATTRIBUTE_DIRECTORY);
}

std::string NothingFound(const TBuckup& b) {
  if (BaseFolderMissing(b)) return std::string(msg::kBaseMissing) + "\r\n" + b.BaseDir + "\r\n";
  return std::string(msg::kNothingUnderBase) + "\r\n" + b.BaseDir + "\r\n";
}

enum class Outcome { Done, MadeWithOmissions, Failed, NotStarted };

// The run proper, inside the cursor and status guards. Sets problem when it did not
// start for a reason the user must hear.
Outcome Archive(const TBuckup& b, const RunContext& ctx, std::string& problem) {
  pv::win::ScreenCursorGuard cursor;
  pv::win::StatusTextGuard status(*ctx.status, kPreparing);

  const std::string archivePath = ExpandArcName(b.DestDir, b.ArcName, b.VerFile, today(), win::ReadVersionString);
  PutBackMovedArchive(archivePath);

  WinFileSystem fs;
  const std::vector<std::string> names =
      BaseFolderMissing(b) ? std::vector<std::string>()
                           : CollectFiles(fs, b.BaseDir, b.FileList, WalkRules{b.DelExts, b.ExclExts});
  if (names.empty()) {  // nothing to archive: an old archive stays as it is
    problem = NothingFound(b);
    return Outcome::NotStarted;
  }

  const std::string responsePath = ResponsePath(ctx.TempDir);
  DeleteOnExit removeResponse(responsePath);
  pv::win::saveLines(responsePath, ResponseLines(names));
  const std::string cmd = CommandLine(archivePath, b.BaseDir, ctx.TempDir);

  showStatus(*ctx.status, kArchiving);
  // A library without the entry cannot tell: it would be "running" for ever.
  while (ctx.archive->CanTellRunning() && ctx.archive->GetRunning()) ::Sleep(kBusyPollMs);

  // "Always new". Our library makes the archive anew itself: the old one stays in place
  // until the new one is checked, keeps the members of files it cannot read, and its
  // boxes tell the truth about it (refused when read-only, "unchanged" on a failure).
  // Another library gets the old archive moved aside until a new one is made, and back
  // when none is; a read-only archive is left where it is, as an update would.
  const bool alwaysNew = (b.Flags & 1) != 0;
  const bool ours = ctx.archive->UnLhaIsOurs();
  const std::string fullCmd = alwaysNew && ours ? cmd + " --new" : cmd;
  const std::string moved = MovedArchivePath(archivePath);
  const DWORD attrs = ::GetFileAttributesA(archivePath.c_str());
  const bool movedAside = alwaysNew && !ours && attrs != INVALID_FILE_ATTRIBUTES &&
                          !(attrs & FILE_ATTRIBUTE_READONLY) &&
                          ::MoveFileExA(archivePath.c_str(), moved.c_str(), MOVEFILE_WRITE_THROUGH);

  const std::int32_t result = ctx.archive->Execute(fullCmd, nullptr, 0);
  // Our warning code means "made, with files left out"; from another library it means
  // nothing we know, so the old archive is not given up for it.
  const bool made = result == 0 || (ours && result == UNLHA_WARN_UNREADABLE);
  if (movedAside) {
    if (made) {
      ::DeleteFileA(moved.c_str());
    } else {
      ::DeleteFileA(archivePath.c_str());  // whatever a library left half-written
      ::MoveFileExA(moved.c_str(), archivePath.c_str(), MOVEFILE_WRITE_THROUGH);
    }
  }
  if (result == 0 && (b.Flags & 2))
    ::ShellExecuteA(ctx.owner, "open", archivePath.c_str(), nullptr, nullptr, SW_SHOW);
  if (!made) return Outcome::Failed;
  return result == 0 ? Outcome::Done : Outcome::MadeWithOmissions;
}

}  // namespace

void RunBackup(const TBuckup& b, const RunContext& ctx) {
  // A backup that cannot archive anything says so: silence would look like success.
  const std::string missing = WhatIsMissing(b);
  if (!missing.empty()) {
    pv::win::messageBox(missing + "\r\n" + kNotBackedUp, kErrorTitle, MB_OK | MB_ICONERROR, ctx.owner);
    return;
  }

  // Without the library nothing can be archived, and a run that did nothing must not
  // look like a backup. Checked before anything is touched.
  if (!ctx.archive || !ctx.archive->CanExecute()) {
    pv::win::messageBox(kNoLibrary, kErrorTitle, MB_OK | MB_ICONERROR, ctx.owner);
    return;
  }
  if (ctx.archive->UnLhaVersion() == 0) {
    pv::win::messageBox(kNoVersion, kErrorTitle, MB_OK | MB_ICONERROR, ctx.owner);
    return;
  }

  std::string problem;
  const Outcome outcome = Archive(b, ctx, problem);
  // After the guards: the status text and cursor are back before a box shows.
  if (outcome == Outcome::NotStarted)
    pv::win::messageBox(problem + "\r\n" + kNotBackedUp, kErrorTitle, MB_OK | MB_ICONERROR, ctx.owner);
  if (outcome == Outcome::MadeWithOmissions) showStatus(*ctx.status, kMadeWithOmissions);
}

}  // namespace pv::backup
