// The commands of the command entry: u (update), a (add), l (list), t (test); d (delete)
// shares the update's way of writing; x and e live in extract.cpp.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <set>
#include <unordered_map>

#include "core/sjis.h"
#include "lzh/archive.h"
#include "lzh/update.h"
#include "lzh/extract.h"
#include "unlha32/collect.h"
#include "unlha32/extract.h"
#include "unlha32/internal.h"
#include "unlha32/profile.h"
#include "unlha32/progress.h"
#include "unlha32/winio.h"

namespace pv::unlha {

namespace {

std::uint64_t ticks(const FILETIME& ft) {
  return (static_cast<std::uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}


std::string folderOf(const std::string& path) {
  const std::string_view last = arccmd::lastComponent(path);
  std::string dir = path.substr(0, path.size() - last.size());
  // "C:\dir\" -> "C:\dir"; keep "C:\" as it is.
  if (dir.size() > 1 && sjis::endsWithChar(dir, '\\') && !sjis::endsWithChar(dir.substr(0, dir.size() - 1), ':'))
    dir.pop_back();
  return dir.empty() ? std::string(".") : dir;
}

// Deletes the temporary archive unless the command got as far as putting it in place.
class TempFile {
 public:
  ~TempFile() {
    file.close();
    if (!path.empty()) ::DeleteFileA(path.c_str());
  }
  void keep() { path.clear(); }
  std::string path;
  File file;
};

// GetTempFileName's names with our prefix: "pvl", one to four hex digits, ".tmp".
bool isOurTempName(const std::string& name) {
  const std::string n = sjis::lowerAscii(name);
  if (n.size() < 8 || n.size() > 11 || n.compare(0, 3, "pvl") != 0 || n.compare(n.size() - 4, 4, ".tmp") != 0)
    return false;
  return std::all_of(n.begin() + 3, n.end() - 4, [](char c) { return std::isxdigit(static_cast<unsigned char>(c)); });
}

// A run that was killed leaves its temporary archive behind, as large as the archive.
// Ours are opened without sharing while a run lives, so a file that opens exclusively
// belongs to no run any more: it is deleted as it is closed.
void removeStaleTempFiles(const std::string& folder) {
  WIN32_FIND_DATAA fd;
  HANDLE find = ::FindFirstFileA(arccmd::joinPath(folder, "pvl*.tmp").c_str(), &fd);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) || !isOurTempName(fd.cFileName)) continue;
    HANDLE h = ::CreateFileA(arccmd::joinPath(folder, fd.cFileName).c_str(), DELETE, 0, nullptr, OPEN_EXISTING,
                             FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    if (h != INVALID_HANDLE_VALUE) ::CloseHandle(h);
  } while (::FindNextFileA(find, &fd));
  ::FindClose(find);
}

// One running command: notifications, progress window, cursor and priority.
class Run {
 public:
  Run(HWND hwnd, const arccmd::CommandLine& cl, std::string archive)
      : hwnd_(hwnd), cl_(cl), archive_(std::move(archive)) {
    const Settings& s = settings();
    if (s.background) {
      oldPriority_ = ::GetThreadPriority(::GetCurrentThread());
      ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL);
      priorityChanged_ = true;
    }
    if (s.cursorMode) {
      waitCursor_ = ::LoadCursor(nullptr, IDC_WAIT);
      oldCursor_ = ::SetCursor(waitCursor_);
    }
    setField(info_.sourceName, archive_);
    setField(info_.destName, archive_);
  }

  ~Run() {
    progress_.close();
    if (waitCursor_) ::SetCursor(oldCursor_ ? oldCursor_ : ::LoadCursor(nullptr, IDC_ARROW));
    if (priorityChanged_) ::SetThreadPriority(::GetCurrentThread(), oldPriority_);
  }

  void openWindow(const char* caption) {
    if (!cl_.sw.quiet) progress_.open(hwnd_, archive_, caption, settings().background);
  }
  ProgressWindow& window() { return progress_; }

