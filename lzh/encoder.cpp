// -lh5- compressor. Two parsers:
//  - lazy matching (default): a match is deferred by one byte when a cheaper
//    cover starts there, weighing bits estimated from the previous block. Matches
//    come from hash chains over the 8 KiB window (a 4-byte hash chain plus the
//    closest 3-byte occurrence);
//  - cheapest path (EncoderOptions::optimal): every position's candidate matches in
//    a region, from binary trees of the window's positions, and the cheapest path
//    through them, priced with the previous block's statistics. About 1.5-2 %
//    smaller, 3-4 times the instructions.
// Codes are grouped into blocks, each with its own Huffman trees. The lazy parser
// ends a block where the codes that follow are estimated cheaper with trees of
// their own (see endSegment).
#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "lzh/codec.h"
#include "lzh/huffman.h"

namespace pv::lzh {

std::uint32_t detail::encoderRenumberAt = 0x80000000u;

namespace {

constexpr std::size_t kWindow = 8192;  // largest distance of -lh5-
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 256;
constexpr int kNC = 510;          // literal/length symbols
constexpr int kNT = 19;           // symbols coding the C-tree lengths
constexpr int kNP = 14;           // position slots of -lh5-
constexpr int kCBits = 9, kTBits = 5, kPBits = 4;
constexpr std::size_t kBufSize = 1u << 16;
constexpr std::size_t kLookahead = kMaxMatch + kMinMatch + 1;
constexpr int kHash4Bits = 14;  // chains of positions sharing a 4-byte hash
constexpr int kHash3Bits = 12;  // the closest earlier position sharing a 3-byte hash
constexpr int kHashTreeBits = 15;  // cheapest path: one tree per 3-byte hash
constexpr std::uint32_t kPrevMask = 2 * kWindow - 1;  // chains are only walked back 8 KiB
constexpr std::size_t kOutChunk = 1u << 16;
constexpr int kMaxCands = 12;    // candidate matches kept per position
constexpr int kPricedLengths = 32;  // cheapest path: longer matches are priced at their full length only
constexpr int kPricedLiterals = 4;     // lazy: bytes of a match weighed as their own literals
constexpr int kSecondLookLength = 6;   // lazy: a match shorter than this gets a second look

// Bits out MSB first, 32 at a time into a buffer that only grows (a backup's many
// small members reuse it).
class BitWriter {
 public:
  void put(unsigned n, std::uint32_t v) {
    acc_ = (acc_ << n) | v;
    bits_ += n;
    if (bits_ >= 32) {
      bits_ -= 32;
      const std::uint32_t w = static_cast<std::uint32_t>(acc_ >> bits_);
      if (size_ + 4 > store_.size()) store_.resize(store_.size() * 2 + 1024);
      std::uint8_t* b = &store_[size_];
      b[0] = static_cast<std::uint8_t>(w >> 24);
      b[1] = static_cast<std::uint8_t>(w >> 16);
      b[2] = static_cast<std::uint8_t>(w >> 8);
      b[3] = static_cast<std::uint8_t>(w);
      size_ += 4;
    }
  }
  void reset() {
    size_ = 0;
    acc_ = 0;
    bits_ = 0;
  }
  // Pads the last byte with zero bits.
  void flushBits() {
    while (bits_ >= 8) {
      bits_ -= 8;
      byte(static_cast<std::uint8_t>(acc_ >> bits_));
    }
    if (bits_ > 0) {
      byte(static_cast<std::uint8_t>(acc_ << (8 - bits_)));
      bits_ = 0;
    }
  }
  const std::uint8_t* data() const { return store_.data(); }
  std::size_t size() const { return size_; }
  // Forgets the bytes (handed out); bits not yet a whole word stay.
  void clear() { size_ = 0; }

 private:
  void byte(std::uint8_t b) {
    if (size_ + 1 > store_.size()) store_.resize(store_.size() * 2 + 1024);
    store_[size_++] = b;
  }
  std::vector<std::uint8_t> store_;
  std::size_t size_ = 0;
  std::uint64_t acc_ = 0;
  unsigned bits_ = 0;
};

// Number of significant bits of p (0 for 0): the position slot of p = distance - 1.
inline int slotOf(unsigned p) { return p ? 32 - __builtin_clz(p) : 0; }

inline std::uint16_t load16(const std::uint8_t* p) {
  std::uint16_t v;
  std::memcpy(&v, p, 2);
  return v;
}
inline std::uint32_t load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
// Bytes are compared a machine word at a time: 8 on 64-bit hosts, 4 in the 32-bit DLL,
// where 64-bit words would take pairs of instructions.
using Word = std::uintptr_t;
inline Word loadWord(const std::uint8_t* p) {
  Word v;
  std::memcpy(&v, p, sizeof v);
  return v;
}
// Index of the lowest set bit of x (x != 0).
inline int lowestBit(Word x) {
  if constexpr (sizeof(Word) == 8)
    return __builtin_ctzll(static_cast<unsigned long long>(x));
  else
    return __builtin_ctz(static_cast<unsigned>(x));
}

// How many bytes from `from` on m and scan agree, up to limit (they agree before from).
inline int matchLength(const std::uint8_t* m, const std::uint8_t* scan, int from, int limit) {
  int len = from;
  while (len + static_cast<int>(sizeof(Word)) <= limit) {
    const Word x = loadWord(m + len) ^ loadWord(scan + len);
    if (x) return len + (lowestBit(x) >> 3);
    len += static_cast<int>(sizeof(Word));
  }
  while (len < limit && m[len] == scan[len]) ++len;
  return len;
}

// A match (or a literal, len 1) packed into one word: building it from two 16-bit
// halves in memory stalls store forwarding on every candidate.
struct Cand {
  std::uint32_t v;
  static Cand make(unsigned len, unsigned dist) { return {len | (dist << 16)}; }
  unsigned len() const { return v & 0xFFFF; }
  unsigned dist() const { return v >> 16; }
};

}  // namespace

struct Lh5Encoder::Impl {
  OutputFn out;
  EncoderOptions opt;
  bool failed = false;
  std::uint64_t inTotal = 0;
  std::uint64_t outTotal = 0;  // bytes handed to out

