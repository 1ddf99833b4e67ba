// Shift-JIS (code page 932) scanning without <windows.h>.
// A path must be walked by whole characters: the trailing byte of a double-byte
// character may be 0x5C ('\'), as in 表 (95 5C) or ソ (83 5C).
#pragma once
#include <cstddef>
#include <string>
#include <string_view>

namespace pv::sjis {

// Lead bytes of code page 932, the same set IsDBCSLeadByte answers for it.
constexpr bool isLead(unsigned char c) { return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC); }

// Length in bytes of the character starting at s[i] (1 or 2; 1 at a truncated lead byte).
inline std::size_t charLen(std::string_view s, std::size_t i) {
  return (isLead(static_cast<unsigned char>(s[i])) && i + 1 < s.size()) ? 2 : 1;
}

// Index of the last single-byte character c in s, or npos. Never matches a trailing byte.
std::size_t findLast(std::string_view s, char c);

// True when the last character of s is the single-byte character c.
bool endsWithChar(std::string_view s, char c);

// Bytes of the longest prefix of s made of whole characters that fits in maxBytes,
// so a fixed-size field never ends in half a double-byte character.
inline std::size_t fitLength(std::string_view s, std::size_t maxBytes) {
  std::size_t n = 0;
  while (n < s.size()) {
    const std::size_t len = charLen(s, n);
    if (n + len > maxBytes) break;
    n += len;
  }
  return n;
}

// A to Z become a to z; second bytes of double-byte characters stay as they are.
std::string lowerAscii(std::string_view s);

}  // namespace pv::sjis
