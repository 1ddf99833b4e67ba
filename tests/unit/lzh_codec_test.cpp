// -lh5- encoder and -lh5/6/7- decoder: round trips of awkward data through both
// parsers and odd block sizes, streaming in pieces, and decoding of hostile streams.
#include <gtest/gtest.h>

#include <string>

#include "lzh/codec.h"
#include "lzh_test_util.h"

using namespace pv::lzh;
using lzhtest::Bytes;

namespace {

struct Config {
  const char* name;
  EncoderOptions options;
};

std::vector<Config> configs() {
  EncoderOptions lazy, optimal, tinyBlocks, shortChains, fineSegments;
  optimal.optimal = true;
  tinyBlocks.blockCodes = 3;  // many blocks, most with one-symbol trees
  fineSegments.segmentCodes = 5;  // block ends weighed every few codes, odd sizes
  fineSegments.blockCodes = 777;
  shortChains.maxChain = 1;
  shortChains.niceLength = 3;
  return {{"lazy", lazy}, {"optimal", optimal}, {"tinyBlocks", tinyBlocks}, {"shortChains", shortChains},
          {"fineSegments", fineSegments}};
}

Bytes decodeAll(Method m, const Bytes& packed, std::size_t size) {
  Bytes out;
  const Status s = decompress(m, packed.data(), packed.size(), size, out);
  EXPECT_TRUE(s.ok()) << errorName(s.error) << " " << s.detail;
  return out;
}

Bytes repeated(const Bytes& unit, std::size_t times) {
  Bytes b;
  for (std::size_t i = 0; i < times; ++i) b.insert(b.end(), unit.begin(), unit.end());
  return b;
}

// A bit string like "0101..." as bytes, padded with zero bits.
Bytes bitsToBytes(std::string bits) {
  while (bits.size() % 8) bits += '0';
  Bytes b;
  for (std::size_t i = 0; i < bits.size(); i += 8) b.push_back(static_cast<std::uint8_t>(std::stoi(bits.substr(i, 8), nullptr, 2)));
  return b;
}

// Codes in the stream's first block: its first 16 bits.
unsigned firstBlockCodes(const Bytes& packed) { return packed.size() < 2 ? 0 : packed[0] << 8 | packed[1]; }

Status decodeStatus(Method m, const Bytes& packed, std::size_t size) {
  Bytes out;
  return decompress(m, packed.data(), packed.size(), size, out);
}

}  // namespace

TEST(LzhCodecRoundTrip, AwkwardDataThroughEveryParser) {
  const Bytes random8k = lzhtest::randomBytes(8192, 11);
  const std::vector<std::pair<std::string, Bytes>> cases = {
      {"empty", {}},
      {"one byte", {0x42}},
      {"two bytes", {0x00, 0xFF}},
      {"run", Bytes(100000, 'a')},
      {"random", lzhtest::randomBytes(70000, 1)},
      {"text over several blocks", lzhtest::textBytes(150000, 2)},
      {"period exactly 8192", repeated(random8k, 5)},
      {"period 8193", repeated(lzhtest::randomBytes(8193, 12), 4)},
      {"four-letter noise: short matches everywhere", [] {
         Bytes b = lzhtest::randomBytes(60000, 14);
         for (auto& x : b) x = static_cast<std::uint8_t>('a' + x % 4);
         return b;
       }()},
      {"runs and noise", [] {
         Bytes b = lzhtest::randomBytes(5000, 4);
         b.insert(b.end(), 70000, 0);
         const Bytes t = lzhtest::textBytes(20000, 5);
         b.insert(b.end(), t.begin(), t.end());
         return b;
       }()},
  };
  for (const Config& c : configs()) {
    for (const auto& [what, data] : cases) {
      const Bytes packed = compressLh5(data.data(), data.size(), c.options);
      EXPECT_EQ(decodeAll(Method::Lh5, packed, data.size()), data) << c.name << ": " << what;
    }
  }
}