  std::vector<std::uint8_t> buf;
  std::size_t end = 0;       // valid bytes in buf
  std::size_t pos = 0;       // next byte to parse
  std::size_t inserted = 0;  // positions below this are in the hash chains
  // Absolute position of buf[0]; at least 1, so that a table entry 0 means none.
  // Members are below 4 GiB and the numbers start again past renumberAt: no wrap.
  std::uint32_t base = 1;
  bool slid = false;         // the buffer has moved since the stream began
  const std::uint32_t renumberAt = std::max(detail::encoderRenumberAt, static_cast<std::uint32_t>(4 * kBufSize));
  std::vector<std::uint32_t> head4, prev4, head3, prev3;  // lazy matching
  // Cheapest path: per 3-byte hash a binary tree of the window's positions ordered
  // by the bytes that follow them, the newest at the root (see treeMatches). Two
  // links per position.
  std::vector<std::uint32_t> treeHead, son;

  // Lazy-matching state carried between calls.
  int matchLen = kMinMatch - 1;
  unsigned matchDist = 0;
  bool pendingLiteral = false;

  // Prices in 1/16 bit (both parsers) and the cheapest-path state.
  std::vector<Cand> cands;               // candidates of the region, position by position
  std::vector<std::uint32_t> candStart;  // per position: first index into cands
  std::vector<std::uint8_t> inherited;   // per position: its candidate continues a long match
  std::vector<std::uint64_t> arrive;
  std::vector<Cand> path;
  std::uint32_t litPrice[256], lenPrice[kMaxMatch + 1], slotPrice[kNP], avgLitPrice = 8 * 16;
  bool havePrices = false;

  // Codes of the current block.
  std::vector<std::uint16_t> syms;   // C symbols
  std::vector<std::uint16_t> dists;  // p = distance - 1, for match symbols
  std::uint32_t cfreq[kNC] = {0};
  std::uint32_t pfreq[kNP] = {0};
  int committed = 0;  // leading codes of syms counted in cfreq/pfreq: the open block
  std::uint32_t segC[kNC] = {0};  // counts of the codes after them: the segment
  std::uint32_t segP[kNP] = {0};
  int segLimit = 0;   // codes per segment
  std::uint16_t segUsed[kNC];  // the symbols with a count in segC
  int segUsedN = 0;
  double openBits = 0;  // entropy of the open block (see endSegment)
  double openSumC = 0;  // its sum of xlog over the C counts
  std::uint32_t openPositions = 0;  // its match codes
  BitWriter bw;

  Impl(OutputFn o, const EncoderOptions& e) : out(std::move(o)), opt(e) {
    opt.maxChain = std::max(1, opt.maxChain);
    opt.niceLength = std::clamp(opt.niceLength, kMinMatch, kMaxMatch);
    opt.lazyLength = std::clamp(opt.lazyLength, kMinMatch, kMaxMatch);
    opt.skipLength = std::clamp(opt.skipLength, kMinMatch, kMaxMatch);
    opt.blockCodes = std::clamp(opt.blockCodes, 1, 65535);
    opt.regionBytes = std::clamp(opt.regionBytes, 1024, 32768);
    // The cheapest-path parser hands over whole regions as segments.
    if (opt.optimal) opt.blockCodes = 65535;
    opt.segmentCodes = std::clamp(opt.segmentCodes, 1, opt.blockCodes);
    segLimit = opt.optimal ? 65535 : opt.segmentCodes;
    opt.treeDepth = std::max(1, opt.treeDepth);
    buf.assign(kBufSize + 16, 0);
    if (opt.optimal) {
      treeHead.assign(std::size_t{1} << kHashTreeBits, 0);
      son.assign(2 * (kPrevMask + 1), 0);
    } else {
      head4.assign(std::size_t{1} << kHash4Bits, 0);
      prev4.assign(kPrevMask + 1, 0);
      head3.assign(std::size_t{1} << kHash3Bits, 0);
      prev3.assign(kPrevMask + 1, 0);
    }
    syms.reserve(std::min(opt.blockCodes + segLimit, 65536 + 1024));
    dists.reserve(std::min(opt.blockCodes + segLimit, 65536 + 1024));
  }

  std::uint32_t hash4(std::uint32_t v) const { return (v * 2654435761u) >> (32 - kHash4Bits); }
  std::uint32_t hash3(std::uint32_t v) const { return ((v & 0xFFFFFF) * 2654435761u) >> (32 - kHash3Bits); }

