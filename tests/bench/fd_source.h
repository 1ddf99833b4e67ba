// An archive read through a POSIX file descriptor, for the host benchmark drivers.
#pragma once
#include <sys/stat.h>
#include <unistd.h>

#include "lzh/io.h"

namespace pv::bench {

class FdSource : public lzh::ByteSource {
 public:
  explicit FdSource(int fd) : fd_(fd) {
    struct stat st;
    size_ = fstat(fd, &st) == 0 ? static_cast<std::uint64_t>(st.st_size) : 0;
  }
  std::uint64_t size() override { return size_; }
  bool readAt(std::uint64_t offset, void* buf, std::size_t n) override {
    auto* p = static_cast<char*>(buf);
    while (n > 0) {
      const ssize_t k = pread(fd_, p, n, static_cast<off_t>(offset));
      if (k <= 0) return false;
      p += k;
      n -= static_cast<std::size_t>(k);
      offset += static_cast<std::uint64_t>(k);
    }
    return true;
  }

 private:
  int fd_;
  std::uint64_t size_;
};

}  // namespace pv::bench
