// x and e: members into files; UnLhaExtractMem: one member into memory.
#include "unlha32/extract.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <memory>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "core/sjis.h"
#include "lzh/archive.h"
#include "lzh/extract.h"
#include "lzh/timestamps.h"
#include "lzh/update.h"
#include "unlha32/winio.h"

namespace pv::unlha {
namespace {

constexpr std::size_t kNotifyStep = 1u << 16;  // a progress notification every 64 KiB
constexpr DWORD kRestoredAttributes = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                      FILE_ATTRIBUTE_ARCHIVE;

FILETIME toFileTime(std::uint64_t ticks) {
  FILETIME f;
  f.dwLowDateTime = static_cast<DWORD>(ticks);
  f.dwHighDateTime = static_cast<DWORD>(ticks >> 32);
  return f;
}

std::uint64_t ticksOf(const FILETIME& f) { return (static_cast<std::uint64_t>(f.dwHighDateTime) << 32) | f.dwLowDateTime; }

std::string fullPathOf(const std::string& path) {
  char buf[MAX_PATH * 2];
  char* filePart = nullptr;
  const DWORD n = ::GetFullPathNameA(path.c_str(), sizeof buf, buf, &filePart);
  return (n == 0 || n >= sizeof buf) ? path : std::string(buf, n);
}

// "C:\out\a\b.txt" -> "C:\out\a"; empty when there is no folder part.
std::string parentOf(const std::string& path) {
  const std::size_t cut = sjis::findLast(path, '\\');
  return cut == std::string::npos ? std::string() : path.substr(0, cut);
}

bool isFolder(const std::string& path) {
  const DWORD a = ::GetFileAttributesA(path.c_str());
  return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY);
}

// Creates path and the folders above it; false (and *error) when one cannot be made.
bool makeFolders(const std::string& path, DWORD* error) {
  if (path.empty() || isFolder(path)) return true;
  const std::string parent = parentOf(path);
  // A drive ("C:") or server root ends the climb.
  if (!parent.empty() && parent.size() < path.size() && !sjis::endsWithChar(parent, ':') && !makeFolders(parent, error))
    return false;
  if (::CreateDirectoryA(path.c_str(), nullptr) || isFolder(path)) return true;
  *error = ::GetLastError();
  if (*error == ERROR_ALREADY_EXISTS) *error = ERROR_ACCESS_DENIED;  // a file stands in the way
  return false;
}

// The members of the archive, as far as they read; status says whether the rest was damaged.
struct ArchiveContents {
  File file;
  std::unique_ptr<FileSource> source;
  std::vector<lzh::Member> members;
  lzh::Status status;
  std::uint64_t damageOffset = 0;  // where the walk stopped when status is not ok
};

Failure readContents(const std::string& archive, ArchiveContents& a) {
  DWORD err = 0;
  HANDLE h = openForReading(archive, FILE_SHARE_READ, &err);
  if (h == INVALID_HANDLE_VALUE) {
    const bool missing = err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND;
    return fail(missing ? UNLHA_ERR_ARCHIVE_NOT_FOUND : UNLHA_ERR_ARCHIVE_READ, archive, err);
  }
  a.file = File(h);
  a.source = std::make_unique<FileSource>(h);
  if (!a.source->sizeKnown()) return fail(UNLHA_ERR_ARCHIVE_READ, archive, a.source->lastError());
  lzh::BufferedSource buffered(*a.source);
  lzh::ArchiveReader reader(buffered);
  lzh::Member m;
  while (reader.next(m)) a.members.push_back(std::move(m));
  a.status = reader.status();
  a.damageOffset = reader.endOffset();
  return {};
}

std::string joinedNames(const std::vector<std::string>& names) {
  std::string s;
  for (const std::string& n : names) s += (s.empty() ? "" : " ") + n;
  return s;
}

const char* problemText(lzh::NameProblem p) {
  switch (p) {
    case lzh::NameProblem::Empty: return "名前がありません";
    case lzh::NameProblem::Absolute: return "絶対パスです";
    case lzh::NameProblem::Drive: return "ドライブ名を含みます";
    case lzh::NameProblem::Parent: return "上位のフォルダを指します";
    case lzh::NameProblem::Device: return "デバイス名です";
    case lzh::NameProblem::BadCharacter: return "使えない文字を含みます";
    case lzh::NameProblem::BadShiftJis: return "文字コードが正しくありません";
    case lzh::NameProblem::FolderEnd: return "フォルダ名が「.」か空白で終わります";
    default: return "";
  }
}

void describe(RunContext& run, const lzh::Member& m, const std::string& dest, DWORD index) {
  UnlhaExtractingInfo& info = run.info;
  info.fileSize = static_cast<DWORD>(m.originalSize);
  info.writeSize = 0;
  info.fileIndex = index;
  setField(info.sourceName, m.path);
  setField(info.destName, dest);
  info.attributes = m.attributes;
  if (m.timeIsDos) {
    info.dosDate = HIWORD(m.rawTime);
    info.dosTime = LOWORD(m.rawTime);
  } else {
    unixToDos(m.unixTime, info.dosDate, info.dosTime);
  }
  setField(info.modeText, m.methodId);
}

// Decodes one member through out, keeping the window and the notifications going.
// cancelled is set when the user or the owner stopped the run.
lzh::Status decode(RunContext& run, lzh::ByteSource& src, const lzh::Member& m, std::uint64_t doneBefore,
                   std::uint64_t total, const std::function<bool(const std::uint8_t*, std::size_t)>& out,
                   bool& cancelled) {
  std::uint64_t memberDone = 0, sinceNotify = 0;
  return lzh::extractMember(src, m, [&](const std::uint8_t* d, std::size_t n) {
    if (!out(d, n)) return false;
    memberDone += n;
    sinceNotify += n;
    if (sinceNotify < kNotifyStep) return true;
    sinceNotify = 0;
    run.info.writeSize = static_cast<DWORD>(memberDone);
    run.info.totalDone = static_cast<DWORD>(doneBefore + memberDone);
    run.window.setBytes(doneBefore + memberDone, total);
    run.notify(UNLHA_NOTIFY_PROGRESS);
    if (!run.tick()) cancelled = true;
    return !cancelled;
  });
}

int codeForMemberError(lzh::Error e) {
  return e == lzh::Error::UnsupportedMethod ? UNLHA_ERR_METHOD
         : e == lzh::Error::ArchiveReadFailed ? UNLHA_ERR_ARCHIVE_READ
                                                : UNLHA_ERR_CRC;
}

// Deletes the temporary file unless it has taken its name.
struct TempOut {
  ~TempOut() {
    file.close();
    if (!path.empty()) ::DeleteFileA(path.c_str());
  }
  std::string path;
  File file;
};

bool isDiskFull(DWORD e) { return e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL; }

// A relative path as Windows compares names: Windows' own upper-case table, so that
// "PWNa.txt" and "pwna.TXT" (and full-width or Greek letters alike) are one name.
std::wstring compareKey(const std::string& rel) {
  const int n = ::MultiByteToWideChar(CP_ACP, 0, rel.data(), static_cast<int>(rel.size()), nullptr, 0);
  std::wstring w(static_cast<std::size_t>(n), L'\0');
  if (n > 0) {
    ::MultiByteToWideChar(CP_ACP, 0, rel.data(), static_cast<int>(rel.size()), &w[0], n);
    ::CharUpperBuffW(&w[0], static_cast<DWORD>(n));
  }
  return w;
}

class Extraction {
 public:
  Extraction(RunContext& run, std::string& log) : run_(run), log_(log) {}
  ~Extraction() {
    if (!work_.empty()) ::RemoveDirectoryA(work_.c_str());
  }