  // Behaves from here as a new encoder would. The buffer is zeroed where the last
  // stream wrote (bytes past the end feed the hash of the last positions). The
  // tables are not cleared: the new stream's positions are numbered above every old
  // one, so an old entry lies farther back than the new stream's own bytes and
  // findMatches drops it, as it drops an empty entry (0, below every stream's base).
  void restart(OutputFn o) {
    const std::size_t dirty = slid ? buf.size() : std::min(buf.size(), end + 16);
    std::fill(buf.begin(), buf.begin() + static_cast<std::ptrdiff_t>(dirty), 0);
    std::uint32_t next = base + static_cast<std::uint32_t>(end) + 1;
    base = next;
    if (base >= renumberAt) renumber();
    slid = false;
    out = std::move(o);
    failed = false;
    inTotal = outTotal = 0;
    end = pos = inserted = 0;
    matchLen = kMinMatch - 1;
    matchDist = 0;
    pendingLiteral = false;
    havePrices = false;
    syms.clear();
    dists.clear();
    committed = 0;
    std::fill(std::begin(cfreq), std::end(cfreq), 0);
    std::fill(std::begin(pfreq), std::end(pfreq), 0);
    std::fill(std::begin(segC), std::end(segC), 0);
    std::fill(std::begin(segP), std::end(segP), 0);
    segUsedN = 0;
    openPositions = 0;
    bw.reset();
  }

  // Numbers the positions from near 1 again. The shift is a whole number of chain
  // slots (positions index prev4/prev3 by their low bits); entries the shift would
  // take to 0 or below become 0. Entries before buf[0] are out of reach either way
  // (the buffer keeps a window before pos), shifted or not.
  void renumber() {
    const std::uint32_t shift = (base - 1) & ~kPrevMask;
    for (auto* t : {&head4, &prev4, &head3, &prev3, &treeHead, &son})
      for (std::uint32_t& e : *t) e = e > shift ? e - shift : 0;
    base -= shift;
  }

  // Puts the positions up to limit into the hash chains. Positions inside a taken
  // match (withNearest false) start no search, so their closest 3-byte occurrence is
  // not needed; only the head of its hash moves on.
  template <bool withNearest>
  void insert(std::size_t limit) {
    // Needs three bytes at each position (a fourth past the end only spoils the
    // 4-byte hash of the last position, which then finds fewer matches).
    if (end < kMinMatch) return;
    limit = std::min(limit, end - kMinMatch + 1);
    for (; inserted < limit; ++inserted) {
      const std::uint32_t abs = base + static_cast<std::uint32_t>(inserted);
      const std::uint32_t v = load32(&buf[inserted]);
      std::uint32_t& h4 = head4[hash4(v)];
      prev4[abs & kPrevMask] = h4;
      h4 = abs;
      std::uint32_t& h3 = head3[hash3(v)];
      if (withNearest) prev3[abs & kPrevMask] = h3;
      h3 = abs;
    }
  }
  void insertUpTo(std::size_t limit) { insert<true>(limit); }
  void insertCovered(std::size_t limit) { insert<false>(limit); }

  // Matches at pos longer than `best` and than every closer match, up to maxLen
  // bytes: for each length the closest distance that reaches it, as far as `chain`
  // steps see. pos must be inserted already. Answers their number (longest last).
  int findMatches(int maxLen, int best, int chain, Cand* out, int maxOut) {
    if (maxLen < kMinMatch || best >= maxLen) return 0;
    const std::uint32_t cur = base + static_cast<std::uint32_t>(pos);
    const std::uint32_t limit = static_cast<std::uint32_t>(std::min(kWindow, pos));
    const std::uint8_t* scan = &buf[pos];
    const std::uint32_t head = load32(scan) & 0xFFFFFF;
    int n = 0;
    // Measures the match at distance at (its first three bytes and byte `best` agree)
    // and records it when longer than the best so far; true once no longer one is wanted.
    auto take = [&](std::uint32_t at) {
      const int len = matchLength(scan - at, scan, 3, maxLen);
      if (len <= best) return false;
      best = len;
      if (n == maxOut) --n, std::memmove(out, out + 1, sizeof(Cand) * n);
      out[n++] = Cand::make(static_cast<unsigned>(len), at);
      return len >= opt.niceLength || len >= maxLen;
    };
    // The closest position sharing the 3-byte hash comes first: every earlier
    // occurrence of these three bytes shares it too, so none is closer, and the
    // 4-byte chain's entries before it are collisions that cannot match.
    const std::uint32_t d3 = cur - prev3[cur & kPrevMask];
    if (d3 >= 1 && d3 <= limit && (load32(scan - d3) & 0xFFFFFF) == head && scan[best] == (scan - d3)[best] &&
        take(d3))
      return n;
    // Walks the chain in position order, newest first, down to the window's start;
    // an entry not newer than that (0 = none, or one of an earlier stream) ends it.
    // A candidate longer than `best` agrees on bytes 0-2 and on best - 1 and best:
    // two loads reject most of the others.
    const std::uint32_t low = cur - limit;
    std::uint32_t c = prev4[cur & kPrevMask];
    if (c >= cur || c < low) return n;
    const std::uint8_t* const at0 = &buf[0];
    std::uint16_t want = load16(scan + best - 1);
    for (;;) {
      const std::uint8_t* m = at0 + (c - base);
      if (load16(m + best - 1) == want && (load32(m) & 0xFFFFFF) == head) {
        if (take(cur - c)) break;
        want = load16(scan + best - 1);
      }
      if (--chain <= 0) break;
      const std::uint32_t next = prev4[c & kPrevMask];
      if (next >= c || next < low) break;
      c = next;
    }
    return n;
  }

