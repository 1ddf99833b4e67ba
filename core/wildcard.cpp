#include "core/wildcard.h"

#include <cstddef>

#include "core/sjis.h"

namespace pv::wildcard {

namespace {

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

// True when the characters at pattern[p] (length pn) and name[s] (length sn) are equal.
bool sameChar(std::string_view pattern, std::size_t p, std::size_t pn, std::string_view name, std::size_t s,
              std::size_t sn) {
  if (pn != sn) return false;
  if (pn == 1) return fold(pattern[p]) == fold(name[s]);
  return pattern.substr(p, pn) == name.substr(s, sn);
}

}  // namespace

bool match(std::string_view pattern, std::string_view name) {
  // Iterative matcher with one back-track point: the last '*' seen. Linear in practice,
  // never exponential, whatever the pattern.
  std::size_t p = 0, s = 0;
  std::size_t starP = std::string_view::npos, starS = 0;
  while (s < name.size()) {
    const std::size_t sn = sjis::charLen(name, s);
    if (p < pattern.size()) {
      const std::size_t pn = sjis::charLen(pattern, p);
      if (pn == 1 && pattern[p] == '*') {
        starP = ++p;
        starS = s;
        continue;
      }
      if ((pn == 1 && pattern[p] == '?') || sameChar(pattern, p, pn, name, s, sn)) {
        p += pn;
        s += sn;
        continue;
      }
    }
    if (starP == std::string_view::npos) return false;
    // Let the last '*' swallow one more character of the name and try again.
    p = starP;
    starS += sjis::charLen(name, starS);
    s = starS;
  }
  while (p < pattern.size() && pattern[p] == '*') ++p;
  return p == pattern.size();
}

bool hasWildcards(std::string_view pattern) {
  for (std::size_t i = 0; i < pattern.size(); i += sjis::charLen(pattern, i))
    if (pattern[i] == '*' || pattern[i] == '?') return true;
  return false;
}

}  // namespace pv::wildcard