  // Keeps the window alive; false once the user or the owner has cancelled. Between
  // two looks at the window's messages at least kTickMs pass (unless forced), so a
  // click still counts within a tenth of a second, but thousands of small files do
  // not each pay for a round of message calls.
  bool tick(bool force = false) {
    const DWORD now = ::GetTickCount();
    if (!force && now - lastTick_ < kTickMs) return !cancelled_;
    lastTick_ = now;
    progress_.pump();
    if (progress_.cancelRequested()) cancelled_ = true;
    if (waitCursor_) {
      POINT pt;
      HWND under = ::GetCursorPos(&pt) ? ::WindowFromPoint(pt) : nullptr;
      const HWND pw = progress_.hwnd();
      if (!pw || (under != pw && !::IsChild(pw, under))) ::SetCursor(waitCursor_);
    }
    return !cancelled_;
  }
  bool cancelled() const { return cancelled_; }

  // Sends "wm_arcextract" to the window given by SetOwnerWindow (looked up afresh, so
  // that ClearOwnerWindow from a handler takes effect at once). A non-zero answer
  // cancels, except for END.
  void notify(WPARAM kind) {
    HWND w = settings().notifyWindow;
    if (!w || !::IsWindow(w)) return;
    Timed timed(Work::Notify);
    const LRESULT answer = ::SendMessageA(w, arcExtractMessage(), kind, reinterpret_cast<LPARAM>(&info_));
    if (answer != 0 && kind != UNLHA_NOTIFY_END) cancelled_ = true;
  }

  UnlhaExtractingInfo& info() { return info_; }
  const std::string& archive() const { return archive_; }
  const arccmd::CommandLine& cl() const { return cl_; }

 private:
  HWND hwnd_;
  const arccmd::CommandLine& cl_;
  std::string archive_;
  ProgressWindow progress_;
  UnlhaExtractingInfo info_{};
  bool cancelled_ = false;
  static constexpr DWORD kTickMs = 100;
  DWORD lastTick_ = ::GetTickCount() - kTickMs;
  HCURSOR waitCursor_ = nullptr, oldCursor_ = nullptr;
  int oldPriority_ = THREAD_PRIORITY_NORMAL;
  bool priorityChanged_ = false;
};

// Calls tick every 256 KiB read, so that the window stays alive while the codec decodes
// one large member without reporting (the check of the written archive). A false from
// tick fails the read; the command then sees that it was cancelled.
class TickingSource : public lzh::ByteSource {
 public:
  TickingSource(lzh::ByteSource& inner, std::function<bool()> tick) : inner_(inner), tick_(std::move(tick)) {}
  std::uint64_t size() override { return inner_.size(); }
  bool readAt(std::uint64_t offset, void* buf, std::size_t n) override {
    if (!inner_.readAt(offset, buf, n)) return false;
    sinceTick_ += n;
    if (sinceTick_ >= (1u << 18)) {
      sinceTick_ = 0;
      return tick_();
    }
    return true;
  }

 private:
  lzh::ByteSource& inner_;
  std::function<bool()> tick_;
  std::uint64_t sinceTick_ = 0;
};

DWORD shareFor(int share) {
  switch (share) {
    case 2: return FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
    case 1: return FILE_SHARE_READ | FILE_SHARE_WRITE;
    default: return FILE_SHARE_READ;
  }
}

// Opens the archive for reading; fails with the code the command should answer.
Failure openArchive(const std::string& path, File& file, std::unique_ptr<FileSource>& source, bool mustExist) {
  DWORD err = 0;
  HANDLE h = openForReading(path, FILE_SHARE_READ, &err);
  if (h == INVALID_HANDLE_VALUE) {
    if (!mustExist && (err == ERROR_FILE_NOT_FOUND)) return {};
    if (err == ERROR_FILE_NOT_FOUND || err == ERROR_PATH_NOT_FOUND)
      return fail(UNLHA_ERR_ARCHIVE_NOT_FOUND, path, err);
    return fail(UNLHA_ERR_ARCHIVE_READ, path, err);
  }
  file = File(h);
  source = std::make_unique<FileSource>(h);
  if (!source->sizeKnown()) return fail(UNLHA_ERR_ARCHIVE_READ, path, source->lastError());
  return {};
}

