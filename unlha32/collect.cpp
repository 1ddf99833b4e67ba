#include "unlha32/collect.h"

#include <unordered_map>

#include "core/sjis.h"
#include "core/wildcard.h"
#include "lzh/header.h"

namespace pv::unlha {

namespace {

// Longer than any path Windows can open; such a name is an error, not a file.
constexpr std::size_t kMaxName = 32767;

// True when s is made of whole Shift-JIS characters (no lone lead byte, no lead byte
// before a byte that cannot follow one).
bool wholeShiftJis(std::string_view s) {
  for (std::size_t i = 0; i < s.size(); ++i) {
    if (!sjis::isLead(static_cast<unsigned char>(s[i]))) continue;
    if (i + 1 >= s.size()) return false;
    const unsigned char t = static_cast<unsigned char>(s[++i]);
    if (t < 0x40 || t == 0x7F || t > 0xFC) return false;
  }
  return true;
}

// The name as Windows opens it: every component but "." and ".." loses its trailing
// dots and blanks ("a.txt." and "a.txt " are a.txt). keepLast leaves the last component
// alone (a wildcard). False when a component is nothing but dots and blanks.
bool windowsName(const std::string& name, bool keepLast, std::string& out) {
  out.clear();
  std::string comp;
  auto finish = [&](bool last) {
    if (!(last && keepLast) && comp != "." && comp != "..") {
      const bool had = !comp.empty();
      // '.' and ' ' are never second bytes, so plain byte tests are safe here.
      while (!comp.empty() && (comp.back() == '.' || comp.back() == ' ')) comp.pop_back();
      if (had && comp.empty()) return false;
    }
    out += comp;
    comp.clear();
    return true;
  };
  for (std::size_t i = 0; i < name.size();) {
    const std::size_t len = sjis::charLen(name, i);
    if (len == 1 && (name[i] == '\\' || name[i] == '/')) {
      if (!finish(false)) return false;
      out += name[i];
    } else {
      comp.append(name, i, len);
    }
    i += len;
  }
  return finish(true);
}

std::string shortened(const std::string& name) {
  const std::size_t n = sjis::fitLength(name, MAX_PATH);
  return n < name.size() ? name.substr(0, n) + "..." : name;
}

bool sameFolder(const std::string& a, const std::string& b) {
  auto key = [](const std::string& p) {
    std::string f = sjis::lowerAscii(fullPath(p));
    while (f.size() > 3 && sjis::endsWithChar(f, '\\')) f.pop_back();
    return f;
  };
  return key(a) == key(b);
}

struct Collector {
  const arccmd::CommandLine& cl;
  std::vector<SourceFile>& files;
  std::vector<Unreadable>& unreadable;
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
      // A folder that is gone or denied: the rest of the tree is still worth a backup.
      unreadable.push_back({diskDir, e, false});
      return {};
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

  Failure addName(const std::string& listed) {
    if (listed.size() > kMaxName) return fail(UNLHA_ERR_BAD_NAME, shortened(listed));
    if (listed.find('\0') != std::string::npos || !wholeShiftJis(listed)) return fail(UNLHA_ERR_BAD_NAME, listed);
    const bool wild = wildcard::hasWildcards(arccmd::lastComponent(listed));
    std::string name;
    if (!windowsName(listed, wild, name)) return fail(UNLHA_ERR_BAD_NAME, listed);
    const std::string disk = arccmd::joinPath(cl.baseDir, name);
    const std::string last(arccmd::lastComponent(name));
    // The base folder itself has no member name; it would be stored as a broken one.
    if (!wild && sameFolder(disk, cl.baseDir.empty() ? std::string(".") : cl.baseDir))
      return fail(UNLHA_ERR_BAD_NAME, listed);

    if (wild) {
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
      if (e == ERROR_INVALID_NAME || e == ERROR_FILENAME_EXCED_RANGE || e == ERROR_BAD_PATHNAME)
        return fail(UNLHA_ERR_BAD_NAME, listed, e);
      // Gone since the list was made, or denied: left out, the others still stored.
      unreadable.push_back({disk, e, false});
      return {};
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

Failure collectFiles(const arccmd::CommandLine& cl, std::vector<SourceFile>& files,
                     std::vector<Unreadable>& unreadable, const std::function<bool()>& tick) {
  Collector c{cl, files, unreadable, tick, {}, 0};
  for (const std::string& name : cl.names) {
    Failure f = c.addName(name);
    if (f.failed()) return f;
  }
  return {};
}

}  // namespace pv::unlha
