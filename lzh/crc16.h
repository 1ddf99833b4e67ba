// CRC-16 of LHA archives (polynomial 0x8005 reflected = 0xA001, start 0, no final XOR).
// Used for member data and for the level-2 header CRC (extended header 0x00).
//   uint16_t c = pv::lzh::crc16(buf, n);          // whole buffer
//   c = pv::lzh::crc16(more, m, c);               // continue over further bytes
#pragma once
#include <cstddef>
#include <cstdint>

namespace pv::lzh {

std::uint16_t crc16(const void* data, std::size_t n, std::uint16_t crc = 0);

}  // namespace pv::lzh