  // Inserts pos into its tree and answers, as findMatches does, the matches longer
  // than every closer one, longest last, their lengths cut to maxLen (0: insert
  // only). The walk from the root meets positions newest first; for each length the
  // newest position reaching it lies on that walk. The old tree is split around pos
  // on the way down and pos becomes the root. Positions older than the window end
  // the walk, as does a depth of opt.treeDepth. Lengths are measured against the
  // bytes buffered (a region's end cuts only what is reported), so that the tree
  // keeps its order.
  int treeMatches(int maxLen, Cand* out, int maxOut) {
    const int lenLimit = static_cast<int>(std::min<std::size_t>(kMaxMatch, end - pos));
    if (lenLimit < kMinMatch) return 0;
    const std::uint32_t cur = base + static_cast<std::uint32_t>(pos);
    const std::uint32_t low = cur - static_cast<std::uint32_t>(std::min(kWindow, pos));
    const std::uint8_t* scan = &buf[pos];
    const std::uint8_t* const at0 = &buf[0];
    std::uint32_t* const links = son.data();
    std::uint32_t& h = treeHead[((load32(scan) & 0xFFFFFF) * 2654435761u) >> (32 - kHashTreeBits)];
    std::uint32_t c = h;
    h = cur;
    std::uint32_t* below = &links[2 * (cur & kPrevMask)];  // takes the subtree of smaller suffixes
    std::uint32_t* above = below + 1;                     // and of larger ones
    int lenBelow = 0, lenAbove = 0, best = kMinMatch - 1, n = 0, depth = opt.treeDepth;
    for (;;) {
      if (c >= cur || c < low || depth-- == 0) {
        *below = *above = 0;
        break;
      }
      const std::uint8_t* m = at0 + (c - base);
      std::uint32_t* pair = &links[2 * (c & kPrevMask)];
      // Every node down here agrees with pos as far as both neighbours do.
      const int len = matchLength(m, scan, std::min(lenBelow, lenAbove), lenLimit);
      if (len > best) {
        best = len;
        const unsigned l = static_cast<unsigned>(std::min(len, maxLen));
        if (l >= kMinMatch && (n == 0 || out[n - 1].len() < l)) {
          if (n == maxOut) --n, std::memmove(out, out + 1, sizeof(Cand) * n);
          out[n++] = Cand::make(l, cur - c);
        }
        if (len == lenLimit) {  // c equals pos as far as can be told: pos takes its place
          *below = pair[0];
          *above = pair[1];
          break;
        }
      }
      if (m[len] < scan[len]) {
        *below = c;
        below = pair + 1;
        c = *below;
        lenBelow = len;
      } else {
        *above = c;
        above = pair;
        c = *above;
        lenAbove = len;
      }
    }
    return n;
  }

  // log2 of a count (0 for 0), from a table for the counts a block can hold: prices
  // and block ends are figured often, and log2 itself is slow.
  static double log2Of(std::uint64_t x) {
    static const std::vector<float> table = [] {
      std::vector<float> t(std::size_t{1} << 17);
      for (std::size_t i = 1; i < t.size(); ++i) t[i] = static_cast<float>(std::log2(static_cast<double>(i)));
      return t;
    }();
    return x < table.size() ? table[x] : std::log2(static_cast<double>(x));
  }

  // ---- Lazy matching (EncoderOptions::optimal = false) ----
  // Matches are weighed by estimated bits (prices from the previous block), not by
  // length alone: a far, short match can cost more than its literals.
  std::uint32_t matchPrice(int len, unsigned dist) const { return lenPrice[len] + slotPrice[slotOf(dist - 1u)]; }

  // The match at pos saving most bits against literals, if any: len/dist untouched
  // otherwise. The first few bytes are priced as the literals they are (that
  // decides short matches), the rest at the average.
  void bestMatch(int chain, int& bestLen, unsigned& bestDist) {
    Cand found[kMaxCands];
    const int maxLen = static_cast<int>(std::min<std::size_t>(kMaxMatch, end - pos));
    const int k = findMatches(maxLen, kMinMatch - 1, chain, found, kMaxCands);
    if (k == 0) return;
    // Prices are at most 18 * 16 per symbol: sums over a match fit an int. Every
    // match is at least kMinMatch long: those literals are always priced.
    static_assert(kPricedLiterals > kMinMatch);
    int lits[kPricedLiterals + 1];
    lits[kMinMatch] = 0;
    for (int i = 0; i < kMinMatch; ++i) lits[kMinMatch] += static_cast<int>(litPrice[buf[pos + i]]);
    for (int i = kMinMatch; i < kPricedLiterals; ++i) lits[i + 1] = lits[i] + static_cast<int>(litPrice[buf[pos + i]]);
    int bestGain = 0;
    for (int j = 0; j < k; ++j) {
      const int len = static_cast<int>(found[j].len());
      const int priced = std::min(len, kPricedLiterals);
      const int gain = lits[priced] + (len - priced) * static_cast<int>(avgLitPrice) -
                       static_cast<int>(matchPrice(len, found[j].dist()));
      if (gain > bestGain) bestGain = gain, bestLen = len, bestDist = found[j].dist();
    }
  }

