// Win32 files behind the codec's I/O interfaces: the archive to read, the files to
// compress and the temporary archive being written. Each keeps the Windows error code
// of its first failure so that the error box can say why (a sharing violation, a full
// disk) and not just that something failed.
#pragma once
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "lzh/io.h"

namespace pv::unlha {

// Owns a file handle; closes it at scope end.
class File {
 public:
  File() = default;
  explicit File(HANDLE h) : h_(h) {}
  ~File() { close(); }
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  File(File&& o) noexcept : h_(o.h_) { o.h_ = INVALID_HANDLE_VALUE; }
  File& operator=(File&& o) noexcept {
    if (this != &o) {
      close();
      h_ = o.h_;
      o.h_ = INVALID_HANDLE_VALUE;
    }
    return *this;
  }
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  void close() {
    if (valid()) ::CloseHandle(h_);
    h_ = INVALID_HANDLE_VALUE;
  }

 private:
  HANDLE h_ = INVALID_HANDLE_VALUE;
};

// An archive read through a small cache: header walks read a few dozen bytes at a time.
class FileSource : public lzh::ByteSource {
 public:
  explicit FileSource(HANDLE h);
  std::uint64_t size() override { return size_; }
  bool readAt(std::uint64_t offset, void* buf, std::size_t n) override;
  DWORD lastError() const { return error_; }
  bool sizeKnown() const { return sizeOk_; }

 private:
  bool readDirect(std::uint64_t offset, void* buf, std::size_t n);
  HANDLE h_;
  std::uint64_t size_ = 0;
  bool sizeOk_ = false;
  std::vector<std::uint8_t> cache_;
  std::uint64_t cacheOffset_ = 0;
  std::size_t cacheLen_ = 0;
  DWORD error_ = 0;
};

// A file to compress, read front to back. The failure code goes to *error.
class FileInput : public lzh::InputStream {
 public:
  FileInput(HANDLE h, DWORD* error);
  std::ptrdiff_t read(void* buf, std::size_t n) override;
  std::int64_t sizeAtOpen() override { return sizeAtOpen_; }

 private:
  File file_;
  DWORD* error_;
  std::int64_t sizeAtOpen_ = -1;
};

// The temporary archive: written through a large buffer, patched in place for headers.
class FileSink : public lzh::ByteSink {
 public:
  explicit FileSink(HANDLE h);
  bool write(const void* data, std::size_t n) override;
  std::uint64_t position() override { return flushed_ + buf_.size(); }
  bool writeAt(std::uint64_t offset, const void* data, std::size_t n) override;
  bool truncate(std::uint64_t size) override;
  // Writes out the buffer and asks Windows to put the file on the disk.
  bool finish();
  DWORD lastError() const { return error_; }
  // Bytes written to the file so far; the buffer holds the rest.
  std::uint64_t inFile() const { return flushed_; }

 private:
  bool flush();
  bool writeFileAt(std::uint64_t offset, const void* data, std::size_t n);
  bool fail();
  HANDLE h_;
  std::vector<std::uint8_t> buf_;
  std::uint64_t flushed_ = 0;  // bytes in the file; the buffer follows them
  DWORD error_ = 0;
};

// The temporary archive read back while it is still being written (the check of new
// members): it reads just what it is asked for, with no cache, since the file's end
// may still be cut back, and never beyond what the sink has put in the file.
class WrittenFile : public lzh::ByteSource {
 public:
  WrittenFile(HANDLE h, const FileSink& sink) : h_(h), sink_(sink) {}
  std::uint64_t size() override { return sink_.inFile(); }
  bool readAt(std::uint64_t offset, void* buf, std::size_t n) override;
  DWORD lastError() const { return error_; }

 private:
  HANDLE h_;
  const FileSink& sink_;
  DWORD error_ = 0;
};

// Opens for reading; INVALID_HANDLE_VALUE and *error set on failure.
HANDLE openForReading(const std::string& path, DWORD share, DWORD* error);

}  // namespace pv::unlha
