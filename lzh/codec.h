// Compressed data of LHA members.
//   Lh5Encoder - streaming -lh5- compressor (LZ77 over an 8 KiB window with hash chains,
//                lazy matching or cheapest-path parsing, block-wise Huffman coding).
//   Decoder    - streaming decoder for -lh0-, -lh5-, -lh6-, -lh7- (and -lhd-: no data).
//                Safe on hostile input: it never reads past the packed size, never
//                writes past the original size and reports malformed streams.
//   compressLh5 / decompress - whole-buffer helpers for tests and small data.
#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "lzh/error.h"
#include "lzh/header.h"
#include "lzh/io.h"

namespace pv::lzh {

// Receives compressed bytes; false stops the encoder (write failure or abandon).
using OutputFn = std::function<bool(const std::uint8_t*, std::size_t)>;

struct EncoderOptions {
  int maxChain = 64;       // hash-chain steps per position
  int niceLength = 128;    // a match this long is taken at once
  int lazyLength = 32;     // lazy: no look-ahead once a match is at least this long
  int goodLength = 20;     // lazy: after a match this long the next search walks a quarter of the chain
  int blockCodes = 65535;  // lazy: most codes per Huffman block (1..65535)
  int segmentCodes = 512;  // lazy: a block may end after each this many codes, where
                           // the statistics change (1..blockCodes)
  bool optimal = false;    // cheapest-path parsing: ~1.5-2 % smaller output, 3-4 times the instructions
  int regionBytes = 16384; // optimal: input bytes parsed at a time (1024..32768)
  int passes = 1;          // optimal: shortest-path runs per block, each priced by the one before
  int skipLength = 64;     // optimal: positions inside a match this long are not searched
  int treeDepth = 24;      // optimal: tree nodes visited per position
};

class Lh5Encoder {
 public:
  explicit Lh5Encoder(OutputFn out, const EncoderOptions& options = {});
  ~Lh5Encoder();
  Lh5Encoder(const Lh5Encoder&) = delete;
  Lh5Encoder& operator=(const Lh5Encoder&) = delete;

  // Starts a new stream into out, as a new encoder with the same options would, but
  // keeps the tables: a backup makes thousands of small members, and clearing a new
  // encoder's ~300 KiB costs more than compressing a small file.
  void restart(OutputFn out);
  // Feeds original bytes; false once the output callback has refused bytes.
  bool write(const std::uint8_t* data, std::size_t n);
  // Codes what is left and pads the last byte; false as above.
  bool finish();

  std::uint64_t originalSize() const;
  std::uint64_t packedSize() const;  // compressed bytes produced so far (some may still be buffered)

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

class Decoder {
 public:
  // Decodes packedSize bytes of src starting at dataOffset into originalSize bytes.
  Decoder(Method method, ByteSource& src, std::uint64_t dataOffset, std::uint64_t packedSize,
          std::uint64_t originalSize);
  ~Decoder();
  Decoder(const Decoder&) = delete;
  Decoder& operator=(const Decoder&) = delete;

  // Produces up to n bytes; answers the count, 0 at the end or after an error.
  std::size_t read(std::uint8_t* out, std::size_t n);
  // Ok, ArchiveReadFailed, CorruptData or UnsupportedMethod.
  Status status() const;
  bool done() const;  // all originalSize bytes produced

 private:
  struct Impl;
  std::unique_ptr<Impl> impl_;
};

std::vector<std::uint8_t> compressLh5(const std::uint8_t* data, std::size_t n, const EncoderOptions& options = {});
namespace detail {
// Position number past which an encoder numbers its positions from near 1 again
// (2^31; tests lower it to reach that path with little data). Read when an encoder
// is made.
extern std::uint32_t encoderRenumberAt;
}  // namespace detail

// Decodes a whole stream; out gets exactly originalSize bytes on success.
Status decompress(Method method, const std::uint8_t* packed, std::size_t packedSize, std::size_t originalSize,
                  std::vector<std::uint8_t>& out);

}  // namespace pv::lzh