  void parseLazy(bool final) {
    if (!havePrices) {
      std::uint32_t c[kNC] = {0}, p[kNP] = {0};
      setPrices(c, p);
      havePrices = true;
    }
    const std::size_t need = final ? 1 : kLookahead;
    while (end - pos >= need && !failed) {
      insertUpTo(pos + 1);
      const int prevLen = matchLen;
      const unsigned prevDist = matchDist;
      matchLen = kMinMatch - 1;
      if (prevLen < opt.lazyLength)
        bestMatch(prevLen >= opt.goodLength ? std::max(1, opt.maxChain / 4) : opt.maxChain, matchLen, matchDist);
      bool takePrev = false;
      if (prevLen >= kMinMatch) {
        if (matchLen < kMinMatch) {
          takePrev = true;
        } else {
          // Same stretch either way: the previous match (from pos - 1), or a literal
          // and the new match. The uncovered tail is priced at 3/4 of an average
          // literal: a later match usually covers part of it.
          // (ends relative to pos: the previous match ends at prevLen - 1, the new one at matchLen)
          const int end1 = prevLen - 1, end2 = matchLen;
          const int tail = static_cast<int>(avgLitPrice * 3 / 4);
          const int costA = static_cast<int>(matchPrice(prevLen, prevDist)) + std::max(0, end2 - end1) * tail;
          const int costB = static_cast<int>(litPrice[buf[pos - 1]] + matchPrice(matchLen, matchDist)) +
                            std::max(0, end1 - end2) * tail;
          takePrev = costA <= costB;
        }
      }
      if (takePrev && prevLen < kSecondLookLength && pos + 1 < end) {
        // Two literals and a match at pos + 1 may beat the previous match.
        insertUpTo(pos + 2);
        ++pos;
        int len2 = kMinMatch - 1;
        unsigned dist2 = 0;
        bestMatch(opt.maxChain, len2, dist2);
        --pos;
        if (len2 >= kMinMatch) {
          const int end1 = prevLen - 1, end3 = 1 + len2;
          const int tail = static_cast<int>(avgLitPrice * 3 / 4);
          const int costA = static_cast<int>(matchPrice(prevLen, prevDist)) + std::max(0, end3 - end1) * tail;
          const int costC = static_cast<int>(litPrice[buf[pos - 1]] + litPrice[buf[pos]] + matchPrice(len2, dist2)) +
                            std::max(0, end1 - end3) * tail;
          if (costC < costA) {
            literal(buf[pos - 1]);
            literal(buf[pos]);
            pos += 2;  // the byte at pos - 1 waits with its match, as after a deferral
            matchLen = len2;
            matchDist = dist2;
            continue;
          }
        }
      }
      if (takePrev) {
        match(prevLen, prevDist);
        const std::size_t next = pos - 1 + prevLen;
        insertCovered(next);
        pos = next;
        pendingLiteral = false;
        matchLen = kMinMatch - 1;
      } else if (pendingLiteral) {
        literal(buf[pos - 1]);
        ++pos;
      } else {
        pendingLiteral = true;
        ++pos;
      }
    }
    if (final && pendingLiteral) {
      literal(buf[pos - 1]);
      pendingLiteral = false;
    }
  }

  // ---- Cheapest path (EncoderOptions::optimal = true) ----
  // Prices in 1/16 bit from symbol counts: -log2 of the symbol's share; a symbol
  // not seen costs like one seen half a time.
  void setPrices(const std::uint32_t* c, const std::uint32_t* p) {
    std::uint64_t tc = 0, tp = 0;
    for (int i = 0; i < kNC; ++i) tc += c[i];
    for (int i = 0; i < kNP; ++i) tp += p[i];
    const double logTotal = log2Of(tc);
    auto price = [](std::uint32_t count, double logTotal) {
      double bits = count ? logTotal - log2Of(count) : logTotal + 1;
      bits = std::clamp(bits, 1.0, 18.0);
      return static_cast<std::uint32_t>(bits * 16 + 0.5);
    };
    if (tc == 0) {
      // Nothing seen yet: a plain guess, refined by a first pass.
      for (int i = 0; i < 256; ++i) litPrice[i] = 8 * 16;
      avgLitPrice = 8 * 16;
      for (int l = kMinMatch; l <= kMaxMatch; ++l) lenPrice[l] = (l < 10 ? 6 : 9) * 16;
      for (int sl = 0; sl < kNP; ++sl) slotPrice[sl] = 4 * 16 + (sl >= 2 ? (sl - 1) * 16 : 0);
      return;
    }
    std::uint64_t litCount = 0, litBits = 0;
    for (int i = 0; i < 256; ++i) {
      litPrice[i] = price(c[i], logTotal);
      litCount += c[i];
      litBits += static_cast<std::uint64_t>(c[i]) * litPrice[i];
    }
    avgLitPrice = litCount ? static_cast<std::uint32_t>(litBits / litCount) : 8 * 16;
    for (int l = kMinMatch; l <= kMaxMatch; ++l) lenPrice[l] = price(c[256 + l - kMinMatch], logTotal);
    for (int sl = 0; sl < kNP; ++sl) slotPrice[sl] = (tp ? price(p[sl], log2Of(tp)) : 4 * 16) + (sl >= 2 ? (sl - 1) * 16 : 0);
  }