TEST(LzhCodecRoundTrip, LargeMixedData) {
  Bytes data;
  for (unsigned i = 0; data.size() < 3u * 1024 * 1024; ++i) {
    const Bytes part = (i % 3 == 0) ? lzhtest::randomBytes(40000 + i * 13, i) : lzhtest::textBytes(90000 + i * 7, i);
    data.insert(data.end(), part.begin(), part.end());
  }
  const Bytes packed = compressLh5(data.data(), data.size());
  EXPECT_LT(packed.size(), data.size() * 3 / 4);
  EXPECT_EQ(decodeAll(Method::Lh5, packed, data.size()), data);
}

TEST(LzhCodecRoundTrip, CompressesWhatRepeats) {
  // Guards against a matcher that silently finds nothing (output would still decode).
  const Bytes run(100000, 'a');
  EXPECT_LT(compressLh5(run.data(), run.size()).size(), 1000u);
  const Bytes text = lzhtest::textBytes(200000, 9);
  EXPECT_LT(compressLh5(text.data(), text.size()).size(), text.size() / 3);
  // Repeats at exactly the largest distance are found.
  const Bytes unit = lzhtest::randomBytes(8192, 13);
  const Bytes data = repeated(unit, 6);
  EXPECT_LT(compressLh5(data.data(), data.size()).size(), 8192u + 2000u);
  EncoderOptions optimal;
  optimal.optimal = true;
  EXPECT_LT(compressLh5(data.data(), data.size(), optimal).size(), 8192u + 2000u);
  // The cheapest path's own match finder: a run, and text it must code smaller than
  // the lazy parser does.
  EXPECT_LT(compressLh5(run.data(), run.size(), optimal).size(), 1000u);
  EXPECT_LT(compressLh5(text.data(), text.size(), optimal).size(), compressLh5(text.data(), text.size()).size());
}

TEST(LzhCodecBlocks, BlocksEndWhereTheStatisticsChange) {
  // Text, then noise: the first block holds the text's codes and little more.
  Bytes data = lzhtest::textBytes(60000, 31);
  const Bytes noise = lzhtest::randomBytes(60000, 32);
  data.insert(data.end(), noise.begin(), noise.end());
  const Bytes packed = compressLh5(data.data(), data.size());
  EXPECT_EQ(decodeAll(Method::Lh5, packed, data.size()), data);
  const unsigned first = firstBlockCodes(packed);
  EXPECT_GT(first, 2048u);   // segments of like codes were joined
  EXPECT_LT(first, 30000u);  // the noise's 60000 literals went elsewhere
  // One block for all of it would be larger.
  EncoderOptions oneBlock;
  oneBlock.segmentCodes = 65535;
  EXPECT_LT(packed.size(), compressLh5(data.data(), data.size(), oneBlock).size());
}

TEST(LzhCodecBlocks, LikeCodesFillBlocksUpToTheLimit) {
  // Noise is all literals: more than 65535 codes of one kind, so blocks end at
  // the size field's limit (a wrapped count would not decode).
  const Bytes data = lzhtest::randomBytes(200000, 33);
  const Bytes packed = compressLh5(data.data(), data.size());
  EXPECT_EQ(decodeAll(Method::Lh5, packed, data.size()), data);
  EXPECT_GT(firstBlockCodes(packed), 60000u);
  EncoderOptions small;
  small.blockCodes = 5000;
  const Bytes packed2 = compressLh5(data.data(), data.size(), small);
  EXPECT_EQ(decodeAll(Method::Lh5, packed2, data.size()), data);
  EXPECT_LE(firstBlockCodes(packed2), 5000u);
  EXPECT_GT(firstBlockCodes(packed2), 3000u);
}

