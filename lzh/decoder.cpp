// Decoder for -lh0-, -lh5-, -lh6- and -lh7- data. Every count read from the stream
// is checked before use: hostile input can make it fail, never overrun.
#include <algorithm>
#include <cstring>
#include <vector>

#include "lzh/codec.h"

namespace pv::lzh {
namespace {

constexpr int kNC = 510, kNT = 19;
constexpr int kCBits = 9, kTBits = 5;
constexpr int kMaxLen = 16;
constexpr std::size_t kInChunk = 1u << 16;
constexpr std::size_t kOutChunk = 1u << 16;

// A canonical Huffman table: 10-bit direct lookup, longer codes by canonical search.
class HuffTable {
 public:
  static constexpr int kFastBits = 10;

  // false when the lengths over-subscribe the code space.
  bool build(const std::uint8_t* lens, int n) {
    single_ = -1;
    n_ = n;
    std::fill(count_, count_ + kMaxLen + 1, 0);
    for (int i = 0; i < n; ++i) ++count_[lens[i]];
    count_[0] = 0;
    std::uint32_t left = 1;
    for (int l = 1; l <= kMaxLen; ++l) {
      left <<= 1;
      if (count_[l] > left) return false;
      left -= count_[l];
    }
    std::uint16_t offs[kMaxLen + 2];
    offs[1] = 0;
    for (int l = 1; l <= kMaxLen; ++l) offs[l + 1] = static_cast<std::uint16_t>(offs[l] + count_[l]);
    for (int i = 0; i < n; ++i)
      if (lens[i]) sorted_[offs[lens[i]]++] = static_cast<std::uint16_t>(i);
    std::uint32_t code = 0;
    int idx = 0;
    for (int l = 1; l <= kMaxLen; ++l) {
      code = (code + (l > 1 ? count_[l - 1] : 0)) << (l > 1 ? 1 : 0);
      first_[l] = code;
      firstIdx_[l] = idx;
      idx += count_[l];
    }
    // Direct table: 0 means "longer code or unused".
    std::fill(std::begin(fast_), std::end(fast_), 0);
    for (int l = 1; l <= kFastBits; ++l) {
      for (unsigned k = 0; k < count_[l]; ++k) {
        const std::uint32_t c = first_[l] + k;
        const std::uint16_t sym = sorted_[firstIdx_[l] + k];
        const std::uint32_t lo = c << (kFastBits - l), hi = (c + 1) << (kFastBits - l);
        for (std::uint32_t e = lo; e < hi; ++e) fast_[e] = static_cast<std::uint16_t>((sym << 5) | l);
      }
    }
    return true;
  }
  void setSingle(int sym) { single_ = sym; }

  // Decodes from the next 16 bits (MSB first); sets len to the bits used, -1 if the
  // bits are no code of this table.
  int decode(std::uint32_t peek16, int& len) const {
    if (single_ >= 0) {
      len = 0;
      return single_;
    }
    const std::uint16_t e = fast_[peek16 >> (16 - kFastBits)];
    if (e) {
      len = e & 31;
      return e >> 5;
    }
    for (int l = kFastBits + 1; l <= kMaxLen; ++l) {
      const std::uint32_t c = peek16 >> (16 - l);
      if (c - first_[l] < count_[l]) {
        len = l;
        return sorted_[firstIdx_[l] + (c - first_[l])];
      }
    }
    len = -1;
    return 0;
  }

 private:
  int single_ = -1;
  int n_ = 0;
  std::uint32_t count_[kMaxLen + 1] = {0};
  std::uint32_t first_[kMaxLen + 1] = {0};
  int firstIdx_[kMaxLen + 1] = {0};
  std::uint16_t sorted_[kNC] = {0};
  std::uint16_t fast_[1u << kFastBits] = {0};
};

}  // namespace

struct Decoder::Impl {
  Method method;
  ByteSource& src;
  std::uint64_t inPos, inEnd;  // packed bytes still to fetch: [inPos, inEnd)
  std::uint64_t packedBits;
  std::uint64_t originalSize;
  std::uint64_t produced = 0;  // bytes decoded
  Status st;

  // Bit input.
  std::vector<std::uint8_t> in;
  std::size_t inIdx = 0;
  std::uint64_t bitBuf = 0;
  int bitCount = 0;

  // -lh5/6/7- state.
  int np = 0, pbits = 0;
  std::size_t window = 0;
  std::uint32_t blockLeft = 0;
  HuffTable ct, tt, pt;
  int copyLeft = 0;
  std::size_t copyDist = 0;

  // Output: history (window bytes) followed by fresh output.
  std::vector<std::uint8_t> out;
  std::size_t outPos = 0;   // end of decoded bytes in out
  std::size_t readPos = 0;  // next byte to hand out

