#include "lzh/archive.h"

#include <algorithm>
#include <vector>

#include "lzh/codec.h"
#include "lzh/crc16.h"

namespace pv::lzh {
namespace {

constexpr std::uint64_t kStubScan = 256u * 1024;

}  // namespace

ArchiveReader::ArchiveReader(ByteSource& src, const ReaderOptions& options) : src_(src), options_(options) {}

bool ArchiveReader::next(Member& m) {
  if (finished_ || !status_.ok()) return false;
  const std::uint64_t size = src_.size();
  if (!started_) {
    started_ = true;
    if (options_.skipStub && size > 0) {
      // Self-extractors put an executable in front; the first header follows it.
      const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(size, kStubScan + 21));
      std::vector<std::uint8_t> head(n);
      if (!src_.readAt(0, head.data(), n)) {
        status_ = Status::fail(Error::ArchiveReadFailed, {}, "archive read failed");
        return false;
      }
      Member probe;
      for (std::size_t off = 0; off + 21 <= n; ++off) {
        if (head[off + 2] == '-' && head[off + 6] == '-' && parseHeader(src_, off, probe).ok()) {
          pos_ = off;
          break;
        }
      }
    }
  }
  if (pos_ >= size) {
    if (!sawMember_) {
      // Nothing at all (a backup truncated to 0 bytes) is not an empty archive.
      status_ = Status::fail(Error::DamagedArchive, {}, "no header and no end mark");
      return false;
    }
    finished_ = true;  // no end mark: accepted
    return false;
  }
  std::uint8_t first;
  if (!src_.readAt(pos_, &first, 1)) {
    status_ = Status::fail(Error::ArchiveReadFailed, {}, "archive read failed");
    return false;
  }
  Status s;
  if (first == 0) {
    // The end mark, unless a level-2 header whose length has a low byte of 0 (a
    // writer that did not pad) starts here; dropping it would lose members.
    // Anything else shaped like a header (method ID at +2) is a damaged one: taking
    // it for the end would quietly drop it and every member after it.
    Member t;
    const Status h = parseHeader(src_, pos_, t);
    if (h.ok() && t.level == 2 && t.hasHeaderCrc && t.dataOffset <= size && t.packedSize <= size - t.dataOffset) {
      m = std::move(t);
      pos_ = m.endOffset();
      sawMember_ = true;
      return true;
    }
    std::uint8_t sig[7];
    if (size - pos_ >= 21 && src_.readAt(pos_, sig, sizeof sig) && sig[2] == '-' && sig[6] == '-') {
      status_ = Status::fail(Error::DamagedArchive, {}, "damaged header where the end mark should be");
      return false;
    }
    // An empty archive is the end mark alone; a 0x00 followed by more (a file of zeros
    // left by a crash) is not one.
    if (!sawMember_ && size - pos_ > 1) {
      status_ = Status::fail(Error::DamagedArchive, {}, "zero byte where the first header should be");
      return false;
    }
    finished_ = true;
    return false;
  }
  s = parseHeader(src_, pos_, m);
  if (!s.ok()) {
    status_ = s;
    if (status_.detail.empty()) status_.detail = "bad header";
    return false;
  }
  if (m.dataOffset > size || m.packedSize > size - m.dataOffset) {
    status_ = Status::fail(Error::DamagedArchive, m.path, "member data runs past the end of the archive");
    return false;
  }
  pos_ = m.endOffset();
  sawMember_ = true;
  return true;
}

Status readArchive(ByteSource& src, std::vector<Member>& out, const ReaderOptions& options) {
  out.clear();
  BufferedSource buffered(src);
  ArchiveReader r(buffered, options);
  Member m;
  while (r.next(m)) out.push_back(std::move(m));
  return r.status();
}

Status extractMember(ByteSource& archive, const Member& m,
                     const std::function<bool(const std::uint8_t*, std::size_t)>& out) {
  if (m.method == Method::Other)
    return Status::fail(Error::UnsupportedMethod, m.path, std::string("method ") + m.methodId);
  if (m.method == Method::Lhd) return {};
  Decoder d(m.method, archive, m.dataOffset, m.packedSize, m.originalSize);
  std::vector<std::uint8_t> buf(static_cast<std::size_t>(std::clamp<std::uint64_t>(m.originalSize, 1, 1u << 16)));
  std::uint16_t crc = 0;
  std::uint64_t total = 0;
  for (;;) {
    const std::size_t n = d.read(buf.data(), buf.size());
    if (n == 0) break;
    crc = crc16(buf.data(), n, crc);
    total += n;
    if (out && !out(buf.data(), n)) return Status::fail(Error::WriteFailed, m.path, "output refused data");
  }
  Status s = d.status();
  if (!s.ok()) {
    s.name = m.path;
    return s;
  }
  if (total != m.originalSize) return Status::fail(Error::CorruptData, m.path, "data shorter than its original size");
  if (crc != m.crc) return Status::fail(Error::CrcMismatch, m.path, "CRC-16 mismatch");
  return {};
}

}  // namespace pv::lzh
