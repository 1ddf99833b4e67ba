// The list's context menu: restore a definition's archive into a folder, or test
// one. Both run the archiver library's own commands (x, t) through Archive1, as a
// backup does: its progress window, its cancel and its error box, owned by this
// window; then one box of ours says what came of it.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "archive/Archive.h"
#include "core/backup.h"
#include "core/error.h"
#include "core/messages.h"
#include "core/path.h"
#include "core/sjis.h"
#include "main/main.h"
#include "pv_version.h"
#include "unlha32/unlha32.h"
#include "widgets/SBDlg.h"
#include "win/app.h"
#include "win/dialogs.h"
#include "win/guards.h"
#include "win/version.h"

namespace pv {

namespace {

enum : UINT { kCmdRestore = 1, kCmdTest = 2 };

constexpr DWORD kBusyPollMs = 500;

const char* const kRestoring = "ファイルの復元中...";
const char* const kTesting = "書庫の検査中...";

// What the library's x command reported in its output: "展開 N, そのまま N, 失敗 N".
struct ExtractCounts {
  unsigned restored = 0, kept = 0, failed = 0;
};

// The last summary line of an extraction's output; nullopt when the library wrote
// none (another library, or a run that ended before any member).
std::optional<ExtractCounts> summaryOf(const std::string& out) {
  std::optional<ExtractCounts> found;
  for (std::size_t at = 0; at < out.size();) {
    std::size_t end = out.find('\n', at);
    if (end == std::string::npos) end = out.size();
    const std::string line = out.substr(at, end - at);
    at = end + 1;
    ExtractCounts c;
    // Read by labels, so that a field added after them changes nothing.
    const std::size_t r = line.find("展開 "), k = line.find("そのまま "), f = line.find("失敗 ");
    if (r != 0 || k == std::string::npos || f == std::string::npos) continue;
    if (std::sscanf(line.c_str() + r + std::strlen("展開 "), "%u", &c.restored) != 1 ||
        std::sscanf(line.c_str() + k + std::strlen("そのまま "), "%u", &c.kept) != 1 ||
        std::sscanf(line.c_str() + f + std::strlen("失敗 "), "%u", &c.failed) != 1)
      continue;
    found = c;
  }
  return found;
}

// What the archive holds, read through the library's listing: the file members (a
// stopped run leaves some untried, and only the total tells how many) and room
// enough for an output of one line per member.
struct ArchiveSurvey {
  bool listed = false;
  unsigned files = 0;
  std::size_t outputSize = 1 << 16;
};

ArchiveSurvey survey(arc::TArchive& archive, const std::string& file, std::size_t lineExtra) {
  ArchiveSurvey s;
  if (!archive.OpenArchive(file)) {
    // Unlisted (damaged, or not an archive): a member's line is about as long as its
    // header, so twice the file's size leaves room for the members before the damage.
    WIN32_FILE_ATTRIBUTE_DATA d{};
    if (::GetFileAttributesExA(file.c_str(), GetFileExInfoStandard, &d)) {
      const std::uint64_t size = (std::uint64_t{d.nFileSizeHigh} << 32) | d.nFileSizeLow;
      s.outputSize += static_cast<std::size_t>(std::min<std::uint64_t>(size * 2, 64u << 20));
    }
    return s;
  }
  for (std::int32_t r = archive.FindFirst("*"); r == 0; r = archive.FindNext()) {
    const std::string name = archive.FindName();
    if (!sjis::endsWithChar(name, '\\')) ++s.files;
    // A member's line names it, maybe with its target path and the reason Windows gave.
    s.outputSize += 2 * name.size() + lineExtra + 256;
  }
  s.listed = true;
  archive.CloseArchive();
  return s;
}

std::string runOutput(const std::vector<char>& buf) { return std::string(buf.data(), ::strnlen(buf.data(), buf.size())); }

backup::Date today() {
  SYSTEMTIME st{};
  ::GetLocalTime(&st);
  return backup::Date{st.wYear, st.wMonth, st.wDay};
}

bool holdsAnything(const std::string& folder) {
  WIN32_FIND_DATAA fd{};
  HANDLE h = ::FindFirstFileA((path::withTrailingBackslash(folder) + "*").c_str(), &fd);
  if (h == INVALID_HANDLE_VALUE) return false;
  bool any = false;
  do {
    any = std::strcmp(fd.cFileName, ".") != 0 && std::strcmp(fd.cFileName, "..") != 0;
  } while (!any && ::FindNextFileA(h, &fd));
  ::FindClose(h);
  return any;
}

// A folder beside the archive, named after it, that does not exist yet:
// "D:\Backup\src2002.03.15.lzh" -> "D:\Backup\src2002.03.15", then "... (2)" and on.
std::string freshFolderFor(const std::string& archive) {
  const std::string base = path::changeExt(archive, "");
  std::string candidate = base;
  for (int n = 2; n < 1000 && ::GetFileAttributesA(candidate.c_str()) != INVALID_FILE_ATTRIBUTES; ++n)
    candidate = base + " (" + std::to_string(n) + ")";
  return candidate;
}

// Waits while the library works for someone else; one that cannot tell is not waited for.
void waitUntilFree(arc::TArchive& archive) {
  while (archive.CanTellRunning() && archive.GetRunning()) ::Sleep(kBusyPollMs);
}

std::string countsText(unsigned restored, unsigned kept, unsigned notRestored) {
  return formatText(msg::kRestoreCounts,
                    {std::to_string(restored), std::to_string(kept), std::to_string(notRestored)});
}

}  // namespace

// ------------------------------------------------------------ the menu

void TForm1::BDListContextPopup(LPARAM at) {
  POINT pt{static_cast<short>(LOWORD(at)), static_cast<short>(HIWORD(at))};
  // From the keyboard the position is -1 (as 32 bits, whatever the width of LPARAM).
  if ((static_cast<ULONG_PTR>(at) & 0xFFFFFFFFu) == 0xFFFFFFFFu) {
    // From the keyboard: under the selected entry, or at the list's corner.
    const int i = BDList.itemIndex();
    RECT r = i >= 0 ? BDList.itemRect(i) : RECT{0, 0, 0, 0};
    pt = POINT{r.left + 16, i >= 0 ? r.bottom : 0};
    ::ClientToScreen(BDList.handle(), &pt);
  } else {
    // A right click acts on the entry under the mouse, as a left click would select it.
    POINT client = pt;
    ::ScreenToClient(BDList.handle(), &client);
    const int i = BDList.itemAtPos(client, true);
    if (i >= 0 && i != BDList.itemIndex()) {
      BDList.setItemIndex(i);
      BDListClick(BDList);
    }
  }
  const UINT state = BDList.itemIndex() >= 0 ? MF_ENABLED : MF_GRAYED;
  HMENU menu = ::CreatePopupMenu();
  if (!menu) return;
  ::AppendMenuA(menu, MF_STRING | state, kCmdRestore, "復元...");
  ::AppendMenuA(menu, MF_STRING | state, kCmdTest, "書庫の検査");
  const UINT cmd = static_cast<UINT>(
      ::TrackPopupMenu(menu, TPM_RETURNCMD | TPM_RIGHTBUTTON | TPM_LEFTALIGN | TPM_TOPALIGN, pt.x, pt.y, 0, handle(), nullptr));
  ::DestroyMenu(menu);
  if (cmd == kCmdRestore) RestoreClick();
  if (cmd == kCmdTest) TestArcClick();
}

// ------------------------------------------------------------ choosing

namespace {

// The file dialog on the definition's destination folder, with the archive a backup
// would write today preselected when it exists. Empty when cancelled.
std::string chooseArchive(win::Form& owner, const TBuckup& b, const std::string& title) {
  auto& dialog = static_cast<win::OpenDialog&>(
      owner.findComponent("RestoreOpenDialog")
          ? *owner.findComponent("RestoreOpenDialog")
          : owner.addComponent(std::make_unique<win::OpenDialog>(), "RestoreOpenDialog"));
  dialog.filter = "LHA 書庫 (*.lzh)|*.lzh|すべてのファイル (*.*)|*.*";
  dialog.defaultExt = "lzh";
  // The program's current folder stays: a definition without a base folder names its
  // files relative to it.
  dialog.options |= OFN_NOCHANGEDIR;
  dialog.title = title;
  dialog.initialDir = b.DestDir;
  dialog.fileName.clear();
  if (!b.DestDir.empty() && !b.ArcName.empty()) {
    const std::string current = backup::ExpandArcName(b.DestDir, b.ArcName, b.VerFile, today(), win::ReadVersionString);
    const DWORD a = ::GetFileAttributesA(current.c_str());
    if (a != INVALID_FILE_ATTRIBUTES && !(a & FILE_ATTRIBUTE_DIRECTORY)) {
      dialog.initialDir = path::dirPart(current);
      dialog.fileName = path::namePart(current);
    }
  }
  if (!dialog.execute()) return std::string();
  return dialog.fileName;
}

// The folder dialog for the target, proposing a new folder named after the archive
// beside it. The shell's dialog can only show a folder that exists, so the proposal
// is made for it and taken away again when another folder is chosen (or none).
std::string chooseTarget(win::Form& owner, const std::string& archive) {
  auto& dialog = static_cast<TSBDialog&>(owner.findComponent("RestoreSBDialog")
                                             ? *owner.findComponent("RestoreSBDialog")
                                             : owner.addComponent(std::make_unique<TSBDialog>(), "RestoreSBDialog"));
  dialog.setCaption("復元先のフォルダの選択");
  const std::string proposal = freshFolderFor(archive);
  const bool made = ::CreateDirectoryA(proposal.c_str(), nullptr) != 0;
  // Tell the shell, whose folder tree may otherwise not show it yet.
  if (made) ::SHChangeNotify(SHCNE_MKDIR, SHCNF_PATHA, proposal.c_str(), nullptr);
  dialog.setDirectory(made ? proposal : path::withoutTrailingBackslash(path::dirPart(archive)));
  std::string chosen;
  if (dialog.Execute()) chosen = dialog.Directory();
  if (made && (chosen.empty() || ::lstrcmpiA(path::withoutTrailingBackslash(chosen).c_str(), proposal.c_str()) != 0)) {
    ::RemoveDirectoryA(proposal.c_str());  // only while empty
    ::SHChangeNotify(SHCNE_RMDIR, SHCNF_PATHA, proposal.c_str(), nullptr);
  }
  return chosen;
}

// What restore and test share before their run: the selected definition, a library
// that is there (noLibrary says so otherwise) and the archive the user picks under
// title. Empty when any of these is missing.
std::string pickArchive(TForm1& form, const char* noLibrary, const char* title) {
  const int i = form.BDList.itemIndex();
  if (i < 0) return std::string();
  if (!form.Archive1.CanExecute()) {
    win::messageBox(noLibrary, "エラー", MB_OK | MB_ICONERROR, form.handle());
    return std::string();
  }
  return chooseArchive(form, *form.record(i), title);
}

// The boxes for a run that could not start: no library after all (-1), or one
// without the command. True when one was shown.
bool refusedRun(TForm1& form, std::int32_t result, bool haveOutput, const char* noLibrary, const char* command) {
  if (result == -1) {
    win::messageBox(noLibrary, "エラー", MB_OK | MB_ICONERROR, form.handle());
    return true;
  }
  if (result == UNLHA_ERR_COMMAND && !haveOutput) {
    char text[256];
    std::snprintf(text, sizeof text, msg::kNoCommand, command);
    win::messageBox(text, "エラー", MB_OK | MB_ICONERROR, form.handle());
    return true;
  }
  return false;
}

}  // namespace

// ------------------------------------------------------------ restore

void TForm1::RestoreClick() {
  const std::string archive = pickArchive(*this, msg::kRestoreNoLibrary, "復元する書庫の選択");
  if (archive.empty()) return;
  const std::string target = chooseTarget(*this, archive);
  if (target.empty()) return;

  // Keeping newer files is the library's default; replacing them is asked for.
  bool replace = false;
  if (holdsAnything(target)) {
    const int answer = win::messageBox(
        formatText(msg::kRestoreOverFiles, target),
        PV_PRODUCT_NAME, MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON1, handle());
    if (answer == IDCANCEL) return;
    replace = answer == IDNO;
  }

  std::int32_t result = 0;
  std::string out;
  ArchiveSurvey s;
  {
    win::ScreenCursorGuard cursor;
    win::StatusTextGuard status(StatusBar1, kRestoring);
    waitUntilFree(Archive1);
    s = survey(Archive1, archive, target.size());
    std::vector<char> buf(s.outputSize, '\0');
    const std::string cmd =
        "x " + std::string(replace ? "-o1 " : "") + "\"" + archive + "\" \"" + path::withTrailingBackslash(target) + "\"";
    result = Archive1.Execute(cmd, buf.data(), static_cast<std::uint32_t>(buf.size()));
    out = runOutput(buf);
  }

  const std::optional<ExtractCounts> counts = summaryOf(out);
  if (refusedRun(*this, result, counts.has_value(), msg::kRestoreNoLibrary, "x")) return;

  std::string text;
  UINT icon = MB_ICONINFORMATION;
  if (result == 0) {
    text = msg::kRestored;
  } else if (result == UNLHA_ERR_CANCELLED) {
    text = msg::kRestoreCancelled;
    icon = MB_ICONWARNING;
  } else {
    text = counts ? msg::kRestoredPartly : msg::kRestoreFailed;
    icon = MB_ICONWARNING;
  }
  if (counts) {
    // Members a stopped run never reached are not restored either: the archive's
    // listing says how many there were.
    const unsigned done = counts->restored + counts->kept;
    const unsigned missing = s.listed && s.files > done ? s.files - done : 0;
    text += "\r\n\r\n" + countsText(counts->restored, counts->kept, std::max(counts->failed, missing));
    // A damaged archive cannot be listed: what lies past the damage is not known.
    if (!s.listed && result == UNLHA_ERR_DAMAGED) text += std::string("\r\n") + msg::kPastTheDamage;
  } else if (result != 0) {
    text += std::string("\r\n\r\n") + msg::kNoCounts;
  }
  text += "\r\n\r\n書庫:\r\n" + archive + "\r\n復元先:\r\n" + target;
  win::messageBox(text, PV_PRODUCT_NAME, MB_OK | icon, handle());
  // As a backup opens its archive: the restored folder, after a run that went through.
  if (result == 0) ::ShellExecuteA(handle(), "open", target.c_str(), nullptr, nullptr, SW_SHOW);
}

// ------------------------------------------------------------ test

void TForm1::TestArcClick() {
  const std::string archive = pickArchive(*this, msg::kTestNoLibrary, "検査する書庫の選択");
  if (archive.empty()) return;

  std::int32_t result = 0;
  std::string out;
  {
    win::ScreenCursorGuard cursor;
    win::StatusTextGuard status(StatusBar1, kTesting);
    waitUntilFree(Archive1);
    const ArchiveSurvey s = survey(Archive1, archive, 0);
    std::vector<char> buf(s.outputSize, '\0');
    result = Archive1.Execute("t \"" + archive + "\"", buf.data(), static_cast<std::uint32_t>(buf.size()));
    out = runOutput(buf);
  }
  if (refusedRun(*this, result, false, msg::kTestNoLibrary, "t")) return;
  // The library's report: "OK: <member>" for each sound member, then its message.
  std::size_t tail = 0;
  for (std::size_t at = 0; (at = out.find("OK: ", at)) != std::string::npos; at += 4)
    if (at == 0 || out[at - 1] == '\n') tail = out.find('\n', at) == std::string::npos ? out.size() : out.find('\n', at) + 1;
  std::string report = out.substr(tail);
  while (!report.empty() && (report.back() == '\n' || report.back() == '\r')) report.pop_back();

  if (result == 0) {
    win::messageBox(msg::kArchiveSound + std::string("\r\n") + archive + (report.empty() ? "" : "\r\n\r\n" + report),
                    PV_PRODUCT_NAME, MB_OK | MB_ICONINFORMATION, handle());
    return;
  }
  if (result == UNLHA_ERR_CANCELLED) {
    win::messageBox(msg::kTestCancelled + std::string("\r\n") + archive, PV_PRODUCT_NAME, MB_OK | MB_ICONWARNING, handle());
    return;
  }
  std::string text = msg::kArchiveDamaged + std::string("\r\n") + archive + "\r\n\r\n";
  // A member that does not decode is named on the line after the cause.
  const std::size_t nl = report.find("\r\n");
  if ((result == UNLHA_ERR_CRC || result == UNLHA_ERR_METHOD) && nl != std::string::npos) {
    const std::size_t end = report.find("\r\n", nl + 2);
    const std::string member = report.substr(nl + 2, end == std::string::npos ? end : end - nl - 2);
    text += msg::kFirstDamaged + std::string("\r\n") + member + "\r\n(" + report.substr(0, nl) + ")";
  } else {
    text += report;
  }
  win::messageBox(text, PV_PRODUCT_NAME, MB_OK | MB_ICONERROR, handle());
}

}  // namespace pv
