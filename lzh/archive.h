// Walking an archive's members.
//   ArchiveReader r(src);  Member m;
//   while (r.next(m)) { ... }          // false at the end or on an error
//   if (!r.status().ok()) ...           // DamagedArchive / ArchiveReadFailed
// or all at once: std::vector<Member> ms; Status s = readArchive(src, ms);
//
// Rules: the first header starts at offset 0 (or, with ReaderOptions::skipStub, at the
// first place within 256 KiB that parses as a header). The archive ends at its end
// or at a 0x00 end mark; bytes after the end mark are ignored. The file must begin
// with a header or be the end mark alone (an empty archive): 0 bytes, or a 0x00 with
// more bytes behind it and no member before, is DamagedArchive. Unlike classic readers,
// which stop quietly at anything they cannot parse, a malformed header, a bad header
// CRC or a member whose data runs past the end is reported as DamagedArchive, so a
// damaged archive is never taken for a shorter one. A 0x00 byte that begins a valid
// level-2 header (length low byte 0, written without padding) is read as that header;
// one that begins something else shaped like a header ('-' at +2 and +6) is damage.
//
// extractMember decodes one member and checks its size and CRC-16.
#pragma once
#include <cstdint>
#include <functional>
#include <vector>

#include "lzh/error.h"
#include "lzh/header.h"
#include "lzh/io.h"

namespace pv::lzh {

struct ReaderOptions {
  bool skipStub = false;  // look for the first header past a self-extractor stub
};

class ArchiveReader {
 public:
  explicit ArchiveReader(ByteSource& src, const ReaderOptions& options = {});
  // Reads the next member header into m. false at the end (status() ok) or on error.
  bool next(Member& m);
  const Status& status() const { return status_; }
  // Offset of the end mark, or of the archive's end when there is none (valid once
  // next() answered false with an ok status).
  std::uint64_t endOffset() const { return pos_; }

 private:
  ByteSource& src_;
  ReaderOptions options_;
  std::uint64_t pos_ = 0;
  bool started_ = false;
  bool finished_ = false;
  bool sawMember_ = false;
  Status status_;
};

Status readArchive(ByteSource& src, std::vector<Member>& out, const ReaderOptions& options = {});

// Decoded bytes go to out (false from out = Error::WriteFailed). Answers CrcMismatch
// when the data's CRC-16 or length differs from the header's.
Status extractMember(ByteSource& archive, const Member& m,
                     const std::function<bool(const std::uint8_t*, std::size_t)>& out);

}  // namespace pv::lzh
