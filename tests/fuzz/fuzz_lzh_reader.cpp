// Arbitrary bytes as an LZH archive: walk it (with and without looking past a stub),
// decode every member up to a size cap, decode the bytes as raw -lh5/6/7- streams,
// and update the archive when it parses: the update must succeed and verify. Nothing
// may read or write outside its buffers, hang, or write an archive that fails.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "lzh/archive.h"
#include "lzh/codec.h"
#include "lzh/update.h"

using namespace pv::lzh;

namespace {

constexpr std::uint64_t kSizeCap = 1u << 20;  // members larger than this are not decoded

void decodeMembers(ByteSource& src, const ReaderOptions& options) {
  ArchiveReader r(src, options);
  Member m;
  while (r.next(m)) {
    if (m.originalSize > kSizeCap) continue;
    std::uint64_t produced = 0;
    const Status s = extractMember(src, m, [&](const std::uint8_t*, std::size_t n) {
      produced += n;
      return true;
    });
    if (produced > m.originalSize) __builtin_trap();
    (void)s;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  MemorySource src(data, size);
  decodeMembers(src, ReaderOptions());
  ReaderOptions stub;
  stub.skipStub = true;
  decodeMembers(src, stub);

  // The bytes after the first two as a raw stream; those two give the size.
  if (size >= 2) {
    const std::size_t original = static_cast<std::size_t>(data[0] | (data[1] << 8)) * 4;
    for (Method m : {Method::Lh5, Method::Lh6, Method::Lh7}) {
      std::vector<std::uint8_t> out;
      const Status s = decompress(m, data + 2, size - 2, original, out);
      if (s.ok() && out.size() != original) __builtin_trap();
    }
  }

  // An archive that reads must take an update, and the result must verify.
  std::vector<Member> members;
  if (readArchive(src, members).ok()) {
    static const std::string extra = "added by the fuzzer, added by the fuzzer";
    Entry e;
    e.name = "fuzz\\added.txt";
    e.size = extra.size();
    e.times.lastWrite = 0x01D0000000000000ull;
    e.open = [] { return std::unique_ptr<InputStream>(new MemoryInputStream(extra.data(), extra.size())); };
    MemorySink out;
    const UpdateResult r = updateArchive(&src, {e}, out, UpdateOptions());
    // Whatever the archive holds, adding to it must work.
    if (!r.status.ok()) __builtin_trap();
    MemorySource written(out.bytes);
    if (!verifyArchive(written, r).ok()) __builtin_trap();
  }
  return 0;
}
