// Arbitrary bytes as an archive, extracted into a scratch folder the way the library
// does it: every member name is judged first, every file decoded into a temporary file
// beside its target and renamed only when its size and CRC are right. Nothing may ever
// appear outside the scratch folder, no name judged safe may hold "..", a drive or a
// leading separator, and no temporary file may stay behind.
#include <dirent.h>
#include <fcntl.h>
#include <ftw.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "lzh/archive.h"
#include "lzh/extract.h"
#include "lzh/header.h"

using namespace pv::lzh;

namespace {

constexpr std::uint64_t kSizeCap = 1u << 20;  // larger members are not written

std::string g_base;     // holds only "target"
std::string g_target;   // what the archive is extracted into

bool isFolder(const std::string& p) {
  struct stat st;
  return ::lstat(p.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int removeOne(const char* path, const struct stat*, int, struct FTW*) { return ::remove(path); }

void clearTarget() {
  ::nftw(g_target.c_str(), removeOne, 16, FTW_DEPTH | FTW_PHYS);
  ::mkdir(g_target.c_str(), 0700);
}

void init() {
  char tmpl[] = "/tmp/pv-fuzz-extract.XXXXXX";
  if (!::mkdtemp(tmpl)) std::abort();
  g_base = tmpl;
  g_target = g_base + "/target";
  ::mkdir(g_target.c_str(), 0700);
  std::atexit([] {
    ::nftw(g_base.c_str(), removeOne, 16, FTW_DEPTH | FTW_PHYS);
  });
}

// Makes the folders of rel's components below g_target; false when a file is in the way.
bool makeFolders(const std::vector<std::string>& comps, std::size_t count, std::string& path) {
  path = g_target;
  for (std::size_t i = 0; i < count; ++i) {
    path += "/" + comps[i];
    if (!isFolder(path) && ::mkdir(path.c_str(), 0700) != 0) return false;
  }
  return true;
}

void extractOne(ByteSource& src, const Member& m) {
  std::string rel;
  if (safeMemberPath(m, rel) != NameProblem::None) return;
  const std::vector<std::string> comps = splitPath(rel);
  for (const std::string& c : comps)
    if (c.empty() || c == ".." || c.find(':') != std::string::npos || c.find('/') != std::string::npos) __builtin_trap();
  std::string path;
  if (m.isDirectory()) {
    makeFolders(comps, comps.size(), path);
    return;
  }
  if (m.originalSize > kSizeCap || !makeFolders(comps, comps.size() - 1, path)) return;
  const std::string target = path + "/" + comps.back();
  const std::string temp = path + "/.pvx-temp";
  const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW, 0600);
  if (fd < 0) return;
  const Status s = extractMember(src, m, [&](const std::uint8_t* d, std::size_t n) {
    return ::write(fd, d, n) == static_cast<ssize_t>(n);
  });
  ::close(fd);
  if (!s.ok() || isFolder(target) || ::rename(temp.c_str(), target.c_str()) != 0) ::unlink(temp.c_str());
}

// Nothing beside "target" in the base folder, and no temporary file anywhere in it.
int checkEntry(const char* path, const struct stat*, int, struct FTW*) {
  const std::string p(path);
  if (p.compare(0, g_target.size(), g_target) != 0) __builtin_trap();
  static const std::string temp = "/.pvx-temp";
  if (p.size() >= temp.size() && p.compare(p.size() - temp.size(), temp.size(), temp) == 0) __builtin_trap();
  return 0;
}

void checkScratch() {
  DIR* d = ::opendir(g_base.c_str());
  if (!d) __builtin_trap();
  while (dirent* e = ::readdir(d)) {
    const std::string n = e->d_name;
    if (n != "." && n != ".." && n != "target") __builtin_trap();
  }
  ::closedir(d);
  ::nftw(g_target.c_str(), checkEntry, 16, FTW_PHYS);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  if (g_base.empty()) init();
  MemorySource src(data, size);
  ArchiveReader reader(src);
  Member m;
  // Members read before any damage are extracted, as the library does.
  while (reader.next(m)) extractOne(src, m);
  checkScratch();
  clearTarget();
  return 0;
}
