// Helpers shared by the lzh_*.cpp tests: entries backed by memory, sinks that fail
// on demand, deterministic test data.
#pragma once
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "lzh/archive.h"
#include "lzh/crc16.h"
#include "lzh/io.h"
#include "lzh/timestamps.h"
#include "lzh/update.h"

namespace lzhtest {

using Bytes = std::vector<std::uint8_t>;

inline Bytes bytesOf(const std::string& s) { return Bytes(s.begin(), s.end()); }

inline Bytes randomBytes(std::size_t n, unsigned seed) {
  std::mt19937 rng(seed);
  Bytes b(n);
  for (auto& x : b) x = static_cast<std::uint8_t>(rng());
  return b;
}

// Words drawn from a small vocabulary: compresses like source text.
inline Bytes textBytes(std::size_t n, unsigned seed) {
  static const char* words[] = {"int ", "return ", "static ", "const ", "std::vector", "(void)", "{\n", "}\n",
                                "if (", "while ", "for (", "0x5C", "//", " = ", "++i", "char*", "namespace ",
                                "template", "#include <", ">\n", "size_t", ";\n", "nullptr", "\t"};
  std::mt19937 rng(seed);
  Bytes b;
  while (b.size() < n) {
    const char* w = words[rng() % (sizeof words / sizeof *words)];
    b.insert(b.end(), w, w + std::char_traits<char>::length(w));
    if (rng() % 7 == 0) b.push_back(static_cast<std::uint8_t>('a' + rng() % 26));
  }
  b.resize(n);
  return b;
}

// FILETIME of a Unix time plus a fraction of a second in 100 ns ticks.
inline std::uint64_t ft(std::int64_t unixTime, std::uint64_t ticks = 0) {
  return pv::lzh::unixToFileTime(unixTime) + ticks;
}

struct Opened {
  int opens = 0;
};

// An entry whose data is the given bytes; `failAt` >= 0 makes the stream fail there.
inline pv::lzh::Entry fileEntry(const std::string& name, Bytes data, std::uint64_t lastWrite,
                                std::shared_ptr<Opened> counter = nullptr, long failAt = -1) {
  pv::lzh::Entry e;
  e.name = name;
  e.size = data.size();
  e.times.creation = lastWrite;
  e.times.lastWrite = lastWrite;
  e.times.lastAccess = lastWrite;
  auto shared = std::make_shared<Bytes>(std::move(data));
  e.open = [shared, counter, failAt]() -> std::unique_ptr<pv::lzh::InputStream> {
    if (counter) ++counter->opens;
    struct S : pv::lzh::InputStream {
      std::shared_ptr<Bytes> d;
      std::size_t pos = 0;
      long failAt;
      std::ptrdiff_t read(void* buf, std::size_t n) override {
        if (failAt >= 0 && pos + n > static_cast<std::size_t>(failAt)) return -1;
        n = std::min(n, d->size() - pos);
        if (n) std::memcpy(buf, d->data() + pos, n);
        pos += n;
        return static_cast<std::ptrdiff_t>(n);
      }
    };
    auto s = std::make_unique<S>();
    s->d = shared;
    s->failAt = failAt;
    return s;
  };
  return e;
}

inline pv::lzh::Entry folderEntry(const std::string& name, std::uint64_t lastWrite) {
  pv::lzh::Entry e;
  e.name = name;
  e.isFolder = true;
  e.attributes = pv::lzh::kAttrDirectory;
  e.times.creation = e.times.lastWrite = e.times.lastAccess = lastWrite;
  return e;
}

// A memory sink that refuses bytes once `limit` would be passed (a full disk).
class FullSink : public pv::lzh::MemorySink {
 public:
  explicit FullSink(std::size_t limit) : limit_(limit) {}
  bool write(const void* data, std::size_t n) override {
    if (bytes.size() + n > limit_) return false;
    return MemorySink::write(data, n);
  }

 private:
  std::size_t limit_;
};

// Writes a new archive of the entries (asserting success) and answers its bytes.
inline Bytes makeArchive(const std::vector<pv::lzh::Entry>& entries, pv::lzh::UpdateResult* result = nullptr) {
  pv::lzh::MemorySink sink;
  pv::lzh::UpdateResult r = pv::lzh::updateArchive(nullptr, entries, sink, pv::lzh::UpdateOptions());
  if (result) *result = r;
  return r.status.ok() ? sink.bytes : Bytes();
}

inline std::vector<pv::lzh::Member> members(const Bytes& archive, pv::lzh::Status* status = nullptr) {
  pv::lzh::MemorySource src(archive);
  std::vector<pv::lzh::Member> ms;
  pv::lzh::Status s = pv::lzh::readArchive(src, ms);
  if (status) *status = s;
  return ms;
}

inline Bytes extract(const Bytes& archive, const pv::lzh::Member& m, pv::lzh::Status* status = nullptr) {
  pv::lzh::MemorySource src(archive);
  Bytes out;
  pv::lzh::Status s = pv::lzh::extractMember(src, m, [&](const std::uint8_t* p, std::size_t n) {
    out.insert(out.end(), p, p + n);
    return true;
  });
  if (status) *status = s;
  return out;
}

// A stored (-lh0-) member with a level-0 header, its name bytes exactly as given, as
// old and hostile tools write them.
inline Bytes level0(const std::string& name, const std::string& data) {
  Bytes h = {0, 0, '-', 'l', 'h', '0', '-'};
  for (int i = 0; i < 2; ++i)
    for (int b = 0; b < 4; ++b) h.push_back(static_cast<std::uint8_t>(data.size() >> (8 * b)));
  h.insert(h.end(), {0x5C, 0x64, 0xCF, 0x50, 0x20, 0, static_cast<std::uint8_t>(name.size())});
  h.insert(h.end(), name.begin(), name.end());
  const std::uint16_t crc = pv::lzh::crc16(reinterpret_cast<const std::uint8_t*>(data.data()), data.size(), 0);
  h.push_back(static_cast<std::uint8_t>(crc));
  h.push_back(static_cast<std::uint8_t>(crc >> 8));
  h[0] = static_cast<std::uint8_t>(h.size() - 2);
  std::uint8_t sum = 0;
  for (std::size_t i = 2; i < h.size(); ++i) sum = static_cast<std::uint8_t>(sum + h[i]);
  h[1] = sum;
  h.insert(h.end(), data.begin(), data.end());
  return h;
}

}  // namespace lzhtest