TEST(LzhCodecRoundTrip, StreamingInPiecesEqualsOneShot) {
  const Bytes data = lzhtest::textBytes(90000, 21);
  for (const Config& c : configs()) {
    const Bytes whole = compressLh5(data.data(), data.size(), c.options);
    for (std::size_t piece : {1u, 7u, 4099u, 70001u}) {
      Bytes out;
      Lh5Encoder enc(
          [&](const std::uint8_t* p, std::size_t n) {
            out.insert(out.end(), p, p + n);
            return true;
          },
          c.options);
      for (std::size_t at = 0; at < data.size(); at += piece)
        ASSERT_TRUE(enc.write(data.data() + at, std::min(piece, data.size() - at)));
      ASSERT_TRUE(enc.finish());
      EXPECT_EQ(out, whole) << c.name << " piece " << piece;
      EXPECT_EQ(enc.packedSize(), whole.size());
      EXPECT_EQ(enc.originalSize(), data.size());
    }
  }
  // And the decoder handed out a few bytes at a time.
  const Bytes packed = compressLh5(data.data(), data.size());
  MemorySource src(packed);
  Decoder d(Method::Lh5, src, 0, packed.size(), data.size());
  Bytes out;
  std::uint8_t small[3];
  while (std::size_t n = d.read(small, sizeof small)) out.insert(out.end(), small, small + n);
  EXPECT_TRUE(d.status().ok());
  EXPECT_TRUE(d.done());
  EXPECT_EQ(out, data);
}

TEST(LzhCodecRoundTrip, EncoderStopsWhenOutputRefuses) {
  const Bytes data = lzhtest::randomBytes(300000, 8);
  int calls = 0;
  Lh5Encoder enc([&](const std::uint8_t*, std::size_t) { return ++calls < 2; });
  bool ok = enc.write(data.data(), data.size());
  ok = enc.finish() && ok;
  EXPECT_FALSE(ok);
}

// One encoder reused across members must forget everything of the last one: a small
// stream after a large one that slid its window, after one abandoned mid-way, and so on.
TEST(LzhCodecRoundTrip, RestartedEncoderEqualsNewOne) {
  const std::vector<Bytes> streams = {lzhtest::textBytes(5000, 3), lzhtest::textBytes(200000, 4),
                                      Bytes(), lzhtest::textBytes(700, 5), lzhtest::randomBytes(90000, 6),
                                      lzhtest::textBytes(12000, 3)};
  for (const Config& c : configs()) {
    Bytes out;
    int refuseAfter = -1;  // calls of the output before it refuses; -1: never
    Lh5Encoder enc({}, c.options);
    // An abandoned stream first: the output refuses part way.
    refuseAfter = 1;
    enc.restart([&](const std::uint8_t*, std::size_t) { return refuseAfter-- > 0; });
    enc.write(streams[1].data(), streams[1].size());
    for (const Bytes& s : streams) {
      out.clear();
      enc.restart([&](const std::uint8_t* p, std::size_t n) {
        out.insert(out.end(), p, p + n);
        return true;
      });
      ASSERT_TRUE(enc.write(s.data(), s.size()));
      ASSERT_TRUE(enc.finish());
      EXPECT_EQ(out, compressLh5(s.data(), s.size(), c.options)) << c.name << " size " << s.size();
      EXPECT_EQ(enc.originalSize(), s.size());
      EXPECT_EQ(enc.packedSize(), out.size());
    }
  }
}

// A reused encoder numbers positions on from the last stream's, and from near 1 again
// past a limit (mid-stream, as in the first stream here, or at a restart). With the
// limit as low as it goes, every stream still comes out as from a new encoder with
// the usual limit, from either parser.
TEST(LzhCodecRoundTrip, RenumberedPositionsChangeNothing) {
  const std::vector<Bytes> streams = {lzhtest::textBytes(600000, 7), lzhtest::textBytes(5000, 3),
                                      lzhtest::randomBytes(90000, 6), lzhtest::textBytes(200000, 4),
                                      lzhtest::textBytes(700, 5)};
  EncoderOptions optimal;
  optimal.optimal = true;
  for (const EncoderOptions& o : {EncoderOptions(), optimal}) {
    std::vector<Bytes> expected;
    for (const Bytes& s : streams) expected.push_back(compressLh5(s.data(), s.size(), o));
    const std::uint32_t saved = pv::lzh::detail::encoderRenumberAt;
    pv::lzh::detail::encoderRenumberAt = 1;
    EXPECT_EQ(compressLh5(streams[0].data(), streams[0].size(), o), expected[0]);
    Lh5Encoder enc({}, o);
    for (std::size_t i = 0; i < 3 * streams.size(); ++i) {
      const Bytes& s = streams[i % streams.size()];
      Bytes out;
      enc.restart([&](const std::uint8_t* p, std::size_t n) {
        out.insert(out.end(), p, p + n);
        return true;
      });
      ASSERT_TRUE(enc.write(s.data(), s.size()));
      ASSERT_TRUE(enc.finish());
      EXPECT_EQ(out, expected[i % streams.size()]) << "stream " << i << (o.optimal ? " cheapest path" : " lazy");
    }
    pv::lzh::detail::encoderRenumberAt = saved;
  }
}