  Impl(Method m, ByteSource& s, std::uint64_t off, std::uint64_t packed, std::uint64_t orig)
      : method(m), src(s), inPos(off), inEnd(off + packed), packedBits(packed * 8), originalSize(orig) {
    switch (m) {
      case Method::Lh5: np = 14, pbits = 4, window = 1u << 13; break;
      case Method::Lh6: np = 16, pbits = 5, window = 1u << 15; break;
      case Method::Lh7: np = 17, pbits = 5, window = 1u << 16; break;
      case Method::Lh0:
      case Method::Lhd: break;
      case Method::Other: st = Status::fail(Error::UnsupportedMethod, {}, "method not supported"); break;
    }
    if (window) {
      // Readers start with a window of spaces; a reference before the first byte sees them.
      // Small members get a small buffer: a backup is checked member by member.
      out.assign(window + static_cast<std::size_t>(std::min<std::uint64_t>(kOutChunk, orig)), ' ');
      outPos = readPos = window;
    }
  }

  void fail(Error e, const char* why) {
    if (st.ok()) st = Status::fail(e, {}, why);
  }

  // Tops bitBuf up to more than 56 bits; past the packed data it feeds zero bits.
  void fill() {
    while (bitCount <= 56) {
      if (inIdx == in.size()) {
        if (inPos < inEnd) {
          const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(kInChunk, inEnd - inPos));
          in.resize(n);
          if (!src.readAt(inPos, in.data(), n)) {
            fail(Error::ArchiveReadFailed, "archive read failed");
            in.clear();
            inPos = inEnd;
          } else {
            inPos += n;
          }
          inIdx = 0;
          continue;
        }
        bitCount += 8;  // zero bits beyond the end; overrun() tells them apart
        continue;
      }
      bitBuf |= static_cast<std::uint64_t>(in[inIdx++]) << (56 - bitCount);
      bitCount += 8;
    }
  }

  std::uint32_t peek(int n) {
    if (bitCount < n) fill();
    return static_cast<std::uint32_t>(bitBuf >> (64 - n));
  }
  void skip(int n) {
    bitBuf <<= n;
    bitCount -= n;
    used += static_cast<std::uint64_t>(n);
  }
  std::uint32_t get(int n) {
    if (n == 0) return 0;
    const std::uint32_t v = peek(n);
    skip(n);
    return v;
  }
  std::uint64_t used = 0;  // bits taken from the stream
  bool overrun() const { return used > packedBits; }

  int decodeSym(const HuffTable& t) {
    int len;
    const int s = t.decode(peek(16), len);
    if (len < 0) {
      fail(Error::CorruptData, "bits that are no Huffman code");
      return -1;
    }
    skip(len);
    return s;
  }

  // T or P tree lengths.
  bool readPtLengths(HuffTable& t, int nsym, int nbits, int special) {
    const int n = static_cast<int>(get(nbits));
    if (n == 0) {
      const int c = static_cast<int>(get(nbits));
      if (c >= nsym) return fail(Error::CorruptData, "tree symbol out of range"), false;
      t.setSingle(c);
      return true;
    }
    if (n > nsym) return fail(Error::CorruptData, "tree size out of range"), false;
    std::uint8_t lens[kNT + 1] = {0};
    for (int i = 0; i < n;) {
      int c = static_cast<int>(get(3));
      if (c == 7) {
        while (get(1)) {
          if (++c > kMaxLen) return fail(Error::CorruptData, "code length above 16"), false;
        }
      }
      lens[i++] = static_cast<std::uint8_t>(c);
      if (i == special) {
        const int z = static_cast<int>(get(2));
        i = std::min(n, i + z);  // the skipped lengths stay 0
      }
    }
    if (!t.build(lens, nsym)) return fail(Error::CorruptData, "over-full Huffman tree"), false;
    return true;
  }

  bool readCLengths() {
    const int n = static_cast<int>(get(kCBits));
    if (n == 0) {
      const int c = static_cast<int>(get(kCBits));
      if (c >= kNC) return fail(Error::CorruptData, "tree symbol out of range"), false;
      ct.setSingle(c);
      return true;
    }
    if (n > kNC) return fail(Error::CorruptData, "tree size out of range"), false;
    std::uint8_t lens[kNC] = {0};
    for (int i = 0; i < n;) {
      const int c = decodeSym(tt);
      if (c < 0) return false;
      if (c <= 2) {
        int run = c == 0 ? 1 : c == 1 ? static_cast<int>(get(4)) + 3 : static_cast<int>(get(kCBits)) + 20;
        run = std::min(run, n - i);
        i += run;  // zeros already there
      } else {
        lens[i++] = static_cast<std::uint8_t>(c - 2);
      }
      if (overrun()) return fail(Error::CorruptData, "stream ends inside a tree"), false;
    }
    if (!ct.build(lens, kNC)) return fail(Error::CorruptData, "over-full Huffman tree"), false;
    return true;
  }

