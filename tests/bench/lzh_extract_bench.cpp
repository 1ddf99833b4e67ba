// Host-only driver for profiling extraction: takes every member out of an archive the
// way the DLL's x does (header walk, name check, decode into a temporary file, rename),
// through plain POSIX files, and prints the time per member for each tenth of the
// members, so that a cost growing with the members already written shows.
//   lzh_extract_bench <archive> <folder>
// PV_BENCH_FSYNC=1 flushes every file before its rename, as the DLL does.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unordered_set>
#include <vector>

#include "lzh/archive.h"
#include "lzh/extract.h"
#include "fd_source.h"
#include "lzh/timestamps.h"

using namespace pv::lzh;
using pv::bench::FdSource;

namespace {

void makeFolders(const std::string& path, std::unordered_set<std::string>& made) {
  if (path.empty() || made.count(path)) return;
  const std::size_t cut = path.rfind('/');
  if (cut != std::string::npos && cut > 0) makeFolders(path.substr(0, cut), made);
  mkdir(path.c_str(), 0755);
  made.insert(path);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: lzh_extract_bench <archive> <folder>\n");
    return 2;
  }
  const bool sync = std::getenv("PV_BENCH_FSYNC") != nullptr;
  const int fd = open(argv[1], O_RDONLY);
  if (fd < 0) return std::perror(argv[1]), 1;
  FdSource file(fd);
  std::vector<Member> members;
  const auto start = std::chrono::steady_clock::now();
  const Status st = readArchive(file, members);
  if (!st.ok()) return std::fprintf(stderr, "damaged: %s\n", st.detail.c_str()), 1;
  const std::string root = argv[2], work = root + "/pvx.tmp";
  std::unordered_set<std::string> made;
  makeFolders(work, made);
  const std::size_t tenth = members.size() / 10 ? members.size() / 10 : 1;
  auto last = std::chrono::steady_clock::now();
  std::printf("headers: %zu members in %.1f ms\n", members.size(),
              std::chrono::duration<double, std::milli>(last - start).count());
  unsigned long counter = 0;
  for (std::size_t i = 0; i < members.size(); ++i) {
    const Member& m = members[i];
    std::string rel;
    if (safeMemberPath(m, rel) == NameProblem::None) {
      for (char& c : rel)
        if (c == '\\') c = '/';  // our test names are ASCII
      const std::string target = root + "/" + rel;
      if (m.isDirectory()) {
        makeFolders(target, made);
      } else {
        makeFolders(target.substr(0, target.rfind('/')), made);
        const std::string temp = work + "/" + std::to_string(++counter) + ".tmp";
        const int out = open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
        const Status s = extractMember(file, m, [out](const std::uint8_t* d, std::size_t n) {
          return write(out, d, n) == static_cast<ssize_t>(n);
        });
        if (sync) fsync(out);
        close(out);
        if (!s.ok() || rename(temp.c_str(), target.c_str()) != 0) return std::fprintf(stderr, "%s failed\n", rel.c_str()), 1;
      }
    }
    if ((i + 1) % tenth == 0) {
      const auto now = std::chrono::steady_clock::now();
      std::printf("members %7zu: %.1f us/member\n", i + 1,
                  std::chrono::duration<double, std::micro>(now - last).count() / static_cast<double>(tenth));
      last = now;
    }
  }
  rmdir(work.c_str());
  std::printf("total %.1f ms\n",
              std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
  return 0;
}
