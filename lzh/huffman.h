// Canonical Huffman helpers shared by the -lh5- encoder and the decoders (internal).
#pragma once
#include <cstdint>

namespace pv::lzh::detail {

constexpr int kMaxCodeLen = 16;

// Code lengths for n symbols from their frequencies, limited to maxLen bits. Unused
// symbols get 0. With fewer than two used symbols every length is 0: the caller
// sends such a tree in its one-symbol form.
void buildLengths(const std::uint32_t* freq, int n, int maxLen, std::uint8_t* lens);

// Canonical codes (shortest first, ascending symbol within a length).
void buildCodes(const std::uint8_t* lens, int n, std::uint16_t* codes);

}  // namespace pv::lzh::detail
