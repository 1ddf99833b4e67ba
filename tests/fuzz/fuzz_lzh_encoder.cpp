// libFuzzer target: the -lh5- encoder on arbitrary bytes with settings taken from the
// input. Whatever the parser, the settings and the way the bytes arrive, the stream
// must decode to the input, and the same bytes fed in pieces, or after another stream
// on a reused encoder, must give the same stream as in one piece on a new encoder.
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "lzh/codec.h"

using namespace pv::lzh;

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes encode(Lh5Encoder& enc, const std::uint8_t* data, std::size_t size, std::size_t piece) {
  Bytes out;
  enc.restart([&](const std::uint8_t* p, std::size_t n) {
    out.insert(out.end(), p, p + n);
    return true;
  });
  for (std::size_t at = 0; at < size;) {
    const std::size_t n = piece ? std::min(piece, size - at) : size - at;
    if (!enc.write(data + at, n)) __builtin_trap();
    at += n;
  }
  if (!enc.finish()) __builtin_trap();
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  constexpr std::size_t kHead = 8;
  if (size < kHead) return 0;
  EncoderOptions o;
  o.optimal = data[0] & 1;
  o.maxChain = 1 + data[1] % 80;
  o.niceLength = 3 + data[2];
  o.lazyLength = 3 + data[3] % 64;
  o.segmentCodes = 1 + data[4] * 4;
  o.blockCodes = (data[0] & 2) ? 3 + data[4] : 65535;
  o.regionBytes = 1024 + data[5] * 64;
  o.skipLength = 3 + data[6];
  o.treeDepth = 1 + data[7] % 40;
  o.passes = 1 + ((data[0] >> 2) & 1);
  const std::size_t piece = (data[0] >> 3) * 97;  // 0: one piece
  data += kHead;
  size -= kHead;

  Bytes whole;
  {
    Lh5Encoder fresh({}, o);
    whole = encode(fresh, data, size, 0);
  }
  Bytes back;
  const Status s = decompress(Method::Lh5, whole.data(), whole.size(), size, back);
  if (!s.ok() || back.size() != size || (size && std::memcmp(back.data(), data, size) != 0)) __builtin_trap();

  // A reused encoder: first the input's second half as a stream of its own.
  Lh5Encoder reused({}, o);
  encode(reused, data + size / 2, size - size / 2, 0);
  if (encode(reused, data, size, piece) != whole) __builtin_trap();
  return 0;
}