  // Cheapest way through n positions from pos; path gets the steps (len 1 = literal).
  // An arrival packs price << 32 | distance << 16 | length, so that relaxing an
  // edge is one branch-free minimum.
  void shortestPath(int n) {
    arrive.assign(n + 1, ~std::uint64_t{0});
    arrive[0] = 0;
    std::uint64_t lenPacked[kMaxMatch + 1];
    for (int l = kMinMatch; l <= kMaxMatch; ++l) lenPacked[l] = (static_cast<std::uint64_t>(lenPrice[l]) << 32) | l;
    const std::uint8_t* text = &buf[pos];
    for (int i = 0; i < n; ++i) {
      const std::uint64_t c0 = arrive[i] & 0xFFFFFFFF00000000ull;
      std::uint64_t* a = &arrive[i];
      a[1] = std::min(a[1], c0 + (static_cast<std::uint64_t>(litPrice[text[i]]) << 32) + 1);
      const std::uint32_t first = candStart[i], last = candStart[i + 1];
      if (first == last) continue;
      if (inherited[i]) {
        // The rest of a long match: only going to its end is worth pricing.
        const Cand c = cands[first];
        a[c.len()] = std::min(a[c.len()], c0 + (static_cast<std::uint64_t>(slotPrice[slotOf(c.dist() - 1u)]) << 32) +
                                              (static_cast<std::uint64_t>(c.dist()) << 16) + lenPacked[c.len()]);
        continue;
      }
      int from = kMinMatch;
      for (std::uint32_t k = first; k < last; ++k) {
        const int len = static_cast<int>(cands[k].len());
        const unsigned dist = cands[k].dist();
        const std::uint64_t b =
            c0 + (static_cast<std::uint64_t>(slotPrice[slotOf(dist - 1u)]) << 32) + (static_cast<std::uint64_t>(dist) << 16);
        const int top = std::min(len, kPricedLengths);
        for (int l = from; l <= top; ++l) a[l] = std::min(a[l], b + lenPacked[l]);
        if (top < len) a[len] = std::min(a[len], b + lenPacked[len]);
        from = len + 1;
      }
    }
    path.clear();
    for (int i = n; i > 0;) {
      const int l = static_cast<int>(arrive[i] & 0xFFFF);
      path.push_back(Cand::make(static_cast<unsigned>(l), static_cast<unsigned>(arrive[i] >> 16) & 0xFFFF));
      i -= l;
    }
    std::reverse(path.begin(), path.end());
  }

  void countPath(std::uint32_t* c, std::uint32_t* p) const {
    std::fill(c, c + kNC, 0);
    std::fill(p, p + kNP, 0);
    std::size_t i = pos;
    for (const Cand t : path) {
      if (t.len() == 1) {
        ++c[buf[i]];
      } else {
        ++c[256 + t.len() - kMinMatch];
        ++p[slotOf(t.dist() - 1u)];
      }
      i += t.len();
    }
  }

  // Parses the next n positions; their codes form one segment (see endSegment).
  void parseRegion(int n) {
    cands.clear();
    candStart.resize(n + 1);
    inherited.assign(n, 0);
    const std::size_t start = pos;
    int skipUntil = 0;
    unsigned skipDist = 0;
    Cand found[kMaxCands];
    for (int i = 0; i < n; ++i) {
      pos = start + i;
      candStart[i] = static_cast<std::uint32_t>(cands.size());
      const int maxLen = std::min(kMaxMatch, n - i);
      if (i < skipUntil) {
        // Inside a long match only its continuation is offered; searching here
        // rarely finds better. The position still joins its tree: a match that
        // starts inside this one's bytes later needs it.
        treeMatches(0, found, kMaxCands);
        const int len = std::min(skipUntil - i, maxLen);
        if (len >= kMinMatch) {
          cands.push_back(Cand::make(static_cast<unsigned>(len), skipDist));
          inherited[i] = 1;
        }
        continue;
      }
      const int k = treeMatches(maxLen, found, kMaxCands);
      for (int j = 0; j < k; ++j) cands.push_back(found[j]);
      if (k && static_cast<int>(found[k - 1].len()) >= opt.skipLength) {
        skipUntil = i + static_cast<int>(found[k - 1].len());
        skipDist = found[k - 1].dist();
      }
    }
    candStart[n] = static_cast<std::uint32_t>(cands.size());
    pos = start;
    std::uint32_t c[kNC], p[kNP];
    const int passes = std::max(1, opt.passes);
    if (!havePrices) {
      // No block before this one: prices from the path that takes the longest
      // match wherever there is one, a fair guess at what the cheapest path uses.
      std::fill(c, c + kNC, 0);
      std::fill(p, p + kNP, 0);
      for (int i = 0; i < n;) {
        if (candStart[i] == candStart[i + 1]) {
          ++c[buf[pos + i]];
          ++i;
          continue;
        }
        const Cand t = cands[candStart[i + 1] - 1];
        ++c[256 + t.len() - kMinMatch];
        ++p[slotOf(t.dist() - 1u)];
        i += static_cast<int>(t.len());
      }
      setPrices(c, p);
      havePrices = true;
    }
    for (int k = 0; k < passes; ++k) {
      shortestPath(n);
      countPath(c, p);
      setPrices(c, p);  // for the next pass, or the next block
    }
    for (const Cand t : path) {
      if (t.len() == 1)
        literal(buf[pos]);
      else
        match(static_cast<int>(t.len()), t.dist());
      pos += t.len();
    }
    endSegment();  // the region's codes may share trees with the previous region's
  }

  void parseOptimal(bool final) {
    const std::size_t region = static_cast<std::size_t>(opt.regionBytes);
    while (!failed) {
      const std::size_t avail = end - pos;
      if (final ? avail == 0 : avail < region + kLookahead) break;
      parseRegion(static_cast<int>(std::min(region, avail)));
    }
  }

  // Parses while enough look-ahead is buffered (all of it when final).
  void parse(bool final) {
    if (opt.optimal)
      parseOptimal(final);
    else
      parseLazy(final);
  }