TEST(LzhDecoderHostile, GarbageAndDamagedStreamsFailCleanly) {
  // Random streams: no crash, no overrun (the sanitizers watch), at most the
  // announced size.
  for (unsigned seed = 0; seed < 300; ++seed) {
    const Bytes junk = lzhtest::randomBytes(1 + seed * 7 % 600, seed);
    for (Method m : {Method::Lh5, Method::Lh6, Method::Lh7}) {
      Bytes out;
      const Status s = decompress(m, junk.data(), junk.size(), 5000, out);
      if (!s.ok()) {
        EXPECT_EQ(s.error, Error::CorruptData) << errorName(s.error);
      }
    }
  }
  // A valid stream cut short or with a flipped bit: an error, or the right bytes.
  const Bytes data = lzhtest::textBytes(20000, 3);
  const Bytes packed = compressLh5(data.data(), data.size());
  for (std::size_t cut = 0; cut < packed.size(); cut += 1 + cut / 16) {
    Bytes out;
    const Bytes shorter(packed.begin(), packed.begin() + cut);
    const Status s = decompress(Method::Lh5, shorter.data(), shorter.size(), data.size(), out);
    EXPECT_TRUE(!s.ok() || out == data) << cut;
  }
  for (std::size_t bit = 0; bit < packed.size() * 8; bit += 5) {
    Bytes flipped = packed;
    flipped[bit / 8] ^= static_cast<std::uint8_t>(0x80 >> (bit % 8));
    Bytes out;
    const Status s = decompress(Method::Lh5, flipped.data(), flipped.size(), data.size(), out);
    if (s.ok()) {
      EXPECT_EQ(out.size(), data.size());
    }
  }
}

TEST(LzhDecoderHostile, MalformedTreesAreCorruptData) {
  const std::string size1 = "0000000000000001";
  // T tree announcing 20 symbols (19 exist).
  EXPECT_EQ(decodeStatus(Method::Lh5, bitsToBytes(size1 + "10100" + std::string(200, '0')), 1).error,
            Error::CorruptData);
  // T length above 16: 111 then ten ones.
  EXPECT_EQ(decodeStatus(Method::Lh5, bitsToBytes(size1 + "00011" + "111" + "1111111111" + "0" + std::string(64, '0')), 1).error,
            Error::CorruptData);
  // Over-full T tree: three codes of length 1.
  EXPECT_EQ(decodeStatus(Method::Lh5, bitsToBytes(size1 + "00011" "001" "001" "001" "00" + std::string(64, '0')), 1).error,
            Error::CorruptData);
  // One-symbol C tree naming symbol 510.
  EXPECT_EQ(decodeStatus(Method::Lh5, bitsToBytes(size1 + "00000" "00000" "000000000" "111111110" + std::string(32, '0')), 1).error,
            Error::CorruptData);
  // A block announcing codes that the stream does not hold.
  EXPECT_EQ(decodeStatus(Method::Lh5, bitsToBytes("1111111111111111" "00000" "00000" "000000000" "001000001" "0000" "0000"), 100000).error,
            Error::CorruptData);
}

TEST(LzhDecoderHostile, StoredAndUnknownMethods) {
  const Bytes five = lzhtest::bytesOf("hello");
  Bytes out;
  EXPECT_TRUE(decompress(Method::Lh0, five.data(), 5, 5, out).ok());
  EXPECT_EQ(out, five);
  EXPECT_EQ(decompress(Method::Lh0, five.data(), 4, 5, out).error, Error::CorruptData);
  EXPECT_EQ(decompress(Method::Other, five.data(), 5, 5, out).error, Error::UnsupportedMethod);
}
