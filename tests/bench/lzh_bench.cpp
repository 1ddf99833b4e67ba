// Host-only driver for scripts/bench-lzh.sh: archives a folder tree with the LZH
// codec through plain POSIX files, the way the DLL does through Win32 handles.
//   lzh_bench create <dir> <archive>   new archive of every file and folder under dir
//   lzh_bench update <dir> <archive>   update it: temp file, verify, rename
// PV_BENCH_OPTIMAL=1 in the environment selects the cheapest-path parser;
// PV_BENCH_THREADS=N compresses on N worker threads; PV_BENCH_CHAIN, PV_BENCH_LAZY,
// PV_BENCH_GOOD and PV_BENCH_NICE set the hash-chain steps, the lazy-match limit, the
// match length that shortens the next search and the one taken at once (to weigh
// speed against size); PV_BENCH_PASSES, PV_BENCH_SKIP, PV_BENCH_REGION and
// PV_BENCH_DEPTH the cheapest path's passes, skip length, region and tree depth.
// Prints one line: members added/replaced/kept and the archive size.
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "fd_source.h"
#include "lzh/timestamps.h"
#include "lzh/update.h"

using namespace pv::lzh;
using pv::bench::FdSource;

namespace {

class FdStream : public InputStream {
 public:
  explicit FdStream(int fd) : fd_(fd) {}
  ~FdStream() override { close(fd_); }
  std::ptrdiff_t read(void* buf, std::size_t n) override { return ::read(fd_, buf, n); }

 private:
  int fd_;
};

// Appends through a buffer; patches and truncation go to the file directly.
class FdSink : public ByteSink {
 public:
  explicit FdSink(int fd) : fd_(fd) {}
  ~FdSink() override { flush(); }
  bool write(const void* data, std::size_t n) override {
    const auto* p = static_cast<const char*>(data);
    buf_.insert(buf_.end(), p, p + n);
    pos_ += n;
    return buf_.size() < (1u << 20) || flush();
  }
  std::uint64_t position() override { return pos_; }
  bool writeAt(std::uint64_t offset, const void* data, std::size_t n) override {
    return flush() && pwrite(fd_, data, n, static_cast<off_t>(offset)) == static_cast<ssize_t>(n);
  }
  bool truncate(std::uint64_t size) override {
    if (!flush() || ftruncate(fd_, static_cast<off_t>(size)) != 0) return false;
    pos_ = size;
    return true;
  }
  bool flush() {
    const std::uint64_t at = pos_ - buf_.size();
    const bool ok = buf_.empty() || pwrite(fd_, buf_.data(), buf_.size(), static_cast<off_t>(at)) ==
                                        static_cast<ssize_t>(buf_.size());
    buf_.clear();
    return ok;
  }

 private:
  int fd_;
  std::uint64_t pos_ = 0;
  std::vector<char> buf_;
};

std::uint64_t fileTime(const struct timespec& ts) {
  return unixToFileTime(ts.tv_sec) + static_cast<std::uint64_t>(ts.tv_nsec / 100);
}

void walk(const std::string& root, const std::string& rel, std::vector<Entry>& out) {
  DIR* d = opendir((root + "/" + rel).c_str());
  if (!d) return;
  std::vector<std::string> names;
  while (dirent* e = readdir(d))
    if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
  closedir(d);
  std::sort(names.begin(), names.end());
  for (const auto& n : names) {
    const std::string r = rel.empty() ? n : rel + "/" + n;
    const std::string full = root + "/" + r;
    struct stat st;
    if (lstat(full.c_str(), &st) != 0) continue;
    Entry e;
    e.name = r;
    std::replace(e.name.begin(), e.name.end(), '/', '\\');
    e.times.lastWrite = fileTime(st.st_mtim);
    e.times.creation = e.times.lastWrite;
    e.times.lastAccess = fileTime(st.st_atim);
    if (S_ISDIR(st.st_mode)) {
      e.isFolder = true;
      e.attributes = kAttrDirectory;
      out.push_back(e);
      walk(root, r, out);
    } else if (S_ISREG(st.st_mode)) {
      e.size = static_cast<std::uint64_t>(st.st_size);
      e.open = [full]() -> std::unique_ptr<InputStream> {
        const int fd = open(full.c_str(), O_RDONLY);
        if (fd < 0) return nullptr;
        return std::make_unique<FdStream>(fd);
      };
      out.push_back(e);
    }
  }
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4 || (std::strcmp(argv[1], "create") && std::strcmp(argv[1], "update"))) {
    std::fprintf(stderr, "usage: lzh_bench create|update <dir> <archive>\n");
    return 2;
  }
  const bool update = std::strcmp(argv[1], "update") == 0;
  const std::string archive = argv[3];
  std::vector<Entry> entries;
  walk(argv[2], "", entries);

  int oldFd = -1;
  std::unique_ptr<FdSource> old;
  if (update) {
    oldFd = open(archive.c_str(), O_RDONLY);
    if (oldFd < 0) return std::perror(archive.c_str()), 1;
    old = std::make_unique<FdSource>(oldFd);
  }
  const std::string temp = archive + ".tmp";
  const int outFd = open(temp.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0644);
  if (outFd < 0) return std::perror(temp.c_str()), 1;
  UpdateResult r;
  UpdateOptions options;
  {
    FdSink sink(outFd);
    options.encoder.optimal = std::getenv("PV_BENCH_OPTIMAL") != nullptr;
    if (const char* t = std::getenv("PV_BENCH_THREADS")) options.threads = std::atoi(t);
    if (const char* c = std::getenv("PV_BENCH_CHAIN")) options.encoder.maxChain = std::atoi(c);
    if (const char* l = std::getenv("PV_BENCH_LAZY")) options.encoder.lazyLength = std::atoi(l);
    if (const char* g = std::getenv("PV_BENCH_GOOD")) options.encoder.goodLength = std::atoi(g);
    if (const char* k = std::getenv("PV_BENCH_NICE")) options.encoder.niceLength = std::atoi(k);
    if (const char* k = std::getenv("PV_BENCH_PASSES")) options.encoder.passes = std::atoi(k);
    if (const char* k = std::getenv("PV_BENCH_SKIP")) options.encoder.skipLength = std::atoi(k);
    if (const char* k = std::getenv("PV_BENCH_REGION")) options.encoder.regionBytes = std::atoi(k);
    if (const char* k = std::getenv("PV_BENCH_DEPTH")) options.encoder.treeDepth = std::atoi(k);
    if (const char* k = std::getenv("PV_BENCH_SEGMENT")) options.encoder.segmentCodes = std::atoi(k);
    r = updateArchive(old.get(), entries, sink, options);
    if (r.status.ok() && !sink.flush()) r.status = Status::fail(Error::WriteFailed);
  }
  if (r.status.ok()) {
    FdSource written(outFd);
    const Status v = verifyArchive(written, r, {}, options.threads);
    if (!v.ok()) r.status = v;
  }
  close(outFd);
  if (oldFd >= 0) close(oldFd);
  if (!r.status.ok()) {
    std::fprintf(stderr, "failed: %s %s %s\n", errorName(r.status.error), r.status.name.c_str(),
                 r.status.detail.c_str());
    unlink(temp.c_str());
    return 1;
  }
  if (rename(temp.c_str(), archive.c_str()) != 0) return std::perror("rename"), 1;
  struct stat st;
  stat(archive.c_str(), &st);
  std::printf("added %zu replaced %zu kept %zu size %lld\n", r.added, r.replaced, r.kept,
              static_cast<long long>(st.st_size));
  return 0;
}