// Opens an existing archive and reads all its member headers (for l and t).
Failure readMembers(const std::string& path, File& file, std::unique_ptr<FileSource>& source,
                    std::vector<lzh::Member>& members) {
  Failure f = openArchive(path, file, source, true);
  if (f.failed()) return f;
  lzh::Status s = lzh::readArchive(*source, members);
  if (!s.ok()) return fail(codeForCodecError(s.error), path, source->lastError());
  return {};
}

// ---------------------------------------------------------------- u and a

// Threads that compress: one per processor, or PV_UNLHA_THREADS when set (1 = all on
// the caller's thread; for comparisons). The archive is the same either way.
int workerThreads() {
  char v[16];
  const DWORD n = ::GetEnvironmentVariableA("PV_UNLHA_THREADS", v, sizeof v);
  int threads = 0;
  if (n > 0 && n < sizeof v) threads = std::atoi(v);
  if (threads <= 0) {
    SYSTEM_INFO si;
    ::GetSystemInfo(&si);
    threads = static_cast<int>(si.dwNumberOfProcessors);
  }
  return std::clamp(threads, 1, 16);
}

Failure update(Run& run, std::string& log) {
  const arccmd::CommandLine& cl = run.cl();
  const std::string& archive = run.archive();
  const bool deleting = cl.command == arccmd::Command::Delete;
  Profile& profile = Profile::get();
  profile.start();
  {
    Timed timed(Work::Window);
    run.openWindow(deleting ? "削除中" : "圧縮中");
  }
  const long long scanStart = Profile::now();

  std::vector<SourceFile> files;
  std::vector<Unreadable> unreadable;
  Failure f = deleting ? Failure() : collectFiles(cl, files, unreadable, [&run] { return run.tick(); });
  if (f.failed()) return f;
  // An archive inside the folders it backs up must not swallow its own old copy.
  const std::string self = sjis::lowerAscii(archive);
  files.erase(std::remove_if(files.begin(), files.end(),
                             [&](const SourceFile& sf) { return !sf.isFolder && sjis::lowerAscii(fullPath(sf.path)) == self; }),
              files.end());
  if (deleting && cl.names.empty()) return fail(UNLHA_ERR_NO_MATCH);
  // Nothing readable at all is no backup: the first file that failed says why.
  auto firstUnreadable = [&unreadable]() {
    const Unreadable& u = unreadable.front();
    const bool missing = u.winError == ERROR_FILE_NOT_FOUND || u.winError == ERROR_PATH_NOT_FOUND;
    return fail(missing ? UNLHA_ERR_FILE_NOT_FOUND : UNLHA_ERR_FILE_READ, u.path, u.winError);
  };
  // What was stored is the archive; the files left out make it a warning.
  bool archiveExisted = false;
  auto withWarning = [&unreadable, &archive, &archiveExisted]() {
    if (unreadable.empty()) return Failure();
    Failure w = fail(UNLHA_WARN_UNREADABLE, archive);
    w.unreadable = unreadable;
    w.archiveUpdated = archiveExisted;
    return w;
  };
  if (files.empty() && !deleting) return unreadable.empty() ? fail(UNLHA_ERR_NO_FILES) : firstUnreadable();

  // Where the archive goes, checked before any work.
  const DWORD attrs = ::GetFileAttributesA(archive.c_str());
  const bool exists = attrs != INVALID_FILE_ATTRIBUTES;
  archiveExisted = exists;
  if (exists && (attrs & FILE_ATTRIBUTE_DIRECTORY)) return fail(UNLHA_ERR_ARCHIVE_READ, archive, ERROR_ACCESS_DENIED);
  if (deleting && !exists) return fail(UNLHA_ERR_ARCHIVE_NOT_FOUND, archive, ERROR_FILE_NOT_FOUND);
  if (exists && (attrs & FILE_ATTRIBUTE_READONLY)) {
    Failure ro = fail(UNLHA_ERR_ARCHIVE_READONLY, archive);
    ro.archiveKept = true;
    return ro;
  }
  const std::string folder = folderOf(archive);
  const DWORD folderAttrs = ::GetFileAttributesA(folder.c_str());
  if (folderAttrs == INVALID_FILE_ATTRIBUTES || !(folderAttrs & FILE_ATTRIBUTE_DIRECTORY))
    return fail(UNLHA_ERR_DEST_FOLDER, folder);
  removeStaleTempFiles(folder);

  File oldFile;
  std::unique_ptr<FileSource> old;
  f = openArchive(archive, oldFile, old, false);
  f.archiveKept = exists;
  if (f.failed()) return f;
  // u and a start a new archive in a file of 0 bytes; d has nothing there to delete from.
  if (deleting && old && old->size() == 0) {
    Failure df = fail(UNLHA_ERR_DAMAGED, archive);
    df.archiveKept = true;
    return df;
  }

  // What the codec stores, and how it opens each file.
  const DWORD share = shareFor(cl.sw.share);
  std::vector<lzh::Entry> entries;
  std::unordered_map<std::string, SourceFile*> byKey;
  entries.reserve(files.size());
  for (SourceFile& sf : files) {
    lzh::Entry e;
    e.name = sf.member;
    e.isFolder = sf.isFolder;
    e.size = sf.size;
    e.attributes = static_cast<std::uint16_t>(sf.attributes & 0x37);
    e.times.creation = ticks(sf.creation);
    e.times.lastWrite = ticks(sf.lastWrite);
    e.times.lastAccess = ticks(sf.lastAccess);
    SourceFile* p = &sf;
    if (!sf.isFolder) {
      e.open = [p, share]() -> std::unique_ptr<lzh::InputStream> {
        HANDLE h = openForReading(p->path, share, &p->openError);
        if (h == INVALID_HANDLE_VALUE) return nullptr;
        return std::make_unique<FileInput>(h, &p->openError);
      };
    }
    byKey[lzh::nameKey(sf.member)] = p;
    entries.push_back(std::move(e));
  }

  lzh::UpdateOptions opt;
  opt.mode = cl.command == arccmd::Command::Add ? lzh::UpdateOptions::Mode::Always : lzh::UpdateOptions::Mode::Newer;
  opt.storeFolders = true;  // folders are only listed when the switches ask for them
  opt.dosTimeToUnix = localDosToUnix;
  if (deleting) opt.remove = [&cl](const lzh::Member& m) { return lzh::memberSelected(cl.names, m); };
  // --new: every listed file is stored again and members of names no longer listed go,
  // but a listed file that cannot be read, or one in a folder that cannot be read, keeps
  // its member: the old archive may hold its only copy.
  std::set<std::string> listedKeys;
  std::vector<std::string> unreadablePaths;
  if (cl.sw.fresh && !deleting) {
    opt.mode = lzh::UpdateOptions::Mode::Always;
    for (const SourceFile& sf : files) listedKeys.insert(lzh::nameKey(sf.member));
    for (const std::string& name : cl.names) {
      std::string member;
      if (arccmd::memberName(name, cl.sw.storePaths, member)) listedKeys.insert(lzh::nameKey(member));
    }
    for (const Unreadable& u : unreadable) {
      std::string path = sjis::lowerAscii(fullPath(u.path));
      if (path.size() > 3 && sjis::endsWithChar(path, '\\')) path.pop_back();
      unreadablePaths.push_back(std::move(path));
    }
    opt.remove = [&](const lzh::Member& m) {
      if (listedKeys.count(lzh::nameKey(m.path))) return false;
      const std::string disk = sjis::lowerAscii(fullPath(arccmd::joinPath(cl.baseDir, m.path)));
      for (const std::string& u : unreadablePaths)
        if (disk == u || (disk.size() > u.size() && disk.compare(0, u.size(), u) == 0 && disk[u.size()] == '\\'))
          return false;
      return true;
    };
  }
  opt.skipUnreadable = true;
  opt.threads = workerThreads();
  // The benchmark times the cheapest-path parser beside the default one.
  opt.encoder.optimal = ::GetEnvironmentVariableA("PV_UNLHA_CHEAPEST", nullptr, 0) > 0;
  if (profile.on())
    opt.memberTime = [&profile](std::chrono::steady_clock::duration d) {
      profile.add(Work::Compress, profile.ticksOf(d));
    };
  if (settings().background)
    opt.onWorkerStart = [] { ::SetThreadPriority(::GetCurrentThread(), THREAD_PRIORITY_BELOW_NORMAL); };

  // Failures that are about one of the files name it as the user knows it: its path.
  auto entryFailure = [&](const lzh::Status& st) {
    auto it = byKey.find(lzh::nameKey(st.name));
    SourceFile* sf = it == byKey.end() ? nullptr : it->second;
    const DWORD e = sf ? sf->openError : 0;
    int code = codeForCodecError(st.error);
    if (st.error == lzh::Error::ReadFailed && (e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND))
      code = UNLHA_ERR_FILE_NOT_FOUND;
    Failure ef = fail(code, sf && st.error != lzh::Error::BadName ? sf->path : st.name, e);
    ef.archiveKept = exists;
    return ef;
  };
  auto isEntryError = [](lzh::Error e) {
    return e == lzh::Error::ReadFailed || e == lzh::Error::TooLarge || e == lzh::Error::BadName;
  };

  lzh::UpdatePlan plan;
  lzh::Status s = lzh::planUpdate(old.get(), entries, opt, plan);
  // --new over an archive that no longer parses: what it held cannot be carried over,
  // and making it anew is what was asked for.
  if (!s.ok() && cl.sw.fresh && s.error == lzh::Error::DamagedArchive) {
    old.reset();
    oldFile.close();
    s = lzh::planUpdate(nullptr, entries, opt, plan);
  }
  if (!s.ok()) {
    if (isEntryError(s.error)) return entryFailure(s);
    Failure pf = fail(codeForCodecError(s.error), archive, old ? old->lastError() : 0);
    pf.archiveKept = exists;
    return pf;
  }

  if (profile.on()) profile.add(Work::Scan, Profile::now() - scanStart);
  UnlhaExtractingInfo& info = run.info();
  info.totalSize = static_cast<DWORD>(plan.bytesToCompress);
  info.fileCount = static_cast<DWORD>(plan.changes());
  if (deleting && plan.changes() == 0) {
    Failure nf = fail(UNLHA_ERR_NO_MATCH, cl.names.front());
    nf.archiveKept = true;
    return nf;
  }
  if (exists && old && old->size() > 0 && plan.changes() == 0) {
    log += "更新するファイルはありません。\r\n";
    return withWarning();
  }

  TempFile temp;
  {
    char name[MAX_PATH];
    if (!::GetTempFileNameA(folder.c_str(), "pvl", 0, name)) {
      Failure tf = fail(UNLHA_ERR_TEMP_FILE, folder, ::GetLastError());
      tf.archiveKept = exists;
      return tf;
    }
    temp.path = name;
  }
  HANDLE th = ::CreateFileA(temp.path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (th == INVALID_HANDLE_VALUE) {
    Failure tf = fail(UNLHA_ERR_TEMP_FILE, folder, ::GetLastError());
    tf.archiveKept = exists;
    return tf;
  }
  temp.file = File(th);
  FileSink sink(th);
  // With worker threads, new members are checked as they reach the file, while the
  // rest are compressed; what is left is checked after the pass. Decoding costs a tenth
  // of compressing: one check thread for every four workers keeps up without taking
  // much of their processors; after the pass, as many as there were workers.
  WrittenFile readBack(th, sink);
  const int checkThreads = opt.threads > 1 ? std::max(1, opt.threads / 4) : 0;
  lzh::WrittenCheck check(readBack, [&sink] { return sink.inFile(); }, checkThreads, opt.onWorkerStart,
                          checkThreads ? opt.threads : 0);
  opt.check = &check;

  // Progress: the codec counts kept members' bytes too; the records count files only.
  SourceFile* current = nullptr;
  std::uint64_t fileStart = 0, compressedDone = 0, lastDone = 0;
  DWORD index = 0;
  bool verifying = false;
  opt.progress = [&](const lzh::Progress& p) -> bool {
    Timed timed(Work::Window);
    ProgressWindow& w = run.window();
    switch (p.kind) {
      case lzh::ProgressKind::FileBegin: {
        auto it = byKey.find(lzh::nameKey(std::string(p.name)));
        current = it == byKey.end() ? nullptr : it->second;
        fileStart = p.done;
        lastDone = p.done;
        if (current) {
          info.fileSize = static_cast<DWORD>(current->size);
          info.writeSize = 0;
          setField(info.sourceName, current->path);
          setField(info.destName, current->member);
          info.fileIndex = ++index;
          info.attributes = static_cast<WORD>(current->attributes & 0x37);
          FILETIME local;
          info.dosDate = info.dosTime = 0;
          if (::FileTimeToLocalFileTime(&current->lastWrite, &local))
            ::FileTimeToDosDateTime(&local, &info.dosDate, &info.dosTime);
          setField(info.modeText, current->isFolder ? "-lhd-" : "-lh5-");
          info.totalDone = static_cast<DWORD>(compressedDone);
          w.setFile(current->member);
          run.notify(UNLHA_NOTIFY_PROGRESS);
        }
        break;
      }
      case lzh::ProgressKind::Bytes:
        if (current) {
          const std::uint64_t step = p.done - lastDone;
          compressedDone = std::min<std::uint64_t>(compressedDone + step, plan.bytesToCompress);
          info.writeSize = static_cast<DWORD>(std::min<std::uint64_t>(p.done - fileStart, current->size));
          info.totalDone = static_cast<DWORD>(compressedDone);
          run.notify(UNLHA_NOTIFY_PROGRESS);
        }
        lastDone = p.done;
        break;
      case lzh::ProgressKind::FileEnd:
        if (current) {
          compressedDone = std::min<std::uint64_t>(compressedDone + (p.done - lastDone), plan.bytesToCompress);
          lastDone = p.done;
        }
        current = nullptr;
        break;
      case lzh::ProgressKind::End:
        w.setBytes(p.total, p.total);
        w.show();  // the last file and 100 %, however recently the window changed
        break;
      case lzh::ProgressKind::Verify:
        if (!verifying) w.setCaption("検査中");
        verifying = true;
        w.setFile(std::string(p.name));
        w.setBytes(p.done, p.total);
        break;
      default:
        break;
    }
    if (p.kind == lzh::ProgressKind::Bytes || p.kind == lzh::ProgressKind::FileBegin ||
        p.kind == lzh::ProgressKind::FileEnd)
      w.setBytes(p.done, p.total);
    return run.tick();
  };

  auto archiveFailure = [&](int code, DWORD e) {
    Failure af = fail(code, archive, e);
    af.archiveKept = exists;
    return af;
  };
  auto writeFailure = [&]() {
    const DWORD e = sink.lastError();
    const bool full = e == ERROR_DISK_FULL || e == ERROR_HANDLE_DISK_FULL;
    return archiveFailure(full ? UNLHA_ERR_DISK_FULL : UNLHA_ERR_WRITE, e);
  };

  lzh::UpdateResult r;
  {
    Timed timed(Work::Pass);
    r = lzh::updateArchive(old.get(), entries, sink, opt);
  }
  if (!r.status.ok()) {
    switch (r.status.error) {
      case lzh::Error::WriteFailed: return writeFailure();
      case lzh::Error::ReadFailed:
      case lzh::Error::TooLarge:
      case lzh::Error::BadName: return entryFailure(r.status);
      case lzh::Error::Cancelled: return archiveFailure(UNLHA_ERR_CANCELLED, 0);
      default: return archiveFailure(codeForCodecError(r.status.error), old ? old->lastError() : 0);
    }
  }
  for (const lzh::SkippedEntry& sk : r.skipped) {
    auto it = byKey.find(lzh::nameKey(sk.name));
    if (it == byKey.end()) continue;
    unreadable.push_back({it->second->path, sk.sizeChanged ? 0 : it->second->openError, sk.sizeChanged});
  }
  if (r.members.empty() && !unreadable.empty()) {
    Failure nf = firstUnreadable();
    nf.archiveKept = exists;
    return nf;
  }
  {
    Timed timed(Work::Flush);
    if (!sink.finish()) return writeFailure();
  }

  // Read the new archive back before it takes the old one's place.
  std::size_t early = 0;  // members handed to the check during the pass
  {
    Timed timed(Work::Verify);
    FileSource file(th);
    TickingSource ticking(file, [&run] { return run.tick(); });
    early = check.checkedEarly();
    lzh::Status v = check.finish(ticking, r, opt.progress);
    if (!v.ok()) {
      if (v.error == lzh::Error::Cancelled || run.cancelled()) return archiveFailure(UNLHA_ERR_CANCELLED, 0);
      const DWORD e = file.lastError() ? file.lastError() : readBack.lastError();
      Failure vf = fail(UNLHA_ERR_VERIFY, v.name.empty() ? archive : v.name, e);
      vf.archiveKept = exists;
      return vf;
    }
    run.window().setBytes(1, 1);
    run.window().show();
  }
  if (cl.sw.archiveTimeNewest && r.newestWriteTime) {
    FILETIME ft;
    ft.dwLowDateTime = static_cast<DWORD>(r.newestWriteTime);
    ft.dwHighDateTime = static_cast<DWORD>(r.newestWriteTime >> 32);
    ::SetFileTime(th, nullptr, nullptr, &ft);
  }
  temp.file.close();
  oldFile.close();
  old.reset();
  // The last point of return: a cancel after this would be a lie.
  if (!run.tick(true)) return archiveFailure(UNLHA_ERR_CANCELLED, 0);
  {
    Timed timed(Work::Replace);
    if (!::MoveFileExA(temp.path.c_str(), archive.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
      return archiveFailure(UNLHA_ERR_REPLACE, ::GetLastError());
  }
  temp.keep();

  char line[160];
  std::snprintf(line, sizeof line, "追加 %u, 置換 %u, そのまま %u\r\n", static_cast<unsigned>(r.added),
                static_cast<unsigned>(r.replaced), static_cast<unsigned>(r.kept));
  for (const lzh::WrittenMember& m : r.members) {
    if (m.action == lzh::Action::Add) log += "追加: " + m.path + "\r\n";
    if (m.action == lzh::Action::Replace) log += "置換: " + m.path + "\r\n";
  }
  for (std::size_t i = 0; i < plan.existing.size(); ++i)
    if (plan.removed[i]) log += "削除: " + plan.existing[i].path + "\r\n";
  if (deleting) std::snprintf(line, sizeof line, "削除 %u, そのまま %u\r\n", static_cast<unsigned>(r.removed),
                              static_cast<unsigned>(r.kept));
  log += line;
  if (profile.on()) log += profile.line(plan.changes(), opt.threads, early);
  return withWarning();
}

// ---------------------------------------------------------------- l and t

std::string attributeText(std::uint16_t a) {
  const char letters[] = "RHSVDA";
  std::string t;
  for (int i = 0; i < 6; ++i) t += (a & (1u << i)) ? letters[i] : '-';
  return t;
}

void memberDate(const lzh::Member& m, WORD& date, WORD& time) {
  if (m.timeIsDos) {
    date = HIWORD(m.rawTime);
    time = LOWORD(m.rawTime);
  } else {
    unixToDos(m.unixTime, date, time);
  }
}

Failure list(Run& run, std::string& log) {
  File file;
  std::unique_ptr<FileSource> src;
  std::vector<lzh::Member> members;
  Failure f = readMembers(run.archive(), file, src, members);
  if (f.failed()) return f;

  log += "  元サイズ   圧縮後  圧縮率 日付       時刻     属性   方式  名前\r\n";
  std::uint64_t orig = 0, packed = 0;
  for (const lzh::Member& m : members) {
    WORD d, t;
    memberDate(m, d, t);
    char line[128];
    const unsigned ratio = m.originalSize ? static_cast<unsigned>(m.packedSize * 1000 / m.originalSize) : 0;
    std::snprintf(line, sizeof line, "%10llu %10llu %3u.%u%% %04u-%02u-%02u %02u:%02u:%02u %s %s ",
                  static_cast<unsigned long long>(m.originalSize), static_cast<unsigned long long>(m.packedSize),
                  ratio / 10, ratio % 10, 1980u + (d >> 9), (d >> 5) & 15u, d & 31u, t >> 11, (t >> 5) & 63u,
                  (t & 31u) * 2, attributeText(m.attributes).c_str(), m.methodId);
    log += line;
    log += m.path;
    if (m.isDirectory()) log += '\\';
    log += "\r\n";
    orig += m.originalSize;
    packed += m.packedSize;
  }
  char total[96];
  std::snprintf(total, sizeof total, "%10llu %10llu  %u 個のファイル\r\n", static_cast<unsigned long long>(orig),
                static_cast<unsigned long long>(packed), static_cast<unsigned>(members.size()));
  log += total;
  return {};
}

Failure test(Run& run, std::string& log) {
  run.openWindow("検査中");
  File file;
  std::unique_ptr<FileSource> src;
  std::vector<lzh::Member> members;
  Failure f = readMembers(run.archive(), file, src, members);
  if (f.failed()) return f;

  std::uint64_t total = 0, done = 0;
  for (const lzh::Member& m : members) total += m.originalSize;
  UnlhaExtractingInfo& info = run.info();
  info.totalSize = static_cast<DWORD>(total);
  info.fileCount = static_cast<DWORD>(members.size());
  DWORD index = 0;
  for (const lzh::Member& m : members) {
    info.fileSize = static_cast<DWORD>(m.originalSize);
    info.writeSize = 0;
    info.fileIndex = ++index;
    info.totalDone = static_cast<DWORD>(done);
    setField(info.sourceName, run.archive());
    setField(info.destName, m.path);
    info.attributes = m.attributes;
    memberDate(m, info.dosDate, info.dosTime);
    setField(info.modeText, m.methodId);
    run.window().setFile(m.path);
    run.window().setBytes(done, total);
    run.notify(UNLHA_NOTIFY_PROGRESS);
    if (!run.tick()) return fail(UNLHA_ERR_CANCELLED);

    std::uint64_t sinceTick = 0, memberDone = 0;
    lzh::Status s = lzh::extractMember(*src, m, [&](const std::uint8_t*, std::size_t n) {
      memberDone += n;
      sinceTick += n;
      if (sinceTick < (1u << 18)) return true;
      sinceTick = 0;
      run.window().setBytes(done + memberDone, total);
      return run.tick();
    });
    if (run.cancelled()) return fail(UNLHA_ERR_CANCELLED);
    if (!s.ok()) return fail(codeForCodecError(s.error), m.path, src->lastError());
    done += m.originalSize;
    log += "OK: " + m.path + "\r\n";
  }
  char line[64];
  std::snprintf(line, sizeof line, "%u 個のファイルに誤りはありません。\r\n", static_cast<unsigned>(members.size()));
  log += line;
  return {};
}

}  // namespace

int runCommand(HWND hwnd, const arccmd::CommandLine& cl, std::string& log, Failure& failure, MemoryTarget* memory) {
  Run run(hwnd, cl, fullPath(arccmd::withDefaultExtension(cl.archive)));
  RunContext context{cl, run.archive(), run.info(), run.window(),
                     [&run](const char* caption) { run.openWindow(caption); }, [&run] { return run.tick(); },
                     [&run](WPARAM kind) { run.notify(kind); }};
  const bool extracting = cl.command == arccmd::Command::Extract || cl.command == arccmd::Command::ExtractFlat;
  run.notify(UNLHA_NOTIFY_BEGIN);
  if (run.cancelled()) {
    failure = fail(UNLHA_ERR_CANCELLED);
  } else if (memory) {
    failure = extracting ? extractToMemory(context, *memory, log) : fail(UNLHA_ERR_COMMAND);
  } else {
    switch (cl.command) {
      case arccmd::Command::Update:
      case arccmd::Command::Add:
      case arccmd::Command::Delete: {
        const bool existed = ::GetFileAttributesA(run.archive().c_str()) != INVALID_FILE_ATTRIBUTES;
        failure = update(run, log);
        if (failure.failed() && failure.code != UNLHA_WARN_UNREADABLE && existed) failure.archiveKept = true;
        break;
      }
      case arccmd::Command::List: failure = list(run, log); break;
      case arccmd::Command::Test: failure = test(run, log); break;
      case arccmd::Command::Extract:
      case arccmd::Command::ExtractFlat: failure = extractFiles(context, log); break;
    }
  }
  // A cancel wins over whatever error it caused on the way out.
  if (failure.failed() && run.cancelled() && failure.code != UNLHA_ERR_CANCELLED) {
    const bool kept = failure.archiveKept;
    failure = fail(UNLHA_ERR_CANCELLED, run.archive());
    failure.archiveKept = kept;
  }
  run.info().result = static_cast<DWORD>(failure.code);
  run.window().close();
  run.notify(UNLHA_NOTIFY_END);
  return failure.code;
}

}  // namespace pv::unlha