  Failure go() {
    const arccmd::CommandLine& cl = run_.cl;
    run_.openWindow("展開中");
    ArchiveContents a;
    Failure f = readContents(run_.archive, a);
    if (f.failed()) return f;
    // Not an archive at all (0 bytes, no first header): nothing is made, not even FOLDER.
    if (a.members.empty() && !a.status.ok()) return fail(codeForCodecError(a.status.error), run_.archive);

    std::vector<const lzh::Member*> chosen;
    std::uint64_t total = 0;
    for (const lzh::Member& m : a.members)
      if (lzh::memberSelected(cl.names, m)) {
        chosen.push_back(&m);
        total += m.originalSize;
      }
    if (chosen.empty() && !cl.names.empty() && a.status.ok()) return fail(UNLHA_ERR_NO_MATCH, joinedNames(cl.names));

    root_ = fullPathOf(cl.baseDir.empty() ? std::string(".") : cl.baseDir);
    while (root_.size() > 3 && sjis::endsWithChar(root_, '\\')) root_.pop_back();
    DWORD err = 0;
    if (!makeFolders(root_, &err)) return fail(UNLHA_ERR_FILE_WRITE, root_, err);
    makeWorkFolder();

    run_.info.totalSize = static_cast<DWORD>(total);
    run_.info.fileCount = static_cast<DWORD>(chosen.size());
    std::uint64_t done = 0;
    DWORD index = 0;
    for (std::size_t i = 0; i < chosen.size(); ++i) {
      stopCounted_ = false;
      if (!one(*a.source, *chosen[i], ++index, done, total)) {
        // The rest was never tried; the member that stopped the run is one of them
        // unless it was counted as failed (a full disk).
        for (std::size_t k = stopCounted_ ? i + 1 : i; k < chosen.size(); ++k)
          if (!chosen[k]->isDirectory()) ++notTried_;
        break;
      }
      done += chosen[i]->originalSize;
    }
    // Folders last: writing their files has changed their times.
    for (const auto& fm : folders_) setTimes(fm.first, *fm.second, true);

    if (!stop_.failed() && !a.status.ok()) {
      // A header that does not parse ends the walk: what lies behind it is unknown.
      stop_ = fail(codeForCodecError(a.status.error), run_.archive);
      char at[160];
      std::snprintf(at, sizeof at, "書庫の先頭から %llu バイトの位置より後は読めないため、展開していません。\r\n",
                    static_cast<unsigned long long>(a.damageOffset));
      log_ += at;
    }
    char line[128];
    std::snprintf(line, sizeof line, "展開 %u, そのまま %u, 失敗 %u, 未処理 %u\r\n", written_, skipped_, failedCount_,
                  notTried_);
    log_ += line;
    if (stop_.failed()) return stop_;
    if (first_.failed()) {
      // The box names the first; the others are in the output buffer.
      if (failedCount_ > 1) first_.file += "  (ほか " + std::to_string(failedCount_ - 1) + " 件)";
      return first_;
    }
    return {};
  }

