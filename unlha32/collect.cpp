#include "unlha32/collect.h"

#include <unordered_map>

#include "core/sjis.h"
#include "core/wildcard.h"
#include "lzh/header.h"

namespace pv::unlha {

namespace {

struct Collector {
  const arccmd::CommandLine& cl;
  std::vector<SourceFile>& files;
  const std::function<bool()>& tick;
  std::unordered_map<std::string, std::size_t> byKey;  // lzh::nameKey(member) -> index
  int sinceTick = 0;

  bool skipByAttributes(DWORD attrs) const {
    return !cl.sw.takeHiddenSystem && (attrs & (FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM));
  }

  Failure keepAlive() {
    if (++sinceTick >= 64) {
      sinceTick = 0;
      if (tick && !tick()) return fail(UNLHA_ERR_CANCELLED);
    }
    return {};
  }

  // listed: the path as the names give it, relative to the base folder (or absolute).
  Failure add(const std::string& listed, const std::string& diskPath, DWORD attrs, const FILETIME& creation,
              const FILETIME& lastWrite, const FILETIME& lastAccess, std::uint64_t size) {
    SourceFile f;
    f.isFolder = (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (f.isFolder && !cl.sw.storePaths) return {};  // a folder without its path means nothing
    if (!arccmd::memberName(listed, cl.sw.storePaths, f.member)) {
      // A drive's root has no name of its own; its contents still come.
      if (f.isFolder) return {};
      return fail(UNLHA_ERR_BAD_NAME, listed);
    }
    f.path = diskPath;
    f.size = size;
    f.attributes = attrs;
    f.creation = creation;
    f.lastWrite = lastWrite;
    f.lastAccess = lastAccess;

    const std::string key = lzh::nameKey(f.member);
    auto it = byKey.find(key);
    if (it != byKey.end()) {
      // The same file named twice is taken once; two files for one name would lose one.
      if (sjis::lowerAscii(files[it->second].path) == sjis::lowerAscii(diskPath)) return {};
      return fail(UNLHA_ERR_DUPLICATE_NAME, f.member);
    }
    byKey.emplace(key, files.size());
    files.push_back(std::move(f));
    return keepAlive();
  }

  Failure addFound(const std::string& listedDir, const std::string& diskDir, const WIN32_FIND_DATAA& fd) {
    const std::uint64_t size = (static_cast<std::uint64_t>(fd.nFileSizeHigh) << 32) | fd.nFileSizeLow;
    return add(arccmd::joinPath(listedDir, fd.cFileName), arccmd::joinPath(diskDir, fd.cFileName),
               fd.dwFileAttributes, fd.ftCreationTime, fd.ftLastWriteTime, fd.ftLastAccessTime, size);
  }

  // Entries of diskDir matching pattern ("*" = all); with recursion, subfolders too.
  // listedDir is the same folder as the names spell it (for member names).
  Failure walk(const std::string& listedDir, const std::string& diskDir, const std::string& pattern, int depth) {
    if (depth > 256) return {};  // a loop of links; nothing sensible lies that deep
    WIN32_FIND_DATAA fd;
    const std::string search = arccmd::joinPath(diskDir.empty() ? std::string(".") : diskDir, "*");
    HANDLE h = ::FindFirstFileA(search.c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
      const DWORD e = ::GetLastError();
      if (e == ERROR_FILE_NOT_FOUND || e == ERROR_NO_MORE_FILES) return {};
      return fail(e == ERROR_PATH_NOT_FOUND ? UNLHA_ERR_FILE_NOT_FOUND : UNLHA_ERR_FILE_READ, diskDir, e);
    }
    std::vector<WIN32_FIND_DATAA> folders;
    Failure result;
    do {
      const std::string name = fd.cFileName;
      if (name == "." || name == "..") continue;
      if (skipByAttributes(fd.dwFileAttributes)) continue;
      const bool isDir = (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
      if (isDir) {
        // Junctions and links would walk places twice or for ever.
        if (cl.sw.recurse >= 1 && !(fd.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) folders.push_back(fd);
        continue;
      }
      if (!wildcard::match(pattern, name)) continue;
      result = addFound(listedDir, diskDir, fd);
    } while (!result.failed() && ::FindNextFileA(h, &fd));
    ::FindClose(h);
    if (result.failed()) return result;

    for (const WIN32_FIND_DATAA& sub : folders) {
      if (cl.sw.recurse == 2) {
        result = addFound(listedDir, diskDir, sub);
        if (result.failed()) return result;
      }
      result = walk(arccmd::joinPath(listedDir, sub.cFileName), arccmd::joinPath(diskDir, sub.cFileName), pattern,
                    depth + 1);
      if (result.failed()) return result;
    }
    return {};
  }

  Failure addName(const std::string& name) {
    const std::string disk = arccmd::joinPath(cl.baseDir, name);
    const std::string last(arccmd::lastComponent(name));

    if (wildcard::hasWildcards(last)) {
      const std::string listedDir = name.substr(0, name.size() - last.size());
      const std::string diskDir = disk.substr(0, disk.size() - last.size());
      // "*.*" means every file, also those without a dot, as everywhere on Windows.
      return walk(listedDir, diskDir, last == "*.*" ? std::string("*") : last, 0);
    }

    // A trailing '\' names a folder; the file system wants it without.
    std::string probe = disk;
    const bool wantsFolder = sjis::endsWithChar(probe, '\\') || sjis::endsWithChar(probe, '/');
    if (wantsFolder && probe.size() > 1 && !sjis::endsWithChar(probe.substr(0, probe.size() - 1), ':'))
      probe.pop_back();
    WIN32_FILE_ATTRIBUTE_DATA data;
    if (!::GetFileAttributesExA(probe.c_str(), GetFileExInfoStandard, &data)) {
      const DWORD e = ::GetLastError();
      const bool missing = e == ERROR_FILE_NOT_FOUND || e == ERROR_PATH_NOT_FOUND || e == ERROR_INVALID_NAME;
      return fail(missing ? UNLHA_ERR_FILE_NOT_FOUND : UNLHA_ERR_FILE_READ, disk, e);
    }
    const bool isDir = (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    if (wantsFolder && !isDir) return fail(UNLHA_ERR_FILE_NOT_FOUND, disk, ERROR_PATH_NOT_FOUND);
    if (skipByAttributes(data.dwFileAttributes)) return {};
    const std::uint64_t size = (static_cast<std::uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;

    if (!isDir)
      return add(name, probe, data.dwFileAttributes, data.ftCreationTime, data.ftLastWriteTime,
                 data.ftLastAccessTime, size);

    // A folder: its own entry with -r0 and -r2, its files with -r1 and -r2.
    if (cl.sw.recurse != 1) {
      Failure f = add(name, probe, data.dwFileAttributes, data.ftCreationTime, data.ftLastWriteTime,
                      data.ftLastAccessTime, 0);
      if (f.failed()) return f;
    }
    if (cl.sw.recurse == 0) return {};
    std::string listedDir = name;
    if (!wantsFolder) listedDir += '\\';
    return walk(listedDir, probe, "*", 0);
  }
};

}  // namespace

Failure collectFiles(const arccmd::CommandLine& cl, std::vector<SourceFile>& files, const std::function<bool()>& tick) {
  Collector c{cl, files, tick, {}, 0};
  for (const std::string& name : cl.names) {
    Failure f = c.addName(name);
    if (f.failed()) return f;
  }
  return {};
}

}  // namespace pv::unlha