  void literal(std::uint8_t c) {
    syms.push_back(c);
    dists.push_back(0);
    if (segC[c]++ == 0) segUsed[segUsedN++] = c;
    if (static_cast<int>(syms.size()) - committed >= segLimit) endSegment();
  }
  void match(int len, unsigned dist) {
    const unsigned p = dist - 1;
    const std::uint16_t sym = static_cast<std::uint16_t>(256 + len - kMinMatch);
    syms.push_back(sym);
    dists.push_back(static_cast<std::uint16_t>(p));
    if (segC[sym]++ == 0) segUsed[segUsedN++] = sym;
    ++segP[slotOf(p)];
    if (static_cast<int>(syms.size()) - committed >= segLimit) endSegment();
  }

  // ---- Block ends ----
  // Codes arrive in segments. A segment joins the open block unless coding the two
  // apart (entropy of each, plus a guess at the trees the segment would send) is
  // estimated cheaper than together: blocks grow while the statistics hold and end
  // where they change. Entropy needs no trees, so this costs little per segment.
  static double xlog(std::uint32_t x) { return x * log2Of(x); }
  // Tree bits of a block, roughly: fixed fields and a few bits per used symbol
  // (fitted on mixed files; the choice is not sensitive to them).
  static constexpr double kTreeBits = 192, kTreeBitsPerSymbol = 3;

  // A block's entropy in bits is xlog(codes) + xlog(positions) - (sum of xlog over
  // each symbol's count). The open block keeps its sums, and only the symbols the
  // segment used change them: a segment costs about its distinct symbols, not the
  // whole alphabet.
  void endSegment() {
    const int n = static_cast<int>(syms.size());
    if (n == committed) return;
    const std::uint32_t segCodes = static_cast<std::uint32_t>(n - committed);
    std::uint32_t segPositions = 0;
    double segSumC = 0, segSumP = 0;
    for (int k = 0; k < segUsedN; ++k) segSumC += xlog(segC[segUsed[k]]);
    for (int i = 0; i < kNP; ++i) segPositions += segP[i], segSumP += xlog(segP[i]);
    const double segBits = xlog(segCodes) + xlog(segPositions) - segSumC - segSumP;
    bool split = committed == 0 || n > opt.blockCodes;
    if (!split) {
      double sumC = openSumC, sumP = 0;
      for (int k = 0; k < segUsedN; ++k) {
        const int i = segUsed[k];
        sumC += xlog(cfreq[i] + segC[i]) - xlog(cfreq[i]);
      }
      for (int i = 0; i < kNP; ++i) sumP += xlog(pfreq[i] + segP[i]);
      const double together = xlog(static_cast<std::uint32_t>(n)) + xlog(openPositions + segPositions) - sumC - sumP;
      split = openBits + segBits + kTreeBits + kTreeBitsPerSymbol * segUsedN < together;
      if (!split) openBits = together, openSumC = sumC;
    }
    if (split) {
      flushCodes(committed);
      openBits = segBits;
      openSumC = segSumC;
    }
    for (int k = 0; k < segUsedN; ++k) {
      const int i = segUsed[k];
      cfreq[i] += segC[i];
      segC[i] = 0;
    }
    segUsedN = 0;
    for (int i = 0; i < kNP; ++i) pfreq[i] += segP[i], segP[i] = 0;
    openPositions += segPositions;
    committed = static_cast<int>(syms.size());
    if (!opt.optimal) setPrices(cfreq, pfreq);  // what follows is priced like the open block
  }

  // Ends the open block with every code so far.
  void flushBlock() {
    endSegment();
    flushCodes(committed);
  }

  // Keeps the last window of history and makes room for more input.
  void slide() {
    // A pending literal refers to buf[pos - 1]; keep one byte more than the window.
    if (pos <= kWindow + 1) return;
    const std::size_t delta = pos - kWindow - 1;
    std::memmove(buf.data(), buf.data() + delta, end - delta);
    base += static_cast<std::uint32_t>(delta);
    slid = true;
    if (base >= renumberAt) renumber();
    pos -= delta;
    end -= delta;
    inserted -= std::min(inserted, delta);
  }

  void writeLengths(const std::uint8_t* lens, int n, int nbits, int special) {
    bw.put(nbits, n);
    for (int i = 0; i < n;) {
      const int k = lens[i++];
      if (k <= 6)
        bw.put(3, k);
      else
        bw.put(k - 3, (1u << (k - 3)) - 2);  // 111, (k-7) ones, 0
      if (i == special) {
        int z = 0;
        while (i + z < n && z < 3 && lens[i + z] == 0) ++z;
        bw.put(2, z);
        i += z;
      }
    }
  }