 private:
  // One member; false when the whole run must stop (stop_ says why).
  bool one(FileSource& src, const lzh::Member& m, DWORD index, std::uint64_t done, std::uint64_t total) {
    std::string rel;
    const lzh::NameProblem problem = lzh::safeMemberPath(m, rel);
    // "." or "./" as a folder member (some tools store the folder they started in): FOLDER itself.
    if (m.isDirectory() && problem == lzh::NameProblem::Empty && !m.storedName.empty()) return true;
    std::string shown = m.path.empty() ? m.storedName : m.path;
    const bool flat = run_.cl.command == arccmd::Command::ExtractFlat || !run_.cl.sw.storePaths;
    if (problem == lzh::NameProblem::None && flat) {
      if (m.isDirectory()) return true;  // e makes no folders
      rel = std::string(arccmd::lastComponent(rel));
    }
    const std::string target = rel.empty() ? root_ : root_ + "\\" + rel;
    describe(run_, m, target, index);
    run_.window.setFile(shown);
    run_.window.setBytes(done, total);
    run_.info.totalDone = static_cast<DWORD>(done);
    run_.notify(UNLHA_NOTIFY_PROGRESS);
    if (!run_.tick()) return cancel();

    // The whole name is judged before anything is made for it.
    if (problem != lzh::NameProblem::None) {
      log_ += "拒否: " + shown + " (" + problemText(problem) + ")\r\n";
      return memberFailed(fail(UNLHA_ERR_UNSAFE_NAME, shown));
    }
    const std::string parent = m.isDirectory() ? target : parentOf(target);
    // CreateDirectory takes MAX_PATH - 12, GetTempFileName a folder of MAX_PATH - 14.
    if (target.size() >= MAX_PATH || parent.size() > MAX_PATH - 14)
      return memberFailed(fail(UNLHA_ERR_FILE_WRITE, target, ERROR_FILENAME_EXCED_RANGE));
    std::wstring key;
    if (!m.isDirectory()) {
      key = compareKey(rel);
      auto it = claimed_.find(key);
      if (it != claimed_.end()) {
        log_ += "重複: " + shown + " (" + it->second + " と同じファイルになります)\r\n";
        return memberFailed(fail(UNLHA_ERR_NAME_CLASH, shown));
      }
    }
    DWORD err = 0;
    if (m.isDirectory()) {
      if (!makeFolders(target, &err)) return memberFailed(fail(UNLHA_ERR_FILE_WRITE, target, err));
      folders_.emplace_back(target, &m);
      return true;
    }
    Folder* folder = folderFor(parent, &err);
    if (!folder) return memberFailed(fail(UNLHA_ERR_FILE_WRITE, parent, err));
    const std::wstring fileKey = compareKey(std::string(arccmd::lastComponent(rel)));

    // A file the folder did not hold when first seen, and that no member wrote, needs
    // no lookup: the rename below refuses to replace it should it have appeared since.
    bool exists = false;
    if (folder->names.count(fileKey)) {
      const Verdict v = judgeExisting(m, rel, target, shown, key, exists);
      if (v != Verdict::Write) return true;  // kept, or failed and counted
    }
    for (int attempt = 0;; ++attempt) {
      const bool local = work_.empty() || folder->localTemp;
      TempOut temp;
      HANDLE h = local ? tempBeside(parent, temp.path) : tempInWorkFolder(temp.path);
      if (h == INVALID_HANDLE_VALUE) return memberFailed(fail(UNLHA_ERR_FILE_WRITE, target, ::GetLastError()));
      const char* name = temp.path.c_str();
      temp.file = File(h);
      FileSink sink(h);
      bool cancelled = false;
      const lzh::Status s = decode(run_, src, m, done, total,
                                   [&](const std::uint8_t* d, std::size_t n) { return sink.write(d, n); }, cancelled);
      if (cancelled) return cancel();
      if (s.error == lzh::Error::WriteFailed || (s.ok() && !sink.finish()))
        return memberFailed(fail(UNLHA_ERR_FILE_WRITE, target, sink.lastError()));
      if (!s.ok()) {
        log_ += "エラー: " + rel + " (" + errorText(codeForMemberError(s.error)) + ")\r\n";
        const Failure mf = fail(codeForMemberError(s.error), shown);
        if (mf.code == UNLHA_ERR_ARCHIVE_READ) {
          // The archive itself cannot be read any more: nothing after this can be either.
          stop_ = fail(UNLHA_ERR_ARCHIVE_READ, run_.archive, src.lastError());
          ++failedCount_;
          stopCounted_ = true;
          return false;
        }
        return memberFailed(mf);
      }
      setTimes(h, m);
      temp.file.close();
      const DWORD flags = exists ? MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH : MOVEFILE_WRITE_THROUGH;
      if (!::MoveFileExA(name, target.c_str(), flags)) {
        const DWORD e = ::GetLastError();
        if (e == ERROR_NOT_SAME_DEVICE && !local && attempt == 0) {
          folder->localTemp = true;  // another volume mounted below FOLDER: decode again beside the file
          continue;
        }
        if ((e == ERROR_ALREADY_EXISTS || e == ERROR_FILE_EXISTS) && !exists && attempt == 0) {
          // The file is there after all: decide as for any existing file, then write it again.
          const Verdict v = judgeExisting(m, rel, target, shown, key, exists);
          if (v != Verdict::Write) return true;  // kept, or failed and counted
          if (!::MoveFileExA(name, target.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
            return memberFailed(fail(UNLHA_ERR_FILE_WRITE, target, ::GetLastError()));
        } else {
          return memberFailed(fail(UNLHA_ERR_FILE_WRITE, target, e));
        }
      }
      temp.path.clear();
      break;
    }
    const DWORD attrs = m.attributes & kRestoredAttributes;
    ::SetFileAttributesA(target.c_str(), attrs ? attrs : FILE_ATTRIBUTE_NORMAL);
    log_ += "展開: " + rel + "\r\n";
    ++written_;
    folder->names.insert(fileKey);
    claimed_.emplace(std::move(key), shown);
    return true;
  }

  enum class Verdict { Write, Kept, Failed };

  // An existing file at target: kept when it is as new as the member (unless -o1),
  // refused when it is a folder or read-only. Sets exists when a file is to be replaced.
  Verdict judgeExisting(const lzh::Member& m, const std::string& rel, const std::string& target,
                        const std::string& shown, std::wstring& key, bool& exists) {
    WIN32_FILE_ATTRIBUTE_DATA existing;
    exists = ::GetFileAttributesExA(target.c_str(), GetFileExInfoStandard, &existing) != 0;
    if (!exists) return Verdict::Write;
    if (existing.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      memberFailed(fail(UNLHA_ERR_FILE_WRITE, target, ERROR_ACCESS_DENIED));
      return Verdict::Failed;
    }
    if (!run_.cl.sw.overwriteAlways && lzh::compareWithMember(ticksOf(existing.ftLastWriteTime), m, localDosToUnix) >= 0) {
      log_ += "そのまま: " + rel + " (同じか新しいファイルがあります)\r\n";
      ++skipped_;
      claimed_.emplace(std::move(key), shown);  // a later member of the same name does not replace it
      return Verdict::Kept;
    }
    if (existing.dwFileAttributes & FILE_ATTRIBUTE_READONLY) {
      memberFailed(fail(UNLHA_ERR_FILE_WRITE, target, ERROR_FILE_READ_ONLY));
      return Verdict::Failed;
    }
    return Verdict::Write;
  }

  // What is known of a folder files go to: the names it held when this run first met
  // it (by compareKey) and the files written since. Under Wine every lookup of a name
  // that is not there reads the whole folder; one listing per folder keeps that from
  // growing with every file written into it.
  struct Folder {
    std::unordered_set<std::wstring> names;
    bool localTemp = false;  // the work folder is on another volume: temporary files go here
  };

  Folder* folderFor(const std::string& path, DWORD* err) {
    auto it = foldersSeen_.find(path);
    if (it != foldersSeen_.end()) return &it->second;
    const bool existed = isFolder(path);
    if (!existed && !makeFolders(path, err)) return nullptr;
    Folder& f = foldersSeen_[path];
    if (existed) {
      WIN32_FIND_DATAA fd;
      HANDLE find = ::FindFirstFileA((path + "\\*").c_str(), &fd);
      if (find != INVALID_HANDLE_VALUE) {
        do {
          f.names.insert(compareKey(fd.cFileName));
          if (fd.cAlternateFileName[0]) f.names.insert(compareKey(fd.cAlternateFileName));
        } while (::FindNextFileA(find, &fd));
        ::FindClose(find);
      }
    }
    return &f;
  }

  // A new temporary file beside the file to write (GetTempFileName's way).
  static HANDLE tempBeside(const std::string& folder, std::string& path) {
    char name[MAX_PATH];
    if (!::GetTempFileNameA(folder.c_str(), "pvx", 0, name)) return INVALID_HANDLE_VALUE;
    path = name;
    return ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  }

  // A new temporary file in the work folder: it is ours, so a counter names it in one call.
  HANDLE tempInWorkFolder(std::string& path) {
    for (int i = 0; i < 64; ++i) {
      char name[24];
      std::snprintf(name, sizeof name, "\\%lu.tmp", static_cast<unsigned long>(++tempCounter_));
      path = work_ + name;
      HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
      if (h != INVALID_HANDLE_VALUE) return h;
      const DWORD e = ::GetLastError();
      path.clear();  // not ours: never to be deleted
      if (e != ERROR_FILE_EXISTS) {
        ::SetLastError(e);
        return INVALID_HANDLE_VALUE;
      }
    }
    path.clear();
    return INVALID_HANDLE_VALUE;
  }

  // Temporary files are made in a folder of their own in FOLDER, where looking for a
  // free name costs nothing however many files FOLDER holds; they are renamed to their
  // place. Without it (FOLDER read-only, say), each goes beside its file.
  void makeWorkFolder() {
    DWORD n = ::GetTickCount();
    for (int i = 0; i < 16; ++i, ++n) {
      char name[32];
      std::snprintf(name, sizeof name, "\\pvx%04X.tmp", static_cast<unsigned>(n & 0xFFFF));
      const std::string path = root_ + name;
      if (path.size() > MAX_PATH - 14) return;
      if (::CreateDirectoryA(path.c_str(), nullptr)) {
        work_ = path;
        return;
      }
      if (::GetLastError() != ERROR_ALREADY_EXISTS) return;
    }
  }

  // A member that failed; the run goes on, except on a full disk, where every further
  // file would fail the same way.
  bool memberFailed(const Failure& f) {
    if (f.code == UNLHA_ERR_FILE_WRITE && isDiskFull(f.winError)) {
      stop_ = fail(UNLHA_ERR_DISK_FULL, f.file, f.winError);
      log_ += failureMessage(stop_) + "\r\n";
      ++failedCount_;
      stopCounted_ = true;
      return false;
    }
    if (!first_.failed()) first_ = f;
    if (f.code != UNLHA_ERR_UNSAFE_NAME && f.code != UNLHA_ERR_NAME_CLASH) log_ += failureMessage(f) + "\r\n";
    ++failedCount_;
    return true;
  }

  bool cancel() {
    stop_ = fail(UNLHA_ERR_CANCELLED);
    return false;
  }

  static void setTimes(HANDLE h, const lzh::Member& m) {
    const FILETIME w = toFileTime(lzh::memberWriteTime(m, localDosToUnix));
    const FILETIME c = toFileTime(m.hasWinTimes ? m.winTimes.creation : 0);
    const FILETIME a = toFileTime(m.hasWinTimes ? m.winTimes.lastAccess : 0);
    ::SetFileTime(h, ticksOf(c) ? &c : nullptr, ticksOf(a) ? &a : nullptr, &w);
  }

  static void setTimes(const std::string& folder, const lzh::Member& m, bool) {
    HANDLE h = ::CreateFileA(folder.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                             nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h != INVALID_HANDLE_VALUE) {
      setTimes(h, m);
      ::CloseHandle(h);
    }
    const DWORD attrs = m.attributes & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM);
    if (attrs) ::SetFileAttributesA(folder.c_str(), FILE_ATTRIBUTE_DIRECTORY | attrs);
  }

  RunContext& run_;
  std::string& log_;
  std::string root_;
  std::vector<std::pair<std::string, const lzh::Member*>> folders_;
  // Files this command wrote or kept, by compareKey, with the member that claimed each.
  std::unordered_map<std::wstring, std::string> claimed_;
  std::unordered_map<std::string, Folder> foldersSeen_;  // by path as written
  std::string work_;                                     // the folder of temporary files, if any
  unsigned long tempCounter_ = 0;
  Failure first_, stop_;
  unsigned written_ = 0, skipped_ = 0, failedCount_ = 0, notTried_ = 0;
  bool stopCounted_ = false;  // the member that stopped the run is counted as failed
};

}  // namespace

Failure extractFiles(RunContext& run, std::string& log) { return Extraction(run, log).go(); }

Failure extractToMemory(RunContext& run, MemoryTarget& target, std::string& log) {
  ArchiveContents a;
  Failure f = readContents(run.archive, a);
  if (f.failed()) return f;
  const lzh::Member* m = nullptr;
  for (const lzh::Member& x : a.members)
    if (!x.isDirectory() && lzh::memberSelected(run.cl.names, x)) {
      m = &x;
      break;
    }
  if (!m) return fail(a.status.ok() ? UNLHA_ERR_NO_MATCH : UNLHA_ERR_DAMAGED,
                      a.status.ok() ? joinedNames(run.cl.names) : run.archive);

  run.openWindow("展開中");
  describe(run, *m, m->path, 1);
  run.info.totalSize = static_cast<DWORD>(m->originalSize);
  run.info.fileCount = 1;
  run.window.setFile(m->path);
  run.notify(UNLHA_NOTIFY_PROGRESS);
  if (!run.tick()) return fail(UNLHA_ERR_CANCELLED);

  bool cancelled = false;
  std::uint64_t produced = 0;
  const lzh::Status s = decode(run, *a.source, *m, 0, m->originalSize,
                               [&](const std::uint8_t* d, std::size_t n) {
                                 if (produced < target.size && target.buffer) {
                                   const std::size_t k = static_cast<std::size_t>(
                                       std::min<std::uint64_t>(n, target.size - produced));
                                   std::memcpy(target.buffer + produced, d, k);
                                   target.written = static_cast<DWORD>(produced + k);
                                 }
                                 produced += n;
                                 return true;
                               },
                               cancelled);
  if (cancelled) return fail(UNLHA_ERR_CANCELLED);
  if (!s.ok()) {
    target.written = 0;  // nothing unchecked reaches the caller as good data
    return fail(codeForMemberError(s.error), m->path, s.error == lzh::Error::ArchiveReadFailed ? a.source->lastError() : 0);
  }
  target.time = static_cast<DWORD>(lzh::fileTimeToUnix(lzh::memberWriteTime(*m, localDosToUnix)));
  target.attributes = m->attributes;
  if (produced > target.size) return fail(UNLHA_ERR_BUFFER_SMALL, m->path);
  log += "展開: " + m->path + "\r\n";
  return {};
}

}  // namespace pv::unlha
