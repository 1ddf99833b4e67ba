#include "unlha32/winio.h"

#include <algorithm>
#include <cstring>

#include "unlha32/profile.h"

namespace pv::unlha {

namespace {

constexpr std::size_t kCacheSize = 64 * 1024;
// Small enough that the new members it holds back reach the file, and the check that
// reads them from there, soon; each write is still a few hundred members of a backup.
constexpr std::size_t kSinkBuffer = 256 * 1024;
// ReadFile and WriteFile take 32-bit counts; stay well below.
constexpr DWORD kMaxIo = 16 * 1024 * 1024;

bool seek(HANDLE h, std::uint64_t offset) {
  LARGE_INTEGER li;
  li.QuadPart = static_cast<LONGLONG>(offset);
  return ::SetFilePointerEx(h, li, nullptr, FILE_BEGIN) != 0;
}

// Reads exactly n bytes at offset; false and *error set otherwise.
bool readExactly(HANDLE h, std::uint64_t offset, void* buf, std::size_t n, DWORD* error) {
  auto* out = static_cast<std::uint8_t*>(buf);
  if (!seek(h, offset)) {
    *error = ::GetLastError();
    return false;
  }
  while (n > 0) {
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(n, kMaxIo)), got = 0;
    if (!::ReadFile(h, out, want, &got, nullptr)) {
      *error = ::GetLastError();
      return false;
    }
    if (got == 0) {
      *error = ERROR_HANDLE_EOF;
      return false;
    }
    out += got;
    n -= got;
  }
  return true;
}

}  // namespace

HANDLE openForReading(const std::string& path, DWORD share, DWORD* error) {
  Timed timed(Work::Open);
  HANDLE h = ::CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                           FILE_ATTRIBUTE_NORMAL | FILE_FLAG_SEQUENTIAL_SCAN, nullptr);
  if (h == INVALID_HANDLE_VALUE && error) *error = ::GetLastError();
  return h;
}

// ---------------------------------------------------------------- FileSource

FileSource::FileSource(HANDLE h) : h_(h) {
  LARGE_INTEGER li;
  if (::GetFileSizeEx(h_, &li)) {
    size_ = static_cast<std::uint64_t>(li.QuadPart);
    sizeOk_ = true;
  } else {
    error_ = ::GetLastError();
  }
}

bool FileSource::readDirect(std::uint64_t offset, void* buf, std::size_t n) {
  return readExactly(h_, offset, buf, n, &error_);
}

bool FileSource::readAt(std::uint64_t offset, void* buf, std::size_t n) {
  if (n == 0) return true;
  if (offset > size_ || n > size_ - offset) {
    error_ = ERROR_HANDLE_EOF;
    return false;
  }
  if (n >= kCacheSize / 2) return readDirect(offset, buf, n);
  if (offset < cacheOffset_ || offset + n > cacheOffset_ + cacheLen_) {
    cache_.resize(kCacheSize);
    const std::size_t len = static_cast<std::size_t>(std::min<std::uint64_t>(kCacheSize, size_ - offset));
    cacheLen_ = 0;
    if (!readDirect(offset, cache_.data(), len)) return false;
    cacheOffset_ = offset;
    cacheLen_ = len;
  }
  std::memcpy(buf, cache_.data() + (offset - cacheOffset_), n);
  return true;
}

// ---------------------------------------------------------------- FileInput

FileInput::FileInput(HANDLE h, DWORD* error) : file_(h), error_(error) {
  LARGE_INTEGER li;
  if (::GetFileSizeEx(h, &li)) sizeAtOpen_ = li.QuadPart;
}

std::ptrdiff_t FileInput::read(void* buf, std::size_t n) {
  Timed timed(Work::Read);
  DWORD got = 0;
  if (!::ReadFile(file_.get(), buf, static_cast<DWORD>(std::min<std::size_t>(n, kMaxIo)), &got, nullptr)) {
    if (error_) *error_ = ::GetLastError();
    return -1;
  }
  return static_cast<std::ptrdiff_t>(got);
}

// ---------------------------------------------------------------- FileSink

FileSink::FileSink(HANDLE h) : h_(h) { buf_.reserve(kSinkBuffer); }

bool FileSink::fail() {
  if (error_ == 0) error_ = ::GetLastError();
  if (error_ == 0) error_ = ERROR_WRITE_FAULT;
  return false;
}

bool FileSink::writeFileAt(std::uint64_t offset, const void* data, std::size_t n) {
  Timed timed(Work::Write);
  if (!seek(h_, offset)) return fail();
  const auto* p = static_cast<const std::uint8_t*>(data);
  while (n > 0) {
    DWORD want = static_cast<DWORD>(std::min<std::size_t>(n, kMaxIo)), done = 0;
    if (!::WriteFile(h_, p, want, &done, nullptr)) return fail();
    if (done == 0) {
      error_ = ERROR_DISK_FULL;
      return false;
    }
    p += done;
    n -= done;
  }
  return true;
}

bool FileSink::flush() {
  if (buf_.empty()) return true;
  if (!writeFileAt(flushed_, buf_.data(), buf_.size())) return false;
  flushed_ += buf_.size();
  buf_.clear();
  return true;
}

bool FileSink::write(const void* data, std::size_t n) {
  if (error_) return false;
  if (buf_.size() + n > kSinkBuffer && !flush()) return false;
  if (n >= kSinkBuffer) {
    if (!writeFileAt(flushed_, data, n)) return false;
    flushed_ += n;
    return true;
  }
  const auto* p = static_cast<const std::uint8_t*>(data);
  buf_.insert(buf_.end(), p, p + n);
  return true;
}

bool FileSink::writeAt(std::uint64_t offset, const void* data, std::size_t n) {
  if (error_) return false;
  if (offset > position() || n > position() - offset) return false;
  const auto* p = static_cast<const std::uint8_t*>(data);
  if (offset < flushed_) {
    // The part already in the file.
    const std::size_t inFile = static_cast<std::size_t>(std::min<std::uint64_t>(n, flushed_ - offset));
    if (!writeFileAt(offset, p, inFile)) return false;
    p += inFile;
    n -= inFile;
    offset += inFile;
  }
  if (n) std::memcpy(buf_.data() + (offset - flushed_), p, n);
  return true;
}

bool FileSink::truncate(std::uint64_t size) {
  if (error_) return false;
  if (size > position()) return false;
  if (size >= flushed_) {
    buf_.resize(static_cast<std::size_t>(size - flushed_));
    return true;
  }
  buf_.clear();
  if (!seek(h_, size) || !::SetEndOfFile(h_)) return fail();
  flushed_ = size;
  return true;
}

bool FileSink::finish() {
  if (error_) return false;
  if (!flush()) return false;
  if (!seek(h_, flushed_) || !::SetEndOfFile(h_)) return fail();
  if (!::FlushFileBuffers(h_)) return fail();
  return true;
}

// ---------------------------------------------------------------- WrittenFile

bool WrittenFile::readAt(std::uint64_t offset, void* buf, std::size_t n) {
  Timed timed(Work::Check);
  if (n == 0) return true;
  if (offset > sink_.inFile() || n > sink_.inFile() - offset) {
    error_ = ERROR_HANDLE_EOF;
    return false;
  }
  return readExactly(h_, offset, buf, n, &error_);
}

}  // namespace pv::unlha
