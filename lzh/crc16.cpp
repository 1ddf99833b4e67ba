#include "lzh/crc16.h"

#include <array>

namespace pv::lzh {
namespace {

// kTables[0] is the classic byte table; kTables[k][i] is the CRC of byte i followed
// by k zero bytes, so that eight bytes are folded in one step.
using Tables = std::array<std::array<std::uint16_t, 256>, 8>;

constexpr Tables makeTables() {
  Tables t{};
  for (unsigned i = 0; i < 256; ++i) {
    unsigned c = i;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? (c >> 1) ^ 0xA001u : c >> 1;
    t[0][i] = static_cast<std::uint16_t>(c);
  }
  for (int k = 1; k < 8; ++k)
    for (unsigned i = 0; i < 256; ++i)
      t[k][i] = static_cast<std::uint16_t>((t[k - 1][i] >> 8) ^ t[0][t[k - 1][i] & 0xFF]);
  return t;
}

constexpr Tables kTables = makeTables();

}  // namespace

std::uint16_t crc16(const void* data, std::size_t n, std::uint16_t crc) {
  const auto* p = static_cast<const std::uint8_t*>(data);
  unsigned c = crc;
  for (; n >= 8; n -= 8, p += 8) {
    const unsigned x = c ^ (p[0] | (p[1] << 8));
    c = kTables[7][x & 0xFF] ^ kTables[6][x >> 8] ^ kTables[5][p[2]] ^ kTables[4][p[3]] ^ kTables[3][p[4]] ^
        kTables[2][p[5]] ^ kTables[1][p[6]] ^ kTables[0][p[7]];
  }
  for (; n > 0; --n) c = (c >> 8) ^ kTables[0][(c ^ *p++) & 0xFF];
  return static_cast<std::uint16_t>(c);
}

}  // namespace pv::lzh