  // Codes the first count codes as one block; cfreq/pfreq hold exactly their counts.
  void flushCodes(int count) {
    if (count == 0) return;
    std::uint8_t clen[kNC], plen[kNP], tlen[kNT];
    std::uint16_t ccode[kNC], pcode[kNP], tcode[kNT];
    detail::buildLengths(cfreq, kNC, 16, clen);
    detail::buildLengths(pfreq, kNP, 16, plen);
    int cUsed = 0, cOnly = 0, pUsed = 0, pOnly = 0;
    for (int i = 0; i < kNC; ++i)
      if (cfreq[i]) ++cUsed, cOnly = i;
    for (int i = 0; i < kNP; ++i)
      if (pfreq[i]) ++pUsed, pOnly = i;

    bw.put(16, static_cast<std::uint32_t>(count));
    if (cUsed <= 1) {
      // One-symbol C tree: a one-symbol T tree, then the C symbol; codes cost 0 bits.
      bw.put(kTBits, 0);
      bw.put(kTBits, 0);
      bw.put(kCBits, 0);
      bw.put(kCBits, cOnly);
    } else {
      int n = kNC;
      while (n > 0 && clen[n - 1] == 0) --n;
      std::uint32_t tfreq[kNT] = {0};
      for (int i = 0; i < n;) {
        const int k = clen[i++];
        if (k == 0) {
          int run = 1;
          while (i < n && clen[i] == 0) ++i, ++run;
          if (run <= 2) tfreq[0] += run;
          else if (run <= 18) ++tfreq[1];
          else if (run == 19) ++tfreq[0], ++tfreq[1];
          else ++tfreq[2];
        } else {
          ++tfreq[k + 2];
        }
      }
      detail::buildLengths(tfreq, kNT, 16, tlen);
      int tUsed = 0, tOnly = 0;
      for (int i = 0; i < kNT; ++i)
        if (tfreq[i]) ++tUsed, tOnly = i;
      if (tUsed <= 1) {
        bw.put(kTBits, 0);
        bw.put(kTBits, tOnly);
        std::fill(tlen, tlen + kNT, 0);
        std::fill(tcode, tcode + kNT, 0);
      } else {
        int tn = kNT;
        while (tn > 0 && tlen[tn - 1] == 0) --tn;
        writeLengths(tlen, tn, kTBits, 3);
        detail::buildCodes(tlen, kNT, tcode);
      }
      auto tput = [&](int s) {
        if (tlen[s]) bw.put(tlen[s], tcode[s]);
      };
      bw.put(kCBits, n);
      for (int i = 0; i < n;) {
        const int k = clen[i++];
        if (k == 0) {
          int run = 1;
          while (i < n && clen[i] == 0) ++i, ++run;
          if (run <= 2) {
            for (int r = 0; r < run; ++r) tput(0);
          } else if (run <= 18) {
            tput(1);
            bw.put(4, run - 3);
          } else if (run == 19) {
            tput(0);
            tput(1);
            bw.put(4, 15);
          } else {
            tput(2);
            bw.put(kCBits, run - 20);
          }
        } else {
          tput(k + 2);
        }
      }
      detail::buildCodes(clen, kNC, ccode);
    }
    if (pUsed <= 1) {
      bw.put(kPBits, 0);
      bw.put(kPBits, pOnly);
      std::fill(plen, plen + kNP, 0);
      std::fill(pcode, pcode + kNP, 0);
    } else {
      int n = kNP;
      while (n > 0 && plen[n - 1] == 0) --n;
      writeLengths(plen, n, kPBits, -1);
      detail::buildCodes(plen, kNP, pcode);
    }
    if (cUsed <= 1) {
      std::fill(clen, clen + kNC, 0);
      std::fill(ccode, ccode + kNC, 0);
    }

    // A code of a one-symbol tree is 0 bits long and 0: put() then adds nothing. A
    // position's slot code and extra bits go out as one piece (at most 16 + 12 bits).
    for (int i = 0; i < count; ++i) {
      const int s = syms[i];
      bw.put(clen[s], ccode[s]);
      if (s >= 256) {
        const unsigned p = dists[i];
        const int slot = slotOf(p);
        const int extra = slot >= 2 ? slot - 1 : 0;
        bw.put(plen[slot] + extra, (static_cast<std::uint32_t>(pcode[slot]) << extra) | (p & ((1u << extra) - 1)));
      }
    }
    syms.erase(syms.begin(), syms.begin() + count);
    dists.erase(dists.begin(), dists.begin() + count);
    committed = 0;
    openPositions = 0;
    std::fill(std::begin(cfreq), std::end(cfreq), 0);
    std::fill(std::begin(pfreq), std::end(pfreq), 0);
    if (bw.size() >= kOutChunk) emit();
  }

  void emit() {
    if (bw.size() == 0 || failed) return;
    if (!out(bw.data(), bw.size())) failed = true;
    outTotal += bw.size();
    bw.clear();
  }

  bool write(const std::uint8_t* data, std::size_t n) {
    while (n > 0 && !failed) {
      if (end == kBufSize) {
        slide();
        if (end == kBufSize) break;  // cannot happen: parse leaves < kLookahead unparsed
      }
      const std::size_t take = std::min(n, kBufSize - end);
      std::memcpy(&buf[end], data, take);
      end += take;
      data += take;
      n -= take;
      inTotal += take;
      parse(false);
    }
    return !failed;
  }

  bool finish() {
    parse(true);
    flushBlock();
    bw.flushBits();
    emit();
    return !failed;
  }
};

Lh5Encoder::Lh5Encoder(OutputFn out, const EncoderOptions& options) : impl_(new Impl(std::move(out), options)) {}
Lh5Encoder::~Lh5Encoder() = default;
void Lh5Encoder::restart(OutputFn out) { impl_->restart(std::move(out)); }
bool Lh5Encoder::write(const std::uint8_t* data, std::size_t n) { return impl_->write(data, n); }
bool Lh5Encoder::finish() { return impl_->finish(); }
std::uint64_t Lh5Encoder::originalSize() const { return impl_->inTotal; }
std::uint64_t Lh5Encoder::packedSize() const { return impl_->outTotal + impl_->bw.size(); }

std::vector<std::uint8_t> compressLh5(const std::uint8_t* data, std::size_t n, const EncoderOptions& options) {
  std::vector<std::uint8_t> out;
  Lh5Encoder enc(
      [&](const std::uint8_t* p, std::size_t k) {
        out.insert(out.end(), p, p + k);
        return true;
      },
      options);
  enc.write(data, n);
  enc.finish();
  return out;
}

}  // namespace pv::lzh
