// Small I/O interfaces the codec works through, so that the DLL plugs in Win32
// file handles and tests plug in memory buffers:
//   ByteSource  - random-access, read-only bytes (an archive to read or update)
//   InputStream - a file's data, read front to back once (an entry to compress)
//   ByteSink    - the archive being written (append, patch earlier bytes, cut back)
// Memory implementations of all three are provided.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <vector>

namespace pv::lzh {

class ByteSource {
 public:
  virtual ~ByteSource() = default;
  // Total number of bytes.
  virtual std::uint64_t size() = 0;
  // Reads exactly n bytes at offset into buf. Callers never ask beyond size(), so
  // false means an I/O failure (reported as Error::ArchiveReadFailed).
  virtual bool readAt(std::uint64_t offset, void* buf, std::size_t n) = 0;
};

class InputStream {
 public:
  virtual ~InputStream() = default;
  // Reads up to n bytes. Answers the count read, 0 at the end, or -1 on failure
  // (reported as Error::ReadFailed with the entry's name).
  virtual std::ptrdiff_t read(void* buf, std::size_t n) = 0;
  // The file's size when it was opened, -1 when unknown. A file that ends at another
  // size was changed while it was read.
  virtual std::int64_t sizeAtOpen() { return -1; }
};

class ByteSink {
 public:
  virtual ~ByteSink() = default;
  // Appends n bytes at the current end. false = disk full or I/O error.
  virtual bool write(const void* data, std::size_t n) = 0;
  // Number of bytes written so far (the current end).
  virtual std::uint64_t position() = 0;
  // Overwrites n already-written bytes at offset (offset + n <= position()).
  // The writer uses it to fill in a member header once the data is written.
  virtual bool writeAt(std::uint64_t offset, const void* data, std::size_t n) = 0;
  // Cuts the output back to size bytes (size <= position()); the next write appends
  // there. Used to drop a compressed attempt and store the file instead.
  virtual bool truncate(std::uint64_t size) = 0;
};

// A ByteSource over bytes owned elsewhere (they must outlive it).
class MemorySource : public ByteSource {
 public:
  MemorySource(const void* data, std::size_t n) : p_(static_cast<const std::uint8_t*>(data)), n_(n) {}
  explicit MemorySource(const std::vector<std::uint8_t>& v) : MemorySource(v.data(), v.size()) {}
  std::uint64_t size() override { return n_; }
  bool readAt(std::uint64_t offset, void* buf, std::size_t n) override {
    if (offset > n_ || n > n_ - offset) return false;
    if (n) std::memcpy(buf, p_ + offset, n);
    return true;
  }

 private:
  const std::uint8_t* p_;
  std::size_t n_;
};

// An InputStream over bytes owned elsewhere.
class MemoryInputStream : public InputStream {
 public:
  MemoryInputStream(const void* data, std::size_t n) : p_(static_cast<const std::uint8_t*>(data)), n_(n) {}
  std::ptrdiff_t read(void* buf, std::size_t n) override {
    if (n > n_ - pos_) n = n_ - pos_;
    if (n) std::memcpy(buf, p_ + pos_, n);
    pos_ += n;
    return static_cast<std::ptrdiff_t>(n);
  }

 private:
  const std::uint8_t* p_;
  std::size_t n_;
  std::size_t pos_ = 0;
};

// Reads another ByteSource through a 64 KiB read-ahead buffer, so that walking many
// small headers costs few reads of the file underneath.
class BufferedSource : public ByteSource {
 public:
  explicit BufferedSource(ByteSource& inner) : inner_(inner), size_(inner.size()) {}
  std::uint64_t size() override { return size_; }
  bool readAt(std::uint64_t offset, void* buf, std::size_t n) override {
    if (offset >= bufAt_ && offset - bufAt_ <= buf_.size() && n <= buf_.size() - (offset - bufAt_)) {
      if (n) std::memcpy(buf, buf_.data() + (offset - bufAt_), n);
      return true;
    }
    if (n > kAhead / 2 || offset > size_ || n > size_ - offset) return inner_.readAt(offset, buf, n);
    const std::uint64_t left = size_ - offset;
    buf_.resize(static_cast<std::size_t>(left < kAhead ? left : kAhead));
    if (!inner_.readAt(offset, buf_.data(), buf_.size())) {
      buf_.clear();
      return false;
    }
    bufAt_ = offset;
    if (n) std::memcpy(buf, buf_.data(), n);
    return true;
  }

 private:
  static constexpr std::size_t kAhead = 64 * 1024;
  ByteSource& inner_;
  std::uint64_t size_;
  std::uint64_t bufAt_ = 0;
  std::vector<std::uint8_t> buf_;
};

// A ByteSink into a vector it owns.
class MemorySink : public ByteSink {
 public:
  bool write(const void* data, std::size_t n) override {
    const auto* b = static_cast<const std::uint8_t*>(data);
    bytes.insert(bytes.end(), b, b + n);
    return true;
  }
  std::uint64_t position() override { return bytes.size(); }
  bool writeAt(std::uint64_t offset, const void* data, std::size_t n) override {
    if (offset > bytes.size() || n > bytes.size() - offset) return false;
    if (n) std::memcpy(bytes.data() + offset, data, n);
    return true;
  }
  bool truncate(std::uint64_t size) override {
    if (size > bytes.size()) return false;
    bytes.resize(static_cast<std::size_t>(size));
    return true;
  }

  std::vector<std::uint8_t> bytes;
};

}  // namespace pv::lzh