  bool startBlock() {
    blockLeft = get(16);
    if (!readPtLengths(tt, kNT, kTBits, 3)) return false;
    if (!readCLengths()) return false;
    if (!readPtLengths(pt, np, pbits, -1)) return false;
    if (overrun()) return fail(Error::CorruptData, "stream ends inside a block header"), false;
    return true;
  }

  // Decodes into out[outPos..limit).
  void decodeLz(std::size_t limit) {
    std::uint8_t* o = out.data();
    while (outPos < limit && st.ok()) {
      if (copyLeft > 0) {
        const std::size_t n = std::min<std::size_t>(copyLeft, limit - outPos);
        const std::uint8_t* from = o + outPos - copyDist;
        if (copyDist >= n)
          std::memcpy(o + outPos, from, n);
        else
          for (std::size_t k = 0; k < n; ++k) o[outPos + k] = from[k];  // overlapping: byte by byte
        outPos += n;
        copyLeft -= static_cast<int>(n);
        continue;
      }
      if (blockLeft == 0) {
        if (!startBlock()) return;
        continue;  // a block of 0 codes is followed by another header
      }
      --blockLeft;
      const int c = decodeSym(ct);
      if (c < 0) return;
      if (c < 256) {
        o[outPos++] = static_cast<std::uint8_t>(c);
      } else {
        const int slot = decodeSym(pt);
        if (slot < 0) return;
        std::size_t p;
        if (slot <= 1)
          p = static_cast<std::size_t>(slot);
        else
          p = (std::size_t{1} << (slot - 1)) + get(slot - 1);
        if (p >= window) return fail(Error::CorruptData, "distance beyond the window");
        copyDist = p + 1;
        copyLeft = c - 256 + 3;
      }
      if (overrun()) return fail(Error::CorruptData, "stream ends early");
    }
  }

  std::size_t read(std::uint8_t* dst, std::size_t n) {
    if (!st.ok() || n == 0) return 0;
    if (method == Method::Lhd) return 0;
    if (method == Method::Lh0) {
      const std::uint64_t left = originalSize - produced;
      const std::size_t want = static_cast<std::size_t>(std::min<std::uint64_t>(n, left));
      if (want == 0) return 0;
      if (inPos + want > inEnd) {
        fail(Error::CorruptData, "stored data shorter than the original size");
        return 0;
      }
      if (!src.readAt(inPos, dst, want)) {
        fail(Error::ArchiveReadFailed, "archive read failed");
        return 0;
      }
      inPos += want;
      produced += want;
      return want;
    }
    if (readPos == outPos) {
      if (produced == originalSize) return 0;
      if (outPos == out.size()) {
        // Keep one window of history in front.
        std::memmove(out.data(), out.data() + outPos - window, window);
        outPos = readPos = window;
      }
      const std::uint64_t want = std::min<std::uint64_t>(out.size() - outPos, originalSize - produced);
      const std::size_t before = outPos;
      decodeLz(outPos + static_cast<std::size_t>(want));
      produced += outPos - before;
      if (!st.ok()) return 0;
    }
    const std::size_t k = std::min(n, outPos - readPos);
    std::memcpy(dst, out.data() + readPos, k);
    readPos += k;
    return k;
  }
};

Decoder::Decoder(Method method, ByteSource& src, std::uint64_t dataOffset, std::uint64_t packedSize,
                 std::uint64_t originalSize)
    : impl_(new Impl(method, src, dataOffset, packedSize, originalSize)) {}
Decoder::~Decoder() = default;
std::size_t Decoder::read(std::uint8_t* out, std::size_t n) { return impl_->read(out, n); }
Status Decoder::status() const { return impl_->st; }
bool Decoder::done() const {
  if (impl_->method == Method::Lhd) return true;
  return impl_->produced == impl_->originalSize && impl_->readPos == impl_->outPos;
}

Status decompress(Method method, const std::uint8_t* packed, std::size_t packedSize, std::size_t originalSize,
                  std::vector<std::uint8_t>& out) {
  MemorySource src(packed, packedSize);
  Decoder d(method, src, 0, packedSize, originalSize);
  out.assign(originalSize, 0);
  std::size_t got = 0;
  while (got < originalSize) {
    const std::size_t n = d.read(out.data() + got, originalSize - got);
    if (n == 0) break;
    got += n;
  }
  if (!d.status().ok()) return d.status();
  if (got != originalSize) return Status::fail(Error::CorruptData, {}, "stream ends early");
  return {};
}

}  // namespace pv::lzh
