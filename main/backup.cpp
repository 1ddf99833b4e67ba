#include "main/backup.h"

#include <shellapi.h>

#include <optional>
#include <vector>

#include "archive/Archive.h"
#include "core/error.h"
#include "win/controls.h"
#include "win/dialogs.h"
#include "win/files.h"
#include "win/guards.h"
#include "win/handle.h"

namespace pv::backup {

namespace {

constexpr DWORD kVolumeLabel = 0x00000008;  // the one attribute the walk leaves out
constexpr DWORD kBusyPollMs = 500;

const char* const kPreparing = "バックアップファイル準備中...";
const char* const kArchiving = "ファイルのバックアップ中...";
const char* const kNoLibrary = "unlha32.dll が見つかりません。バックアップできませんでした。";
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

std::string ReadVersionString(const std::string& file, VersionKind which) {
  DWORD unused = 0;
  const DWORD size = ::GetFileVersionInfoSizeA(file.c_str(), &unused);
  if (size == 0) return {};
  std::vector<char> buf(size);
  if (!::GetFileVersionInfoA(file.c_str(), 0, size, buf.data())) return {};
  const char* begin = buf.data();
  const char* end = begin + buf.size();
  auto query = [&](const std::string& sub) -> std::optional<VersionValue> {
    void* p = nullptr;
    UINT len = 0;
    if (!::VerQueryValueA(buf.data(), sub.c_str(), &p, &len) || !p) return std::nullopt;
    const char* c = static_cast<const char*>(p);
    // The text must lie in our buffer; how far it may be read is up to its end.
    if (c < begin || c >= end) return std::nullopt;
    return VersionValue{c, static_cast<std::uint32_t>(len), static_cast<std::size_t>(end - c)};
  };
  return ReadVersionText(query, which);
}

void RunBackup(const TBuckup& b, const RunContext& ctx) {
  if (b.DestDir.empty() || b.ArcName.empty() || b.FileList.empty()) return;

  // Without the library the wait below would never end, and a run that did
  // nothing must not look like a backup. Checked before anything is touched.
  if (!ctx.archive || ctx.archive->UnLhaVersion() == 0) {
    pv::win::messageBox(kNoLibrary, kErrorTitle, MB_OK | MB_ICONERROR, ctx.owner);
    return;
  }

  // Declared first, so they are put back last: after the response file is gone,
  // and before an error box shows.
  pv::win::ScreenCursorGuard cursor;
  pv::win::StatusTextGuard status(*ctx.status, kPreparing);

  const std::string archivePath = ExpandArcName(b.DestDir, b.ArcName, b.VerFile, today(), ReadVersionString);

  WinFileSystem fs;
  const std::vector<std::string> names = CollectFiles(fs, b.BaseDir, b.FileList, WalkRules{b.DelExts, b.ExclExts});
  if (names.empty()) return;  // nothing to archive: an old archive stays as it is

  const std::string responsePath = ResponsePath(ctx.TempDir);
  DeleteOnExit removeResponse(responsePath);
  pv::win::saveLines(responsePath, ResponseLines(names));
  const std::string cmd = CommandLine(archivePath, b.BaseDir, ctx.TempDir);

  showStatus(*ctx.status, kArchiving);
  while (ctx.archive->GetRunning()) ::Sleep(kBusyPollMs);

  // "Always new": the old archive goes only now that a new one is about to be made.
  if (b.Flags & 1) ::DeleteFileA(archivePath.c_str());

  const std::int32_t result = ctx.archive->Execute(cmd, nullptr, 0);
  if (result == 0 && (b.Flags & 2))
    ::ShellExecuteA(ctx.owner, "open", archivePath.c_str(), nullptr, nullptr, SW_SHOW);
}

}  // namespace pv::backup
